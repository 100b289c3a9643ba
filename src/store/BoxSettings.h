#pragma once

// The user's settings with their defaults. Fields read by other threads (the unpacking thread
// reads shortcut) are atomic; each field reads and assigns like a plain value.

#include <atomic>
#include <cstdint>
#include <string>

namespace store {

// A value that one thread may write while others read it, without a lock. Copies take the value.
template <typename T>
class SharedValue
{
public:
    constexpr SharedValue(T value = T{}) // NOLINT(google-explicit-constructor): reads like the plain field
        : m_value(value)
    {}
    SharedValue(const SharedValue& other)
        : m_value(other.Get())
    {}
    SharedValue& operator=(const SharedValue& other)
    {
        Set(other.Get());
        return *this;
    }
    SharedValue& operator=(T value)
    {
        Set(value);
        return *this;
    }
    ~SharedValue() = default;
    SharedValue(SharedValue&& other) noexcept
        : m_value(other.Get())
    {}
    SharedValue& operator=(SharedValue&& other) noexcept
    {
        Set(other.Get());
        return *this;
    }

    operator T() const { return Get(); } // NOLINT(google-explicit-constructor)
    T Get() const { return m_value.load(std::memory_order_relaxed); }
    void Set(T value) { m_value.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> m_value;
};

// Default of maxnum: transfers held at once, paused ones included.
constexpr std::int32_t DefaultMaxDownloads = 5;

struct BoxSettings
{
    SharedValue<bool> autodown = false;                     // resume unfinished downloads running at start
    SharedValue<std::int32_t> maxnum = DefaultMaxDownloads; // most transfers at once; taken as read from set.xml
    SharedValue<bool> autostart = false;                    // wanted start with the session (see SetAutostart)
    SharedValue<bool> exit = true;                          // close button hides the window to the tray
    SharedValue<bool> shortcut = false;                     // desktop launcher made when a game is run
    SharedValue<bool> autogame = false;                     // start a game as soon as its download has finished
    std::string versionLabel = "2.0正式版";                 // shown by the views; never stored, never changed
};

} // namespace store
