// Unpacks one package of 2,000 small files and five 20 MiB files with the program's archive classes
// and with the unzip tool ("unzip -q -o"), and prints how fast ours is relative to unzip's.
// The package is generated once into the build folder.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <minizip/zip.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "install/Unpack.h"

namespace fs = std::filesystem;

namespace {

const fs::path WorkDir = MARLUNE_BENCH_WORK_DIR;
const fs::path Package = WorkDir / "package.zip";

// Words drawn from a small vocabulary: deflates about as well as game scripts and text data.
std::string TextLike(std::size_t size, std::uint32_t seed)
{
    static const char* const Words[] = {"level",
                                        "sprite",
                                        "0x3F",
                                        "player",
                                        "enemy",
                                        "tile",
                                        "score",
                                        "=",
                                        "1024",
                                        "music",
                                        "{",
                                        "}",
                                        "frame",
                                        "alpha",
                                        "x",
                                        "y",
                                        "\n"};
    std::string out;
    out.reserve(size + 16);
    std::uint32_t state = seed * 2654435761u + 7;
    while (out.size() < size) {
        state = state * 1664525u + 1013904223u;
        out += Words[(state >> 16) % (sizeof Words / sizeof Words[0])];
        out += ' ';
    }
    out.resize(size);
    return out;
}

// Bytes that do not compress: pictures and sounds already packed.
std::string Noise(std::size_t size, std::uint32_t seed)
{
    std::string out(size, '\0');
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x >> 56);
    }
    return out;
}

bool AddEntry(zipFile zip, const std::string& name, const std::string& data)
{
    zip_fileinfo info{};
    info.dosDate = 0x52CF6A2F;
    info.external_fa = 0100644u << 16;
    return zipOpenNewFileInZip4_64(zip,
                                   name.c_str(),
                                   &info,
                                   nullptr,
                                   0,
                                   nullptr,
                                   0,
                                   nullptr,
                                   Z_DEFLATED,
                                   Z_DEFAULT_COMPRESSION,
                                   0,
                                   -MAX_WBITS,
                                   DEF_MEM_LEVEL,
                                   Z_DEFAULT_STRATEGY,
                                   nullptr,
                                   0,
                                   (3u << 8) | 30u,
                                   0,
                                   1)
               == ZIP_OK
           && zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK
           && zipCloseFileInZip(zip) == ZIP_OK;
}

bool MakePackage()
{
    std::error_code ec;
    if (fs::exists(Package, ec)) {
        return true;
    }
    fs::create_directories(WorkDir, ec);
    const fs::path partial = WorkDir / "package.zip.part";
    zipFile zip = zipOpen64(partial.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (int i = 0; i < 2000 && ok; ++i) {
        const std::string name = "data/" + std::to_string(i % 40) + "/item" + std::to_string(i) + ".txt";
        ok = AddEntry(zip, name, TextLike(512 + (i * 37) % 7680, static_cast<std::uint32_t>(i)));
    }
    for (int i = 0; i < 5 && ok; ++i) {
        const std::size_t size = 20u << 20;
        ok = AddEntry(zip,
                      "big/part" + std::to_string(i) + ".pak",
                      i < 3 ? TextLike(size, 1000u + static_cast<unsigned>(i)) : Noise(size, static_cast<unsigned>(i)));
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (ok) {
        fs::rename(partial, Package, ec);
    }
    return ok && !ec;
}

void Clean(const fs::path& folder)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
}

void BM_CZipFile(benchmark::State& state)
{
    const fs::path out = WorkDir / "ours";
    for (auto _ : state) {
        state.PauseTiming();
        Clean(out);
        state.ResumeTiming();
        if (!install::UnpackPackage(Package, out)) {
            state.SkipWithError("unpacking failed");
            break;
        }
    }
    Clean(out);
}

void BM_UnzipTool(benchmark::State& state)
{
    const fs::path out = WorkDir / "unzip";
    const std::string command = "unzip -q -o '" + Package.string() + "' -d '" + out.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        Clean(out);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) { // NOLINT(concurrency-mt-unsafe): single-threaded benchmark
            state.SkipWithError("unzip failed (is the unzip tool installed?)");
            break;
        }
    }
    Clean(out);
}

// Both run alternately, several times, so that drifts of the machine hit both alike.
BENCHMARK(BM_CZipFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_UnzipTool)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_None)
    {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.aggregate_name == "median") {
                m_median[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Median(const std::string& name) const
    {
        auto it = m_median.find(name);
        return it == m_median.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> m_median;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!MakePackage()) {
        std::fprintf(stderr, "cannot write the package in %s\n", WorkDir.c_str());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double ours = reporter.Median("BM_CZipFile");
    const double theirs = reporter.Median("BM_UnzipTool");
    if (ours > 0 && theirs > 0) {
        std::printf("\nspeed relative to unzip (median unzip time / median CZipFile time): %.2f (goal >= 0.80)\n",
                    theirs / ours);
    }
    return 0;
}
