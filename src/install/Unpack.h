#pragma once

// Unpacking a game's package into its folder, and the record that says the folder is complete.
//
// A game folder counts as unpacked only once an unpacking of its package has run to its end: the
// record (a small file beside the folder, ".<folder>.unpacked") is removed before anything is
// written into the folder and written again only after the last entry. A folder left by a failed,
// stopped or killed unpacking therefore never looks installed, and opening the game unpacks it
// again. The record also keeps how the package's names were read, so that index.dat is read by
// the same rule.

#include <atomic>
#include <filesystem>
#include <optional>

#include "install/EntryName.h"

namespace install {

enum class UnpackResult
{
    Unpacked,          // every entry was written; the folder is recorded as unpacked
    PackageUnreadable, // the package is missing or not a readable zip; nothing was touched
    Failed,            // an entry failed (or the record could not be written)
    Stopped,           // the stop flag was set before the end
};

// Opens the zip package and unpacks all of it into the game folder (made when missing). The
// folder's record is removed first and written last. Files already unpacked stay after a failure.
// stop, when given, is checked between chunks. Any thread; one package into one folder at a time.
[[nodiscard]] UnpackResult UnpackGame(const std::filesystem::path& packagePath,
                                      const std::filesystem::path& gameFolder,
                                      const std::atomic<bool>* stop = nullptr);
// The same, true only for UnpackResult::Unpacked: the one call a download needs.
[[nodiscard]] bool UnpackPackage(const std::filesystem::path& packagePath,
                                 const std::filesystem::path& gameFolder,
                                 const std::atomic<bool>* stop = nullptr);

// Where the record of a game folder ("…/game/7/" or "…/game/7") lies: "…/game/.7.unpacked".
[[nodiscard]] std::filesystem::path UnpackedRecordPath(const std::filesystem::path& gameFolder);
// How the names of the package were read, when the folder is recorded as unpacked; nothing when
// it is not (never unpacked, or the last unpacking did not end).
[[nodiscard]] std::optional<NameEncoding> UnpackedNames(const std::filesystem::path& gameFolder);
// Forgets that the folder was unpacked. True when no record is left.
bool ForgetUnpacked(const std::filesystem::path& gameFolder);

} // namespace install
