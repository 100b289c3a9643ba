#pragma once

// Date texts as the program writes them ("2009-7-5 14:3:9").

#include <array>
#include <optional>
#include <string_view>

namespace platform {

// year, month, day, hour, minute, second, as written (not range-checked).
using DateFields = std::array<int, 6>;

// Reads the text as scanf reads "%d-%d-%d %d:%d:%d": white space before a number, an optional
// sign, digits; the format's space takes any amount of white space; what follows the seconds is
// ignored. A number that does not fit an int is no number. Nullopt when the six numbers are not
// all there.
[[nodiscard]] std::optional<DateFields> ScanDateText(std::string_view text);

} // namespace platform
