#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "store/Autostart.h"
#include "store/BoxSettings.h"
#include "store/DataFileLoader.h"
#include "store/DownloadLog.h"
#include "store/SettingsForm.h"

namespace store::test {
namespace {

// --- Settings ---------------------------------------------------------------------------------------

struct SettingsValues
{
    bool autodown;
    std::int32_t maxnum;
    bool autostart;
    bool exit;
    bool shortcut;
    bool autogame;

    bool operator==(const SettingsValues&) const = default;
};

SettingsValues ValuesOf(const BoxSettings& s)
{
    return {s.autodown, s.maxnum, s.autostart, s.exit, s.shortcut, s.autogame};
}

constexpr SettingsValues Defaults{false, 5, false, true, false, false};

struct SettingsCase
{
    const char* file;
    SettingsValues expected;
};

class SettingsReadTest
    : public ProgramDirTest
    , public ::testing::WithParamInterface<SettingsCase>
{};

TEST_P(SettingsReadTest, ReadsWhatItFindsInOrder)
{
    WriteBytes(m_dir / "set.xml", GetParam().file);
    BoxSettings settings;
    static_cast<void>(DataFileLoader(0, m_dir).LoadSettings("set.xml", settings));
    EXPECT_EQ(ValuesOf(settings), GetParam().expected);
    EXPECT_EQ(settings.versionLabel, "2.0正式版");
}

INSTANTIATE_TEST_SUITE_P(
    Files,
    SettingsReadTest,
    ::testing::Values(
        SettingsCase{"<set><maxnum value=\"3\"/></set>", {false, 3, false, true, false, false}},
        // exit stands before autostart: it is searched for after autostart and not seen.
        SettingsCase{"<set><exit value=\"0\"/><autostart value=\"1\"/></set>", {false, 5, true, true, false, false}},
        SettingsCase{"<set><autostart value=\"1\"/><exit value=\"0\"/><autodown value=\"7\"/><maxnum value=\"12\"/>"
                     "<shortcut value=\"1\"/><autogame value=\"1\"/></set>",
                     {true, 12, true, false, true, true}},
        // Not a number, or no value: 0 (false; maxnum 0 taken as read).
        SettingsCase{"<set><exit value=\"yes\"/><maxnum/></set>", {false, 0, false, false, false, false}},
        SettingsCase{"<options><maxnum value=\" -4x\"/><autogame value=\"99999999999999999999\"/></options>",
                     {false, -4, false, true, false, true}},
        SettingsCase{"<set><maxnum value=\"99999999999\"/></set>", {false, 2147483647, false, true, false, false}},
        SettingsCase{"<set><maxnum value=\"3\"/>", Defaults},
        SettingsCase{"", Defaults},
        SettingsCase{"\x01\x02\xFF garbage", Defaults}),
    ByIndex());

TEST_F(ProgramDirTest, MissingSettingsKeepDefaults)
{
    BoxSettings settings;
    EXPECT_FALSE(DataFileLoader(0, m_dir).LoadSettings("set.xml", settings));
    EXPECT_EQ(ValuesOf(settings), Defaults);
}

TEST_F(ProgramDirTest, SettingsFileFormAndRoundTrip)
{
    DataFileLoader loader(0, m_dir);
    BoxSettings settings;
    ASSERT_TRUE(loader.SaveSettings("set.xml", settings));
    EXPECT_EQ(ReadBytes(m_dir / "set.xml"),
              "<set>\r\n<autostart value=\"0\"/>\r\n<exit value=\"1\"/>\r\n<autodown value=\"0\"/>\r\n"
              "<maxnum value=\"5\"/>\r\n<shortcut value=\"0\"/>\r\n<autogame value=\"0\"/>\r\n</set>\r\n");

    settings.autodown = true;
    settings.maxnum = 10;
    settings.autostart = true;
    settings.exit = false;
    settings.shortcut = true;
    settings.autogame = true;
    ASSERT_TRUE(loader.SaveSettings("set.xml", settings));
    BoxSettings read;
    ASSERT_TRUE(loader.LoadSettings("set.xml", read));
    EXPECT_EQ(ValuesOf(read), ValuesOf(settings));

    settings.maxnum = -3;
    ASSERT_TRUE(loader.SaveSettings("set.xml", settings));
    ASSERT_TRUE(loader.LoadSettings("set.xml", read));
    EXPECT_EQ(read.maxnum, -3);
    EXPECT_EQ(Files(), (std::vector<std::string>{"set.xml"}));
}

TEST_F(ProgramDirTest, FailedSettingsSaveKeepsTheOldFile)
{
    WriteBytes(m_dir / "set.xml", "<set><maxnum value=\"3\"/></set>");
    std::filesystem::create_directory(m_dir / "sub");
    std::filesystem::create_directory(m_dir / "sub" / "set.xml");
    BoxSettings settings;
    EXPECT_FALSE(DataFileLoader(0, m_dir / "sub").SaveSettings("set.xml", settings));
    EXPECT_FALSE(DataFileLoader(0, m_dir / "absent").SaveSettings("set.xml", settings));
    EXPECT_EQ(ReadBytes(m_dir / "set.xml"), "<set><maxnum value=\"3\"/></set>");
}

TEST(SettingsThreads, OtherThreadsReadFieldsWhileTheyChange)
{
    BoxSettings settings;
    std::atomic<bool> done = false;
    std::thread reader([&] {
        int seen = 0;
        while (!done.load()) {
            seen += settings.shortcut ? 1 : 0;
            seen += settings.maxnum > 5 ? 1 : 0;
        }
        EXPECT_GE(seen, 0);
    });
    for (int i = 0; i < 20000; ++i) {
        settings.shortcut = (i % 2) == 0;
        settings.maxnum = i % 11;
    }
    const BoxSettings copy = settings;
    done = true;
    reader.join();
    EXPECT_EQ(copy.maxnum, 19999 % 11);
}

// --- Download log -----------------------------------------------------------------------------------

TEST_F(ProgramDirTest, DownloadLogReadsEntriesAndMergesIntoDownloadedGames)
{
    WriteBytes(
        m_dir / "DownLog.xml",
        "<anyroot>\r\n<log id=\"1\" dawndate=\"2009-7-5 14:3:9\"/>\r\n<log id=\"2\" dawndate=\"old\"/>\r\n"
        "<log id=\"3\"/>\r\n<other id=\"5\" dawndate=\"x\"/>\r\n<log id=\"2\" dawndate=\"2010-1-2 3:4:5\"/>\r\n"
        "<log id=\"4\" dawndate=\"2011-1-1 0:0:0\"/>\r\n<log id=\"9\" dawndate=\"unknown game\"/>\r\n</anyroot>");
    DownloadLog log;
    ASSERT_TRUE(DataFileLoader(0, m_dir).LoadDownloadLog("DownLog.xml", log));
    EXPECT_EQ(log,
              (DownloadLog{{"1", "2009-7-5 14:3:9"},
                           {"2", "2010-1-2 3:4:5"},
                           {"3", ""},
                           {"4", "2011-1-1 0:0:0"},
                           {"9", "unknown game"}}));

    GameCatalogue catalogue;
    for (const auto& [id, state] :
         std::map<std::string, std::int32_t>{{"1", 3}, {"2", 3}, {"3", 3}, {"4", 4}, {"6", 3}}) {
        catalogue[id].id = id;
        catalogue[id].state = state;
        catalogue[id].dawndate = id == "3" ? "before" : "";
    }
    MergeDownloadLog(log, catalogue);
    EXPECT_EQ(catalogue["1"].dawndate, "2009-7-5 14:3:9");
    EXPECT_EQ(catalogue["2"].dawndate, "2010-1-2 3:4:5");
    EXPECT_EQ(catalogue["3"].dawndate, ""); // an entry without a date gives an empty one
    EXPECT_EQ(catalogue["4"].dawndate, ""); // not downloaded: ignored
    EXPECT_EQ(catalogue["6"].dawndate, ""); // no entry
    EXPECT_EQ(catalogue.count("9"), 0U);
}

TEST_F(ProgramDirTest, BrokenDownloadLogMergesNothing)
{
    for (const char* bytes : {"", "<downlog><log id=\"1\" dawndate=\"d\"/>", "\xFF\xFE\x00"}) {
        WriteBytes(m_dir / "DownLog.xml", bytes);
        DownloadLog log;
        EXPECT_FALSE(DataFileLoader(0, m_dir).LoadDownloadLog("DownLog.xml", log));
        EXPECT_TRUE(log.empty());
    }
    DownloadLog log;
    EXPECT_FALSE(DataFileLoader(0, m_dir).LoadDownloadLog("absent.xml", log));
}

TEST_F(ProgramDirTest, DownloadLogFileForm)
{
    DataFileLoader loader(0, m_dir);
    GameCatalogue catalogue;
    ASSERT_TRUE(loader.SaveDownloadLog(catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "DownLog.xml"), "<downlog/>\r\n");

    const std::map<std::string, std::pair<std::int32_t, std::string>> games = {
        {"10", {3, "2010-5-3 14:2:7"}},
        {"9", {3, "2009-1-1 0:0:0"}},
        {"8", {3, ""}},               // downloaded without a date: not logged
        {"7", {4, "2008-1-1 1:1:1"}}, // in the recycle bin: the date is not written again
        {"6", {2, "2007-1-1 1:1:1"}},
        {"5&", {3, "a\"b"}},
    };
    for (const auto& [id, value] : games) {
        catalogue[id].id = id;
        catalogue[id].state = value.first;
        catalogue[id].dawndate = value.second;
    }
    ASSERT_TRUE(loader.SaveDownloadLog(catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "DownLog.xml"),
              "<downlog>\r\n<log id=\"10\" dawndate=\"2010-5-3 14:2:7\"/>\r\n"
              "<log id=\"5&amp;\" dawndate=\"a&quot;b\"/>\r\n"
              "<log id=\"9\" dawndate=\"2009-1-1 0:0:0\"/>\r\n</downlog>\r\n");
    DownloadLog log;
    ASSERT_TRUE(loader.LoadDownloadLog("DownLog.xml", log));
    EXPECT_EQ(log, (DownloadLog{{"10", "2010-5-3 14:2:7"}, {"5&", "a\"b"}, {"9", "2009-1-1 0:0:0"}}));
}

// --- Autostart ----------------------------------------------------------------------------------------

// Points HOME and XDG_CONFIG_HOME at folders of the test and restores them afterwards.
class AutostartTest : public ProgramDirTest
{
protected:
    void SetUp() override
    {
        ProgramDirTest::SetUp();
        Save("HOME", m_home);
        Save("XDG_CONFIG_HOME", m_config);
        std::filesystem::create_directories(m_dir / "home");
        ::setenv("HOME", (m_dir / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    }
    void TearDown() override
    {
        Restore("HOME", m_home);
        Restore("XDG_CONFIG_HOME", m_config);
        ProgramDirTest::TearDown();
    }
    std::filesystem::path Entry() const { return m_dir / "config" / "autostart" / "marlune.desktop"; }
    // Every file below the test folder (other than download/).
    std::vector<std::string> AllFiles() const
    {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_dir)) {
            if (e.is_regular_file()) {
                files.push_back(std::filesystem::relative(e.path(), m_dir).string());
            }
        }
        std::sort(files.begin(), files.end());
        return files;
    }

private:
    static void Save(const char* name, std::optional<std::string>& slot)
    {
        if (const char* value = std::getenv(name)) {
            slot = value;
        }
    }
    static void Restore(const char* name, const std::optional<std::string>& slot)
    {
        if (slot) {
            ::setenv(name, slot->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    std::optional<std::string> m_home;
    std::optional<std::string> m_config;
};

class AutostartPathTest
    : public AutostartTest
    , public ::testing::WithParamInterface<std::string>
{};

TEST_P(AutostartPathTest, AddQueryRemove)
{
    const std::filesystem::path exe = GetParam();
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, exe));
    EXPECT_FALSE(SetAutostart(AutostartAction::Remove, exe));
    ASSERT_TRUE(SetAutostart(AutostartAction::Add, exe));
    EXPECT_EQ(AutostartEntryPath(), Entry());
    EXPECT_EQ(AllFiles(), (std::vector<std::string>{"config/autostart/marlune.desktop"}));
    EXPECT_TRUE(SetAutostart(AutostartAction::Query, exe));
    // Exactly this path: another letter case or a longer path is another program.
    std::string upper = exe.string();
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, upper));
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, exe.string() + "x"));
    EXPECT_TRUE(SetAutostart(AutostartAction::Add, exe)); // again: replaced
    EXPECT_TRUE(SetAutostart(AutostartAction::Remove, exe));
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, exe));
    EXPECT_TRUE(AllFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Paths,
                         AutostartPathTest,
                         ::testing::Values(std::string("/opt/marlune/marlune"),
                                           std::string("/home/u/My Games/Marlune 2/marlune"),
                                           std::string("/opt/100%/a%%b/marlune"),
                                           std::string("/opt/q\"uo't/$HOME/`cmd`/back\\slash/marlune"),
                                           std::string("/opt/tab\there/new\nline/semi;colon&(x)|<y>~*?#/m"),
                                           std::string("/opt/游戏/marlune")),
                         ByIndex());

