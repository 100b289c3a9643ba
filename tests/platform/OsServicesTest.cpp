#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "WaitFor.h"
#include "platform/Launch.h"
#include "platform/Processes.h"
#include "platform/Profile.h"
#include "platform/Trash.h"
#include "platform/XdgDirs.h"

using testing_support::WaitFor;
namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path,
           const std::string& data,
           fs::perms perms = fs::perms::owner_read | fs::perms::owner_write)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << data;
    }
    fs::permissions(path, perms);
}

// A temporary home with the XDG variables pointed into it.
class TempHome : public ::testing::Test
{
protected:
    TempHome()
    {
        std::string pattern = (fs::temp_directory_path() / "marlune-os-XXXXXX").string();
        m_root = mkdtemp(pattern.data());
        fs::create_directories(m_root / "home");
        setenv("HOME", (m_root / "home").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root / "home/.local/share").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    ~TempHome() override
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    fs::path m_root;
};

struct ProfileCase
{
    const char* text;
    const char* section;
    const char* key;
    const char* expected; // default is "dflt"
};

class ProfileReading : public ::testing::TestWithParam<ProfileCase>
{};

} // namespace

TEST_P(ProfileReading, WindowsSemantics)
{
    const ProfileCase& c = GetParam();
    EXPECT_EQ(platform::ProfileStringFromText(c.text, c.section, c.key, "dflt"), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    ProfileReading,
    ::testing::Values(ProfileCase{"[config]\nfile=a.exe", "config", "file", "a.exe"},
                      ProfileCase{"[Config]\nFile=a.exe", "CONFIG", "fILE", "a.exe"},
                      ProfileCase{"  [ config ]  \n\t file \t=\t a b.exe \t\r\n", "config", "file", "a b.exe"},
                      ProfileCase{"[config]\nfile=\"quoted\"", "config", "file", "quoted"},
                      ProfileCase{"[config]\nfile='single'", "config", "file", "single"},
                      ProfileCase{"[config]\nfile=\"unbalanced", "config", "file", "\"unbalanced"},
                      ProfileCase{"[config]\nfile=", "config", "file", ""},
                      ProfileCase{"[config]\nfile", "config", "file", ""},
                      ProfileCase{"[config]\nother=1", "config", "file", "dflt"},
                      ProfileCase{"[other]\nfile=x", "config", "file", "dflt"},
                      ProfileCase{"file=x\n[config]", "config", "file", "dflt"},
                      ProfileCase{"[config]\nfile=first\nfile=second", "config", "file", "first"},
                      ProfileCase{"[config]\nx=1\n[config]\nfile=later", "config", "file", "dflt"},
                      ProfileCase{"[config]\n;file=comment\nfile=real", "config", "file", "real"},
                      ProfileCase{"\xEF\xBB\xBF[config]\nfile=bom", "config", "file", "bom"},
                      ProfileCase{"[config]\nfile=a=b", "config", "file", "a=b"},
                      ProfileCase{"", "config", "file", "dflt"}));

TEST(ProfileFile, LongValuesEncodingsAndMissingFiles)
{
    const fs::path dir = fs::temp_directory_path() / ("marlune-profile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string longName(300, 'x');
    Write(dir / "long.ini", "[config]\nfile=" + longName + "\n");
    EXPECT_EQ(platform::GetProfileString(dir / "long.ini", "config", "file", ""), std::string(260, 'x'));
    Write(dir / "cjk.ini", "[config]\nfile=游戏\n");
    EXPECT_EQ(platform::GetProfileString(dir / "cjk.ini", "config", "file", "", 1), "游");
    Write(dir / "gbk.ini", "[config]\r\nfile=\xD3\xCE\xCF\xB7.exe\r\n"); // 游戏.exe in code page 936
    EXPECT_EQ(platform::GetProfileString(dir / "gbk.ini", "config", "file", ""), "游戏.exe");
    Write(dir / "utf16.ini", std::string("\xFF\xFE[\0c\0o\0n\0f\0i\0g\0]\0\n\0f\0i\0l\0e\0=\0a\0.\0e\0x\0e\0", 40));
    EXPECT_EQ(platform::GetProfileString(dir / "utf16.ini", "config", "file", ""), "a.exe");
    EXPECT_EQ(platform::GetProfileString(dir / "missing.ini", "config", "file", "dflt"), "dflt");
    EXPECT_EQ(platform::GetProfileString(dir, "config", "file", "dflt"), "dflt"); // a folder
    fs::remove_all(dir);
}

TEST_F(TempHome, XdgFoldersFollowTheEnvironment)
{
    const fs::path home = m_root / "home";
    EXPECT_EQ(platform::HomeDir(), home);
    EXPECT_EQ(platform::ConfigHome(), home / ".config");
    EXPECT_EQ(platform::DataHome(), home / ".local/share");
    EXPECT_EQ(platform::DesktopDir(), home / "Desktop");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(platform::ConfigHome(), home / ".config");
    setenv("XDG_CONFIG_HOME", (m_root / "cfg").c_str(), 1);
    EXPECT_EQ(platform::ConfigHome(), m_root / "cfg");
    fs::create_directories(m_root / "cfg");
    Write(m_root / "cfg/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    EXPECT_EQ(platform::DesktopDir(), home / "Bureau");
    Write(m_root / "cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk\"\n");
    EXPECT_EQ(platform::DesktopDir(), fs::path("/srv/desk"));
    Write(m_root / "cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\"\n");
    EXPECT_EQ(platform::DesktopDir(), home);
    Write(m_root / "cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"relative\"\n");
    EXPECT_EQ(platform::DesktopDir(), home / "Desktop");
}

TEST_F(TempHome, TrashKeepsEveryItemUnderItsOwnNameWithItsInfo)
{
    const fs::path trash = m_root / "home/.local/share/Trash";
    for (int round = 0; round < 3; ++round) {
        fs::create_directories(m_root / "game/7/sub");
        Write(m_root / "game/7/sub/f.txt", std::to_string(round));
        ASSERT_TRUE(platform::MoveToTrash(m_root / "game/7"));
        EXPECT_FALSE(fs::exists(m_root / "game/7"));
    }
    EXPECT_EQ(Read(trash / "files/7/sub/f.txt"), "0");
    EXPECT_EQ(Read(trash / "files/7.2/sub/f.txt"), "1");
    EXPECT_EQ(Read(trash / "files/7.3/sub/f.txt"), "2");
    const std::string info = Read(trash / "info/7.3.trashinfo");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + (m_root / "game/7").string() + "\nDeletionDate=")) << info;
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);

    Write(m_root / "with space%.txt", "x");
    ASSERT_TRUE(platform::MoveToTrash(m_root / "with space%.txt"));
    EXPECT_NE(Read(trash / "info/with space%.txt.trashinfo").find("with%20space%25.txt\n"), std::string::npos);
    EXPECT_FALSE(platform::MoveToTrash(m_root / "missing"));
}

