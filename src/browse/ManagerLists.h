#pragma once

// What the download manager's pages show: the downloaded games or the recycle bin ten to a page,
// and the rows of the downloads in progress with the header's count and total size. Plain logic
// over the catalogue, so that it is driven and measured without a window. GUI thread only, like
// the stores it reads.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Messages.h"
#include "store/GameCatalogue.h"

namespace browse {

// The ids of the catalogue's games in that download state, ascending; keys that are not a
// message id (MessageId) are left out.
std::vector<int> GamesInState(const store::GameCatalogue& catalogue, std::int32_t state);

// The games of the downloaded page (state 3) or of the recycle bin (state 4), by id, ten a page.
// Pages are numbered from 0 here; the window shows them from 1.
class DownedList
{
public:
    static constexpr int RowsPerPage = 10;
    static constexpr int PageButtons = 5;

    // Selects the games in that state. With keepPage the current page stays when it still exists;
    // otherwise, and always without keepPage, it becomes 0. Returns the number of games.
    int Fill(const store::GameCatalogue& catalogue, std::int32_t state, bool keepPage);

    int GameCount() const { return static_cast<int>(m_games.size()); }
    int PageCount() const { return m_pageCount; }
    int CurrentPage() const { return m_current; }
    const std::vector<int>& Games() const { return m_games; }
    // The ids on page n, empty when there is no such page.
    std::span<const int> Page(int page) const;
    // Where a go-to-page request leads (PreviousPage, NextPage or a page number); see PageTarget.
    std::optional<int> Target(int request) const;
    // Makes page the current one (ignored outside the pages).
    void SetCurrentPage(int page);
    // The page of page button k (0-4), nullopt when that button is hidden (no such page).
    std::optional<int> ButtonPage(int k) const;

private:
    std::vector<int> m_games;
    int m_pageCount = 0;
    int m_current = 0;
};

// The megabytes a package size text counts for in the downloading page's header: the number it
// starts with (after spaces), in megabytes for "M" or no unit, divided by 1024 for "K", times 1024
// for "G" (either case; spaces may stand between number and unit). A text that does not start
// with a number, or whose number is not finite, counts 0.
double SizeInMegabytes(std::string_view text);

// One row of the downloading page.
struct DownloadRow
{
    static constexpr int Removed = 0;
    static constexpr int Running = 1;
    static constexpr int Paused = 2;

    int id = 0;
    std::string name;
    std::string idText;
    double megabytes = 0; // SizeInMegabytes of the game's size text
    std::string info6;
    int speed = 0;   // KB/s
    int percent = 0; // 0 to 100
    int state = Running;
};

// What a message did to the rows.
enum class RowChange
{
    None,
    Added,   // a row was added (the rows below it moved down)
    Updated, // a row's texts or buttons changed in place
    Removed, // a row was removed (the rows below it moved up)
};

// The downloads the downloading page lists, by id, from the control thread's reports and the
// results of the user's commands.
class DownloadRows
{
public:
    // Command results (low word of the relayed DownloadCommand).
    static constexpr std::uint32_t ResultRemoved = 0;
    static constexpr std::uint32_t ResultPaused = 1;
    static constexpr std::uint32_t ResultContinued = 2;

    // A command result for a game: removed takes its row away, paused and continued change it
    // (adding a row at 0 % when it had none). Games not in the catalogue are ignored.
    RowChange Result(const store::GameCatalogue& catalogue, int id, std::uint32_t result);
    // A progress report as the control thread packs it (wParam: id << 16; lParam: percent << 16
    // and KB/s); the summary (high word of wParam 0) is ignored. A listed download becomes
    // running; an unlisted one is added.
    RowChange Progress(const store::GameCatalogue& catalogue, platform::Param wParam, platform::Param lParam);

    const std::map<int, DownloadRow>& Rows() const { return m_rows; }
    const DownloadRow* Find(int id) const;
    int Count() const { return static_cast<int>(m_rows.size()); }
    // The row's position from the top (0 first), -1 when it is not listed.
    int Position(int id) const;
    // The sum of the rows' sizes in megabytes.
    double TotalMegabytes() const;

private:
    DownloadRow* Add(const store::GameCatalogue& catalogue, int id, int percent, int speed);

    std::map<int, DownloadRow> m_rows;
};

} // namespace browse
