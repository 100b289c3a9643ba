// The download manager and the settings window on their own, run modally and clicked where the
// skin engine drew each anchor: the frame and its tabs, the downloaded and recycle-bin pages
// (pages, selection, batch, restore, delete for good, the folder link), the downloading page's
// header, and the settings window's validation, tabs and autostart entry.

#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QUrl>

#include "BrowseTestSupport.h"
#include "ViewsTestSupport.h"
#include "platform/Messages.h"
#include "store/Autostart.h"
#include "views/CheckDetialDlg.h"
#include "views/DownedDlg.h"
#include "views/DowningDlg.h"
#include "views/GameSetDlg.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"

namespace {

namespace fs = std::filesystem;
namespace msg = platform::msg;
namespace st = store::game_state;
using browse_test::Game;
using platform::PackWords;
using views::CheckDetialDlg;
using views::DownedDlg;
using views::ModalRunner;

std::string Shown(const skin::RichText* text)
{
    return text->LaidOutText().toStdString();
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Receives the URLs the desktop is asked to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    std::vector<QUrl> urls;
public Q_SLOTS:
    void Open(const QUrl& url) { urls.push_back(url); }
};

// Runs a modal window and acts inside it once it is shown; message boxes opened meanwhile are
// answered by clicking their "确定", and their texts kept.
class ModalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
    }
    void TearDown() override { ModalRunner::Instance().SetShownObserver(nullptr); }

    template <typename Window>
    int RunWith(Window& window, const std::function<void(Window&)>& act)
    {
        ModalRunner::Instance().SetShownObserver([this, &window, act](QWidget* shown) {
            if (auto* box = dynamic_cast<views::MsgBox*>(shown)) {
                boxes.push_back(box->TextObject()->LaidOutText().remove(u'\n').toStdString());
                views_test::Paint(box);
                views_test::ClickAnchor(box, box->FirstButton());
                return;
            }
            views_test::Paint(&window);
            act(window);
        });
        return window.Run();
    }

    std::vector<std::string> boxes;
};

// --- the download manager ---

class ManagerTest : public ModalTest
{
protected:
    void Games(int first, int last, std::int32_t state)
    {
        for (int id = first; id <= last; ++id) {
            m_stores.catalogue[std::to_string(id)] = Game(id, state);
        }
    }
    void Open()
    {
        m_manager = std::make_unique<CheckDetialDlg>(m_stores,
                                                     views_test::Theme(),
                                                     views_test::Texts(),
                                                     m_folder.Dir(),
                                                     m_main.Handle(),
                                                     nullptr);
    }
    void Settle(CheckDetialDlg& manager)
    {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::processEvents();
        }
        for (DownedDlg* page : {&manager.Downed(), &manager.Recycle()}) {
            while (page->Panel()->StepAnimation()) {
            }
        }
        QCoreApplication::processEvents();
        manager.repaint();
        for (DownedDlg* page : {&manager.Downed(), &manager.Recycle()}) {
            if (page->isVisible()) {
                page->repaint();
                page->Panel()->Canvas()->repaint();
            }
        }
    }
    void Click(CheckDetialDlg& manager, QWidget* window, const skin::RichText* text)
    {
        ASSERT_NE(text, nullptr);
        Settle(manager);
        views_test::ClickAnchor(window, text);
        Settle(manager);
    }
    std::vector<std::string> PageButtons(const DownedDlg& page) const
    {
        std::vector<std::string> shown;
        for (int k = 0; k < 5; ++k) {
            if (page.PageButton(k)->IsVisible()) {
                shown.push_back(Shown(page.PageButton(k)));
            }
        }
        return shown;
    }
    std::vector<int> RowIds(const DownedDlg& page) const
    {
        std::vector<int> ids;
        for (int k = 0; k < 10; ++k) {
            if (const DownedDlg::Row* row = page.RowAt(page.List().CurrentPage(), k)) {
                ids.push_back(row->id);
            }
        }
        return ids;
    }

    browse_test::PictureFolder m_folder;
    browse_test::Recorder m_main;
    store::Stores m_stores;
    std::unique_ptr<CheckDetialDlg> m_manager;
};

