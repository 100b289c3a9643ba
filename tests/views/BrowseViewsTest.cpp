// The browsing widgets on their own: the info screen's pictures and texts, the summary card, the
// category bar and a sub-category column, and the list panel's pages, drag, selection and batch.
// Clicks go where the skin engine drew each anchor.

#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QMouseEvent>
#include <QPainter>

#include "BrowseTestSupport.h"
#include "ViewsTestSupport.h"
#include "browse/GameId.h"
#include "platform/Messages.h"
#include "views/GameSummaryCard.h"
#include "views/InfoScreen.h"
#include "views/ListDlg.h"
#include "views/NavigationBar.h"
#include "views/SubCategoryColumn.h"

namespace {

namespace msg = platform::msg;
using browse_test::Game;
using platform::PackWords;
using views::InfoScreen;
using views::ListDlg;

std::string Shown(const skin::RichText* text)
{
    return text->LaidOutText().toStdString();
}

// --- info screen ---

class InfoScreenTest : public ::testing::Test
{
protected:
    InfoScreenTest()
        : m_screen(views_test::Theme(), m_folder.Dir(), nullptr)
    {
        m_screen.resize(500, 400);
    }

    browse_test::PictureFolder m_folder;
    InfoScreen m_screen;
};

TEST_F(InfoScreenTest, PicturesAreScaledDownToFitAndCentredWhateverTheirNameSays)
{
    m_folder.Picture("pic/small.jpg", {100, 50}, "JPG");
    m_folder.Picture("pic/wide.jpg", {1000, 400}, "JPG");
    m_folder.Picture("pic/png-named.jpg", {250, 800}, "PNG");
    m_folder.Bytes("pic/gif-named.png", browse_test::TinyGif());
    m_folder.Picture("pic/huge.jpg", {5000, 4000}, "JPG"); // ten times the screen
    m_folder.Bytes("pic/broken.jpg", std::string("\xFF\xD8\xFF\xE0") + " not a picture");
    m_folder.Bytes("pic/empty.png", "");
    ASSERT_EQ(::mkfifo((m_folder.Path() / "pic/pipe.jpg").c_str(), 0600), 0); // would block a reader
    const QSize fallback = views_test::Theme().DefaultPicture().size();
    const struct
    {
        const char* path;
        QSize shown;
        bool fallback;
    } cases[] = {
        {"pic\\small.jpg", {100, 50}, false},
        {"pic\\wide.jpg", {500, 200}, false},
        {"pic/png-named.jpg", {125, 400}, false},
        {"pic\\gif-named.png", {1, 1}, false},
        {"pic\\huge.jpg", {500, 400}, false},
        {"pic\\broken.jpg", fallback, true},
        {"pic\\empty.png", fallback, true},
        {"pic\\missing.jpg", fallback, true},
        {"pic\\pipe.jpg", fallback, true},
        {"", fallback, true},
    };
    for (const auto& c : cases) {
        m_screen.Show(InfoScreen::PictureMode, c.path);
        EXPECT_EQ(m_screen.Picture().size(), c.shown) << c.path;
        EXPECT_EQ(m_screen.ShowsDefault(), c.fallback) << c.path;
        EXPECT_EQ(m_screen.PictureOrigin(), QPoint((500 - c.shown.width()) / 2, (400 - c.shown.height()) / 2))
            << c.path;
    }
    // Drawn where it says, on the screen's colour.
    m_screen.Show(InfoScreen::PictureMode, "pic\\small.jpg");
    const QImage shot = m_screen.grab().toImage();
    EXPECT_GT(QColor(shot.pixel(250, 200)).red(), 200);
    EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(0x12, 0x14, 0x16));
}

TEST_F(InfoScreenTest, TextsAreCutAfter750Characters)
{
    const std::string exact(750, 'a');
    const struct
    {
        std::string text;
        QString shown;
    } cases[] = {
        {exact, QString(750, u'a')},
        {exact + "b", QString(750, u'a') + QStringLiteral("...")},
        {"\n\r\n开头/结尾", QStringLiteral("开头/结尾")},
        {std::string(749, 'a') + "😀x", QString(749, u'a') + QStringLiteral("😀...")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::InfoText(c.text), c.shown);
    }
    m_screen.Show(InfoScreen::TextMode, "A/B \"引号\"");
    EXPECT_EQ(m_screen.Mode(), InfoScreen::TextMode);
    EXPECT_EQ(m_screen.TextObject()->LaidOutText(), QStringLiteral("A/B \"引号\""));
}

