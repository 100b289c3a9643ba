#include <fstream>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "GameFixture.h"
#include "WaitFor.h"
#include "install/Unpack.h"
#include "platform/Messages.h"

using namespace test_zip;
using testing_support::WaitFor;
namespace fs = std::filesystem;
namespace msg = platform::msg;

namespace {

bool ProcessGone(pid_t pid)
{
    if (kill(pid, 0) != 0) {
        return true;
    }
    std::string stat;
    try {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        stat.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return true; // the process went away while its stat was read
    }
    std::size_t close = stat.rfind(')');
    return close == std::string::npos || stat[close + 2] == 'Z';
}

pid_t ReadPid(const fs::path& file)
{
    pid_t pid = 0;
    EXPECT_TRUE(WaitFor([&] {
        std::ifstream in(file);
        return static_cast<bool>(in >> pid);
    }));
    return pid;
}

platform::Param ResultWord(int id)
{
    return platform::PackWords(static_cast<std::uint32_t>(id), msg::game_action::Result);
}

class OpenGame : public GameFixture
{};

} // namespace

TEST_F(OpenGame, PackagedScriptStartsInItsFolderWithoutUnixModes)
{
    ASSERT_TRUE(MakePackage(5, GamePackage(RecordingScript, false)));
    EXPECT_EQ(m_unzip.OpenGame(5), msg::open_result::Started);
    ASSERT_EQ(m_sink.Count(), 1u);
    EXPECT_EQ(Last().id, msg::GameAction);
    EXPECT_EQ(Last().wParam, ResultWord(5));
    EXPECT_EQ(Last().lParam, 0x00040000u);
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(Folder(5) / "ran.txt").empty(); }));
    EXPECT_EQ(ReadFile(Folder(5) / "ran.txt"), fs::canonical(Folder(5)).string() + "\n");
    EXPECT_EQ(ReadFile(Folder(5) / "data/level1.dat"), "L1");
    EXPECT_TRUE(fs::is_empty(m_box.Desktop())); // shortcut setting off
}

TEST_F(OpenGame, ScriptWithoutInterpreterLineOrExecuteBitStillRuns)
{
    std::vector<Item> items = GamePackage("pwd -P > ran.txt\n", true);
    items[2].unixMode = 0100644;
    ASSERT_TRUE(MakePackage(6, items));
    EXPECT_EQ(m_unzip.OpenGame(6), msg::open_result::Started);
    EXPECT_TRUE(WaitFor([&] { return !ReadFile(Folder(6) / "ran.txt").empty(); }));
}

TEST_F(OpenGame, InstalledGameStartsWithoutItsPackageAndIsRepairedFromIt)
{
    ASSERT_TRUE(MakePackage(8, GamePackage(RecordingScript, true)));
    ASSERT_EQ(m_unzip.OpenGame(8), msg::open_result::Started);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(Folder(8) / "ran.txt"); }));

    // The executable is deleted: unpacked again from the package, then started.
    fs::remove(Folder(8) / "ran.txt");
    fs::remove(Folder(8) / "bin/start.sh");
    fs::remove(Folder(8) / "data/level1.dat");
    EXPECT_EQ(m_unzip.OpenGame(8), msg::open_result::Started);
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(8) / "ran.txt"); }));
    EXPECT_TRUE(fs::exists(Folder(8) / "data/level1.dat"));

    // Without index.dat the folder is unpacked again too.
    fs::remove(Folder(8) / "index.dat");
    fs::remove(Folder(8) / "ran.txt");
    EXPECT_EQ(m_unzip.OpenGame(8), msg::open_result::Started);
    EXPECT_TRUE(fs::exists(Folder(8) / "index.dat"));
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(8) / "ran.txt"); }));

    // Complete folder, no package: started as it is.
    fs::remove(m_box.Package(8));
    fs::remove(Folder(8) / "ran.txt");
    fs::remove(Folder(8) / "data/level1.dat");
    EXPECT_EQ(m_unzip.OpenGame(8), msg::open_result::Started);
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(8) / "ran.txt"); }));
    EXPECT_FALSE(fs::exists(Folder(8) / "data/level1.dat"));
    EXPECT_EQ(m_sink.Count(), 4u);
}

