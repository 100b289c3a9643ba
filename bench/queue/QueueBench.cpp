// Five downloads at once through the main window, from the request to the unpacked game, against
// the curl tool fetching the same five packages in parallel plus unzip unpacking them, in the same
// run; and the longest time the window's thread stays away from its event loop meanwhile.
//
//   queue_bench [rounds]
//
// Five 64 MiB packages (a game script, index.dat and 64 MiB of random bytes, stored) are made in
// the build folder's served tree at run time and served by the sample catalogue's nginx. Each
// round: the window (offscreen) gets the five download requests as its card posts them and runs
// until all five games are downloaded (fetched, checked, unpacked); then `curl -s -o` x 5 at once,
// then `unzip -q -o` x 5 at once. Goals: the window's total at most 1.2 x (curl + unzip), median
// of the rounds (3 by default); the longest busy stretch of the window's thread at most 16 ms.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "app/CZandor_ClientDlg.h"
#include "platform/Messages.h"
#include "store/Stores.h"
#include "transfer/Http.h"
#include "views/Fonts.h"
#include "views/SkinTheme.h"
#include "views/UiTexts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int FirstId = 65100; // download/65/65100.zip .. 65104.zip on the server
constexpr int Games = 5;
constexpr std::int64_t DataBytes = std::int64_t{64} << 20;

const fs::path BuildDir = MARLUNE_BINARY_DIR;
const fs::path SourceDir = MARLUNE_SOURCE_DIR;

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

std::string ReadBase()
{
    std::ifstream in(BuildDir / "catalogue-server" / "base-url");
    std::string base;
    std::getline(in, base);
    return base;
}

bool Run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string Quote(const fs::path& path)
{
    return "'" + path.string() + "'";
}

fs::path ServedPackage(int id)
{
    return BuildDir / "catalogue" / transfer::PackageUrl("", id);
}

// The five packages, made once (python's zipfile, entries stored: the data is random).
bool MakePackages()
{
    std::error_code error;
    bool present = true;
    for (int i = 0; i < Games; ++i) {
        const std::uintmax_t size = fs::file_size(ServedPackage(FirstId + i), error);
        present = present && !error && size > static_cast<std::uintmax_t>(DataBytes);
    }
    if (present) {
        return true;
    }
    fs::create_directories(ServedPackage(FirstId).parent_path(), error);
    const std::string script = "import os, sys, zipfile\n"
                               "for path in sys.argv[2:]:\n"
                               "    with zipfile.ZipFile(path + '.part', 'w') as z:\n"
                               "        z.writestr('index.dat', '[config]\\r\\nfile=game.sh\\r\\n')\n"
                               "        z.writestr('game.sh', '#!/bin/sh\\nexit 0\\n')\n"
                               "        with z.open('data/level.dat', 'w', force_zip64=True) as out:\n"
                               "            left = int(sys.argv[1])\n"
                               "            while left > 0:\n"
                               "                n = min(left, 1 << 20)\n"
                               "                out.write(os.urandom(n))\n"
                               "                left -= n\n"
                               "    os.replace(path + '.part', path)\n";
    std::string command = "python3 -c \"$(cat <<'EOF'\n" + script + "EOF\n)\" " + std::to_string(DataBytes);
    for (int i = 0; i < Games; ++i) {
        command += " " + Quote(ServedPackage(FirstId + i));
    }
    return Run(command);
}

// Times the window's thread spends between waiting for events: the longest one counts.
class BusyWatch
{
public:
    BusyWatch()
    {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { m_awake = Clock::now(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] {
            if (m_awake != Clock::time_point{}) {
                m_longest = std::max(m_longest, Clock::now() - m_awake);
            }
            m_awake = {};
        });
    }
    void Reset() { m_longest = {}; }
    double LongestMs() const { return std::chrono::duration<double, std::milli>(m_longest).count(); }

private:
    Clock::time_point m_awake{};
    Clock::duration m_longest{};
};

// One round through the window; seconds, or negative on failure.
double RunWindow(const views::SkinTheme& theme, const views::UiTexts& texts, const fs::path& dir, BusyWatch& busy)
{
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir, error);
    store::Stores stores;
    stores.settings.maxnum = 10;
    for (int i = 0; i < Games; ++i) {
        store::GameRecord record;
        record.id = std::to_string(FirstId + i);
        record.name = "bench " + record.id;
        record.size = "65M";
        stores.catalogue[record.id] = record;
    }
    double seconds = -1;
    {
        app::CZandor_ClientDlg window(theme, texts, stores, dir.string() + "/");
        window.show();
        QTest::qWait(50);
        busy.Reset();
        const auto started = Clock::now();
        for (int i = 0; i < Games; ++i) {
            // As the card's "开始下载" posts it.
            window.Post(platform::msg::DownloadRequest, platform::PackWords(FirstId + i, 1), 0);
        }
        // The window's own kind of loop, so that its turns are measured as the program has them.
        QEventLoop loop;
        QTimer check;
        bool done = false;
        bool held = false;
        QObject::connect(&check, &QTimer::timeout, [&] {
            done = std::all_of(stores.catalogue.begin(), stores.catalogue.end(), [](const auto& entry) {
                return entry.second.state == store::game_state::Downloaded;
            });
            held = held || window.Downloads() > 0;
            const bool failed = held && window.Downloads() == 0 && !done; // ended without completing
            if (done || failed || Clock::now() - started > std::chrono::minutes(10)) {
                loop.quit();
            }
        });
        check.start(20);
        loop.exec();
        if (done) {
            seconds = Seconds(Clock::now() - started);
        }
        window.StopThreads();
    }
    for (int i = 0; i < Games && seconds > 0; ++i) {
        const fs::path unpacked = dir / "game" / std::to_string(FirstId + i) / "data" / "level.dat";
        if (fs::file_size(unpacked, error) != static_cast<std::uintmax_t>(DataBytes)) {
            seconds = -1;
        }
    }
    fs::remove_all(dir, error);
    return seconds;
}

