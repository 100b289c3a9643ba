// The modal runner: preloaded answers, nested runs, windows closed or destroyed while running.

#include "views/ModalRunner.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "ViewsTestSupport.h"
#include "views/MsgBox.h"

using views::ModalRunner;

namespace {

class Modal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
    }
    void TearDown() override { ModalRunner::Instance().SetShownObserver(nullptr); }
};

TEST_F(Modal, QueuedAnswersReturnAtOnceInOrder)
{
    ModalRunner& runner = ModalRunner::Instance();
    runner.QueueAnswer(2);
    runner.QueueAnswer(1);
    EXPECT_EQ(runner.QueuedAnswers(), 2);
    views::MsgBox first(QStringLiteral("Warning"),
                        QStringLiteral("请关闭设置窗体！"),
                        0,
                        views_test::Theme(),
                        views_test::Texts());
    views::MsgBox second(QStringLiteral("Marlune"),
                         QStringLiteral("解压失败！"),
                         1,
                         views_test::Theme(),
                         views_test::Texts());
    EXPECT_EQ(first.Run(), 2);
    EXPECT_FALSE(first.isVisible());
    EXPECT_EQ(second.Run(), 1);
    EXPECT_EQ(runner.QueuedAnswers(), 0);
    ASSERT_EQ(runner.History().size(), 2u);
    EXPECT_EQ(runner.History()[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(runner.History()[0].description, QStringLiteral("请关闭设置窗体！"));
    EXPECT_EQ(runner.History()[0].result, 2);
    EXPECT_TRUE(runner.History()[0].preloaded);
    EXPECT_EQ(runner.History()[1].result, 1);
}

TEST_F(Modal, ClosingTheWindowCancels)
{
    QWidget window;
    ModalRunner::Instance().SetShownObserver([](QWidget* w) { QTimer::singleShot(0, w, [w] { w->close(); }); });
    EXPECT_EQ(ModalRunner::Instance().Run(&window), ModalRunner::Cancel);
    EXPECT_FALSE(ModalRunner::Instance().IsRunning(&window));
}

TEST_F(Modal, DestroyingTheWindowCancels)
{
    auto* window = new QWidget;
    ModalRunner::Instance().SetShownObserver([](QWidget* w) { QTimer::singleShot(0, [w] { delete w; }); });
    EXPECT_EQ(ModalRunner::Instance().Run(window), ModalRunner::Cancel);
    EXPECT_EQ(ModalRunner::Instance().Current(), nullptr);
}

TEST_F(Modal, NestedRunsEndInnermostFirst)
{
    ModalRunner& runner = ModalRunner::Instance();
    QWidget outer;
    QWidget inner;
    int innerResult = 0;
    runner.SetShownObserver([&](QWidget* w) {
        if (w == &outer) {
            QTimer::singleShot(0, [&] {
                EXPECT_EQ(runner.Current(), &outer);
                innerResult = runner.Run(&inner);
                // Back in the outer run once the inner one has ended.
                EXPECT_EQ(runner.Current(), &outer);
                runner.Done(&outer, 1);
            });
        } else {
            QTimer::singleShot(0, [&] {
                EXPECT_TRUE(runner.IsRunning(&outer));
                EXPECT_EQ(runner.Current(), &inner);
                EXPECT_TRUE(runner.Done(&inner, 2));
                EXPECT_FALSE(runner.Done(&inner, 1)) << "already ended";
            });
        }
    });
    EXPECT_EQ(runner.Run(&outer), 1);
    EXPECT_EQ(innerResult, 2);
    EXPECT_FALSE(runner.Done(&outer, 1));
    EXPECT_EQ(runner.Run(nullptr), ModalRunner::Cancel);
}

// A window run over its owner blocks the owner's clicks only: another window of the program, as the
// desktop's tray icon is, still takes them (its menu is how the user quits).
TEST_F(Modal, RunOverAnOwnerLeavesTheProgramsOtherWindowsClickable)
{
    QPushButton owner(QStringLiteral("owner"));
    QPushButton tray(QStringLiteral("tray"));
    int ownerClicks = 0;
    int trayClicks = 0;
    QObject::connect(&owner, &QPushButton::clicked, [&] { ++ownerClicks; });
    QObject::connect(&tray, &QPushButton::clicked, [&] { ++trayClicks; });
    owner.show();
    tray.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner) && QTest::qWaitForWindowExposed(&tray));
    QWidget window(&owner, Qt::Window);
    ModalRunner::Instance().SetShownObserver([&](QWidget* w) {
        QTimer::singleShot(0, w, [&] {
            // Through the window system, as a user's click comes.
            for (QPushButton* button : {&owner, &tray}) {
                QTest::mouseClick(button->windowHandle(), Qt::LeftButton, {}, button->rect().center());
            }
            ModalRunner::Instance().Done(&window, ModalRunner::Ok);
        });
    });
    EXPECT_EQ(ModalRunner::Instance().Run(&window), ModalRunner::Ok);
    EXPECT_EQ(trayClicks, 1);
    EXPECT_EQ(ownerClicks, 0);
}

} // namespace
