#include "platform/MessageThread.h"

#include <utility>

namespace platform {

MessageThread::MessageThread() = default;

MessageThread::~MessageThread()
{
    Stop();
}

void MessageThread::On(MessageId id, Handler handler)
{
    m_handlers[id] = std::move(handler);
}

void MessageThread::Start()
{
    if (m_thread.joinable()) {
        return;
    }
    m_thread = std::jthread([this](const std::stop_token& stop) { Loop(stop); });
}

void MessageThread::Stop()
{
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    m_wake.notify_all();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

std::size_t MessageThread::Pending() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

void MessageThread::Accept(const Message& message)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(message);
    }
    m_wake.notify_one();
}

void MessageThread::Loop(const std::stop_token& stop)
{
    while (!stop.stop_requested()) {
        Message message;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return !m_queue.empty(); })) {
                return; // stop requested
            }
            message = m_queue.front();
            m_queue.pop_front();
        }
        auto it = m_handlers.find(message.id);
        if (it != m_handlers.end() && it->second) {
            it->second(message);
        }
    }
}

} // namespace platform
