// Browsing in the main window as a user does it: the start on the day's newest games, categories,
// sub-categories, pages, a game in the card and the info screen, the tab counts and the search.
// Every click lands where the skin engine drew its anchor.

#include <gtest/gtest.h>

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"
#include "store/Stores.h"
#include "views/BrowseTestSupport.h"
#include "views/GameSummaryCard.h"
#include "views/InfoScreen.h"
#include "views/ListDlg.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"
#include "views/NavigationBar.h"
#include "views/SubCategoryColumn.h"
#include "views/ViewsTestSupport.h"

using app::CZandor_ClientDlg;
using browse_test::AddGame;
using browse_test::Game;
using views::ModalRunner;
using views::NavigationBar;

namespace {

namespace state = store::game_state;

std::string Shown(const skin::RichText* text)
{
    return text->LaidOutText().toStdString();
}

class BrowseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
    }
    void TearDown() override
    {
        m_window.reset();
        ModalRunner::Instance().SetShownObserver(nullptr);
    }

    // The day's newest: 201-208. 全部游戏 (42): 体育竞速 (19) 1-13, 飞行射击 (20) 14-16.
    // 专题游戏 (43): 祖玛游戏 (29) twelve 祖玛 games 301-312. Downloaded: 401-403; recycled: 404.
    void Catalogue()
    {
        for (int id = 201; id <= 208; ++id) {
            AddGame(m_stores, Game(id), 99, 99);
        }
        m_stores.categories.nodes["99"].name = "每日最新";
        m_stores.categories.nodes["99"].subs["99"].name = "每日最新";
        for (int id = 1; id <= 16; ++id) {
            AddGame(m_stores, Game(id), 42, id <= 13 ? 19 : 20);
        }
        store::GameRecord nine = Game(9);
        nine.pictures = {"pic\\9_1.jpg", "pic\\9_2.png", "pic\\9_3.gif"};
        AddGame(m_stores, nine, 42, 19);
        m_folder.Picture("pic/9_1.jpg", {100, 80}, "JPG");
        m_folder.Picture("pic/9_2.png", {300, 200}, "PNG");
        m_folder.Bytes("pic/9_3.gif", browse_test::TinyGif());
        for (int id = 301; id <= 312; ++id) {
            store::GameRecord record = Game(id);
            record.name = "祖玛" + std::to_string(id);
            AddGame(m_stores, record, 43, 29);
        }
        for (int id = 401; id <= 403; ++id) {
            m_stores.catalogue[std::to_string(id)] = Game(id, state::Downloaded);
        }
        AddGame(m_stores, Game(404, state::Recycled), 42, 19);
        AddGame(m_stores, Game(405, state::Downloaded), 42, 19);
    }
    void Open()
    {
        m_window =
            std::make_unique<CZandor_ClientDlg>(views_test::Theme(), views_test::Texts(), m_stores, m_folder.Dir());
        m_window->show();
        Settle();
    }
    // Delivers what was posted, lets page turns end and paints everything.
    void Settle()
    {
        // A message may post the next (a category posts its sub-category, which fills the list,
        // which sends its first game to the card once the page is in place): deliver a few rounds.
        for (int i = 0; i < 8; ++i) {
            QCoreApplication::processEvents();
            while (m_window->ListPanel().Panel()->StepAnimation()) {
            }
        }
        views_test::Paint(m_window.get());
        m_window->ListPanel().Panel()->Canvas()->repaint();
    }
    void Click(const skin::RichText* text)
    {
        ASSERT_NE(text, nullptr);
        Settle();
        views_test::ClickAnchor(m_window.get(), text);
        Settle();
    }
    void ClickInList(const skin::RichText* text)
    {
        ASSERT_NE(text, nullptr);
        Settle();
        views_test::ClickAnchor(&m_window->ListPanel(), text);
        Settle();
    }
    // Types into the search box as an input method commits Chinese text.
    void Type(const QString& text)
    {
        m_window->SearchBox()->clear();
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(m_window->SearchBox(), &commit);
    }
    void SearchFor(const QString& keyword)
    {
        Type(keyword);
        Click(m_window->SearchButton());
    }
    std::string Tab(int tab) const { return Shown(m_window->Navigation().TabButton(tab)); }
    std::string Totals() const { return Shown(m_window->ListPanel().TotalsText()); }

    browse_test::PictureFolder m_folder;
    store::Stores m_stores;
    std::unique_ptr<CZandor_ClientDlg> m_window;
};

