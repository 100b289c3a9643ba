#include "app/CZandor_ClientDlg.h"

#include <chrono>

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QSystemTrayIcon>

#include "browse/GameId.h"
#include "install/UnzipThread.h"
#include "platform/Launch.h"
#include "platform/Messages.h"
#include "queue/DownloadQueue.h"
#include "skin/Markup.h"
#include "skin/WindowMove.h"
#include "store/Stores.h"
#include "transfer/DownControlThread.h"
#include "transfer/Http.h"
#include "views/CheckDetialDlg.h"
#include "views/GameSetDlg.h"
#include "views/GameSummaryCard.h"
#include "views/InfoScreen.h"
#include "views/ListDlg.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"
#include "views/NavigationBar.h"
#include "views/QtText.h"
#include "views/SkinTheme.h"
#include "views/SubCategoryColumn.h"
#include "views/UiTexts.h"

namespace app {
namespace {

namespace msg = platform::msg;
using platform::HiWord;
using platform::LoWord;

constexpr int WindowIcon = 350;
constexpr int FirstTrayFrame = 351;
constexpr int TrayFrames = 5;
constexpr int FrameImage = 303;
constexpr int StripImage = 320;
constexpr int SearchPicture = 324;
constexpr int SettingsPicture = 314;
constexpr int SettingsLabelStyle = 3;
constexpr int SearchText = 9;    // UiTexts "搜索"
constexpr int SettingsText = 10; // UiTexts "设置"
constexpr int CornerRadius = 9;
// The search box: (w - 296, 97), 240 x 22; the letters at most 20 px, a few pixels in from the left.
constexpr int SearchHeight = 22;
constexpr int SearchLetters = 20;
constexpr int MinSearchLetters = 8;
constexpr int SearchPadding = 3;
constexpr QRgb LineColour = 0xFF295D7E;
constexpr int ProgressPeriodMs = 1000;
constexpr int ResumeDelayMs = 10;
constexpr int TrayPeriodMs = 70;
// Skin-engine click values of this window's own objects.
constexpr int SearchValue = 0;
constexpr int SettingsValue = 1;
// The category the window opens on: the day's newest games.
constexpr int FirstCategory = 99;
// UiTexts "打开游戏".
constexpr int OpenGameText = 30;
// The action button after a download that ended on its own (no answer, a broken connection): a
// click starts it again from the bytes on disk.
constexpr const char* DownloadFailedText = "下载失败，重试";
// Shown by the contact link; short enough for one line of the message box (130 pixels).
constexpr const char* ContactAddress = "kf@marlune.example";

QString Hex(std::uint32_t colour)
{
    return QString::number(colour, 16);
}

// A rectangle outline with quarter arcs of the given radius at its corners (a plain rectangle for
// radius 0), drawn on pixel centres so that the one-pixel line stays sharp.
void DrawRoundedOutline(QPainter& painter, int x, int y, int w, int h, int radius)
{
    const QRectF rect(x + 0.5, y + 0.5, w, h);
    if (radius <= 0) {
        painter.drawRect(rect);
    } else {
        painter.drawRoundedRect(rect, radius, radius);
    }
}

} // namespace

CZandor_ClientDlg::CZandor_ClientDlg(const views::SkinTheme& theme,
                                     const views::UiTexts& texts,
                                     store::Stores& stores,
                                     std::string programDir)
    : views::MessageWindow(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_theme(theme)
    , m_texts(texts)
    , m_stores(stores)
    , m_programDir(std::move(programDir))
    , m_searchButton(skin::Make<skin::RichText>())
    , m_settingsButton(skin::Make<skin::RichText>())
    , m_settingsLabel(skin::Make<skin::RichText>())
{
    setObjectName(QStringLiteral("CZandor_ClientDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_icon = m_theme.Icon(WindowIcon);
    setWindowIcon(m_icon);
    setWindowTitle(QStringLiteral("Marlune"));

    const QString face = m_theme.FontFaceText();
    m_searchButton->Format(QStringLiteral("/a,p=%1,linkt='%2'/")
                               .arg(m_theme.PictureId(SearchPicture))
                               .arg(skin::EscapeMarkupText(views::FromUtf8(m_texts.At(SearchText)))));
    m_searchButton->BindClick(SearchValue, this, &CZandor_ClientDlg::OnSkinClick);
    m_searchButton->SetObjectName(QStringLiteral("main.search"));
    m_settingsButton->Format(QStringLiteral("/a,p5=%1/").arg(m_theme.PictureId(SettingsPicture)));
    m_settingsButton->BindClick(SettingsValue, this, &CZandor_ClientDlg::OnSkinClick);
    m_settingsButton->SetObjectName(QStringLiteral("main.settings"));
    const views::TextStyle& labelStyle = m_theme.Style(SettingsLabelStyle);
    m_settingsLabel->Format(QStringLiteral("/c=%1,font,font_face=%2,font_height=%3/%4")
                                .arg(Hex(labelStyle.colour), face)
                                .arg(labelStyle.height)
                                .arg(skin::EscapeMarkupText(views::FromUtf8(m_texts.At(SettingsText)))));
    m_settingsLabel->SetObjectName(QStringLiteral("main.settingsLabel"));

    // The tray icon: added whenever a tray is there, now or later (a session started at login may
    // bring its tray up after us); without one only its state is kept.
    m_tray = TrayState{true, WindowIcon, QStringLiteral("Marlune")};
    m_trayMenu = new QMenu(this);
    m_quitAction = m_trayMenu->addAction(QStringLiteral("退出"));
    m_quitAction->setData(QuitCommand);
    connect(m_quitAction, &QAction::triggered, this, [this] { QuitRoutine(); });
    m_trayProbe = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    CheckTray();
    m_trayCheck.setInterval(TrayCheckMs);
    connect(&m_trayCheck, &QTimer::timeout, this, [this] { CheckTray(); });
    m_trayCheck.start();

    m_searchBox = new QLineEdit(this);
    m_searchBox->setObjectName(QStringLiteral("searchBox"));
    m_searchBox->setFrame(false);
    m_searchBox->setTextMargins(SearchPadding, 0, 0, 0);
    QFont searchFont(QStringLiteral("Arial"));
    searchFont.setWeight(QFont::Normal);
    searchFont.setStyleHint(QFont::SansSerif);
    // 20 px letters have a line taller than the 22 px field: the descenders of "gjpqy" were cut.
    // Take the largest size up to 20 px whose line fits (a line edit keeps a pixel above and below).
    constexpr int SearchLine = SearchHeight - 2;
    int pixels = SearchLetters;
    do {
        searchFont.setPixelSize(pixels);
    } while (QFontMetrics(searchFont).height() > SearchLine && --pixels > MinSearchLetters);
    m_searchBox->setFont(searchFont);
    // Enter searches, as the search button does.
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] { Search(); });

    m_list = new views::ListDlg(m_stores, m_theme, m_texts, m_programDir, Handle(), this);
    m_info = new views::InfoScreen(m_theme, m_programDir, this);
    m_list->show();
    m_info->show();

    // Both threads start here and report to this window.
    store::BoxSettings& settings = m_stores.settings;
    m_control = std::make_unique<transfer::DownControlThread>(Handle(), m_programDir, [&settings] {
        return static_cast<int>(settings.maxnum.Get());
    });
    m_unzip =
        std::make_unique<install::UnzipThread>(m_programDir, Handle(), [&settings] { return settings.shortcut.Get(); });
    m_unzip->Start();
    // The decisions of downloading; the start call is the one direct call into the control thread.
    m_queue = std::make_unique<queue::DownloadQueue>(
        m_stores.catalogue,
        m_stores.settings,
        m_programDir,
        transfer::ServerBase(),
        [this](int id, const std::string& package, const std::string& url, std::string_view size, bool paused) {
            return m_control ? m_control->StartDownload(id, package, url, size, paused)
                             : transfer::StartResult::TooMany;
        });

    m_navigation = std::make_unique<views::NavigationBar>(Handle(), m_theme, m_texts, m_stores.settings);
    BuildNavigation();

    ApplyShape(MinWidth, MinHeight);
    BuildBackground(MinWidth, MinHeight);
    resize(MinWidth, MinHeight);
    PlaceChildren(MinWidth, MinHeight);
    m_searchBox->setFocus();

    m_timers[ProgressTimer].setInterval(ProgressPeriodMs);
    m_timers[ResumeTimer].setInterval(ResumeDelayMs);
    m_timers[ResumeTimer].setSingleShot(true);
    m_timers[TrayTimer].setInterval(TrayPeriodMs);
    connect(&m_timers[ProgressTimer], &QTimer::timeout, this, [this] { OnProgressTimer(); });
    connect(&m_timers[ResumeTimer], &QTimer::timeout, this, [this] { TakeUpUnfinishedDownloads(); });
    connect(&m_timers[TrayTimer], &QTimer::timeout, this, [this] { OnTrayTimer(); });
    m_timers[ResumeTimer].start();
    m_timers[ProgressTimer].start();

    // The updater is a separate program; when it is missing nothing is reported.
    const std::filesystem::path updater = std::filesystem::path(m_programDir) / "UpdateMain";
    std::error_code error;
    if (std::filesystem::is_regular_file(updater, error)) {
        [[maybe_unused]] const bool started = platform::StartDetached(updater, m_programDir);
    }
}

CZandor_ClientDlg::~CZandor_ClientDlg()
{
    for (QTimer& timer : m_timers) {
        timer.stop();
    }
    m_trayCheck.stop();
    StopThreads();
}

void CZandor_ClientDlg::StopThreads()
{
    if (m_control) {
        m_control->StopAll();
        m_control.reset();
    }
    if (m_queue) {
        m_queue->Quit(); // the states as the exit update writes them
    }
    if (m_unzip) {
        m_unzip->Stop();
        m_unzip.reset();
    }
}

platform::WindowHandle CZandor_ClientDlg::ControlThread() const
{
    return m_control ? m_control->Handle() : 0;
}

platform::WindowHandle CZandor_ClientDlg::UnpackingThread() const
{
    return m_unzip ? m_unzip->Handle() : 0;
}

bool CZandor_ClientDlg::TimerActive(int timer) const
{
    return timer >= 0 && timer < 3 && m_timers[timer].isActive();
}

int CZandor_ClientDlg::TimerInterval(int timer) const
{
    return timer >= 0 && timer < 3 ? m_timers[timer].interval() : 0;
}

int CZandor_ClientDlg::Run()
{
    if (m_ended) {
        return m_result;
    }
    if (!m_placed) {
        // Where a window manager places nothing, a new window would open at (0, 0).
        m_placed = true;
        skin::CentreOnScreen(this);
    }
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
    return m_result;
}

void CZandor_ClientDlg::EndRun(int result)
{
    m_ended = true;
    m_result = result;
    if (m_loop != nullptr) {
        m_loop->exit(result);
    }
}

bool CZandor_ClientDlg::Running() const
{
    return m_loop != nullptr && !m_ended;
}

// --- messages ---

void CZandor_ClientDlg::OnMessage(const platform::Message& message)
{
    switch (message.id) {
    case msg::CategoryChosen:
        OnCategoryChosen(message);
        break;
    case msg::SubCategoryChosen:
        OnSubCategoryChosen(message);
        break;
    case msg::WindowButton:
        OnWindowButton(message);
        break;
    case msg::TabChosen:
        OnTabChosen(message);
        break;
    case msg::DownloadRequest:
        OnDownloadRequest(message);
        break;
    case msg::LinkClicked:
        OnLinkClicked(message);
        break;
    case msg::WantProgress:
        OnWantProgress(message);
        break;
    case msg::GameAction:
        OnGameAction(message);
        break;
    case msg::GameChosen:
        OnGameChosen(message);
        break;
    case msg::Ignored:
        break;
    case msg::DownloadCommand:
        OnDownloadCommand(message);
        break;
    case msg::Progress:
        OnProgress(message);
        break;
    case msg::CommandResult:
        OnCommandResult(message);
        break;
    case msg::TransferCount:
        OnTransferCount(message);
        break;
    case msg::ExternalClose:
        OnExternalClose();
        break;
    case msg::TrayNotify:
        OnTrayNotify(message);
        break;
    default:
        break;
    }
}

views::SubCategoryColumn* CZandor_ClientDlg::Column(int category) const
{
    const auto found = m_columns.find(category);
    return found == m_columns.end() ? nullptr : found->second.get();
}

void CZandor_ClientDlg::OnCategoryChosen(const platform::Message& message)
{
    const int id = static_cast<int>(HiWord(message.wParam));
    if (views::SubCategoryColumn* old = Column(m_nav.Category())) {
        old->ShowAll(false);
    }
    m_nav.ChooseCategory(id);
    // The shown column reports its sub-category, which fills the list.
    if (views::SubCategoryColumn* column = Column(id)) {
        column->ShowAll(true);
    }
    update();
}

void CZandor_ClientDlg::OnSubCategoryChosen(const platform::Message& message)
{
    const int category = static_cast<int>(HiWord(message.wParam));
    const int sub = static_cast<int>(LoWord(message.wParam));
    if (!m_nav.ChooseSubCategory(m_stores.categories, category, sub)) {
        return;
    }
    Post(msg::TabChosen, platform::PackWords(browse::Navigator::OnlineTab, 0), 0);
    m_navigation->SelectTab(browse::Navigator::OnlineTab);
}

void CZandor_ClientDlg::OnTabChosen(const platform::Message& message)
{
    if (const std::optional<browse::ListView> view = m_nav.ChooseTab(static_cast<int>(HiWord(message.wParam)))) {
        m_list->Fill(*view);
    }
    UpdateTabCounts();
}

void CZandor_ClientDlg::UpdateTabCounts()
{
    const std::optional<browse::TabCounts> counts = m_list->TabCounts(m_nav.Category(), m_nav.SubCategory());
    if (!counts) {
        return;
    }
    m_navigation->SetOnlineLocal(browse::Navigator::OnlineTab, false, counts->online);
    m_navigation->SetOnlineLocal(browse::Navigator::LocalTab, false, counts->local);
}

void CZandor_ClientDlg::OnDownloadRequest(const platform::Message& message)
{
    if (!m_control) {
        return; // the program is ending
    }
    Apply(m_queue->Request(static_cast<int>(HiWord(message.wParam)), LoWord(message.wParam)));
}

void CZandor_ClientDlg::OnGameAction(const platform::Message& message)
{
    const int id = static_cast<int>(HiWord(message.wParam));
    Apply(m_queue->GameAction(id, LoWord(message.wParam), message.lParam, ListStateOf(id)));
}

void CZandor_ClientDlg::OnGameChosen(const platform::Message& message)
{
    const int id = static_cast<int>(HiWord(message.wParam));
    m_nav.ChooseGame(id);
    const auto record = id == 0 ? m_stores.catalogue.end() : m_stores.catalogue.find(browse::KeyOf(id));
    m_card->ShowGame(record == m_stores.catalogue.end() ? store::GameRecord{} : record->second);
    // A download of the game shows at once, not only at its next report.
    if (const std::optional<queue::CardChange> change = m_queue->CardFor(id)) {
        ApplyCard(*change);
    }
}

void CZandor_ClientDlg::OnDownloadCommand(const platform::Message& message)
{
    Apply(m_queue->Command(static_cast<int>(HiWord(message.wParam)), LoWord(message.wParam)));
}

void CZandor_ClientDlg::OnProgress(const platform::Message& message)
{
    Apply(m_queue->Progress(message.wParam, message.lParam));
}

void CZandor_ClientDlg::OnCommandResult(const platform::Message& message)
{
    const int id = static_cast<int>(HiWord(message.wParam));
    Apply(m_queue->Result(id, LoWord(message.wParam), message.lParam, ListStateOf(id)));
}

QRect CZandor_ClientDlg::StatusArea() const
{
    // The count and the speed of the status line, drawn from (w - 290, h - 20).
    return {width() - 300, height() - 30, 300, 30};
}

queue::ListState CZandor_ClientDlg::ListStateOf(int gameId) const
{
    return queue::ListState{m_nav.Online(), m_list->Contains(gameId)};
}

void CZandor_ClientDlg::Apply(const queue::Effects& effects)
{
    for (const queue::Post& post : effects.posts) {
        Send(post);
    }
    if (effects.card) {
        ApplyCard(*effects.card);
    }
    if (effects.refill != queue::ListRefill::Keep) {
        const int shown = m_card->GameId();
        Refill(effects.refill);
        if (effects.keepCard && shown != 0) {
            // After the fill's own choice of the card's game.
            Post(msg::GameChosen, platform::PackWords(static_cast<std::uint32_t>(shown), 0), 0);
        }
    }
    if (effects.recount) {
        UpdateTabCounts();
    }
    if (effects.statusCount) {
        m_navigation->ShowStatus(views::NavigationBar::CountStatus, std::to_string(*effects.statusCount));
    }
    if (effects.statusSpeed) {
        m_navigation->ShowStatus(views::NavigationBar::SpeedStatus, std::to_string(*effects.statusSpeed));
    }
    if (effects.statusCount || effects.statusSpeed) {
        update(StatusArea());
    }
    if (effects.notice != queue::Notice::None) {
        const int answer = ShowNotice(effects.notice);
        // A run ended meanwhile (the program is closing): nothing more is started.
        if (answer == views::ModalRunner::Ok && !m_ended) {
            for (const queue::Post& post : effects.confirmPosts) {
                Send(post);
            }
        }
    }
}

void CZandor_ClientDlg::Send(const queue::Post& post)
{
    const platform::Message& m = post.message;
    switch (post.target) {
    case queue::Target::Self:
        Post(m.id, m.wParam, m.lParam);
        break;
    case queue::Target::ControlThread:
        if (m_control) {
            platform::PostMessageTo(m_control->Handle(), m.id, m.wParam, m.lParam);
        }
        break;
    case queue::Target::UnpackingThread:
        if (m_unzip) {
            platform::PostMessageTo(m_unzip->Handle(), m.id, m.wParam, m.lParam);
        }
        break;
    case queue::Target::Manager:
        // Only while the download manager is open and still a window.
        if (const auto* manager = dynamic_cast<const views::MessageWindow*>(m_downloadManager.data())) {
            platform::PostMessageTo(manager->Handle(), m.id, m.wParam, m.lParam);
        }
        break;
    }
}

void CZandor_ClientDlg::ApplyCard(const queue::CardChange& change)
{
    using views::GameSummaryCard;
    switch (change.show) {
    case queue::CardShow::Download:
        m_card->ShowProgress(change.game, GameSummaryCard::ProgressOff, 0);
        break;
    case queue::CardShow::Progress:
    case queue::CardShow::Paused:
        m_card->ShowProgress(change.game, GameSummaryCard::ProgressOn, change.percent);
        m_card->ShowPaused(change.game, change.show == queue::CardShow::Paused);
        break;
    case queue::CardShow::Open:
        m_card->ShowProgress(change.game, GameSummaryCard::ProgressOff, 0);
        m_card->SetAction(change.game, m_texts.At(OpenGameText), GameSummaryCard::OpenValue);
        break;
    case queue::CardShow::Failed:
        m_card->ShowProgress(change.game, GameSummaryCard::ProgressOff, 0);
        m_card->SetAction(change.game, DownloadFailedText, GameSummaryCard::DownloadValue);
        break;
    }
}

void CZandor_ClientDlg::Refill(queue::ListRefill refill)
{
    browse::ListView view;
    view.category = m_nav.Category();
    view.subCategory = m_nav.SubCategory();
    switch (refill) {
    case queue::ListRefill::Keep:
        return;
    case queue::ListRefill::Online:
        view.local = false;
        break;
    case queue::ListRefill::Local:
        view.local = true;
        break;
    case queue::ListRefill::Current:
        view.local = !m_nav.Online();
        break;
    }
    view.kind = view.local ? browse::ListView::LocalKind : browse::ListView::OnlineKind;
    m_list->Fill(view);
}

int CZandor_ClientDlg::ShowNotice(queue::Notice notice)
{
    QString text;
    int kind = 0;
    switch (notice) {
    case queue::Notice::None:
        return 0;
    case queue::Notice::TooMany:
        text = QStringLiteral("下载个数达到最大！");
        break;
    case queue::Notice::NoSpace:
        text = QStringLiteral("磁盘空间不足，请清理磁盘！");
        break;
    case queue::Notice::DownloadAgain:
        text = QStringLiteral("打开压缩包失败,是否重新下载？");
        kind = 1;
        break;
    case queue::Notice::ExtractFailed:
        text = QStringLiteral("解压失败！");
        break;
    case queue::Notice::NoConfig:
        text = QStringLiteral("配置文件不存在！");
        break;
    case queue::Notice::NoExecutable:
        text = QStringLiteral("可执行文件不存在！");
        break;
    }
    return views::MsgBox::Ask(QStringLiteral("Marlune"), text, kind, m_theme, m_texts, this);
}

void CZandor_ClientDlg::BuildNavigation()
{
    m_navigation->FillCategories(m_stores.categories);
    // The first list is the online one; choosing the day's newest games below fills it again.
    Post(msg::TabChosen, platform::PackWords(browse::Navigator::OnlineTab, 0), 0);
    m_navigation->SelectTab(browse::Navigator::OnlineTab);
    for (const auto& [key, node] : m_stores.categories.nodes) {
        if (const std::optional<int> id = browse::MessageId(key)) {
            auto column = std::make_unique<views::SubCategoryColumn>(Handle(), m_theme, m_texts);
            column->Fill(*id, node.subs);
            m_columns.insert_or_assign(*id, std::move(column));
        }
    }
    m_card = std::make_unique<views::GameSummaryCard>(m_theme, m_texts, this, Handle(), m_info, m_programDir);
    m_navigation->SelectCategory(FirstCategory);
}

void CZandor_ClientDlg::OpenDownloadManager()
{
    if (m_downloadManager || m_settingsWindow || m_ended) {
        return;
    }
    // Kept while it runs, so that the download results and progress reach it and the quit
    // routine knows it is open.
    views::CheckDetialDlg manager(m_stores, m_theme, m_texts, m_programDir, Handle(), this);
    TrackDownloadManager(&manager);
    manager.Run();
    TrackDownloadManager(nullptr);
}

void CZandor_ClientDlg::OpenSettingsWindow()
{
    if (m_downloadManager || m_settingsWindow || m_ended) {
        return;
    }
    views::GameSetDlg settings(m_stores.settings, m_theme, m_texts, m_programDir, this);
    TrackSettingsWindow(&settings);
    settings.Run();
    TrackSettingsWindow(nullptr);
}

void CZandor_ClientDlg::Search()
{
    if (m_searchBox == nullptr || m_list == nullptr) {
        return;
    }
    const QString keyword = m_searchBox->text();
    if (keyword.isEmpty()) {
        views::MsgBox::Ask(QStringLiteral("Warning"), QStringLiteral("请输入搜索关键词！"), 0, m_theme, m_texts, this);
        m_searchBox->setFocus();
        return;
    }
    m_list->Search(views::ToUtf8(keyword));
    m_navigation->SetOnlineLocal(m_nav.SearchTab(), true, m_list->GameCount());
}

void CZandor_ClientDlg::TakeUpUnfinishedDownloads()
{
    m_timers[ResumeTimer].stop();
    // One game at a time: a refusal's message box is answered before the walk goes on, and a
    // close request answered meanwhile ends the walk.
    for (const int id : m_queue->Unfinished()) {
        if (m_ended || !m_control) {
            break;
        }
        Apply(m_queue->TakeUp(id));
    }
}

void CZandor_ClientDlg::OnWindowButton(const platform::Message& message)
{
    switch (HiWord(message.wParam)) {
    case views::NavigationBar::CloseButton:
        // Hidden, the window comes back only through its tray icon: without a tray, close quits.
        CheckTray();
        if (m_stores.settings.exit && TrayIconShown()) {
            hide();
        } else {
            QuitRoutine();
        }
        break;
    case views::NavigationBar::MaximiseButton:
        Maximise();
        break;
    case views::NavigationBar::RestoreButton:
        Restore();
        break;
    case views::NavigationBar::MinimiseButton:
        showMinimized();
        break;
    default:
        break;
    }
}

void CZandor_ClientDlg::Maximise()
{
    if (m_maximised) {
        return;
    }
    m_maximised = true;
    m_savedRect = geometry();
    const QScreen* current = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (current != nullptr) {
        setGeometry(current->availableGeometry());
    }
    update();
}

void CZandor_ClientDlg::Restore()
{
    if (!m_maximised) {
        return;
    }
    m_maximised = false;
    setGeometry(m_savedRect);
    update();
}

void CZandor_ClientDlg::OnLinkClicked(const platform::Message& message)
{
    switch (HiWord(message.wParam)) {
    case views::NavigationBar::ContactLink:
        views::MsgBox::Ask(QStringLiteral("联系我们"), QString::fromLatin1(ContactAddress), 0, m_theme, m_texts, this);
        break;
    case views::NavigationBar::DetailsLink:
        OpenDownloadManager();
        break;
    default:
        break;
    }
}

void CZandor_ClientDlg::OnWantProgress(const platform::Message& message)
{
    if (m_control) {
        platform::PostMessageTo(m_control->Handle(), msg::DownReportWindow, message.wParam, 0);
    }
}

void CZandor_ClientDlg::OnTransferCount(const platform::Message& message)
{
    m_downloads = static_cast<int>(HiWord(message.wParam));
    // The status line counts what the tray counts, from the same moment.
    Apply(m_queue->Count(m_downloads));
    if (m_downloads == 0) {
        StopTrayAnimation();
        SetTray(WindowIcon, QStringLiteral("Marlune"));
    } else if (!m_animating) {
        m_animating = true;
        m_frame = 0;
        m_timers[TrayTimer].start();
    }
}

void CZandor_ClientDlg::OnExternalClose()
{
    views::ModalRunner& runner = views::ModalRunner::Instance();
    if (m_downloadManager) {
        runner.Done(m_downloadManager, views::ModalRunner::Ok);
    }
    if (m_settingsWindow) {
        runner.Done(m_settingsWindow, views::ModalRunner::Ok);
    }
    // Every other modal run, message boxes above all, ends too: a box would otherwise keep its
    // loop, and with it the program, running. Cancel, so that no question counts as answered.
    runner.EndAll(views::ModalRunner::Cancel);
    StopTrayAnimation();
    RemoveTrayIcon();
    if (m_control) {
        m_control->StopAll();
    }
    EndRun(views::ModalRunner::Ok);
}

void CZandor_ClientDlg::OnTrayNotify(const platform::Message& message)
{
    switch (LoWord(message.lParam)) {
    case TrayDoubleClick:
        ShowNormalFromTray();
        break;
    case TrayRightButtonUp:
        activateWindow();
        m_trayMenu->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

void CZandor_ClientDlg::ShowNormalFromTray()
{
    if (m_maximised) {
        showNormal();
        setGeometry(QGuiApplication::primaryScreen() != nullptr ? QGuiApplication::primaryScreen()->availableGeometry()
                                                                : geometry());
    } else {
        showNormal();
    }
    raise();
    activateWindow();
}

void CZandor_ClientDlg::QuitRoutine()
{
    if (m_downloadManager) {
        views::MsgBox::Ask(QStringLiteral("Warning"),
                           QStringLiteral("请关闭查看详情窗体！"),
                           0,
                           m_theme,
                           m_texts,
                           this);
        return;
    }
    if (m_settingsWindow) {
        views::MsgBox::Ask(QStringLiteral("Warning"), QStringLiteral("请关闭设置窗体！"), 0, m_theme, m_texts, this);
        return;
    }
    // A message box still open (the contact box, a question) ends unanswered: its loop would
    // otherwise keep the program running, without its tray icon and its downloads, until answered.
    views::ModalRunner::Instance().EndAll(views::ModalRunner::Cancel);
    StopTrayAnimation();
    SetTray(WindowIcon, QStringLiteral("Marlune"));
    RemoveTrayIcon();
    if (m_control) {
        m_control->StopAll();
    }
    EndRun(views::ModalRunner::Ok);
}

void CZandor_ClientDlg::SetTrayProbe(std::function<bool()> probe)
{
    m_trayProbe = std::move(probe);
    CheckTray();
}

bool CZandor_ClientDlg::TrayIconShown() const
{
    return m_trayAvailable && m_trayIcon != nullptr && m_trayIcon->isVisible();
}

void CZandor_ClientDlg::CheckTray()
{
    const bool available = m_trayProbe && m_trayProbe();
    const bool appeared = available && !m_trayAvailable;
    const bool vanished = !available && m_trayAvailable;
    m_trayAvailable = available;
    if (!m_tray.present) {
        return; // removed by a closing routine
    }
    if (appeared) {
        if (m_trayIcon == nullptr) {
            m_trayIcon = new QSystemTrayIcon(this);
            connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    Post(msg::TrayNotify, 0, TrayDoubleClick);
                } else if (reason == QSystemTrayIcon::Context) {
                    Post(msg::TrayNotify, 0, TrayRightButtonUp);
                }
            });
        } else {
            m_trayIcon->hide(); // a new tray: announce the icon to it again
        }
        m_trayIcon->setIcon(m_theme.Icon(m_tray.icon));
        m_trayIcon->setToolTip(m_tray.tip);
        m_trayIcon->show();
    } else if (vanished && Running() && isHidden()) {
        // Hidden to a tray that has gone: nothing else could bring the window back.
        ShowNormalFromTray();
    }
}

void CZandor_ClientDlg::StopTrayAnimation()
{
    m_animating = false;
    m_timers[TrayTimer].stop();
}

void CZandor_ClientDlg::SetTray(int icon, const QString& tip)
{
    if (!m_tray.present) {
        return;
    }
    m_tray.icon = icon;
    m_tray.tip = tip;
    if (m_trayIcon != nullptr) {
        m_trayIcon->setIcon(m_theme.Icon(icon));
        m_trayIcon->setToolTip(tip);
    }
}

void CZandor_ClientDlg::RemoveTrayIcon()
{
    m_tray.present = false;
    m_trayCheck.stop();
    if (m_trayIcon != nullptr) {
        m_trayIcon->hide();
    }
}

// --- timers ---

void CZandor_ClientDlg::OnProgressTimer()
{
    if (m_control) {
        platform::PostMessageTo(m_control->Handle(), msg::DownReportMain, 0, 0);
    }
}

void CZandor_ClientDlg::OnTrayTimer()
{
    SetTray(FirstTrayFrame + m_frame, QStringLiteral("%1个游戏正在下载").arg(m_downloads));
    m_frame = (m_frame + 1) % TrayFrames;
}

// --- the skin engine's clicks ---

void CZandor_ClientDlg::OnSkinClick(int value)
{
    if (value == SearchValue) {
        Search();
    } else if (value == SettingsValue) {
        OpenSettingsWindow();
    }
}

// --- shape, background, painting ---

void CZandor_ClientDlg::ApplyShape(int w, int h)
{
    // Rounded top corners, square bottom corners.
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, w, h - CornerRadius), CornerRadius, CornerRadius);
    QRegion region(rounded.toFillPolygon().toPolygon());
    region += QRegion(0, CornerRadius, w, h - CornerRadius);
    setMask(region);
}

