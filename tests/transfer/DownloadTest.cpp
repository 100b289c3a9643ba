// The download control thread and its workers against the in-test server: events, resumption,
// refused answers, pause, resume, remove, admission and the report messages.

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "TestHttpServer.h"
#include "TransferTestSupport.h"
#include "platform/Messages.h"
#include "transfer/DownControlThread.h"
#include "transfer/Http.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using platform::HiWord;
using platform::LoWord;
using platform::PackWords;
using transfer::StartResult;
namespace msg = platform::msg;
namespace event = platform::msg::down_event;
using Events = std::vector<std::uint32_t>;

constexpr int Game = 4321;
constexpr std::size_t PackageBytes = 10000;

class Download : public ::testing::Test
{
protected:
    Download()
        : server([this](const HttpRequest& request) {
            std::lock_guard lock(fileMutex);
            return ServeFile(request, file);
        })
    {
        file.content = PatternBytes(PackageBytes, 3);
        control = std::make_unique<transfer::DownControlThread>(
            window.Handle(),
            dir.Dir(),
            [this] { return maxnum.load(); },
            env);
    }

    StartResult Start(int id, bool paused = false, const std::string& size = "10K")
    {
        return control->StartDownload(id,
                                      Package(id).string(),
                                      transfer::PackageUrl(server.BaseUrl(), id),
                                      size,
                                      paused);
    }
    std::filesystem::path Package(int id = Game) const { return transfer::PackagePath(dir.Dir(), id); }
    std::filesystem::path Side(int id = Game) const { return transfer::SideFilePath(Package(id).string()); }
    std::string ServerSideFile() const
    {
        return transfer::SideFileContent(transfer::LastModifiedText("Last-Modified: " + file.lastModified + "\r\n"));
    }
    template <typename F>
    void Change(F change)
    {
        std::lock_guard lock(fileMutex);
        change(file);
    }
    void Control(int id, std::uint32_t action, platform::Param lParam = 0)
    {
        ASSERT_TRUE(control->Handle() != 0);
        platform::PostMessageTo(control->Handle(), msg::DownControl, PackWords(id, action), lParam);
    }
    // Posts a report and waits for its summary, so that everything posted before it has arrived.
    void Report()
    {
        const std::size_t summaries = Summaries().size();
        platform::PostMessageTo(control->Handle(), msg::DownReportMain, 0, 0);
        ASSERT_TRUE(WaitFor([&] { return Summaries().size() > summaries; }));
    }
    std::vector<platform::Message> Summaries() const
    {
        std::vector<platform::Message> out;
        for (const auto& m : window.Messages(msg::Progress)) {
            if (HiWord(m.wParam) == 0) {
                out.push_back(m);
            }
        }
        return out;
    }
    std::vector<platform::Message> ProgressOf(int id) const
    {
        std::vector<platform::Message> out;
        for (const auto& m : window.Messages(msg::Progress)) {
            if (HiWord(m.wParam) == static_cast<std::uint32_t>(id)) {
                out.push_back(m);
            }
        }
        return out;
    }
    bool Ended(int id = Game) const
    {
        for (std::uint32_t e : window.Events(id)) {
            if (e == event::NoAnswer || e == event::NoLength || e == event::SizeMismatch || e == event::Complete) {
                return true;
            }
        }
        return false;
    }

    TempProgramDir dir;
    RecordingWindow window;
    std::shared_ptr<FakeEnv> env = std::make_shared<FakeEnv>(std::uint64_t{1} << 40, false);
    std::atomic<int> maxnum{5};
    std::mutex fileMutex;
    ServedFile file;
    TestHttpServer server;
    std::unique_ptr<transfer::DownControlThread> control; // last: stopped first
};

TEST_F(Download, AFullTransferPostsItsEventsInOrderAndUnpacks)
{
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(Package()), file.content);
    EXPECT_FALSE(std::filesystem::exists(Side()));
    EXPECT_EQ(env->unpacked.load(), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[0].path, "/download/4/4321.zip");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].range, "0-10000");
    EXPECT_TRUE(requests[1].referrer.empty());

    const auto counts = window.Messages(msg::TransferCount);
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].wParam, PackWords(1, 0));
    EXPECT_EQ(counts[0].lParam, 0u);
}

// The header request's failures: the worker ends after event 0 with 1 or 2, asks for no body and
// writes nothing.
struct HeadFailure
{
    const char* name;
    std::function<void(ServedFile&, HttpReply&)> bend;
    std::uint32_t event;
    std::uint64_t free = std::uint64_t{1} << 40;
    friend void PrintTo(const HeadFailure& failure, std::ostream* out) { *out << failure.name; }
};