TEST_F(AutostartTest, EntryNamesTheQuotedPath)
{
    ASSERT_TRUE(SetAutostart(AutostartAction::Add, "/opt/My Games/a\\b$/marlune"));
    const std::string text = ReadBytes(Entry());
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/My Games/a\\\\\\\\b\\\\$/marlune\"\n"), std::string::npos) << text;
    ASSERT_TRUE(SetAutostart(AutostartAction::Add, "/opt/plain/marlune"));
    EXPECT_NE(ReadBytes(Entry()).find("\nExec=/opt/plain/marlune\n"), std::string::npos);
}

TEST_F(AutostartTest, QueryRejectsOtherEntries)
{
    std::filesystem::create_directories(Entry().parent_path());
    const std::string exe = "/opt/marlune/marlune";
    const std::vector<std::pair<std::string, bool>> entries = {
        {"[Desktop Entry]\nExec=/opt/marlune/marlune\n", true},
        {"[Desktop Entry]\r\nExec = /opt/marlune/marlune \r\n", true},
        {"[Desktop Entry]\nExec=\"/opt/marlune/marlune\"\n", true},
        {"[Desktop Entry]\nExec=/opt/marlune/marlune --hidden\n", false},
        {"[Desktop Entry]\nExec=/opt/marlune/marlune\nHidden=true\n", false},
        {"[Other]\nExec=/opt/marlune/marlune\n", false},
        {"[Desktop Entry]\nExec=\"/opt/marlune/marlune\n", false},
        {"[Desktop Entry]\nName=Marlune\n", false},
        {"", false},
    };
    for (const auto& [text, expected] : entries) {
        WriteBytes(Entry(), text);
        EXPECT_EQ(SetAutostart(AutostartAction::Query, exe), expected) << text;
    }
}

