#pragma once

// What the window benchmarks share: timing figures, their report line against a goal, the day's
// newest category the main window opens on, and waiting for a window to be on screen.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>

#include "store/Stores.h"

namespace window_bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

inline double Max(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

inline void Report(const char* what, const std::vector<double>& runs, double goal)
{
    const double median = Median(runs);
    std::printf("%-34s %8.2f ms  (max %7.2f ms over %zu runs)  goal <= %4.0f ms  ratio %.2f  %s\n",
                what,
                median,
                Max(runs),
                runs.size(),
                goal,
                median / goal,
                median <= goal ? "ok" : "MISSED");
}

// The day's newest (category 99), where the window opens: games 1 to 8.
inline void AddDailyCategory(store::Stores& stores)
{
    store::CategoryNode& daily = stores.categories.nodes["99"];
    daily.id = daily.name = "99";
    daily.subs["99"].id = "99";
    for (int id = 1; id <= 8; ++id) {
        daily.subs["99"].games.emplace(std::to_string(id), "");
    }
}

// Shows the window and waits (at most 5 s) until it is exposed.
inline bool Exposed(QWidget& window)
{
    window.show();
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
        QCoreApplication::processEvents();
        if (Clock::now() > limit) {
            return false;
        }
    }
    return true;
}

// Lets posted messages and the paints they cause run.
inline void Deliver()
{
    for (int i = 0; i < 6; ++i) {
        QCoreApplication::processEvents();
    }
}

} // namespace window_bench
