// Whole runs of the program in a temporary program folder: the early failures that must leave the
// folder untouched, a start against the sample catalogue served by nginx, the second copy that is
// refused while the first runs, and both kinds of external close request.

#include <chrono>
#include <csignal>
#include <optional>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLocalSocket>
#include <QMessageBox>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/CZandor_ClientApp.h"
#include "app/CZandor_ClientDlg.h"
#include "app/CloseRequests.h"
#include "app/InstanceLock.h"
#include "app/LoadingDlg.h"
#include "platform/MessageThread.h"
#include "platform/Messages.h"
#include "store/CategoryTree.h"
#include "views/ModalRunner.h"
#include "views/NavigationBar.h"
#include "views/ViewsTestSupport.h"

using app::AppOptions;
using app::CZandor_ClientApp;
using app::CZandor_ClientDlg;
using app::LoadingDlg;
using Outcome = app::CZandor_ClientApp::Outcome;
using platform::PackWords;

namespace {

namespace msg = platform::msg;

// A loader that fills nothing and reports the first and the last stage, for runs that need no
// catalogue.
app::StartedLoader QuickLoader(platform::WindowHandle splash, store::Stores&, const std::string&)
{
    auto thread = std::make_shared<platform::MessageThread>();
    thread->On(msg::LoadStart, [splash](const platform::Message&) {
        platform::PostMessageTo(splash, msg::SplashStage, PackWords(1, 0), 0);
        platform::PostMessageTo(splash, msg::SplashStage, PackWords(100, 0), 0);
    });
    thread->Start();
    thread->Post(msg::LoadStart, 0, 0);
    return {thread, {}};
}

// Calls back when a widget is hidden.
class OnHide final : public QObject
{
public:
    OnHide(QWidget* widget, std::function<void()> callback)
        : QObject(widget)
        , m_callback(std::move(callback))
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) {
            m_callback();
        }
        return false;
    }

private:
    std::function<void()> m_callback;
};

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder.MakeRunFolder();
        views::ModalRunner::Instance().ClearAnswers();
    }

    AppOptions Options()
    {
        AppOptions options;
        options.programDir = m_folder.Dir();
        options.lockFile = m_folder.LockFile();
        options.report = [this](const QString& text) { m_reports.push_back(text); };
        return options;
    }

    // Program folder contents, leaving out the lock folder.
    std::vector<std::string> ProgramFiles() const
    {
        std::vector<std::string> names = app_test::Listing(m_folder.Path());
        std::erase_if(names, [](const std::string& name) { return name.rfind(".run", 0) == 0; });
        return names;
    }

    app_test::ProgramFolder m_folder;
    std::vector<QString> m_reports;
};

TEST_F(StartupTest, WithoutTheSkinFileNothingIsShownOrWritten)
{
    const std::string catalogue = "<gamelist></gamelist>";
    std::ofstream(m_folder.Path() / "gamelist.xml") << catalogue;
    bool windowMade = false;
    AppOptions options = Options();
    options.mainWindowCreated = [&](CZandor_ClientDlg&) { windowMade = true; };
    options.splashCreated = [&](LoadingDlg&) { windowMade = true; };
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::SkinMissing);
    EXPECT_EQ(m_reports, std::vector<QString>{QStringLiteral("加载皮肤文件失败")});
    EXPECT_FALSE(windowMade);
    EXPECT_EQ(ProgramFiles(), std::vector<std::string>{"gamelist.xml"});
    EXPECT_EQ(app_test::ReadFile(m_folder.Path() / "gamelist.xml"), catalogue);
    app::InstanceLock lock(m_folder.LockFile());
    EXPECT_EQ(lock.Acquire(), app::LockResult::Acquired) << "the lock was released";
}

TEST_F(StartupTest, LockThatCannotBeMadeEndsTheStart)
{
    m_folder.CopyIn(app_test::SkinFile());
    AppOptions options = Options();
    options.lockFile = m_folder.Path() / "no-such-folder" / "marlune.lock";
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::CannotCreateLock);
    EXPECT_EQ(m_reports, std::vector<QString>{QStringLiteral("Create mutex error.")});
    EXPECT_EQ(ProgramFiles(), std::vector<std::string>{"skin.rcc"});
}