// --- the summary card on a stand-in main window ---

// Stands in for the main window: draws what it is given, as the main window's paint does.
class Host : public QWidget
{
public:
    std::function<void(QPainter&, QWidget*)> draw;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (draw) {
            draw(painter, this);
        }
    }
};

class CardTest : public ::testing::Test
{
protected:
    CardTest()
    {
        m_host.resize(970, 630);
        m_info = new InfoScreen(views_test::Theme(), m_folder.Dir(), &m_host);
        m_info->setGeometry(145, 81, 509, 382);
        m_card = std::make_unique<views::GameSummaryCard>(views_test::Theme(),
                                                          views_test::Texts(),
                                                          &m_host,
                                                          m_recorder.Handle(),
                                                          m_info,
                                                          m_folder.Dir());
        m_host.draw = [this](QPainter& painter, QWidget* window) { m_card->Draw(painter, window); };
        m_folder.Picture("pic/7_1.jpg", {40, 30}, "JPG", Qt::red);
        m_folder.Picture("pic/7_3.jpg", {40, 30}, "JPG", Qt::blue);
        m_folder.Picture("pic/7_4.png", {40, 30}, "PNG", Qt::green);
        m_host.show();
    }
    ~CardTest() override { m_host.draw = nullptr; }

    store::GameRecord Seven(std::int32_t state = store::game_state::NotDownloaded)
    {
        store::GameRecord record = Game(7, state);
        record.name = "赛车/摩托";
        record.pictures = {"pic\\7_1.jpg", "pic\\7_2.jpg", "pic\\7_3.jpg", "pic\\7_4.png"};
        return record;
    }
    void Click(skin::RichText* text)
    {
        views_test::Paint(&m_host);
        views_test::ClickAnchor(&m_host, text);
        QCoreApplication::processEvents();
    }

    browse_test::PictureFolder m_folder;
    browse_test::Recorder m_recorder;
    Host m_host;
    InfoScreen* m_info = nullptr;
    std::unique_ptr<views::GameSummaryCard> m_card;
};

TEST_F(CardTest, ShowsTheGameItsPicturesAndTexts)
{
    m_card->ShowGame(Seven());
    views_test::Paint(&m_host);
    EXPECT_EQ(m_card->Rect(), QRect(QPoint(144, 495), QPoint(655, 590)));
    EXPECT_EQ(Shown(m_card->NameText()), "赛车/摩托");
    EXPECT_EQ(Shown(m_card->SourceText()), "Game 7") << "parentheses removed";
    EXPECT_EQ(Shown(m_card->FactsText()), "语言：中文 大小：812K 浏览量：1024");
    EXPECT_EQ(Shown(m_card->ActionButton()), "开始下载");
    // Only the pictures on disk are numbered.
    ASSERT_EQ(m_card->PictureCount(), 3);
    EXPECT_EQ(m_card->PicturePath(2), "pic\\7_3.jpg");
    EXPECT_EQ(m_info->Text(), "pic\\7_1.jpg");
    EXPECT_EQ(m_card->PictureButton(1)->LastRect().topLeft(), QPoint(164, 470));

    Click(m_card->PictureButton(3));
    EXPECT_EQ(m_info->Text(), "pic\\7_4.png");
    EXPECT_EQ(m_card->PictureButton(3)->State(), skin::RichText::StateSelected);
    EXPECT_NE(m_card->PictureButton(1)->State(), skin::RichText::StateSelected);
    Click(m_card->IntroductionButton());
    EXPECT_EQ(m_info->Mode(), InfoScreen::TextMode);
    EXPECT_EQ(m_info->Text(), "简介7");
    Click(m_card->StrategyButton());
    EXPECT_EQ(m_info->Text(), "攻略7");

    // The same game again keeps the chosen picture.
    m_card->ShowGame(Seven());
    EXPECT_EQ(m_card->CurrentPicture(), 3);

    // No picture on disk: no buttons, the default picture.
    store::GameRecord other = Game(8);
    other.pictures = {"pic\\8_1.jpg"};
    m_card->ShowGame(other);
    EXPECT_EQ(m_card->PictureCount(), 0);
    EXPECT_TRUE(m_info->ShowsDefault());
    m_card->ShowGame(store::GameRecord{});
    EXPECT_EQ(Shown(m_card->NameText()), "暂无");
    EXPECT_FALSE(m_card->ActionButton()->IsVisible());
}

