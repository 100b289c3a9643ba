// Downloading and playing from the main window as a user does it, against the sample catalogue
// served by nginx: the card's buttons clicked where they are drawn, message boxes answered with
// their buttons, real packages fetched, unpacked and started (the sample games write a line to
// MARLUNE_GAME_LOG), and the state saved and read back across a restart.

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "AppTestSupport.h"
#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"
#include "queue/DownloadQueue.h"
#include "store/DataFileLoader.h"
#include "store/Stores.h"
#include "transfer/Http.h"
#include "views/BrowseTestSupport.h"
#include "views/GameSummaryCard.h"
#include "views/ListDlg.h"
#include "views/ModalRunner.h"
#include "views/MsgBox.h"
#include "views/NavigationBar.h"
#include "views/ViewsTestSupport.h"

using app::CZandor_ClientDlg;
using views::GameSummaryCard;
using views::ModalRunner;

namespace {

namespace fs = std::filesystem;
namespace msg = platform::msg;
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

fs::path ServedPackage(int id)
{
    return Served / transfer::PackageUrl("", id);
}

// Games of the shipped catalogue whose packages have a size in [least, most], by id.
std::vector<int> SampleGames(std::uintmax_t least, std::uintmax_t most, std::size_t count)
{
    store::GameCatalogue catalogue;
    (void)store::DataFileLoader(0, Served / "client").LoadCatalogue("gamelist.xml", catalogue);
    std::vector<int> ids;
    for (const auto& [key, record] : catalogue) {
        const int id = std::stoi(key);
        std::error_code error;
        const std::uintmax_t size = fs::file_size(ServedPackage(id), error);
        if (!error && size >= least && size <= most) {
            ids.push_back(id);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.resize(std::min(ids.size(), count));
    return ids;
}

// What the window showed between any two events.
class Watch : public QObject
{
public:
    Watch(CZandor_ClientDlg& window, store::GameCatalogue& games, int game)
        : catalogue(&games)
        , m_window(window)
        , m_game(game)
    {
        // Every event of the program (the tray's timer ticks too), not only the window's.
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~Watch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent*) override
    {
        Sample();
        return false;
    }
    void Sample()
    {
        const auto record = catalogue->find(std::to_string(m_game));
        if (record != catalogue->end() && (states.empty() || states.back() != record->second.state)) {
            states.push_back(record->second.state);
        }
        const GameSummaryCard& card = m_window.Card();
        if (card.GameId() == m_game && card.Downloading()) {
            percents.insert(card.Percent());
        }
        counts.insert(m_window.Navigation().CountText()->LaidOutText().toStdString());
        speeds.insert(m_window.Navigation().SpeedText()->LaidOutText().toStdString());
        icons.insert(m_window.Tray().icon);
        tips.insert(m_window.Tray().tip.toStdString());
    }
    store::GameCatalogue* catalogue = nullptr;
    std::vector<int> states;
    std::set<int> percents;
    std::set<std::string> counts;
    std::set<std::string> speeds;
    std::set<int> icons;
    std::set<std::string> tips;

private:
    CZandor_ClientDlg& m_window;
    int m_game;
};

class DownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ModalRunner::Instance().ClearAnswers();
        ModalRunner::Instance().ClearHistory();
        m_base = Base();
        ASSERT_FALSE(m_base.empty()) << "the catalogue_server fixture is not running";
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((m_folder.Path() / ".data").string()));
        qputenv("MARLUNE_GAME_LOG", QByteArray::fromStdString(GameLog().string()));
        m_folder.CopyIn(Served / "client" / "gamelist.xml");
        (void)store::DataFileLoader(0, m_folder.Dir()).LoadCatalogue("gamelist.xml", m_stores.catalogue);
    }
    void TearDown() override
    {
        ModalRunner::Instance().SetShownObserver(nullptr);
        m_window.reset();
        qunsetenv("MARLUNE_SERVER");
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("MARLUNE_GAME_LOG");
    }

