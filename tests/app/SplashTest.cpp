// The Qt side of the message plumbing, and the loading splash: the stage and failure texts, the
// counts of stage 24, and closing on the last stage whatever its flag.

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "app/LoadingDlg.h"
#include "platform/Messages.h"
#include "views/MessageWindow.h"
#include "views/ModalRunner.h"
#include "views/ViewsTestSupport.h"

using app::LoadingDlg;
using platform::PackWords;

namespace {

namespace msg = platform::msg;

class Recorder final : public views::MessageWindow
{
public:
    std::vector<platform::Message> received;

protected:
    void OnMessage(const platform::Message& message) override { received.push_back(message); }
};

// Posts from several threads all arrive on the GUI thread, each thread's in its own order.
TEST(MessageWindow, PostsFromThreadsArriveInOrderOnTheGuiThread)
{
    Recorder window;
    constexpr int Threads = 4;
    constexpr int PerThread = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < Threads; ++t) {
        posters.emplace_back([&window, t] {
            for (int i = 0; i < PerThread; ++i) {
                EXPECT_TRUE(window.Post(msg::Progress, PackWords(t, i), 0));
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.received.size() == Threads * PerThread; }, 5000));
    std::vector<int> next(Threads, 0);
    for (const platform::Message& message : window.received) {
        const int t = static_cast<int>(platform::HiWord(message.wParam));
        EXPECT_EQ(static_cast<int>(platform::LoWord(message.wParam)), next[t]++);
    }
}

// A window that is gone receives nothing, and the posts queued for it die with it.
TEST(MessageWindow, DestroyedWindowDropsPosts)
{
    auto* window = new Recorder();
    const platform::WindowHandle handle = window->Handle();
    EXPECT_TRUE(platform::IsWindow(handle));
    EXPECT_TRUE(platform::PostMessageTo(handle, msg::Progress, 1, 2));
    delete window;
    EXPECT_FALSE(platform::IsWindow(handle));
    EXPECT_FALSE(platform::PostMessageTo(handle, msg::Progress, 1, 2));
    QCoreApplication::processEvents(); // the queued event must not reach freed memory
}

struct Report
{
    const char* name;
    std::uint32_t stage;
    std::uint32_t flag;
    std::uint32_t lParam;
    const char* shown; // nullptr: the text before stays
};

void PrintTo(const Report& report, std::ostream* os)
{
    *os << report.name;
}

class SplashReport : public ::testing::TestWithParam<Report>
{};

TEST_P(SplashReport, ShowsItsText)
{
    const Report& report = GetParam();
    LoadingDlg splash(views_test::Theme(), nullptr);
    EXPECT_EQ(splash.StatusText(), QStringLiteral("Wait loading"));
    splash.Post(msg::SplashStage, PackWords(11, 0), 0);
    splash.Post(msg::SplashStage, PackWords(report.stage, report.flag), report.lParam);
    QCoreApplication::processEvents();
    const QString expected = report.shown != nullptr ? QString::fromUtf8(report.shown) : QStringLiteral("准备加载数据");
    EXPECT_EQ(splash.StatusText(), expected);
    EXPECT_FALSE(splash.LoaderFinished());
}

INSTANTIATE_TEST_SUITE_P(
    Stages,
    SplashReport,
    ::testing::Values(Report{"progress", 21, 0, 0, "正在下载更新列表"},
                      Report{"skin_stage_never_posted", 3, 0, 0, "正在加载主界面皮肤"},
                      Report{"pictures_with_counts", 24, 0, PackWords(5, 2), "正在下载最新游戏图片5:2"},
                      Report{"pictures_without_counts", 24, 0, 0, "正在下载最新游戏图片0:0"},
                      Report{"failure_with_text", 13, 1, 0, "载入数据文件失败"},
                      Report{"details_failure", 14, 1, 0, "加载游戏详细信息失败"},
                      Report{"failure_without_text", 21, 1, 0, nullptr},
                      Report{"unknown_stage", 99, 0, 0, nullptr},
                      Report{"unknown_flag", 21, 2, 0, nullptr}),
    [](const ::testing::TestParamInfo<Report>& info) { return std::string(info.param.name); });

TEST(Splash, LastStageClosesWhateverItsFlagAndStartsTheLoaderWithItsHandle)
{
    for (const std::uint32_t flag : {0u, 1u, 7u}) {
        platform::WindowHandle given = 0;
        std::thread loader;
        LoadingDlg splash(views_test::Theme(), [&](platform::WindowHandle handle) {
            given = handle;
            loader = std::thread([handle, flag] {
                platform::PostMessageTo(handle, msg::SplashStage, PackWords(1, 0), 0);
                platform::PostMessageTo(handle, msg::SplashStage, PackWords(31, 0), 0);
                platform::PostMessageTo(handle, msg::SplashStage, PackWords(100, flag), 0);
            });
        });
        EXPECT_EQ(splash.Run(), views::ModalRunner::Ok);
        loader.join();
        EXPECT_EQ(given, splash.Handle());
        EXPECT_TRUE(splash.LoaderFinished());
        EXPECT_FALSE(splash.isVisible());
        ASSERT_EQ(splash.History().size(), 2u);
        EXPECT_EQ(splash.History()[0].stage, 1);
        EXPECT_EQ(splash.History()[1].text, QStringLiteral("正在加载设置"));
    }
}

TEST(Splash, TakesTheSplashPictureSizeAndMovesWhenDragged)
{
    LoadingDlg splash(views_test::Theme(), nullptr);
    splash.show();
    views_test::Paint(&splash);
    const skin::SkinPicture* picture = views_test::Theme().SplashPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(splash.size(), QSize(picture->Width(), picture->Height()));
    const QRect status = splash.StatusObject()->LastRect();
    EXPECT_EQ(status.topLeft(), QPoint(30, splash.height() / 2 + 30));

    const QPoint before = splash.pos();
    QTest::mousePress(&splash, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&splash, QPoint(60, 40));
    QTest::mouseRelease(&splash, Qt::LeftButton, {}, QPoint(60, 40));
    EXPECT_EQ(splash.pos(), before + QPoint(50, 30));
}

// With no window manager to place it, the splash still opens in the middle of the screen.
TEST(Splash, OpensInTheMiddleOfTheScreen)
{
    LoadingDlg splash(views_test::Theme(), nullptr);
    QRect shownAt;
    views::ModalRunner::Instance().SetShownObserver([&](QWidget* window) {
        shownAt = window->frameGeometry();
        views::ModalRunner::Instance().Done(window, views::ModalRunner::Ok);
    });
    splash.Run();
    views::ModalRunner::Instance().SetShownObserver(nullptr);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(shownAt.width(), area.width());
    EXPECT_LE((shownAt.center() - area.center()).manhattanLength(), 2) << "at " << shownAt.x() << "," << shownAt.y();
}

} // namespace
