#include "browse/CatalogueIndex.h"

#include <algorithm>
#include <bit>
#include <functional>

#include "browse/DownloadDate.h"
#include "browse/GameId.h"
#include "browse/GameList.h"

namespace browse {
namespace {

// A set of message ids that hands them back in ascending order: the order of the online views
// without sorting.
class IdSet
{
public:
    void Add(int id) { m_words[static_cast<std::size_t>(id) / 64] |= std::uint64_t{1} << (id % 64); }
    std::vector<int> Ids(std::size_t expected) const
    {
        std::vector<int> ids;
        ids.reserve(expected);
        for (std::size_t w = 0; w < m_words.size(); ++w) {
            for (std::uint64_t word = m_words[w]; word != 0; word &= word - 1) {
                ids.push_back(static_cast<int>(w * 64 + static_cast<std::size_t>(std::countr_zero(word))));
            }
        }
        return ids;
    }

private:
    std::array<std::uint64_t, (MaxMessageId + 64) / 64> m_words{};
};

std::size_t TreeEntries(const store::CategoryTree& tree)
{
    std::size_t entries = 0;
    for (const auto& [key, node] : tree.nodes) {
        entries += 1 + node.subs.size();
        for (const auto& [subKey, sub] : node.subs) {
            entries += sub.games.size();
        }
    }
    return entries;
}

} // namespace

void CatalogueIndex::Refresh(const store::GameCatalogue& catalogue, const store::CategoryTree& tree)
{
    const std::size_t treeEntries = TreeEntries(tree);
    if (m_built && m_catalogue == &catalogue && m_tree == &tree && m_catalogueSize == catalogue.size()
        && m_treeEntries == treeEntries) {
        return;
    }
    m_catalogue = &catalogue;
    m_tree = &tree;
    m_catalogueSize = catalogue.size();
    m_treeEntries = treeEntries;
    m_built = true;
    m_games.clear();
    m_textStarts.clear();
    m_text.clear();
    m_subs.clear();

    std::vector<std::int32_t> indexOf(MaxMessageId + 1, -1);
    m_games.reserve(catalogue.size());
    for (const auto& [key, record] : catalogue) {
        const std::optional<int> id = MessageId(key);
        if (!id) {
            continue;
        }
        Game game;
        game.record = &record;
        game.textStart = static_cast<std::uint32_t>(m_text.size());
        game.nameLength = static_cast<std::uint32_t>(record.name.size());
        game.id = *id;
        m_text += record.name;
        m_text += '\0';
        m_text += record.srcname;
        m_text += '\0';
        indexOf[static_cast<std::size_t>(*id)] = static_cast<std::int32_t>(m_games.size());
        m_textStarts.push_back(game.textStart);
        m_games.push_back(game);
    }
    for (const auto& [categoryKey, node] : tree.nodes) {
        const std::optional<int> category = MessageId(categoryKey);
        if (!category) {
            continue;
        }
        for (const auto& [subKey, sub] : node.subs) {
            const std::optional<int> subId = MessageId(subKey);
            if (!subId) {
                continue;
            }
            std::vector<std::uint32_t>& games = m_subs[SubKey{*category, *subId}];
            games.reserve(sub.games.size());
            for (const auto& [gameKey, name] : sub.games) {
                if (const std::optional<int> id = MessageId(gameKey)) {
                    if (const std::int32_t index = indexOf[static_cast<std::size_t>(*id)]; index >= 0) {
                        games.push_back(static_cast<std::uint32_t>(index));
                    }
                }
            }
        }
    }
}

const std::vector<std::uint32_t>* CatalogueIndex::SubGames(int category, int sub) const
{
    const auto found = m_subs.find(SubKey{category, sub});
    return found == m_subs.end() ? nullptr : &found->second;
}

template <typename Take>
void CatalogueIndex::ForEachMatch(std::string_view keyword, bool sourceToo, Take take) const
{
    // A keyword with a zero byte could match across two texts: look at each game on its own.
    if (keyword.empty() || keyword.find('\0') != std::string_view::npos) {
        for (const Game& game : m_games) {
            if (game.record->name.find(keyword) != std::string::npos
                || (sourceToo && game.record->srcname.find(keyword) != std::string::npos)) {
                take(game);
            }
        }
        return;
    }
    const std::string_view text(m_text);
    const std::boyer_moore_horspool_searcher searcher(keyword.begin(), keyword.end());
    auto from = text.begin();
    while (from != text.end()) {
        const auto match = searcher(from, text.end()).first;
        if (match == text.end()) {
            return;
        }
        const auto offset = static_cast<std::uint32_t>(match - text.begin());
        const std::size_t g =
            static_cast<std::size_t>(std::upper_bound(m_textStarts.begin(), m_textStarts.end(), offset)
                                     - m_textStarts.begin())
            - 1;
        const Game& game = m_games[g];
        const bool inName = offset < game.textStart + game.nameLength;
        if (inName || sourceToo) {
            take(game);
            // One match is enough: go on with the next game.
            from = g + 1 < m_games.size() ? text.begin() + m_textStarts[g + 1] : text.end();
        } else {
            from = match + 1;
        }
    }
}

std::vector<int> CatalogueIndex::Select(const ListView& view) const
{
    if (view.local) {
        return SelectLocal(view);
    }
    IdSet ids;
    std::size_t count = 0;
    if (!view.search) {
        const std::vector<std::uint32_t>* games = SubGames(view.category, view.subCategory);
        if (games == nullptr) {
            return {};
        }
        for (const std::uint32_t index : *games) {
            const Game& game = m_games[index];
            if (IsOnlineState(game.record->state)) {
                ids.Add(game.id);
                ++count;
            }
        }
        return ids.Ids(count);
    }
    ForEachMatch(view.keyword, true, [&](const Game& game) {
        if (IsOnlineState(game.record->state)) {
            ids.Add(game.id);
            ++count;
        }
    });
    return ids.Ids(count);
}

std::vector<int> CatalogueIndex::SelectLocal(const ListView& view) const
{
    // By download date, then id; games without a readable date after them, by id.
    struct Dated
    {
        bool undated;
        std::int64_t order;
        int id;
        auto operator<=>(const Dated&) const = default;
    };
    std::vector<Dated> dated;
    const auto take = [&dated](const Game& game) {
        if (game.record->state != store::game_state::Downloaded) {
            return;
        }
        const std::optional<std::int64_t> order = DownloadDateOrder(game.record->dawndate);
        dated.push_back(Dated{!order.has_value(), order.value_or(0), game.id});
    };
    if (view.search) {
        ForEachMatch(view.keyword, false, take);
    } else {
        for (const Game& game : m_games) {
            take(game);
        }
    }
    std::sort(dated.begin(), dated.end());
    std::vector<int> ids;
    ids.reserve(dated.size());
    for (const Dated& game : dated) {
        ids.push_back(game.id);
    }
    return ids;
}

std::optional<TabCounts> CatalogueIndex::Counts(int category, int sub) const
{
    // The tree may hold a sub-category none of whose games is in the index.
    const std::vector<std::uint32_t>* games = SubGames(category, sub);
    if (games == nullptr) {
        return std::nullopt;
    }
    TabCounts counts;
    for (const std::uint32_t index : *games) {
        if (IsOnlineState(m_games[index].record->state)) {
            ++counts.online;
        }
    }
    for (const Game& game : m_games) {
        if (game.record->state == store::game_state::Downloaded) {
            ++counts.local;
        }
    }
    return counts;
}

} // namespace browse