    fs::path GameLog() const { return m_folder.Path() / "games.log"; }
    // The games that the day's newest category lists (at most six: one page).
    void List(const std::vector<int>& ids)
    {
        for (const int id : ids) {
            store::GameRecord& record = m_stores.catalogue.at(std::to_string(id));
            browse_test::AddGame(m_stores, record, 99, 99);
        }
        m_stores.categories.nodes["99"].name = "每日最新";
    }
    // Opens the window against the server, or its pace-limited twin.
    void Open(bool slow = false)
    {
        qputenv("MARLUNE_SERVER", QByteArray::fromStdString(m_base + (slow ? "slow/" : "")));
        m_window =
            std::make_unique<CZandor_ClientDlg>(views_test::Theme(), views_test::Texts(), m_stores, m_folder.Dir());
        m_window->show();
        Settle();
    }
    // Ends the run as the tray menu's "退出" does, and the program's exit update.
    void Quit()
    {
        m_window->QuitAction()->trigger();
        m_window->hide();
        m_window->StopThreads();
        (void)store::DataFileLoader(0, m_folder.Dir()).SaveCatalogueState("gamelist.xml", m_stores.catalogue);
        m_window.reset();
    }
    // Reads the saved state back, as the next start does.
    void Restart(const std::vector<int>& listed)
    {
        m_stores = store::Stores{};
        (void)store::DataFileLoader(0, m_folder.Dir()).LoadCatalogue("gamelist.xml", m_stores.catalogue);
        List(listed);
    }
    void Settle()
    {
        for (int i = 0; i < 8; ++i) {
            QCoreApplication::processEvents();
        }
        while (m_window->ListPanel().Panel()->StepAnimation()) {
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
    // Clicks the game's cell in the list (its first page) so that the card shows it.
    void Choose(int id)
    {
        Settle();
        for (int position = 0; position < 6; ++position) {
            const views::ListDlg::Cell* cell = m_window->ListPanel().CellAt(0, position);
            if (cell != nullptr && cell->id == id) {
                views_test::ClickAnchor(&m_window->ListPanel(), cell->frame.get());
                Settle();
                ASSERT_EQ(m_window->Card().GameId(), id);
                return;
            }
        }
        FAIL() << "game " << id << " is not on the list's first page";
    }
    // The downloaded game in the local tab, its card offering to play it.
    void PlayFromLocalTab(int id)
    {
        Click(m_window->Navigation().TabButton(views::NavigationBar::LocalTab));
        Choose(id);
        EXPECT_EQ(m_window->Card().ActionValue(), GameSummaryCard::OpenValue);
    }
    void ClickAction(int id)
    {
        Choose(id);
        Click(m_window->Card().ActionButton());
    }
    // The next message box is answered by clicking its first ("确定") or second ("退出") button.
    void AnswerBoxes(bool confirm)
    {
        ModalRunner::Instance().SetShownObserver([confirm](QWidget* window) {
            auto* box = dynamic_cast<views::MsgBox*>(window);
            ASSERT_NE(box, nullptr);
            views_test::Paint(box);
            views_test::ClickAnchor(box, confirm ? box->FirstButton() : box->SecondButton());
        });
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const ModalRunner::Record& record : ModalRunner::Instance().History()) {
            texts.push_back(record.description.toStdString());
        }
        return texts;
    }
    std::int32_t State(int id) const { return m_stores.catalogue.at(std::to_string(id)).state; }
    bool WaitState(int id, std::int32_t state, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return State(id) == state; }, ms);
    }
    fs::path Package(int id) const { return m_folder.Path() / "download" / (std::to_string(id) + ".zip"); }
    std::uintmax_t PackageBytes(int id) const
    {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(Package(id), error);
        return error ? 0 : size;
    }
    bool SameAsServed(int id) const { return app_test::ReadFile(Package(id)) == app_test::ReadFile(ServedPackage(id)); }
    // The lines the sample games wrote: "<id> TAB <game folder> TAB <working folder>".
    std::string GameLines() const { return app_test::ReadFile(GameLog()); }
    bool WaitGameRan(int id)
    {
        return QTest::qWaitFor([&] { return GameLines().find(std::to_string(id) + "\t") != std::string::npos; }, 10000);
    }

    app_test::ProgramFolder m_folder;
    std::string m_base;
    store::Stores m_stores;
    std::unique_ptr<CZandor_ClientDlg> m_window;
};