TEST_F(ManagerTest, FrameTabsCountsAndClose)
{
    Games(1, 11, st::Downloaded);
    Games(20, 20, st::Recycled);
    Open();
    const QPoint start = m_manager->pos();
    const int result = RunWith<CheckDetialDlg>(*m_manager, [&](CheckDetialDlg& manager) {
        EXPECT_EQ(manager.size(), QSize(640, 430));
        EXPECT_FALSE(manager.mask().contains(QPoint(0, 0))) << "rounded top corners";
        EXPECT_TRUE(manager.mask().contains(QPoint(0, 429))) << "square bottom corners";
        EXPECT_EQ(manager.Downing().geometry(), QRect(117, 25, 519, 400));
        EXPECT_EQ(Shown(manager.TabLabel(1)), "正在下载(0)");
        EXPECT_EQ(Shown(manager.TabLabel(2)), "已下载(11)");
        EXPECT_EQ(Shown(manager.TabLabel(3)), "垃圾箱(1)");
        EXPECT_EQ(m_main.Take(msg::WantProgress), std::vector<platform::Param>{manager.Downing().Handle()})
            << "the downloading page asks for the direct report";
        EXPECT_TRUE(manager.Downing().isVisible());

        Click(manager, &manager, manager.TabButton(2));
        EXPECT_TRUE(manager.Downed().isVisible());
        EXPECT_FALSE(manager.Downing().isVisible());
        Click(manager, &manager, manager.TabButton(2));
        EXPECT_EQ(manager.ShownTab(), 2) << "the tab shown again changes nothing";
        // Kind 5 refills only pages 3 and 4; other kinds and values change nothing.
        Games(30, 30, st::Downloaded);
        for (const platform::Param w : {PackWords(5, 7), PackWords(1, 9), PackWords(6, 3)}) {
            manager.Post(msg::ManagerDownloaded, w, 0);
        }
        Settle(manager);
        EXPECT_EQ(manager.Downed().List().GameCount(), 11);
        EXPECT_EQ(Shown(manager.TabLabel(2)), "已下载(11)");
        manager.Post(msg::ManagerDownloaded, PackWords(5, 3), 0);
        Settle(manager);
        EXPECT_EQ(Shown(manager.TabLabel(2)), "已下载(12)");

        // A drag from a free point moves the window.
        const QPoint free(300, 12);
        QTest::mousePress(&manager, Qt::LeftButton, {}, free);
        QTest::mouseMove(&manager, free + QPoint(40, 30));
        QTest::mouseRelease(&manager, Qt::LeftButton, {}, free + QPoint(40, 30));
        EXPECT_EQ(manager.pos(), start + QPoint(40, 30));
        Click(manager, &manager, manager.CloseButton());
    });
    EXPECT_EQ(result, ModalRunner::Cancel);
    EXPECT_FALSE(m_manager->isVisible());
}

TEST_F(ManagerTest, PagesOfTenButtonsThatComeBackAndTheRightDrag)
{
    Games(1, 10, st::Downloaded);
    Open();
    RunWith<CheckDetialDlg>(*m_manager, [&](CheckDetialDlg& manager) {
        DownedDlg& page = manager.Downed();
        Click(manager, &manager, manager.TabButton(2));
        EXPECT_EQ(page.List().PageCount(), 1) << "ten games make one page";
        EXPECT_EQ(PageButtons(page), std::vector<std::string>{"1"});
        Games(11, 11, st::Downloaded);
        page.Fill(false);
        Settle(manager);
        EXPECT_EQ(PageButtons(page), (std::vector<std::string>{"1", "2"})) << "eleven two";
        EXPECT_EQ(Shown(page.CountText()), "11");

        Click(manager, &page, page.NextButton());
        EXPECT_EQ(page.List().CurrentPage(), 1);
        EXPECT_EQ(RowIds(page), std::vector<int>{11});
        EXPECT_EQ(page.Panel()->ShownOrigin().x(), -519);
        Click(manager, &page, page.PageButton(0));
        EXPECT_EQ(page.List().CurrentPage(), 0);
        for (const auto& [dx, expected] : {std::pair{-6, 1}, std::pair{-6, 1}, std::pair{5, 1}, std::pair{6, 0}}) {
            const QPoint from(250, 200);
            QTest::mousePress(&page, Qt::RightButton, {}, from);
            QTest::mouseRelease(&page, Qt::RightButton, {}, from + QPoint(dx, 0));
            Settle(manager);
            EXPECT_EQ(page.List().CurrentPage(), expected) << dx;
        }

        // Fewer pages hide buttons; more pages show them again.
        for (int id = 2; id <= 11; ++id) {
            m_stores.catalogue.at(std::to_string(id)).state = st::NotDownloaded;
        }
        page.Fill(false);
        EXPECT_EQ(PageButtons(page), std::vector<std::string>{"1"});
        Games(2, 40, st::Downloaded);
        page.Fill(false);
        EXPECT_EQ(PageButtons(page), (std::vector<std::string>{"1", "2", "3", "4"}));
        Games(1, 40, st::NotDownloaded);
        page.Fill(false);
        EXPECT_EQ(PageButtons(page), std::vector<std::string>{}) << "no page, no button";
        EXPECT_EQ(Shown(page.CountText()), "0");
        Click(manager, &manager, manager.CloseButton());
    });
}

