#pragma once

// One active download of the download control thread, and the worker thread that fetches its
// package. The worker asks the server for the package's length (header request, 5 s), resumes
// from the bytes already on disk with a byte range, checks the size and unpacks the package into
// the game's folder; it posts its events (DownloadCommand, low word 0 to 5) to the notify window.
//
// Threads: the owner (the control thread's table, under its lock) starts, holds, lets go and stops
// the worker; the worker writes the byte counters, which reports read at any time.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/HandleTable.h"
#include "transfer/CurlSession.h"

namespace transfer {

class TransferEnv;

class TransferItem
{
public:
    // The libcurl handle is made here (after the process-wide initialisation) and freed with the item.
    TransferItem(platform::WindowHandle notifyWindow,
                 int gameId,
                 std::string packagePath,
                 std::string url,
                 double expected,
                 bool paused);
    // Stops the worker at once and waits for it.
    ~TransferItem();
    TransferItem(const TransferItem&) = delete;
    TransferItem& operator=(const TransferItem&) = delete;
    TransferItem(TransferItem&&) = delete;
    TransferItem& operator=(TransferItem&&) = delete;

    int GameId() const { return m_gameId; }
    const std::string& PackagePath() const { return m_packagePath; }
    const std::string& Url() const { return m_url; }

    // Byte counters: the expected size, the bytes received (those on disk when the transfer began
    // included), and the bytes at the last report. Any thread; a reader may see a value a moment old.
    double Expected() const { return m_expected.load(); }
    double Received() const { return m_received.load(); }
    double LastReported() const { return m_lastReported.load(); }
    void SetLastReported(double bytes) { m_lastReported.store(bytes); }

    // 0 running, 1 paused or finished.
    int Paused() const { return m_control.hold.load() ? 1 : 0; }

    // The owner's side; calls are serialised by the owner (the control thread's table lock).
    bool HasWorker() const { return m_worker.joinable(); }
    // Starts the worker (once), running.
    void StartWorker(std::string programDir, std::shared_ptr<const TransferEnv> env);
    // Pause (true) or resume (false): sets the paused flag; a running body transfer holds or lets go
    // of its receiving side within a moment. Any thread.
    void SetPaused(bool paused);
    // Asks the worker to end its transfer at once, without waiting. Any thread.
    void RequestStop();
    // Ends the worker's transfer at once (the partial file stays on disk, complete up to the last
    // byte written) and waits for the worker. The worker posts nothing more. Not from the worker.
    void StopWorker();

private:
    void Work(const std::string& programDir, const std::shared_ptr<const TransferEnv>& env);
    void PostEvent(std::uint32_t event) const;

    const platform::WindowHandle m_notifyWindow;
    const int m_gameId;
    std::unique_ptr<detail::CurlSession> m_session;
    std::atomic<double> m_expected;
    std::atomic<double> m_received{0.0};
    std::atomic<double> m_lastReported{0.0};
    const std::string m_packagePath;
    const std::string m_url;
    detail::RequestControl m_control; // hold is the paused flag
    std::thread m_worker;
};

} // namespace transfer
