#pragma once

// A temporary program directory per test, with HOME and the XDG folders pointed into it so that
// nothing outside is written (Trash, desktop, configuration).

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace test_zip {

class Sandbox
{
public:
    Sandbox()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "marlune-install-XXXXXX").string();
        m_root = mkdtemp(pattern.data());
        m_programDir = m_root / "prog";
        std::filesystem::create_directories(m_programDir / "download");
        std::filesystem::create_directories(Home() / "Desktop");
        setenv("HOME", Home().c_str(), 1);
        setenv("XDG_DATA_HOME", (Home() / ".local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (Home() / ".config").c_str(), 1);
    }
    ~Sandbox()
    {
        std::error_code ec;
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_root, ec);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    Sandbox(Sandbox&&) = delete;
    Sandbox& operator=(Sandbox&&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    std::filesystem::path Home() const { return m_root / "home"; }
    std::filesystem::path Desktop() const { return Home() / "Desktop"; }
    std::filesystem::path Trash() const { return Home() / ".local/share/Trash"; }
    // Ends in "/", as the program directory does.
    std::string ProgramDir() const { return m_programDir.string() + "/"; }
    std::filesystem::path Package(int id) const { return m_programDir / "download" / (std::to_string(id) + ".zip"); }
    std::filesystem::path GameFolder(int id) const { return m_programDir / "game" / std::to_string(id); }

private:
    std::filesystem::path m_root;
    std::filesystem::path m_programDir;
};

} // namespace test_zip