class HeadFailures
    : public Download
    , public ::testing::WithParamInterface<HeadFailure>
{};

TEST_P(HeadFailures, EndTheWorkerWithoutABodyRequest)
{
    const HeadFailure& failure = GetParam();
    env->SetFree(failure.free);
    server.SetHandler([this, &failure](const HttpRequest& request) {
        std::lock_guard lock(fileMutex);
        ServedFile bent = file;
        HttpReply reply;
        failure.bend(bent, reply);
        if (reply.status != 200 || reply.kind != HttpReply::Kind::Normal) {
            return reply;
        }
        return ServeFile(request, bent);
    });
    ASSERT_EQ(Start(Game, false, "1K"), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, failure.event}));
    EXPECT_TRUE(server.Requests("GET").empty());
    EXPECT_FALSE(std::filesystem::exists(Package()));
}

HttpReply ErrorReply(int status, std::vector<std::string> headers)
{
    HttpReply reply;
    reply.status = status;
    reply.headers = std::move(headers);
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Transfer,
    HeadFailures,
    ::testing::Values(
        HeadFailure{"HangUp",
                    [](ServedFile&, HttpReply& r) { r.kind = HttpReply::Kind::HangUpWithoutAnswer; },
                    event::NoAnswer},
        HeadFailure{"NoLength", [](ServedFile& f, HttpReply&) { f.omitLength = true; }, event::NoLength},
        HeadFailure{"ZeroLength", [](ServedFile& f, HttpReply&) { f.claimedLength = 0; }, event::NoLength},
        HeadFailure{"NotFound",
                    [](ServedFile&, HttpReply& r) { r = ErrorReply(404, {"Content-Length: 153"}); },
                    event::NoLength},
        HeadFailure{"Redirect",
                    [](ServedFile&, HttpReply& r) {
                        r = ErrorReply(302, {"Location: http://127.0.0.1:1/x.zip", "Content-Length: 154"});
                    },
                    event::NoLength},
        HeadFailure{"HugeLength",
                    [](ServedFile& f, HttpReply&) { f.claimedLength = std::int64_t{1} << 60; },
                    event::NoLength},
        HeadFailure{"MoreThanTheDiskHolds", [](ServedFile&, HttpReply&) {}, event::NoLength, 9999}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, ASilentServerEndsTheHeaderRequestAfterFiveSeconds)
{
    server.SetHandler([](const HttpRequest&) {
        HttpReply reply;
        reply.kind = HttpReply::Kind::Silent;
        return reply;
    });
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }, 15s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4900ms);
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::NoAnswer}));
}

TEST_F(Download, ABrokenConnectionKeepsThePartialPackageForTheNextStart)
{
    Change([](ServedFile& f) {
        f.getKind = HttpReply::Kind::DropMidBody;
        f.cut = 4000;
    });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::SizeMismatch}));
    EXPECT_EQ(ReadAll(Package()), file.content.substr(0, 4000));
    EXPECT_EQ(ReadAll(Side()), ServerSideFile());
    EXPECT_EQ(env->unpacked.load(), 0);

    // The main window removes the failed download and the user starts it again.
    Control(Game, 0);
    ASSERT_TRUE(WaitFor([&] { return control->Count() == 0; }));
    window.Clear();
    Change([](ServedFile& f) { f.getKind = HttpReply::Kind::Normal; });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(server.Requests("GET").back().range, "4000-10000");
    EXPECT_EQ(ReadAll(Package()), file.content);
}

// Answers to the body request that cannot be the missing bytes: the partial package stays as it
// was and the download ends short.
struct BodyFailure
{
    const char* name;
    std::function<void(ServedFile&)> bend;
    friend void PrintTo(const BodyFailure& failure, std::ostream* out) { *out << failure.name; }
};

class BodyFailures
    : public Download
    , public ::testing::WithParamInterface<BodyFailure>
{};

