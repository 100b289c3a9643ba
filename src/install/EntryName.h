#pragma once

// Names of zip entries: their decoding and the check that keeps them inside the folder they are
// unpacked into.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace install {

// The stored name as UTF-8 with "/" between folders. It is taken as UTF-8 when the entry says so
// (general purpose bit 11) or when it is valid UTF-8, else decoded from code page 936. Nothing
// when it is none of these, when it is flagged as UTF-8 but is not, or when it contains a NUL byte.
[[nodiscard]] std::optional<std::string> DecodeEntryName(std::string_view raw, bool utf8Flag);

// The decoded name as a path below the unpacking folder: empty and "." parts dropped. Nothing when
// the name is absolute, starts with a drive letter ("C:") or has a ".." part. An empty path means
// the folder itself.
[[nodiscard]] std::optional<std::filesystem::path> EntryRelativePath(std::string_view name);

} // namespace install
