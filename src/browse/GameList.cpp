#include "browse/GameList.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "browse/DownloadDate.h"

namespace browse {
namespace {

bool Holds(std::string_view text, std::string_view keyword)
{
    return text.find(keyword) != std::string_view::npos;
}

// Calls take(id, record) for each game of the sub-category that the catalogue holds. Both maps are
// in byte-wise id order, so a large category is walked beside the catalogue instead of looked up.
template <typename Take>
void ForEachListedGame(const store::GameCatalogue& catalogue, const store::SubCategoryNode& sub, Take take)
{
    if (sub.games.size() * 8 < catalogue.size()) {
        for (const auto& [key, name] : sub.games) {
            const auto found = catalogue.find(key);
            if (found != catalogue.end()) {
                take(found->first, found->second);
            }
        }
        return;
    }
    auto game = catalogue.begin();
    for (const auto& [key, name] : sub.games) {
        while (game != catalogue.end() && game->first < key) {
            ++game;
        }
        if (game == catalogue.end()) {
            return;
        }
        if (game->first == key) {
            take(game->first, game->second);
        }
    }
}

void SortIds(std::vector<int>& ids)
{
    std::sort(ids.begin(), ids.end());
}

} // namespace

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
    std::vector<int> ids;
    if (!view.local && !view.search) {
        const store::SubCategoryNode* sub = FindSubCategory(tree, view.category, view.subCategory);
        if (sub == nullptr) {
            return ids;
        }
        ids.reserve(sub->games.size());
        ForEachListedGame(catalogue, *sub, [&ids](const std::string& key, const store::GameRecord& record) {
            if (IsOnlineState(record.state)) {
                if (const std::optional<int> id = MessageId(key)) {
                    ids.push_back(*id);
                }
            }
        });
        SortIds(ids);
        return ids;
    }
    if (!view.local) {
        for (const auto& [key, record] : catalogue) {
            if (IsOnlineState(record.state)
                && (Holds(record.name, view.keyword) || Holds(record.srcname, view.keyword))) {
                if (const std::optional<int> id = MessageId(key)) {
                    ids.push_back(*id);
                }
            }
        }
        SortIds(ids);
        return ids;
    }

    // Local: by download date, then id; games without a readable date after them, by id.
    struct Dated
    {
        bool undated;
        std::int64_t order;
        int id;
        auto operator<=>(const Dated&) const = default;
    };
    std::vector<Dated> dated;
    for (const auto& [key, record] : catalogue) {
        if (record.state != store::game_state::Downloaded) {
            continue;
        }
        if (view.search && !Holds(record.name, view.keyword)) {
            continue;
        }
        const std::optional<int> id = MessageId(key);
        if (!id) {
            continue;
        }
        const std::optional<std::int64_t> order = DownloadDateOrder(record.dawndate);
        dated.push_back(Dated{!order.has_value(), order.value_or(0), *id});
    }
    std::sort(dated.begin(), dated.end());
    ids.reserve(dated.size());
    for (const Dated& game : dated) {
        ids.push_back(game.id);
    }
    return ids;
}

int CountOnlineGames(const store::GameCatalogue& catalogue, const store::SubCategoryNode& sub)
{
    int count = 0;
    ForEachListedGame(catalogue, sub, [&count](const std::string& key, const store::GameRecord& record) {
        if (IsOnlineState(record.state) && MessageId(key)) {
            ++count;
        }
    });
    return count;
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
    m_games = SelectGames(catalogue, tree, view);
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

std::optional<int> GameList::Target(int request) const
{
    int page = request;
    if (request == PreviousPage) {
        page = m_current - 1;
    } else if (request == NextPage) {
        page = m_current + 1;
    }
    if (page < 0 || page >= m_pageCount || page == m_current) {
        return std::nullopt;
    }
    return page;
}

void GameList::SetCurrentPage(int page)
{
    if (page >= 0 && page < m_pageCount) {
        m_current = page;
    }
}

std::optional<int> GameList::ButtonPage(int k) const
{
    if (k < 0 || k >= PageButtons) {
        return std::nullopt;
    }
    const int page = PageButtonStart(m_current, m_pageCount) + k;
    if (page >= m_pageCount) {
        return std::nullopt;
    }
    return page;
}

} // namespace browse
