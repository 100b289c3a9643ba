#pragma once

// A program directory with a main-window stand-in that records what the unpacking thread posts.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "Sandbox.h"
#include "ZipBuilder.h"
#include "install/UnzipThread.h"
#include "platform/HandleTable.h"

namespace test_zip {

class RecordingWindow : public platform::MessageSink
{
public:
    void Accept(const platform::Message& message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    std::vector<platform::Message> Messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::size_t Count() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<platform::Message> m_messages;
};

// The packaged game: index.dat names bin\start.sh, a script that notes its folder and can stay running.
inline std::vector<Item> GamePackage(const std::string& script, bool unixModes)
{
    Item start = File("bin/start.sh", script);
    if (unixModes) {
        start.unixMode = 0100755;
    }
    return {File("index.dat", "[config]\r\nfile=bin\\start.sh\r\n"),
            Folder("bin/"),
            start,
            File("data/level1.dat", "L1")};
}

inline const char* const RecordingScript = "#!/bin/sh\npwd -P > ran.txt\n";
inline const char* const RunningScript = "#!/bin/sh\necho $$ > pid.txt\nwhile :; do sleep 0.05; done\n";

class GameFixture : public ::testing::Test
{
protected:
    GameFixture()
        : m_unzip(m_box.ProgramDir(), m_window.Handle(), [this] { return m_shortcut.load(); })
    {}

    std::filesystem::path Folder(int id) const { return m_box.GameFolder(id); }
    bool MakePackage(int id, const std::vector<Item>& items) const { return WriteZip(m_box.Package(id), items); }
    platform::Message Last() const
    {
        auto all = m_sink.Messages();
        return all.empty() ? platform::Message{} : all.back();
    }

    Sandbox m_box;
    RecordingWindow m_sink;
    platform::ScopedWindow m_window{&m_sink};
    std::atomic<bool> m_shortcut{false};
    install::UnzipThread m_unzip;
};

} // namespace test_zip