TEST_F(BrowseTest, FirstStepsOfTheRoadOfOneGame)
{
    Catalogue();
    Open();
    // The start shows the day's newest games and the first of them in the card.
    EXPECT_EQ(m_window->NavigationState().Category(), 99);
    EXPECT_EQ(m_window->Navigation().CurrentCategory(), 99);
    ASSERT_NE(m_window->Column(99), nullptr);
    EXPECT_TRUE(m_window->Column(99)->Shown());
    EXPECT_EQ(m_window->ListPanel().GameCount(), 8);
    EXPECT_EQ(Totals(), "共2页 共8款");
    EXPECT_EQ(m_window->Card().GameId(), 201);
    EXPECT_EQ(Tab(0), "在线游戏(8)");

    // A category shows its column, whose first sub-category fills the list.
    Click(m_window->Navigation().CategoryButton(42));
    EXPECT_FALSE(m_window->Column(99)->Shown());
    EXPECT_TRUE(m_window->Column(42)->Shown());
    EXPECT_EQ(m_window->NavigationState().SubCategory(), 19);
    EXPECT_EQ(m_window->ListPanel().GameCount(), 13);
    Click(m_window->Column(42)->Button(20));
    EXPECT_EQ(m_window->ListPanel().GameCount(), 3);
    EXPECT_EQ(m_window->Card().GameId(), 14);
    Click(m_window->Column(42)->Button(19));
    EXPECT_EQ(Tab(0), "在线游戏(13)");

    // Page on, choose a game: the card and the info screen show it.
    ClickInList(m_window->ListPanel().NextButton());
    EXPECT_EQ(m_window->ListPanel().List().CurrentPage(), 1);
    EXPECT_EQ(m_window->Card().GameId(), 7);
    ClickInList(m_window->ListPanel().CellAt(1, 2)->frame.get());
    EXPECT_EQ(m_window->NavigationState().DetailGame(), 9);
    EXPECT_EQ(Shown(m_window->Card().NameText()), "游戏9");
    EXPECT_EQ(m_window->Card().PictureCount(), 3);
    EXPECT_EQ(m_window->Info().Text(), "pic\\9_1.jpg");
    EXPECT_EQ(m_window->Info().Picture().size(), QSize(100, 80));

    // Picture buttons switch pictures; introduction and strategy show text.
    Click(m_window->Card().PictureButton(2));
    EXPECT_EQ(m_window->Info().Text(), "pic\\9_2.png");
    EXPECT_EQ(m_window->Info().Picture().size(), QSize(300, 200));
    Click(m_window->Card().PictureButton(3));
    EXPECT_FALSE(m_window->Info().ShowsDefault()) << "a GIF";
    Click(m_window->Card().IntroductionButton());
    EXPECT_EQ(m_window->Info().Mode(), views::InfoScreen::TextMode);
    EXPECT_EQ(Shown(m_window->Info().TextObject()), "简介9");
    Click(m_window->Card().StrategyButton());
    EXPECT_EQ(Shown(m_window->Info().TextObject()), "攻略9");

    // The list keeps its page when the window is shown again; page keys turn pages.
    QTest::keyClick(m_window->SearchBox(), Qt::Key_PageDown);
    Settle();
    EXPECT_EQ(m_window->ListPanel().List().CurrentPage(), 2);
}

