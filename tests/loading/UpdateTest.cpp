#include <chrono>
#include <map>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "LoadingTestSupport.h"
#include "TestHttpServer.h"
#include "loading/CatalogueUpdate.h"
#include "loading/Stages.h"
#include "markup/TextEncoding.h"
#include "platform/Cp936.h"
#include "platform/Messages.h"

namespace loading::test {
namespace {

// Nothing listens there: every picture request fails at once.
constexpr const char* NoServer = "http://127.0.0.1:1/";

std::string
GameXml(const std::string& id, const std::string& name, const std::string& icon = "", const std::string& more = "")
{
    return "<game id=\"" + id + "\" name=\"" + name + "\" srcname=\"(x)\">\r\n<cominfo>休闲##</cominfo>\r\n<intro/>\r\n"
           + "<detailintro/>\r\n<playskill/>\r\n<icopic>" + icon + "</icopic>\r\n" + more + "</game>\r\n";
}

std::string ListXml(const std::string& games)
{
    return "<gamelist>\r\n" + games + "</gamelist>\r\n";
}

std::string ToCp936(const std::string& utf8)
{
    const std::u16string text = U16(utf8);
    markup::TextConverter converter(u"UTF-16", u"CP936");
    std::string bytes(converter.Count(text.data(), text.size()), '\0');
    bytes.resize(converter.Convert(text.data(), text.size(), bytes.data(), bytes.size()));
    return bytes;
}

class UpdateTest : public ProgramDirTest
{
protected:
    // Runs the update with the given list bytes as the server's answer.
    void Run(const std::string& listBytes, const store::GameCatalogue& known = {})
    {
        catalogue = known;
        Update(listBytes, {});
    }
    // The same after loading gamelist.xml as start-up does.
    void RunFromDisk(const std::string& listBytes)
    {
        catalogue.clear();
        stored = LoadStoredCatalogue(store::DataFileLoader(0, m_dir), catalogue);
        Update(listBytes, stored);
    }
    void Update(const std::string& listBytes, const StoredCatalogue& found)
    {
        dayGames.clear();
        StageRecorder recorder;
        store::DataFileLoader loader(recorder.Handle(), m_dir);
        options.fetchList = [&](std::string_view url) {
            requested = std::string(url);
            return listBytes;
        };
        RunCatalogueUpdate(loader, options, catalogue, dayGames, found);
        stages = recorder.Stages();
        messages = recorder.Messages();
    }
    static store::GameCatalogue Known(std::initializer_list<std::string> ids)
    {
        store::GameCatalogue known;
        for (const std::string& id : ids) {
            known[id].id = id;
            known[id].name = "known " + id;
        }
        return known;
    }

