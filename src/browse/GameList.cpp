#include "browse/GameList.h"

#include <algorithm>

namespace browse {
const store::SubCategoryNode* FindSubCategory(const store::CategoryTree& tree, int category, int sub)
{
    const auto node = tree.nodes.find(KeyOf(category));
    if (node == tree.nodes.end()) {
        return nullptr;
    }
    const auto found = node->second.subs.find(KeyOf(sub));
    return found == node->second.subs.end() ? nullptr : &found->second;
}

std::vector<int>
SelectGames(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, const ListView& view)
{
    CatalogueIndex index;
    index.Refresh(catalogue, tree);
    return index.Select(view);
}

int GamesPerPage(int panelHeight)
{
    const int perPage = 2 * ((panelHeight - 40) / 125);
    return std::max(1, perPage);
}

int PageButtonStart(int current, int pageCount)
{
    if (pageCount < 6) {
        return 0;
    }
    if (current + 2 < pageCount) {
        return current < 3 ? 0 : current - 2;
    }
    return pageCount - 5;
}

int GameList::Fill(const store::GameCatalogue& catalogue,
                   const store::CategoryTree& tree,
                   const ListView& view,
                   int panelHeight)
{
    m_view = view;
    m_index.Refresh(catalogue, tree);
    m_games = m_index.Select(view);
    m_present.reset();
    for (const int id : m_games) {
        m_present.set(static_cast<std::size_t>(id));
    }
    m_perPage = GamesPerPage(panelHeight);
    m_pageCount = static_cast<int>((m_games.size() + static_cast<std::size_t>(m_perPage) - 1)
                                   / static_cast<std::size_t>(m_perPage));
    m_current = 0;
    return GameCount();
}

std::optional<TabCounts>
GameList::Counts(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, int category, int sub)
{
    m_index.Refresh(catalogue, tree);
    return m_index.Counts(category, sub);
}

ListView GameList::SearchView(const std::string& keyword) const
{
    ListView view = m_view;
    view.search = true;
    view.keyword = keyword;
    return view;
}

std::span<const int> GameList::Page(int page) const
{
    if (page < 0 || page >= m_pageCount) {
        return {};
    }
    const std::size_t first = static_cast<std::size_t>(page) * static_cast<std::size_t>(m_perPage);
    const std::size_t count = std::min(static_cast<std::size_t>(m_perPage), m_games.size() - first);
    return std::span<const int>(m_games).subspan(first, count);
}

std::optional<int> PageTarget(int request, int current, int pageCount)
{
    int page = request;
    if (request == PreviousPage) {
        page = current - 1;
    } else if (request == NextPage) {
        page = current + 1;
    }
    if (page < 0 || page >= pageCount || page == current) {
        return std::nullopt;
    }
    return page;
}

std::optional<int> ButtonPageOf(int k, int current, int pageCount)
{
    constexpr int Buttons = 5;
    if (k < 0 || k >= Buttons) {
        return std::nullopt;
    }
    const int page = PageButtonStart(current, pageCount) + k;
    if (page >= pageCount) {
        return std::nullopt;
    }
    return page;
}

std::optional<int> GameList::Target(int request) const
{
    return PageTarget(request, m_current, m_pageCount);
}

void GameList::SetCurrentPage(int page)
{
    if (page >= 0 && page < m_pageCount) {
        m_current = page;
    }
}

std::optional<int> GameList::ButtonPage(int k) const
{
    return ButtonPageOf(k, m_current, m_pageCount);
}

} // namespace browse
