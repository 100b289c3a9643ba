// The download manager and the settings window opened from the main window as a user does it,
// against the sample catalogue served by nginx: downloads paused, continued and removed in the
// manager, downloaded games played, recycled and deleted for good, and the quit routine's
// refusals while a window is open.

#include <filesystem>

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"
#include "store/DataFileLoader.h"
#include "store/Stores.h"
#include "transfer/Http.h"
#include "views/BrowseTestSupport.h"
#include "views/CheckDetialDlg.h"
#include "views/DownedDlg.h"
#include "views/DowningDlg.h"
#include "views/GameSetDlg.h"
#include "views/GameSummaryCard.h"
#include "views/ListDlg.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"
#include "views/NavigationBar.h"
#include "views/ViewsTestSupport.h"

using app::CZandor_ClientDlg;
using views::CheckDetialDlg;
using views::ModalRunner;

namespace {

namespace fs = std::filesystem;
namespace st = store::game_state;

const fs::path Served = fs::path(MARLUNE_BINARY_DIR) / "catalogue";

std::string Base()
{
    std::string base = app_test::ReadFile(fs::path(MARLUNE_BINARY_DIR) / "catalogue-server" / "base-url");
    while (!base.empty() && (base.back() == '\n' || base.back() == '\r')) {
        base.pop_back();
    }
    return base;
}

// Games of the shipped catalogue whose packages have a size in [least, most], by id.
std::vector<int> SampleGames(std::uintmax_t least, std::uintmax_t most, std::size_t count)
{
    store::GameCatalogue catalogue;
    (void)store::DataFileLoader(0, Served / "client").LoadCatalogue("gamelist.xml", catalogue);
    std::vector<int> ids;
    for (const auto& [key, record] : catalogue) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(Served / transfer::PackageUrl("", std::stoi(key)), error);
        if (!error && size >= least && size <= most) {
            ids.push_back(std::stoi(key));
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.resize(std::min(ids.size(), count));
    return ids;
}

std::string Shown(const skin::RichText* text)
{
    return text->LaidOutText().toStdString();
}

class ManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
        m_base = Base();
        ASSERT_FALSE(m_base.empty()) << "the catalogue_server fixture is not running";
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((m_folder.Path() / ".data").string()));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((m_folder.Path() / ".config").string()));
        qputenv("MARLUNE_GAME_LOG", QByteArray::fromStdString((m_folder.Path() / "games.log").string()));
        m_folder.CopyIn(Served / "client" / "gamelist.xml");
        (void)store::DataFileLoader(0, m_folder.Dir()).LoadCatalogue("gamelist.xml", m_stores.catalogue);
    }
    void TearDown() override
    {
        ModalRunner::Instance().SetShownObserver(nullptr);
        if (m_window) {
            m_window->StopThreads();
        }
        m_window.reset();
        for (const char* name : {"MARLUNE_SERVER", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "MARLUNE_GAME_LOG"}) {
            qunsetenv(name);
        }
    }

    void Open(const std::vector<int>& listed, bool slow = false)
    {
        for (const int id : listed) {
            browse_test::AddGame(m_stores, m_stores.catalogue.at(std::to_string(id)), 99, 99);
        }
        qputenv("MARLUNE_SERVER", QByteArray::fromStdString(m_base + (slow ? "slow/" : "")));
        m_window =
            std::make_unique<CZandor_ClientDlg>(views_test::Theme(), views_test::Texts(), m_stores, m_folder.Dir());
        m_window->show();
        Settle(m_window.get());
    }
    static void Settle(QWidget* window)
    {
        for (int i = 0; i < 6; ++i) {
            QCoreApplication::processEvents();
        }
        // (findChildren cannot tell the pages, which have no meta-object of their own.)
        for (QWidget* child : window->findChildren<QWidget*>()) {
            if (auto* page = dynamic_cast<views::DownedDlg*>(child)) {
                while (page->Panel()->StepAnimation()) {
                }
            }
        }
        views_test::Paint(window);
        for (auto* child : window->findChildren<QWidget*>()) {
            if (child->isVisible()) {
                child->repaint();
            }
        }
    }
    // Clicks an anchor drawn in window (a page, the manager, the main window).
    static void Click(QWidget* window, const skin::RichText* text)
    {
        ASSERT_NE(text, nullptr);
        Settle(window->window());
        views_test::ClickAnchor(window, text);
        Settle(window->window());
    }
    // Starts a download from the game's card.
    void Download(int id)
    {
        // A download that ends meanwhile may take the card back to its game; choose again then.
        const auto chosen = [&] {
            return m_window->Card().GameId() == id
                   && m_window->Card().ActionValue() == views::GameSummaryCard::DownloadValue;
        };
        ASSERT_TRUE(WaitFor(
            [&] {
                if (!chosen()) {
                    m_window->Post(platform::msg::GameChosen,
                                   platform::PackWords(static_cast<std::uint32_t>(id), 0),
                                   0);
                    Settle(m_window.get());
                }
                return chosen();
            },
            m_window.get()));
        Click(m_window.get(), m_window->Card().ActionButton());
    }
    // Opens the manager with the status line's "查看详情" and acts in it; message boxes are
    // answered by clicking "确定".
    void InManager(const std::function<void(CheckDetialDlg&)>& act)
    {
        ModalRunner::Instance().SetShownObserver([act](QWidget* shown) {
            if (auto* box = dynamic_cast<views::MsgBox*>(shown)) {
                views_test::Paint(box);
                views_test::ClickAnchor(box, box->FirstButton());
            } else if (auto* manager = dynamic_cast<CheckDetialDlg*>(shown)) {
                Settle(manager);
                act(*manager);
            }
        });
        Click(m_window.get(), m_window->Navigation().DetailsLinkText());
        ModalRunner::Instance().SetShownObserver(nullptr);
        EXPECT_EQ(m_window->DownloadManager(), nullptr) << "the manager is forgotten once closed";
    }
    std::int32_t State(int id) const { return m_stores.catalogue.at(std::to_string(id)).state; }
    bool WaitFor(const std::function<bool()>& condition, QWidget* window, int ms = 20000)
    {
        return QTest::qWaitFor(
            [&] {
                Settle(window);
                return condition();
            },
            ms);
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const ModalRunner::Record& record : ModalRunner::Instance().History()) {
            if (record.title == QStringLiteral("Warning") || record.title == QStringLiteral("Marlune")) {
                texts.push_back(record.description.toStdString());
            }
        }
        return texts;
    }

    app_test::ProgramFolder m_folder;
    std::string m_base;
    store::Stores m_stores;
    std::unique_ptr<CZandor_ClientDlg> m_window;
};