    UpdateOptions options = [] {
        UpdateOptions defaults;
        defaults.serverBase = NoServer;
        return defaults;
    }();
    store::GameCatalogue catalogue;
    store::GameCatalogue dayGames;
    StoredCatalogue stored;
    Stages stages;
    std::vector<platform::Message> messages;
    std::string requested;
};

TEST_F(UpdateTest, MergesNewGamesOfAUtf8ListAndSavesThem)
{
    InstalledDaysAgo(m_dir, 400);
    Run(ListXml(GameXml("7", "新游戏七", "ico\\7.gif") + GameXml("12", "已知") + GameXml("300", "新游戏 &amp; 三百")),
        Known({"12", "5"}));
    EXPECT_EQ(requested, std::string(NoServer) + "file/cls/35.xml");
    EXPECT_EQ(stages, (Stages{{21, 0}, {22, 0}, {13, 0}, {14, 0}, {23, 0}, {24, 0}, {24, 0}}));
    // Stage 24 carries the number of new games and the current one.
    ASSERT_EQ(messages.size(), 7U);
    EXPECT_EQ(messages[5].lParam, platform::PackWords(2, 1));
    EXPECT_EQ(messages[6].lParam, platform::PackWords(2, 2));
    // Known games keep their record; new ones join.
    EXPECT_EQ(catalogue.size(), 4U);
    EXPECT_EQ(catalogue.at("12").name, "known 12");
    EXPECT_EQ(catalogue.at("300").name, "新游戏 & 三百");
    EXPECT_EQ(catalogue.at("7").icopic, "ico\\7.gif");
    // Every game of the day, new or not, for the daily-newest category.
    EXPECT_EQ(dayGames.size(), 3U);
    EXPECT_EQ(dayGames.at("12").name, "已知");
    // The catalogue was saved, folders made; the icon could not be fetched: it is owed to the next
    // start (a side file without a picture).
    store::GameCatalogue saved;
    ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", saved));
    EXPECT_EQ(saved.size(), 4U);
    EXPECT_TRUE(fs::is_directory(m_dir / "pic"));
    EXPECT_FALSE(fs::exists(m_dir / "ico" / "7.gif"));
    EXPECT_EQ(ReadBytes(m_dir / "ico" / "7.txt"), "####");
}

TEST_F(UpdateTest, ReadsCodePage936Lists)
{
    const std::string list = ListXml(GameXml("8", "疯狂赛车") + GameXml("9", "宝石€"));
    for (const std::string& bytes :
         {ToCp936(list), ToCp936("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n" + list)}) {
        ASSERT_FALSE(platform::IsValidUtf8(bytes));
        Run(bytes);
        ASSERT_EQ(catalogue.size(), 2U);
        EXPECT_EQ(catalogue.at("8").name, "疯狂赛车");
        EXPECT_EQ(catalogue.at("9").name, "宝石€");
        EXPECT_EQ(catalogue.at("8").info1, "休闲");
    }
    // The same text decoded independently.
    EXPECT_EQ(platform::Utf16ToUtf8(DecodeDayList(ToCp936(list))), *platform::Cp936ToUtf8(ToCp936(list)));
}

TEST_F(UpdateTest, ListDecoding)
{
    // Valid UTF-8 (with or without a mark, with four-byte characters) is taken as it is.
    EXPECT_EQ(DecodeDayList("<a>游戏</a>"), u"<a>游戏</a>");
    EXPECT_EQ(DecodeDayList("\xEF\xBB\xBF<a/>"), u"\uFEFF<a/>");
    EXPECT_EQ(DecodeDayList("<a>\xF0\x9F\x8E\xAE</a>"), u"<a>\U0001F3AE</a>");
    // Anything else is code page 936, even where it would pass a looser UTF-8 test.
    EXPECT_EQ(DecodeDayList("\xC4\xE3\xBA\xC3"), u"你好");
    EXPECT_EQ(DecodeDayList("\xD6\xD0"), u"中");
    EXPECT_EQ(DecodeDayList("<a>\xC0\xA1</a>"), u"<a>馈</a>"); // passes the old lead-and-trail test
    EXPECT_EQ(DecodeDayList(""), u"");
}

TEST_F(UpdateTest, AllKnownAddsNothingSavesNothingAndStillFillsTheDay)
{
    WriteBytes(m_dir / "gamelist.xml", "old bytes");
    Run(ListXml(GameXml("1", "a", "ico\\1.gif") + GameXml("2", "b")), Known({"1", "2", "3"}));
    EXPECT_EQ(stages, (Stages{{21, 0}, {22, 0}, {13, 0}, {14, 0}}));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), "old bytes");
    EXPECT_EQ(catalogue, Known({"1", "2", "3"}));
    EXPECT_EQ(dayGames.size(), 2U);

    store::CategoryTree tree;
    tree.nodes["99"].name = "old";
    tree.nodes["42"].name = "全部游戏";
    AddDailyNewest(dayGames, tree);
    ASSERT_EQ(tree.nodes.size(), 2U);
    const store::CategoryNode& daily = tree.nodes.at("99");
    EXPECT_EQ(daily.id, "99");
    EXPECT_EQ(daily.name, "每日最新");
    ASSERT_EQ(daily.subs.size(), 1U);
    EXPECT_EQ(daily.subs.at("99").name, "每日最新");
    EXPECT_EQ(daily.subs.at("99").games, (std::map<std::string, std::string>{{"1", "a"}, {"2", "b"}}));
}

class BadListTest
    : public UpdateTest
    , public ::testing::WithParamInterface<std::string>
{};

