// The single-instance lock: one holder per file, freed when a holder dies however it dies, and no
// following of planted links.

#include "app/InstanceLock.h"

#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>

using app::InstanceLock;
using app::LockResult;

namespace {

class InstanceLockTest : public ::testing::Test
{
protected:
    std::filesystem::path LockPath() const
    {
        return std::filesystem::path(m_dir.path().toStdString()) / "marlune.lock";
    }

    QTemporaryDir m_dir;
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstReleases)
{
    InstanceLock first(LockPath());
    InstanceLock second(LockPath());
    ASSERT_EQ(first.Acquire(), LockResult::Acquired);
    EXPECT_EQ(first.Acquire(), LockResult::Acquired) << "taking it again while held";
    EXPECT_EQ(second.Acquire(), LockResult::HeldElsewhere);
    EXPECT_FALSE(second.Held());
    first.Release();
    EXPECT_EQ(second.Acquire(), LockResult::Acquired);
}

TEST_F(InstanceLockTest, DestructionReleases)
{
    {
        InstanceLock first(LockPath());
        ASSERT_EQ(first.Acquire(), LockResult::Acquired);
    }
    InstanceLock second(LockPath());
    EXPECT_EQ(second.Acquire(), LockResult::Acquired);
}

// A copy that is killed (or crashes) never leaves a stale lock behind.
TEST_F(InstanceLockTest, KilledHolderFreesTheLock)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock(LockPath());
        const char byte = lock.Acquire() == LockResult::Acquired ? 'y' : 'n';
        [[maybe_unused]] auto written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(byte, 'y');

    InstanceLock mine(LockPath());
    EXPECT_EQ(mine.Acquire(), LockResult::HeldElsewhere);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(mine.Acquire(), LockResult::Acquired);
}

TEST_F(InstanceLockTest, PlantedLinkAndFolderAreRefused)
{
    const std::filesystem::path target = LockPath().parent_path() / "victim";
    std::filesystem::create_symlink(target, LockPath());
    InstanceLock viaLink(LockPath());
    EXPECT_EQ(viaLink.Acquire(), LockResult::CannotCreate);
    EXPECT_FALSE(std::filesystem::exists(target)) << "the link was followed";

    const std::filesystem::path folder = LockPath().parent_path() / "folder.lock";
    std::filesystem::create_directory(folder);
    InstanceLock onFolder(folder);
    EXPECT_EQ(onFolder.Acquire(), LockResult::CannotCreate);

    InstanceLock missingFolder(LockPath().parent_path() / "no" / "such" / "marlune.lock");
    EXPECT_EQ(missingFolder.Acquire(), LockResult::CannotCreate);
}

TEST(InstanceLockPath, RuntimeFolderOrPerUserFileInTmp)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    EXPECT_EQ(InstanceLock::DefaultPath(), std::filesystem::path(runtime.path().toStdString()) / "marlune.lock");
    qputenv("XDG_RUNTIME_DIR", "relative/folder");
    EXPECT_EQ(InstanceLock::DefaultPath(), "/tmp/marlune-" + std::to_string(::getuid()) + ".lock");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLock::DefaultPath(), "/tmp/marlune-" + std::to_string(::getuid()) + ".lock");
    if (!saved.isNull()) {
        qputenv("XDG_RUNTIME_DIR", saved);
    }
}

} // namespace
