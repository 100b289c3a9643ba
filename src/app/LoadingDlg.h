#pragma once

// The loading splash: a small frameless window on the skin's splash picture with one status line.
// It starts the loader, shows each stage the loader reports and closes on stage 100. Dragging any
// point of it moves it. GUI thread only.

#include <functional>
#include <map>
#include <vector>

#include <QString>

#include "skin/SkinEngine.h"
#include "views/MessageWindow.h"

namespace views {
class SkinTheme;
}

namespace app {

class LoadingDlg : public views::MessageWindow
{
public:
    // Starts the loader, which reports to the given splash handle (called once, on construction).
    using LoaderStart = std::function<void(platform::WindowHandle splash)>;

    // Stage that closes the window.
    static constexpr int Finished = 100;

    // One status report as shown.
    struct Shown
    {
        int stage = 0;
        bool failure = false;
        QString text;
    };

    LoadingDlg(const views::SkinTheme& theme, LoaderStart startLoader);
    ~LoadingDlg() override;
    LoadingDlg(const LoadingDlg&) = delete;
    LoadingDlg& operator=(const LoadingDlg&) = delete;
    LoadingDlg(LoadingDlg&&) = delete;
    LoadingDlg& operator=(LoadingDlg&&) = delete;

    // Starts the loader and shows the window modally until stage 100 arrives; 1 (OK) then.
    int Run();
    // True once stage 100 has arrived: everything the loader fills is complete.
    bool LoaderFinished() const { return m_finished; }
    // A close request (the external one posted to this window, or the window manager's close)
    // ends the run at once after calling handler, which cuts the loading short.
    void OnCloseRequest(std::function<void()> handler) { m_onClose = std::move(handler); }
    bool CloseRequested() const { return m_closeRequested; }

    // The status line's text as laid out, and every report that changed it, oldest first.
    QString StatusText() const;
    const std::vector<Shown>& History() const { return m_history; }
    skin::RichText* StatusObject() const { return m_status.get(); }

    // The text of a stage (flag 0) or failure (flag 1); empty when the table has none.
    static QString StageText(int stage, bool failure);

protected:
    void OnMessage(const platform::Message& message) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void SetStatus(const QString& text);
    void RequestClose();

    LoaderStart m_startLoader;
    std::function<void()> m_onClose;
    bool m_closeRequested = false;
    skin::Owned<skin::RichText> m_status;
    skin::Owned<skin::WindowSkin> m_skin;
    std::map<int, QString> m_stageTexts;
    std::map<int, QString> m_failureTexts;
    std::vector<Shown> m_history;
    bool m_finished = false;
};

} // namespace app
