#include "browse/ManagerLists.h"

#include <algorithm>
#include <cmath>

#include "browse/GameId.h"
#include "browse/GameList.h"

namespace browse {

std::vector<int> GamesInState(const store::GameCatalogue& catalogue, std::int32_t state)
{
    std::vector<int> ids;
    for (const auto& [key, record] : catalogue) {
        if (record.state == state) {
            if (const std::optional<int> id = MessageId(key)) {
                ids.push_back(*id);
            }
        }
    }
    // The catalogue is in byte-wise key order ("10" before "9").
    std::sort(ids.begin(), ids.end());
    return ids;
}

int DownedList::Fill(const store::GameCatalogue& catalogue, std::int32_t state, bool keepPage)
{
    m_games = GamesInState(catalogue, state);
    m_pageCount = static_cast<int>((m_games.size() + RowsPerPage - 1) / RowsPerPage);
    if (!keepPage || m_current >= m_pageCount) {
        m_current = 0;
    }
    return GameCount();
}

std::span<const int> DownedList::Page(int page) const
{
    if (page < 0 || page >= m_pageCount) {
        return {};
    }
    const std::size_t first = static_cast<std::size_t>(page) * RowsPerPage;
    const std::size_t count = std::min<std::size_t>(RowsPerPage, m_games.size() - first);
    return std::span<const int>(m_games).subspan(first, count);
}

std::optional<int> DownedList::Target(int request) const
{
    return PageTarget(request, m_current, m_pageCount);
}

void DownedList::SetCurrentPage(int page)
{
    if (page >= 0 && page < m_pageCount) {
        m_current = page;
    }
}

std::optional<int> DownedList::ButtonPage(int k) const
{
    return ButtonPageOf(k, m_current, m_pageCount);
}

double SizeInMegabytes(std::string_view text)
{
    std::size_t i = 0;
    const auto space = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
            ++i;
        }
    };
    space();
    // Digits with at most one decimal point; no sign, no exponent.
    double value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            value += (text[i] - '0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits || !std::isfinite(value)) {
        return 0;
    }
    space();
    const char unit = i < text.size() ? text[i] : '\0';
    double megabytes = value;
    if (unit == 'k' || unit == 'K') {
        megabytes = value / 1024;
    } else if (unit == 'g' || unit == 'G') {
        megabytes = value * 1024;
    }
    return std::isfinite(megabytes) ? megabytes : 0;
}

const DownloadRow* DownloadRows::Find(int id) const
{
    const auto found = m_rows.find(id);
    return found == m_rows.end() ? nullptr : &found->second;
}

int DownloadRows::Position(int id) const
{
    const auto found = m_rows.find(id);
    return found == m_rows.end() ? -1 : static_cast<int>(std::distance(m_rows.begin(), found));
}

double DownloadRows::TotalMegabytes() const
{
    double total = 0;
    for (const auto& [id, row] : m_rows) {
        total += row.megabytes;
    }
    return total;
}

DownloadRow* DownloadRows::Add(const store::GameCatalogue& catalogue, int id, int percent, int speed)
{
    const auto record = catalogue.find(KeyOf(id));
    if (record == catalogue.end()) {
        return nullptr;
    }
    const store::GameRecord& game = record->second;
    DownloadRow row;
    row.id = id;
    row.name = game.name;
    row.idText = game.id;
    row.megabytes = SizeInMegabytes(game.size);
    row.info6 = game.info6;
    row.speed = speed;
    row.percent = percent;
    // A transfer still contacting the server runs as much as one that receives.
    const bool running = game.state == store::game_state::Downloading || game.state == store::game_state::Contacting;
    row.state = running ? DownloadRow::Running : DownloadRow::Paused;
    return &m_rows.insert_or_assign(id, std::move(row)).first->second;
}

RowChange DownloadRows::Result(const store::GameCatalogue& catalogue, int id, std::uint32_t result)
{
    if (id <= 0 || catalogue.find(KeyOf(id)) == catalogue.end()) {
        return RowChange::None;
    }
    const auto found = m_rows.find(id);
    if (found == m_rows.end()) {
        if (result != ResultPaused && result != ResultContinued) {
            return RowChange::None;
        }
        DownloadRow* row = Add(catalogue, id, 0, 0);
        if (row == nullptr) {
            return RowChange::None;
        }
        row->state = result == ResultPaused ? DownloadRow::Paused : DownloadRow::Running;
        return RowChange::Added;
    }
    switch (result) {
    case ResultRemoved:
        m_rows.erase(found);
        return RowChange::Removed;
    case ResultPaused:
        found->second.state = DownloadRow::Paused;
        found->second.speed = 0;
        return RowChange::Updated;
    case ResultContinued:
        found->second.state = DownloadRow::Running;
        return RowChange::Updated;
    default:
        return RowChange::None;
    }
}

RowChange DownloadRows::Progress(const store::GameCatalogue& catalogue, platform::Param wParam, platform::Param lParam)
{
    if (wParam <= 0xFFFF) {
        return RowChange::None; // the summary
    }
    const int id = static_cast<int>(platform::HiWord(wParam));
    const int percent = std::min(100, static_cast<int>(platform::HiWord(lParam)));
    const int speed = static_cast<int>(platform::LoWord(lParam));
    const auto found = m_rows.find(id);
    if (found == m_rows.end()) {
        return Add(catalogue, id, percent, speed) != nullptr ? RowChange::Added : RowChange::None;
    }
    DownloadRow& row = found->second;
    row.percent = percent;
    row.speed = speed;
    row.state = DownloadRow::Running;
    return RowChange::Updated;
}

} // namespace browse