TEST_F(DownloadTest, RoadOfOneGameFromTheCardToItsStart)
{
    const std::vector<int> games = SampleGames(1 << 20, 3 << 20, 1);
    ASSERT_EQ(games.size(), 1u);
    const int id = games[0];
    List(games);
    Open(true);
    Watch watch(*m_window, m_stores.catalogue, id);

    ClickAction(id);
    ASSERT_TRUE(WaitState(id, st::Downloaded, 30000));
    watch.Sample();
    EXPECT_EQ(watch.states, (std::vector<int>{st::NotDownloaded, st::Contacting, st::Downloading, st::Downloaded}));
    EXPECT_TRUE(std::any_of(watch.percents.begin(), watch.percents.end(), [](int p) { return p > 0 && p < 100; }))
        << "the card showed no progress";
    EXPECT_TRUE(watch.counts.contains("1个游戏正在下载"));
    EXPECT_TRUE(std::any_of(watch.speeds.begin(), watch.speeds.end(), [](const std::string& s) {
        return s != "速度：0Kb/s" && s.starts_with("速度：");
    })) << "the status line showed no speed";
    // The tray ran through its five frames with the count, and is back at rest.
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->Tray().icon == 350; }, 2000));
    for (int icon = 351; icon <= 355; ++icon) {
        EXPECT_TRUE(watch.icons.contains(icon)) << icon;
    }
    EXPECT_TRUE(watch.tips.contains("1个游戏正在下载"));
    EXPECT_EQ(m_window->Tray().tip, QStringLiteral("Marlune"));
    EXPECT_FALSE(m_window->Animating());

    EXPECT_TRUE(SameAsServed(id));
    EXPECT_TRUE(std::regex_match(m_stores.catalogue.at(std::to_string(id)).dawndate,
                                 std::regex(R"(20\d\d-[1-9]\d?-[1-9]\d? \d{1,2}:\d{1,2}:\d{1,2})")));
    EXPECT_FALSE(m_window->ListPanel().Contains(id)) << "still in the online list";
    // The card stays on the game, now to be played.
    Settle();
    EXPECT_EQ(m_window->Card().GameId(), id);
    EXPECT_EQ(m_window->Card().ActionValue(), GameSummaryCard::OpenValue);
    PlayFromLocalTab(id);
    EXPECT_EQ(m_window->Card().ActionButton()->LaidOutText(), QStringLiteral("打开游戏"));

    Click(m_window->Card().ActionButton());
    ASSERT_TRUE(WaitGameRan(id));
    const std::string folder = (m_folder.Path() / "game" / std::to_string(id)).string();
    EXPECT_EQ(GameLines(), std::to_string(id) + "\t" + folder + "\t" + folder + "\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->Card().ActionValue() == GameSummaryCard::OpenValue; }, 5000));
    EXPECT_TRUE(Boxes().empty());
}

// A server without the package: the download ends on its own, and the card says so and offers
// to try again, instead of looking as if nothing had been asked.
TEST_F(DownloadTest, ADownloadThatFailsSaysSoOnTheCard)
{
    const std::vector<int> games = SampleGames(1 << 10, 3 << 20, 1);
    ASSERT_EQ(games.size(), 1u);
    const int id = games[0];
    List(games);
    qputenv("MARLUNE_SERVER", QByteArray::fromStdString(m_base + "no-such-folder/"));
    m_window = std::make_unique<CZandor_ClientDlg>(views_test::Theme(), views_test::Texts(), m_stores, m_folder.Dir());
    m_window->show();
    Settle();

    ClickAction(id);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return m_window->Card().ActionButton()->LaidOutText() == QStringLiteral("下载失败，重试"); },
        15000));
    EXPECT_EQ(m_stores.catalogue.at(std::to_string(id)).state, st::NotDownloaded);
    EXPECT_EQ(m_window->Card().ActionValue(), GameSummaryCard::DownloadValue);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DownloadTest, MaxnumRefusesAThirdWhilePausedOnesCountAndContinuingIsAdmitted)
{
    const std::vector<int> games = SampleGames(1 << 20, 3 << 20, 3);
    ASSERT_EQ(games.size(), 3u);
    m_stores.settings.maxnum = 2;
    List(games);
    Open(true);
    ClickAction(games[0]);
    ClickAction(games[1]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->Downloads() == 2; }, 5000));
    // Pause the second one from its card: it stays held.
    ASSERT_TRUE(WaitState(games[1], st::Downloading));
    Click(m_window->Card().PauseButton());
    ASSERT_TRUE(WaitState(games[1], st::Paused));
    EXPECT_TRUE(m_window->Card().ShowsPaused());

    AnswerBoxes(true);
    ClickAction(games[2]);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"下载个数达到最大！"});
    QTest::qWait(200);
    EXPECT_EQ(State(games[2]), st::NotDownloaded);
    EXPECT_EQ(m_window->Downloads(), 2);

    // Continuing the paused one is admitted at once, with no box.
    Choose(games[1]);
    EXPECT_TRUE(m_window->Card().ShowsPaused());
    Click(m_window->Card().PauseButton());
    ASSERT_TRUE(WaitState(games[1], st::Downloading));
    EXPECT_EQ(Boxes().size(), 1u);

    // The stop button cancels: the state goes back, the partial package stays for later.
    Click(m_window->Card().StopButton());
    ASSERT_TRUE(WaitState(games[1], st::NotDownloaded));
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_window->Downloads() == 1; }, 5000));
    EXPECT_EQ(m_window->Card().ActionValue(), GameSummaryCard::DownloadValue);
}

