// The loader thread without a catalogue server.

#include "loading/LoadingTd.h"

#include <gtest/gtest.h>

#include "LoadingTestSupport.h"
#include "TestHttpServer.h"
#include "WaitFor.h"
#include "platform/Messages.h"
#include "transfer/Http.h"

namespace loading::test {
namespace {

bool Finished(const StageRecorder& splash)
{
    const Stages stages = splash.Stages();
    return !stages.empty() && stages.back().first == 100;
}

TEST_F(ProgramDirTest, WithoutServerOrFilesLoadingCompletesWithDefaults)
{
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.serverBase = "http://127.0.0.1:1/"; // nothing listens there
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_EQ(splash.Stages(), (Stages{{1, 0}, {11, 0}, {21, 0}, {22, 0}, {15, 0}, {31, 0}, {100, 0}}));
    EXPECT_TRUE(stores.catalogue.empty());
    EXPECT_EQ(stores.categories.nodes.size(), 5U);
    EXPECT_TRUE(stores.categories.nodes.at("99").subs.at("99").games.empty());
    EXPECT_EQ(stores.settings.maxnum, 5);
    EXPECT_FALSE(fs::exists(m_dir / "gamelist.xml"));
    // The thread stays, idle, and can be stopped.
    loader.Stop();
}

TEST_F(ProgramDirTest, BrokenRootReportsTheFailureAndGoesOn)
{
    WriteBytes(m_dir / "gamelist.xml", "<games><game id=\"1\"/></games>");
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.fetchList = [](std::string_view) { return std::string(); };
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_EQ(splash.Stages(),
              (Stages{{1, 0}, {11, 0}, {13, 0}, {14, 1}, {21, 0}, {22, 0}, {15, 0}, {31, 0}, {100, 0}}));
}

TEST_F(ProgramDirTest, AClosedSplashLosesTheStagesButLoadingFinishes)
{
    WriteBytes(m_dir / "set.xml", "<set><autodown value=\"1\"/></set>");
    store::Stores stores;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.fetchList = [](std::string_view) { return std::string(); };
    std::atomic<bool> texts = false;
    options.buildTexts = [&] { texts = true; };
    LoadingTd loader(stores, options);
    {
        StageRecorder gone;
        loader.SetSplash(gone.Handle());
    }
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    // Stop lets the loading that runs finish.
    ASSERT_TRUE(testing_support::WaitFor([&] { return texts.load(); }));
    loader.Stop();
    EXPECT_TRUE(stores.settings.autodown);
}

TEST_F(ProgramDirTest, StartAndStopWithoutLoadingRepeatedly)
{
    store::Stores stores;
    LoadingOptions options;
    options.programDir = m_dir;
    for (int i = 0; i < 50; ++i) {
        LoadingTd loader(stores, options);
        loader.Start();
        if (i % 2 == 0) {
            loader.Stop();
        }
    }
    EXPECT_TRUE(stores.catalogue.empty());
}

// Where the loading hangs when it is aborted: the day list, a picture's header, a picture's body.
enum class StallAt
{
    List,
    PictureHeader,
    PictureBody,
};

class LoadingAbort
    : public ProgramDirTest
    , public ::testing::WithParamInterface<StallAt>
{};

TEST_P(LoadingAbort, EndsTheNetworkWorkAtOnceAndFinishesTheLocalSteps)
{
    using testing_support::HttpReply;
    using testing_support::HttpRequest;
    const StallAt stall = GetParam();
    testing_support::ServedFile picture;
    picture.content = std::string(9000, 'p');
    picture.getKind = HttpReply::Kind::StallMidBody;
    picture.cut = 3000;
    testing_support::TestHttpServer server([&](const HttpRequest& request) {
        HttpReply reply;
        if (request.path.rfind("/file/cls/", 0) == 0) {
            if (stall == StallAt::List) {
                reply.kind = HttpReply::Kind::Silent;
            } else {
                reply.body = "<gamelist><game id=\"7\" name=\"n\"><icopic>ico\\7.gif</icopic>"
                             "<piclist>pic\\7a.jpg##</piclist></game></gamelist>";
            }
            return reply;
        }
        if (stall == StallAt::PictureHeader) {
            reply.kind = HttpReply::Kind::Silent;
            return reply;
        }
        return testing_support::ServeFile(request, picture);
    });
    WriteBytes(m_dir / "set.xml", "<set><maxnum value=\"3\"/></set>");
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.serverBase = server.BaseUrl();
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    const fs::path icon = m_dir / "ico" / "7.gif";
    ASSERT_TRUE(testing_support::WaitFor([&] {
        switch (stall) {
        case StallAt::List:
            return !server.Requests("GET").empty();
        case StallAt::PictureHeader:
            return !server.Requests("HEAD").empty();
        case StallAt::PictureBody:
            return fs::exists(icon) && fs::file_size(icon) == 3000;
        }
        return false;
    }));

    const auto aborted = std::chrono::steady_clock::now();
    loader.Abort();
    loader.Abort(); // idempotent
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_LT(std::chrono::steady_clock::now() - aborted, std::chrono::seconds(1));
    const Stages stages = splash.Stages();
    ASSERT_GE(stages.size(), 3U);
    EXPECT_EQ(Stages(stages.end() - 3, stages.end()), (Stages{{15, 0}, {31, 0}, {100, 0}}));
    EXPECT_EQ(stores.settings.maxnum, 3); // the local steps ran
    EXPECT_EQ(stores.catalogue.size(), stall == StallAt::List ? 0U : 1U);
    // No further request after the abort: the second picture is left for the next start.
    EXPECT_TRUE(server.Requests("HEAD").size() <= 1);
    if (stall == StallAt::PictureBody) {
        EXPECT_EQ(fs::file_size(icon), 3000U); // partial, with its side file to resume from
        EXPECT_EQ(ReadBytes(transfer::SideFilePath(icon.string())), "##Mon,06Dec201010:00:00GMT\r##");
    } else {
        EXPECT_FALSE(fs::exists(icon));
    }
}

INSTANTIATE_TEST_SUITE_P(Stalls,
                         LoadingAbort,
                         ::testing::Values(StallAt::List, StallAt::PictureHeader, StallAt::PictureBody));

TEST_F(ProgramDirTest, AnAbortBeforeTheLoadingMakesNoRequest)
{
    testing_support::TestHttpServer server(
        [](const testing_support::HttpRequest&) { return testing_support::HttpReply(); });
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.serverBase = server.BaseUrl();
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Abort();
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_TRUE(server.Requests().empty());
}

} // namespace
} // namespace loading::test