TEST_F(ManagerTest, TwoDownloadsPausedContinuedAndRemovedInTheManager)
{
    const std::vector<int> games = SampleGames(2 << 20, 4 << 20, 2);
    ASSERT_EQ(games.size(), 2u);
    const int first = games[0];
    const int second = games[1];
    Open(games, true);
    Download(second);
    Download(first);
    ASSERT_TRUE(
        WaitFor([&] { return State(first) == st::Downloading && State(second) == st::Downloading; }, m_window.get()));
    const double firstSize = browse::SizeInMegabytes(m_stores.catalogue.at(std::to_string(first)).size);
    const double secondSize = browse::SizeInMegabytes(m_stores.catalogue.at(std::to_string(second)).size);

    bool acted = false;
    InManager([&](CheckDetialDlg& manager) {
        views::DowningDlg& page = manager.Downing();
        // The direct report lists both, the smaller id on top.
        ASSERT_TRUE(WaitFor([&] { return page.Rows().Count() == 2; }, &manager));
        EXPECT_EQ(page.RowRect(first).top(), 47);
        EXPECT_EQ(page.RowRect(second).top(), 79);
        EXPECT_EQ(Shown(page.CountText()), "2");
        EXPECT_EQ(Shown(page.SizeText()), QString::asprintf("%2.3fMB", firstSize + secondSize).toStdString());
        EXPECT_EQ(Shown(manager.TabLabel(1)), "正在下载(2)");
        ASSERT_TRUE(WaitFor([&] { return page.Rows().Find(second)->speed > 0; }, &manager));

        Click(&page, page.Row(second)->pause.get());
        ASSERT_TRUE(WaitFor([&] { return State(second) == st::Paused; }, &manager));
        EXPECT_EQ(Shown(page.Row(second)->speed.get()), "0KB/s");
        EXPECT_TRUE(page.Row(second)->resume->IsVisible());
        EXPECT_FALSE(page.Row(second)->pause->IsVisible());

        // Quitting is refused while the manager is open.
        m_window->QuitAction()->trigger();
        EXPECT_EQ(Boxes(), std::vector<std::string>{"请关闭查看详情窗体！"});
        EXPECT_TRUE(ModalRunner::Instance().IsRunning(&manager));

        Click(&page, page.Row(second)->resume.get());
        ASSERT_TRUE(WaitFor([&] { return State(second) == st::Downloading; }, &manager));
        ASSERT_TRUE(WaitFor([&] { return page.Row(second)->pause->IsVisible(); }, &manager));
        EXPECT_FALSE(page.Row(second)->resume->IsVisible());

        Click(&page, page.Row(first)->remove.get());
        ASSERT_TRUE(WaitFor([&] { return page.Row(first) == nullptr; }, &manager));
        EXPECT_EQ(State(first), st::NotDownloaded);
        EXPECT_EQ(page.RowRect(second).top(), 47) << "the other row moves up";
        EXPECT_EQ(Shown(page.CountText()), "1");
        EXPECT_EQ(Shown(page.SizeText()), QString::asprintf("%2.3fMB", secondSize).toStdString());
        EXPECT_EQ(Shown(manager.TabLabel(1)), "正在下载(1)");
        EXPECT_EQ(m_window->Downloads(), 1);
        Click(&manager, manager.CloseButton());
        acted = true;
    });
    EXPECT_TRUE(acted);
}

