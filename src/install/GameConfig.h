#pragma once

// A game's index.dat (which file to start) and its desktop launcher.

#include <filesystem>
#include <string>
#include <string_view>

namespace install {

// The "file" value of section "config" of the folder's index.dat, with "\" turned into "/" and cut
// at its first NUL. The file is read by the rule its package's names were read by (Unpack.h), so
// the value names the files as they were unpacked; a folder without that record is read as UTF-8
// when valid, else as code page 936. Empty when the file, section or key is missing, and when the
// value would leave the game folder (".."): a game never names a program outside its own folder.
[[nodiscard]] std::string ReadExecutableName(const std::filesystem::path& gameFolder);

// The executable's path when opening: the game folder (ending in "/") and the name joined as is.
[[nodiscard]] std::string ExecutablePathForOpen(std::string_view gameFolder, std::string_view name);
// The executable's path when removing: the game folder (no trailing "/"), "/" and the name.
[[nodiscard]] std::string ExecutablePathForRemove(std::string_view gameFolder, std::string_view name);
// True when the path names an existing regular file itself (not a link, not a folder: an empty name
// names the folder) other than the game folder's index.dat.
[[nodiscard]] bool ExecutableExists(const std::filesystem::path& gameFolder, const std::filesystem::path& path);
// Gives a regular file that lacks the owner's execute bit the execute bits of whoever may read it,
// so a game packaged without Unix permissions can start. True when it is executable afterwards.
[[nodiscard]] bool EnsureExecutable(const std::filesystem::path& path);

// The launcher's file name for a "file" value: its last part with the extension (after the last
// ".") replaced by ".desktop", or ".desktop" appended when it has none. Empty for an empty name.
[[nodiscard]] std::string ShortcutName(std::string_view fileValue);
// The text of a desktop entry that starts the executable in the game folder.
[[nodiscard]] std::string DesktopEntryText(const std::filesystem::path& executable,
                                           const std::filesystem::path& gameFolder,
                                           std::string_view title);

// Puts a launcher for the game on the user's desktop (XdgDirs.h) when enabled. False when disabled,
// the name is empty, the desktop folder does not exist or the file cannot be written; true when
// the launcher was written or one of that name exists already (it is left untouched).
[[nodiscard]] bool MakeDesktopShortcut(bool enabled,
                                       const std::filesystem::path& executable,
                                       const std::filesystem::path& gameFolder,
                                       std::string_view fileValue);

} // namespace install
