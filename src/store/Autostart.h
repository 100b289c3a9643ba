#pragma once

// Start with the session: the program's XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/marlune.desktop, Exec = the executable's full path).

#include <filesystem>

namespace store {

enum class AutostartAction
{
    Query = 0,  // true when the entry exists and its Exec is exactly this executable's path
    Add = 1,    // true when the entry was written
    Remove = 2, // true when the entry was deleted
};

// Uses /proc/self/exe as the executable. False for every action without a config folder.
// Writes nothing outside the user's config folder. Any thread.
[[nodiscard]] bool SetAutostart(AutostartAction action);
// The same for a given executable path (absolute).
[[nodiscard]] bool SetAutostart(AutostartAction action, const std::filesystem::path& executable);

// The entry's path: $XDG_CONFIG_HOME/autostart/marlune.desktop; empty without a config folder.
[[nodiscard]] std::filesystem::path AutostartEntryPath();

} // namespace store
