// The download queue's decisions, driven without a window: admission, the download states and the
// card through the transfers' events and the control thread's results, what is refreshed when a
// download or a removal ends, the start-up walk, and the outcomes of opening a game.

#include "queue/DownloadQueue.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace {

namespace msg = platform::msg;
namespace st = store::game_state;
using platform::PackWords;
using queue::CardChange;
using queue::CardShow;
using queue::DownloadQueue;
using queue::Effects;
using queue::ListRefill;
using queue::ListState;
using queue::Notice;
using queue::Post;
using queue::Target;
using transfer::StartResult;

struct StartCallMade
{
    int id;
    std::string package;
    std::string url;
    std::string size;
    bool paused;
};

class QueueTest : public ::testing::Test
{
protected:
    QueueTest()
        : m_queue(
            m_catalogue,
            m_settings,
            m_dir,
            "http://server/",
            [this](int id, const std::string& package, const std::string& url, std::string_view size, bool paused) {
                m_calls.push_back({id, package, url, std::string(size), paused});
                return m_answer;
            },
            [] {
                std::tm time = {};
                time.tm_year = 109; // 2009-7-5 14:03:09
                time.tm_mon = 6;
                time.tm_mday = 5;
                time.tm_hour = 14;
                time.tm_min = 3;
                time.tm_sec = 9;
                return time;
            })
    {}

    void Game(int id, std::int32_t state)
    {
        store::GameRecord record;
        record.id = std::to_string(id);
        record.size = "100K";
        record.state = state;
        m_catalogue[record.id] = record;
    }
    std::int32_t State(int id) { return m_catalogue.at(std::to_string(id)).state; }
    // A game held by the control thread, running or paused.
    void Held(int id, bool paused = false)
    {
        Game(id, st::NotDownloaded);
        m_answer = StartResult::Started;
        (void)m_queue.Request(id, 1);
        (void)m_queue.Command(id, msg::down_event::BodyBegins);
        if (paused) {
            (void)m_queue.Result(id, 1, 0, {});
        }
        m_calls.clear();
    }
    static Post Control(int id, std::uint32_t action, platform::Param lParam = 0)
    {
        return {Target::ControlThread, {msg::DownControl, PackWords(id, action), lParam}};
    }
    static Post Self(platform::MessageId message, int id, std::uint32_t lo)
    {
        return {Target::Self, {message, PackWords(id, lo), 0}};
    }

    // A temporary folder; the program folder inside it is not made (the queue makes download/).
    struct Root
    {
        Root()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "queue-test-XXXXXX").string();
            path = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        }
        ~Root()
        {
            std::error_code error;
            std::filesystem::remove_all(path, error);
        }
        std::string path;
    };
    Root m_root;
    std::string m_dir = m_root.path + "/program/";
    store::GameCatalogue m_catalogue;
    store::BoxSettings m_settings;
    StartResult m_answer = StartResult::Started;
    std::vector<StartCallMade> m_calls;
    DownloadQueue m_queue;
};

TEST_F(QueueTest, RequestsBecomeCommandsAndStartsAreAdmittedOrRefused)
{
    Game(1234, st::NotDownloaded);
    EXPECT_EQ(m_queue.Request(1234, 0).posts, std::vector<Post>{Self(msg::DownloadCommand, 1234, 4)});
    EXPECT_EQ(m_queue.Request(1234, 2).posts, std::vector<Post>{Self(msg::DownloadCommand, 1234, 6)});
    EXPECT_EQ(m_queue.Request(1234, 3).posts, std::vector<Post>{Self(msg::DownloadCommand, 1234, 7)});
    EXPECT_TRUE(m_queue.Request(1234, 9).posts.empty());
    EXPECT_TRUE(m_queue.Request(999, 1).posts.empty()) << "not in the catalogue";
    EXPECT_TRUE(m_calls.empty());

    for (const auto& [answer, notice] :
         {std::pair{StartResult::TooMany, Notice::TooMany}, std::pair{StartResult::NoSpace, Notice::NoSpace}}) {
        m_answer = answer;
        const Effects refused = m_queue.Request(1234, 1);
        EXPECT_EQ(refused.notice, notice);
        EXPECT_TRUE(refused.posts.empty());
        EXPECT_EQ(State(1234), st::NotDownloaded);
        EXPECT_FALSE(m_queue.Held(1234));
    }

    m_answer = StartResult::Started;
    const Effects admitted = m_queue.Request(1234, 1);
    ASSERT_EQ(m_calls.size(), 3u);
    EXPECT_EQ(m_calls.back().package, m_dir + "download/1234.zip");
    EXPECT_EQ(m_calls.back().url, "http://server/download/1/1234.zip");
    EXPECT_EQ(m_calls.back().size, "100K");
    EXPECT_FALSE(m_calls.back().paused);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "download"));
    EXPECT_EQ(admitted.posts, (std::vector<Post>{{Target::Manager, {msg::ManagerCommand, 0, 0}}}));
    EXPECT_EQ(admitted.notice, Notice::None);
    EXPECT_EQ(State(1234), st::NotDownloaded) << "the transfer's own reports move the state";
    EXPECT_TRUE(m_queue.Held(1234));
}