// The system message box goes through the modal runner, so its text and caption are observable.
TEST_F(StartupTest, EarlyFailureUsesTheSystemMessageBox)
{
    views::ModalRunner::Instance().ClearHistory();
    views::ModalRunner::Instance().QueueAnswer(views::ModalRunner::Ok);
    AppOptions options = Options();
    options.report = nullptr;
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::SkinMissing);
    ASSERT_EQ(views::ModalRunner::Instance().History().size(), 1u);
    EXPECT_EQ(views::ModalRunner::Instance().History()[0].title, QStringLiteral("Marlune"));
    EXPECT_EQ(views::ModalRunner::Instance().History()[0].description, QStringLiteral("加载皮肤文件失败"));
}

enum class Answer
{
    Click,
    Enter,
    Escape
};

struct EarlyFailureCase
{
    const char* name;
    bool secondCopy; // else: no skin file
    Answer answer;
};

void PrintTo(const EarlyFailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class EarlyFailureBox
    : public StartupTest
    , public ::testing::WithParamInterface<EarlyFailureCase>
{};

// The system box of a refused start is answered as a user does; the start then ends, and the lock
// is free already while the box is shown.
TEST_P(EarlyFailureBox, AnsweringItEndsTheStart)
{
    const EarlyFailureCase& c = GetParam();
    std::optional<app::InstanceLock> other;
    if (c.secondCopy) {
        m_folder.CopyIn(app_test::SkinFile());
        other.emplace(m_folder.LockFile());
        ASSERT_EQ(other->Acquire(), app::LockResult::Acquired);
    }
    bool lockFreeWhileShown = false;
    QString shownText;
    views::ModalRunner::Instance().SetShownObserver([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        if (!c.secondCopy) {
            app::InstanceLock probe(m_folder.LockFile());
            lockFreeWhileShown = probe.Acquire() == app::LockResult::Acquired;
        }
        QTimer::singleShot(0, box, [box, answer = c.answer] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(box));
            if (answer == Answer::Click) {
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            } else {
                QTest::keyClick(box, answer == Answer::Enter ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        QTimer::singleShot(5000, box, [] {
            ADD_FAILURE() << "the answered box kept its run going";
            views::ModalRunner::Instance().EndAll(views::ModalRunner::Cancel);
        });
    });
    AppOptions options = Options();
    options.report = nullptr;
    CZandor_ClientApp program(std::move(options));
    const Outcome outcome = program.Run();
    views::ModalRunner::Instance().SetShownObserver(nullptr);
    EXPECT_EQ(outcome, c.secondCopy ? Outcome::AlreadyRunning : Outcome::SkinMissing);
    EXPECT_EQ(shownText, c.secondCopy ? QStringLiteral("该程序正在运行！") : QStringLiteral("加载皮肤文件失败"));
    if (!c.secondCopy) {
        EXPECT_TRUE(lockFreeWhileShown);
    }
    other.reset();
    app::InstanceLock lock(m_folder.LockFile());
    EXPECT_EQ(lock.Acquire(), app::LockResult::Acquired);
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         EarlyFailureBox,
                         ::testing::Values(EarlyFailureCase{"SecondCopyClick", true, Answer::Click},
                                           EarlyFailureCase{"SecondCopyEnter", true, Answer::Enter},
                                           EarlyFailureCase{"SecondCopyEscape", true, Answer::Escape},
                                           EarlyFailureCase{"NoSkinClick", false, Answer::Click},
                                           EarlyFailureCase{"NoSkinEnter", false, Answer::Enter},
                                           EarlyFailureCase{"NoSkinEscape", false, Answer::Escape}),
                         [](const auto& info) { return std::string(info.param.name); });

// The system box leaves a window manager room for its title beside the frame's buttons.
TEST(SystemBox, WideEnoughForItsTitle)
{
    views::ModalRunner::Instance().SetShownObserver([](QWidget* window) {
        const int title = QFontMetrics(QApplication::font()).horizontalAdvance(window->windowTitle());
        EXPECT_GE(window->width(), title + 150);
        EXPECT_GE(window->width(), CZandor_ClientApp::SystemBoxMinWidth(window->windowTitle()));
        QTimer::singleShot(0, window, [window] { QTest::keyClick(window, Qt::Key_Escape); });
    });
    CZandor_ClientApp::SystemMessageBox(QStringLiteral("该程序正在运行！"));
    views::ModalRunner::Instance().SetShownObserver(nullptr);
}

// A second copy started while the first runs is refused and touches nothing; the first is closed
// by a "close" line on the local socket.
TEST_F(StartupTest, SecondCopyIsRefusedAndTheSocketClosesTheFirst)
{
    m_folder.CopyIn(app_test::SkinFile());
    AppOptions options = Options();
    options.startLoader = &QuickLoader;
    std::vector<std::string> filesWhileRunning;
    std::vector<QString> secondReports;
    Outcome second = Outcome::Ran;
    QByteArray answer;
    options.mainWindowCreated = [&](CZandor_ClientDlg& window) {
        QTimer::singleShot(50, &window, [&] {
            filesWhileRunning = ProgramFiles();
            AppOptions again = Options();
            again.startLoader = &QuickLoader;
            again.report = [&](const QString& text) { secondReports.push_back(text); };
            CZandor_ClientApp copy(std::move(again));
            second = copy.Run();
            EXPECT_EQ(ProgramFiles(), filesWhileRunning) << "the refused copy wrote something";

            QLocalSocket socket;
            socket.connectToServer(
                app::CloseRequests::SocketPathFor(QString::fromStdString(m_folder.LockFile().string())));
            ASSERT_TRUE(socket.waitForConnected(2000));
            socket.write("close\n");
            socket.flush();
            ASSERT_TRUE(QTest::qWaitFor([&] { return socket.bytesAvailable() > 0 || !socket.isOpen(); }, 3000));
            answer = socket.readAll();
        });
    };
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::Ran);
    EXPECT_EQ(second, Outcome::AlreadyRunning);
    EXPECT_EQ(secondReports, std::vector<QString>{QStringLiteral("该程序正在运行！")});
    EXPECT_EQ(answer, QByteArray("ok\n"));
    // The first run made its folders and wrote the (empty) game list and download log.
    for (const char* name : {"ico", "pic", "download", "game", "gamelist.xml", "DownLog.xml"}) {
        EXPECT_TRUE(std::filesystem::exists(m_folder.Path() / name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(m_folder.Path() / "set.xml"));
}

enum class CloseBy
{
    Terminate,
    SocketLine
};

class CloseWithABoxOpen
    : public StartupTest
    , public ::testing::WithParamInterface<CloseBy>
{};

// SIGTERM and the socket's close line end the program while a message box is open: the box's run
// ends (with Cancel: no question counts as answered), and the state is saved.
TEST_P(CloseWithABoxOpen, EndsTheBoxAndTheProgram)
{
    m_folder.CopyIn(app_test::SkinFile());
    AppOptions options = Options();
    options.startLoader = &QuickLoader;
    std::unique_ptr<QLocalSocket> socket;
    bool boxShown = false;
    options.mainWindowCreated = [&](CZandor_ClientDlg& window) {
        views::ModalRunner::Instance().SetShownObserver([&](QWidget* box) {
            boxShown = true;
            QTimer::singleShot(0, box, [&] {
                if (GetParam() == CloseBy::Terminate) {
                    std::raise(SIGTERM);
                    return;
                }
                socket = std::make_unique<QLocalSocket>();
                socket->connectToServer(
                    app::CloseRequests::SocketPathFor(QString::fromStdString(m_folder.LockFile().string())));
                ASSERT_TRUE(socket->waitForConnected(2000));
                socket->write("close\n");
                socket->flush();
            });
        });
        QTimer::singleShot(0, &window, [&window] {
            views_test::Paint(&window);
            views_test::ClickAnchor(&window, window.Navigation().ContactLinkText());
        });
        QTimer::singleShot(10000, &window, [&window] {
            ADD_FAILURE() << "the program kept running";
            views::ModalRunner::Instance().EndAll(views::ModalRunner::Cancel);
            window.EndRun(0);
        });
    };
    views::ModalRunner::Instance().ClearHistory();
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::Ran);
    views::ModalRunner::Instance().SetShownObserver(nullptr);
    EXPECT_TRUE(boxShown);
    const auto& history = views::ModalRunner::Instance().History();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().title, QStringLiteral("联系我们"));
    EXPECT_EQ(history.back().result, views::ModalRunner::Cancel);
    EXPECT_TRUE(std::filesystem::exists(m_folder.Path() / "gamelist.xml")) << "the exit update did not run";
    if (socket) {
        if (socket->bytesAvailable() == 0) {
            socket->waitForReadyRead(2000);
        }
        EXPECT_EQ(socket->readAll(), QByteArray("ok\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Requests,
                         CloseWithABoxOpen,
                         ::testing::Values(CloseBy::Terminate, CloseBy::SocketLine),
                         [](const auto& info) {
                             return std::string(info.param == CloseBy::Terminate ? "Sigterm" : "SocketLine");
                         });

// SIGTERM while the download manager or the settings window is open (each opened by its click)
// ends that window's run and the program, with the state saved.
class CloseWithAWindowOpen
    : public StartupTest
    , public ::testing::WithParamInterface<bool>
{};

TEST_P(CloseWithAWindowOpen, EndsTheWindowAndTheProgram)
{
    const bool manager = GetParam();
    m_folder.CopyIn(app_test::SkinFile());
    AppOptions options = Options();
    options.startLoader = &QuickLoader;
    QString shownTitle;
    options.mainWindowCreated = [&](CZandor_ClientDlg& window) {
        views::ModalRunner::Instance().SetShownObserver([&](QWidget* shown) {
            shownTitle = shown->windowTitle();
            QTimer::singleShot(0, shown, [] { std::raise(SIGTERM); });
        });
        QTimer::singleShot(0, &window, [&window, manager] {
            views_test::Paint(&window);
            views_test::ClickAnchor(&window, manager ? window.Navigation().DetailsLinkText() : window.SettingsButton());
        });
        QTimer::singleShot(10000, &window, [&window] {
            ADD_FAILURE() << "the program kept running";
            views::ModalRunner::Instance().EndAll(views::ModalRunner::Cancel);
            window.EndRun(0);
        });
    };
    views::ModalRunner::Instance().ClearHistory();
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::Ran);
    views::ModalRunner::Instance().SetShownObserver(nullptr);
    EXPECT_EQ(shownTitle, manager ? QStringLiteral("下载管理") : QStringLiteral("设置"));
    const auto& history = views::ModalRunner::Instance().History();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(history.back().title, shownTitle);
    EXPECT_EQ(history.back().result, views::ModalRunner::Ok);
    EXPECT_TRUE(std::filesystem::exists(m_folder.Path() / "gamelist.xml")) << "the exit update did not run";
}

INSTANTIATE_TEST_SUITE_P(Windows, CloseWithAWindowOpen, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "DownloadManager" : "Settings");
});

// Read the base address that the catalogue_server fixture wrote.
std::string ServerBase()
{
    return app_test::ReadFile(std::filesystem::path(MARLUNE_BINARY_DIR) / "catalogue-server" / "base-url");
}

// The whole start against the sample catalogue: the splash shows the stages in order and closes,
// the main window opens with the stores filled, and SIGTERM ends the program with the state saved.
TEST_F(StartupTest, WholeStartAgainstTheCatalogueServer)
{
    std::string base = ServerBase();
    while (!base.empty() && (base.back() == '\n' || base.back() == '\r')) {
        base.pop_back();
    }
    ASSERT_FALSE(base.empty()) << "the catalogue_server fixture is not running";
    qputenv("MARLUNE_SERVER", QByteArray::fromStdString(base));
    m_folder.CopyIn(app_test::SkinFile());
    m_folder.CopyIn(std::filesystem::path(MARLUNE_BINARY_DIR) / "catalogue" / "client" / "gamelist.xml");

    AppOptions options = Options();
    LoadingDlg* splash = nullptr;
    std::vector<LoadingDlg::Shown> stages;
    bool splashClosedFirst = false;
    QSize size;
    std::size_t games = 0;
    bool categories = false;
    bool dailyNewest = false;
    options.splashCreated = [&](LoadingDlg& dialog) {
        splash = &dialog;
        QObject::connect(&dialog, &QObject::destroyed, [&] { splash = nullptr; });
        // Keep the reports shown when the splash is hidden; it is gone when the run ends.
        new OnHide(&dialog, [&] { stages = dialog.History(); });
    };
    CZandor_ClientApp* running = nullptr;
    options.mainWindowCreated = [&](CZandor_ClientDlg& window) {
        splashClosedFirst = splash == nullptr;
        games = running->Stores().catalogue.size();
        categories = !running->Stores().categories.nodes.empty();
        const auto daily = running->Stores().categories.nodes.find("99");
        dailyNewest = daily != running->Stores().categories.nodes.end() && daily->second.name == "每日最新";
        QTimer::singleShot(0, &window, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
            size = window.size();
            std::raise(SIGTERM);
        });
    };
    CZandor_ClientApp program(std::move(options));
    running = &program;
    ASSERT_EQ(program.Run(), Outcome::Ran);
    qunsetenv("MARLUNE_SERVER");

    EXPECT_TRUE(splashClosedFirst);
    EXPECT_EQ(size, QSize(970, 630));
    EXPECT_GE(games, 300u);
    EXPECT_TRUE(categories) << "no category was loaded";
    EXPECT_TRUE(dailyNewest) << "the category 每日最新 is missing";

    // Stages in the order the loader takes them; the day list's reader reports 13 and 14 again.
    const std::vector<int> order = {1, 11, 13, 14, 21, 22, 13, 14, 23, 24, 15, 31};
    std::vector<int> seen;
    for (const LoadingDlg::Shown& shown : stages) {
        EXPECT_FALSE(shown.failure) << shown.stage;
        seen.push_back(shown.stage);
    }
    std::size_t position = 0;
    for (const int stage : seen) {
        const auto at = std::find(order.begin() + static_cast<long>(position), order.end(), stage);
        ASSERT_NE(at, order.end()) << "stage " << stage << " out of order";
        position = static_cast<std::size_t>(at - order.begin());
    }
    for (const int stage : {1, 11, 13, 14, 21, 22, 15, 31}) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), stage), seen.end()) << "stage " << stage << " not shown";
    }

    const std::string catalogue = app_test::ReadFile(m_folder.Path() / "gamelist.xml");
    EXPECT_NE(catalogue.find("<laststate>0</laststate>"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(m_folder.Path() / "DownLog.xml"));
    EXPECT_FALSE(std::filesystem::exists(m_folder.Path() / "set.xml"))
        << "settings are written only by the settings window";
}

