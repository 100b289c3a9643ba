// The main window: its shape and frame, the snap back to its smallest size, the window buttons as
// the navigation bar posts them, close to the tray, the quit routine and its refusals, the
// external close request, the timers and the tray animation.

#include <set>

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/ModalRunner.h"
#include "views/NavigationBar.h"
#include "views/ViewsTestSupport.h"

using app::CZandor_ClientDlg;
using platform::PackWords;
using views::ModalRunner;
using views::NavigationBar;

namespace {

namespace msg = platform::msg;

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
        m_window =
            std::make_unique<CZandor_ClientDlg>(views_test::Theme(), views_test::Texts(), m_stores, m_folder.Dir());
    }
    void TearDown() override
    {
        m_window.reset();
        ModalRunner::Instance().ClearAnswers();
    }

    void Show()
    {
        m_window->show();
        views_test::Paint(m_window.get());
    }
    void Deliver() { QCoreApplication::processEvents(); }
    // Runs the window modally, doing act once the run has started; returns the run's result.
    int RunWith(const std::function<void()>& act)
    {
        QTimer::singleShot(0, m_window.get(), [this, act] {
            views_test::Paint(m_window.get());
            act();
        });
        QTimer::singleShot(10000, m_window.get(), [this] {
            ADD_FAILURE() << "the run did not end";
            m_window->EndRun(0);
        });
        return m_window->Run();
    }
    void Click(int button)
    {
        views_test::Paint(m_window.get());
        views_test::ClickAnchor(m_window.get(), m_window->Navigation().WindowButton(button));
        Deliver();
    }

    app_test::ProgramFolder m_folder;
    store::Stores m_stores;
    std::unique_ptr<CZandor_ClientDlg> m_window;
};

TEST_F(MainWindowTest, OpensAtItsSmallestSizeWithRoundedTopCornersAndItsFrame)
{
    Show();
    EXPECT_EQ(m_window->size(), QSize(970, 630));
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Marlune"));
    EXPECT_TRUE(m_window->windowFlags() & Qt::FramelessWindowHint);
    const QRegion mask = m_window->mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0))) << "top left corner is cut";
    EXPECT_FALSE(mask.contains(QPoint(969, 0))) << "top right corner is cut";
    EXPECT_TRUE(mask.contains(QPoint(485, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, 629))) << "bottom corners are square";
    EXPECT_TRUE(mask.contains(QPoint(969, 629)));

    const QImage& background = m_window->Background();
    ASSERT_EQ(background.size(), QSize(970, 630));
    // The outline around the centre area and the line above the right panel's list.
    EXPECT_EQ(QColor(background.pixel(144, 300)).name(), QStringLiteral("#295d7e"));
    EXPECT_EQ(QColor(background.pixel(800, 156)).name(), QStringLiteral("#295d7e"));

    QLineEdit* search = m_window->SearchBox();
    EXPECT_EQ(search->geometry(), QRect(970 - 296, 97, 240, 22));
    EXPECT_EQ(search->font().family(), QStringLiteral("Arial"));
    EXPECT_LE(search->font().pixelSize(), 20);
    EXPECT_EQ(m_window->SearchButton()->LastRect().topLeft(), QPoint(970 - 51, 97));
    EXPECT_EQ(m_window->SettingsButton()->LastRect().topLeft(), QPoint(970 - 60, 20));
    EXPECT_EQ(m_window->Navigation().WindowButton(NavigationBar::CloseButton)->LastRect().topLeft(),
              QPoint(970 - 46, 0));
    EXPECT_EQ(m_window->Navigation().DetailsLinkText()->LastRect().topLeft(), QPoint(970 - 70, 630 - 20));
}

// Ink rows and the first ink column of a line edit's text, against its own background.
struct Ink
{
    int rows = 0;
    int left = -1;
};

Ink InkOf(QLineEdit& edit)
{
    const QImage image = edit.grab().toImage();
    const QColor base = image.pixelColor(image.width() - 1, image.height() / 2);
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        bool any = false;
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.lightness() - base.lightness()) > 60) {
                any = true;
                ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            }
        }
        ink.rows += any ? 1 : 0;
    }
    return ink;
}

