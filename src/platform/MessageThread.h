#pragma once

// A thread with its own message queue and one handler per message number: the program's
// "user-interface threads" (loader, download control, unpacking). Messages are handled one
// at a time, in the order they were posted. The program never asks these threads to end;
// Stop() exists for a clean process exit and for tests.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/HandleTable.h"

namespace platform {

class MessageThread : private MessageSink
{
public:
    using Handler = std::function<void(const Message&)>;

    MessageThread();
    ~MessageThread() override; // stops and joins
    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;
    MessageThread(MessageThread&&) = delete;
    MessageThread& operator=(MessageThread&&) = delete;

    // Before Start() only. A message without a handler is dropped.
    void On(MessageId id, Handler handler);

    // Starts the thread; its queue exists (and accepts posts) already from construction.
    void Start();
    // Lets the message being handled finish, drops the rest of the queue and joins. Idempotent.
    // Not from the thread itself.
    void Stop();
    bool Running() const { return m_thread.joinable(); }

    // The handle by which others post to this thread. Valid from construction until destruction.
    WindowHandle Handle() const { return m_window.Handle(); }
    bool Post(MessageId id, Param wParam, Param lParam) { return PostMessageTo(Handle(), id, wParam, lParam); }

    // Number of messages waiting (for tests).
    std::size_t Pending() const;

private:
    void Accept(const Message& message) override;
    void Loop(const std::stop_token& stop);

    std::unordered_map<MessageId, Handler> m_handlers;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Message> m_queue;
    std::jthread m_thread;
    ScopedWindow m_window{this}; // last: registered once the queue exists, unregistered first
};

} // namespace platform
