#pragma once

#include <string_view>

namespace transfer {

// A catalogue size text in bytes: lower-cased and trimmed, the number in front of the first of
// "k", "m", "g" (looked for in that order) read in single precision and multiplied by 1024,
// 1024 * 1024 or 1024 * 1024 * 1024. Without a unit letter, or without a number before it, 0.
// "12.5M" -> 13107200, " 800k " -> 819200, "123" -> 0.
[[nodiscard]] double SizeTextToBytes(std::string_view text);

} // namespace transfer