TEST_F(DownloadTest, AGameLargerThanTheFreeSpaceIsRefused)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 1);
    ASSERT_EQ(games.size(), 1u);
    m_stores.catalogue.at(std::to_string(games[0])).size = "999999G";
    List(games);
    Open();
    AnswerBoxes(true);
    ClickAction(games[0]);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"磁盘空间不足，请清理磁盘！"});
    QTest::qWait(100);
    EXPECT_EQ(State(games[0]), st::NotDownloaded);
    EXPECT_EQ(m_window->Downloads(), 0);
}

TEST_F(DownloadTest, UnfinishedDownloadsAreTakenUpAtTheNextStart)
{
    const std::vector<int> games = SampleGames(1 << 20, 3 << 20, 2);
    ASSERT_EQ(games.size(), 2u);
    const int running = games[0];
    const int paused = games[1];
    List(games);
    Open(true);
    ClickAction(running);
    ClickAction(paused);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PackageBytes(running) > 0 && PackageBytes(paused) > 0; }, 10000));
    Choose(paused);
    Click(m_window->Card().PauseButton());
    ASSERT_TRUE(WaitState(paused, st::Paused));
    Quit();
    const std::uintmax_t runningBytes = PackageBytes(running);
    const std::uintmax_t pausedBytes = PackageBytes(paused);
    EXPECT_GT(runningBytes, 0u);
    EXPECT_LT(runningBytes, fs::file_size(ServedPackage(running)));
    fs::copy_file(m_folder.Path() / "gamelist.xml", m_folder.Path() / "gamelist.first");

    // autodown off: both are taken up paused; nothing is fetched.
    Restart(games);
    EXPECT_EQ(State(running), st::Downloading);
    EXPECT_EQ(State(paused), st::Paused);
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->Downloads() == 2; }, 5000));
    ASSERT_TRUE(WaitState(running, st::Paused));
    EXPECT_EQ(State(paused), st::Paused);
    EXPECT_TRUE(m_window->Queue().HeldPaused(running));
    EXPECT_TRUE(m_window->Queue().HeldPaused(paused));
    Choose(running);
    EXPECT_TRUE(m_window->Card().ShowsPaused()) << "the card shows the paused download";
    QTest::qWait(1200);
    EXPECT_EQ(PackageBytes(running), runningBytes);
    EXPECT_EQ(PackageBytes(paused), pausedBytes);
    Quit();

    // autodown on, from the first exit: the one left running runs, the paused one waits for its
    // continue; both end complete and identical to the server's packages.
    fs::copy_file(m_folder.Path() / "gamelist.first",
                  m_folder.Path() / "gamelist.xml",
                  fs::copy_options::overwrite_existing);
    Restart(games);
    m_stores.settings.autodown = true;
    Open();
    ASSERT_TRUE(WaitState(running, st::Downloaded, 30000));
    EXPECT_EQ(State(paused), st::Paused);
    Choose(paused);
    Click(m_window->Card().PauseButton());
    ASSERT_TRUE(WaitState(paused, st::Downloaded, 30000));
    EXPECT_TRUE(SameAsServed(running));
    EXPECT_TRUE(SameAsServed(paused));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DownloadTest, WithAutogameACompletedDownloadStartsTheGame)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 1);
    ASSERT_EQ(games.size(), 1u);
    m_stores.settings.autogame = true;
    List(games);
    Open();
    ClickAction(games[0]);
    ASSERT_TRUE(WaitState(games[0], st::Downloaded));
    EXPECT_TRUE(WaitGameRan(games[0]));
}