// The search box shows whole letters, descenders too, a few pixels in from its left edge: the
// same text in a line edit tall enough for anything shows as many rows of ink.
TEST_F(MainWindowTest, SearchBoxShowsWholeLettersWithRoomOnTheLeft)
{
    Show();
    QLineEdit* search = m_window->SearchBox();
    search->setText(QStringLiteral("gjpqy Ägypten"));
    views_test::Paint(m_window.get());
    QLineEdit tall;
    tall.setFrame(false);
    tall.setFont(search->font());
    tall.setTextMargins(search->textMargins());
    tall.setText(search->text());
    tall.resize(search->width(), 80);
    const Ink shown = InkOf(*search);
    const Ink whole = InkOf(tall);
    EXPECT_GT(whole.rows, 10);
    EXPECT_EQ(shown.rows, whole.rows) << "rows of the letters are cut off";
    EXPECT_GE(shown.left, 4) << "the text touches the left edge";
}

struct SizeCase
{
    const char* name;
    QSize asked;
    QSize result;
};

void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.name;
}

class SnapBack
    : public MainWindowTest
    , public ::testing::WithParamInterface<SizeCase>
{};

TEST_P(SnapBack, TooSmallOnEitherSideBecomesExactlyTheSmallestSize)
{
    Show();
    m_window->resize(GetParam().asked);
    Deliver();
    EXPECT_EQ(m_window->size(), GetParam().result);
    EXPECT_EQ(m_window->Background().size(), GetParam().result);
    EXPECT_EQ(m_window->SearchBox()->x(), GetParam().result.width() - 296);
}

INSTANTIATE_TEST_SUITE_P(Sizes,
                         SnapBack,
                         ::testing::Values(SizeCase{"narrow", {900, 800}, {970, 630}},
                                           SizeCase{"low", {1200, 600}, {970, 630}},
                                           SizeCase{"both", {400, 300}, {970, 630}},
                                           SizeCase{"larger_stays", {1100, 700}, {1100, 700}}),
                         [](const ::testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, MaximiseFillsTheWorkAreaAndRestoreGoesBack)
{
    Show();
    m_window->move(40, 30);
    Deliver();
    const QRect before = m_window->geometry();
    Click(NavigationBar::MaximiseButton);
    EXPECT_TRUE(m_window->IsMaximised());
    EXPECT_EQ(m_window->SavedRect(), before);
    const QRect work = m_window->screen()->availableGeometry();
    EXPECT_EQ(m_window->pos(), work.topLeft());
    // A work area smaller than the window's smallest size snaps back to exactly that size.
    const bool fits = work.width() >= 970 && work.height() >= 630;
    EXPECT_EQ(m_window->size(), fits ? work.size() : QSize(970, 630));
    EXPECT_FALSE(m_window->Navigation().WindowButton(NavigationBar::MaximiseButton)->IsVisible());
    EXPECT_TRUE(m_window->Navigation().WindowButton(NavigationBar::RestoreButton)->IsVisible());

    // While maximised a press does not move the window.
    const QPoint maximisedAt = m_window->pos();
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(m_window.get(), QPoint(450, 330));
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(450, 330));
    EXPECT_EQ(m_window->pos(), maximisedAt);

    Click(NavigationBar::RestoreButton);
    EXPECT_FALSE(m_window->IsMaximised());
    EXPECT_EQ(m_window->geometry(), before);
    EXPECT_TRUE(m_window->Navigation().WindowButton(NavigationBar::MaximiseButton)->IsVisible());
    EXPECT_FALSE(m_window->Navigation().WindowButton(NavigationBar::RestoreButton)->IsVisible());
}

