// Downloads, pictures and day lists from the sample catalogue served by nginx on loopback (the
// catalogue_server fixture writes the base address into the build folder).

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "TransferTestSupport.h"
#include "transfer/CurlSession.h"
#include "transfer/DownControlThread.h"
#include "transfer/Http.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;
using transfer::StartResult;
namespace fs = std::filesystem;
namespace msg = platform::msg;
namespace event = platform::msg::down_event;
using Events = std::vector<std::uint32_t>;

const fs::path BuildDir = MARLUNE_BINARY_DIR;

std::string BaseUrl()
{
    std::ifstream in(BuildDir / "catalogue-server" / "base-url");
    std::string base;
    std::getline(in, base);
    return base;
}

// Sample packages of the served tree, by id, smallest first.
std::vector<std::pair<int, std::int64_t>> Packages()
{
    std::vector<std::pair<int, std::int64_t>> out;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(BuildDir / "catalogue" / "download", error)) {
        if (entry.path().extension() == ".zip") {
            out.emplace_back(std::stoi(entry.path().stem().string()), static_cast<std::int64_t>(entry.file_size()));
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return out;
}

fs::path ServedPackage(int id)
{
    return BuildDir / "catalogue" / transfer::PackageUrl("", id);
}

// Lines of nginx's access log that name the path.
std::vector<std::string> AccessLines(const std::string& path)
{
    std::ifstream in(BuildDir / "catalogue-server" / "access.log");
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" " + path + " ") != std::string::npos) {
            out.push_back(line);
        }
    }
    return out;
}

class Served : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = BaseUrl();
        ASSERT_FALSE(base.empty()) << "the catalogue server is not running (fixture catalogue_server)";
        packages = Packages();
        ASSERT_GT(packages.size(), 300u);
    }
    void MakeControl(std::shared_ptr<const transfer::TransferEnv> env = nullptr)
    {
        control = std::make_unique<transfer::DownControlThread>(
            window.Handle(),
            dir.Dir(),
            [] { return 5; },
            env);
    }
    StartResult Start(int id, const std::string& base_, bool paused = false)
    {
        return control->StartDownload(id,
                                      transfer::PackagePath(dir.Dir(), id),
                                      transfer::PackageUrl(base_, id),
                                      "1K",
                                      paused);
    }
    bool Ended(int id) const
    {
        const Events events = window.Events(id);
        return !events.empty()
               && (events.back() == event::Complete || events.back() == event::SizeMismatch
                   || events.back() == event::NoAnswer || events.back() == event::NoLength);
    }
    // A package of at least `bytes`, not used by another test of this run.
    int PackageOfAtLeast(std::int64_t bytes, int skip = 0)
    {
        for (const auto& [id, size] : packages) {
            if (size >= bytes && skip-- == 0) {
                return id;
            }
        }
        return packages.back().first;
    }

    std::string base;
    std::vector<std::pair<int, std::int64_t>> packages;
    TempProgramDir dir;
    RecordingWindow window;
    std::unique_ptr<transfer::DownControlThread> control;
};

TEST_F(Served, ASampleGameIsDownloadedAndUnpacked)
{
    MakeControl();
    const int id = PackageOfAtLeast(100 * 1024);
    ASSERT_EQ(Start(id, base), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(id); }));
    EXPECT_EQ(window.Events(id), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(transfer::PackagePath(dir.Dir(), id)), ReadAll(ServedPackage(id)));

    const fs::path folder = transfer::GameFolder(dir.Dir(), id);
    const std::string config = ReadAll(folder / "index.dat");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(config, match, std::regex("file=([^\r\n]+)")));
    const fs::path executable = folder / match[1].str();
    EXPECT_TRUE(fs::exists(executable));
    EXPECT_TRUE(fs::exists(folder / "data" / "level.dat"));
}

TEST_F(Served, AResumedDownloadAsksForExactlyTheMissingRange)
{
    MakeControl();
    const int id = PackageOfAtLeast(50 * 1024, 1);
    const std::string url = transfer::PackageUrl(base, id);
    const std::string served = ReadAll(ServedPackage(id));
    const fs::path package = transfer::PackagePath(dir.Dir(), id);

    // The first 12345 bytes are on disk from an earlier run, begun from the same copy.
    transfer::detail::CurlSession session;
    transfer::detail::RequestControl flags;
    const auto head = session.Head(url, 5, "", flags);
    ASSERT_EQ(head.status, 200);
    WriteAll(package, served.substr(0, 12345));
    WriteAll(transfer::SideFilePath(package.string()),
             transfer::SideFileContent(transfer::LastModifiedText(head.headers)));

    const std::string path = "/" + transfer::PackageUrl("", id);
    ASSERT_EQ(Start(id, base), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(id); }));
    EXPECT_EQ(window.Events(id), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(package), served);
    const std::string wanted = "range=\"bytes=12345-" + std::to_string(served.size()) + "\"";
    ASSERT_TRUE(WaitFor([&] {
        const auto lines = AccessLines(path);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find("\"GET ") != std::string::npos && l.find(wanted) != std::string::npos
                   && l.find(" 206 ") != std::string::npos;
        });
    })) << "no GET with "
        << wanted;
}

