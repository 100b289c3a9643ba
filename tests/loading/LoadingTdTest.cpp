// The loader thread without a catalogue server.

#include "loading/LoadingTd.h"

#include <gtest/gtest.h>

#include "LoadingTestSupport.h"
#include "WaitFor.h"
#include "platform/Messages.h"

namespace loading::test {
namespace {

bool Finished(const StageRecorder& splash)
{
    const Stages stages = splash.Stages();
    return !stages.empty() && stages.back().first == 100;
}

TEST_F(ProgramDirTest, WithoutServerOrFilesLoadingCompletesWithDefaults)
{
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.serverBase = "http://127.0.0.1:1/"; // nothing listens there
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_EQ(splash.Stages(), (Stages{{1, 0}, {11, 0}, {21, 0}, {22, 0}, {15, 0}, {31, 0}, {100, 0}}));
    EXPECT_TRUE(stores.catalogue.empty());
    EXPECT_EQ(stores.categories.nodes.size(), 5U);
    EXPECT_TRUE(stores.categories.nodes.at("99").subs.at("99").games.empty());
    EXPECT_EQ(stores.settings.maxnum, 5);
    EXPECT_FALSE(fs::exists(m_dir / "gamelist.xml"));
    // The thread stays, idle, and can be stopped.
    loader.Stop();
}

TEST_F(ProgramDirTest, BrokenRootReportsTheFailureAndGoesOn)
{
    WriteBytes(m_dir / "gamelist.xml", "<games><game id=\"1\"/></games>");
    store::Stores stores;
    StageRecorder splash;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.fetchList = [](std::string_view) { return std::string(); };
    LoadingTd loader(stores, options);
    loader.SetSplash(splash.Handle());
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    ASSERT_TRUE(testing_support::WaitFor([&] { return Finished(splash); }));
    EXPECT_EQ(splash.Stages(),
              (Stages{{1, 0}, {11, 0}, {13, 0}, {14, 1}, {21, 0}, {22, 0}, {15, 0}, {31, 0}, {100, 0}}));
}

TEST_F(ProgramDirTest, AClosedSplashLosesTheStagesButLoadingFinishes)
{
    WriteBytes(m_dir / "set.xml", "<set><autodown value=\"1\"/></set>");
    store::Stores stores;
    LoadingOptions options;
    options.programDir = m_dir;
    options.update.fetchList = [](std::string_view) { return std::string(); };
    std::atomic<bool> texts = false;
    options.buildTexts = [&] { texts = true; };
    LoadingTd loader(stores, options);
    {
        StageRecorder gone;
        loader.SetSplash(gone.Handle());
    }
    loader.Start();
    ASSERT_TRUE(platform::PostMessageTo(loader.Handle(), platform::msg::LoadStart, 0, 0));
    // Stop lets the loading that runs finish.
    ASSERT_TRUE(testing_support::WaitFor([&] { return texts.load(); }));
    loader.Stop();
    EXPECT_TRUE(stores.settings.autodown);
}

TEST_F(ProgramDirTest, StartAndStopWithoutLoadingRepeatedly)
{
    store::Stores stores;
    LoadingOptions options;
    options.programDir = m_dir;
    for (int i = 0; i < 50; ++i) {
        LoadingTd loader(stores, options);
        loader.Start();
        if (i % 2 == 0) {
            loader.Stop();
        }
    }
    EXPECT_TRUE(stores.catalogue.empty());
}

} // namespace
} // namespace loading::test
