#include <cstdint>
#include <map>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "StoreTestSupport.h"
#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"
#include "store/DataFileLoader.h"

namespace store::test {
namespace {

using markup::MarkupDoc;

// One game in the program's write form.
std::string GameXml(const std::string& id,
                    const std::string& cominfo,
                    const std::string& extra = "<intro/>\r\n<detailintro/>\r\n<playskill/>\r\n<icopic/>\r\n")
{
    return "<game id=\"" + id + "\" name=\"n" + id + "\" srcname=\"s" + id + "\">\r\n<cominfo>" + cominfo
           + "</cominfo>\r\n" + extra + "</game>\r\n";
}

std::string Gamelist(const std::string& games)
{
    return "<gamelist>\r\n" + games + "</gamelist>\r\n";
}

class CatalogueTest : public ProgramDirTest
{
protected:
    GameCatalogue LoadText(const std::string& bytes, Stages* stages = nullptr)
    {
        WriteBytes(m_dir / "gamelist.xml", bytes);
        StageRecorder recorder;
        DataFileLoader loader(recorder.Handle(), m_dir);
        GameCatalogue catalogue;
        static_cast<void>(loader.LoadCatalogue("gamelist.xml", catalogue));
        if (stages != nullptr) {
            *stages = recorder.Stages();
        }
        return catalogue;
    }
};

TEST_F(CatalogueTest, ReadsEveryFieldOfTheWriteForm)
{
    const std::string file =
        Gamelist("<game id=\"1118\" name=\"快乐 &amp; &quot;Co&quot;\" srcname=\"(Happy)\">\r\n"
                 "<cominfo>休闲益智##2010-1-1##单机##5##812K##免费##1234##简体中文##Linux##推荐##extra##</cominfo>\r\n"
                 "<intro>a &lt;b&gt;</intro>\r\n<detailintro>详细</detailintro>\r\n<playskill>攻略</playskill>\r\n"
                 "<icopic>ico\\1118.gif</icopic>\r\n<piclist>pic\\1118_1.jpg##pic\\1118_2.jpg##</piclist>\r\n"
                 "<laststate>3</laststate>\r\n</game>\r\n");
    AddPackage("1118");
    Stages stages;
    const GameCatalogue catalogue = LoadText(file, &stages);
    EXPECT_EQ(stages, (Stages{{13, 0}, {14, 0}}));
    ASSERT_EQ(catalogue.size(), 1U);
    const GameRecord& r = catalogue.at("1118");
    GameRecord expected;
    expected.info1 = "休闲益智";
    expected.info2 = "2010-1-1";
    expected.info3 = "单机";
    expected.info4 = "5";
    expected.id = "1118";
    expected.name = "快乐 & \"Co\"";
    expected.srcname = "(Happy)";
    expected.size = "812K";
    expected.info6 = "免费";
    expected.views = "1234";
    expected.language = "简体中文";
    expected.info9 = "Linux";
    expected.info10 = "推荐";
    expected.info11 = "extra";
    expected.intro = "a <b>";
    expected.detailintro = "详细";
    expected.playskill = "攻略";
    expected.icopic = "ico\\1118.gif";
    expected.pictures = {"pic\\1118_1.jpg", "pic\\1118_2.jpg"};
    expected.state = 3;
    EXPECT_EQ(r, expected);
}

struct SplitCase
{
    const char* cominfo;
    const char* piclist;
    std::vector<std::string> facts; // info1.. as far as given; the rest empty
    std::vector<std::string> pictures;
};

class SplitTest
    : public CatalogueTest
    , public ::testing::WithParamInterface<SplitCase>
{};

TEST_P(SplitTest, TakesOnlyPartsFollowedByTheSeparator)
{
    const SplitCase& c = GetParam();
    const GameCatalogue catalogue = LoadText(
        Gamelist(GameXml("1", c.cominfo, std::string("<intro/>\r\n<piclist>") + c.piclist + "</piclist>\r\n")));
    ASSERT_EQ(catalogue.count("1"), 1U);
    const GameRecord& r = catalogue.at("1");
    for (int i = 0; i < CominfoFacts; ++i) {
        // info11 is kept only for a downloaded game.
        const std::string want = i < static_cast<int>(c.facts.size()) && i != 10 ? c.facts[i] : "";
        EXPECT_EQ(*CominfoFact(r, i), want) << "fact " << i;
    }
    EXPECT_EQ(r.pictures, c.pictures);
}

INSTANTIATE_TEST_SUITE_P(Parts,
                         SplitTest,
                         ::testing::Values(SplitCase{"a##b", "p1##p2", {"a"}, {"p1"}},
                                           SplitCase{"whole text", "", {"whole text"}, {}},
                                           SplitCase{"a##b##", "p1##p2##", {"a", "b"}, {"p1", "p2"}},
                                           SplitCase{"##", "##", {""}, {""}},
                                           SplitCase{"", "p", {""}, {}},
                                           SplitCase{"1##2##3##4##5##6##7##8##9##10##11##12##13##",
                                                     "a####b##",
                                                     {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                                                     {"a", "", "b"}}),
                         ByIndex());

struct StateCase
{
    const char* laststate; // nullptr: no laststate element
    bool package;
    std::int32_t state;
};

class StateTest
    : public CatalogueTest
    , public ::testing::WithParamInterface<StateCase>
{};

TEST_P(StateTest, ReadsTheEffectiveState)
{
    const StateCase& c = GetParam();
    if (c.package) {
        AddPackage("42");
    }
    const std::string extra =
        c.laststate == nullptr ? "<intro/>\r\n" : std::string("<laststate>") + c.laststate + "</laststate>\r\n";
    const GameCatalogue catalogue = LoadText(Gamelist(GameXml("42", "a##b##c##d##e##f##g##h##i##j##k##", extra)));
    ASSERT_EQ(catalogue.count("42"), 1U);
    EXPECT_EQ(catalogue.at("42").state, c.state);
    // info11 survives only in state 3.
    EXPECT_EQ(catalogue.at("42").info11, c.state == 3 ? "k" : "");
}

INSTANTIATE_TEST_SUITE_P(Values,
                         StateTest,
                         ::testing::Values(StateCase{"3", true, 3},
                                           StateCase{"3", false, 2},
                                           StateCase{"7", true, 0},
                                           StateCase{"5", false, 0},
                                           StateCase{"-1", false, 0},
                                           StateCase{"no digits", false, 0},
                                           StateCase{" 4 in the bin", false, 4},
                                           StateCase{"+2", false, 2},
                                           StateCase{"&#51;", true, 3},
                                           StateCase{"99999999999999999999999", true, 0},
                                           StateCase{"-99999999999999999999997", true, 0},
                                           StateCase{"", true, 0},
                                           StateCase{nullptr, true, 0}),
                         ByIndex());

TEST_F(CatalogueTest, LaterDuplicateReplacesEveryFieldAndOthersStay)
{
    DataFileLoader loader(0, m_dir);
    GameCatalogue catalogue;
    GameRecord kept;
    kept.id = "7";
    kept.name = "kept";
    catalogue["7"] = kept;
    WriteBytes(m_dir / "gamelist.xml",
               Gamelist(GameXml("9", "first##", "<piclist>p##</piclist>\r\n<laststate>1</laststate>\r\n")
                        + GameXml("10", "ten##") + GameXml("9", "second##")));
    ASSERT_TRUE(loader.LoadCatalogue("gamelist.xml", catalogue));
    ASSERT_EQ(catalogue.size(), 3U);
    EXPECT_EQ(catalogue.at("9").info1, "second");
    EXPECT_TRUE(catalogue.at("9").pictures.empty());
    EXPECT_EQ(catalogue.at("9").state, 0);
    EXPECT_EQ(catalogue.at("7").name, "kept");
    // Byte-wise id order.
    std::vector<std::string> order;
    for (const auto& entry : catalogue) {
        order.push_back(entry.first);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"10", "7", "9"}));
}

TEST_F(CatalogueTest, ChildrenOutOfOrderAreNotSeenAndMissingIdIsTheEmptyKey)
{
    const GameCatalogue catalogue =
        LoadText(Gamelist("<game name=\"anon\"><intro>i</intro><cominfo>c##</cominfo><detailintro>d</detailintro>"
                          "<laststate>2</laststate><icopic>late</icopic></game>"));
    ASSERT_EQ(catalogue.count(""), 1U);
    const GameRecord& r = catalogue.at("");
    EXPECT_EQ(r.name, "anon");
    EXPECT_EQ(r.info1, "c");
    EXPECT_EQ(r.intro, "");
    EXPECT_EQ(r.detailintro, "d");
    // laststate stands before icopic: once icopic is found, laststate is searched after it.
    EXPECT_EQ(r.icopic, "late");
    EXPECT_EQ(r.state, 0);
}

TEST_F(CatalogueTest, StagesTellTheRootAndNothingIsPostedWithoutAReadableDocument)
{
    Stages stages;
    EXPECT_TRUE(LoadText("<games><game id=\"1\"/></games>", &stages).empty());
    EXPECT_EQ(stages, (Stages{{13, 0}, {14, 1}}));
    EXPECT_TRUE(LoadText("<gamelist><game id=\"1\">", &stages).empty());
    EXPECT_TRUE(stages.empty());

    // Missing file.
    StageRecorder recorder;
    DataFileLoader loader(recorder.Handle(), m_dir);
    GameCatalogue catalogue;
    EXPECT_FALSE(loader.LoadCatalogue("absent.xml", catalogue));
    // A folder in place of the file.
    std::filesystem::create_directory(m_dir / "folder.xml");
    EXPECT_FALSE(loader.LoadCatalogue("folder.xml", catalogue));
    EXPECT_TRUE(recorder.Stages().empty());
    EXPECT_TRUE(catalogue.empty());
}

TEST_F(CatalogueTest, NoWindowOrAClosedWindowGetsNoStages)
{
    WriteBytes(m_dir / "gamelist.xml", Gamelist(GameXml("1", "a##")));
    GameCatalogue catalogue;
    EXPECT_TRUE(DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", catalogue));
    platform::WindowHandle closed = 0;
    {
        StageRecorder recorder;
        closed = recorder.Handle();
    }
    EXPECT_FALSE(platform::IsWindow(closed));
    EXPECT_TRUE(DataFileLoader(closed, m_dir).LoadCatalogue("gamelist.xml", catalogue));
    EXPECT_EQ(catalogue.size(), 1U);
}

TEST_F(CatalogueTest, ParseCatalogueReadsText)
{
    StageRecorder recorder;
    DataFileLoader loader(recorder.Handle(), m_dir);
    GameCatalogue catalogue;
    EXPECT_TRUE(loader.ParseCatalogue(U16(Gamelist(GameXml("5", "x##"))), catalogue));
    EXPECT_FALSE(loader.ParseCatalogue(u"<gamelist>", catalogue));
    EXPECT_FALSE(loader.ParseCatalogue(u"", catalogue));
    EXPECT_EQ(recorder.Stages(), (Stages{{13, 0}, {14, 0}}));
    EXPECT_EQ(catalogue.at("5").info1, "x");
}

GameRecord SampleRecord(const std::string& id, std::int32_t state, int variant)
{
    GameRecord r;
    r.id = id;
    r.name = variant % 2 == 0 ? "疯狂赛车 <2> & \"Co\" 'x'" : "";
    r.srcname = "(Crazy Racer)";
    for (int i = 0; i < CominfoFacts; ++i) {
        *CominfoFact(r, i) = variant % 3 == 0 ? "" : "f" + std::to_string(i) + " & <" + id + ">";
    }
    r.intro = variant % 4 == 0 ? "" : "这是一款 ]]> 游戏";
    r.detailintro = "line\r\nnext &amp; literal";
    r.playskill = variant % 5 == 0 ? "" : "按空格键";
    r.icopic = "ico\\" + id + ".gif";
    if (variant % 2 == 1) {
        r.pictures = {"pic\\" + id + "_1.jpg", "pic\\" + id + "_2.jpg"};
    }
    r.state = state;
    r.dawndate = "2010-5-3 14:2:7";
    return r;
}

TEST_F(CatalogueTest, WrittenCatalogueReadsBackTheSameRecords)
{
    GameCatalogue written;
    for (int i = 0; i < 60; ++i) {
        const std::string id = std::to_string(100 + i * 37);
        written[id] = SampleRecord(id, i % 6, i);
        if (i % 6 == 3 && i % 4 != 0) {
            AddPackage(id);
        }
    }
    DataFileLoader loader(0, m_dir);
    ASSERT_TRUE(loader.WriteCatalogue(written));
    EXPECT_EQ(Files(), (std::vector<std::string>{"gamelist.xml"}));
    GameCatalogue read;
    ASSERT_TRUE(loader.LoadCatalogue("gamelist.xml", read));
    ASSERT_EQ(read.size(), written.size());
    for (const auto& [id, w] : written) {
        GameRecord expected = w;
        // Not carried by the file: the date, the state and, without state 3, info11.
        expected.dawndate.clear();
        expected.state = 0;
        expected.info11.clear();
        EXPECT_EQ(read.at(id), expected) << id;
    }
    // Written a second time, the file is the same.
    const std::string first = ReadBytes(m_dir / "gamelist.xml");
    ASSERT_TRUE(loader.WriteCatalogue(read));
    GameCatalogue again;
    ASSERT_TRUE(loader.LoadCatalogue("gamelist.xml", again));
    EXPECT_EQ(again, read);
}

TEST_F(CatalogueTest, WriteFormIsExact)
{
    GameCatalogue catalogue;
    GameRecord r;
    r.id = "12";
    r.name = "A&B";
    r.info1 = "t";
    r.size = "9K";
    r.icopic = "ico\\12.gif";
    r.state = 3;
    catalogue["12"] = r;
    r.id = "100";
    r.pictures = {"pic\\100_1.jpg"};
    catalogue["100"] = r;
    ASSERT_TRUE(DataFileLoader(0, m_dir).WriteCatalogue(catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"),
              "<gamelist>\r\n"
              "<game id=\"100\" name=\"A&amp;B\" srcname=\"\">\r\n"
              "<cominfo>t########9K##############</cominfo>\r\n"
              "<intro/>\r\n<detailintro/>\r\n<playskill/>\r\n<icopic>ico\\12.gif</icopic>\r\n"
              "<piclist>pic\\100_1.jpg##</piclist>\r\n"
              "</game>\r\n"
              "<game id=\"12\" name=\"A&amp;B\" srcname=\"\">\r\n"
              "<cominfo>t########9K##############</cominfo>\r\n"
              "<intro/>\r\n<detailintro/>\r\n<playskill/>\r\n<icopic>ico\\12.gif</icopic>\r\n"
              "</game>\r\n"
              "</gamelist>\r\n");
}

TEST_F(CatalogueTest, WriteFailureIsReportedAndLeavesNoFile)
{
    DataFileLoader loader(0, m_dir / "missing-folder");
    GameCatalogue catalogue;
    catalogue["1"] = SampleRecord("1", 0, 1);
    EXPECT_FALSE(loader.WriteCatalogue(catalogue));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "missing-folder"));
}

// --- The exit update ------------------------------------------------------------------------------

// The exit update done the plain way, by editing the parsed document in place.
std::u16string ExitUpdateInPlace(std::u16string_view text, const std::map<std::string, std::int32_t>& states)
{
    MarkupDoc doc;
    doc.SetDocument(text);
    if (doc.FindElement(u"gamelist")) {
        while (doc.FindChildElement(u"game")) {
            const auto found = states.find(U8(doc.GetChildAttribute(u"id")));
            if (found == states.end()) {
                continue;
            }
            doc.EnterElement();
            const std::u16string value = U16(std::to_string(found->second));
            if (doc.FindChildElement(u"laststate")) {
                doc.EnterElement();
                if (doc.GetContent() != value) {
                    doc.SetContent(doc.MainPos(), value);
                }
                doc.LeaveElement();
            } else {
                doc.AddChildElement(u"laststate", value);
            }
            doc.LeaveElement();
        }
    }
    return doc.GetDocument();
}

TEST_F(CatalogueTest, ExitUpdateChangesOnlyLaststate)
{
    const std::string before =
        Gamelist(GameXml("1", "a##", "<intro/>\r\n<laststate>0</laststate>\r\n")   // changed to 1
                 + GameXml("2", "b##", "<intro/>\r\n<laststate>2</laststate>\r\n") // already right
                 + GameXml("3", "c##")                                             // gets one, last child
                 + "<game id=\"4\"/>\r\n"                                          // opened
                 + "<game id=\"5\"></game>\r\n"                                    // filled
                 + GameXml("6", "d##", "<laststate/>\r\n")                         // empty element gets content
                 + GameXml("77", "not in the catalogue##", "<laststate>4</laststate>\r\n")
                 + GameXml("8", "e##", "<laststate>3</laststate>\r\n")   // package gone: 2
                 + GameXml("9", "f##", "<laststate>1</laststate>\r\n")); // run-time state 5 kept
    WriteBytes(m_dir / "gamelist.xml", before);
    GameCatalogue catalogue;
    for (const auto& [id, state] :
         std::map<std::string,
                  std::int32_t>{{"1", 1}, {"2", 2}, {"3", 4}, {"4", 0}, {"5", 1}, {"6", 3}, {"8", 3}, {"9", 5}}) {
        catalogue[id].id = id;
        catalogue[id].state = state;
    }
    AddPackage("6");
    ASSERT_TRUE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    const std::string expected = Gamelist(
        GameXml("1", "a##", "<intro/>\r\n<laststate>1</laststate>\r\n")
        + GameXml("2", "b##", "<intro/>\r\n<laststate>2</laststate>\r\n")
        + GameXml("3", "c##", "<intro/>\r\n<detailintro/>\r\n<playskill/>\r\n<icopic/>\r\n<laststate>4</laststate>\r\n")
        + "<game id=\"4\">\r\n<laststate>0</laststate>\r\n</game>\r\n"
        + "<game id=\"5\">\r\n<laststate>1</laststate>\r\n</game>\r\n"
        + GameXml("6", "d##", "<laststate>3</laststate>\r\n")
        + GameXml("77", "not in the catalogue##", "<laststate>4</laststate>\r\n")
        + GameXml("8", "e##", "<laststate>2</laststate>\r\n") + GameXml("9", "f##", "<laststate>5</laststate>\r\n"));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), expected);

    // Read back: 5 comes back as 0, the others as written.
    GameCatalogue read;
    ASSERT_TRUE(DataFileLoader(0, m_dir).LoadCatalogue("gamelist.xml", read));
    EXPECT_EQ(read.at("9").state, 0);
    EXPECT_EQ(read.at("8").state, 2);
    EXPECT_EQ(read.at("6").state, 3);
    EXPECT_EQ(read.at("77").state, 4);
}

