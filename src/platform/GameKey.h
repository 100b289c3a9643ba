#pragma once

// Game and category ids as window messages carry them: 16 bits, 0 meaning none.

#include <charconv>
#include <optional>
#include <string_view>

namespace platform {

constexpr int MaxMessageGameId = 0xFFFF;

// The id of a catalogue or category key that a message can carry without turning it into another:
// the plain decimal text of 1 to 65535 (no sign, no leading zero, nothing else). Nullopt for any
// other key: such a game or category never reaches a button, a cell or a download.
inline std::optional<int> GameKeyId(std::string_view key)
{
    if (key.empty() || key.size() > 5 || key.front() == '0') {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (error != std::errc() || end != key.data() + key.size() || value < 1 || value > MaxMessageGameId) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform
