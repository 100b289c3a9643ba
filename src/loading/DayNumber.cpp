#include "loading/DayNumber.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <limits>
#include <string>

namespace loading {

namespace {

// Reads the text as scanf's "%d-%d-%d %d:%d:%d" does (a number may have spaces before it and a sign;
// the space of the format takes any amount of white space); a number that does not fit an int
// fails instead of overflowing.
class DateScanner
{
public:
    explicit DateScanner(std::string_view text)
        : m_text(text)
    {}
    bool Number(int& value)
    {
        SkipSpace();
        bool negative = false;
        if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
            negative = m_text[m_pos] == '-';
            ++m_pos;
        }
        const std::size_t first = m_pos;
        long long v = 0;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            v = v * 10 + (m_text[m_pos] - '0');
            ++m_pos;
            if (v > std::numeric_limits<int>::max()) {
                return false; // does not fit: not a date
            }
        }
        if (m_pos == first) {
            return false;
        }
        value = static_cast<int>(negative ? -v : v);
        return true;
    }
    bool Literal(char c)
    {
        if (c == ' ') {
            SkipSpace();
            return true;
        }
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || (m_text[m_pos] >= '\t' && m_text[m_pos] <= '\r'))) {
            ++m_pos;
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

std::optional<std::chrono::system_clock::time_point> ParseInstallDate(std::string_view line)
{
    DateScanner scan(line);
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!(scan.Number(year) && scan.Literal('-') && scan.Number(month) && scan.Literal('-') && scan.Number(day)
          && scan.Literal(' ') && scan.Number(hour) && scan.Literal(':') && scan.Number(minute) && scan.Literal(':')
          && scan.Number(second))) {
        return std::nullopt;
    }
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