TEST_F(OpenGame, AFailedUnpackNeverLooksInstalled)
{
    const std::string bzip2 = "BZh91AY&SY#!/bin/sh\n";
    std::vector<Item> damaged = GamePackage(RecordingScript, true);
    damaged.push_back(Raw("data/level2.dat", bzip2, 12, bzip2.size(), Crc(bzip2))); // after the game's files
    ASSERT_TRUE(MakePackage(14, damaged));
    EXPECT_FALSE(install::UnpackPackage(m_box.Package(14), Folder(14))); // as the download unpacks it
    ASSERT_TRUE(fs::exists(Folder(14) / "bin/start.sh"));
    EXPECT_EQ(m_unzip.OpenGame(14), msg::open_result::ExtractFailed); // unpacked again, and told
    EXPECT_EQ(Last().lParam, platform::PackWords(msg::open_result::ExtractFailed, 1));

    ASSERT_TRUE(MakePackage(14, GamePackage(RecordingScript, true)));
    EXPECT_EQ(m_unzip.OpenGame(14), msg::open_result::Started);
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(14) / "ran.txt"); }));
    EXPECT_TRUE(install::UnpackedNames(Folder(14)));
    ASSERT_TRUE(MakePackage(14, damaged));
    EXPECT_FALSE(install::UnpackPackage(m_box.Package(14), Folder(14)));
    EXPECT_FALSE(install::UnpackedNames(Folder(14))); // forgotten before the first entry
    EXPECT_FALSE(ReadFile(Folder(14) / "index.dat").empty());
}

TEST_F(OpenGame, IndexDatIsReadByTheRuleOfItsPackagesNames)
{
    // The bytes C3 A9 are é in UTF-8 and another character in code page 936; index.dat also holds
    // a comment (游戏) in code page 936, so it is not valid UTF-8 as a whole.
    const std::string config = "; \xD3\xCE\xCF\xB7\r\n[config]\r\nfile=\xC3\xA9.sh\r\n";
    const std::vector<Item> utf8Names = {File("index.dat", config), Script("\xC3\xA9.sh", RecordingScript)};
    std::vector<Item> cp936Names = utf8Names;
    cp936Names.push_back(File("\xD6\xD0.txt", "x")); // 中.txt: not UTF-8
    ASSERT_TRUE(MakePackage(51, utf8Names));
    ASSERT_TRUE(MakePackage(52, cp936Names));
    for (int id : {51, 52}) {
        EXPECT_EQ(m_unzip.OpenGame(id), msg::open_result::Started) << id;
        EXPECT_TRUE(WaitFor([&] { return fs::exists(Folder(id) / "ran.txt"); })) << id;
    }
    EXPECT_TRUE(fs::exists(Folder(51) / "é.sh"));
}

TEST_F(OpenGame, ShortcutMadeOnceWhenTheSettingIsOn)
{
    ASSERT_TRUE(MakePackage(9, GamePackage(RecordingScript, true)));
    m_shortcut = true;
    ASSERT_EQ(m_unzip.OpenGame(9), msg::open_result::Started);
    const fs::path link = m_box.Desktop() / "start.desktop";
    ASSERT_TRUE(fs::is_regular_file(link));
    const std::string text = ReadFile(link);
    EXPECT_NE(text.find("Exec=\"" + (Folder(9) / "bin/start.sh").string() + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Path=" + Folder(9).string() + "/\n"), std::string::npos) << text;
    WriteFile(link, "edited by the user");
    ASSERT_EQ(m_unzip.OpenGame(9), msg::open_result::Started);
    EXPECT_EQ(ReadFile(link), "edited by the user");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_box.Desktop()), fs::directory_iterator()), 1);
}

struct FailureCase
{
    const char* name;
    std::vector<Item> items; // empty with package false: no package at all
    bool package;
    std::uint32_t code;
};

class OpenFailures
    : public GameFixture
    , public ::testing::WithParamInterface<FailureCase>
{};

