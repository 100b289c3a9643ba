#include "store/ProgramFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "StoreTestSupport.h"

namespace store::test {
namespace {

namespace fs = std::filesystem;

// A portable copy, an installation and a folder with a lone executable, side by side.
class ProgramFolderTest : public ProgramDirTest
{
protected:
    void SetUp() override
    {
        ProgramDirTest::SetUp();
        for (const char* exe : {"portable/marlune", "usr/bin/marlune", "bare/marlune"}) {
            fs::create_directories((m_dir / exe).parent_path());
            WriteBytes(m_dir / exe, "ELF");
        }
        WriteBytes(m_dir / "portable/skin.rcc", "qres");
        fs::create_directories(Bundle());
        WriteBytes(Bundle() / "skin.rcc", "qres");
    }
    fs::path Bundle() const { return InstalledBundleDir(m_dir / "usr/bin"); }
    fs::path Data() const { return m_dir / "data"; }
};

struct LayoutCase
{
    const char* executable;
    bool writable;
    bool withDataHome;
    const char* programDir; // below the test folder
    const char* skin;       // below the test folder; "=" for the installation's
    const char* bundle;     // below the test folder; "" portable; "=" the installation's
};

TEST_F(ProgramFolderTest, LayoutFollowsTheFolderAndTheSkin)
{
    const LayoutCase cases[] = {
        {"portable/marlune", true, true, "portable/", "portable/skin.rcc", ""},
        // A portable copy its user cannot write to keeps the data in the data home.
        {"portable/marlune", false, true, "data/marlune/", "portable/skin.rcc", "portable"},
        // Installed: the same whether the folder is writable (root) or not.
        {"usr/bin/marlune", true, true, "data/marlune/", "=", "="},
        {"usr/bin/marlune", false, true, "data/marlune/", "=", "="},
        // Without any skin, a writable folder stays portable and the start reports the missing skin.
        {"bare/marlune", true, true, "bare/", "bare/skin.rcc", ""},
        // Without a data home there is nowhere else to write.
        {"portable/marlune", false, false, "portable/", "portable/skin.rcc", ""},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::string(c.executable) + (c.writable ? " writable" : " read-only"));
        const ProgramLayout layout =
            ChooseProgramLayout(m_dir / c.executable, c.writable, c.withDataHome ? Data() : fs::path());
        EXPECT_EQ(layout.programDir, (m_dir / c.programDir).generic_string());
        EXPECT_EQ(layout.skinFile, std::string(c.skin) == "=" ? Bundle() / "skin.rcc" : m_dir / c.skin);
        const std::string bundle = c.bundle;
        EXPECT_EQ(layout.bundleDir, bundle == "=" ? Bundle() : bundle.empty() ? fs::path() : m_dir / bundle);
        EXPECT_EQ(layout.Installed(), !bundle.empty());
    }
    EXPECT_TRUE(IsWritableFolder(m_dir));
    EXPECT_FALSE(IsWritableFolder(m_dir / "missing"));
}

TEST_F(ProgramFolderTest, InstalledFolderStartsFromTheBundleOnce)
{
    fs::create_directories(Bundle() / "ico");
    fs::create_directories(Bundle() / "pic/sub");
    WriteBytes(Bundle() / "gamelist.xml", "<list/>");
    WriteBytes(Bundle() / "ico/1.gif", "GIF");
    WriteBytes(Bundle() / "pic/sub/1.jpg", "JPG");
    const ProgramLayout layout = ChooseProgramLayout(m_dir / "usr/bin/marlune", false, Data());
    const auto installed = std::chrono::system_clock::now();
    PrepareProgramFolder(layout, installed);

    const fs::path dir = Data() / "marlune";
    struct stat info
    {};
    ASSERT_EQ(::stat(dir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    for (const char* folder : {"ico", "pic", "download", "game"}) {
        EXPECT_TRUE(fs::is_directory(dir / folder)) << folder;
    }
    EXPECT_EQ(ReadBytes(dir / "gamelist.xml"), "<list/>");
    EXPECT_EQ(ReadBytes(dir / "ico/1.gif"), "GIF");
    EXPECT_EQ(ReadBytes(dir / "pic/sub/1.jpg"), "JPG");
    const std::time_t t = std::chrono::system_clock::to_time_t(installed);
    std::tm local{};
    ::localtime_r(&t, &local);
    char line[64];
    std::snprintf(line,
                  sizeof line,
                  "%d-%d-%d %d:%d:%d\n",
                  local.tm_year + 1900,
                  local.tm_mon + 1,
                  local.tm_mday,
                  local.tm_hour,
                  local.tm_min,
                  local.tm_sec);
    EXPECT_EQ(ReadBytes(dir / "installdate"), line);

    // Later starts keep what the user's runs changed and the date of the first start.
    WriteBytes(dir / "gamelist.xml", "<mine/>");
    fs::remove(dir / "ico/1.gif");
    PrepareProgramFolder(layout, installed + std::chrono::hours(24 * 40));
    EXPECT_EQ(ReadBytes(dir / "gamelist.xml"), "<mine/>");
    EXPECT_FALSE(fs::exists(dir / "ico/1.gif"));
    EXPECT_EQ(ReadBytes(dir / "installdate"), line);
    // A lost catalogue comes back from the bundle; pictures already there are kept.
    fs::remove(dir / "gamelist.xml");
    WriteBytes(dir / "pic/sub/1.jpg", "fetched");
    PrepareProgramFolder(layout, installed);
    EXPECT_EQ(ReadBytes(dir / "gamelist.xml"), "<list/>");
    EXPECT_EQ(ReadBytes(dir / "ico/1.gif"), "GIF");
    EXPECT_EQ(ReadBytes(dir / "pic/sub/1.jpg"), "fetched");
    // Nothing was written into the installation.
    EXPECT_FALSE(fs::exists(Bundle() / "installdate"));
}

TEST_F(ProgramFolderTest, PortableFolderGetsOnlyItsSubfolders)
{
    const ProgramLayout layout = ChooseProgramLayout(m_dir / "portable/marlune", true, Data());
    PrepareProgramFolder(layout, std::chrono::system_clock::now());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir / "portable")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"download", "game", "ico", "marlune", "pic", "skin.rcc"}));
    EXPECT_FALSE(fs::exists(Data()));
}

} // namespace
} // namespace store::test
