#include "transfer/DownControlThread.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/Messages.h"
#include "transfer/SizeText.h"
#include "transfer/TransferEnv.h"
#include "transfer/TransferItem.h"

namespace transfer {
namespace {

using platform::PackWords;
namespace msg = platform::msg;

constexpr std::uint32_t ActionRemove = 0;
constexpr std::uint32_t ActionPause = 1;
constexpr std::uint32_t ActionResume = 2;

std::uint32_t Percent(double part, double whole)
{
    return static_cast<std::uint32_t>(part * 100.0 / whole);
}

// Kilobytes since the last report (a report a second apart reads as KB/s).
std::uint32_t KilobytesSince(double received, double last)
{
    const double delta = received - last;
    return delta > 0 ? static_cast<std::uint32_t>(delta / 1024.0) : 0u;
}

} // namespace

DownControlThread::DownControlThread(platform::WindowHandle mainWindow,
                                     std::string programDir,
                                     MaxDownloads maxDownloads,
                                     std::shared_ptr<const TransferEnv> env)
    : m_mainWindow(mainWindow)
    , m_programDir(std::move(programDir))
    , m_maxDownloads(std::move(maxDownloads))
    , m_env(env ? std::move(env) : SystemTransferEnv())
{
    m_thread.On(msg::DownControl, [this](const platform::Message& m) { OnControl(m); });
    m_thread.On(msg::DownReportMain, [this](const platform::Message& m) { OnReportMain(m); });
    m_thread.On(msg::DownReportWindow, [this](const platform::Message& m) { OnReportWindow(m); });
    m_thread.Start();
}

DownControlThread::~DownControlThread()
{
    m_thread.Stop();
    StopAll();
}

StartResult DownControlThread::StartDownload(int gameId,
                                             const std::string& packagePath,
                                             const std::string& url,
                                             std::string_view sizeText,
                                             bool startPaused)
{
    const int maxDownloads = m_maxDownloads ? m_maxDownloads() : 0;
    std::lock_guard lock(m_mutex);
    if (auto it = m_items.find(gameId); it != m_items.end()) {
        TransferItem& item = *it->second;
        if (item.HasWorker()) {
            item.SetPaused(false);
        } else {
            item.StartWorker(m_programDir, m_env);
        }
        return StartResult::Started;
    }
    if (m_items.size() >= static_cast<std::size_t>(std::max(maxDownloads, 0))) {
        return StartResult::TooMany;
    }
    const double size = SizeTextToBytes(sizeText);
    double needed = size;
    for (const auto& [id, item] : m_items) {
        needed += item->Expected();
    }
    const std::optional<std::uint64_t> free = m_env->FreeBytes(m_programDir);
    if (!free || static_cast<double>(*free) < needed) {
        return StartResult::NoSpace;
    }

    auto item = std::make_unique<TransferItem>(m_mainWindow, gameId, packagePath, url, size, startPaused);
    if (startPaused) {
        platform::PostMessageTo(m_mainWindow,
                                msg::DownloadCommand,
                                PackWords(gameId, msg::down_event::CreatedPaused),
                                0);
    } else {
        item->StartWorker(m_programDir, m_env);
    }
    m_items.emplace(gameId, std::move(item));
    platform::PostMessageTo(m_mainWindow, msg::TransferCount, PackWords(m_items.size(), 0), 0);
    return StartResult::Started;
}

void DownControlThread::StopAll()
{
    std::map<int, std::unique_ptr<TransferItem>> items;
    {
        std::lock_guard lock(m_mutex);
        items.swap(m_items);
    }
    // Ask every worker to stop first, so that they end together rather than one after the other.
    for (auto& [id, item] : items) {
        item->RequestStop();
    }
    for (auto& [id, item] : items) {
        item->StopWorker();
    }
    items.clear();
}

std::size_t DownControlThread::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

void DownControlThread::OnControl(const platform::Message& message)
{
    const int gameId = static_cast<int>(platform::HiWord(message.wParam));
    const std::uint32_t action = platform::LoWord(message.wParam);
    std::unique_ptr<TransferItem> removed;
    std::size_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_items.find(gameId);
        if (it == m_items.end()) {
            return;
        }
        TransferItem& item = *it->second;
        switch (action) {
        case ActionPause:
            item.SetPaused(true);
            break;
        case ActionResume:
            if (item.HasWorker()) {
                item.SetPaused(false);
            } else {
                item.StartWorker(m_programDir, m_env);
            }
            break;
        case ActionRemove:
            removed = std::move(it->second);
            m_items.erase(it);
            count = m_items.size();
            break;
        default:
            break;
        }
    }
    if (removed) {
        // Outside the lock: a start call is never kept waiting for a worker to end.
        removed->StopWorker();
        removed.reset();
        platform::PostMessageTo(m_mainWindow, msg::TransferCount, PackWords(count, 0), 0);
    }
    platform::PostMessageTo(m_mainWindow, msg::CommandResult, PackWords(gameId, action), message.lParam);
}

void DownControlThread::OnReportMain(const platform::Message&)
{
    std::lock_guard lock(m_mutex);
    double totalExpected = 0.0;
    double totalReceived = 0.0;
    double totalLast = 0.0;
    for (const auto& [id, item] : m_items) {
        const double received = item->Received();
        const double expected = item->Expected();
        const double last = item->LastReported();
        const bool running = item->Paused() == 0;
        if (received <= expected && received > 0) {
            if (running) {
                const platform::Param progress = PackWords(Percent(received, expected), KilobytesSince(received, last));
                platform::PostMessageTo(m_mainWindow, msg::Progress, PackWords(id, 0), progress);
                totalExpected += expected;
                totalReceived += received;
                totalLast += last;
            }
            item->SetLastReported(received);
        } else if (running) {
            platform::PostMessageTo(m_mainWindow, msg::Progress, PackWords(id, 0), 0);
        }
    }
    platform::Param summary = 0;
    if (totalExpected > 0) {
        summary = PackWords(Percent(totalReceived, totalExpected), KilobytesSince(totalReceived, totalLast));
    }
    platform::PostMessageTo(m_mainWindow, msg::Progress, PackWords(0, m_items.size()), summary);
}

void DownControlThread::OnReportWindow(const platform::Message& message)
{
    const platform::WindowHandle window = message.wParam;
    std::lock_guard lock(m_mutex);
    for (const auto& [id, item] : m_items) {
        const double received = item->Received();
        const double expected = item->Expected();
        platform::Param progress = 0;
        if (received < expected && received > 0) {
            const std::uint32_t percent = Percent(received, expected);
            progress = item->Paused() == 0 ? PackWords(percent, KilobytesSince(received, item->LastReported()))
                                           : PackWords(percent, 0);
            item->SetLastReported(received);
        }
        platform::PostMessageTo(window, msg::Progress, PackWords(id, 0), progress);
    }
}

} // namespace transfer
