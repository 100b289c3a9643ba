#pragma once

// The loader thread: on its one message (msg::LoadStart) it fills the stores before the main window
// exists — the interface texts (through a callback of the UI), gamelist.xml, the day's update from
// the catalogue server, the category tree, the download dates and set.xml — reporting each stage
// to the splash window, and ends with stage 100. Afterwards it stays idle until it is stopped.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "loading/CatalogueUpdate.h"
#include "platform/MessageThread.h"
#include "store/Stores.h"
#include "transfer/AbortSignal.h"

namespace loading {

struct LoadingOptions
{
    // The program folder: gamelist.xml, DownLog.xml, set.xml, installdate, ico/, pic/, download/.
    std::filesystem::path programDir;
    // The day's update (server base address, clock, list fetcher).
    UpdateOptions update;
    // Builds the interface texts; runs on the loader thread between stages 1 and 11. Optional.
    std::function<void()> buildTexts;
};

class LoadingTd
{
public:
    // The stores must outlive the thread; nothing else touches them while the loading runs.
    LoadingTd(store::Stores& stores, LoadingOptions options);
    ~LoadingTd(); // stops and joins
    LoadingTd(const LoadingTd&) = delete;
    LoadingTd& operator=(const LoadingTd&) = delete;
    LoadingTd(LoadingTd&&) = delete;
    LoadingTd& operator=(LoadingTd&&) = delete;

    // The window the stages go to; set before the start message is posted. Any thread.
    void SetSplash(platform::WindowHandle splash) { m_splash.store(splash); }
    // Starts the thread; it waits for msg::LoadStart (post it to Handle()).
    void Start() { m_thread.Start(); }
    // Lets a running loading finish, then joins. Not from the thread itself.
    void Stop() { m_thread.Stop(); }
    // Ends every network request of the loading at once (the day list, every picture's header and
    // body, a name lookup included) and makes the loading skip the network work left: it goes on
    // with its local steps and posts its last stage as usual. Nothing fetched half-way counts as
    // complete; a partial picture keeps its side file and resumes at the next start. Any thread,
    // any time (before the loading starts, it then makes no request at all); idempotent.
    void Abort() { m_abort.Abort(); }
    // The handle to post msg::LoadStart to.
    [[nodiscard]] platform::WindowHandle Handle() const { return m_thread.Handle(); }

    // The loading procedure itself (what the start message runs), on the calling thread.
    void RunLoading();

private:
    void Report(std::uint32_t stage) const;

    store::Stores& m_stores;
    LoadingOptions m_options;
    std::atomic<platform::WindowHandle> m_splash{0};
    transfer::AbortSignal m_abort;
    platform::MessageThread m_thread; // last: its handler uses the members above
};

} // namespace loading