TEST_F(ManagerTest, SelectAllMovesAPageToTheRecycleBinAndTheLastGameIsRestored)
{
    Games(1, 12, st::Downloaded);
    Open();
    RunWith<CheckDetialDlg>(*m_manager, [&](CheckDetialDlg& manager) {
        DownedDlg& downed = manager.Downed();
        DownedDlg& recycle = manager.Recycle();
        Click(manager, &manager, manager.TabButton(2));
        Click(manager, &downed, downed.RowAt(0, 3)->name.get());
        EXPECT_EQ(downed.RowAt(0, 3)->name->State(), skin::RichText::StateSelected);
        Click(manager, &downed, downed.SelectAllButton());
        Click(manager, &downed, downed.SelectAllButton());
        EXPECT_FALSE(downed.RowAt(0, 3)->selected) << "select-all twice: none";
        Click(manager, &downed, downed.SelectAllButton());
        m_main.Take(msg::GameAction);
        Click(manager, &downed, downed.BatchButton());
        for (int id = 1; id <= 10; ++id) {
            EXPECT_EQ(m_stores.catalogue.at(std::to_string(id)).state, st::Recycled) << id;
        }
        EXPECT_EQ(m_main.Take(msg::GameAction), std::vector<platform::Param>{PackWords(0, 5)});
        EXPECT_EQ(RowIds(downed), (std::vector<int>{11, 12}));
        EXPECT_EQ(Shown(manager.TabLabel(2)), "已下载(2)");
        EXPECT_EQ(Shown(manager.TabLabel(3)), "垃圾箱(10)");

        // Restore the recycle bin one by one: the last leaves it empty.
        Click(manager, &manager, manager.TabButton(3));
        for (int left = 10; left > 0; --left) {
            Click(manager, &recycle, recycle.RowAt(0, 0)->action.get());
        }
        EXPECT_EQ(recycle.List().GameCount(), 0);
        EXPECT_EQ(RowIds(recycle), std::vector<int>{});
        EXPECT_EQ(Shown(manager.TabLabel(3)), "垃圾箱(0)");
        EXPECT_EQ(Shown(manager.TabLabel(2)), "已下载(12)");
        EXPECT_EQ(downed.List().GameCount(), 12) << "refilled through the manager";
        EXPECT_EQ(m_stores.catalogue.at("1").state, st::Downloaded);
        Click(manager, &manager, manager.CloseButton());
    });
}