TEST_F(DownloadTest, AMissingPackageIsOfferedForDownloadAgain)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 1);
    ASSERT_EQ(games.size(), 1u);
    const int id = games[0];
    m_stores.catalogue.at(std::to_string(id)).state = st::Downloaded;
    m_stores.catalogue.at(std::to_string(id)).dawndate = "2010-5-1 10:0:0";
    List(games);
    Open();
    Click(m_window->Navigation().TabButton(views::NavigationBar::LocalTab));

    AnswerBoxes(false);
    ClickAction(id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes().size() == 1; }, 10000));
    EXPECT_EQ(Boxes()[0], "打开压缩包失败,是否重新下载？");
    QTest::qWait(300);
    EXPECT_EQ(m_window->Downloads(), 0) << "the other button changes nothing";
    EXPECT_EQ(m_window->Card().ActionValue(), GameSummaryCard::OpenValue);

    AnswerBoxes(true);
    Click(m_window->Card().ActionButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes().size() == 2; }, 10000));
    // Downloaded again: a new date (the state was 3 before it began).
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_stores.catalogue.at(std::to_string(id)).dawndate != "2010-5-1 10:0:0"; },
                                20000));
    EXPECT_EQ(State(id), st::Downloaded);
    EXPECT_TRUE(SameAsServed(id));
    Click(m_window->Card().ActionButton());
    EXPECT_TRUE(WaitGameRan(id));
}

TEST_F(DownloadTest, AGameWhoseUnpackingFailedIsUnpackedAgainBeforeItIsPlayed)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 20);
    const auto plain = std::find_if(games.begin(), games.end(), [](int id) { return id % 7 != 0; });
    ASSERT_NE(plain, games.end());
    const int id = *plain;
    // A folder where the game's script goes: the download's unpacking fails on it.
    const fs::path blocker = m_folder.Path() / "game" / std::to_string(id) / "game.sh";
    fs::create_directories(blocker / "inside");
    List({id});
    Open();
    ClickAction(id);
    ASSERT_TRUE(WaitState(id, st::Downloaded));
    PlayFromLocalTab(id);
    AnswerBoxes(true);
    Click(m_window->Card().ActionButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Boxes().size() == 1; }, 10000));
    EXPECT_EQ(Boxes()[0], "解压失败！");
    EXPECT_EQ(GameLines(), "") << "started although its unpacking failed";

    fs::remove_all(blocker);
    Click(m_window->Card().ActionButton());
    EXPECT_TRUE(WaitGameRan(id));
}

TEST_F(DownloadTest, ARunningGameIsEndedBeforeItsFolderGoesToTheTrash)
{
    const std::vector<int> games = SampleGames(1, 100 << 10, 20);
    const auto plain = std::find_if(games.begin(), games.end(), [](int id) { return id % 7 != 0; });
    ASSERT_NE(plain, games.end());
    const int id = *plain;
    List({id});
    Open();
    ClickAction(id);
    ASSERT_TRUE(WaitState(id, st::Downloaded));
    // A game that keeps running until it is ended, in place of the sample's script.
    const fs::path folder = m_folder.Path() / "game" / std::to_string(id);
    {
        std::ofstream script(folder / "game.sh", std::ios::trunc);
        script << "#!/bin/sh\necho $$ > \"" << (m_folder.Path() / "game.pid").string() << "\"\nsleep 60\n";
    }
    PlayFromLocalTab(id);
    Click(m_window->Card().ActionButton());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app_test::ReadFile(m_folder.Path() / "game.pid").empty(); }, 10000));
    const pid_t pid = std::stoi(app_test::ReadFile(m_folder.Path() / "game.pid"));
    ASSERT_EQ(::kill(pid, 0), 0);

    // The downloaded games' panel asks for the removal this way.
    m_window->Post(msg::GameAction, platform::PackWords(id, msg::game_action::Remove), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::exists(folder); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return ::kill(pid, 0) != 0
                   || app_test::ReadFile("/proc/" + std::to_string(pid) + "/stat").find(") Z") != std::string::npos;
        },
        5000))
        << "the game still runs";
    EXPECT_TRUE(fs::is_directory(m_folder.Path() / ".data" / "Trash" / "files" / std::to_string(id)));
    EXPECT_FALSE(fs::exists(Package(id)));
}

} // namespace
