#include "app/CZandor_ClientApp.h"

#include <algorithm>
#include <chrono>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "app/CZandor_ClientDlg.h"
#include "app/CloseRequests.h"
#include "app/InstanceLock.h"
#include "app/Loader.h"
#include "app/LoadingDlg.h"
#include "store/DataFileLoader.h"
#include "store/ProgramFolder.h"
#include "views/Fonts.h"
#include "views/ModalRunner.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace app {
namespace {

constexpr const char* SkinFile = "skin.rcc";
constexpr const char* CatalogueFile = "gamelist.xml";

} // namespace

std::string CZandor_ClientApp::ProgramDirOf(const QString& executableFolder)
{
    QString dir = QDir::fromNativeSeparators(executableFolder);
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!dir.endsWith(QLatin1Char('/'))) {
        dir += QLatin1Char('/');
    }
    return dir.toStdString();
}

void CZandor_ClientApp::SystemMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Marlune"), text, QMessageBox::Ok);
    // A box as narrow as its short text leaves a window manager no room for the title beside its
    // buttons ("M...e"): make room for the title and the frame's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid != nullptr) {
        grid->addItem(
            new QSpacerItem(SystemBoxMinWidth(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(),
            0,
            1,
            grid->columnCount());
    }
    views::ModalRunner::Instance().Run(&box, text);
}

int CZandor_ClientApp::SystemBoxMinWidth(const QString& title)
{
    // The title in a bold caption font of the application's size, the window icon and three
    // frame buttons beside it.
    QFont caption = QApplication::font();
    caption.setBold(true);
    constexpr int FrameRoom = 160;
    constexpr int Least = 280;
    return std::max(Least, QFontMetrics(caption).horizontalAdvance(title) + FrameRoom);
}

CZandor_ClientApp::CZandor_ClientApp(AppOptions options)
    : m_options(std::move(options))
{
    if (!m_options.programDir.empty() && m_options.programDir.back() != '/') {
        m_options.programDir += '/';
    }
    if (m_options.skinFile.empty()) {
        m_options.skinFile = std::filesystem::path(m_options.programDir) / SkinFile;
    }
    if (m_options.lockFile.empty()) {
        m_options.lockFile = InstanceLock::DefaultPath();
    }
    if (!m_options.startLoader) {
        m_options.startLoader = &StartProgramLoader;
    }
}

CZandor_ClientApp::~CZandor_ClientApp()
{
    StopLoader();
}

void CZandor_ClientApp::Report(const QString& text) const
{
    if (m_options.report) {
        m_options.report(text);
    } else {
        SystemMessageBox(text);
    }
}

void CZandor_ClientApp::MakeFolders() const
{
    store::PrepareProgramFolder(store::ProgramLayout{m_options.programDir, m_options.skinFile, m_options.bundleDir},
                                std::chrono::system_clock::now());
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(m_options.programDir), error);
}

CZandor_ClientApp::Outcome CZandor_ClientApp::Run()
{
    // 1-2: one copy per user. A refused start lets go of the lock file before its box is shown.
    m_lock = std::make_unique<InstanceLock>(m_options.lockFile);
    switch (m_lock->Acquire()) {
    case LockResult::Acquired:
        break;
    case LockResult::CannotCreate:
        m_lock.reset();
        Report(QStringLiteral("Create mutex error."));
        return Outcome::CannotCreateLock;
    case LockResult::WaitFailed:
        m_lock.reset();
        Report(QStringLiteral("Wait for mutex error."));
        return Outcome::CannotWaitLock;
    case LockResult::HeldElsewhere:
        m_lock.reset();
        Report(QStringLiteral("该程序正在运行！"));
        return Outcome::AlreadyRunning;
    }

    // 3: nothing to start for drawing here. 4-5: the folders; the settings have their defaults.
    const QString skinPath = QString::fromStdString(m_options.skinFile.string());
    // 6-7: the skin, before anything is written.
    m_theme = std::make_unique<views::SkinTheme>();
    if (!m_theme->Load(skinPath)) {
        m_theme.reset();
        // Released before the box: while the user reads it, a start with the skin put back works.
        m_lock->Release();
        Report(QStringLiteral("加载皮肤文件失败"));
        return Outcome::SkinMissing;
    }
    MakeFolders();
    static_cast<void>(store::RemoveStaleSaves(m_options.programDir)); // what saves killed midway left
    views::InstallFontSubstitutes();
    m_texts = std::make_unique<views::UiTexts>();

    // The external close request may come at any time from now on.
    m_closeRequests = std::make_unique<CloseRequests>();
    [[maybe_unused]] const bool catching = m_closeRequests->CatchTerminate();
    [[maybe_unused]] const bool listening =
        m_closeRequests->Listen(CloseRequests::SocketPathFor(QString::fromStdString(m_options.lockFile.string())));

    // 8: the splash, while the loader fills the stores.
    const bool loaded = RunSplash();

    // 9-10: the main window, unless a close request came while loading.
    if (loaded && !m_closeRequests->Requested()) {
        CZandor_ClientDlg window(*m_theme, *m_texts, m_stores, m_options.programDir);
        m_closeRequests->SetTarget(window.Handle());
        if (m_options.mainWindowCreated) {
            m_options.mainWindowCreated(window);
        }
        window.Run();
        m_closeRequests->SetTarget(0);
        window.hide();
        window.StopThreads();
        // 11: the exit update.
        SaveState();
    } else {
        SaveState();
    }

    // 12: release everything.
    m_closeRequests.reset();
    StopLoader();
    m_lock->Release();
    return Outcome::Ran;
}

bool CZandor_ClientApp::RunSplash()
{
    LoadingDlg splash(*m_theme, [this](platform::WindowHandle handle) {
        m_loader = m_options.startLoader(handle, m_stores, m_options.programDir);
    });
    // A close request while loading (SIGTERM, the socket, or the user closing the splash) cuts the
    // loading short: its requests end at once instead of waiting for a server that may never answer.
    splash.OnCloseRequest([this] {
        if (m_loader.abort) {
            m_loader.abort();
        }
    });
    m_closeRequests->SetTarget(splash.Handle());
    if (m_options.splashCreated) {
        m_options.splashCreated(splash);
    }
    splash.Run();
    m_closeRequests->SetTarget(0);
    if (!splash.LoaderFinished()) {
        // The splash ended some other way: the stores are complete only once the loader is idle.
        StopLoader();
    }
    return splash.LoaderFinished() && !splash.CloseRequested();
}

void CZandor_ClientApp::StopLoader()
{
    m_loader = {};
}

void CZandor_ClientApp::SaveState() const
{
    const store::DataFileLoader loader(0, m_options.programDir);
    loader.SaveCatalogueState(CatalogueFile, m_stores.catalogue);
}

} // namespace app