// curl x 5 at once, then unzip x 5 at once; the two times, or negative on failure.
std::pair<double, double> RunTools(const std::string& base, const fs::path& dir)
{
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir, error);
    std::string fetch;
    std::string unpack;
    for (int i = 0; i < Games; ++i) {
        const std::string id = std::to_string(FirstId + i);
        fetch += "curl -s -o " + Quote(dir / (id + ".zip")) + " '" + transfer::PackageUrl(base, FirstId + i) + "' & ";
        unpack += "unzip -q -o " + Quote(dir / (id + ".zip")) + " -d " + Quote(dir / id) + " & ";
    }
    fetch += "wait";
    unpack += "wait";
    auto started = Clock::now();
    const bool fetched = Run(fetch);
    const double curl = Seconds(Clock::now() - started);
    started = Clock::now();
    const bool unpacked = fetched && Run(unpack);
    const double unzip = Seconds(Clock::now() - started);
    bool complete = unpacked;
    for (int i = 0; i < Games && complete; ++i) {
        complete = fs::file_size(dir / std::to_string(FirstId + i) / "data" / "level.dat", error)
                   == static_cast<std::uintmax_t>(DataBytes);
    }
    fs::remove_all(dir, error);
    return complete ? std::pair{curl, unzip} : std::pair{-1.0, -1.0};
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            rounds = std::max(1, std::atoi(argv[i]));
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication application(qtArgc, argv);

    std::string base = ReadBase();
    bool started = false;
    if (base.empty() || transfer::FetchBody(base + "client/gamecls.xml", std::chrono::seconds(5)).status != 200) {
        if (!Run(Quote(SourceDir / "tools" / "catalogue-server.sh") + " start " + Quote(BuildDir) + " >/dev/null")) {
            std::fprintf(stderr, "cannot start the catalogue server\n");
            return 1;
        }
        started = true;
        base = ReadBase();
    }
    if (!MakePackages()) {
        std::fprintf(stderr, "cannot make the packages in %s\n", ServedPackage(FirstId).parent_path().c_str());
        return 1;
    }
    qputenv("MARLUNE_SERVER", QByteArray::fromStdString(base));

    views::InstallFontSubstitutes();
    views::SkinTheme theme;
    if (!theme.Load(QString::fromStdString((BuildDir / "bin" / "skin.rcc").string()))) {
        std::fprintf(stderr, "cannot load %s\n", (BuildDir / "bin" / "skin.rcc").c_str());
        return 1;
    }
    const views::UiTexts texts;
    BusyWatch busy;
    const fs::path scratch = BuildDir / "bench-queue";
    std::printf("%d packages of 64 MiB at once from %s, %d rounds\n", Games, base.c_str(), rounds);

    std::vector<double> ratios;
    std::vector<double> windows;
    std::vector<double> peers;
    double longest = 0;
    for (int round = 0; round < rounds; ++round) {
        const double window = RunWindow(theme, texts, scratch / "window", busy);
        const double busiest = busy.LongestMs();
        const auto [curl, unzip] = RunTools(base, scratch / "tools");
        if (window < 0 || curl < 0) {
            std::fprintf(stderr, "a download or an unpacking failed (window %.3f s, curl %.3f s)\n", window, curl);
            return 1;
        }
        longest = std::max(longest, busiest);
        windows.push_back(window);
        peers.push_back(curl + unzip);
        ratios.push_back(window / (curl + unzip));
        std::printf("  round %d: window %6.2f s   curl %6.2f s + unzip %6.2f s = %6.2f s   ratio %.2f   "
                    "longest busy stretch %.1f ms\n",
                    round + 1,
                    window,
                    curl,
                    unzip,
                    curl + unzip,
                    ratios.back(),
                    busiest);
    }
    std::error_code error;
    fs::remove_all(scratch, error);

    const double ratio = Median(ratios);
    std::printf("median window, request to unpacked: %6.2f s\n", Median(windows));
    std::printf("median curl + unzip:                %6.2f s\n", Median(peers));
    std::printf("ratio to curl + unzip               %6.2f   (goal <= 1.20) %s\n",
                ratio,
                ratio <= 1.2 ? "met" : "NOT MET");
    std::printf("longest busy stretch of the window  %6.1f ms (goal <= 16 ms) %s\n",
                longest,
                longest <= 16.0 ? "met" : "NOT MET");
    if (started) {
        (void)Run(Quote(SourceDir / "tools" / "catalogue-server.sh") + " stop " + Quote(BuildDir));
    }
    return 0;
}
