#pragma once

// The download date of a game as the download log writes it ("2009-7-5 14:3:9").

#include <cstdint>
#include <optional>
#include <string_view>

namespace browse {

// A value that orders download dates: seconds of the broken-down time read as scanf reads
// "%d-%d-%d %d:%d:%d", out-of-range fields carried over as a calendar does (month 13 is January
// of the next year). Nullopt when the text does not hold the six numbers.
[[nodiscard]] std::optional<std::int64_t> DownloadDateOrder(std::string_view text);

} // namespace browse
