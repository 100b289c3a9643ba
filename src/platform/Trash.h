#pragma once

// The freedesktop Trash of the user's home ($XDG_DATA_HOME/Trash, see XdgDirs.h).

#include <filesystem>

namespace platform {

// Moves a file or folder into the home Trash: into Trash/files under a name not yet used there,
// with its Trash/info/<name>.trashinfo (original path, deletion date). Renamed when the Trash is on
// the same file system, else copied and then deleted. False when nothing was moved (the original
// stays, and no partial copy or info file is left). Any thread.
[[nodiscard]] bool MoveToTrash(const std::filesystem::path& path);

} // namespace platform
