#include "browse/Navigator.h"

namespace browse {

std::optional<TabCounts>
CountTabs(const store::GameCatalogue& catalogue, const store::CategoryTree& tree, int category, int sub)
{
    CatalogueIndex index;
    index.Refresh(catalogue, tree);
    return index.Counts(category, sub);
}

int Navigator::ChooseCategory(int id)
{
    const int previous = m_category;
    m_category = id;
    return previous;
}

bool Navigator::ChooseSubCategory(const store::CategoryTree& tree, int category, int sub)
{
    if (category != m_category || FindSubCategory(tree, category, sub) == nullptr) {
        return false;
    }
    m_subCategory = sub;
    return true;
}

std::optional<ListView> Navigator::ChooseTab(int tab)
{
    if (tab != OnlineTab && tab != LocalTab) {
        return std::nullopt;
    }
    m_online = tab == OnlineTab;
    ListView view;
    view.category = m_category;
    view.subCategory = m_subCategory;
    view.local = !m_online;
    view.kind = m_online ? ListView::OnlineKind : ListView::LocalKind;
    return view;
}

} // namespace browse
