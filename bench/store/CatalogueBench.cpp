// LoadCatalogue and SaveCatalogueState of game lists of 4,150 and 100,000 games, each against its
// yardstick on the same file: MarkupDoc's load and parse (for the load), MarkupDoc's load and save
// (for the exit update). Each iteration runs the yardstick and the store operation one after the
// other, so both meet the same state of the heap and the machine; separate benchmarks of each made
// the ratio swing with whichever happened to reuse memory. Prints both ratios, and the per-game
// growth of the exit update from the small file to the large one (1.0 is linear). The lists are
// generated with tools/gen_catalogue.py into the build folder at the first run.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <benchmark/benchmark.h>

#include "markup/MarkupDoc.h"
#include "store/DataFileLoader.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

const fs::path WorkDir = MARLUNE_BENCH_WORK_DIR;

fs::path Source(std::int64_t games)
{
    return WorkDir / ("gamelist-" + std::to_string(games) + ".xml");
}

// A program folder of its own for each size.
fs::path ProgramDir(std::int64_t games)
{
    const fs::path dir = WorkDir / ("program-" + std::to_string(games));
    fs::create_directories(dir / "download");
    return dir;
}

// Generates the game list of that many games unless the work folder has it already.
bool MakeList(std::int64_t games)
{
    std::error_code ec;
    if (fs::exists(Source(games), ec)) {
        return true;
    }
    fs::create_directories(WorkDir, ec);
    const fs::path partial = Source(games).string() + ".part";
    const std::string command = std::string("'") + MARLUNE_PYTHON + "' '" + MARLUNE_GENERATOR + "' gamelist --games "
                                + std::to_string(games) + " --out '" + partial.string() + "'";
    std::printf("Generating a game list of %lld games...\n", static_cast<long long>(games));
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    fs::rename(partial, Source(games), ec);
    return !ec;
}

void CopyList(std::int64_t games, const fs::path& dir)
{
    fs::copy_file(Source(games), dir / "gamelist.xml", fs::copy_options::overwrite_existing);
}

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Seconds per run of each store operation and of its yardstick, by benchmark name and size.
std::map<std::string, std::pair<double, double>> Results;

// Manual time = the store operation; the yardstick's time and the ratio are counters.
void Report(benchmark::State& state, const char* name, double ours, double yardstick)
{
    const double runs = static_cast<double>(state.iterations());
    state.counters["yardstick_ms"] = yardstick / runs * 1000.0;
    state.counters["ratio"] = ours / yardstick;
    Results[std::string(name) + "/" + std::to_string(state.range(0))] = {ours / runs, yardstick / runs};
}

void LoadCatalogue(benchmark::State& state)
{
    const fs::path dir = ProgramDir(state.range(0));
    CopyList(state.range(0), dir);
    const store::DataFileLoader loader(0, dir);
    double ours = 0;
    double yardstick = 0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        {
            markup::MarkupDoc doc;
            if (!doc.Load(dir / "gamelist.xml")) {
                state.SkipWithError("the game list does not load");
                break;
            }
            benchmark::DoNotOptimize(doc.ElementCount());
        }
        const Clock::time_point t1 = Clock::now();
        std::optional<store::GameCatalogue> catalogue(std::in_place);
        if (!loader.LoadCatalogue("gamelist.xml", *catalogue) || catalogue->empty()) {
            state.SkipWithError("the catalogue does not load");
            break;
        }
        const Clock::time_point t2 = Clock::now();
        catalogue.reset(); // the catalogue lives on in the program: its release is not counted
        yardstick += Seconds(t0, t1);
        ours += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t1, t2));
    }
    Report(state, "LoadCatalogue", ours, yardstick);
}

// The exit update of a freshly written list: every game gets its laststate.
void SaveCatalogueState(benchmark::State& state)
{
    const fs::path dir = ProgramDir(state.range(0));
    CopyList(state.range(0), dir);
    const store::DataFileLoader loader(0, dir);
    store::GameCatalogue catalogue;
    if (!loader.LoadCatalogue("gamelist.xml", catalogue)) {
        state.SkipWithError("the catalogue does not load");
        return;
    }
    int n = 0;
    for (auto& [id, record] : catalogue) {
        record.state = n % 5;
        if (record.state == 3) {
            record.dawndate = "2010-5-3 14:2:7";
            if (std::FILE* f = std::fopen((dir / "download" / (id + ".zip")).c_str(), "w")) {
                std::fclose(f);
            }
        }
        ++n;
    }
    double ours = 0;
    double yardstick = 0;
    for (auto _ : state) {
        CopyList(state.range(0), dir);
        const Clock::time_point t0 = Clock::now();
        {
            markup::MarkupDoc doc;
            if (!doc.Load(dir / "gamelist.xml") || !doc.Save(dir / "gamelist.xml")) {
                state.SkipWithError("the game list does not load or save");
                break;
            }
        }
        const Clock::time_point t1 = Clock::now();
        if (!loader.SaveCatalogueState("gamelist.xml", catalogue)) {
            state.SkipWithError("the exit update failed");
            break;
        }
        const Clock::time_point t2 = Clock::now();
        yardstick += Seconds(t0, t1);
        ours += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t1, t2));
    }
    Report(state, "SaveCatalogueState", ours, yardstick);
}

BENCHMARK(LoadCatalogue)->Arg(4150)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(5.0);
BENCHMARK(SaveCatalogueState)->Arg(4150)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(5.0);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    for (const std::int64_t games : {4150, 100000}) {
        if (!MakeList(games)) {
            std::fprintf(stderr, "cannot generate the game list of %lld games\n", static_cast<long long>(games));
            return 1;
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n");
    for (const char* games : {"4150", "100000"}) {
        if (const auto found = Results.find(std::string("LoadCatalogue/") + games); found != Results.end()) {
            std::printf("LoadCatalogue / MarkupDoc load and parse, %s games: %.2f (goal: at most 2)\n",
                        games,
                        found->second.first / found->second.second);
        }
    }
    for (const char* games : {"4150", "100000"}) {
        if (const auto found = Results.find(std::string("SaveCatalogueState/") + games); found != Results.end()) {
            std::printf("SaveCatalogueState / MarkupDoc load and save, %s games: %.2f\n",
                        games,
                        found->second.first / found->second.second);
        }
    }
    const auto small = Results.find("SaveCatalogueState/4150");
    const auto large = Results.find("SaveCatalogueState/100000");
    if (small != Results.end() && large != Results.end()) {
        // MarkupDoc's own growth beside it shows what the memory of a large file costs anyway.
        std::printf("Time per game, 100000 games / 4150 games: SaveCatalogueState %.2f, MarkupDoc load and save %.2f "
                    "(1.0 is linear)\n",
                    (large->second.first / 100000.0) / (small->second.first / 4150.0),
                    (large->second.second / 100000.0) / (small->second.second / 4150.0));
    }
    return 0;
}
