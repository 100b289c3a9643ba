#include "queue/DownloadQueue.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/GameKey.h"
#include "transfer/Http.h"
#include "transfer/SizeText.h"

namespace queue {
namespace {

namespace msg = platform::msg;
namespace state = store::game_state;
using platform::HiWord;
using platform::LoWord;
using platform::PackWords;

// Actions of the control thread's DownControl.
constexpr std::uint32_t ControlRemove = 0;
constexpr std::uint32_t ControlPause = 1;
constexpr std::uint32_t ControlResume = 2;
// lParam of a removal: completed, or cancelled (hi 1).
constexpr platform::Param Completed = 0;
constexpr platform::Param Cancelled = PackWords(1, 0);

// Requests of DownloadRequest and the commands they become.
constexpr std::uint32_t RequestCancel = 0;
constexpr std::uint32_t RequestStart = 1;
constexpr std::uint32_t RequestPause = 2;
constexpr std::uint32_t RequestContinue = 3;
constexpr std::uint32_t CommandCancel = 4;
constexpr std::uint32_t CommandPause = 6;
constexpr std::uint32_t CommandContinue = 7;

// Results of CommandResult.
constexpr std::uint32_t ResultRemoved = 0;
constexpr std::uint32_t ResultPaused = 1;
constexpr std::uint32_t ResultContinued = 2;

Post ToSelf(platform::MessageId id, platform::Param wParam, platform::Param lParam = 0)
{
    return {Target::Self, {id, wParam, lParam}};
}

Post ToControl(int gameId, std::uint32_t action, platform::Param lParam = 0)
{
    return {Target::ControlThread, {msg::DownControl, PackWords(static_cast<std::uint32_t>(gameId), action), lParam}};
}

bool IsLocalState(std::int32_t value)
{
    return value == state::Downloaded || value == state::Recycled;
}

} // namespace

DownloadQueue::DownloadQueue(store::GameCatalogue& catalogue,
                             const store::BoxSettings& settings,
                             std::string programDir,
                             std::string serverBase,
                             StartCall start,
                             Clock clock)
    : m_catalogue(catalogue)
    , m_settings(settings)
    , m_programDir(std::move(programDir))
    , m_serverBase(std::move(serverBase))
    , m_start(std::move(start))
    , m_clock(clock ? std::move(clock) : Clock(LocalNow))
{}

store::GameRecord* DownloadQueue::Find(int gameId)
{
    if (gameId < 1 || gameId > platform::MaxMessageGameId) {
        return nullptr;
    }
    const auto found = m_catalogue.find(std::to_string(gameId));
    return found == m_catalogue.end() ? nullptr : &found->second;
}

bool DownloadQueue::SetState(store::GameRecord& record, std::int32_t value)
{
    const bool moved = IsLocalState(record.state) != IsLocalState(value);
    record.state = value;
    return moved;
}

DownloadQueue::HeldDownload& DownloadQueue::HoldOf(int gameId)
{
    return m_held[gameId];
}

bool DownloadQueue::HeldPaused(int gameId) const
{
    const auto found = m_held.find(gameId);
    return found != m_held.end() && found->second.paused;
}

std::optional<transfer::StartResult> DownloadQueue::Admit(int gameId, store::GameRecord& record, bool startPaused)
{
    if (!m_start) {
        return std::nullopt;
    }
    std::error_code error;
    std::filesystem::create_directories(m_programDir + "download", error);
    const std::string package = transfer::PackagePath(m_programDir, gameId);
    const transfer::StartResult result =
        m_start(gameId, package, transfer::PackageUrl(m_serverBase, gameId), record.size, startPaused);
    if (result == transfer::StartResult::Started) {
        m_held[gameId] = HeldDownload{PercentOnDisk(package, record.size), startPaused};
    }
    return result;
}

Effects DownloadQueue::Request(int gameId, std::uint32_t request)
{
    Effects effects;
    const auto id = static_cast<std::uint32_t>(gameId);
    switch (request) {
    case RequestCancel:
        if (const auto held = m_held.find(gameId); held != m_held.end()) {
            held->second.cancelling = true;
        }
        effects.posts.push_back(ToSelf(msg::DownloadCommand, PackWords(id, CommandCancel)));
        return effects;
    case RequestPause:
        effects.posts.push_back(ToSelf(msg::DownloadCommand, PackWords(id, CommandPause)));
        return effects;
    case RequestContinue:
        effects.posts.push_back(ToSelf(msg::DownloadCommand, PackWords(id, CommandContinue)));
        return effects;
    case RequestStart:
        break;
    default:
        return effects;
    }

    store::GameRecord* record = Find(gameId);
    if (record == nullptr) {
        return effects;
    }
    if (const auto held = m_held.find(gameId); held != m_held.end()) {
        // Already held: a paused one continues (and says so with its result); a running one is
        // left alone. Either way nothing is fetched twice.
        if (held->second.paused) {
            effects.posts.push_back(ToSelf(msg::DownloadCommand, PackWords(id, CommandContinue)));
        }
        return effects;
    }
    if (record->state == state::Downloaded) {
        // Asked for again after its package could not be opened: a package of the right length
        // would count as complete without a byte fetched, so it goes first.
        const std::string package = transfer::PackagePath(m_programDir, gameId);
        transfer::RemoveQuietly(package);
        transfer::RemoveQuietly(transfer::SideFilePath(package));
    }
    const std::optional<transfer::StartResult> result = Admit(gameId, *record, false);
    if (!result) {
        return effects;
    }
    switch (*result) {
    case transfer::StartResult::Started:
        effects.posts.push_back({Target::Manager, {msg::ManagerCommand, 0, 0}});
        break;
    case transfer::StartResult::TooMany:
        effects.notice = Notice::TooMany;
        break;
    case transfer::StartResult::NoSpace:
        effects.notice = Notice::NoSpace;
        break;
    }
    return effects;
}

Effects DownloadQueue::Command(int gameId, std::uint32_t command)
{
    Effects effects;
    store::GameRecord* record = Find(gameId);
    if (record == nullptr) {
        return effects;
    }
    switch (command) {
    case msg::down_event::Started: {
        effects.recount = SetState(*record, state::Contacting);
        // The card shows the download from its first moment, as the tray and the status line do.
        const HeldDownload& held = HoldOf(gameId);
        effects.card = CardChange{gameId, held.paused ? CardShow::Paused : CardShow::Progress, held.percent};
        break;
    }
    case msg::down_event::NoAnswer:
    case msg::down_event::NoLength:
    case CommandCancel: { // also the worker's SizeMismatch
        // Not asked for by the user: the card says that the download failed.
        const auto held = m_held.find(gameId);
        if (held != m_held.end() && !held->second.cancelling) {
            held->second.failed = true;
        }
        effects.posts.push_back(ToControl(gameId, ControlRemove, Cancelled));
        break;
    }
    case msg::down_event::BodyBegins: {
        effects.recount = SetState(*record, state::Downloading);
        HeldDownload& held = HoldOf(gameId);
        held.paused = false;
        effects.card = CardChange{gameId, CardShow::Progress, held.percent};
        break;
    }
    case msg::down_event::Complete:
        effects.posts.push_back(ToControl(gameId, ControlRemove, Completed));
        break;
    case CommandPause: // also the control thread's CreatedPaused
        effects.posts.push_back(ToControl(gameId, ControlPause));
        break;
    case CommandContinue:
        effects.posts.push_back(ToControl(gameId, ControlResume));
        break;
    default:
        break;
    }
    return effects;
}

Effects DownloadQueue::Progress(platform::Param wParam, platform::Param lParam)
{
    Effects effects;
    effects.posts.push_back({Target::Manager, {msg::ManagerProgress, wParam, lParam}});
    if (wParam > 0xFFFF) {
        const int gameId = static_cast<int>(HiWord(wParam));
        const auto held = m_held.find(gameId);
        if (held == m_held.end()) {
            return effects; // gone since the report was made
        }
        if (lParam != 0) { // 0: nothing received yet, the last known percentage stands
            held->second.percent = std::min(static_cast<int>(HiWord(lParam)), 100);
        }
        effects.card = CardChange{gameId, CardShow::Progress, held->second.percent};
    } else {
        effects.statusCount = static_cast<int>(LoWord(wParam));
        effects.statusSpeed = static_cast<int>(LoWord(lParam));
    }
    return effects;
}

Effects DownloadQueue::Result(int gameId, std::uint32_t action, platform::Param lParam, const ListState& list)
{
    Effects effects;
    store::GameRecord* record = Find(gameId);
    if (record == nullptr) {
        return effects;
    }
    switch (action) {
    case ResultPaused: {
        effects.recount = SetState(*record, state::Paused);
        HeldDownload& held = HoldOf(gameId);
        held.paused = true;
        effects.card = CardChange{gameId, CardShow::Paused, held.percent};
        break;
    }
    case ResultContinued: {
        effects.recount = SetState(*record, state::Downloading);
        HeldDownload& held = HoldOf(gameId);
        held.paused = false;
        effects.card = CardChange{gameId, CardShow::Progress, held.percent};
        break;
    }
    case ResultRemoved: {
        const auto held = m_held.find(gameId);
        const bool failed = held != m_held.end() && held->second.failed;
        if (held != m_held.end()) {
            m_held.erase(held);
        }
        if (HiWord(lParam) == 0) {
            SetState(*record, state::Downloaded);
            record->dawndate = DateText(m_clock());
            if (list.listed && list.online) {
                effects.refill = ListRefill::Online;
            } else if (!list.listed && !list.online) {
                effects.refill = ListRefill::Local;
            }
            // A fill shows its first game in the card; the user keeps the one being watched
            // (whose action button becomes "打开游戏" where the stop button was a moment ago).
            effects.keepCard = true;
            // Downloaded: the card offers to play it.
            effects.card = CardChange{gameId, CardShow::Open, 0};
            if (m_settings.autogame) {
                effects.posts.push_back(
                    ToSelf(msg::GameAction, PackWords(static_cast<std::uint32_t>(gameId), msg::game_action::Play)));
            }
            effects.recount = true;
        } else {
            effects.recount = SetState(*record, state::NotDownloaded);
            effects.card = CardChange{gameId, failed ? CardShow::Failed : CardShow::Download, 0};
        }
        break;
    }
    default:
        break;
    }
    effects.posts.push_back(
        {Target::Manager, {msg::ManagerCommand, PackWords(static_cast<std::uint32_t>(gameId), action), lParam}});
    return effects;
}

Effects DownloadQueue::Count(int transfers)
{
    Effects effects;
    m_transfers = std::max(transfers, 0);
    effects.statusCount = m_transfers;
    if (m_transfers == 0) {
        effects.statusSpeed = 0;
    }
    return effects;
}

std::vector<int> DownloadQueue::Unfinished() const
{
    std::vector<int> ids;
    for (const auto& [key, record] : m_catalogue) {
        if (record.state == state::Downloading || record.state == state::Paused || record.state == state::Contacting) {
            if (const std::optional<int> id = platform::GameKeyId(key)) {
                ids.push_back(*id);
            }
        }
    }
    return ids;
}

Effects DownloadQueue::TakeUp(int gameId)
{
    Effects effects;
    store::GameRecord* record = Find(gameId);
    if (record == nullptr || m_held.contains(gameId)) {
        return effects;
    }
    bool startPaused = true;
    if (record->state == state::Downloading || record->state == state::Contacting) {
        startPaused = !m_settings.autodown;
    } else if (record->state != state::Paused) {
        return effects;
    }
    const std::optional<transfer::StartResult> result = Admit(gameId, *record, startPaused);
    if (!result) {
        return effects;
    }
    if (*result == transfer::StartResult::Started) {
        SetState(*record, startPaused ? state::Paused : state::Downloading);
        const HeldDownload& held = m_held.at(gameId);
        effects.card = CardChange{gameId, startPaused ? CardShow::Paused : CardShow::Progress, held.percent};
    } else {
        SetState(*record, state::NotDownloaded);
        effects.card = CardChange{gameId, CardShow::Download, 0};
        effects.notice = *result == transfer::StartResult::TooMany ? Notice::TooMany : Notice::NoSpace;
    }
    return effects;
}

Effects DownloadQueue::GameAction(int gameId, std::uint32_t action, platform::Param lParam, const ListState& list)
{
    Effects effects;
    const auto id = static_cast<std::uint32_t>(gameId);
    if (action == msg::game_action::ViewChanged) {
        effects.refill = ListRefill::Current;
        effects.recount = true;
        effects.card = CardChange{gameId, CardShow::Download, 0};
        return effects;
    }
    if (Find(gameId) == nullptr) {
        return effects;
    }
    switch (action) {
    case msg::game_action::Play:
        effects.posts.push_back({Target::UnpackingThread, {msg::UnzipOpen, PackWords(id, 0), 0}});
        break;
    case msg::game_action::Remove:
        effects.posts.push_back({Target::UnpackingThread, {msg::UnzipRemove, PackWords(id, 0), 0}});
        break;
    case msg::game_action::Result:
        return OpenOutcome(gameId, HiWord(lParam), LoWord(lParam) != 0);
    case msg::game_action::Removed:
        if (list.listed && !list.online) {
            effects.refill = ListRefill::Local;
        } else if (!list.listed && list.online) {
            effects.refill = ListRefill::Online;
        }
        effects.recount = true;
        effects.card = CardChange{gameId, CardShow::Download, 0};
        break;
    default:
        break;
    }
    return effects;
}

Effects DownloadQueue::OpenOutcome(int gameId, std::uint32_t code, bool tell)
{
    namespace result = msg::open_result;
    Effects effects;
    if (code > result::Started) {
        return effects;
    }
    // Whatever happened, the card's button no longer waits ("Loading") but offers to play again.
    effects.card = CardChange{gameId, CardShow::Open, 0};
    if (!tell) {
        return effects;
    }
    switch (code) {
    case result::PackageUnreadable:
        effects.notice = Notice::DownloadAgain;
        effects.confirmPosts.push_back(
            ToSelf(msg::DownloadRequest, PackWords(static_cast<std::uint32_t>(gameId), RequestStart)));
        break;
    case result::ExtractFailed:
        effects.notice = Notice::ExtractFailed;
        break;
    case result::NoConfig:
        effects.notice = Notice::NoConfig;
        break;
    case result::NoExecutable:
        effects.notice = Notice::NoExecutable;
        break;
    default:
        break;
    }
    return effects;
}

std::optional<CardChange> DownloadQueue::CardFor(int gameId) const
{
    const auto held = m_held.find(gameId);
    if (held == m_held.end()) {
        return std::nullopt;
    }
    return CardChange{gameId, held->second.paused ? CardShow::Paused : CardShow::Progress, held->second.percent};
}

void DownloadQueue::Quit()
{
    for (auto& [key, record] : m_catalogue) {
        if (record.state == state::Contacting) {
            record.state = state::Downloading;
        }
    }
    m_held.clear();
    m_transfers = 0;
}

std::string DownloadQueue::DateText(const std::tm& time)
{
    return std::to_string(time.tm_year + 1900) + "-" + std::to_string(time.tm_mon + 1) + "-"
           + std::to_string(time.tm_mday) + " " + std::to_string(time.tm_hour) + ":" + std::to_string(time.tm_min) + ":"
           + std::to_string(time.tm_sec);
}

std::tm DownloadQueue::LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    return local;
}

int PercentOnDisk(const std::string& packagePath, std::string_view sizeText)
{
    const double total = transfer::SizeTextToBytes(sizeText);
    const auto bytes = static_cast<double>(transfer::FileSizeOrZero(packagePath));
    if (total <= 0 || bytes <= 0) {
        return 0;
    }
    return std::clamp(static_cast<int>(bytes * 100.0 / total), 0, 99);
}

} // namespace queue