TEST_F(CatalogueTest, ExitUpdateMatchesEditingTheDocumentInPlace)
{
    // Every shape a game and its laststate can have, in many random mixtures.
    const std::vector<std::string> shapes = {
        "<game id=\"@\">\r\n<cominfo>x##</cominfo>\r\n<laststate>1</laststate>\r\n</game>",
        "<game id=\"@\"><laststate/></game>",
        "<game id=\"@\"><laststate /></game>",
        "<game id=\"@\"><laststate></laststate></game>",
        "<game id=\"@\"><laststate>&#51;</laststate></game>",
        "<game id=\"@\"><laststate><![CDATA[2]]></laststate></game>",
        "<game id=\"@\"><laststate><x/></laststate></game>",
        "<game id=\"@\"><laststate>0</laststate><laststate>9</laststate></game>",
        "<game id=\"@\"/>",
        "<game id=\"@\" />",
        "<game id=\"@\"></game>",
        "<game id=\"@\" >  \r\n  <intro>i</intro>  <!-- note -->  </game  >",
        "<game id=\"@\"><intro>a</intro>tail text</game>",
        "<game id=\"@\"><laststate>  3 </laststate><?pi x?></game>",
        "<game name=\"no id\"><laststate>4</laststate></game>",
        "<other id=\"@\"><laststate>1</laststate></other>",
    };
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round) {
        std::string games;
        std::map<std::string, std::int32_t> states;
        GameCatalogue catalogue;
        const int count = 1 + static_cast<int>(random() % 25);
        for (int g = 0; g < count; ++g) {
            std::string shape = shapes[random() % shapes.size()];
            const std::string id = std::to_string(random() % 30);
            if (const auto at = shape.find('@'); at != std::string::npos) {
                shape.replace(at, 1, id);
            }
            games += shape + (random() % 2 == 0 ? "\r\n" : "");
            if (random() % 4 != 0) {
                const auto state = static_cast<std::int32_t>(random() % 6);
                catalogue[id].id = id;
                catalogue[id].state = state;
                states[id] = state;
            }
        }
        std::filesystem::remove_all(m_dir / "download");
        std::filesystem::create_directories(m_dir / "download");
        for (auto& [id, state] : states) {
            if (state == 3 && random() % 2 == 0) {
                AddPackage(id);
            } else if (state == 3) {
                state = 2;
            }
        }
        const std::string before = "<gamelist>" + games + "</gamelist>";
        WriteBytes(m_dir / "gamelist.xml", before);
        static_cast<void>(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
        EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), U8(ExitUpdateInPlace(U16(before), states))) << before;
    }
}

