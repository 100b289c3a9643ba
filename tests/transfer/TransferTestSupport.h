#pragma once

// Shared by the transfer tests: a window that records what is posted to it, a temporary program
// directory, a machine with a chosen amount of free space, and small file helpers.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "WaitFor.h"
#include "platform/HandleTable.h"
#include "platform/Messages.h"
#include "transfer/TransferEnv.h"

namespace testing_support {

// A window that keeps every message posted to it.
class RecordingWindow : public platform::MessageSink
{
public:
    RecordingWindow() = default;

    void Accept(const platform::Message& message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    platform::WindowHandle Handle() const { return m_window.Handle(); }

    std::vector<platform::Message> Messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<platform::Message> Messages(platform::MessageId id) const
    {
        std::vector<platform::Message> out;
        for (const auto& m : Messages()) {
            if (m.id == id) {
                out.push_back(m);
            }
        }
        return out;
    }
    // The worker events (low words of DownloadCommand) posted for a game, in order.
    std::vector<std::uint32_t> Events(int gameId) const
    {
        std::vector<std::uint32_t> out;
        for (const auto& m : Messages(platform::msg::DownloadCommand)) {
            if (platform::HiWord(m.wParam) == (static_cast<std::uint32_t>(gameId) & 0xFFFFu)) {
                out.push_back(platform::LoWord(m.wParam));
            }
        }
        return out;
    }
    bool WaitForEvent(int gameId, std::uint32_t event, std::chrono::milliseconds limit = std::chrono::seconds(20)) const
    {
        return WaitFor(
            [&] {
                for (std::uint32_t e : Events(gameId)) {
                    if (e == event) {
                        return true;
                    }
                }
                return false;
            },
            limit);
    }
    bool WaitForCount(platform::MessageId id, std::size_t count) const
    {
        return WaitFor([&] { return Messages(id).size() >= count; });
    }
    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<platform::Message> m_messages;
    platform::ScopedWindow m_window{this}; // last: registered once the rest exists
};

// A program directory of its own, removed afterwards; ends in "/".
class TempProgramDir
{
public:
    TempProgramDir()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() / ("marlune-transfer-" + std::to_string(random()));
        std::filesystem::create_directories(m_path / "download");
    }
    ~TempProgramDir()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    std::string Dir() const { return m_path.string() + "/"; }
    std::filesystem::path Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The machine with a set amount of free space; unpacking as on the real machine (or counted only).
class FakeEnv : public transfer::TransferEnv
{
public:
    explicit FakeEnv(std::optional<std::uint64_t> free, bool realUnpack = true)
        : m_free(free ? static_cast<std::int64_t>(*free) : -1)
        , m_realUnpack(realUnpack)
    {}
    std::optional<std::uint64_t> FreeBytes(const std::string&) const override
    {
        const std::int64_t free = m_free.load();
        return free < 0 ? std::nullopt : std::optional<std::uint64_t>(static_cast<std::uint64_t>(free));
    }
    bool Unpack(const std::string& package, const std::string& folder, const std::atomic<bool>& stop) const override
    {
        ++unpacked;
        return m_realUnpack ? TransferEnv::Unpack(package, folder, stop) : true;
    }
    void SetFree(std::optional<std::uint64_t> free) { m_free.store(free ? static_cast<std::int64_t>(*free) : -1); }

    mutable std::atomic<int> unpacked{0};

private:
    std::atomic<std::int64_t> m_free; // -1: cannot be had
    bool m_realUnpack;
};

inline std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::int64_t SizeOf(const std::filesystem::path& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

// Bytes that differ at every position, so a misplaced range shows.
inline std::string PatternBytes(std::size_t size, unsigned seed = 1)
{
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

} // namespace testing_support
