// Downloads and fetches while the name lookup of the server hangs (SlowLookup.cpp): removing,
// stopping everything, aborting and the time limits never wait for the lookup.

#include <chrono>
#include <future>
#include <memory>

#include <gtest/gtest.h>

#include "SlowLookup.h"
#include "TestHttpServer.h"
#include "TransferTestSupport.h"
#include "transfer/AbortSignal.h"
#include "transfer/DownControlThread.h"
#include "transfer/Http.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace msg = platform::msg;
namespace event = platform::msg::down_event;

class SlowLookup : public ::testing::Test
{
protected:
    SlowLookup()
        : server([this](const HttpRequest& request) { return ServeFile(request, file); })
    {
        file.content = PatternBytes(10000, 3);
    }

    // The server's address under a name whose lookup hangs.
    std::string SlowBase() const
    {
        std::string base = server.BaseUrl();
        base.replace(base.find("127.0.0.1"), 9, std::string("server.") + SlowLookupDomain);
        return base;
    }
    void Start(int id)
    {
        ASSERT_EQ(control->StartDownload(id,
                                         transfer::PackagePath(dir.Dir(), id),
                                         transfer::PackageUrl(SlowBase(), id),
                                         "10K",
                                         false),
                  transfer::StartResult::Started);
        ASSERT_TRUE(window.WaitForEvent(id, event::Started));
        std::this_thread::sleep_for(200ms); // well inside the lookup
    }

    TempProgramDir dir;
    RecordingWindow window;
    ServedFile file;
    TestHttpServer server;
    std::unique_ptr<transfer::DownControlThread> control = std::make_unique<transfer::DownControlThread>(
        window.Handle(),
        dir.Dir(),
        [] { return 5; },
        std::make_shared<FakeEnv>(std::uint64_t{1} << 40, false));
};

TEST_F(SlowLookup, RemovingADownloadKeepsTheControlThreadAnswering)
{
    Start(1);
    const auto asked = Clock::now();
    platform::PostMessageTo(control->Handle(), msg::DownControl, platform::PackWords(1, 0), 0);
    platform::PostMessageTo(control->Handle(), msg::DownReportMain, 0, 0);
    ASSERT_TRUE(window.WaitForCount(msg::Progress, 1)); // the report after the removal
    EXPECT_LT(Clock::now() - asked, 1s);
    EXPECT_EQ(window.Messages(msg::CommandResult).size(), 1u);
    EXPECT_EQ(control->Count(), 0u);
    EXPECT_FALSE(std::filesystem::exists(transfer::PackagePath(dir.Dir(), 1)));
}

TEST_F(SlowLookup, StoppingEverythingReturnsAtOnce)
{
    Start(1);
    Start(2);
    const auto asked = Clock::now();
    control->StopAll();
    EXPECT_LT(Clock::now() - asked, 1s);
    EXPECT_EQ(control->Count(), 0u);
}

TEST_F(SlowLookup, TheHeaderRequestEndsAtItsFiveSecondLimit)
{
    const auto started = Clock::now();
    Start(1);
    ASSERT_TRUE(window.WaitForEvent(1, event::NoAnswer, 12s));
    EXPECT_LT(Clock::now() - started, 7s);
    EXPECT_EQ(window.Events(1), (std::vector<std::uint32_t>{event::Started, event::NoAnswer}));
}

TEST_F(SlowLookup, AnAbortEndsAListFetchAtOnce)
{
    transfer::AbortSignal signal;
    auto fetched = std::async(std::launch::async,
                              [&] { return transfer::FetchListBytes(SlowBase() + "file/cls/1.xml", &signal); });
    std::this_thread::sleep_for(200ms);
    const auto asked = Clock::now();
    signal.Abort();
    ASSERT_EQ(fetched.wait_for(1s), std::future_status::ready);
    EXPECT_LT(Clock::now() - asked, 1s);
    EXPECT_EQ(fetched.get(), "");
}

} // namespace