void CZandor_ClientDlg::BuildBackground(int w, int h)
{
    m_background = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    m_background.fill(Qt::black);
    QPainter painter(&m_background);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage& frame = m_theme.Image(FrameImage);
    if (!frame.isNull()) {
        struct Piece
        {
            QRect source;
            QRect target;
        };
        const Piece pieces[] = {
            {{0, 0, 830, 75}, {0, 0, 830, 75}},
            {{830, 0, 10, 75}, {830, 0, w - 960, 75}},
            {{840, 0, 130, 75}, {w - 130, 0, 130, 75}},
            {{0, 590, 900, 40}, {0, h - 40, 900, 40}},
            {{900, 590, 10, 40}, {900, h - 40, w - 960, 40}},
            {{910, 590, 60, 40}, {w - 60, h - 40, 60, 40}},
            {{0, 76, 5, 10}, {0, 75, 5, h - 115}},
            {{965, 76, 5, 10}, {w - 5, 75, 5, h - 115}},
            {{5, 75, 960, 515}, {5, 75, w - 10, h - 115}},
        };
        for (const Piece& piece : pieces) {
            if (piece.target.width() > 0 && piece.target.height() > 0) {
                painter.drawImage(piece.target, frame, piece.source);
            }
        }
    }

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgba(LineColour), 1));
    painter.setBrush(Qt::NoBrush);
    DrawRoundedOutline(painter, 144, 80, w - 459, h - 213, 0);
    DrawRoundedOutline(painter, w - 306, 82, 296, h - 122, 5);
    DrawRoundedOutline(painter, w - 298, 95, 242, 24, 5);
    painter.drawLine(QPointF(144.5, h - 167 + 0.5), QPointF(w - 315 + 0.5, h - 167 + 0.5));
    painter.drawLine(QPointF(w - 306 + 0.5, 156.5), QPointF(w - 10 + 0.5, 156.5));

    const QImage& strip = m_theme.Image(StripImage);
    if (!strip.isNull()) {
        painter.drawImage(QRect(145, h - 166, w - 461, 32), strip);
    }
}

