#pragma once

// The games of the list panel: which games a view shows and in which order, their split into
// pages, the current page and the five sliding page buttons. Plain logic over the stores, so
// that it is driven and measured without a window. GUI thread only, like the stores it reads.

#include <bitset>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "browse/CatalogueIndex.h"
#include "browse/GameId.h"
#include "store/CategoryTree.h"
#include "store/GameCatalogue.h"

namespace browse {

// What a fill of the list shows.
struct ListView
{
    static constexpr int OnlineKind = 0;
    static constexpr int LocalKind = 2;

    int category = 0;    // top-level category id
    int subCategory = 0; // second-level category id
    bool local = false;  // the downloaded games instead of a category's games
    int kind = OnlineKind;
    bool search = false; // keep only the games matching the keyword
    std::string keyword; // UTF-8

    bool operator==(const ListView&) const = default;
};

// The second-level category (category, sub) of the tree; null when either is missing.
const store::SubCategoryNode* FindSubCategory(const store::CategoryTree& tree, int category, int sub);

// True for the states the online views show and count: not downloaded, not in the recycle bin.
constexpr bool IsOnlineState(std::int32_t state)
{
    return state != store::game_state::Downloaded && state != store::game_state::Recycled;
}

// The ids of the games a view shows, in order.
// - Online: the games of the sub-category that the catalogue holds, in neither state 3 nor 4.
// - Online search: every catalogue game in neither state 3 nor 4 whose name or source name holds
//   the keyword.
// - Local: every catalogue game in state 3 (with search: whose name holds the keyword).
// Online views are ordered by id; the local view by download date, equal dates by id, and games
// whose date does not read after the dated ones, by id. Keys that are not a message id
// (MessageId) are left out. Keywords match bytes of the UTF-8 texts, case as typed.
std::vector<int>
SelectGames(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, const ListView& view);

// Games per page for a panel of that height: two columns of 125-pixel rows below a 40-pixel band;
// at least one (a panel too low for a row shows one game a page).
int GamesPerPage(int panelHeight);

// First page of the five page buttons: all pages from 0 when there are fewer than six; else the
// current page third when it can be, the first five at the start, the last five at the end.
int PageButtonStart(int current, int pageCount);

// Go-to-page requests besides a page number.
constexpr int PreviousPage = -2;
constexpr int NextPage = -1;

// The page a go-to-page request leads to (PreviousPage, NextPage or a page number, from 0) from
// the current page; nullopt when it leads nowhere: already there, before the first or after the
// last page, no pages.
std::optional<int> PageTarget(int request, int current, int pageCount);
// The page of page button k (0-4) for the current page, or nullopt when that button is hidden.
std::optional<int> ButtonPageOf(int k, int current, int pageCount);

class GameList
{
public:
    static constexpr int PageButtons = 5;

    // Selects the games of view and splits them into pages for a panel of that height; the
    // current page becomes 0. Returns the number of games.
    int
    Fill(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, const ListView& view, int panelHeight);

    // The parameters of the last fill.
    const ListView& View() const { return m_view; }
    // The tab counts for a category and sub-category (see CountTabs).
    std::optional<TabCounts>
    Counts(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, int category, int sub);
    // The view of a search for keyword within the last fill's view.
    ListView SearchView(const std::string& keyword) const;

    int GameCount() const { return static_cast<int>(m_games.size()); }
    // True when the game was among the games of the last fill.
    bool Contains(int id) const
    {
        return id >= 1 && id <= MaxMessageId && m_present.test(static_cast<std::size_t>(id));
    }
    const std::vector<int>& Games() const { return m_games; }

    int PerPage() const { return m_perPage; }
    int PageCount() const { return m_pageCount; }
    int CurrentPage() const { return m_current; }
    // The ids on page n, empty when there is no such page.
    std::span<const int> Page(int page) const;
    // The page a go-to-page request leads to (PreviousPage, NextPage or a page number); nullopt
    // when it leads nowhere: already there, before the first or after the last page, no pages.
    std::optional<int> Target(int request) const;
    // Makes page the current one (ignored outside the pages).
    void SetCurrentPage(int page);

    // The page of page button k (0-4), or nullopt when that button is hidden.
    std::optional<int> ButtonPage(int k) const;

private:
    CatalogueIndex m_index;
    ListView m_view;
    std::vector<int> m_games;
    std::bitset<MaxMessageId + 1> m_present;
    int m_perPage = 1;
    int m_pageCount = 0;
    int m_current = 0;
};

} // namespace browse
