#include "browse/DownloadDate.h"

#include "platform/DateText.h"

namespace browse {
namespace {

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
    const std::optional<platform::DateFields> fields = platform::ScanDateText(text);
    if (!fields) {
        return std::nullopt;
    }
    const auto f = *fields;
    // Carry the month over into the year, then count days and seconds as they come.
    const std::int64_t months = std::int64_t{f[1]} - 1;
    const std::int64_t year = std::int64_t{f[0]} + FloorDiv(months, 12);
    const std::int64_t month = months - FloorDiv(months, 12) * 12 + 1;
    const std::int64_t days = DaysFromCivil(year, month) + f[2] - 1;
    return days * 86400 + std::int64_t{f[3]} * 3600 + std::int64_t{f[4]} * 60 + f[5];
}

} // namespace browse