TEST_F(QueueTest, AStartOfAHeldDownloadNeverFetchesItTwice)
{
    Held(7);
    EXPECT_TRUE(m_queue.Request(7, 1).posts.empty()) << "running: nothing";
    Held(8, true);
    EXPECT_EQ(m_queue.Request(8, 1).posts, std::vector<Post>{Self(msg::DownloadCommand, 8, 7)}) << "paused: continue";
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(QueueTest, ADownloadedGameAskedForAgainIsFetchedFromNothing)
{
    Game(5, st::Downloaded);
    std::filesystem::create_directories(m_dir + "download");
    std::ofstream(m_dir + "download/5.zip") << "a package that cannot be opened";
    std::ofstream(m_dir + "download/5.txt") << "##Mon##";
    (void)m_queue.Request(5, 1);
    EXPECT_EQ(m_calls.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(m_dir + "download/5.zip"));
    EXPECT_FALSE(std::filesystem::exists(m_dir + "download/5.txt"));
}

// One report of a transfer or of the control thread: the state after it, the card, the posts.
struct StepCase
{
    const char* name;
    bool result; // CommandResult (else DownloadCommand)
    std::uint32_t code;
    platform::Param lParam;
    std::int32_t state;
    std::optional<CardShow> card;
    std::vector<Post> control;
};

class QueueSteps
    : public QueueTest
    , public ::testing::WithParamInterface<StepCase>
{};

TEST_P(QueueSteps, MoveTheStateAndTheCard)
{
    const StepCase& c = GetParam();
    Held(42);
    const Effects effects = c.result ? m_queue.Result(42, c.code, c.lParam, {}) : m_queue.Command(42, c.code);
    EXPECT_EQ(State(42), c.state);
    EXPECT_EQ(effects.card ? std::optional(effects.card->show) : std::nullopt, c.card);
    std::vector<Post> control;
    for (const Post& post : effects.posts) {
        if (post.target == Target::ControlThread) {
            control.push_back(post);
        }
    }
    EXPECT_EQ(control, c.control);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    QueueSteps,
    ::testing::Values(
        StepCase{"started", false, 0, 0, st::Contacting, CardShow::Progress, {}},
        StepCase{"no answer",
                 false,
                 1,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 0), PackWords(1, 0)}}}},
        StepCase{"no length",
                 false,
                 2,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 0), PackWords(1, 0)}}}},
        StepCase{"body begins", false, 3, 0, st::Downloading, CardShow::Progress, {}},
        StepCase{"cancel or short",
                 false,
                 4,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 0), PackWords(1, 0)}}}},
        StepCase{"complete",
                 false,
                 5,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 0), 0}}}},
        StepCase{"pause",
                 false,
                 6,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 1), 0}}}},
        StepCase{"continue",
                 false,
                 7,
                 0,
                 st::Downloading,
                 {},
                 {{Target::ControlThread, {msg::DownControl, PackWords(42, 2), 0}}}},
        StepCase{"paused", true, 1, 0, st::Paused, CardShow::Paused, {}},
        StepCase{"continued", true, 2, 0, st::Downloading, CardShow::Progress, {}},
        StepCase{"removed, completed", true, 0, 0, st::Downloaded, CardShow::Open, {}},
        StepCase{"removed, cancelled", true, 0, PackWords(1, 0), st::NotDownloaded, CardShow::Download, {}}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(),
            name.end(),
            [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
            '_');
        return name;
    });

// A download that ends on its own says so on the card; one the user cancels does not.
TEST_F(QueueTest, ADownloadThatEndsOnItsOwnIsShownAsFailed)
{
    const struct
    {
        const char* name;
        bool userCancels;
        std::uint32_t event;
        CardShow card;
    } cases[] = {
        {"no answer", false, 1, CardShow::Failed},
        {"no length", false, 2, CardShow::Failed},
        {"ended short", false, 4, CardShow::Failed},
        {"cancelled by the user", true, 4, CardShow::Download},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Held(42);
        if (c.userCancels) {
            (void)m_queue.Request(42, 0);
        }
        (void)m_queue.Command(42, c.event);
        const Effects effects = m_queue.Result(42, 0, PackWords(1, 0), {});
        ASSERT_TRUE(effects.card.has_value());
        EXPECT_EQ(effects.card->show, c.card);
        EXPECT_EQ(State(42), st::NotDownloaded);
        EXPECT_FALSE(m_queue.Held(42));
    }
}

