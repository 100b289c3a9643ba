#pragma once

// Shared by the loading tests: the program folder fixture and stage recorder of the store tests,
// installation dates, and the sample catalogue served by nginx.

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "loading/DayNumber.h"
#include "store/StoreTestSupport.h"

namespace loading::test {

using namespace store::test;
namespace fs = std::filesystem;

const fs::path BuildDir = MARLUNE_BINARY_DIR;

// A date line in the program's form for a local time.
inline std::string DateLine(std::chrono::system_clock::time_point when)
{
    const std::time_t time = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&time, &local);
    return std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-"
           + std::to_string(local.tm_mday) + " " + std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min)
           + ":" + std::to_string(local.tm_sec);
}

// Writes programDir/installdate so that today is day N of the day lists.
inline void InstalledDaysAgo(const fs::path& programDir, int days)
{
    WriteBytes(programDir / InstallDateFile,
               DateLine(std::chrono::system_clock::now() - std::chrono::hours(24) * days) + "\n");
}

// The served sample catalogue's base address; empty when the server is not running.
inline std::string ServedBase()
{
    std::ifstream in(BuildDir / "catalogue-server" / "base-url");
    std::string base;
    std::getline(in, base);
    return base;
}

inline fs::path ServedTree()
{
    return BuildDir / "catalogue";
}

// The access log's size now, and its lines written after that offset.
inline std::uintmax_t AccessLogSize()
{
    std::error_code ec;
    const auto size = fs::file_size(BuildDir / "catalogue-server" / "access.log", ec);
    return ec ? 0 : size;
}

inline std::vector<std::string> AccessLinesSince(std::uintmax_t offset)
{
    std::ifstream in(BuildDir / "catalogue-server" / "access.log", std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace loading::test
