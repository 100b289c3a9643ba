#pragma once

// The download manager: a modal, frameless 640 x 430 window with three pages at the same place
// (downloading, downloaded, recycle bin) and a column of tabs with their counts on the left. It
// relays the download results and progress that the main window posts to it to the downloading
// page, and keeps the tabs' counts and the downloaded pages up to date. Dragging any free point
// moves it. GUI thread only.

#include <string>

#include <QImage>

#include "skin/SkinEngine.h"
#include "views/MessageWindow.h"

namespace store {
struct Stores;
}

namespace views {

class DownedDlg;
class DowningDlg;
class SkinTheme;
class UiTexts;

class CheckDetialDlg : public MessageWindow
{
public:
    static constexpr int Width = 640;
    static constexpr int Height = 430;
    static constexpr int DowningTab = 1;
    static constexpr int DownedTab = 2;
    static constexpr int RecycleTab = 3;
    // Tab and close clicks: 0 closes.
    static constexpr int CloseValue = 0;

    // mainWindow: where the pages post their requests; parent: the window it opens over.
    CheckDetialDlg(store::Stores& stores,
                   const SkinTheme& theme,
                   const UiTexts& texts,
                   std::string programDir,
                   platform::WindowHandle mainWindow,
                   QWidget* parent);
    ~CheckDetialDlg() override;
    CheckDetialDlg(const CheckDetialDlg&) = delete;
    CheckDetialDlg& operator=(const CheckDetialDlg&) = delete;
    CheckDetialDlg(CheckDetialDlg&&) = delete;
    CheckDetialDlg& operator=(CheckDetialDlg&&) = delete;

    // Runs the window modally through ModalRunner until it is closed.
    int Run();
    // Tab handler: 0 closes the window, 1-3 show that page (the page shown already: nothing).
    void SelectTab(int value);

    int ShownTab() const { return m_shown; }
    // The count a tab shows.
    int TabCount(int tab) const;
    DowningDlg& Downing() const { return *m_downing; }
    DownedDlg& Downed() const { return *m_downed; }
    DownedDlg& Recycle() const { return *m_recycle; }
    skin::RichText* TabButton(int tab) const;
    skin::RichText* TabLabel(int tab) const;
    skin::RichText* CloseButton() const { return m_close.get(); }
    const QImage& Background() const { return m_background; }

protected:
    void OnMessage(const platform::Message& message) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Relabel(int tab, int count);
    void OnCounts(platform::Param wParam);
    QWidget* Page(int tab) const;

    const SkinTheme& m_theme;
    const UiTexts& m_texts;
    DowningDlg* m_downing = nullptr; // child windows
    DownedDlg* m_downed = nullptr;
    DownedDlg* m_recycle = nullptr;
    skin::Owned<skin::RichText> m_title;
    skin::Owned<skin::RichText> m_close;
    skin::Owned<skin::RichText> m_tabButtons[3];
    skin::Owned<skin::RichText> m_tabLabels[3];
    int m_counts[3] = {0, 0, 0};
    int m_selected = DowningTab;
    int m_shown = -1;
    QImage m_background;
};

} // namespace views