TEST_P(OpenFailures, ReportedOnceWithTellTheUser)
{
    const FailureCase& c = GetParam();
    if (c.package) {
        ASSERT_TRUE(MakePackage(21, c.items));
    }
    EXPECT_EQ(m_unzip.OpenGame(21), c.code);
    ASSERT_EQ(m_sink.Count(), 1u);
    EXPECT_EQ(Last().wParam, ResultWord(21));
    EXPECT_EQ(Last().lParam, platform::PackWords(c.code, 1));
    EXPECT_TRUE(fs::is_directory(m_box.ProgramDir() + "game"));
    EXPECT_FALSE(fs::exists(m_box.Root() / "evil.txt"));
    if (c.code == msg::open_result::NoExecutable) {
        EXPECT_TRUE(fs::exists(Folder(21) / "index.dat")); // what was unpacked stays
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    OpenFailures,
    ::testing::Values(
        FailureCase{"NoPackage", {}, false, msg::open_result::PackageUnreadable},
        FailureCase{"EmptyPackage", {}, true, msg::open_result::ExtractFailed},
        FailureCase{"ClimbingEntry",
                    {File("index.dat", "[config]\nfile=a\n"), File("../../../evil.txt", "x")},
                    true,
                    msg::open_result::ExtractFailed},
        FailureCase{"NoIndexDat", {File("start.sh", "#!/bin/sh\n")}, true, msg::open_result::NoConfig},
        FailureCase{"NamedFileMissing",
                    {File("index.dat", "[config]\nfile=Game.exe\n"), File("game.exe", "x")},
                    true,
                    msg::open_result::NoExecutable},
        FailureCase{"NameLeavesFolder",
                    {File("index.dat", "[config]\nfile=../../../../../../bin/true\n")},
                    true,
                    msg::open_result::NoExecutable},
        FailureCase{"EmptyName", {File("index.dat", "[config]\nfile=\n")}, true, msg::open_result::NoExecutable},
        FailureCase{"NamesItsOwnIndexDat",
                    {File("index.dat", "[config]\nfile=index.dat\n")},
                    true,
                    msg::open_result::NoExecutable},
        FailureCase{"NamesIndexDatThroughDot",
                    {File("index.dat", "[config]\nfile=./index.dat\n")},
                    true,
                    msg::open_result::NoExecutable},
        FailureCase{"NamesAFolder",
                    {File("index.dat", "[config]\nfile=bin\n"), Folder("bin/")},
                    true,
                    msg::open_result::NoExecutable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenGame, RemovingStopsOnlyTheRunningCopyOfThatGame)
{
    ASSERT_TRUE(MakePackage(31, GamePackage(RunningScript, true)));
    ASSERT_TRUE(MakePackage(32, GamePackage(RunningScript, true))); // same file name, other folder
    ASSERT_EQ(m_unzip.OpenGame(31), msg::open_result::Started);
    ASSERT_EQ(m_unzip.OpenGame(32), msg::open_result::Started);
    const pid_t first = ReadPid(Folder(31) / "pid.txt");
    const pid_t second = ReadPid(Folder(32) / "pid.txt");
    ASSERT_GT(first, 0);
    ASSERT_FALSE(ProcessGone(first));

    EXPECT_TRUE(m_unzip.RemoveGame(31));
    EXPECT_TRUE(ProcessGone(first));
    EXPECT_FALSE(ProcessGone(second));
    EXPECT_FALSE(fs::exists(Folder(31)));
    EXPECT_FALSE(fs::exists(m_box.Package(31)));
    EXPECT_EQ(ReadFile(m_box.Trash() / "files/31/data/level1.dat"), "L1");
    const std::string info = ReadFile(m_box.Trash() / "info/31.trashinfo");
    EXPECT_NE(info.find("Path=" + Folder(31).string() + "\n"), std::string::npos) << info;
    EXPECT_EQ(Last().wParam, platform::PackWords(31, msg::game_action::Removed));
    EXPECT_EQ(Last().lParam, 0u);

    // Its package already gone: the folder still goes to the Trash, under a name not yet used there.
    fs::create_directories(Folder(31));
    fs::remove(m_box.Package(32));
    EXPECT_TRUE(m_unzip.RemoveGame(32));
    EXPECT_TRUE(ProcessGone(second));
    EXPECT_TRUE(fs::exists(m_box.Trash() / "files/32/index.dat"));
    EXPECT_TRUE(m_unzip.RemoveGame(31));
    EXPECT_TRUE(fs::is_directory(m_box.Trash() / "files/31.2"));
    EXPECT_TRUE(fs::exists(m_box.Trash() / "info/31.2.trashinfo"));

    // Nothing left at all: still reported.
    const std::size_t before = m_sink.Count();
    EXPECT_TRUE(m_unzip.RemoveGame(33));
    EXPECT_EQ(m_sink.Count(), before + 1);
    EXPECT_EQ(Last().wParam, platform::PackWords(33, msg::game_action::Removed));
}

TEST_F(OpenGame, RemovingStopsAProgramMatchedByItsExecutable)
{
    fs::create_directories(Folder(40));
    WriteFile(Folder(40) / "index.dat", "[config]\nfile=game.bin\n");
    fs::copy_file("/bin/sleep", Folder(40) / "game.bin");
    fs::permissions(Folder(40) / "game.bin", fs::perms::owner_all);
    const std::string program = (Folder(40) / "game.bin").string();
    std::string arg0 = "game.bin";
    std::string arg1 = "30";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    ASSERT_TRUE(WaitFor([&] { return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe").string() == program; }));

    EXPECT_TRUE(m_unzip.RemoveGame(40));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(fs::exists(m_box.Trash() / "files/40/game.bin"));
}