TEST_F(CardTest, ActionStopProgressAndSetAction)
{
    m_card->ShowGame(Seven());
    Click(m_card->ActionButton());
    EXPECT_EQ(m_recorder.Take(msg::DownloadRequest), std::vector<platform::Param>{PackWords(7, 1)});

    // Progress for another game changes nothing; for this one the bar replaces the button.
    m_card->ShowProgress(8, views::GameSummaryCard::ProgressOn, 40);
    EXPECT_FALSE(m_card->Downloading());
    m_card->ShowProgress(7, views::GameSummaryCard::ProgressOn, 100);
    EXPECT_TRUE(m_card->Downloading());
    EXPECT_FALSE(m_card->ActionButton()->IsVisible());
    EXPECT_EQ(Shown(m_card->PercentText()), "100%");
    m_card->ShowGame(Seven());
    EXPECT_TRUE(m_card->Downloading()) << "the same game keeps its progress";
    // The fill is percent * 94 / 100 pixels wide from right - 112, over the bar's body.
    const int right = m_card->Rect().right();
    const int y = m_card->Rect().bottom() - 41 + 3;
    for (const auto& [percent, fill] : {std::pair{100, 94}, std::pair{50, 47}}) {
        m_card->ShowProgress(7, views::GameSummaryCard::ProgressOn, percent);
        const QImage shot = m_host.grab().toImage();
        const QRgb filled = shot.pixel(right - 112, y);
        EXPECT_EQ(shot.pixel(right - 112 + fill - 1, y), filled) << percent;
        EXPECT_NE(shot.pixel(right - 112 + fill, y), filled) << percent;
    }
    Click(m_card->StopButton());
    EXPECT_EQ(m_recorder.Take(msg::DownloadRequest), std::vector<platform::Param>{PackWords(7, 0)});
    EXPECT_FALSE(m_card->Downloading());
    EXPECT_EQ(Shown(m_card->ActionButton()), "开始下载");

    m_card->SetAction(8, "继续下载", views::GameSummaryCard::DownloadValue);
    EXPECT_EQ(Shown(m_card->ActionButton()), "开始下载");
    m_card->SetAction(7, "打开游戏", views::GameSummaryCard::OpenValue);
    Click(m_card->ActionButton());
    EXPECT_EQ(m_recorder.Take(msg::GameAction), std::vector<platform::Param>{PackWords(7, 1)});
    EXPECT_EQ(Shown(m_card->ActionButton()), "Loading");
}

// --- category bar and sub-category column ---