TEST_P(BodyFailures, AppendNothingAndEndShort)
{
    const std::string head = file.content.substr(0, 4000);
    WriteAll(Package(), head);
    WriteAll(Side(), ServerSideFile());
    Change(GetParam().bend);
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::SizeMismatch}));
    EXPECT_EQ(ReadAll(Package()), head);
    EXPECT_EQ(env->unpacked.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Transfer,
    BodyFailures,
    ::testing::Values(BodyFailure{"WholeFileOfAnotherLength",
                                  [](ServedFile& f) {
                                      f.ignoreRange = true;
                                      f.claimedLength = 12000;
                                  }},
                      BodyFailure{"RangeStartsElsewhere", [](ServedFile& f) { f.rangeStartLie = 0; }},
                      BodyFailure{"LongerThanAnnounced", [](ServedFile& f) { f.claimedLength = 8000; }},
                      BodyFailure{"ShorterThanAnnounced", [](ServedFile& f) { f.claimedLength = 12000; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, AnErrorAnswerToTheBodyIsNotSaved)
{
    for (int status : {404, 302, 500}) {
        SCOPED_TRACE(status);
        window.Clear();
        server.SetHandler([this, status](const HttpRequest& request) {
            if (request.method == "HEAD") {
                std::lock_guard lock(fileMutex);
                return ServeFile(request, file);
            }
            HttpReply reply = ErrorReply(status, {"Location: http://127.0.0.1:1/", "Content-Length: 20"});
            reply.body = "<html>failure</html>";
            return reply;
        });
        ASSERT_EQ(Start(Game), StartResult::Started);
        ASSERT_TRUE(WaitFor([&] { return Ended(); }));
        EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::SizeMismatch}));
        EXPECT_FALSE(std::filesystem::exists(Package())); // nothing made for an answer refused
        EXPECT_FALSE(std::filesystem::exists(Side()));
        Control(Game, 0);
        ASSERT_TRUE(WaitFor([&] { return control->Count() == 0; }));
    }
}

TEST_F(Download, AServerThatIgnoresTheRangeStartsThePackageOverFromZero)
{
    // Bytes on disk that the whole package sent again must replace, never follow.
    WriteAll(Package(), std::string(4000, 'z'));
    WriteAll(Side(), ServerSideFile());
    Change([](ServedFile& f) {
        f.ignoreRange = true;
        f.getKind = HttpReply::Kind::DropMidBody;
        f.cut = 3000;
    });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::SizeMismatch}));
    EXPECT_EQ(ReadAll(Package()), file.content.substr(0, 3000));
    EXPECT_EQ(ReadAll(Side()), ServerSideFile());

    Control(Game, 0);
    ASSERT_TRUE(WaitFor([&] { return control->Count() == 0; }));
    window.Clear();
    Change([](ServedFile& f) { f.getKind = HttpReply::Kind::Normal; });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(server.Requests("GET").back().range, "3000-10000");
    EXPECT_EQ(ReadAll(Package()), file.content);
    EXPECT_FALSE(std::filesystem::exists(Side()));
}

TEST_F(Download, AChangedPackageOnTheServerStartsOverFromZero)
{
    WriteAll(Package(), std::string(4000, 'z'));
    WriteAll(Side(), "##Sun,05Dec201009:00:00GMT\r##");
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(server.Requests("GET").back().range, "0-10000");
    EXPECT_EQ(ReadAll(Package()), file.content);
}

TEST_F(Download, APartialPackageWithoutItsSideFileStartsOver)
{
    WriteAll(Package(), std::string(4000, 'z'));
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(server.Requests("GET").back().range, "0-10000");
    EXPECT_EQ(ReadAll(Package()), file.content);
}

TEST_F(Download, ALongerLocalFileIsReplaced)
{
    WriteAll(Package(), std::string(12000, 'z'));
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(Package()), file.content);
}

TEST_F(Download, ACompletePackageOnDiskIsNotFetchedAgain)
{
    WriteAll(Package(), file.content);
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::Complete}));
    EXPECT_TRUE(server.Requests("GET").empty());
    EXPECT_EQ(env->unpacked.load(), 0);
}

TEST_F(Download, TheTimeLimitCountsRunningTimeOnly)
{
    // 10 000 bytes from 0: the limit is 10000 div 5120 + 1 = 2 seconds. Held longer, then let go.
    Change([](ServedFile& f) {
        f.pieceBytes = 1000;
        f.pieceDelayMs = 50;
    });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(window.WaitForEvent(Game, event::BodyBegins));
    Control(Game, 1);
    std::this_thread::sleep_for(3s);
    EXPECT_FALSE(Ended());
    Control(Game, 2);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(Package()), file.content);

    // Running, the limit still ends a body that stalls.
    Change([](ServedFile& f) {
        f.getKind = HttpReply::Kind::StallMidBody;
        f.cut = 3000;
    });
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Start(2), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(2); }));
    EXPECT_EQ(window.Events(2), (Events{event::Started, event::BodyBegins, event::SizeMismatch}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);
}

