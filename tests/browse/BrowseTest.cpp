// The list's choice of games and their order, the counts on the tabs, the page arithmetic and the
// navigation state, driven without a window.

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browse/DownloadDate.h"
#include "browse/GameList.h"
#include "browse/ManagerLists.h"
#include "browse/Navigator.h"

namespace browse {
namespace {

using store::CategoryTree;
using store::GameCatalogue;
namespace state = store::game_state;

struct Game
{
    Game(std::string gameId,
         std::int32_t gameState = state::NotDownloaded,
         std::string gameName = "游戏",
         std::string source = {},
         std::string downloaded = {})
        : id(std::move(gameId))
        , state(gameState)
        , name(std::move(gameName))
        , srcname(std::move(source))
        , date(std::move(downloaded))
    {}

    std::string id;
    std::int32_t state;
    std::string name;
    std::string srcname;
    std::string date;
};

GameCatalogue Catalogue(const std::vector<Game>& games)
{
    GameCatalogue catalogue;
    for (const Game& game : games) {
        store::GameRecord& record = catalogue[game.id];
        record.id = game.id;
        record.state = game.state;
        record.name = game.name;
        record.srcname = game.srcname;
        record.dawndate = game.date;
    }
    return catalogue;
}

// Category 42 with sub-category 19 listing ids (whether or not the catalogue holds them).
CategoryTree Tree(const std::vector<std::string>& ids)
{
    CategoryTree tree;
    store::SubCategoryNode& sub = tree.nodes["42"].subs["19"];
    tree.nodes["42"].id = "42";
    sub.id = "19";
    for (const std::string& id : ids) {
        sub.games[id] = "游戏";
    }
    return tree;
}

TEST(MessageId, OnlyThePlainTextOfOneTo65535)
{
    const struct
    {
        const char* key;
        std::optional<int> id;
    } cases[] = {
        {"1", 1},
        {"65535", 65535},
        {"4150", 4150},
        {"0", std::nullopt},
        {"65536", std::nullopt},
        {"007", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {"12a", std::nullopt},
        {"", std::nullopt},
        {" 12", std::nullopt},
        {"999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageId(c.key), c.id) << c.key;
    }
}

TEST(DownloadDateOrder, ReadsTheLogsDatesAndOrdersThem)
{
    const auto order = [](const char* text) { return DownloadDateOrder(text); };
    EXPECT_EQ(order("1970-1-1 0:0:0"), 0);
    EXPECT_EQ(order("2009-7-5 14:3:9"), 1246802589);
    EXPECT_EQ(order(" 2009-7-5   14:3:9 trailing"), order("2009-7-5 14:3:9")) << "scanf's spaces and rest";
    EXPECT_EQ(order("2009-13-1 0:0:0"), order("2010-1-1 0:0:0")) << "a month past December carries over";
    EXPECT_LT(*order("2009-7-5 14:3:9"), *order("2009-7-5 14:3:10"));
    EXPECT_LT(*order("1999-12-31 23:59:59"), *order("2000-1-1 0:0:0"));
    for (const char* bad : {"",
                            "2009-7-5",
                            "2009-7-5T14:3:9",
                            "2009/7/5 14:3:9",
                            "yesterday",
                            "2009-7-5 14:3:x",
                            "99999999999-1-1 0:0:0"}) {
        EXPECT_FALSE(order(bad).has_value()) << bad;
    }
}

struct SelectionCase
{
    const char* name;
    ListView view;
    std::vector<int> ids;
};

void PrintTo(const SelectionCase& c, std::ostream* os)
{
    *os << c.name;
}

class Selection : public ::testing::TestWithParam<SelectionCase>
{};

ListView Online(int category = 42, int sub = 19)
{
    return ListView{category, sub, false, ListView::OnlineKind, false, {}};
}
ListView OnlineSearch(const char* keyword)
{
    return ListView{42, 19, false, ListView::OnlineKind, true, keyword};
}
ListView Local(const char* keyword = nullptr)
{
    return ListView{42, 19, true, ListView::LocalKind, keyword != nullptr, keyword != nullptr ? keyword : ""};
}

TEST_P(Selection, GamesAndOrder)
{
    const GameCatalogue catalogue = Catalogue({
        {"9", state::NotDownloaded, "祖玛传奇", "(PopCap Zuma)"},
        {"10", state::Downloading, "宝石迷阵", "(Jewel Quest)"},
        {"11", state::Paused, "极品飞车"},
        {"12", state::Contacting, "赛车/摩托"},
        {"13", state::Downloaded, "祖玛归来", "", "2010-3-1 8:0:0"},
        {"14", state::Recycled, "祖玛回收"},
        {"15", state::Downloaded, "农场", "", "2009-5-1 10:0:0"},
        {"16", state::Downloaded, "农场二", "", "2009-5-1 10:0:0"},
        {"8", state::Downloaded, "农场三", "", "2009-5-1 10:0:0"},
        {"17", state::Downloaded, "无日期", "", ""},
        {"7", state::Downloaded, "坏日期", "", "soon"},
        {"0", state::NotDownloaded, "零号祖玛"},
        {"70000", state::NotDownloaded, "太大祖玛"},
        {"018", state::NotDownloaded, "前导零祖玛"},
        {"20", state::NotDownloaded, "别的分类祖玛"},
    });
    const CategoryTree tree = Tree({"9", "10", "11", "12", "13", "14", "0", "70000", "018", "404"});
    EXPECT_EQ(SelectGames(catalogue, tree, GetParam().view), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Views,
    Selection,
    ::testing::Values(
        // States 3 and 4, ids missing from the catalogue and ids no message carries stay out; by id.
        SelectionCase{"online_category", Online(), {9, 10, 11, 12}},
        SelectionCase{"online_unknown_category", Online(43, 19), {}},
        SelectionCase{"online_unknown_sub", Online(42, 20), {}},
        // The whole catalogue, name or source name, neither downloaded nor recycled.
        SelectionCase{"online_search_name", OnlineSearch("祖玛"), {9, 20}},
        SelectionCase{"online_search_source", OnlineSearch("Jewel"), {10}},
        SelectionCase{"online_search_case_as_typed", OnlineSearch("jewel"), {}},
        SelectionCase{"online_search_slash", OnlineSearch("/"), {12}},
        SelectionCase{"online_search_nothing", OnlineSearch("不存在"), {}},
        SelectionCase{"online_search_not_across_name_and_source", OnlineSearch("奇(P"), {}},
        // Every downloaded game: equal dates by id, unreadable or missing dates last, by id.
        SelectionCase{"local", Local(), {8, 15, 16, 13, 7, 17}},
        SelectionCase{"local_search_name_only", Local("农场"), {8, 15, 16}},
        SelectionCase{"local_search_not_source", Local("Zuma"), {}}),
    [](const ::testing::TestParamInfo<SelectionCase>& info) { return std::string(info.param.name); });

TEST(CountTabs, OnlineForTheSubCategoryLocalForTheWholeCatalogue)
{
    const GameCatalogue catalogue = Catalogue({
        {"1", state::NotDownloaded},
        {"2", state::Downloading},
        {"3", state::Paused},
        {"4", state::Contacting},
        {"5", state::Downloaded},
        {"6", state::Recycled},
        {"7", state::Downloaded}, // downloaded, in no category of the tree
        {"8", state::Recycled},
        {"0", state::Downloaded},
    });
    const CategoryTree tree = Tree({"1", "2", "3", "4", "5", "6", "404"});
    EXPECT_EQ(CountTabs(catalogue, tree, 42, 19), (TabCounts{4, 2}));
    EXPECT_EQ(CountTabs(catalogue, tree, 43, 19), std::nullopt);
    EXPECT_EQ(CountTabs(catalogue, tree, 42, 20), std::nullopt);
    EXPECT_EQ(CountTabs(catalogue, CategoryTree{}, 0, 0), std::nullopt);
}

TEST(Paging, GamesPerPageFromTheHeight)
{
    const struct
    {
        int height;
        int perPage;
    } cases[] = {{430, 6}, {415, 6}, {414, 4}, {165, 2}, {164, 1}, {40, 1}, {0, 1}, {-50, 1}, {1040, 16}};
    for (const auto& c : cases) {
        EXPECT_EQ(GamesPerPage(c.height), c.perPage) << c.height;
    }
}

TEST(Paging, FivePageButtonsSlideWithTheCurrentPage)
{
    const struct
    {
        int current;
        int pages;
        int start;
    } cases[] = {{0, 1, 0},
                 {4, 5, 0},
                 {0, 6, 0},
                 {2, 6, 0},
                 {3, 6, 1},
                 {4, 6, 1},
                 {5, 6, 1},
                 {2, 10, 0},
                 {3, 10, 1},
                 {7, 10, 5},
                 {8, 10, 5},
                 {9, 10, 5}};
    for (const auto& c : cases) {
        EXPECT_EQ(PageButtonStart(c.current, c.pages), c.start) << c.current << " of " << c.pages;
    }
}

// The page buttons and previous/next are clicked in the list panel's tests; here what they rest on.
TEST(Paging, PagesAndTheGamesOfTheLastFill)
{
    std::vector<Game> games;
    std::vector<std::string> ids;
    for (int i = 1; i <= 13; ++i) {
        games.emplace_back(std::to_string(i));
        ids.push_back(std::to_string(i));
    }
    const GameCatalogue catalogue = Catalogue(games);
    GameList list;
    ASSERT_EQ(list.Fill(catalogue, Tree(ids), Online(), 430), 13);
    EXPECT_EQ(list.PageCount(), 3);
    EXPECT_EQ(std::vector<int>(list.Page(2).begin(), list.Page(2).end()), (std::vector<int>{13}));
    EXPECT_TRUE(list.Contains(13));
    EXPECT_FALSE(list.Contains(0));
    EXPECT_EQ(list.Target(7), std::nullopt) << "no such page";
    EXPECT_EQ(list.SearchView("x"), (ListView{42, 19, false, ListView::OnlineKind, true, "x"}));
    EXPECT_EQ(list.Fill(catalogue, CategoryTree{}, Online(0, 0), 430), 0);
    EXPECT_EQ(list.Target(NextPage), std::nullopt);
    EXPECT_FALSE(list.Contains(13)) << "forgets the games of the fill before";
}

TEST(Paging, TheListFollowsStatesAndNewGamesBetweenFills)
{
    GameCatalogue catalogue = Catalogue({{"1"}, {"2"}, {"3"}});
    CategoryTree tree = Tree({"1", "2", "3"});
    GameList list;
    ASSERT_EQ(list.Fill(catalogue, tree, Online(), 430), 3);
    catalogue["2"].state = state::Downloaded;
    catalogue["4"].id = "4";
    tree.nodes["42"].subs["19"].games["4"] = "游戏";
    EXPECT_EQ(list.Fill(catalogue, tree, Online(), 430), 3);
    EXPECT_EQ(list.Games(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(list.Counts(catalogue, tree, 42, 19), (TabCounts{3, 1}));
    EXPECT_EQ(list.Fill(catalogue, tree, Local(), 430), 1);
}

TEST(Navigator, FollowsTheMessagesOfTheBarsAndColumns)
{
    const CategoryTree tree = Tree({});
    Navigator nav;
    EXPECT_EQ(nav.ChooseCategory(42), 0);
    EXPECT_FALSE(nav.ChooseSubCategory(tree, 43, 19)) << "not the current category";
    EXPECT_FALSE(nav.ChooseSubCategory(tree, 42, 20)) << "not in the tree";
    EXPECT_EQ(nav.SubCategory(), 0);
    EXPECT_TRUE(nav.ChooseSubCategory(tree, 42, 19));
    EXPECT_EQ(nav.SubCategory(), 19);

    const std::optional<ListView> local = nav.ChooseTab(Navigator::LocalTab);
    ASSERT_TRUE(local);
    EXPECT_EQ(*local, Local());
    EXPECT_FALSE(nav.Online());
    EXPECT_EQ(nav.SearchTab(), Navigator::LocalTab);
    EXPECT_EQ(nav.ChooseTab(7), std::nullopt) << "counts only";
    EXPECT_FALSE(nav.Online());
    EXPECT_EQ(nav.ChooseTab(Navigator::OnlineTab), Online());
    EXPECT_EQ(nav.SearchTab(), Navigator::OnlineTab);

    EXPECT_EQ(nav.ChooseCategory(99), 42);
    EXPECT_FALSE(nav.ChooseSubCategory(tree, 42, 19)) << "a late report of the old column";
    EXPECT_EQ(nav.SubCategory(), 19);
}

// --- the download manager's pages ---

TEST(DownedList, TheGamesOfAStateByIdTenAPage)
{
    std::vector<Game> games;
    for (int id = 1; id <= 25; ++id) {
        games.emplace_back(std::to_string(id), id <= 11 ? state::Downloaded : state::Recycled);
    }
    games.emplace_back("007", state::Downloaded);   // no message carries it
    games.emplace_back("70000", state::Downloaded); // nor this one
    GameCatalogue catalogue = Catalogue(games);
    const struct
    {
        int state;
        int count;
        int pages;
        std::vector<int> lastPage;
    } cases[] = {
        {state::Downloaded, 11, 2, {11}},
        {state::Recycled, 14, 2, {22, 23, 24, 25}},
        {state::Paused, 0, 0, {}},
    };
    for (const auto& c : cases) {
        DownedList list;
        EXPECT_EQ(list.Fill(catalogue, c.state, false), c.count);
        EXPECT_EQ(list.PageCount(), c.pages);
        const std::span<const int> last = list.Page(c.pages - 1);
        EXPECT_EQ(std::vector<int>(last.begin(), last.end()), c.lastPage) << c.state;
    }
    for (int id = 2; id <= 11; ++id) {
        catalogue.at(std::to_string(id)).state = state::NotDownloaded;
    }
    DownedList list;
    list.Fill(catalogue, state::Downloaded, false);
    EXPECT_EQ(list.PageCount(), 1) << "ten games make one page";
    EXPECT_EQ(list.Games(), std::vector<int>{1});

    // A kept page stays while it exists.
    list.Fill(catalogue, state::Recycled, false);
    list.SetCurrentPage(1);
    EXPECT_EQ(list.Fill(catalogue, state::Recycled, true), 14);
    EXPECT_EQ(list.CurrentPage(), 1);
    for (int id = 12; id <= 21; ++id) {
        catalogue.at(std::to_string(id)).state = state::Downloaded;
    }
    list.Fill(catalogue, state::Recycled, true);
    EXPECT_EQ(list.CurrentPage(), 0) << "page 1 is gone";
}

TEST(DownedList, PageButtonsComeBackWhenThePagesGrowAgain)
{
    GameCatalogue catalogue;
    const auto fill = [&](int games) {
        catalogue = Catalogue({});
        for (int id = 1; id <= games; ++id) {
            catalogue[std::to_string(id)].state = state::Downloaded;
        }
        DownedList list;
        list.Fill(catalogue, state::Downloaded, false);
        std::vector<int> shown;
        for (int k = 0; k < DownedList::PageButtons; ++k) {
            if (const std::optional<int> page = list.ButtonPage(k)) {
                shown.push_back(*page);
            }
        }
        return shown;
    };
    EXPECT_EQ(fill(35), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(fill(11), (std::vector<int>{0, 1}));
    EXPECT_EQ(fill(0), std::vector<int>{});
    EXPECT_EQ(fill(60), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(DownloadRows, SizesCountInMegabytes)
{
    const std::string nines(400, '9');
    const struct
    {
        const char* text;
        double megabytes;
    } cases[] = {
        {"12.5M", 12.5},
        {" 12.5m ", 12.5},
        {"800K", 800.0 / 1024},
        {"800 kb", 800.0 / 1024},
        {"1G", 1024},
        {"1.5g", 1536},
        {"123", 123},
        {"", 0},
        {"abc", 0},
        {"M", 0},
        {"-5M", 0},
        {"nan", 0},
        {"inf", 0},
        {"1e400M", 1},
        {nines.c_str(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(SizeInMegabytes(c.text), c.megabytes) << c.text;
    }
}

TEST(DownloadRows, RowsInIdOrderFromReportsAndResults)
{
    GameCatalogue catalogue = Catalogue({{"7", state::Downloading, "七"}, {"3", state::Paused, "三"}, {"9"}});
    catalogue.at("7").size = "800K";
    catalogue.at("3").size = "12.5M";
    catalogue.at("9").size = "junk";
    using platform::PackWords;
    DownloadRows rows;
    // The direct report: a running and a paused download, the larger id first.
    EXPECT_EQ(rows.Progress(catalogue, PackWords(7, 0), PackWords(40, 35)), RowChange::Added);
    EXPECT_EQ(rows.Progress(catalogue, PackWords(3, 0), PackWords(10, 0)), RowChange::Added);
    EXPECT_EQ(rows.Progress(catalogue, PackWords(0, 2), PackWords(25, 35)), RowChange::None) << "the summary";
    EXPECT_EQ(rows.Progress(catalogue, PackWords(5, 0), 0), RowChange::None) << "not in the catalogue";
    EXPECT_EQ(rows.Position(3), 0);
    EXPECT_EQ(rows.Position(7), 1);
    EXPECT_EQ(rows.Find(3)->state, DownloadRow::Paused);
    EXPECT_EQ(rows.Find(7)->state, DownloadRow::Running);
    EXPECT_DOUBLE_EQ(rows.TotalMegabytes(), 12.5 + 800.0 / 1024);

    EXPECT_EQ(rows.Result(catalogue, 7, DownloadRows::ResultPaused), RowChange::Updated);
    EXPECT_EQ(rows.Find(7)->state, DownloadRow::Paused);
    EXPECT_EQ(rows.Find(7)->speed, 0);
    EXPECT_EQ(rows.Progress(catalogue, PackWords(7, 0), PackWords(41, 20)), RowChange::Updated);
    EXPECT_EQ(rows.Find(7)->state, DownloadRow::Running);
    EXPECT_EQ(rows.Find(7)->percent, 41);

    EXPECT_EQ(rows.Result(catalogue, 9, DownloadRows::ResultRemoved), RowChange::None);
    EXPECT_EQ(rows.Result(catalogue, 9, DownloadRows::ResultContinued), RowChange::Added);
    EXPECT_DOUBLE_EQ(rows.TotalMegabytes(), 12.5 + 800.0 / 1024) << "a size that is no number counts 0";
    EXPECT_EQ(rows.Result(catalogue, 3, DownloadRows::ResultRemoved), RowChange::Removed);
    EXPECT_EQ(rows.Count(), 2);
    EXPECT_EQ(rows.Position(7), 0);
}

} // namespace
} // namespace browse
