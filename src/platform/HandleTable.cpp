#include "platform/HandleTable.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct Table
{
    std::mutex mutex;
    std::unordered_map<WindowHandle, MessageSink*> sinks;
    WindowHandle next = 1;
};

Table& TheTable()
{
    static Table table;
    return table;
}

} // namespace

WindowHandle RegisterWindow(MessageSink* sink)
{
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    // Handles are not reused while the process lives (wrapping after four billion is not a concern),
    // so a stale handle can never reach a newer window.
    WindowHandle handle = table.next++;
    if (table.next == 0) {
        table.next = 1;
    }
    table.sinks.emplace(handle, sink);
    return handle;
}

void UnregisterWindow(WindowHandle handle)
{
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    table.sinks.erase(handle);
}

bool IsWindow(WindowHandle handle)
{
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    return table.sinks.contains(handle);
}

bool PostMessageTo(WindowHandle handle, MessageId id, Param wParam, Param lParam)
{
    Table& table = TheTable();
    std::lock_guard lock(table.mutex);
    auto it = table.sinks.find(handle);
    if (it == table.sinks.end()) {
        return false;
    }
    it->second->Accept(Message{id, wParam, lParam});
    return true;
}

} // namespace platform