TEST_F(AutostartTest, ConfigFolderFollowsHomeWithoutXdgConfigHome)
{
    ::unsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(SetAutostart(AutostartAction::Add, "/opt/marlune/marlune"));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "home" / ".config" / "autostart" / "marlune.desktop"));
    // A relative XDG_CONFIG_HOME is ignored.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_TRUE(SetAutostart(AutostartAction::Query, "/opt/marlune/marlune"));
    EXPECT_TRUE(SetAutostart(AutostartAction::Remove, "/opt/marlune/marlune"));
}

TEST_F(AutostartTest, AddFailsWhenTheConfigFolderCannotBeMade)
{
    WriteBytes(m_dir / "config", "a file where the folder should be");
    EXPECT_FALSE(SetAutostart(AutostartAction::Add, "/opt/marlune/marlune"));
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, "/opt/marlune/marlune"));
    EXPECT_FALSE(SetAutostart(AutostartAction::Add, std::string("/opt/\xFF/marlune")));
}

TEST_F(AutostartTest, RunningExecutableByDefault)
{
    ASSERT_TRUE(SetAutostart(AutostartAction::Add));
    EXPECT_TRUE(SetAutostart(AutostartAction::Query));
    EXPECT_TRUE(SetAutostart(AutostartAction::Query, std::filesystem::read_symlink("/proc/self/exe")));
    EXPECT_FALSE(SetAutostart(AutostartAction::Query, "/usr/bin/true"));
    EXPECT_TRUE(SetAutostart(AutostartAction::Remove));
}

} // namespace
} // namespace store::test

