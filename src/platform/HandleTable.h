#pragma once

// Process-wide table of message receivers ("windows" and message threads). Every receiver
// registers and gets an integer handle; posting by handle is safe from any thread, and a
// message to a handle that is gone is dropped.

#include <cstdint>

#include "platform/Messages.h"

namespace platform {

using WindowHandle = std::uint32_t; // 0 is never a valid handle

// Something that accepts posted messages. Accept() runs on the posting thread with the
// table's lock held: it must only queue the message (never block, never post again).
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void Accept(const Message& message) = 0;
};

// Registers a sink; the handle stays valid until UnregisterWindow. Any thread.
[[nodiscard]] WindowHandle RegisterWindow(MessageSink* sink);
// Removes a sink; after the call returns no Accept() of it runs or will run. Any thread.
void UnregisterWindow(WindowHandle handle);
// True while the handle is registered. Any thread.
bool IsWindow(WindowHandle handle);
// Queues a message for the handle's receiver; false (and dropped) when the handle is gone.
bool PostMessageTo(WindowHandle handle, MessageId id, Param wParam, Param lParam);

// Registers a sink for the lifetime of this object.
class ScopedWindow
{
public:
    explicit ScopedWindow(MessageSink* sink)
        : m_handle(RegisterWindow(sink))
    {}
    ~ScopedWindow() { UnregisterWindow(m_handle); }
    ScopedWindow(const ScopedWindow&) = delete;
    ScopedWindow& operator=(const ScopedWindow&) = delete;
    ScopedWindow(ScopedWindow&&) = delete;
    ScopedWindow& operator=(ScopedWindow&&) = delete;

    WindowHandle Handle() const { return m_handle; }

private:
    WindowHandle m_handle;
};

} // namespace platform
