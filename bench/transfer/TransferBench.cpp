// Download throughput of the transfer worker against the curl tool, side by side in one run, from
// the sample catalogue's nginx on loopback.
//
//   transfer_bench [rounds]
//
// A 256 MiB package (random bytes, made in the build folder at run time) is fetched alternately by
// `curl -s -o FILE URL` and by a download of the control thread (header request, ranged body,
// size check; the unpacking step is left out: the measure is the transfer), and then five such
// downloads run at once; each round runs all three, and the median of the rounds' ratios counts
// (5 rounds by default). Goals: the worker at least 0.9 of curl's throughput, and five together at
// least 0.9 of one.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/HandleTable.h"
#include "platform/Messages.h"
#include "transfer/DownControlThread.h"
#include "transfer/Http.h"
#include "transfer/TransferEnv.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t PackageBytes = std::int64_t{256} << 20;
constexpr int FirstId = 65000; // download/65/65000.zip .. 65005.zip on the server
constexpr int Parallel = 5;

const fs::path BuildDir = MARLUNE_BINARY_DIR;
const fs::path SourceDir = MARLUNE_SOURCE_DIR;

class Events : public platform::MessageSink
{
public:
    void Accept(const platform::Message& message) override
    {
        if (message.id == platform::msg::DownloadCommand) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(message.wParam);
        }
    }
    int Count(std::uint32_t event) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_events.begin(), m_events.end(), [&](platform::Param w) {
            return platform::LoWord(w) == event;
        }));
    }
    int Ended() const
    {
        namespace e = platform::msg::down_event;
        return Count(e::NoAnswer) + Count(e::NoLength) + Count(e::SizeMismatch) + Count(e::Complete);
    }
    platform::WindowHandle Handle() const { return m_window.Handle(); }

private:
    mutable std::mutex m_mutex;
    std::vector<platform::Param> m_events;
    platform::ScopedWindow m_window{this};
};

// The machine, without unpacking: only the transfer is measured.
class NoUnpack : public transfer::TransferEnv
{
public:
    bool Unpack(const std::string&, const std::string&, const std::atomic<bool>&) const override { return true; }
};

std::string ReadBase()
{
    std::ifstream in(BuildDir / "catalogue-server" / "base-url");
    std::string base;
    std::getline(in, base);
    return base;
}

bool ServerAnswers(const std::string& base)
{
    return !base.empty() && transfer::FetchBody(base + "client/gamecls.xml", std::chrono::seconds(5)).status == 200;
}

fs::path ServedPackage(int id)
{
    return BuildDir / "catalogue" / transfer::PackageUrl("", id);
}

// The big package and its hard-linked twins in the served tree, made when missing.
bool MakePackages()
{
    const fs::path first = ServedPackage(FirstId);
    std::error_code error;
    if (fs::file_size(first, error) != static_cast<std::uintmax_t>(PackageBytes)) {
        fs::create_directories(first.parent_path(), error);
        std::ofstream out(first, std::ios::binary | std::ios::trunc);
        std::vector<std::uint64_t> block(1 << 17); // 1 MiB
        std::uint64_t state = 0x9E3779B97F4A7C15ull;
        for (std::int64_t written = 0; written < PackageBytes; written += 1 << 20) {
            for (auto& word : block) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                word = state;
            }
            out.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
        }
        if (!out) {
            return false;
        }
    }
    for (int i = 1; i <= Parallel; ++i) {
        const fs::path twin = ServedPackage(FirstId + i);
        fs::remove(twin, error);
        fs::create_hard_link(first, twin, error);
        if (error) {
            return false;
        }
    }
    return true;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double MiBps(std::int64_t bytes, double seconds)
{
    return static_cast<double>(bytes) / (1 << 20) / seconds;
}

// One curl tool run; seconds, or a negative number on failure.
double RunCurl(const std::string& url, const fs::path& out)
{
    std::error_code error;
    fs::remove(out, error);
    const std::string command = "curl -s -o '" + out.string() + "' '" + url + "'";
    const auto started = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = Seconds(Clock::now() - started);
    if (status != 0 || fs::file_size(out, error) != static_cast<std::uintmax_t>(PackageBytes)) {
        return -1;
    }
    fs::remove(out, error);
    return seconds;
}

