#pragma once

// Which day list of the catalogue server the update fetches: the day number N, from the
// installation date in the program folder, else the day of the year.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>

namespace loading {

// Name of the one-line installation date file in the program folder, written at an installed
// copy's first start for its user (store/ProgramFolder.h) or put there with a portable copy:
// "year-month-day hour:minute:second" in local time ("2010-5-3 14:2:7", leading zeros allowed).
inline constexpr std::string_view InstallDateFile = "installdate";

// The installation time of a date line: six numbers in the form "%d-%d-%d %d:%d:%d" with year at
// least 1900, month 1 to 12, day 1 to 31, hour 0 to 23, minute and second 0 to 59, taken as local
// time. Nullopt for anything else.
[[nodiscard]] std::optional<std::chrono::system_clock::time_point> ParseInstallDate(std::string_view line);

// The installation time from programDir/installdate; nullopt when the file is missing, unreadable
// or its first line is not a valid date.
[[nodiscard]] std::optional<std::chrono::system_clock::time_point>
ReadInstallDate(const std::filesystem::path& programDir);

// N: the whole days from installation to now (rounded towards zero, without sign) modulo 365;
// without an installation time the day of the year of now in local time (1 January is 0).
[[nodiscard]] int DayNumber(const std::optional<std::chrono::system_clock::time_point>& installed,
                            std::chrono::system_clock::time_point now);

} // namespace loading