TEST(CategoryWidgets, ButtonsPostTheirChoiceOnceAndTheColumnDrawsTwelve)
{
    browse_test::Recorder recorder;
    store::Stores stores;
    for (int sub = 1; sub <= 13; ++sub) {
        browse_test::AddGame(stores, Game(100 + sub), 43, sub);
    }
    browse_test::AddGame(stores, Game(1), 99, 99);
    stores.categories.nodes["0"].name = "零"; // no message carries it: no button
    Host host;
    host.resize(970, 630);
    views::NavigationBar bar(recorder.Handle(), views_test::Theme(), views_test::Texts(), stores.settings);
    bar.FillCategories(stores.categories);
    EXPECT_EQ(bar.CategoryIds(), (std::vector<int>{43, 99}));
    views::SubCategoryColumn column(recorder.Handle(), views_test::Theme(), views_test::Texts());
    column.Fill(43, stores.categories.nodes["43"].subs);

    host.draw = [&](QPainter& painter, QWidget* window) {
        bar.Draw(painter, window);
        column.Draw(painter, window);
    };
    const auto draw = [&] {
        host.show();
        views_test::Paint(&host);
    };
    bar.SelectCategory(99);
    EXPECT_EQ(recorder.Take(msg::CategoryChosen), std::vector<platform::Param>{PackWords(99, 0)});
    draw();
    EXPECT_EQ(bar.CategoryButton(43)->LastRect().topLeft(), QPoint(140, 35));
    EXPECT_EQ(bar.CategoryButton(99)->LastRect().topLeft(), QPoint(260, 35));
    views_test::ClickAnchor(&host, bar.CategoryButton(99));
    EXPECT_TRUE(recorder.Take(msg::CategoryChosen).empty()) << "the current category again";
    views_test::ClickAnchor(&host, bar.CategoryButton(43));
    EXPECT_EQ(recorder.Take(msg::CategoryChosen), std::vector<platform::Param>{PackWords(43, 0)});

    // Showing the column reports its first sub-category; clicking it again posts nothing.
    column.ShowAll(true);
    EXPECT_EQ(recorder.Take(msg::SubCategoryChosen), std::vector<platform::Param>{PackWords(43, 1)});
    draw();
    EXPECT_EQ(column.Button(12)->LastRect().topLeft(), QPoint(25, 100 + 35 * 11));
    EXPECT_TRUE(column.Button(13)->LastRect().isEmpty()) << "only twelve are drawn";
    views_test::ClickAnchor(&host, column.Button(1));
    EXPECT_TRUE(recorder.Take(msg::SubCategoryChosen).empty());
    views_test::ClickAnchor(&host, column.Button(3));
    EXPECT_EQ(recorder.Take(msg::SubCategoryChosen), std::vector<platform::Param>{PackWords(43, 3)});
    column.ShowAll(false);
    column.ShowAll(true);
    EXPECT_EQ(recorder.Take(msg::SubCategoryChosen), std::vector<platform::Param>{PackWords(43, 3)})
        << "shown again: its last choice";

    bar.SetOnlineLocal(views::NavigationBar::OnlineTab, true, 12);
    EXPECT_EQ(Shown(bar.TabButton(views::NavigationBar::OnlineTab)), "在线游戏搜索(12)");
    EXPECT_EQ(Shown(bar.TabButton(views::NavigationBar::LocalTab)), "本地游戏(0)");
    draw();
    views_test::ClickAnchor(&host, bar.TabButton(views::NavigationBar::LocalTab));
    EXPECT_EQ(recorder.Take(msg::TabChosen), std::vector<platform::Param>{PackWords(1, 0)});
    EXPECT_EQ(bar.CurrentTab(), views::NavigationBar::LocalTab);
    host.draw = nullptr;
}

// --- the list panel ---

class ListTest : public ::testing::Test
{
protected:
    ListTest()
    {
        m_list = std::make_unique<ListDlg>(m_stores,
                                           views_test::Theme(),
                                           views_test::Texts(),
                                           m_folder.Dir(),
                                           m_recorder.Handle(),
                                           nullptr);
        m_list->resize(290, 430);
    }

    // count online games 1..count in 42/19, shown from page 0.
    void Fill(int count, std::int32_t state = store::game_state::NotDownloaded)
    {
        for (int id = 1; id <= count; ++id) {
            browse_test::AddGame(m_stores, Game(id, state), 42, 19);
        }
        browse::ListView view{42, 19, state == store::game_state::Downloaded, 0, false, {}};
        m_list->Fill(view);
        m_list->show();
        views_test::Paint(m_list.get());
        Settle();
    }
    // Lets an animated page turn end and paints.
    void Settle()
    {
        while (m_list->Panel()->StepAnimation()) {
        }
        m_list->repaint();
        m_list->Panel()->Canvas()->repaint();
        QCoreApplication::processEvents();
    }
    void Click(const skin::RichText* text)
    {
        Settle();
        views_test::ClickAnchor(m_list.get(), text);
        Settle();
    }
    std::vector<std::string> Buttons() const
    {
        std::vector<std::string> shown;
        for (int k = 0; k < 5; ++k) {
            const skin::RichText* button = m_list->PageButton(k);
            if (button->IsVisible()) {
                shown.push_back(Shown(button) + (button->State() == skin::RichText::StateSelected ? "*" : ""));
            }
        }
        return shown;
    }
    skin::RichText* ButtonShowing(const std::string& page) const
    {
        for (int k = 0; k < 5; ++k) {
            if (Shown(m_list->PageButton(k)) == page) {
                return m_list->PageButton(k);
            }
        }
        return nullptr;
    }