TEST_F(Download, PauseHoldsTheBytesAndResumeCarriesOn)
{
    Change([](ServedFile& f) {
        f.content = PatternBytes(400000, 9);
        f.pieceBytes = 8000;
        f.pieceDelayMs = 10;
    });
    ASSERT_EQ(Start(Game, false, "400K"), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(Package()) > 20000; }));

    Control(Game, 1, 0xABCD1234);
    ASSERT_TRUE(window.WaitForCount(msg::CommandResult, 1));
    const auto result = window.Messages(msg::CommandResult).front();
    EXPECT_EQ(result.wParam, PackWords(Game, 1));
    EXPECT_EQ(result.lParam, 0xABCD1234u);
    std::this_thread::sleep_for(150ms); // bytes already on their way may still land
    const std::int64_t held = SizeOf(Package());
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(SizeOf(Package()), held);
    EXPECT_LT(held, 400000);
    EXPECT_FALSE(Ended());

    Control(Game, 2);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(Package()), file.content);
    const auto results = window.Messages(msg::CommandResult);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].wParam, PackWords(Game, 2));
}

TEST_F(Download, RemoveStopsTheWorkerAndKeepsThePartialPackage)
{
    Change([](ServedFile& f) {
        f.content = PatternBytes(400000, 5);
        f.pieceBytes = 4000;
        f.pieceDelayMs = 10;
    });
    ASSERT_EQ(Start(Game, false, "400K"), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(Package()) > 20000; }));
    Control(Game, 0, 0x10000);
    ASSERT_TRUE(window.WaitForCount(msg::CommandResult, 1));
    EXPECT_EQ(control->Count(), 0u);
    const auto counts = window.Messages(msg::TransferCount);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[1].wParam, PackWords(0, 0));
    const auto result = window.Messages(msg::CommandResult).front();
    EXPECT_EQ(result.wParam, PackWords(Game, 0));
    EXPECT_EQ(result.lParam, 0x10000u);

    const std::int64_t kept = SizeOf(Package());
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 400000);
    EXPECT_EQ(ReadAll(Package()), file.content.substr(0, static_cast<std::size_t>(kept)));
    EXPECT_EQ(ReadAll(Side()), ServerSideFile());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(SizeOf(Package()), kept);
    EXPECT_EQ(window.Events(Game), (Events{event::Started, event::BodyBegins})); // nothing after the removal
}

TEST_F(Download, StoppingEverythingNeverWaitsForTheNetwork)
{
    Change([](ServedFile& f) {
        f.getKind = HttpReply::Kind::StallMidBody;
        f.cut = 3000;
    });
    ASSERT_EQ(Start(1), StartResult::Started);
    ASSERT_EQ(Start(2), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(Package(1)) == 3000 && SizeOf(Package(2)) == 3000; }));
    server.SetHandler([](const HttpRequest&) {
        HttpReply reply;
        reply.kind = HttpReply::Kind::Silent;
        return reply;
    });
    ASSERT_EQ(Start(3), StartResult::Started); // stuck in its header request
    ASSERT_TRUE(WaitFor([&] { return server.Requests("HEAD").size() == 3; }));
    const auto started = std::chrono::steady_clock::now();
    control->StopAll();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(control->Count(), 0u);
    EXPECT_EQ(SizeOf(Package(1)), 3000);
    EXPECT_FALSE(Ended(1) || Ended(2) || Ended(3));
}

TEST_F(Download, AdmissionTestsTheLimitFirstThenTheFreeSpace)
{
    env->SetFree(25 * 1024);
    maxnum = 2;
    EXPECT_EQ(Start(1, true, "10K"), StartResult::Started);
    EXPECT_EQ(Start(2, true, "20K"), StartResult::NoSpace); // 10K + 20K > 25K
    EXPECT_EQ(Start(2, true, "15K"), StartResult::Started); // exactly 25K fits
    EXPECT_EQ(Start(3, true, "1K"), StartResult::TooMany);  // both full: the limit is named
    maxnum = 3;
    EXPECT_EQ(Start(3, true, "1K"), StartResult::NoSpace);
    env->SetFree(std::nullopt);
    EXPECT_EQ(Start(3, true, "0K"), StartResult::NoSpace); // free space that cannot be had refuses
    EXPECT_EQ(control->Count(), 2u);

    // A download already held is always admitted again, without a new count.
    const std::size_t counts = window.Messages(msg::TransferCount).size();
    EXPECT_EQ(Start(1, false, "10K"), StartResult::Started);
    EXPECT_EQ(window.Messages(msg::TransferCount).size(), counts);
    EXPECT_EQ(control->Count(), 2u);
}

