#include "browse/DownloadDate.h"

#include <array>
#include <limits>

namespace browse {
namespace {

// Reads like scanf: white space before a number, an optional sign, digits; the format's space
// takes any amount of white space. A number that does not fit an int is no number.
class Scanner
{
public:
    explicit Scanner(std::string_view text)
        : m_text(text)
    {}

    bool Number(std::int64_t& value)
    {
        SkipSpace();
        bool negative = false;
        if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
            negative = m_text[m_pos] == '-';
            ++m_pos;
        }
        const std::size_t first = m_pos;
        std::int64_t v = 0;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            v = v * 10 + (m_text[m_pos] - '0');
            if (v > std::numeric_limits<int>::max()) {
                return false;
            }
            ++m_pos;
        }
        if (m_pos == first) {
            return false;
        }
        value = negative ? -v : v;
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

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 to the first of a month of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t shifted = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shifted + 2) / 5;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::optional<std::int64_t> DownloadDateOrder(std::string_view text)
{
    Scanner scan(text);
    std::array<std::int64_t, 6> f{};
    const char separators[] = {'-', '-', ' ', ':', ':'};
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i > 0 && !scan.Literal(separators[i - 1])) {
            return std::nullopt;
        }
        if (!scan.Number(f[i])) {
            return std::nullopt;
        }
    }
    // Carry the month over into the year, then count days and seconds as they come.
    const std::int64_t months = f[1] - 1;
    const std::int64_t year = f[0] + FloorDiv(months, 12);
    const std::int64_t month = months - FloorDiv(months, 12) * 12 + 1;
    const std::int64_t days = DaysFromCivil(year, month) + f[2] - 1;
    return days * 86400 + f[3] * 3600 + f[4] * 60 + f[5];
}

} // namespace browse
