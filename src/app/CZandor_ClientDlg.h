#pragma once

// The main window and message hub: a frameless skinned window that draws its own frame, owns the
// tray icon and the three timers, starts the download control and unpacking threads, and receives
// every message that windows and threads post to it. GUI thread only.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include "browse/Navigator.h"
#include "skin/SkinEngine.h"
#include "views/MessageWindow.h"

class QAction;
class QEventLoop;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;

namespace install {
class UnzipThread;
}
namespace queue {
class DownloadQueue;
struct CardChange;
struct Effects;
struct ListState;
struct Post;
enum class ListRefill;
enum class Notice;
} // namespace queue
namespace store {
struct Stores;
}
namespace transfer {
class DownControlThread;
}
namespace views {
class GameSummaryCard;
class InfoScreen;
class ListDlg;
class NavigationBar;
class SkinTheme;
class SubCategoryColumn;
class UiTexts;
} // namespace views

namespace app {

class CZandor_ClientDlg : public views::MessageWindow
{
public:
    static constexpr int MinWidth = 970;
    static constexpr int MinHeight = 630;
    // Timers, by their numbers: progress request, taking up unfinished downloads, tray animation.
    static constexpr int ProgressTimer = 0;
    static constexpr int ResumeTimer = 1;
    static constexpr int TrayTimer = 2;
    // How often the window looks whether a tray has come or gone.
    static constexpr int TrayCheckMs = 1000;
    // The tray menu's only command.
    static constexpr int QuitCommand = 6025;
    // Mouse messages carried in the low word of TrayNotify's lParam.
    static constexpr std::uint32_t TrayDoubleClick = 0x0203;
    static constexpr std::uint32_t TrayRightButtonUp = 0x0205;

    // The tray icon as it stands; kept whether or not the desktop has a tray.
    struct TrayState
    {
        bool present = false; // added (and not yet removed)
        int icon = 350;       // theme icon id shown
        QString tip = QStringLiteral("Marlune");
    };

    // programDir ends in "/". Builds the window and starts both threads; nothing is shown yet.
    CZandor_ClientDlg(const views::SkinTheme& theme,
                      const views::UiTexts& texts,
                      store::Stores& stores,
                      std::string programDir);
    ~CZandor_ClientDlg() override; // stops both threads
    CZandor_ClientDlg(const CZandor_ClientDlg&) = delete;
    CZandor_ClientDlg& operator=(const CZandor_ClientDlg&) = delete;
    CZandor_ClientDlg(CZandor_ClientDlg&&) = delete;
    CZandor_ClientDlg& operator=(CZandor_ClientDlg&&) = delete;

    // Shows the window and runs until a closing routine ends it; 1 (OK).
    int Run();
    // Ends a run (also before Run: it then returns at once). The closing routines use it.
    void EndRun(int result);
    bool Running() const;
    // Stops the download control and unpacking threads (their transfers first). Idempotent.
    void StopThreads();

    // The modal windows while they run (null when closed): the quit routine refuses to end the
    // program while either is open, and the external close request ends their runs first.
    void TrackDownloadManager(QWidget* window) { m_downloadManager = window; }
    void TrackSettingsWindow(QWidget* window) { m_settingsWindow = window; }
    QWidget* DownloadManager() const { return m_downloadManager.data(); }
    QWidget* SettingsWindow() const { return m_settingsWindow.data(); }