TEST_F(Download, ADownloadCreatedPausedWaitsForItsResume)
{
    ASSERT_EQ(Start(Game, true), StartResult::Started);
    EXPECT_EQ(window.Events(Game), (Events{event::CreatedPaused}));
    const auto counts = window.Messages(msg::TransferCount);
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(HiWord(counts[0].wParam), 1u);
    Report(); // lets the control thread run for a while
    EXPECT_TRUE(server.Requests().empty());

    Control(Game, 2);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    EXPECT_EQ(window.Events(Game), (Events{event::CreatedPaused, event::Started, event::BodyBegins, event::Complete}));
}

TEST_F(Download, ControlOfAnUnknownGamePostsNothing)
{
    for (std::uint32_t action : {0u, 1u, 2u, 7u}) {
        Control(99, action);
    }
    Report();
    EXPECT_TRUE(window.Messages(msg::CommandResult).empty());
    EXPECT_TRUE(window.Messages(msg::TransferCount).empty());
}

TEST_F(Download, ReportsPackPercentAndKilobytes)
{
    // 5000 bytes on disk, then 2048 more arrive and the server stalls.
    WriteAll(Package(), file.content.substr(0, 5000));
    WriteAll(Side(), ServerSideFile());
    Change([](ServedFile& f) {
        f.getKind = HttpReply::Kind::StallMidBody;
        f.cut = 2048;
    });
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_EQ(Start(7, true, "10K"), StartResult::Started); // paused, nothing received
    ASSERT_TRUE(WaitFor([&] { return SizeOf(Package()) == 7048; }));

    Report();
    auto progress = ProgressOf(Game);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].wParam, PackWords(Game, 0));
    EXPECT_EQ(progress[0].lParam, PackWords(70, 2)); // 7048 of 10000; 2048 bytes since the start
    EXPECT_TRUE(ProgressOf(7).empty());              // paused: left out
    EXPECT_EQ(Summaries().back().wParam, 2u);        // number of downloads in the low word
    EXPECT_EQ(Summaries().back().lParam, PackWords(70, 2));

    Report();
    progress = ProgressOf(Game);
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[1].lParam, PackWords(70, 0));

    RecordingWindow panel;
    platform::PostMessageTo(control->Handle(), msg::DownReportWindow, panel.Handle(), 0);
    ASSERT_TRUE(panel.WaitForCount(msg::Progress, 2));
    auto rows = panel.Messages(msg::Progress); // in id order
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].wParam, PackWords(7, 0));
    EXPECT_EQ(rows[0].lParam, 0u);
    EXPECT_EQ(rows[1].wParam, PackWords(Game, 0));
    EXPECT_EQ(rows[1].lParam, PackWords(70, 0));

    // Paused: out of the main report and its totals, in the panel's with its percent.
    Control(Game, 1);
    ASSERT_TRUE(window.WaitForCount(msg::CommandResult, 1));
    Report();
    EXPECT_EQ(ProgressOf(Game).size(), 2u);
    EXPECT_EQ(Summaries().back().wParam, 2u);
    EXPECT_EQ(Summaries().back().lParam, 0u);
    panel.Clear();
    platform::PostMessageTo(control->Handle(), msg::DownReportWindow, panel.Handle(), 0);
    ASSERT_TRUE(panel.WaitForCount(msg::Progress, 2));
    EXPECT_EQ(panel.Messages(msg::Progress)[1].lParam, PackWords(70, 0));
}

TEST_F(Download, ACompleteDownloadReportsAHundredPercentToTheMainWindowOnly)
{
    ASSERT_EQ(Start(Game), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(); }));
    Control(Game, 2); // a resume after the end makes it count as running again
    ASSERT_TRUE(window.WaitForCount(msg::CommandResult, 1));
    Report();
    ASSERT_EQ(ProgressOf(Game).size(), 1u);
    EXPECT_EQ(HiWord(ProgressOf(Game)[0].lParam), 100u);
    RecordingWindow panel;
    platform::PostMessageTo(control->Handle(), msg::DownReportWindow, panel.Handle(), 0);
    ASSERT_TRUE(panel.WaitForCount(msg::Progress, 1));
    EXPECT_EQ(panel.Messages(msg::Progress)[0].lParam, 0u);
}

TEST_F(Download, GameIdsBeyondSixteenBitsTravelAsTheirLowWord)
{
    ASSERT_EQ(Start(70000, true), StartResult::Started);
    const auto commands = window.Messages(msg::DownloadCommand);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(HiWord(commands[0].wParam), 70000u & 0xFFFFu);
    EXPECT_EQ(LoWord(commands[0].wParam), event::CreatedPaused);
}

} // namespace