TEST_P(BadListTest, MergesNothing)
{
    WriteBytes(m_dir / "gamelist.xml", "old bytes");
    Run(GetParam(), Known({"1"}));
    EXPECT_EQ(catalogue, Known({"1"}));
    EXPECT_TRUE(dayGames.empty());
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), "old bytes");
    // 21 and 22 always; the reader's 13 and 14 (with its failure flag) only for a document it can read.
    ASSERT_GE(stages.size(), 2U);
    EXPECT_EQ(stages[0], (std::pair<std::uint32_t, std::uint32_t>{21, 0}));
    EXPECT_EQ(stages[1], (std::pair<std::uint32_t, std::uint32_t>{22, 0}));
    for (std::size_t i = 2; i < stages.size(); ++i) {
        EXPECT_TRUE(stages[i].first == 13 || stages[i].first == 14);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         BadListTest,
                         ::testing::Values(std::string(),
                                           std::string("<html><body>404 Not Found</body></html>"),
                                           std::string("<gamelist><game id=\"5\" name=\"x\">"),
                                           std::string("<gamelist><game id=\"5\"/></gamelist><gamelist/>"),
                                           std::string("\x00\x01\x02\xFF\xFE", 5),
                                           std::string(100000, '<')),
                         ByIndex());

TEST_F(UpdateTest, TakesOnlyUsableIdsAndNeverTheListsState)
{
    std::string games;
    for (const char* id : {"", "0010", "10", "11abc", "0", "65536", "65535", "+7", "12"}) {
        games += GameXml(id, std::string("g") + id, "", "<laststate>3</laststate>\r\n");
    }
    AddPackage("10"); // would make state 3 stick
    Run(ListXml(games), Known({"12"}));
    EXPECT_EQ(dayGames.size(), 3U);
    ASSERT_EQ(catalogue.size(), 3U);
    for (const char* id : {"10", "65535"}) {
        ASSERT_EQ(catalogue.count(id), 1U) << id;
        EXPECT_EQ(catalogue.at(id).state, 0) << id;
    }
    EXPECT_EQ(catalogue.at("12").name, "known 12");
}

TEST_F(UpdateTest, TheStartUpWriteKeepsEveryStoredGameAndItsState)
{
    AddPackage("5");
    WriteBytes(m_dir / "gamelist.xml",
               ListXml(GameXml("5", "a", "", "<laststate>3</laststate>")
                       + GameXml("6", "b", "", "<laststate>2</laststate>")
                       + GameXml("7", "c", "", "<laststate>4</laststate>") + GameXml("0010", "d")
                       + GameXml("70000", "e", "", "<laststate>1</laststate>")));
    RunFromDisk(ListXml(GameXml("8", "new")));
    // Ids no click could act on stay out of the catalogue, and on disk.
    EXPECT_EQ(catalogue.size(), 4U);
    EXPECT_EQ(stored.setAside.size(), 2U);
    store::GameCatalogue saved;
    ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", saved));
    ASSERT_EQ(saved.size(), 6U);
    const std::map<std::string, int> states{{"5", 3}, {"6", 2}, {"7", 4}, {"8", 0}, {"0010", 0}, {"70000", 1}};
    for (const auto& [id, state] : states) {
        EXPECT_EQ(saved.at(id).state, state) << id;
    }
}

TEST_F(UpdateTest, AnUnreadableCatalogueKeepsItsBytesBesideTheNewOne)
{
    struct Case
    {
        std::string stored;
        bool kept;
    };
    const Case cases[] = {
        {std::string("<gamelist><game id=\"1\">\xFF\x00", 15), true}, // ill-formed
        {"<games><game id=\"1\" name=\"x\"/></games>", true},         // another root
        {"<gamelist/>", false},                                       // read, empty
        {"", false},                                                  // nothing to lose
    };
    const std::regex copyName(R"(gamelist\.xml\.unreadable-\d{8}-\d{6})");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        WriteBytes(m_dir / "gamelist.xml", c.stored);
        RunFromDisk(ListXml(GameXml("8", "new")));
        std::vector<std::string> copies;
        for (const std::string& name : Files()) {
            if (name.rfind("gamelist.xml.", 0) == 0) {
                copies.push_back(name);
            }
        }
        ASSERT_EQ(copies.size(), c.kept ? 1U : 0U);
        if (c.kept) {
            EXPECT_TRUE(std::regex_match(copies[0], copyName)) << copies[0];
            EXPECT_EQ(ReadBytes(m_dir / copies[0]), c.stored);
        }
        store::GameCatalogue saved;
        ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", saved));
        EXPECT_EQ(saved.size(), 1U);
    }
}