TEST_F(ManagerTest, PlayDeleteForGoodAndTheFolderLink)
{
    Games(4, 6, st::Downloaded);
    Games(8, 9, st::Recycled);
    Open();
    UrlCatcher catcher;
    RunWith<CheckDetialDlg>(*m_manager, [&](CheckDetialDlg& manager) {
        DownedDlg& downed = manager.Downed();
        DownedDlg& recycle = manager.Recycle();
        Click(manager, &manager, manager.TabButton(2));
        m_main.Take(msg::GameAction);
        Click(manager, &downed, downed.RowAt(0, 1)->action.get());
        EXPECT_EQ(Shown(downed.RowAt(0, 1)->action.get()), "打开");
        EXPECT_EQ(m_main.Take(msg::GameAction), std::vector<platform::Param>{PackWords(5, 1)}) << "play";

        Click(manager, &manager, manager.TabButton(3));
        EXPECT_EQ(Shown(recycle.BatchButton()), "彻底删除");
        Click(manager, &recycle, recycle.RowAt(0, 1)->name.get());
        Click(manager, &recycle, recycle.BatchButton());
        EXPECT_EQ(m_main.Take(msg::GameAction), (std::vector<platform::Param>{PackWords(9, 2), PackWords(0, 5)}));
        EXPECT_EQ(m_stores.catalogue.at("9").state, st::NotDownloaded);
        EXPECT_EQ(RowIds(recycle), std::vector<int>{8});

        // The folder link: a message when the folder is missing, else the desktop opens it.
        Click(manager, &recycle, recycle.FolderLink());
        EXPECT_EQ(boxes, std::vector<std::string>{"路径不存在！"});
        EXPECT_TRUE(catcher.urls.empty());
        fs::create_directories(m_folder.Path() / "download");
        Click(manager, &manager, manager.TabButton(1));
        Click(manager, &manager.Downing(), manager.Downing().FolderLink());
        ASSERT_EQ(catcher.urls.size(), 1u);
        EXPECT_EQ(catcher.urls[0],
                  QUrl::fromLocalFile(QString::fromStdString((m_folder.Path() / "download").string())));
        Click(manager, &manager, manager.CloseButton());
    });
}

// The downloading page on its own messages: the header counts sizes in K, M and G, and one that
// is no number counts nothing.
TEST_F(ManagerTest, DownloadingHeaderCountsAndSums)
{
    const struct
    {
        int id;
        const char* size;
    } games[] = {{7, "800K"}, {3, "12.5M"}, {9, "1G"}, {5, "大"}};
    for (const auto& g : games) {
        m_stores.catalogue[std::to_string(g.id)] = Game(g.id, st::Downloading);
        m_stores.catalogue[std::to_string(g.id)].size = g.size;
    }
    Open();
    RunWith<CheckDetialDlg>(*m_manager, [&](CheckDetialDlg& manager) {
        views::DowningDlg& page = manager.Downing();
        EXPECT_EQ(Shown(page.SizeText()), "0MB");
        for (const auto& g : games) {
            manager.Post(msg::ManagerProgress, PackWords(static_cast<std::uint32_t>(g.id), 0), PackWords(50, 20));
        }
        manager.Post(msg::ManagerProgress, PackWords(0, 4), PackWords(50, 80)); // the summary
        Settle(manager);
        EXPECT_EQ(Shown(page.CountText()), "4");
        EXPECT_EQ(Shown(page.SizeText()), "1037.281MB");
        EXPECT_EQ(Shown(manager.TabLabel(1)), "正在下载(4)");
        EXPECT_EQ(page.RowRect(3).top(), 47);
        EXPECT_EQ(page.RowRect(9).top(), 47 + 3 * 32);
        Click(manager, &manager, manager.CloseButton());
    });
}

// --- the settings window ---

class SettingsTest : public ModalTest
{
protected:
    SettingsTest() { qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_folder.Path() / "config").string())); }
    ~SettingsTest() override { qunsetenv("XDG_CONFIG_HOME"); }

    void Click(views::GameSetDlg& window, const skin::RichText* text)
    {
        views_test::Paint(&window);
        views_test::ClickAnchor(&window, text);
        QCoreApplication::processEvents();
    }
    fs::path SetXml() const { return m_folder.Path() / "set.xml"; }

    browse_test::PictureFolder m_folder;
    store::BoxSettings m_settings;
};

