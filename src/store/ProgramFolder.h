#pragma once

// Where the program keeps its files.
//
// A portable copy is a folder holding the executable and skin.rcc that its user may write to: the
// data files (gamelist.xml, DownLog.xml, set.xml, installdate), the folders ico/, pic/, download/
// and game/ and UpdateMain live in it. An installed copy keeps all of them in the user's
// $XDG_DATA_HOME/marlune/ (~/.local/share/marlune/) instead, and reads skin.rcc from the
// installation: beside the executable when it is there, else from <prefix>/share/marlune/ (the
// bundle folder, which also holds the catalogue and the pictures that a new program folder starts
// with).

#include <chrono>
#include <filesystem>
#include <string>

namespace store {

struct ProgramLayout
{
    // The data files and working folders: ends in "/".
    std::string programDir;
    std::filesystem::path skinFile;
    // Installed: the installation's folder whose gamelist.xml, ico/ and pic/ a new program folder
    // starts with. Empty for a portable copy.
    std::filesystem::path bundleDir;

    [[nodiscard]] bool Installed() const { return !bundleDir.empty(); }
};

// The installation's bundle folder for an executable in folder: <folder>/../share/marlune as the
// build configured the installation's folders.
[[nodiscard]] std::filesystem::path InstalledBundleDir(const std::filesystem::path& executableFolder);

// The layout of an executable (absolute path) whose folder is writable or not, for the data home
// dataHome ($XDG_DATA_HOME or ~/.local/share). Portable when the folder is writable and holds
// skin.rcc, or when it is writable and no installation's skin.rcc exists either (the start then
// reports the missing skin file); installed otherwise. Without a data home the copy stays
// portable (nowhere else to write).
[[nodiscard]] ProgramLayout ChooseProgramLayout(const std::filesystem::path& executable,
                                                bool folderWritable,
                                                const std::filesystem::path& dataHome);

// True when this process may create files in folder.
[[nodiscard]] bool IsWritableFolder(const std::filesystem::path& folder);

// The layout of this process's executable (/proc/self/exe) for the current user.
[[nodiscard]] ProgramLayout ThisProgramLayout();

// Makes the program folder ready for a run; failures are not reported (the run goes on and its
// reads and writes fail as they would). Installed: the folder itself when missing (0700); when it
// has no gamelist.xml, the bundle's pictures (those not there yet) and then its gamelist.xml; when
// it has no installdate, the installation date now (the first start is this user's installation).
// Both layouts: the subfolders ico/, pic/, download/ and game/.
void PrepareProgramFolder(const ProgramLayout& layout, std::chrono::system_clock::time_point now);

} // namespace store
