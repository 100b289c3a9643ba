#pragma once

// A compact index of the catalogue and the category tree for the list's selections: the games
// whose key a message can carry, in catalogue order, with their names and source names in one
// text, and each sub-category's games. Selecting from it touches one record per game (for its
// state) instead of walking two trees, so a sub-category or a search of 100,000 games takes a few
// milliseconds. GUI thread only, like the stores.
//
// The index points into the catalogue's records and reads their state and download date live.
// It is valid while no record is erased from the catalogue (the program never erases one: games
// are only added, while loading) and while names stay as they were (only loading changes them).
// Refresh rebuilds it when it was built for other stores or their sizes changed.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/CategoryTree.h"
#include "store/GameCatalogue.h"

namespace browse {

struct ListView;

// The counts of the online and local tabs.
struct TabCounts
{
    int online = 0; // games of the sub-category the online tab lists
    int local = 0;  // downloaded games of the whole catalogue

    bool operator==(const TabCounts&) const = default;
};

class CatalogueIndex
{
public:
    // Builds the index for these stores unless it is already built for them (same objects, same
    // number of games and of category entries).
    void Refresh(const store::GameCatalogue& catalogue, const store::CategoryTree& tree);

    // The ids a view shows, in their order (see SelectGames in GameList.h).
    std::vector<int> Select(const ListView& view) const;
    // The tab counts for a category and sub-category; nullopt when the tree lacks either.
    std::optional<TabCounts> Counts(int category, int sub) const;

    int GameCount() const { return static_cast<int>(m_games.size()); }

private:
    struct Game
    {
        const store::GameRecord* record = nullptr;
        std::uint32_t textStart = 0; // name, '\0', source name, '\0'
        std::uint32_t nameLength = 0;
        int id = 0;
    };
    using SubKey = std::pair<int, int>;

    template <typename Take>
    void ForEachMatch(std::string_view keyword, bool sourceToo, Take take) const;
    std::vector<int> SelectLocal(const ListView& view) const;
    const std::vector<std::uint32_t>* SubGames(int category, int sub) const;

    const store::GameCatalogue* m_catalogue = nullptr;
    const store::CategoryTree* m_tree = nullptr;
    std::size_t m_catalogueSize = 0;
    std::size_t m_treeEntries = 0;
    bool m_built = false;
    std::vector<Game> m_games;
    std::vector<std::uint32_t> m_textStarts; // m_games[i].textStart, for finding a match's game
    std::string m_text;
    std::map<SubKey, std::vector<std::uint32_t>> m_subs; // present sub-categories -> game indexes
};

} // namespace browse