TEST_F(SettingsTest, TheMaximumIsCheckedBeforeAnythingIsSaved)
{
    views::GameSetDlg window(m_settings, views_test::Theme(), views_test::Texts(), m_folder.Dir(), nullptr);
    const int result = RunWith<views::GameSetDlg>(window, [&](views::GameSetDlg& w) {
        Click(w, w.TabButton(2));
        EXPECT_TRUE(w.MaxnumEdit()->isVisible());
        EXPECT_EQ(w.MaxnumEdit()->text(), QStringLiteral("5"));
        const struct
        {
            const char* typed;
            const char* message;
        } refused[] = {{"0", "最大下载个数必须在1到10之间！"},
                       {"11", "最大下载个数必须在1到10之间！"},
                       {"abc", "最大下载个数必须在1到10之间！"},
                       {"", "下载个数不能为空！"}};
        for (const auto& r : refused) {
            boxes.clear();
            w.MaxnumEdit()->clear();
            QTest::keyClicks(w.MaxnumEdit(), QString::fromUtf8(r.typed));
            Click(w, w.OkButton());
            EXPECT_EQ(boxes, std::vector<std::string>{r.message}) << r.typed;
            EXPECT_TRUE(ModalRunner::Instance().IsRunning(&w)) << "the window stays open";
            EXPECT_FALSE(fs::exists(SetXml())) << r.typed;
            EXPECT_EQ(m_settings.maxnum, 5);
        }
        // Enter in the box is "确定", once.
        boxes.clear();
        QTest::keyClick(w.MaxnumEdit(), Qt::Key_Return);
        EXPECT_EQ(boxes.size(), 1u);
        w.MaxnumEdit()->clear();
        QTest::keyClicks(w.MaxnumEdit(), QStringLiteral("10"));
        Click(w, w.OkButton());
    });
    EXPECT_EQ(result, ModalRunner::Ok);
    EXPECT_EQ(m_settings.maxnum, 10);
    EXPECT_NE(ReadText(SetXml()).find("<maxnum value=\"10\"/>"), std::string::npos);
}

TEST_F(SettingsTest, OkOnTheGameTabAppliesOnlyItsOptions)
{
    views::GameSetDlg window(m_settings, views_test::Theme(), views_test::Texts(), m_folder.Dir(), nullptr);
    RunWith<views::GameSetDlg>(window, [&](views::GameSetDlg& w) {
        Click(w, w.OptionLine(views::GameSetDlg::CloseToTray)); // on the first tab
        EXPECT_EQ(w.OptionLine(views::GameSetDlg::CloseToTray)->State(), skin::RichText::StateNormal);
        Click(w, w.TabButton(2));
        Click(w, w.OptionLine(views::GameSetDlg::ResumeUnfinished));
        w.MaxnumEdit()->setText(QStringLiteral("0")); // would be refused if it were applied
        Click(w, w.TabButton(3));
        Click(w, w.OptionLine(views::GameSetDlg::Autogame));
        EXPECT_EQ(w.OptionLine(views::GameSetDlg::Autogame)->State(), skin::RichText::StateSelected);
        Click(w, w.OkButton());
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(m_settings.autogame);
    EXPECT_FALSE(m_settings.shortcut);
    EXPECT_TRUE(m_settings.exit) << "the general tab was not applied";
    EXPECT_FALSE(m_settings.autodown) << "the download tab was not applied";
    EXPECT_EQ(m_settings.maxnum, 5);
    EXPECT_NE(ReadText(SetXml()).find("<autogame value=\"1\"/>"), std::string::npos);
}

TEST_F(SettingsTest, TheAutostartEntryComesAndGoesWithTheGeneralTab)
{
    const fs::path entry = m_folder.Path() / "config" / "autostart" / "marlune.desktop";
    for (const bool on : {true, false}) {
        views::GameSetDlg window(m_settings, views_test::Theme(), views_test::Texts(), m_folder.Dir(), nullptr);
        EXPECT_EQ(window.Form().startWithSession, !on) << "the window opens with the entry as found";
        const int result = RunWith<views::GameSetDlg>(window, [&](views::GameSetDlg& w) {
            Click(w, w.OptionLine(views::GameSetDlg::StartWithSession));
            Click(w, w.ApplyButton());
            EXPECT_EQ(fs::exists(entry), on);
            Click(w, w.ExitButton());
        });
        EXPECT_EQ(result, ModalRunner::Cancel);
        EXPECT_EQ(m_settings.autostart, on);
        EXPECT_EQ(store::SetAutostart(store::AutostartAction::Query), on);
    }
}

} // namespace

#include "ManagerViewsTest.moc"