TEST_F(UpdateTest, PicturesAreBoundedInSizeAndTimeAndTheRestComesNextStart)
{
    using testing_support::HttpReply;
    std::mutex mutex;
    std::map<std::string, testing_support::ServedFile> files;
    files["/file/ico/7.gif"].content = "huge";
    files["/file/ico/7.gif"].claimedLength = MaxPictureBytes + 1;
    files["/file/ico/8.gif"].content = std::string(200000, '8');
    files["/file/ico/8.gif"].pieceBytes = 1000;
    files["/file/ico/8.gif"].pieceDelayMs = 100;
    files["/file/ico/9.gif"].content = std::string(5000, '9');
    testing_support::TestHttpServer server([&](const testing_support::HttpRequest& request) {
        std::lock_guard lock(mutex);
        return testing_support::ServeFile(request, files[request.path]);
    });
    options.serverBase = server.BaseUrl();
    options.pictureTimeLimit = std::chrono::seconds(1);
    const auto started = std::chrono::steady_clock::now();
    Run(ListXml(GameXml("7", "a", "ico\\7.gif") + GameXml("8", "b", "ico\\8.gif") + GameXml("9", "c", "ico\\9.gif")));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    const fs::path ico = m_dir / "ico";
    EXPECT_FALSE(fs::exists(ico / "7.gif")); // too large: never requested, never owed
    EXPECT_FALSE(fs::exists(ico / "7.txt"));
    EXPECT_GT(fs::file_size(ico / "8.gif"), 0U);
    EXPECT_LT(fs::file_size(ico / "8.gif"), 200000U);
    EXPECT_EQ(ReadBytes(ico / "8.txt"), "##Mon,06Dec201010:00:00GMT\r##");
    EXPECT_FALSE(fs::exists(ico / "9.gif")); // out of time: owed
    EXPECT_EQ(ReadBytes(ico / "9.txt"), "####");
    EXPECT_EQ(server.Requests("GET").size(), 1U);

    // The next start, with nothing new, fetches what is owed and nothing else.
    {
        std::lock_guard lock(mutex);
        files["/file/ico/8.gif"].pieceBytes = 0;
    }
    options.pictureTimeLimit = std::chrono::seconds(60);
    const store::GameCatalogue known = catalogue;
    Run(ListXml(""), known);
    EXPECT_EQ(ReadBytes(ico / "8.gif"), std::string(200000, '8'));
    EXPECT_EQ(ReadBytes(ico / "9.gif"), std::string(5000, '9'));
    EXPECT_FALSE(fs::exists(ico / "8.txt"));
    EXPECT_FALSE(fs::exists(ico / "9.txt"));
    EXPECT_EQ(server.Requests("HEAD").size(), 4U); // 7 and 8, then 8 and 9
}

TEST(SafePicturePath, StaysInsideIcoAndPic)
{
    EXPECT_EQ(SafePicturePath("ico\\123.gif"), "ico/123.gif");
    EXPECT_EQ(SafePicturePath("pic\\123_1.jpg"), "pic/123_1.jpg");
    EXPECT_EQ(SafePicturePath("pic/sub/1.jpg"), "pic/sub/1.jpg");
    EXPECT_EQ(SafePicturePath("pic\\a b.jpg"), "pic/a b.jpg");
    // A backslash is part of a name here: the file stays inside ico/.
    EXPECT_EQ(SafePicturePath("ico\\..\\x"), "ico/..\\x");
    for (const char* bad : {"",
                            "ico",
                            "ico\\",
                            "/etc/passwd",
                            "../etc/passwd",
                            "ico/../../x",
                            "ico/a/../../x",
                            "ico\\./x",
                            "ico//x",
                            "pic/x/",
                            "bin\\sh",
                            "icon/1.gif",
                            "Ico\\1.gif",
                            "download/1.zip",
                            "gamelist.xml",
                            "ico\\5.txt", // its own side file
                            "pic\\6.TXT",
                            "pic\\sub\\x.txt"}) {
        EXPECT_EQ(SafePicturePath(bad), "") << bad;
    }
    EXPECT_EQ(SafePicturePath(std::string("ico\\a\0b", 7)), "");
}

} // namespace
} // namespace loading::test
