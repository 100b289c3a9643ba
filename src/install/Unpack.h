#pragma once

// The one call a download needs once its package is complete.

#include <filesystem>

namespace install {

// Opens the zip package and unpacks all of it into the game folder (made when missing). False when
// the package cannot be opened or an entry fails; files already unpacked stay. Any thread; one
// package into one folder at a time.
[[nodiscard]] bool UnpackPackage(const std::filesystem::path& packagePath, const std::filesystem::path& gameFolder);

} // namespace install