TEST_F(MainWindowTest, DraggingMovesTheWindow)
{
    Show();
    m_window->move(20, 20);
    Deliver();
    const QPoint before = m_window->pos();
    QTest::mousePress(m_window.get(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(m_window.get(), QPoint(430, 310));
    QTest::mouseRelease(m_window.get(), Qt::LeftButton, {}, QPoint(430, 310));
    EXPECT_EQ(m_window->pos(), before + QPoint(30, 10));
}

TEST_F(MainWindowTest, MinimiseButton)
{
    Show();
    Click(NavigationBar::MinimiseButton);
    EXPECT_TRUE(m_window->isMinimized());
}

TEST_F(MainWindowTest, CloseGoesToTheTrayAndTheTrayBringsTheWindowBack)
{
    ASSERT_TRUE(m_stores.settings.exit);
    m_window->SetTrayProbe([] { return true; });
    const int result = RunWith([this] {
        EXPECT_TRUE(m_window->TrayIconShown());
        Click(NavigationBar::CloseButton);
        EXPECT_FALSE(m_window->isVisible());
        EXPECT_TRUE(m_window->Running());
        EXPECT_TRUE(m_window->Tray().present);

        m_window->Post(msg::TrayNotify, 0, CZandor_ClientDlg::TrayDoubleClick);
        Deliver();
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_FALSE(m_window->isMinimized());
        // Only the tray menu's command ends the program.
        m_window->QuitAction()->trigger();
    });
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_FALSE(m_window->Tray().present);
    EXPECT_FALSE(m_window->TrayIconShown());
}

// Without a tray a hidden window could never come back: the close button quits. A tray that comes
// later (a session that starts its panel after us) gets the icon, and closing hides to it again;
// when that tray goes away, a window hidden to it comes back.
TEST_F(MainWindowTest, CloseQuitsWithoutATrayAndATrayThatComesLaterIsUsed)
{
    ASSERT_TRUE(m_stores.settings.exit);
    bool tray = false;
    m_window->SetTrayProbe([&tray] { return tray; });
    EXPECT_FALSE(m_window->TrayIconShown());
    const int result = RunWith([&] {
        tray = true;
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->TrayIconShown(); }, 3 * CZandor_ClientDlg::TrayCheckMs));
        Click(NavigationBar::CloseButton);
        EXPECT_FALSE(m_window->isVisible());
        EXPECT_TRUE(m_window->Running());

        tray = false;
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->isVisible(); }, 3 * CZandor_ClientDlg::TrayCheckMs))
            << "the window stayed hidden without a tray";
        Click(NavigationBar::CloseButton);
    });
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_FALSE(m_window->Tray().present);
}

TEST_F(MainWindowTest, CloseQuitsWhenTheSettingsSaySo)
{
    m_stores.settings.exit = false;
    const int result = RunWith([this] { Click(NavigationBar::CloseButton); });
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_FALSE(m_window->Tray().present);
}

struct Refusal
{
    const char* name;
    bool manager;
    bool settings;
    const char* text;
};

void PrintTo(const Refusal& c, std::ostream* os)
{
    *os << c.name;
}

class QuitRefusal
    : public MainWindowTest
    , public ::testing::WithParamInterface<Refusal>
{};

