#pragma once

// A temporary program folder per test, file helpers and a receiver that records loading stages.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/HandleTable.h"
#include "platform/Utf.h"

namespace store::test {

inline std::u16string U16(std::string_view text)
{
    return platform::Utf8ToUtf16(text);
}

inline std::string U8(std::u16string_view text)
{
    return platform::Utf16ToUtf8(text);
}

inline std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh program folder with its download/ folder, removed after the test.
class ProgramDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device random;
        m_dir = std::filesystem::temp_directory_path()
                / ("marlune-store-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_dir / "download");
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    void AddPackage(std::string_view id) const { WriteBytes(m_dir / "download" / (std::string(id) + ".zip"), "PK"); }
    // Files of the program folder other than download/.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            if (entry.path().filename() != "download") {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path m_dir;
};

// Records the (stage, flag) pairs posted to it.
class StageRecorder : private platform::MessageSink
{
public:
    StageRecorder() = default;
    StageRecorder(const StageRecorder&) = delete;
    StageRecorder& operator=(const StageRecorder&) = delete;
    StageRecorder(StageRecorder&&) = delete;
    StageRecorder& operator=(StageRecorder&&) = delete;
    ~StageRecorder() override = default;

    platform::WindowHandle Handle() const { return m_window.Handle(); }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Stages() const
    {
        std::lock_guard lock(m_mutex);
        return m_stages;
    }
    std::vector<platform::Message> Messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    void Accept(const platform::Message& message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
        m_stages.emplace_back(platform::HiWord(message.wParam), platform::LoWord(message.wParam));
    }

    mutable std::mutex m_mutex;
    std::vector<platform::Message> m_messages;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_stages;
    platform::ScopedWindow m_window{this};
};

using Stages = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Names parameterised cases by their number in the table.
struct ByIndex
{
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const
    {
        return "case" + std::to_string(info.index);
    }
};

} // namespace store::test