TEST_F(TempHome, TrashOnAnotherFileSystemIsCopiedThenDeleted)
{
    struct stat here
    {};
    struct stat shm
    {};
    if (stat("/dev/shm", &shm) != 0 || access("/dev/shm", W_OK) != 0 || stat(m_root.c_str(), &here) != 0
        || here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second writable file system";
    }
    const fs::path data = fs::path("/dev/shm") / ("marlune-trash-" + std::to_string(getpid()));
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    fs::create_directories(m_root / "game/9/bin");
    Write(m_root / "game/9/bin/run", "#!/bin/sh\n", fs::perms::owner_all);
    fs::create_symlink("run", m_root / "game/9/bin/link");
    EXPECT_TRUE(platform::MoveToTrash(m_root / "game/9/"));
    EXPECT_FALSE(fs::exists(m_root / "game/9"));
    EXPECT_EQ(Read(data / "Trash/files/9/bin/run"), "#!/bin/sh\n");
    EXPECT_EQ(fs::status(data / "Trash/files/9/bin/run").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_symlink(data / "Trash/files/9/bin/link"));
    EXPECT_TRUE(fs::exists(data / "Trash/info/9.trashinfo"));
    fs::remove_all(data);
}

TEST_F(TempHome, DetachedProgramRunsInItsFolderAndIsNotOurChild)
{
    fs::create_directories(m_root / "game");
    Write(m_root / "game/run.sh", "#!/bin/sh\necho $PPID > parent.txt\npwd -P > where.txt\n", fs::perms::owner_all);
    ASSERT_TRUE(platform::StartDetached(m_root / "game/run.sh", m_root / "game"));
    ASSERT_TRUE(WaitFor([&] { return !Read(m_root / "game/where.txt").empty(); }));
    EXPECT_EQ(Read(m_root / "game/where.txt"), fs::canonical(m_root / "game").string() + "\n");
    ASSERT_TRUE(WaitFor([&] { return !Read(m_root / "game/parent.txt").empty(); }));
    EXPECT_NE(std::stoi(Read(m_root / "game/parent.txt")), getpid());
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1); // no child of ours is left, zombie or not
    EXPECT_EQ(errno, ECHILD);

    // Without the execute bit: run by the interpreter of its first line, or by /bin/sh.
    Write(m_root / "game/plain.sh", "#!/bin/sh\necho plain > plain.txt\n");
    ASSERT_TRUE(platform::StartDetached(m_root / "game/plain.sh", m_root / "game"));
    EXPECT_TRUE(WaitFor([&] { return Read(m_root / "game/plain.txt") == "plain\n"; }));
    Write(m_root / "game/bare", "echo bare > bare.txt\n", fs::perms::owner_all);
    ASSERT_TRUE(platform::StartDetached(m_root / "game/bare", m_root / "game"));
    EXPECT_TRUE(WaitFor([&] { return Read(m_root / "game/bare.txt") == "bare\n"; }));

    EXPECT_FALSE(platform::StartDetached(m_root / "game/missing", m_root / "game"));
    EXPECT_FALSE(platform::StartDetached(m_root / "game/run.sh", m_root / "no-such-folder"));
    Write(m_root / "game/elf",
          "\x7f"
          "ELF garbage");
    EXPECT_FALSE(platform::StartDetached(m_root / "game/elf", m_root / "game"));
}