TEST_F(CatalogueTest, ExitUpdateWithoutAFileLeavesAnEmptyOne)
{
    GameCatalogue catalogue;
    catalogue["1"].state = 3;
    catalogue["1"].dawndate = "2010-1-1 1:2:3";
    AddPackage("1");
    EXPECT_TRUE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), "");
    EXPECT_TRUE(std::filesystem::exists(m_dir / "gamelist.xml"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"DownLog.xml", "gamelist.xml"}));
}

class UntouchedTest
    : public CatalogueTest
    , public ::testing::WithParamInterface<std::string>
{};

TEST_P(UntouchedTest, IllFormedFileIsLeftAsItIsAndTheLogIsStillWritten)
{
    const std::string bytes = GetParam();
    WriteBytes(m_dir / "gamelist.xml", bytes);
    GameCatalogue catalogue;
    catalogue["1"].id = "1";
    catalogue["1"].state = 4;
    EXPECT_FALSE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), bytes);
    EXPECT_EQ(ReadBytes(m_dir / "DownLog.xml"), "<downlog/>\r\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"DownLog.xml", "gamelist.xml"}));
}

INSTANTIATE_TEST_SUITE_P(Files,
                         UntouchedTest,
                         ::testing::Values(std::string(),
                                           std::string("<gamelist><game id=\"1\"><laststate>0</laststate></game>"),
                                           std::string("<gamelist></gamelist><gamelist/>"),
                                           std::string("<gamelist><game id=\"1\"></gamelist>"),
                                           // GBK bytes of an unended document: a rewrite could change them.
                                           std::string("<gamelist><game id=\"1\" name=\"\xBF\xEC\xC0\xD6\">"),
                                           std::string("\xFF\xFE<\0g\0", 6),
                                           std::string("\x80\x81\x82 not a document")),
                         ByIndex());

