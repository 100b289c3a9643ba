#pragma once

// Where the user is in the catalogue: the top category, its sub-category, the online or local
// tab and the game shown in the summary card, with the counts on the two tabs. The main window
// keeps one and asks it what each navigation message changes. Plain logic; GUI thread only.

#include <optional>

#include "browse/GameList.h"
#include "store/CategoryTree.h"
#include "store/GameCatalogue.h"

namespace browse {

// The counts for a category and sub-category; nullopt when the tree lacks either (the captions
// then stay as they are). Games whose key is no message id count nowhere, as they are listed nowhere.
// (GameList::Counts answers the same from the list's index.)
std::optional<TabCounts>
CountTabs(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, int category, int sub);

class Navigator
{
public:
    static constexpr int OnlineTab = 0;
    static constexpr int LocalTab = 1;

    int Category() const { return m_category; }
    int SubCategory() const { return m_subCategory; }
    bool Online() const { return m_online; }
    int DetailGame() const { return m_detailGame; }

    // A top category was chosen: it becomes current; returns the one before (whose column hides).
    int ChooseCategory(int id);
    // A sub-category was chosen on the column of category. False (nothing changes) when category
    // is no longer the current one or the tree lacks the category or the sub-category.
    bool ChooseSubCategory(const store::CategoryTree& tree, int category, int sub);
    // A tab was chosen: the view to fill for tab 0 (online) or 1 (local); nullopt for any other
    // value, which only recounts.
    std::optional<ListView> ChooseTab(int tab);
    // The tab whose caption shows a search's results: the one of the current mode.
    int SearchTab() const { return m_online ? OnlineTab : LocalTab; }
    // The game shown in the summary card.
    void ChooseGame(int id) { m_detailGame = id; }

private:
    int m_category = 0;
    int m_subCategory = 0;
    bool m_online = true;
    int m_detailGame = 0;
};

} // namespace browse