void CZandor_ClientDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, m_background, area);
    m_navigation->Draw(painter, this);
    if (views::SubCategoryColumn* column = Column(m_nav.Category())) {
        column->Draw(painter, this);
    }
    m_card->Draw(painter, this);
    const int w = width();
    m_searchButton->Draw(painter, w - 51, 97, this);
    m_settingsButton->Draw(painter, w - 60, 20, this);
    m_settingsLabel->Draw(painter, w - 52, 43, this);
    if (m_firstPaintNs == 0) {
        m_firstPaintNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
    }
}

void CZandor_ClientDlg::resizeEvent(QResizeEvent* event)
{
    views::MessageWindow::resizeEvent(event);
    const int w = width();
    const int h = height();
    ApplyShape(w, h);
    BuildBackground(w, h);
    PlaceChildren(w, h);
    update();
    if (w < MinWidth || h < MinHeight) {
        resize(MinWidth, MinHeight);
    }
}

void CZandor_ClientDlg::PlaceChildren(int w, int h)
{
    m_searchBox->setGeometry(w - 296, 97, 240, SearchHeight);
    m_list->setGeometry(w - 302, 158, 290, h - 200);
    m_info->setGeometry(145, 81, w - 461, h - 248);
    if (m_card) {
        m_card->Relayout(w, h);
        m_card->Refresh();
    }
}

void CZandor_ClientDlg::keyPressEvent(QKeyEvent* event)
{
    // Page keys turn the list's pages wherever the keyboard focus is (the search box passes them on).
    if (event->key() == Qt::Key_PageUp) {
        m_list->GoToPage(browse::PreviousPage);
    } else if (event->key() == Qt::Key_PageDown) {
        m_list->GoToPage(browse::NextPage);
    } else {
        views::MessageWindow::keyPressEvent(event);
    }
}

void CZandor_ClientDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_maximised) {
        skin::StartWindowMove(this, event);
        return;
    }
    views::MessageWindow::mousePressEvent(event);
}

void CZandor_ClientDlg::closeEvent(QCloseEvent* event)
{
    // A close from the window manager (Alt+F4) is the close button.
    event->ignore();
    if (!m_ended) {
        Post(msg::WindowButton, platform::PackWords(views::NavigationBar::CloseButton, 0), 0);
    }
}

} // namespace app
