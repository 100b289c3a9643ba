#include "loading/DayNumber.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <string>

#include "platform/DateText.h"

namespace loading {

std::optional<std::chrono::system_clock::time_point> ParseInstallDate(std::string_view line)
{
    const std::optional<platform::DateFields> scanned = platform::ScanDateText(line);
    if (!scanned) {
        return std::nullopt;
    }
    const auto [year, month, day, hour, minute, second] = *scanned;
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1; // local time, summer time as it was on that day
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return std::chrono::system_clock::from_time_t(when);
}

std::optional<std::chrono::system_clock::time_point> ReadInstallDate(const std::filesystem::path& programDir)
{
    std::ifstream in(programDir / InstallDateFile, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return ParseInstallDate(line);
}

int DayNumber(const std::optional<std::chrono::system_clock::time_point>& installed,
              std::chrono::system_clock::time_point now)
{
    if (installed) {
        // Whole days, rounded towards zero, without sign.
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - *installed).count();
        const long long days = seconds / 86400;
        return static_cast<int>((days < 0 ? -days : days) % 365);
    }
    const std::time_t time = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return 0;
    }
    return local.tm_yday;
}

} // namespace loading