TEST_F(ManagerTest, DownloadedGamesArePlayedRecycledAndDeletedForGood)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 20);
    std::vector<int> plain;
    std::copy_if(games.begin(), games.end(), std::back_inserter(plain), [](int id) { return id % 7 != 0; });
    ASSERT_GE(plain.size(), 2u);
    const int played = plain[0];
    const int removed = plain[1];
    Open({played, removed});
    Download(played);
    Download(removed);
    ASSERT_TRUE(
        WaitFor([&] { return State(played) == st::Downloaded && State(removed) == st::Downloaded; }, m_window.get()));
    const fs::path folder = m_folder.Path() / "game" / std::to_string(removed);
    const fs::path package = m_folder.Path() / "download" / (std::to_string(removed) + ".zip");
    ASSERT_TRUE(fs::is_directory(folder));

    bool acted = false;
    InManager([&](CheckDetialDlg& manager) {
        views::DownedDlg& downed = manager.Downed();
        views::DownedDlg& recycle = manager.Recycle();
        Click(&manager, manager.TabButton(CheckDetialDlg::DownedTab));
        ASSERT_NE(downed.RowAt(0, 1), nullptr);
        EXPECT_EQ(downed.RowAt(0, 0)->id, std::min(played, removed));
        const int playedRow = downed.RowAt(0, 0)->id == played ? 0 : 1;
        Click(&downed, downed.RowAt(0, playedRow)->action.get());
        EXPECT_TRUE(WaitFor(
            [&] {
                return app_test::ReadFile(m_folder.Path() / "games.log").find(std::to_string(played) + "\t")
                       != std::string::npos;
            },
            &manager,
            10000))
            << "the game did not start";

        Click(&downed, downed.RowAt(0, 1 - playedRow)->name.get());
        Click(&downed, downed.BatchButton());
        EXPECT_EQ(State(removed), st::Recycled);
        Click(&manager, manager.TabButton(CheckDetialDlg::RecycleTab));
        ASSERT_NE(recycle.RowAt(0, 0), nullptr);
        EXPECT_EQ(recycle.RowAt(0, 0)->id, removed);
        Click(&recycle, recycle.SelectAllButton());
        Click(&recycle, recycle.BatchButton());
        EXPECT_EQ(State(removed), st::NotDownloaded);
        EXPECT_EQ(Shown(manager.TabLabel(CheckDetialDlg::RecycleTab)), "垃圾箱(0)");
        EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder); }, &manager, 10000));
        Click(&manager, manager.CloseButton());
        acted = true;
    });
    EXPECT_TRUE(acted);
    EXPECT_TRUE(fs::is_directory(m_folder.Path() / ".data" / "Trash" / "files" / std::to_string(removed)));
    EXPECT_FALSE(fs::exists(package));
    EXPECT_EQ(State(played), st::Downloaded);
    EXPECT_TRUE(Boxes().empty());
}

// The settings window from its button: quitting is refused while it is open, and the external
// close request ends it and the program.
TEST_F(ManagerTest, SettingsWindowRefusesTheQuitAndYieldsToTheCloseRequest)
{
    Open({});
    int settingsResult = 0;
    ModalRunner::Instance().SetShownObserver([&](QWidget* shown) {
        if (auto* box = dynamic_cast<views::MsgBox*>(shown)) {
            views_test::Paint(box);
            views_test::ClickAnchor(box, box->FirstButton());
            return;
        }
        auto* settings = dynamic_cast<views::GameSetDlg*>(shown);
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(m_window->SettingsWindow(), settings);
        m_window->QuitAction()->trigger();
        EXPECT_EQ(Boxes(), std::vector<std::string>{"请关闭设置窗体！"});
        EXPECT_TRUE(ModalRunner::Instance().IsRunning(settings));
        EXPECT_TRUE(m_window->Running());
        m_window->Post(platform::msg::ExternalClose, 0, 0);
    });
    QTimer::singleShot(0, m_window.get(), [&] { Click(m_window.get(), m_window->SettingsButton()); });
    QTimer::singleShot(20000, m_window.get(), [&] {
        ADD_FAILURE() << "the run did not end";
        m_window->EndRun(0);
    });
    EXPECT_EQ(m_window->Run(), ModalRunner::Ok);
    for (const ModalRunner::Record& record : ModalRunner::Instance().History()) {
        if (record.description == QStringLiteral("设置")) {
            settingsResult = record.result;
        }
    }
    EXPECT_EQ(settingsResult, ModalRunner::Ok) << "ended by the close request";
    EXPECT_EQ(m_window->SettingsWindow(), nullptr);
    EXPECT_FALSE(fs::exists(m_folder.Path() / "set.xml"));
}

} // namespace