TEST_F(CatalogueTest, UnreadableFileIsLeftAsItIs)
{
    // A folder in place of the file cannot be read (unlike a mode of 000, which root reads).
    std::filesystem::create_directory(m_dir / "gamelist.xml");
    WriteBytes(m_dir / "gamelist.xml" / "inside", "x");
    GameCatalogue catalogue;
    EXPECT_FALSE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "gamelist.xml"));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml" / "inside"), "x");
    EXPECT_EQ(ReadBytes(m_dir / "DownLog.xml"), "<downlog/>\r\n");
}

TEST_F(CatalogueTest, ExitUpdateKeepsTheFilesEncoding)
{
    GameCatalogue catalogue;
    catalogue["1"].state = 2;
    // With a byte-order mark.
    WriteBytes(m_dir / "gamelist.xml", "\xEF\xBB\xBF<gamelist><game id=\"1\" name=\"快乐\"/></gamelist>");
    ASSERT_TRUE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"),
              "\xEF\xBB\xBF<gamelist><game id=\"1\" name=\"快乐\">\r\n<laststate>2</laststate>\r\n</game></gamelist>");
    // Declared code page 936.
    WriteBytes(m_dir / "gamelist.xml",
               "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<gamelist><game id=\"1\" name=\"\xBF\xEC\xC0\xD6\">"
               "<laststate>0</laststate></game></gamelist>");
    ASSERT_TRUE(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue));
    EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"),
              "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<gamelist><game id=\"1\" name=\"\xBF\xEC\xC0\xD6\">"
              "<laststate>2</laststate></game></gamelist>");
}