TEST(Processes, ListedMatchedAndTerminated)
{
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    bool foundSelf = false;
    for (const platform::ProcessInfo& p : platform::ListProcesses()) {
        if (p.pid == getpid()) {
            foundSelf = true;
            EXPECT_EQ(p.executable, self);
            EXPECT_TRUE(platform::RunsProgram(p, self));
            EXPECT_FALSE(platform::RunsProgram(p, self + "x"));
        }
    }
    EXPECT_TRUE(foundSelf);
    EXPECT_FALSE(platform::TerminateProcess(getpid()));

    platform::ProcessInfo script{1, "/usr/bin/dash", "/games/7", {"/bin/sh", "bin/Game.sh"}};
    EXPECT_TRUE(platform::RunsProgram(script, "/games/7/bin/Game.sh"));
    EXPECT_FALSE(platform::RunsProgram(script, "/games/7/bin/game.sh")); // letter case matters
    EXPECT_FALSE(platform::RunsProgram(script, "/games/8/bin/Game.sh"));
    platform::ProcessInfo withOption{1, "/usr/bin/python3", "/", {"python3", "-u", "/games/7/Game.py"}};
    EXPECT_TRUE(platform::RunsProgram(withOption, "/games/7/Game.py"));
    platform::ProcessInfo laterArgument{1, "/usr/bin/vi", "/", {"vi", "a", "/games/7/Game.py"}};
    EXPECT_FALSE(platform::RunsProgram(laterArgument, "/games/7/Game.py"));

    // A process that ignores SIGTERM is killed after the grace time.
    std::string sh = "/bin/sh";
    std::string dashC = "-c";
    std::string body = "trap '' TERM; while :; do sleep 0.05; done";
    char* argv[] = {sh.data(), dashC.data(), body.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    ASSERT_TRUE(WaitFor([&] { return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe") != self; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let the trap be set
    EXPECT_TRUE(platform::TerminateProcess(pid, std::chrono::milliseconds(200)));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST(Processes, RunAndWaitReportsExitCodes)
{
    EXPECT_EQ(platform::RunAndWait({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(platform::RunAndWait({"no-such-command-marlune"}), std::nullopt);
    EXPECT_EQ(platform::RunAndWait({"sleep", "5"}, std::chrono::milliseconds(100)), std::nullopt);
}
