#pragma once

// Reading of profile (INI) files with the semantics of the Windows profile functions: section and
// key names compare case-insensitively (ASCII), spaces around names, "=" and values are trimmed, a
// value enclosed in matching quotes loses them, the first matching section and key win, and
// anything missing gives the default.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Longest value returned, in characters (code points), unless a caller asks for another limit.
constexpr std::size_t ProfileValueLimit = 260;

// The value of key in section of the profile text, or defaultValue. The text is UTF-8 (a leading
// byte-order mark is skipped). The value is cut to at most maxChars characters. Any thread.
[[nodiscard]] std::string ProfileStringFromText(std::string_view text,
                                                std::string_view section,
                                                std::string_view key,
                                                std::string_view defaultValue,
                                                std::size_t maxChars = ProfileValueLimit);

// The same for a file. The file may be UTF-8 (with or without byte-order mark), UTF-16 with a
// byte-order mark, or code page 936; a file that cannot be read gives the default. Any thread.
[[nodiscard]] std::string GetProfileString(const std::filesystem::path& file,
                                           std::string_view section,
                                           std::string_view key,
                                           std::string_view defaultValue,
                                           std::size_t maxChars = ProfileValueLimit);

} // namespace platform