TEST_F(CatalogueTest, ExitUpdateChangesNoByteButThoseOfLaststate)
{
    // Game 1 has a laststate (0 becomes 4), game 2 is an empty element that gets one (state 1).
    auto list = [](const std::string& head, const std::string& name, const std::string& one, const std::string& two) {
        return head + "<gamelist>\r\n<game id=\"1\" name=\"" + name + "\"><laststate>" + one + "</laststate></game>\r\n"
               + two + "</gamelist>\r\n";
    };
    const std::string empty2 = "<game id=\"2\"/>\r\n";
    const std::string filled2 = "<game id=\"2\">\r\n<laststate>1</laststate>\r\n</game>\r\n";
    auto utf16 = [](const std::string& text) {
        std::string bytes = "\xFF\xFE";
        for (const char16_t unit : U16(text)) {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>(unit >> 8);
        }
        return bytes;
    };
    struct Case
    {
        const char* what;
        std::string before;
        std::string after; // empty: left as it is
    };
    const std::string nul("a\0b", 3);
    const Case cases[] = {
        {"code page 936 behind '<'",
         list("", "\xBF\xEC\xC0\xD6", "0", empty2),
         list("", "\xBF\xEC\xC0\xD6", "4", filled2)},
        {"unknown encoding declared",
         list("<?xml version=\"1.0\" encoding=\"x-unknown\"?>", "\xFF\x80\xD6", "0", empty2),
         list("<?xml version=\"1.0\" encoding=\"x-unknown\"?>", "\xFF\x80\xD6", "4", filled2)},
        {"zero bytes", list("", nul, "0", empty2), list("", nul, "4", filled2)},
        {"zero units", utf16(list("", nul, "0", empty2)), utf16(list("", nul, "4", filled2))},
        {"stateful code page",
         list("<?xml version=\"1.0\" encoding=\"iso-2022-jp\"?>", "\x1B$BF|K\\\x1B(B", "0", empty2),
         list("<?xml version=\"1.0\" encoding=\"iso-2022-jp\"?>", "\x1B$BF|K\\\x1B(B", "4", filled2)},
        {"'<' that is no byte '<'",
         "<?xml version=\"1.0\" encoding=\"utf-7\"?><gamelist><game id=\"1\">+ADw-laststate>0+ADw-/laststate>"
         "</game></gamelist>",
         ""},
    };
    GameCatalogue catalogue;
    catalogue["1"].state = 4;
    catalogue["2"].state = 1;
    for (const Case& c : cases) {
        WriteBytes(m_dir / "gamelist.xml", c.before);
        EXPECT_EQ(DataFileLoader(0, m_dir).SaveCatalogueState("gamelist.xml", catalogue), !c.after.empty()) << c.what;
        EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), c.after.empty() ? c.before : c.after) << c.what;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"DownLog.xml", "gamelist.xml"}));
}