TEST_F(BrowseTest, CountsLeaveRecycledGamesOutAndCountLocalGamesEverywhere)
{
    Catalogue();
    Open();
    Click(m_window->Navigation().CategoryButton(42));
    // 1-13 online; 404 recycled counts nowhere; 405 downloaded is local, with 401-403 outside any category.
    EXPECT_EQ(Tab(0), "在线游戏(13)");
    EXPECT_EQ(Tab(1), "本地游戏(4)");
    Click(m_window->Navigation().TabButton(NavigationBar::LocalTab));
    EXPECT_FALSE(m_window->NavigationState().Online());
    EXPECT_EQ(m_window->ListPanel().GameCount(), 4);
    EXPECT_FALSE(m_window->ListPanel().Contains(404));
    EXPECT_EQ(Shown(m_window->ListPanel().BatchButton()), "删除已选");
}

TEST_F(BrowseTest, SearchCaptionsAndItsMessages)
{
    Catalogue();
    Open();
    SearchFor(QStringLiteral("祖玛"));
    EXPECT_EQ(Tab(0), "在线游戏搜索(12)");
    EXPECT_EQ(Totals(), "共2页 共12款");
    EXPECT_EQ(m_window->NavigationState().Category(), 99) << "the navigation stays";
    // The next tab choice brings the plain captions back.
    Click(m_window->Navigation().TabButton(NavigationBar::LocalTab));
    EXPECT_EQ(Tab(0), "在线游戏(8)");
    EXPECT_EQ(Tab(1), "本地游戏(4)");

    // Searching the local view: its tab carries the result.
    SearchFor(QStringLiteral("游戏40"));
    EXPECT_EQ(Tab(1), "本地游戏搜索(4)");
    EXPECT_EQ(Tab(0), "在线游戏(8)");

    // Nothing found: no page, no game, the card empty.
    Click(m_window->Navigation().TabButton(NavigationBar::OnlineTab));
    Type(QStringLiteral("不存在的游戏"));
    QTest::keyClick(m_window->SearchBox(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Totals(), "共0页 共0款");
    EXPECT_EQ(Tab(0), "在线游戏搜索(0)");
    EXPECT_EQ(m_window->Card().GameId(), 0);
    EXPECT_EQ(Shown(m_window->Card().NameText()), "暂无");

    // An empty search asks for a keyword; the box is answered with its button.
    ModalRunner::Instance().SetShownObserver([](QWidget* window) {
        auto* box = dynamic_cast<views::MsgBox*>(window);
        ASSERT_NE(box, nullptr);
        views_test::Paint(box);
        views_test::ClickAnchor(box, box->FirstButton());
    });
    SearchFor(QString());
    ASSERT_EQ(ModalRunner::Instance().History().size(), 1u);
    EXPECT_EQ(ModalRunner::Instance().History()[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(ModalRunner::Instance().History()[0].description, QStringLiteral("请输入搜索关键词！"));
    EXPECT_EQ(ModalRunner::Instance().History()[0].result, ModalRunner::Ok);
    EXPECT_EQ(Totals(), "共0页 共0款") << "the list stays";
}

TEST_F(BrowseTest, AnEmptyCategoryTreeOpensOnAnEmptyList)
{
    m_stores.catalogue["1"] = Game(1);
    Open();
    EXPECT_TRUE(m_window->Navigation().CategoryIds().empty());
    EXPECT_EQ(m_window->Column(99), nullptr);
    EXPECT_EQ(m_window->NavigationState().Category(), 99);
    EXPECT_EQ(m_window->ListPanel().GameCount(), 0);
    EXPECT_EQ(Totals(), "共0页 共0款");
    EXPECT_EQ(Tab(0), "在线游戏(0)") << "the counts are never set";
    Click(m_window->Navigation().TabButton(NavigationBar::LocalTab));
    EXPECT_EQ(m_window->ListPanel().GameCount(), 0);
    SearchFor(QStringLiteral("游戏"));
    EXPECT_EQ(m_window->ListPanel().GameCount(), 0) << "the local view has no downloaded game";
}

} // namespace