enum class CloseDuringLoading
{
    Terminate,
    CloseSplash
};

class CloseWhileLoading
    : public StartupTest
    , public ::testing::WithParamInterface<CloseDuringLoading>
{};

// Against a catalogue server that accepts and never answers, a close request while the day's list
// is being fetched (SIGTERM, or the user closing the splash) ends the program at once: the loading
// is cut short, no main window opens, and the exit update still runs.
TEST_P(CloseWhileLoading, EndsTheProgramAtOnce)
{
    QTcpServer silent; // connections are taken and never answered
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    qputenv("MARLUNE_SERVER", QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()).toUtf8());
    m_folder.CopyIn(app_test::SkinFile());
    m_folder.CopyIn(std::filesystem::path(MARLUNE_BINARY_DIR) / "catalogue" / "client" / "gamelist.xml");

    AppOptions options = Options();
    bool mainWindow = false;
    std::chrono::steady_clock::time_point asked;
    options.mainWindowCreated = [&](CZandor_ClientDlg&) { mainWindow = true; };
    options.splashCreated = [&](LoadingDlg& splash) {
        auto* poll = new QTimer(&splash);
        QObject::connect(poll, &QTimer::timeout, &splash, [&splash, poll, &asked] {
            const auto& shown = splash.History();
            if (shown.empty() || shown.back().stage != 21 || !splash.isVisible()) {
                return; // not yet fetching the day's list
            }
            poll->stop();
            QTest::qWait(200); // the request is on its way to the server
            asked = std::chrono::steady_clock::now();
            if (GetParam() == CloseDuringLoading::Terminate) {
                std::raise(SIGTERM);
            } else {
                splash.close();
            }
        });
        poll->start(10);
    };
    CZandor_ClientApp program(std::move(options));
    EXPECT_EQ(program.Run(), Outcome::Ran);
    const auto took = std::chrono::steady_clock::now() - asked;
    qunsetenv("MARLUNE_SERVER");
    ASSERT_NE(asked.time_since_epoch().count(), 0) << "the loading never reached the day's list";
    EXPECT_LT(took, std::chrono::seconds(2)) << "the close waited for the server";
    EXPECT_FALSE(mainWindow);
    EXPECT_NE(app_test::ReadFile(m_folder.Path() / "gamelist.xml").find("<laststate>"), std::string::npos)
        << "the exit update did not run";
}

INSTANTIATE_TEST_SUITE_P(Requests,
                         CloseWhileLoading,
                         ::testing::Values(CloseDuringLoading::Terminate, CloseDuringLoading::CloseSplash),
                         [](const auto& info) {
                             return std::string(info.param == CloseDuringLoading::Terminate ? "Sigterm"
                                                                                            : "ClosingTheSplash");
                         });

TEST(ProgramDir, ForwardSlashesAndATrailingSlash)
{
    EXPECT_EQ(CZandor_ClientApp::ProgramDirOf(QStringLiteral("/opt/marlune")), "/opt/marlune/");
    EXPECT_EQ(CZandor_ClientApp::ProgramDirOf(QStringLiteral("/opt/marlune/")), "/opt/marlune/");
    EXPECT_EQ(CZandor_ClientApp::ProgramDirOf(QStringLiteral("C:\\Games\\Box")), "C:/Games/Box/");
}

} // namespace
