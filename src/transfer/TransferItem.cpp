#include "transfer/TransferItem.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/Messages.h"
#include "transfer/Http.h"
#include "transfer/TransferEnv.h"

namespace transfer {
namespace {

namespace fs = std::filesystem;
namespace event = platform::msg::down_event;

constexpr long HeaderTimeLimitSeconds = 5;
// The body may take as long as it would at this rate, plus one second.
constexpr std::int64_t BytesPerSecondFloor = 5120;

} // namespace

TransferItem::TransferItem(platform::WindowHandle notifyWindow,
                           int gameId,
                           std::string packagePath,
                           std::string url,
                           double expected,
                           bool paused)
    : m_notifyWindow(notifyWindow)
    , m_gameId(gameId)
    , m_session(std::make_unique<detail::CurlSession>())
    , m_expected(expected)
    , m_packagePath(std::move(packagePath))
    , m_url(std::move(url))
{
    m_control.hold.store(paused);
}

TransferItem::~TransferItem()
{
    StopWorker();
}

void TransferItem::StartWorker(std::string programDir, std::shared_ptr<const TransferEnv> env)
{
    if (m_worker.joinable()) {
        return;
    }
    m_control.hold.store(false);
    m_worker = std::thread([this, dir = std::move(programDir), env = std::move(env)] { Work(dir, env); });
}

void TransferItem::SetPaused(bool paused)
{
    m_control.hold.store(paused);
    m_session->Wake();
}

void TransferItem::RequestStop()
{
    m_control.stop.store(true);
    m_session->Wake();
}

void TransferItem::StopWorker()
{
    RequestStop();
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void TransferItem::PostEvent(std::uint32_t event) const
{
    if (m_control.stop.load()) {
        return; // removed or stopped: the main window no longer expects anything of this download
    }
    platform::PostMessageTo(m_notifyWindow, platform::msg::DownloadCommand, platform::PackWords(m_gameId, event), 0);
}

void TransferItem::Work(const std::string& programDir, const std::shared_ptr<const TransferEnv>& env)
{
    const std::string url = EscapeSpaces(m_url);
    PostEvent(event::Started);

    // How long is the package? No referrer: package requests never sent one.
    const detail::HeadAnswer head = m_session->Head(url, HeaderTimeLimitSeconds, std::string(), m_control);
    if (m_control.stop.load()) {
        return;
    }
    if (head.headers.empty()) {
        PostEvent(event::NoAnswer);
        return;
    }
    const std::int64_t length = ContentLength(head.headers).value_or(0);
    // An error page or a redirect carries a length too, but it is not the package.
    if (head.status != 200 || length < 1) {
        PostEvent(event::NoLength);
        return;
    }

    // What is on disk already, and is it still a beginning of this package?
    const std::string sidePath = SideFilePath(m_packagePath);
    const std::string lastModified = LastModifiedText(head.headers);
    std::int64_t existing = FileSizeOrZero(m_packagePath);
    if (existing > length) {
        RemoveQuietly(m_packagePath);
        existing = 0;
    } else if (existing > 0) {
        // A partial package is only resumed while the server's copy is the one it was begun from;
        // a complete one is taken as it is unless its side file names another copy.
        const std::optional<std::string> kept = ReadSideText(sidePath);
        const bool changed = existing < length ? (!kept || *kept != lastModified) : (kept && *kept != lastModified);
        if (changed) {
            RemoveQuietly(m_packagePath);
            existing = 0;
        }
    }
    if (existing == length) {
        RemoveQuietly(sidePath);
        m_control.hold.store(true);
        PostEvent(event::Complete);
        return;
    }
    if (env) {
        const std::string folder = fs::path(m_packagePath).parent_path().string();
        const std::optional<std::uint64_t> free = env->FreeBytes(folder.empty() ? std::string(".") : folder);
        if (free && static_cast<std::uint64_t>(length - existing) > *free) {
            PostEvent(event::NoLength); // a length this disk cannot take is no usable length
            return;
        }
    }

    m_received.store(static_cast<double>(existing));
    m_lastReported.store(static_cast<double>(existing));
    m_expected.store(static_cast<double>(length));

    {
        // The package and its side file are made (or the package emptied, for an answer that
        // starts over from byte 0) only once the answer has been accepted.
        detail::ResumableFile file(m_packagePath, sidePath, lastModified, &m_received);
        detail::BodyRequest request;
        request.url = url;
        request.from = existing;
        request.to = length;
        request.timeLimitSeconds = static_cast<long>((length - existing) / BytesPerSecondFloor + 1);
        request.honourHold = true;
        m_control.hold.store(false);
        PostEvent(event::BodyBegins);
        (void)m_session->Get(request, file, m_control);
    } // the package file is closed here
    if (m_control.stop.load()) {
        return; // the partial package and its side file stay for the next start
    }
    if (FileSizeOrZero(m_packagePath) != length) {
        m_control.hold.store(true);
        PostEvent(event::SizeMismatch);
        return;
    }
    RemoveQuietly(sidePath);

    // A failed or stopped unpack still ends as complete: its game does not count as unpacked, so
    // opening it unpacks again from the package and reports the outcome.
    if (env) {
        (void)env->Unpack(m_packagePath, GameFolder(programDir, m_gameId), m_control.stop);
    }
    m_control.hold.store(true);
    PostEvent(event::Complete);
}

} // namespace transfer