// While the download manager or the settings window is open, quitting is refused with a warning
// and the program runs on with its tray icon.
TEST_P(QuitRefusal, WarnsAndKeepsRunning)
{
    const Refusal& refusal = GetParam();
    QWidget manager;
    QWidget settings;
    const int result = RunWith([&] {
        if (refusal.manager) {
            m_window->TrackDownloadManager(&manager);
        }
        if (refusal.settings) {
            m_window->TrackSettingsWindow(&settings);
        }
        ModalRunner::Instance().QueueAnswer(ModalRunner::Ok);
        m_window->QuitAction()->trigger();
        Deliver();
        ASSERT_EQ(ModalRunner::Instance().History().size(), 1u);
        EXPECT_EQ(ModalRunner::Instance().History()[0].title, QStringLiteral("Warning"));
        EXPECT_EQ(ModalRunner::Instance().History()[0].description, QString::fromUtf8(refusal.text));
        EXPECT_TRUE(m_window->Running());
        EXPECT_TRUE(m_window->Tray().present);

        // Closed again: now the command ends the program.
        m_window->TrackDownloadManager(nullptr);
        m_window->TrackSettingsWindow(nullptr);
        m_window->QuitAction()->trigger();
    });
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_EQ(ModalRunner::Instance().History().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(OpenWindows,
                         QuitRefusal,
                         ::testing::Values(Refusal{"download_manager", true, false, "请关闭查看详情窗体！"},
                                           Refusal{"settings", false, true, "请关闭设置窗体！"},
                                           Refusal{"both_manager_first", true, true, "请关闭查看详情窗体！"}),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// The tray menu works while a message box is open; its 退出 ends the box unanswered and the program.
TEST_F(MainWindowTest, TrayQuitEndsAnOpenMessageBoxAndTheRun)
{
    QWidget box;
    int boxResult = 0;
    const int result = RunWith([&] {
        QTimer::singleShot(0, m_window.get(), [this] { m_window->QuitAction()->trigger(); });
        QTimer::singleShot(3000, &box, [&box] {
            if (ModalRunner::Instance().Done(&box, 0)) {
                ADD_FAILURE() << "the box stayed open after 退出";
            }
        });
        boxResult = ModalRunner::Instance().Run(&box);
    });
    EXPECT_EQ(boxResult, ModalRunner::Cancel);
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_FALSE(m_window->Tray().present);
}

// The external close request asks nothing: it ends the open modal windows and the program, even
// with downloads running.
TEST_F(MainWindowTest, ExternalCloseEndsModalWindowsAndTheRun)
{
    QWidget settings;
    int settingsResult = 0;
    const int result = RunWith([&] {
        m_window->Post(msg::TransferCount, PackWords(2, 0), 0);
        Deliver();
        m_window->TrackSettingsWindow(&settings);
        m_window->Post(msg::ExternalClose, 0, 0);
        settingsResult = ModalRunner::Instance().Run(&settings);
        m_window->TrackSettingsWindow(nullptr);
    });
    EXPECT_EQ(settingsResult, ModalRunner::Ok);
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_FALSE(m_window->Tray().present);
    EXPECT_FALSE(m_window->TimerActive(CZandor_ClientDlg::TrayTimer));
}

TEST_F(MainWindowTest, TimersHaveTheirPeriodsAndTheTakeUpRunsOnce)
{
    EXPECT_TRUE(m_window->TimerActive(CZandor_ClientDlg::ProgressTimer));
    EXPECT_EQ(m_window->TimerInterval(CZandor_ClientDlg::ProgressTimer), 1000);
    EXPECT_EQ(m_window->TimerInterval(CZandor_ClientDlg::ResumeTimer), 10);
    EXPECT_EQ(m_window->TimerInterval(CZandor_ClientDlg::TrayTimer), 70);
    EXPECT_FALSE(m_window->TimerActive(CZandor_ClientDlg::TrayTimer));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_window->TimerActive(CZandor_ClientDlg::ResumeTimer); }, 2000));
    QTest::qWait(50);
    EXPECT_FALSE(m_window->TimerActive(CZandor_ClientDlg::ResumeTimer));
    EXPECT_NE(m_window->ControlThread(), 0u);
    EXPECT_NE(m_window->UnpackingThread(), 0u);
    EXPECT_TRUE(platform::IsWindow(m_window->ControlThread()));
}

TEST_F(MainWindowTest, TrayAnimatesWhileDownloadsRun)
{
    m_window->Post(msg::TransferCount, PackWords(3, 0), 0);
    Deliver();
    EXPECT_TRUE(m_window->Animating());
    EXPECT_EQ(m_window->Downloads(), 3);
    EXPECT_TRUE(m_window->TimerActive(CZandor_ClientDlg::TrayTimer));
    std::set<int> frames;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            frames.insert(m_window->Tray().icon);
            return frames.size() == 6;
        },
        3000));
    EXPECT_EQ(frames, (std::set<int>{350, 351, 352, 353, 354, 355}));
    EXPECT_EQ(m_window->Tray().tip, QStringLiteral("3个游戏正在下载"));

    // Another count while animating keeps the animation going with the new count.
    m_window->Post(msg::TransferCount, PackWords(1, 0), 0);
    Deliver();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->Tray().tip == QStringLiteral("1个游戏正在下载"); }, 2000));

    m_window->Post(msg::TransferCount, PackWords(0, 0), 0);
    Deliver();
    EXPECT_FALSE(m_window->Animating());
    EXPECT_FALSE(m_window->TimerActive(CZandor_ClientDlg::TrayTimer));
    EXPECT_EQ(m_window->Tray().icon, 350);
    EXPECT_EQ(m_window->Tray().tip, QStringLiteral("Marlune"));
}

