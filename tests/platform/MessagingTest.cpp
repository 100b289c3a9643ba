#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "WaitFor.h"
#include "platform/HandleTable.h"
#include "platform/MessageThread.h"
#include "platform/Messages.h"

using namespace platform;
using testing_support::WaitFor;

namespace {

class RecordingSink : public MessageSink
{
public:
    void Accept(const Message& message) override
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    std::vector<Message> Messages()
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    std::mutex m_mutex;
    std::vector<Message> m_messages;
};

} // namespace

TEST(MessageWords, PackKeepsLowSixteenBitsOfEachWord)
{
    EXPECT_EQ(PackWords(7, 3), 0x00070003u);
    EXPECT_EQ(PackWords(65536 + 5, 1), 0x00050001u); // ids of 65536 and above lose their high bits
    EXPECT_EQ(HiWord(PackWords(1234, 0xFFFF)), 1234u);
    EXPECT_EQ(LoWord(PackWords(1234, 0x1FFFF)), 0xFFFFu);
}

TEST(HandleTable, PostReachesRegisteredSinkAndIsDroppedAfterUnregister)
{
    RecordingSink sink;
    WindowHandle handle = RegisterWindow(&sink);
    ASSERT_NE(handle, 0u);
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_TRUE(PostMessageTo(handle, msg::Progress, PackWords(5, 0), PackWords(50, 12)));
    UnregisterWindow(handle);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(PostMessageTo(handle, msg::Progress, 0, 0));
    auto got = sink.Messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id, msg::Progress);
    EXPECT_EQ(HiWord(got[0].lParam), 50u);

    // A new window never gets an old handle back.
    RecordingSink other;
    ScopedWindow scoped(&other);
    EXPECT_NE(scoped.Handle(), handle);
    EXPECT_FALSE(PostMessageTo(handle, msg::Progress, 0, 0));
    EXPECT_TRUE(other.Messages().empty());
}

TEST(HandleTable, UnregisterWhilePostingFromManyThreadsIsSafe)
{
    for (int round = 0; round < 50; ++round) {
        auto sink = std::make_unique<RecordingSink>();
        WindowHandle handle = RegisterWindow(sink.get());
        std::atomic<bool> go{true};
        std::vector<std::thread> posters;
        for (int i = 0; i < 3; ++i) {
            posters.emplace_back([&] {
                while (go.load()) {
                    PostMessageTo(handle, msg::Ignored, 0, 0);
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        UnregisterWindow(handle);
        sink.reset(); // posts after unregister must not touch it
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        go = false;
        for (auto& t : posters) {
            t.join();
        }
    }
}

TEST(MessageThread, HandlesMessagesOneAtATimeInOrder)
{
    MessageThread thread;
    std::vector<Param> seen;
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    thread.On(msg::UnzipOpen, [&](const Message& m) {
        if (inside.fetch_add(1) != 0) {
            overlap = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        seen.push_back(m.wParam);
        inside.fetch_sub(1);
    });
    // Posted before the thread starts: queued, handled once it runs.
    for (Param i = 0; i < 10; ++i) {
        ASSERT_TRUE(thread.Post(msg::UnzipOpen, i, 0));
    }
    thread.Start();
    for (Param i = 10; i < 200; ++i) {
        ASSERT_TRUE(thread.Post(msg::UnzipOpen, i, 0));
    }
    ASSERT_TRUE(WaitFor([&] { return thread.Pending() == 0 && inside == 0; }));
    thread.Stop();
    ASSERT_EQ(seen.size(), 200u);
    for (Param i = 0; i < 200; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    EXPECT_FALSE(overlap);
}

TEST(MessageThread, UnknownMessagesAreDroppedAndHandlersMayPostToOthers)
{
    RecordingSink main;
    ScopedWindow mainWindow(&main);
    MessageThread thread;
    thread.On(msg::UnzipRemove, [&](const Message& m) {
        PostMessageTo(mainWindow.Handle(), msg::GameAction, PackWords(HiWord(m.wParam), msg::game_action::Removed), 0);
    });
    thread.Start();
    thread.Post(msg::UnzipOpen, PackWords(9, 0), 0); // no handler
    thread.Post(msg::UnzipRemove, PackWords(42, 0), 0);
    ASSERT_TRUE(WaitFor([&] { return main.Messages().size() == 1; }));
    EXPECT_EQ(main.Messages()[0].wParam, PackWords(42, 4));
}

TEST(MessageThread, StopDropsPendingWorkAndAHandleIsGoneAfterDestruction)
{
    WindowHandle handle = 0;
    std::atomic<int> handled{0};
    {
        MessageThread thread;
        handle = thread.Handle();
        thread.On(msg::LoadStart, [&](const Message&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++handled;
        });
        thread.Start();
        for (int i = 0; i < 50; ++i) {
            thread.Post(msg::LoadStart, 0, 0);
        }
        ASSERT_TRUE(WaitFor([&] { return handled >= 1; }));
        thread.Stop();
        EXPECT_LT(handled.load(), 50);
        thread.Stop(); // idempotent
    }
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(PostMessageTo(handle, msg::LoadStart, 0, 0));
}

TEST(MessageThread, RepeatedStartStopDoesNotHang)
{
    for (int i = 0; i < 300; ++i) {
        MessageThread thread;
        thread.On(msg::LoadStart, [](const Message&) {});
        thread.Start();
        thread.Post(msg::LoadStart, 0, 0);
    }
}