// --- The settings window's form -----------------------------------------------------------------

namespace store::test {
namespace {

TEST(SettingsForm, MaxnumIsRefusedEmptyOrOutsideOneToTen)
{
    const struct
    {
        const char* typed;
        MaxnumCheck check;
        std::int32_t value;
    } cases[] = {
        {"", MaxnumCheck::Empty, 0},
        {"0", MaxnumCheck::OutOfRange, 0},
        {"11", MaxnumCheck::OutOfRange, 0},
        {"abc", MaxnumCheck::OutOfRange, 0},
        {"-3", MaxnumCheck::OutOfRange, 0},
        {" ", MaxnumCheck::OutOfRange, 0},
        {"99999999999", MaxnumCheck::OutOfRange, 0},
        {"1", MaxnumCheck::Valid, 1},
        {"10", MaxnumCheck::Valid, 10},
        {" 7", MaxnumCheck::Valid, 7},
        {"3台", MaxnumCheck::Valid, 3},
    };
    for (const auto& c : cases) {
        std::int32_t value = 0;
        EXPECT_EQ(CheckMaxDownloads(c.typed, &value), c.check) << c.typed;
        EXPECT_EQ(value, c.value) << c.typed;
    }
}

// Each tab applies its own options and leaves every other field as it was.
TEST(SettingsForm, ATabAppliesOnlyItsOwnOptions)
{
    BoxSettings before;
    before.maxnum = 4;
    SettingsForm form = SettingsForm::Of(before, false);
    EXPECT_EQ(form.maxnum, "4");
    form.startWithSession = true;
    form.closeToTray = false;
    form.resumeUnfinished = true;
    form.maxnum = "9";
    form.shortcut = true;
    form.autogame = true;
    const struct
    {
        SettingsTab tab;
        SettingsValues expected;
        std::optional<AutostartAction> autostart;
    } cases[] = {
        {SettingsTab::General, {false, 4, true, false, false, false}, AutostartAction::Add},
        {SettingsTab::Download, {true, 9, false, true, false, false}, std::nullopt},
        {SettingsTab::Game, {false, 4, false, true, true, true}, std::nullopt},
    };
    for (const auto& c : cases) {
        BoxSettings settings = before;
        const TabApplied applied = ApplySettingsTab(form, c.tab, settings);
        EXPECT_TRUE(applied.Applied());
        EXPECT_EQ(ValuesOf(settings), c.expected) << static_cast<int>(c.tab);
        EXPECT_EQ(applied.autostart, c.autostart);
    }
    form.startWithSession = false;
    BoxSettings settings = before;
    EXPECT_EQ(ApplySettingsTab(form, SettingsTab::General, settings).autostart, AutostartAction::Remove);

    // A refused maximum changes nothing of its tab.
    form.maxnum = "0";
    settings = before;
    EXPECT_EQ(ApplySettingsTab(form, SettingsTab::Download, settings).maxnum, MaxnumCheck::OutOfRange);
    EXPECT_EQ(ValuesOf(settings), ValuesOf(before));
}

} // namespace
} // namespace store::test