TEST_F(Served, ACompletePackageCostsOnlyTheHeaderRequest)
{
    MakeControl();
    const int id = PackageOfAtLeast(20 * 1024, 2);
    const fs::path package = transfer::PackagePath(dir.Dir(), id);
    fs::copy_file(ServedPackage(id), package);
    const std::string path = "/" + transfer::PackageUrl("", id);
    const auto gets = [&] {
        const auto lines = AccessLines(path);
        return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find("\"GET ") != std::string::npos;
        });
    };
    const auto getsBefore = gets();
    const auto headsBefore = AccessLines(path).size() - static_cast<std::size_t>(getsBefore);
    ASSERT_EQ(Start(id, base), StartResult::Started);
    ASSERT_TRUE(WaitFor([&] { return Ended(id); }));
    EXPECT_EQ(window.Events(id), (Events{event::Started, event::Complete}));
    ASSERT_TRUE(WaitFor([&] { return AccessLines(path).size() > headsBefore + static_cast<std::size_t>(getsBefore); }));
    EXPECT_EQ(gets(), getsBefore);
}

TEST_F(Served, PauseResumeAndRemoveAtAModemsPace)
{
    MakeControl();
    const int slowId = PackageOfAtLeast(1024 * 1024); // a second or more at the slow location
    const int gone = PackageOfAtLeast(1024 * 1024, 1);
    const std::string slow = base + "slow/";
    ASSERT_EQ(Start(slowId, slow), StartResult::Started);
    ASSERT_EQ(Start(gone, slow), StartResult::Started);
    const fs::path package = transfer::PackagePath(dir.Dir(), slowId);
    const fs::path removed = transfer::PackagePath(dir.Dir(), gone);
    ASSERT_TRUE(WaitFor([&] { return SizeOf(package) > 64 * 1024 && SizeOf(removed) > 64 * 1024; }));

    platform::PostMessageTo(control->Handle(), msg::DownControl, platform::PackWords(gone, 0), 0);
    platform::PostMessageTo(control->Handle(), msg::DownControl, platform::PackWords(slowId, 1), 0);
    ASSERT_TRUE(window.WaitForCount(msg::CommandResult, 2));
    EXPECT_EQ(control->Count(), 1u);
    std::this_thread::sleep_for(150ms);
    const std::int64_t held = SizeOf(package);
    const std::int64_t kept = SizeOf(removed);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(SizeOf(package), held);
    EXPECT_EQ(SizeOf(removed), kept);
    EXPECT_GT(kept, 0);
    EXPECT_EQ(ReadAll(removed), ReadAll(ServedPackage(gone)).substr(0, static_cast<std::size_t>(kept)));

    platform::PostMessageTo(control->Handle(), msg::DownControl, platform::PackWords(slowId, 2), 0);
    ASSERT_TRUE(WaitFor([&] { return Ended(slowId); }, 30s));
    EXPECT_EQ(window.Events(slowId), (Events{event::Started, event::BodyBegins, event::Complete}));
    EXPECT_EQ(ReadAll(package), ReadAll(ServedPackage(slowId)));
    EXPECT_EQ(window.Events(gone), (Events{event::Started, event::BodyBegins}));
}

TEST_F(Served, PicturesAreFetchedOnceAndDayListsComeInTwoEncodings)
{
    // An icon and a screenshot of the sample catalogue.
    std::vector<std::string> pictures;
    for (const char* folder : {"ico", "pic"}) {
        for (const auto& entry : fs::directory_iterator(BuildDir / "catalogue" / "file" / folder)) {
            pictures.push_back(std::string(folder) + "\\" + entry.path().filename().string());
            break;
        }
    }
    ASSERT_EQ(pictures.size(), 2u);
    for (const std::string& picture : pictures) {
        SCOPED_TRACE(picture);
        fs::create_directories(dir.Path() / picture.substr(0, 3));
        const std::string relative = transfer::PictureRelativePath(picture);
        EXPECT_EQ(transfer::FetchFile(transfer::PictureUrl(base, picture), relative, dir.Dir()),
                  transfer::FileFetch::Complete);
        EXPECT_EQ(ReadAll(dir.Path() / relative), ReadAll(BuildDir / "catalogue" / "file" / relative));
        EXPECT_EQ(transfer::FetchFile(transfer::PictureUrl(base, picture), relative, dir.Dir()),
                  transfer::FileFetch::AlreadyComplete);
    }
    EXPECT_EQ(transfer::FetchFile(base + "file/ico/none.gif", "ico/none.gif", dir.Dir()),
              transfer::FileFetch::NoLength);

    const std::string utf8 = transfer::FetchListBytes(base + "file/cls/0.xml");
    const std::string gbk = transfer::FetchListBytes(base + "file/cls/1.xml");
    ASSERT_FALSE(utf8.empty());
    ASSERT_FALSE(gbk.empty());
    EXPECT_TRUE(transfer::LooksLikeUtf8(utf8));
    EXPECT_FALSE(transfer::LooksLikeUtf8(gbk));
    EXPECT_EQ(utf8, ReadAll(BuildDir / "catalogue" / "file" / "cls" / "0.xml"));
    EXPECT_TRUE(transfer::FetchListBytes(base + "file/cls/365.xml").empty()); // 404
}

} // namespace