TEST_F(QueueTest, ACompletedDownloadIsDatedAndRefreshesWhatShowsIt)
{
    struct Case
    {
        ListState list;
        ListRefill refill;
    };
    for (const Case& c : {Case{{true, true}, ListRefill::Online},
                          Case{{true, false}, ListRefill::Keep},
                          Case{{false, true}, ListRefill::Keep},
                          Case{{false, false}, ListRefill::Local}}) {
        for (const bool autogame : {false, true}) {
            m_settings.autogame = autogame;
            Held(9);
            const Effects done = m_queue.Result(9, 0, 0, c.list);
            EXPECT_EQ(m_catalogue.at("9").dawndate, "2009-7-5 14:3:9");
            EXPECT_EQ(done.refill, c.refill);
            EXPECT_TRUE(done.keepCard);
            EXPECT_TRUE(done.recount);
            EXPECT_FALSE(m_queue.Held(9));
            EXPECT_EQ(std::count(done.posts.begin(), done.posts.end(), Self(msg::GameAction, 9, 1)), autogame ? 1 : 0);
            EXPECT_EQ(done.posts.back(), (Post{Target::Manager, {msg::ManagerCommand, PackWords(9, 0), 0}}));
        }
    }
}

TEST_F(QueueTest, ProgressReachesTheCardAndTheStatusLine)
{
    Held(3);
    Effects report = m_queue.Progress(PackWords(3, 0), PackWords(47, 120));
    EXPECT_EQ(report.card, (CardChange{3, CardShow::Progress, 47}));
    EXPECT_EQ(report.posts,
              (std::vector<Post>{{Target::Manager, {msg::ManagerProgress, PackWords(3, 0), PackWords(47, 120)}}}));
    report = m_queue.Progress(PackWords(3, 0), 0);
    EXPECT_EQ(report.card->percent, 47) << "nothing received yet keeps the last percentage";
    EXPECT_FALSE(m_queue.Progress(PackWords(4, 0), PackWords(10, 1)).card) << "not held";
    (void)m_queue.Result(3, 1, 0, {});
    EXPECT_EQ(m_queue.CardFor(3), (CardChange{3, CardShow::Paused, 47}));
    EXPECT_FALSE(m_queue.CardFor(4));

    const Effects summary = m_queue.Progress(PackWords(0, 2), PackWords(30, 512));
    EXPECT_EQ(summary.statusCount, 2);
    EXPECT_EQ(summary.statusSpeed, 512);
    EXPECT_FALSE(summary.card);
    EXPECT_EQ(m_queue.Count(2).statusCount, 2);
    EXPECT_FALSE(m_queue.Count(2).statusSpeed);
    EXPECT_EQ(m_queue.Count(0).statusSpeed, 0);
}

struct TakeUpCase
{
    const char* name;
    std::int32_t state;
    bool autodown;
    StartResult answer;
    bool called;
    bool paused;
    std::int32_t after;
    Notice notice;
};

class QueueTakeUp
    : public QueueTest
    , public ::testing::WithParamInterface<TakeUpCase>
{};