TEST_F(CatalogueTest, StaleTemporariesOfOurSavesAreRemoved)
{
    const std::string own = std::to_string(::getpid());
    for (const std::string name : {".gamelist.xml.tmp123-4-567", ".DownLog.xml.tmp9-0-1", ".set.xml.tmp42-17-999999"}) {
        WriteBytes(m_dir / name, "stale");
    }
    std::vector<std::string> kept = {".gamelist.xml.tmp123-4-",
                                     ".gamelist.xml.tmp123-4-5x",
                                     ".gamelist.xml.tmp",
                                     "gamelist.xml.tmp1-2-3",
                                     ".other.xml.tmp1-2-3",
                                     ".gamelist.xml.tmp" + own + "-1-2",
                                     "gamelist.xml"};
    for (const std::string& name : kept) {
        WriteBytes(m_dir / name, "ours or not ours");
    }
    std::filesystem::create_directory(m_dir / ".set.xml.tmp1-2-3");
    kept.push_back(".set.xml.tmp1-2-3");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(RemoveStaleSaves(m_dir), 3U);
    EXPECT_EQ(Files(), kept);
}

// --- Hostile input --------------------------------------------------------------------------------

class HostileTest
    : public CatalogueTest
    , public ::testing::WithParamInterface<std::string>
{};

