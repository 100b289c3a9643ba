#pragma once

// The column of one top category's sub-category buttons at the main window's left edge. The main
// window keeps one per top category and shows the current category's; a click (or showing the
// column) reports the chosen sub-category with SubCategoryChosen. GUI thread only.

#include <map>
#include <string>
#include <vector>

#include "platform/HandleTable.h"
#include "skin/SkinEngine.h"
#include "store/CategoryTree.h"

class QPainter;
class QWidget;

namespace views {

class SkinTheme;
class UiTexts;

class SubCategoryColumn
{
public:
    // At most this many buttons are drawn.
    static constexpr int MaxDrawn = 12;

    SubCategoryColumn(platform::WindowHandle mainWindow, const SkinTheme& theme, const UiTexts& texts);
    ~SubCategoryColumn();
    SubCategoryColumn(const SubCategoryColumn&) = delete;
    SubCategoryColumn& operator=(const SubCategoryColumn&) = delete;
    SubCategoryColumn(SubCategoryColumn&&) = delete;
    SubCategoryColumn& operator=(SubCategoryColumn&&) = delete;

    // One button per sub-category, in ascending id order (keys that no message can carry get
    // none); the column starts hidden.
    void Fill(int categoryId, const std::map<std::string, store::SubCategoryNode>& subs);
    // Draws the first MaxDrawn buttons; hidden buttons draw nothing and do not react.
    void Draw(QPainter& painter, QWidget* window);
    // Makes id the current sub-category and reports it; the current one again changes nothing.
    void Select(int id);
    // Shows or hides every button. Showing selects the current sub-category again (the first one
    // when none is current) and reports it.
    void ShowAll(bool show);

    int Category() const { return m_category; }
    int Current() const { return m_current; }
    bool Shown() const { return m_shown; }
    std::vector<int> Ids() const;
    skin::RichText* Button(int id) const;

private:
    struct Entry
    {
        std::string name;
        skin::Owned<skin::RichText> button;
    };

    void Choose(int id, bool report);
    void FormatButton(Entry& entry, bool current) const;

    const platform::WindowHandle m_mainWindow;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    std::map<int, Entry> m_buttons;
    int m_current = 0;
    int m_category = 0;
    bool m_shown = false;
};

} // namespace views