TEST_P(QueueTakeUp, FollowsTheSettingAndTheAnswer)
{
    const TakeUpCase& c = GetParam();
    Game(77, c.state);
    m_settings.autodown = c.autodown;
    m_answer = c.answer;
    EXPECT_EQ(m_queue.Unfinished(), c.called ? std::vector<int>{77} : std::vector<int>{});
    const Effects effects = m_queue.TakeUp(77);
    ASSERT_EQ(m_calls.size(), c.called ? 1u : 0u);
    if (c.called) {
        EXPECT_EQ(m_calls[0].paused, c.paused);
    }
    EXPECT_EQ(State(77), c.after);
    EXPECT_EQ(effects.notice, c.notice);
    EXPECT_EQ(m_queue.Held(77), c.called && c.answer == StartResult::Started);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    QueueTakeUp,
    ::testing::Values(
        TakeUpCase{"RunningAutodownOff",
                   st::Downloading,
                   false,
                   StartResult::Started,
                   true,
                   true,
                   st::Paused,
                   Notice::None},
        TakeUpCase{"RunningAutodownOn",
                   st::Downloading,
                   true,
                   StartResult::Started,
                   true,
                   false,
                   st::Downloading,
                   Notice::None},
        TakeUpCase{"ContactingAutodownOn",
                   st::Contacting,
                   true,
                   StartResult::Started,
                   true,
                   false,
                   st::Downloading,
                   Notice::None},
        TakeUpCase{"PausedStaysPaused", st::Paused, true, StartResult::Started, true, true, st::Paused, Notice::None},
        TakeUpCase{"RunningRefused",
                   st::Downloading,
                   true,
                   StartResult::TooMany,
                   true,
                   false,
                   st::NotDownloaded,
                   Notice::TooMany},
        TakeUpCase{"PausedRefused",
                   st::Paused,
                   false,
                   StartResult::NoSpace,
                   true,
                   true,
                   st::NotDownloaded,
                   Notice::NoSpace},
        TakeUpCase{"Downloaded",
                   st::Downloaded,
                   true,
                   StartResult::Started,
                   false,
                   false,
                   st::Downloaded,
                   Notice::None},
        TakeUpCase{"NotDownloaded",
                   st::NotDownloaded,
                   true,
                   StartResult::Started,
                   false,
                   false,
                   st::NotDownloaded,
                   Notice::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QueueTest, OutcomesOfOpeningAGame)
{
    Game(12, st::Downloaded);
    EXPECT_EQ(m_queue.GameAction(12, 1, 0, {}).posts,
              (std::vector<Post>{{Target::UnpackingThread, {msg::UnzipOpen, PackWords(12, 0), 0}}}));
    EXPECT_EQ(m_queue.GameAction(12, 2, 0, {}).posts,
              (std::vector<Post>{{Target::UnpackingThread, {msg::UnzipRemove, PackWords(12, 0), 0}}}));
    EXPECT_TRUE(m_queue.GameAction(13, 1, 0, {}).posts.empty()) << "not in the catalogue";

    struct Case
    {
        std::uint32_t code;
        std::uint32_t tell;
        Notice notice;
    };
    for (const Case& c : {Case{0, 1, Notice::DownloadAgain},
                          Case{1, 1, Notice::ExtractFailed},
                          Case{2, 1, Notice::NoConfig},
                          Case{3, 1, Notice::NoExecutable},
                          Case{3, 0, Notice::None},
                          Case{4, 0, Notice::None}}) {
        const Effects effects = m_queue.GameAction(12, 3, PackWords(c.code, c.tell), {});
        EXPECT_EQ(effects.notice, c.notice) << c.code;
        EXPECT_EQ(effects.card, (CardChange{12, CardShow::Open, 0})) << "the card never stays on Loading";
        EXPECT_EQ(effects.confirmPosts.size(), c.code == 0 ? 1u : 0u);
    }
    EXPECT_EQ(m_queue.GameAction(12, 3, PackWords(0, 1), {}).confirmPosts,
              std::vector<Post>{Self(msg::DownloadRequest, 12, 1)});
    EXPECT_FALSE(m_queue.GameAction(12, 3, PackWords(5, 1), {}).card);
}

TEST_F(QueueTest, RemovalsAndViewChangesRefreshTheList)
{
    Game(12, st::Downloaded);
    EXPECT_EQ(m_queue.GameAction(12, 4, 0, {false, true}).refill, ListRefill::Local);
    EXPECT_EQ(m_queue.GameAction(12, 4, 0, {true, false}).refill, ListRefill::Online);
    EXPECT_EQ(m_queue.GameAction(12, 4, 0, {true, true}).refill, ListRefill::Keep);
    EXPECT_TRUE(m_queue.GameAction(12, 4, 0, {true, true}).recount);
    const Effects changed = m_queue.GameAction(0, 5, 0, {});
    EXPECT_EQ(changed.refill, ListRefill::Current);
    EXPECT_TRUE(changed.recount);
}

TEST_F(QueueTest, QuitKeepsADownloadStillContactingTheServer)
{
    Held(21);
    (void)m_queue.Command(21, msg::down_event::Started);
    Game(22, st::Paused);
    m_queue.Quit();
    EXPECT_EQ(State(21), st::Downloading);
    EXPECT_EQ(State(22), st::Paused);
    EXPECT_FALSE(m_queue.Held(21));
}

TEST_F(QueueTest, PercentOnDiskIsBytesAgainstTheSizeText)
{
    const std::string package = m_root.path + "/1.zip";
    EXPECT_EQ(queue::PercentOnDisk(package, "100K"), 0);
    std::ofstream(package) << std::string(40 * 1024, 'x');
    EXPECT_EQ(queue::PercentOnDisk(package, "100K"), 40);
    EXPECT_EQ(queue::PercentOnDisk(package, "20K"), 99) << "complete only once checked";
    EXPECT_EQ(queue::PercentOnDisk(package, "100"), 0) << "no unit: no size";
}

} // namespace
