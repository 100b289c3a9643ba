#pragma once

// Decoding of code page 936 (GBK), the narrow encoding of the program's older files and of zip
// entry names made on Chinese Windows.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text as UTF-8; nothing when it is not valid code page 936. Any thread.
[[nodiscard]] std::optional<std::string> Cp936ToUtf8(std::string_view text);

} // namespace platform
