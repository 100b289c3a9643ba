#pragma once

// A signal that ends every request watching it at once: the loader's network work uses one, so
// that closing the splash (or a request to quit while loading) never waits for the network or for
// a name lookup. Abort may be called from any thread, any number of times.

#include <atomic>
#include <functional>
#include <list>
#include <mutex>

namespace transfer {

class AbortSignal
{
public:
    AbortSignal() = default;
    AbortSignal(const AbortSignal&) = delete;
    AbortSignal& operator=(const AbortSignal&) = delete;
    AbortSignal(AbortSignal&&) = delete;
    AbortSignal& operator=(AbortSignal&&) = delete;

    // Marks the signal aborted and runs the wake call of every live watch. Any thread; idempotent.
    void Abort();
    [[nodiscard]] bool Aborted() const { return m_aborted.load(); }

    // While it lives, `wake` runs once when the signal is aborted (at once, on this thread, when it
    // is aborted already). The wake call runs under the signal's lock: it must only set flags and
    // wake, never wait. A watch of no signal does nothing.
    class Watch
    {
    public:
        Watch(AbortSignal* signal, std::function<void()> wake);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        Watch(Watch&&) = delete;
        Watch& operator=(Watch&&) = delete;

    private:
        AbortSignal* m_signal;
        std::list<std::function<void()>>::iterator m_entry;
    };

private:
    std::atomic<bool> m_aborted{false};
    std::mutex m_mutex;
    std::list<std::function<void()>> m_watches; // guarded by m_mutex
};

} // namespace transfer
