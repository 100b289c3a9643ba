#include "transfer/AbortSignal.h"

#include <utility>

namespace transfer {

void AbortSignal::Abort()
{
    std::lock_guard lock(m_mutex);
    if (m_aborted.exchange(true)) {
        return;
    }
    for (const auto& wake : m_watches) {
        wake();
    }
}

AbortSignal::Watch::Watch(AbortSignal* signal, std::function<void()> wake)
    : m_signal(signal)
{
    if (!m_signal) {
        return;
    }
    std::lock_guard lock(m_signal->m_mutex);
    if (m_signal->m_aborted.load()) {
        wake();
    }
    m_entry = m_signal->m_watches.insert(m_signal->m_watches.end(), std::move(wake));
}

AbortSignal::Watch::~Watch()
{
    if (m_signal) {
        std::lock_guard lock(m_signal->m_mutex);
        m_signal->m_watches.erase(m_entry);
    }
}

} // namespace transfer
