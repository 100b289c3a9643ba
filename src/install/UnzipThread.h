#pragma once

// The unpacking thread: opens a game (unpacking its package when the game folder is incomplete,
// then starting it) and removes a game (stopping it, moving its folder to the Trash, deleting its
// package). It receives msg::UnzipOpen and msg::UnzipRemove with the game id in the high word of
// wParam, and posts msg::GameAction to the main window: action Result with the outcome code in the
// high word of lParam and the "tell the user" flag in its low word, and action Removed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/HandleTable.h"
#include "platform/MessageThread.h"

namespace install {

class UnzipThread
{
public:
    // Reads the user's "shortcut" setting; called on the unpacking thread, without a lock.
    using ShortcutSetting = std::function<bool()>;

    // programDir ends in "/"; results go to mainWindow (dropped when that handle is gone).
    UnzipThread(std::string programDir, platform::WindowHandle mainWindow, ShortcutSetting shortcut);
    ~UnzipThread(); // stops and joins
    UnzipThread(const UnzipThread&) = delete;
    UnzipThread& operator=(const UnzipThread&) = delete;
    UnzipThread(UnzipThread&&) = delete;
    UnzipThread& operator=(UnzipThread&&) = delete;

    void Start();
    // Ends the request being handled (an unpacking stops at its next chunk, its game counts as not
    // unpacked and nothing is posted for it) and drops the rest. Not from the thread itself.
    void Stop();
    // The handle to post msg::UnzipOpen and msg::UnzipRemove to.
    platform::WindowHandle Handle() const { return m_thread.Handle(); }

    // The two jobs, as the thread runs them. OpenGame posts and returns the outcome code
    // (platform::msg::open_result); a game counts as installed only when its last unpacking ended
    // (Unpack.h), else it is unpacked again from its package. RemoveGame posts action Removed and returns true, or returns
    // false (posting nothing) when a running copy of the game could not be stopped.
    std::uint32_t OpenGame(std::uint32_t id);
    bool RemoveGame(std::uint32_t id);

private:
    void PostResult(std::uint32_t id, std::uint32_t code);
    bool StartGame(const std::string& executable, const std::string& gameFolder, const std::string& name);

    const std::string m_programDir;
    const platform::WindowHandle m_mainWindow;
    const ShortcutSetting m_shortcut;
    std::atomic<bool> m_stopping{false};
    platform::MessageThread m_thread;
};

} // namespace install