    // State for inspection.
    bool IsMaximised() const { return m_maximised; }
    QRect SavedRect() const { return m_savedRect; }
    const TrayState& Tray() const { return m_tray; }
    // True while the icon is in a tray the desktop has now.
    bool TrayIconShown() const;
    // Replaces the question "does the desktop have a tray now?" (QSystemTrayIcon's by default) and
    // asks it at once; it is asked again every TrayCheckMs.
    void SetTrayProbe(std::function<bool()> probe);
    bool Animating() const { return m_animating; }
    int AnimationFrame() const { return m_frame; }
    int Downloads() const { return m_downloads; }
    bool TimerActive(int timer) const;
    int TimerInterval(int timer) const;
    QLineEdit* SearchBox() const { return m_searchBox; }
    views::NavigationBar& Navigation() const { return *m_navigation; }
    // The browsing widgets: the list panel, the info screen, the summary card, and the
    // sub-category column of a top category (null when it has none).
    views::ListDlg& ListPanel() const { return *m_list; }
    views::InfoScreen& Info() const { return *m_info; }
    views::GameSummaryCard& Card() const { return *m_card; }
    views::SubCategoryColumn* Column(int category) const;
    // Where the user is: category, sub-category, tab, the game in the card.
    const browse::Navigator& NavigationState() const { return m_nav; }
    // The decisions of downloading: admission, states, what the card shows.
    const queue::DownloadQueue& Queue() const { return *m_queue; }
    skin::RichText* SearchButton() const { return m_searchButton.get(); }
    skin::RichText* SettingsButton() const { return m_settingsButton.get(); }
    QAction* QuitAction() const { return m_quitAction; }
    platform::WindowHandle ControlThread() const;
    platform::WindowHandle UnpackingThread() const;
    const QImage& Background() const { return m_background; }
    // Time of the first paint, for start-up measurements (steady clock, ns; 0 before it).
    std::int64_t FirstPaintNs() const { return m_firstPaintNs; }

protected:
    void OnMessage(const platform::Message& message) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // --- messages, in the order of their numbers ---
    void OnCategoryChosen(const platform::Message& message);
    void OnSubCategoryChosen(const platform::Message& message);
    void OnWindowButton(const platform::Message& message);
    void OnTabChosen(const platform::Message& message);
    void OnDownloadRequest(const platform::Message& message);
    void OnLinkClicked(const platform::Message& message);
    void OnWantProgress(const platform::Message& message);
    void OnGameAction(const platform::Message& message);
    void OnGameChosen(const platform::Message& message);
    void OnDownloadCommand(const platform::Message& message);
    void OnProgress(const platform::Message& message);
    void OnCommandResult(const platform::Message& message);
    void OnTransferCount(const platform::Message& message);
    void OnExternalClose();
    void OnTrayNotify(const platform::Message& message);

    // --- timers ---
    void OnProgressTimer();
    void TakeUpUnfinishedDownloads();
    void OnTrayTimer();

    // --- the rest ---
    void BuildNavigation();
    // Carries out what the download queue decided.
    void Apply(const queue::Effects& effects);
    void Send(const queue::Post& post);
    void ApplyCard(const queue::CardChange& change);
    void Refill(queue::ListRefill refill);
    int ShowNotice(queue::Notice notice);
    queue::ListState ListStateOf(int gameId) const;
    QRect StatusArea() const;
    void UpdateTabCounts();
    void PlaceChildren(int w, int h);
    void OpenDownloadManager();
    void OpenSettingsWindow();
    void Search();
    void OnSkinClick(int value);
    void QuitRoutine();
    void StopTrayAnimation();
    void RemoveTrayIcon();
    void SetTray(int icon, const QString& tip);
    void Maximise();
    void Restore();
    void ApplyShape(int w, int h);
    void BuildBackground(int w, int h);
    void ShowNormalFromTray();
    void CheckTray();

    const views::SkinTheme& m_theme;
    const views::UiTexts& m_texts;
    store::Stores& m_stores;
    const std::string m_programDir;

    QIcon m_icon;
    bool m_maximised = false;
    QRect m_savedRect;
    TrayState m_tray;
    QSystemTrayIcon* m_trayIcon = nullptr; // null until the desktop has a tray
    std::function<bool()> m_trayProbe;
    bool m_trayAvailable = false;
    QTimer m_trayCheck;
    QMenu* m_trayMenu = nullptr;
    QAction* m_quitAction = nullptr;
    std::unique_ptr<views::NavigationBar> m_navigation;
    std::map<int, std::unique_ptr<views::SubCategoryColumn>> m_columns;
    std::unique_ptr<views::GameSummaryCard> m_card;
    views::ListDlg* m_list = nullptr;    // child window
    views::InfoScreen* m_info = nullptr; // child window
    browse::Navigator m_nav;
    std::unique_ptr<transfer::DownControlThread> m_control;
    std::unique_ptr<install::UnzipThread> m_unzip;
    std::unique_ptr<queue::DownloadQueue> m_queue;
    QPointer<QWidget> m_downloadManager;
    QPointer<QWidget> m_settingsWindow;
    skin::Owned<skin::RichText> m_searchButton;
    skin::Owned<skin::RichText> m_settingsButton;
    skin::Owned<skin::RichText> m_settingsLabel;
    QLineEdit* m_searchBox = nullptr;
    QImage m_background;
    bool m_animating = false;
    int m_frame = 0;
    int m_downloads = 0;
    QTimer m_timers[3];
    QEventLoop* m_loop = nullptr;
    bool m_ended = false;
    bool m_placed = false; // centred at the first show
    int m_result = 0;
    std::int64_t m_firstPaintNs = 0;
};

} // namespace app
