#pragma once

// A page of the download manager listing the downloaded games (mode 3: "打开" plays one, the batch
// button moves the selected ones to the recycle bin) or the recycle bin (mode 4: "还原" restores
// one, the batch button deletes the selected ones for good). Ten rows a page on a scroll panel
// whose pages lie side by side; page buttons, previous and next, a right drag, select-all and the
// folder link. Which games and pages comes from browse::DownedList. GUI thread only.

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QWidget>

#include "browse/ManagerLists.h"
#include "platform/HandleTable.h"
#include "skin/SkinEngine.h"

namespace store {
struct Stores;
}

namespace views {

class SkinTheme;
class UiTexts;

class DownedDlg : public QWidget
{
public:
    static constexpr int DownloadedMode = 3;
    static constexpr int RecycleMode = 4;
    static constexpr int Width = 519;
    static constexpr int Height = 400;
    // Rows lie 32 pixels apart from y 45; pages 519 pixels apart.
    static constexpr int FirstRowY = 45;
    static constexpr int RowPitch = 32;
    static constexpr int PagePitch = 519;
    // Frames of an animated page turn.
    static constexpr int PageSteps = 10;

    struct Row
    {
        int id = 0;
        bool selected = false;
        skin::Owned<skin::RichText> name; // check box and name: toggles the selection
        skin::Owned<skin::RichText> text;
        skin::Owned<skin::RichText> action; // "打开" or "还原"
        skin::Owned<skin::RichText> rule;
    };

    // mode: DownloadedMode or RecycleMode; mainWindow and manager: where it posts. Fills itself.
    DownedDlg(store::Stores& stores,
              const SkinTheme& theme,
              const UiTexts& texts,
              std::string programDir,
              platform::WindowHandle mainWindow,
              int mode,
              platform::WindowHandle manager,
              QWidget* parent);
    ~DownedDlg() override;
    DownedDlg(const DownedDlg&) = delete;
    DownedDlg& operator=(const DownedDlg&) = delete;
    DownedDlg(DownedDlg&&) = delete;
    DownedDlg& operator=(DownedDlg&&) = delete;

    // Lists the catalogue's games of this mode's state again and tells the manager the count.
    // reset shows the first page; otherwise the current page stays while it exists. Selections
    // of games still listed are kept.
    void Fill(bool reset);
    // Shows page (from 0), scrolling there in PageSteps frames when animate is set.
    void ShowPage(bool animate, int page);
    // browse::PreviousPage, browse::NextPage (animated) or a page number from 0 (at once).
    void GoToPage(int request);

    int Mode() const { return m_mode; }
    const browse::DownedList& List() const { return m_list; }
    // Row k (0-9) of page, null when that page's rows are not built.
    const Row* RowAt(int page, int k) const;
    bool SelectAllState() const { return m_selectAll; }
    skin::ScrollPanel* Panel() const { return m_panel.get(); }
    skin::RichText* CountText() const { return m_count.get(); }
    skin::RichText* FolderLink() const { return m_folder.get(); }
    skin::RichText* SelectAllButton() const { return m_selectAllButton.get(); }
    skin::RichText* BatchButton() const { return m_batch.get(); }
    skin::RichText* PreviousButton() const { return m_previous.get(); }
    skin::RichText* NextButton() const { return m_next.get(); }
    skin::RichText* PageButton(int k) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ClearRows();
    void BuildPage(int page);
    void LayOutPageButtons();
    void FormatName(Row& row) const;
    void OnToggle(int k);
    void OnAction(int k);
    void OnSelectAll(int);
    void OnBatch(int);
    void OnArrived();
    Row* CurrentRow(int k);
    void PostManager(platform::Param wParam) const;
    void PostMain(platform::Param wParam) const;

    store::Stores& m_stores;
    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    const std::string m_programDir;
    const platform::WindowHandle m_mainWindow;
    const int m_mode;
    const platform::WindowHandle m_manager;
    browse::DownedList m_list;
    std::unordered_map<int, std::vector<Row>> m_rows; // by page
    std::set<int> m_selected;                         // ids selected, kept across fills
    bool m_selectAll = false;
    bool m_dragging = false;
    int m_dragX = 0;
    bool m_prefetchQueued = false;
    skin::Owned<skin::ScrollPanel> m_panel;
    skin::Owned<skin::RichText> m_title;
    skin::Owned<skin::RichText> m_count;
    skin::Owned<skin::RichText> m_unit;
    skin::Owned<skin::RichText> m_folder;
    skin::Owned<skin::RichText> m_selectAllButton;
    skin::Owned<skin::RichText> m_batch;
    skin::Owned<skin::RichText> m_previous;
    skin::Owned<skin::RichText> m_next;
    skin::Owned<skin::RichText> m_rule;
    skin::Owned<skin::RichText> m_pageButtons[browse::DownedList::PageButtons];
    QImage m_background;
};

} // namespace views
