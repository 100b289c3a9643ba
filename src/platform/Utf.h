#pragma once

// Conversions between the program's narrow texts (UTF-8) and UTF-16.

#include <string>
#include <string_view>

namespace platform {

// Invalid or truncated sequences become U+FFFD each; never fails.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD; never fails.
std::string Utf16ToUtf8(std::u16string_view text);
// True when every sequence is complete, shortest-form, and not a surrogate or above U+10FFFF.
bool IsValidUtf8(std::string_view text);

} // namespace platform