    browse_test::PictureFolder m_folder;
    browse_test::Recorder m_recorder;
    store::Stores m_stores;
    std::unique_ptr<ListDlg> m_list;
};

TEST_F(ListTest, PageButtonsForOneToFivePages)
{
    const struct
    {
        int games;
        std::vector<std::string> buttons;
        const char* totals;
    } cases[] = {
        {1, {"1*"}, "共1页 共1款"},
        {13, {"1*", "2", "3"}, "共3页 共13款"},
        {30, {"1*", "2", "3", "4", "5"}, "共5页 共30款"},
    };
    for (const auto& c : cases) {
        m_stores = store::Stores{};
        Fill(c.games);
        EXPECT_EQ(Buttons(), c.buttons) << c.games;
        EXPECT_EQ(Shown(m_list->TotalsText()), c.totals);
        EXPECT_EQ(m_recorder.Take(msg::GameChosen), std::vector<platform::Param>{PackWords(1, 0)})
            << "the first game of the page goes to the card";
    }
}

TEST_F(ListTest, SixOrMorePagesSlideTheButtonsAndTurnByClicks)
{
    Fill(60); // ten pages of six
    EXPECT_EQ(m_list->BuiltPages(), 2) << "cells for the page shown and the next one, not beyond";
    EXPECT_EQ(m_list->PageButton(0)->LastRect().topLeft(), QPoint(71, 410));
    m_recorder.Take(msg::GameChosen);
    Click(m_list->PreviousButton());
    EXPECT_EQ(m_list->List().CurrentPage(), 0) << "no page before the first";
    for (int i = 0; i < 3; ++i) {
        Click(m_list->NextButton());
    }
    EXPECT_EQ(m_list->List().CurrentPage(), 3);
    EXPECT_EQ(Buttons(), (std::vector<std::string>{"2", "3", "4*", "5", "6"}));
    EXPECT_EQ(m_list->Panel()->ShownOrigin(), QPoint(-290 * 3, 0));
    EXPECT_EQ(m_recorder.Take(msg::GameChosen),
              (std::vector<platform::Param>{PackWords(7, 0), PackWords(13, 0), PackWords(19, 0)}));

    Click(ButtonShowing("6"));
    EXPECT_EQ(Buttons(), (std::vector<std::string>{"4", "5", "6*", "7", "8"}));
    EXPECT_EQ(m_list->Panel()->ShownOrigin(), QPoint(-290 * 5, 0)) << "a page button jumps";
    Click(ButtonShowing("8"));
    Click(ButtonShowing("10"));
    EXPECT_EQ(Buttons(), (std::vector<std::string>{"6", "7", "8", "9", "10*"}));
    Click(m_list->NextButton());
    EXPECT_EQ(m_list->List().CurrentPage(), 9) << "no page after the last";

    // The cells of the page shown are live; clicking a frame sends its game to the card.
    m_recorder.Take(msg::GameChosen);
    const ListDlg::Cell* cell = m_list->CellAt(9, 3);
    ASSERT_NE(cell, nullptr);
    Click(cell->frame.get());
    EXPECT_EQ(m_recorder.Take(msg::GameChosen), std::vector<platform::Param>{PackWords(58, 0)});
}

TEST_F(ListTest, RightDragOfMoreThanFivePixelsTurnsThePage)
{
    Fill(30);
    const struct
    {
        int dx;
        int page;
    } cases[] = {{5, 1}, {-5, 1}, {6, 0}, {-6, 2}, {0, 1}};
    for (const auto& c : cases) {
        m_list->GoToPage(1);
        Settle();
        const QPoint from(150, 200);
        QTest::mousePress(m_list.get(), Qt::RightButton, {}, from);
        QTest::mouseMove(m_list.get(), from + QPoint(c.dx, 0));
        QTest::mouseRelease(m_list.get(), Qt::RightButton, {}, from + QPoint(c.dx, 0));
        Settle();
        EXPECT_EQ(m_list->List().CurrentPage(), c.page) << c.dx;
    }
}

