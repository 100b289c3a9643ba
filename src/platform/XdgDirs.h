#pragma once

// The user's folders after the freedesktop base-directory and user-dirs conventions. Each call
// reads the environment afresh, so tests can point HOME and XDG_* at temporary folders.

#include <filesystem>

namespace platform {

// $HOME, else the home folder of the user's password entry; empty when neither is known.
[[nodiscard]] std::filesystem::path HomeDir();
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
[[nodiscard]] std::filesystem::path ConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
[[nodiscard]] std::filesystem::path DataHome();
// XDG_DESKTOP_DIR of <config home>/user-dirs.dirs ("$HOME/..." or an absolute path), else ~/Desktop.
// The folder is not created and may not exist.
[[nodiscard]] std::filesystem::path DesktopDir();

} // namespace platform