// `count` downloads at once through one control thread; seconds until all are complete.
double RunWorkers(const std::string& base, const fs::path& dir, int count)
{
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir / "download", error);
    const std::string programDir = dir.string() + "/";
    Events events;
    transfer::DownControlThread control(
        events.Handle(),
        programDir,
        [] { return 10; },
        std::make_shared<NoUnpack>());
    const auto started = Clock::now();
    for (int i = 0; i < count; ++i) {
        const int id = FirstId + (count == 1 ? 0 : 1 + i);
        if (control
                .StartDownload(id, transfer::PackagePath(programDir, id), transfer::PackageUrl(base, id), "256M", false)
            != transfer::StartResult::Started) {
            return -1;
        }
    }
    while (events.Ended() < count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double seconds = Seconds(Clock::now() - started);
    const bool complete = events.Count(platform::msg::down_event::Complete) == count;
    control.StopAll();
    fs::remove_all(dir, error);
    return complete ? seconds : -1;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') { // options meant for Google Benchmark runs are not ours
            rounds = std::max(1, std::atoi(argv[i]));
        }
    }
    std::string base = ReadBase();
    bool started = false;
    if (!ServerAnswers(base)) {
        const std::string command = "'" + (SourceDir / "tools" / "catalogue-server.sh").string() + "' start '"
                                    + BuildDir.string() + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot start the catalogue server\n");
            return 1;
        }
        started = true;
        base = ReadBase();
    }
    if (!MakePackages()) {
        std::fprintf(stderr, "cannot make the 256 MiB package in %s\n", ServedPackage(FirstId).c_str());
        return 1;
    }
    const fs::path scratch = BuildDir / "bench-transfer";
    std::error_code made;
    fs::create_directories(scratch, made);
    const std::string url = transfer::PackageUrl(base, FirstId);
    std::printf("256 MiB package %s, %d rounds\n", url.c_str(), rounds);

    // Each round runs the three side by side, so that a busy machine weighs on all of them alike;
    // the median of the rounds' ratios counts.
    std::vector<double> curlRates, workerRates, parallelRates, vsCurl, vsOne;
    for (int round = 0; round < rounds; ++round) {
        const double curl = RunCurl(url, scratch / "curl.bin");
        const double worker = RunWorkers(base, scratch / "one", 1);
        const double parallel = RunWorkers(base, scratch / "five", Parallel);
        if (curl < 0 || worker < 0 || parallel < 0) {
            std::fprintf(stderr,
                         "a download failed (curl %.3f s, worker %.3f s, five %.3f s)\n",
                         curl,
                         worker,
                         parallel);
            return 1;
        }
        curlRates.push_back(MiBps(PackageBytes, curl));
        workerRates.push_back(MiBps(PackageBytes, worker));
        parallelRates.push_back(MiBps(PackageBytes * Parallel, parallel));
        vsCurl.push_back(workerRates.back() / curlRates.back());
        vsOne.push_back(parallelRates.back() / workerRates.back());
        std::printf("  round %d: curl %7.1f MiB/s   worker %7.1f MiB/s   %d workers %7.1f MiB/s together\n",
                    round + 1,
                    curlRates.back(),
                    workerRates.back(),
                    Parallel,
                    parallelRates.back());
    }
    std::error_code error;
    fs::remove_all(scratch, error);

    const double workerVsCurl = Median(vsCurl);
    const double fiveVsOne = Median(vsOne);
    std::printf("median curl tool:       %8.1f MiB/s\n", Median(curlRates));
    std::printf("median worker:          %8.1f MiB/s   ratio to curl %.2f (goal >= 0.90) %s\n",
                Median(workerRates),
                workerVsCurl,
                workerVsCurl >= 0.9 ? "met" : "NOT MET");
    std::printf("median %d together:      %8.1f MiB/s   ratio to one  %.2f (goal >= 0.90) %s\n",
                Parallel,
                Median(parallelRates),
                fiveVsOne,
                fiveVsOne >= 0.9 ? "met" : "NOT MET");
    if (started) {
        const std::string command =
            "'" + (SourceDir / "tools" / "catalogue-server.sh").string() + "' stop '" + BuildDir.string() + "'";
        (void)std::system(command.c_str());
    }
    return 0;
}