// Messages nobody handles, and window buttons or links with other values, change nothing.
TEST_F(MainWindowTest, UnknownValuesChangeNothing)
{
    Show();
    const QRect geometry = m_window->geometry();
    m_window->Post(msg::Ignored, 1, 2);
    m_window->Post(msg::WindowButton, PackWords(7, 0), 0);
    m_window->Post(msg::LinkClicked, PackWords(9, 0), 0);
    m_window->Post(msg::TrayNotify, 0, 0x0200); // mouse move over the tray icon
    m_window->Post(platform::WmUser + 999, 0, 0);
    Deliver();
    EXPECT_EQ(m_window->geometry(), geometry);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(m_window->isMinimized());
    EXPECT_FALSE(m_window->IsMaximised());
    EXPECT_TRUE(ModalRunner::Instance().History().empty());
}

// The contact box shows the address whole, on one line, and "确定" closes it.
TEST_F(MainWindowTest, ContactLinkShowsTheAddress)
{
    Show();
    int lines = 0;
    QString address;
    ModalRunner::Instance().SetShownObserver([&](QWidget* box) {
        views_test::Paint(box);
        const skin::RichText* text = skin::SkinEngine::Instance().FindRichText(QStringLiteral("msgbox.text"));
        ASSERT_NE(text, nullptr);
        lines = text->LineCount();
        address = text->LaidOutText();
        views_test::ClickAnchor(box, skin::SkinEngine::Instance().FindRichText(QStringLiteral("msgbox.ok")));
    });
    views_test::ClickAnchor(m_window.get(), m_window->Navigation().ContactLinkText());
    Deliver();
    ModalRunner::Instance().SetShownObserver(nullptr);
    ASSERT_EQ(ModalRunner::Instance().History().size(), 1u);
    EXPECT_EQ(ModalRunner::Instance().History()[0].title, QStringLiteral("联系我们"));
    EXPECT_EQ(ModalRunner::Instance().History()[0].result, ModalRunner::Ok);
    EXPECT_TRUE(address.contains(QLatin1Char('@')));
    EXPECT_EQ(lines, 1) << address.toStdString();
}

TEST_F(MainWindowTest, StatusLineShowsVersionCountAndSpeed)
{
    NavigationBar& bar = m_window->Navigation();
    EXPECT_EQ(bar.VersionText()->LaidOutText(), QStringLiteral("当前版本：2.0正式版"));
    EXPECT_EQ(bar.CountText()->LaidOutText(), QStringLiteral("0个游戏正在下载"));
    EXPECT_EQ(bar.SpeedText()->LaidOutText(), QStringLiteral("速度：0Kb/s"));
    bar.ShowStatus(NavigationBar::CountStatus, "2");
    bar.ShowStatus(NavigationBar::SpeedStatus, "135");
    bar.ShowStatus(7, "x");
    EXPECT_EQ(bar.CountText()->LaidOutText(), QStringLiteral("2个游戏正在下载"));
    EXPECT_EQ(bar.SpeedText()->LaidOutText(), QStringLiteral("速度：135Kb/s"));
    EXPECT_EQ(bar.WindowButton(NavigationBar::CloseButton)->AnchorTooltip(0), QStringLiteral("关闭"));
    EXPECT_EQ(bar.WindowButton(NavigationBar::MinimiseButton)->AnchorTooltip(0), QStringLiteral("最小化"));
}

} // namespace