TEST_P(HostileTest, LoadsWithoutHarmAndTheExitUpdateKeepsIllFormedFiles)
{
    const std::string bytes = GetParam();
    WriteBytes(m_dir / "gamelist.xml", bytes);
    StageRecorder recorder;
    DataFileLoader loader(recorder.Handle(), m_dir);
    GameCatalogue catalogue;
    const bool read = loader.LoadCatalogue("gamelist.xml", catalogue);
    MarkupDoc doc;
    const bool wellFormed = doc.Load(m_dir / "gamelist.xml");
    EXPECT_EQ(read, wellFormed);
    if (!wellFormed) {
        EXPECT_TRUE(catalogue.empty());
        EXPECT_TRUE(recorder.Stages().empty());
    }
    for (auto& [id, record] : catalogue) {
        record.state = 5;
    }
    static_cast<void>(loader.SaveCatalogueState("gamelist.xml", catalogue));
    if (!wellFormed) {
        EXPECT_EQ(ReadBytes(m_dir / "gamelist.xml"), bytes);
    } else {
        // A second load of the updated file still works.
        GameCatalogue again;
        EXPECT_TRUE(loader.LoadCatalogue("gamelist.xml", again));
    }
}

std::string Deep(int depth)
{
    std::string s = "<gamelist><game id=\"1\">";
    for (int i = 0; i < depth; ++i) {
        s += "<cominfo>";
    }
    for (int i = 0; i < depth; ++i) {
        s += "</cominfo>";
    }
    return s + "</game></gamelist>";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs,
    HostileTest,
    ::testing::Values(
        std::string("<"),
        std::string("<gamelist>"),
        std::string("</gamelist>"),
        std::string("<gamelist><game id=\"1\"><cominfo>a##</gamelist>"),
        std::string("<gamelist><game id='1' id='2' name=\"a\" name=\"b\"/></gamelist>"),
        std::string("<gamelist><game id=\"1\"><cominfo><x>a##</x>b##</cominfo></game></gamelist>"),
        std::string("<gamelist><game id=\"&#0;&#xD800;&#1114112;&bogus;\"><laststate>&#51;&#51;</laststate>"
                    "</game></gamelist>"),
        std::string("<gamelist>\0<game id=\"1\"/>\0</gamelist>", 33),
        std::string("\xFE\xFF\0<\0g\0a\0m\0e\0l\0i\0s\0t\0/\0>", 24),
        std::string("\xFF\xFE<\0", 4) + std::string(1001, '\x00'),
        std::string("<gamelist><game id=\"") + std::string(70000, 'x') + "\"/></gamelist>",
        "<gamelist><game id=\"1\"><laststate>" + std::string(100000, '9') + "</laststate></game></gamelist>",
        Deep(3000),
        std::string("<gamelist><![CDATA[<game id=\"1\"/>]]><!-- <game id=\"2\"/> --></gamelist>"),
        std::string("<gamelist><game id=\"1\"></game></gamelist><!--"),
        std::string("\xEF\xBB\xBF\xEF\xBB\xBF<gamelist/>"),
        std::string("<gamelist><game id=\"1\"><laststate>3</laststate></game></gamelist>trailing")),
    ByIndex());

} // namespace
} // namespace store::test
