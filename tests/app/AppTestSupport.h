#pragma once

// Shared by the app tests: a temporary program folder, and the build's skin file.

#include <filesystem>
#include <fstream>
#include <string>

#include <QTemporaryDir>

namespace app_test {

inline std::filesystem::path SkinFile()
{
    return MARLUNE_SKIN_RCC;
}

// A fresh, empty program folder (with a trailing "/" in Dir()), removed with the object. The
// current folder is put back too, since a run makes the program folder the current one.
class ProgramFolder
{
public:
    ProgramFolder()
        : m_previous(std::filesystem::current_path())
    {}
    ~ProgramFolder()
    {
        std::error_code error;
        std::filesystem::current_path(m_previous, error);
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    std::filesystem::path Path() const { return m_dir.path().toStdString(); }
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    std::filesystem::path LockFile() const { return Path() / ".run" / "marlune.lock"; }

    void CopyIn(const std::filesystem::path& file, const std::string& name = {}) const
    {
        std::filesystem::copy_file(file,
                                   Path() / (name.empty() ? file.filename().string() : name),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    // Folder for the lock and the close socket, outside what the program may write.
    void MakeRunFolder() const { std::filesystem::create_directories(Path() / ".run"); }

private:
    std::filesystem::path m_previous;
    QTemporaryDir m_dir;
};

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Names of everything in a folder, recursively, relative to it.
inline std::vector<std::string> Listing(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        names.push_back(std::filesystem::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace app_test
