#pragma once

// Game and category ids as the messages carry them: 16 bits, 0 meaning none.

#include <optional>
#include <string>
#include <string_view>

#include "platform/GameKey.h"

namespace browse {

constexpr int MaxMessageId = platform::MaxMessageGameId;

// The id of a catalogue or category key that a message can carry; nullopt for any other key.
inline std::optional<int> MessageId(std::string_view key)
{
    return platform::GameKeyId(key);
}

// The key of an id: its decimal text.
inline std::string KeyOf(int id)
{
    return std::to_string(id);
}

} // namespace browse
