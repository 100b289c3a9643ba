#pragma once

// The game list panel at the main window's right: two columns of game cells (frame, icon, name
// with its check box), one page at a time on a scroll panel whose pages lie side by side; page
// buttons, previous and next, the batch button and the totals. Which games and in which order
// comes from browse::GameList; this draws them, builds each page's cells when it is first shown
// (and its neighbours' once it is in place), and posts clicks to the main window. GUI thread only.

#include <string>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QWidget>

#include "browse/GameList.h"
#include "platform/HandleTable.h"
#include "skin/SkinEngine.h"

namespace store {
struct Stores;
}

namespace views {

class SkinTheme;
class UiTexts;

class ListDlg : public QWidget
{
public:
    // Canvas offset of the cells' rows and the pitch of rows and columns.
    static constexpr int RowPitch = 125;
    static constexpr int ColumnPitch = 146;
    static constexpr int IconWidth = 120;
    static constexpr int IconHeight = 90;
    // Frames of a step to the neighbouring page.
    static constexpr int PageSteps = 5;

    // One game cell of a page.
    struct Cell
    {
        int id = 0;
        bool selected = false;
        skin::Owned<skin::SkinPicture> picture;
        skin::Owned<skin::RichText> frame;
        skin::Owned<skin::RichText> icon;
        skin::Owned<skin::RichText> label;
    };

    // stores: the catalogue and the category tree it lists (the local batch button moves games to
    // the recycle bin); mainWindow: where it posts; programDir ends in "/".
    ListDlg(store::Stores& stores,
            const SkinTheme& theme,
            const UiTexts& texts,
            std::string programDir,
            platform::WindowHandle mainWindow,
            QWidget* parent);
    ~ListDlg() override;
    ListDlg(const ListDlg&) = delete;
    ListDlg& operator=(const ListDlg&) = delete;
    ListDlg(ListDlg&&) = delete;
    ListDlg& operator=(ListDlg&&) = delete;

    // Shows the games of view from page 0; 1 when there is at least one game, else 0 (the main
    // window is then told to empty its card).
    int Fill(const browse::ListView& view);
    // Fills again with the parameters of the last fill (after downloads, removals, a resize).
    int Refill();
    // Fills with the games of the last fill's view that match keyword (UTF-8); as Fill.
    int Search(const std::string& keyword);
    // The number of games of the last fill.
    int GameCount() const { return m_list.GameCount(); }
    // Whether a game is among the games of the last fill.
    bool Contains(int id) const { return m_list.Contains(id); }
    // The counts of the online and local tabs for a category and sub-category (nullopt when the
    // tree lacks either), from the list's index of the catalogue.
    std::optional<browse::TabCounts> TabCounts(int category, int sub);
    // browse::PreviousPage, browse::NextPage (animated) or a page number (at once).
    void GoToPage(int request);

    const browse::GameList& List() const { return m_list; }
    skin::ScrollPanel* Panel() const { return m_panel.get(); }
    // The cell at position of page, null when it was not built (cells exist for the pages shown
    // since the last fill and their neighbours).
    const Cell* CellAt(int page, int position) const;
    int BuiltPages() const { return static_cast<int>(m_pages.size()); }
    skin::RichText* PreviousButton() const { return m_previous.get(); }
    skin::RichText* NextButton() const { return m_next.get(); }
    skin::RichText* BatchButton() const { return m_batch.get(); }
    skin::RichText* TotalsText() const { return m_totals.get(); }
    skin::RichText* PageButton(int k) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ClearCells();
    void BuildPage(int page);
    void LayOutPageButtons();
    void FormatTotals(int pages, int games);
    void FormatLabel(Cell& cell) const;
    void OnCellClick(int id);
    void OnSelect(int position);
    void OnBatch(int value);
    void PostGameChosen(int id) const;
    void OnArrived();

    store::Stores& m_stores;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    const std::string m_programDir;
    const platform::WindowHandle m_mainWindow;
    browse::GameList m_list;
    skin::Owned<skin::ScrollPanel> m_panel;
    skin::Owned<skin::RichText> m_previous;
    skin::Owned<skin::RichText> m_next;
    skin::Owned<skin::RichText> m_batch;
    skin::Owned<skin::RichText> m_totals;
    skin::Owned<skin::RichText> m_pageButtons[browse::GameList::PageButtons];
    std::unordered_map<int, std::vector<Cell>> m_pages;
    int m_arrivingGame = 0; // the first game of the page being scrolled to, for the card
    bool m_prefetchQueued = false;
    bool m_filled = false;
    QSize m_filledSize; // the panel's size at the last fill
    bool m_dragging = false;
    int m_dragX = 0;
    QImage m_background;
};

} // namespace views