TEST_F(ListTest, BatchDownloadPostsOneRequestPerSelectedCellOfTheCurrentPage)
{
    Fill(13);
    Click(m_list->BatchButton());
    EXPECT_TRUE(m_recorder.Take(msg::DownloadRequest).empty()) << "nothing selected";
    for (int position : {0, 3, 5, 3}) { // 3 twice: selected, then not
        Click(m_list->CellAt(0, position)->label.get());
    }
    EXPECT_EQ(m_list->CellAt(0, 0)->label->State(), skin::RichText::StateSelected);
    EXPECT_FALSE(m_list->CellAt(0, 3)->selected);
    Click(m_list->NextButton());
    Click(m_list->CellAt(1, 1)->label.get());
    Click(m_list->PreviousButton());
    m_recorder.Take(msg::DownloadRequest);
    Click(m_list->BatchButton());
    EXPECT_EQ(m_recorder.Take(msg::DownloadRequest), (std::vector<platform::Param>{PackWords(1, 1), PackWords(6, 1)}));
}

TEST_F(ListTest, BatchDeleteInTheLocalViewMovesTheSelectedGamesToTheRecycleBin)
{
    Fill(4, store::game_state::Downloaded);
    EXPECT_EQ(Shown(m_list->BatchButton()), "删除已选");
    const int first = m_list->CellAt(0, 0)->id;
    const int second = m_list->CellAt(0, 2)->id;
    Click(m_list->CellAt(0, 0)->label.get());
    Click(m_list->CellAt(0, 2)->label.get());
    m_recorder.Take(msg::GameAction);
    Click(m_list->BatchButton());
    EXPECT_EQ(m_stores.catalogue.at(std::to_string(first)).state, store::game_state::Recycled);
    EXPECT_EQ(m_stores.catalogue.at(std::to_string(second)).state, store::game_state::Recycled);
    EXPECT_EQ(m_list->GameCount(), 2);
    EXPECT_FALSE(m_list->Contains(first));
    EXPECT_EQ(m_recorder.Take(msg::GameAction), std::vector<platform::Param>{PackWords(0, 5)});
}

TEST_F(ListTest, BadIconsAndNamesStillMakeClickableCells)
{
    m_folder.Picture("ico/1.png", {64, 64}, "JPG"); // a JPEG named .png
    m_folder.Bytes("ico/2.png", "GIF89a broken");
    m_folder.Bytes("ico/3.png", browse_test::TinyGif());
    m_folder.Picture("ico/4.png", {4000, 3000}, "JPG");
    // ico/5.png is missing.
    for (int id = 1; id <= 6; ++id) {
        store::GameRecord record = Game(id);
        if (id == 5) {
            record.name = "赛车/摩托//飞行";
            record.srcname.clear();
        }
        if (id == 6) {
            record.name = std::string(300, 'W');
        }
        browse_test::AddGame(m_stores, record, 42, 19);
    }
    Fill(0);
    EXPECT_EQ(m_list->CellAt(0, 0)->picture->Image().size(), QSize(120, 90));
    EXPECT_TRUE(m_list->CellAt(0, 1)->picture->IsNull());
    EXPECT_EQ(m_list->CellAt(0, 2)->picture->Image().size(), QSize(120, 90));
    EXPECT_EQ(m_list->CellAt(0, 3)->picture->Image().size(), QSize(120, 90));
    EXPECT_TRUE(m_list->CellAt(0, 4)->picture->IsNull());
    EXPECT_EQ(Shown(m_list->CellAt(0, 4)->label.get()), "赛车/摩托//飞行");
    const QString longName = m_list->CellAt(0, 5)->label->LaidOutText();
    EXPECT_TRUE(longName.endsWith(QStringLiteral("..."))) << longName.toStdString();
    EXPECT_LE(m_list->CellAt(0, 5)->label->Size().width(), 110);
    m_recorder.Take(msg::GameChosen);
    for (int position = 0; position < 6; ++position) {
        Click(m_list->CellAt(0, position)->frame.get());
    }
    EXPECT_EQ(m_recorder.Take(msg::GameChosen),
              (std::vector<platform::Param>{PackWords(1, 0),
                                            PackWords(2, 0),
                                            PackWords(3, 0),
                                            PackWords(4, 0),
                                            PackWords(5, 0),
                                            PackWords(6, 0)}));
}

} // namespace
