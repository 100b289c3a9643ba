#include "install/GameConfig.h"

#include <fstream>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Sandbox.h"
#include "ZipBuilder.h"
#include "install/Unpack.h"

using namespace test_zip;
namespace fs = std::filesystem;

namespace {

struct NameCase
{
    const char* indexDat;
    const char* expected;
};

class ExecutableNames : public ::testing::TestWithParam<NameCase>
{
protected:
    Sandbox m_box;
};

} // namespace

TEST_P(ExecutableNames, ReadFromIndexDat)
{
    fs::create_directories(m_box.GameFolder(1));
    WriteFile(m_box.GameFolder(1) / "index.dat", GetParam().indexDat);
    EXPECT_EQ(install::ReadExecutableName(m_box.GameFolder(1)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases,
                         ExecutableNames,
                         ::testing::Values(NameCase{"[config]\nfile=Game.exe\n", "Game.exe"},
                                           NameCase{"[CONFIG]\r\n  FILE  =  run.sh  \r\n", "run.sh"},
                                           NameCase{"[config]\nfile=bin\\Game.sh\n", "bin/Game.sh"},
                                           NameCase{"[config]\nfile=\"My Game.sh\"\n", "My Game.sh"},
                                           NameCase{"[other]\nfile=x\n[config]\nname=y\n", ""},
                                           NameCase{"[config]\nfile=..\\..\\..\\bin\\sh\n", ""},
                                           NameCase{"[config]\nfile=a/../../x\n", ""},
                                           NameCase{"", ""}));

TEST(ExecutableNamesNul, AValueEndsAtItsFirstNul)
{
    Sandbox box;
    const std::string config("[config]\r\nfile=start.desktop\0\0start.sh\r\n", 36);
    ASSERT_TRUE(WriteZip(box.Package(2), {File("index.dat", config)}));
    ASSERT_TRUE(install::UnpackPackage(box.Package(2), box.GameFolder(2)));
    EXPECT_EQ(install::ReadExecutableName(box.GameFolder(2)), "start.desktop"); // read by the package's rule
    ASSERT_TRUE(install::ForgetUnpacked(box.GameFolder(2)));
    EXPECT_EQ(install::ReadExecutableName(box.GameFolder(2)), "start.desktop"); // read without it
}

TEST(ShortcutNames, LastPartWithItsExtensionReplaced)
{
    EXPECT_EQ(install::ShortcutName("Game.exe"), "Game.desktop");
    EXPECT_EQ(install::ShortcutName("GAME.EXE"), "GAME.desktop");
    EXPECT_EQ(install::ShortcutName("bin\\Game.sh"), "Game.desktop");
    EXPECT_EQ(install::ShortcutName("bin/my.game.x86_64"), "my.game.desktop");
    EXPECT_EQ(install::ShortcutName("run"), "run.desktop");
    EXPECT_EQ(install::ShortcutName(".hidden"), ".hidden.desktop");
    EXPECT_EQ(install::ShortcutName(""), "");
    EXPECT_EQ(install::ShortcutName("bin/"), "");
}

TEST(DesktopEntry, ExecIsQuotedAndEscaped)
{
    std::string text = install::DesktopEntryText("/p/game/7/My \"$Game\" 100%\\.sh", "/p/game/7/", "My Game");
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=My Game\n"), std::string::npos);
    // Inside quotes " $ \ are backslash-escaped, % doubled, then every backslash is doubled again.
    EXPECT_NE(text.find("\nExec=\"/p/game/7/My \\\\\"\\\\$Game\\\\\" 100%%\\\\\\\\.sh\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nPath=/p/game/7/\n"), std::string::npos);
}

TEST(DesktopShortcut, MadeOnceWhenEnabledAndLeftAlone)
{
    Sandbox box;
    const fs::path exe = box.GameFolder(3) / "Game.sh";
    EXPECT_FALSE(install::MakeDesktopShortcut(false, exe, box.GameFolder(3), "Game.sh"));
    EXPECT_TRUE(fs::is_empty(box.Desktop()));

    ASSERT_TRUE(install::MakeDesktopShortcut(true, exe, box.GameFolder(3), "Game.sh"));
    const fs::path link = box.Desktop() / "Game.desktop";
    ASSERT_TRUE(fs::is_regular_file(link));
    struct stat st
    {};
    ASSERT_EQ(stat(link.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
    EXPECT_NE(ReadFile(link).find("Exec=\"" + exe.string() + "\""), std::string::npos);

    WriteFile(link, "mine");
    EXPECT_TRUE(install::MakeDesktopShortcut(true, exe, box.GameFolder(3), "Game.sh"));
    EXPECT_EQ(ReadFile(link), "mine"); // an existing launcher is not touched

    // Folders in the name are flattened: the launcher lands on the desktop itself.
    EXPECT_TRUE(install::MakeDesktopShortcut(true, exe, box.GameFolder(3), "bin\\Other.exe"));
    EXPECT_TRUE(fs::is_regular_file(box.Desktop() / "Other.desktop"));
}

TEST(DesktopShortcut, DesktopFolderFromUserDirsAndNeverCreated)
{
    Sandbox box;
    fs::create_directories(box.Home() / ".config");
    WriteFile(box.Home() / ".config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
    EXPECT_FALSE(install::MakeDesktopShortcut(true, "/x/Game.sh", "/x", "Game.sh"));
    EXPECT_FALSE(fs::exists(box.Home() / "桌面"));
    fs::create_directories(box.Home() / "桌面");
    EXPECT_TRUE(install::MakeDesktopShortcut(true, "/x/Game.sh", "/x", "Game.sh"));
    EXPECT_TRUE(fs::exists(box.Home() / "桌面" / "Game.desktop"));
    EXPECT_FALSE(fs::exists(box.Desktop() / "Game.desktop"));
}

TEST(Executables, ExistenceAndExecuteBits)
{
    Sandbox box;
    fs::create_directories(box.GameFolder(1));
    const fs::path file = box.GameFolder(1) / "run.sh";
    WriteFile(file, "#!/bin/sh\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::path folder = box.GameFolder(1);
    EXPECT_FALSE(install::ExecutableExists(folder, folder)); // an empty name names the folder
    EXPECT_FALSE(install::ExecutableExists(folder, install::ExecutablePathForOpen(folder.string() + "/", "")));
    EXPECT_TRUE(install::ExecutableExists(folder, file));
    EXPECT_EQ(install::ExecutablePathForOpen("/p/game/7/", "a.sh"), "/p/game/7/a.sh");
    EXPECT_EQ(install::ExecutablePathForRemove("/p/game/7", "a.sh"), "/p/game/7/a.sh");

    ASSERT_TRUE(install::EnsureExecutable(file));
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_read
                  | fs::perms::group_exec);
    EXPECT_FALSE(install::EnsureExecutable(box.GameFolder(1)));
}
