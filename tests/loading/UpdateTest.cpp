#include <map>
#include <string>

#include <gtest/gtest.h>

#include "LoadingTestSupport.h"
#include "loading/CatalogueUpdate.h"
#include "loading/Stages.h"
#include "markup/TextEncoding.h"
#include "platform/Cp936.h"
#include "platform/Messages.h"

namespace loading::test {
namespace {

// Nothing listens there: every picture request fails at once.
constexpr const char* NoServer = "http://127.0.0.1:1/";

std::string GameXml(const std::string& id, const std::string& name, const std::string& icon = "")
{
    return "<game id=\"" + id + "\" name=\"" + name + "\" srcname=\"(x)\">\r\n<cominfo>休闲##</cominfo>\r\n<intro/>\r\n"
           + "<detailintro/>\r\n<playskill/>\r\n<icopic>" + icon + "</icopic>\r\n</game>\r\n";
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
        dayGames.clear();
        StageRecorder recorder;
        store::DataFileLoader loader(recorder.Handle(), m_dir);
        UpdateOptions options;
        options.serverBase = NoServer;
        options.fetchList = [&](std::string_view url) {
            requested = std::string(url);
            return listBytes;
        };
        RunCatalogueUpdate(loader, options, catalogue, dayGames);
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

    store::GameCatalogue catalogue;
    store::GameCatalogue dayGames;
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
    // The catalogue was saved, folders made; the icon could not be fetched and left nothing.
    store::GameCatalogue saved;
    ASSERT_TRUE(store::DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", saved));
    EXPECT_EQ(saved.size(), 4U);
    EXPECT_TRUE(fs::is_directory(m_dir / "ico"));
    EXPECT_TRUE(fs::is_directory(m_dir / "pic"));
    EXPECT_TRUE(fs::is_empty(m_dir / "ico"));
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
                            "gamelist.xml"}) {
        EXPECT_EQ(SafePicturePath(bad), "") << bad;
    }
    EXPECT_EQ(SafePicturePath(std::string("ico\\a\0b", 7)), "");
}

} // namespace
} // namespace loading::test
