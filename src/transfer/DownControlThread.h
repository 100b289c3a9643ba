#pragma once

// The download control thread: owns the table of active downloads (game id -> TransferItem), takes
// the main window's control messages (DownControl: remove, pause, resume) and progress requests
// (DownReportMain, DownReportWindow), and posts the results to the main window. Downloads are
// started by a direct call from the main window's thread (StartDownload); one lock guards the
// table for that call, for the thread's own handlers and for StopAll.
//
// Messages posted: DownloadCommand (event 6 for a download created paused; the workers post events
// 0 to 5), Progress, CommandResult, TransferCount. See platform/Messages.h for the packing.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/MessageThread.h"

namespace transfer {

class TransferEnv;
class TransferItem;

// Results of StartDownload, in the order they are tested.
enum class StartResult
{
    Started = 0, // a new download started (or created paused), or a held one resumed
    TooMany = 1, // the table already holds the maximum number of downloads
    NoSpace = 2, // the free space is below the sizes of this and every held download
};

class DownControlThread
{
public:
    // The settings' maximum number of simultaneous downloads, read at every start.
    using MaxDownloads = std::function<int()>;

    // Starts the thread at once. mainWindow receives every report; programDir (ending in "/") is
    // where free space is measured and "game/<id>" folders are made. Without env, the machine's.
    DownControlThread(platform::WindowHandle mainWindow,
                      std::string programDir,
                      MaxDownloads maxDownloads,
                      std::shared_ptr<const TransferEnv> env = nullptr);
    // Stops the thread, then every download (StopAll).
    ~DownControlThread();
    DownControlThread(const DownControlThread&) = delete;
    DownControlThread& operator=(const DownControlThread&) = delete;
    DownControlThread(DownControlThread&&) = delete;
    DownControlThread& operator=(DownControlThread&&) = delete;

    // The handle to post DownControl, DownReportMain and DownReportWindow to.
    platform::WindowHandle Handle() const { return m_thread.Handle(); }

    // Main window's thread. A game already in the table is resumed (or its worker started) and
    // Started returned; otherwise the limit is tested first, then the free space of programDir's
    // volume against sizeText (see SizeTextToBytes) plus the expected sizes of all held downloads.
    // An admitted download starts its worker at once, or with startPaused posts event 6 and waits
    // for a resume; TransferCount follows.
    [[nodiscard]] StartResult StartDownload(int gameId,
                                            const std::string& packagePath,
                                            const std::string& url,
                                            std::string_view sizeText,
                                            bool startPaused);

    // Main window's thread, at exit: stops every worker at once (partial files stay) and empties
    // the table. Posts nothing.
    void StopAll();

    // Number of downloads in the table. Any thread.
    std::size_t Count() const;

private:
    void OnControl(const platform::Message& message);
    void OnReportMain(const platform::Message& message);
    void OnReportWindow(const platform::Message& message);

    const platform::WindowHandle m_mainWindow;
    const std::string m_programDir;
    const MaxDownloads m_maxDownloads;
    const std::shared_ptr<const TransferEnv> m_env;
    mutable std::mutex m_mutex;
    std::map<int, std::unique_ptr<TransferItem>> m_items; // guarded by m_mutex
    platform::MessageThread m_thread;                     // last: stopped before the table goes
};

} // namespace transfer
