#include "platform/FileLock.h"

#include <gtest/gtest.h>

#include "PlatformTestSupport.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::RunHelper;
using PlatformTest::TempDir;
using PlatformTest::WaitForFile;

TEST(FileLockTest, OneHolderAtATime)
{
    TempDir dir;
    std::string path = dir / "x.lock";
    FileLock a, b;
    ASSERT_TRUE(a.TryLock(path));
    EXPECT_TRUE(a.IsLocked());
    std::string error;
    EXPECT_FALSE(b.TryLock(path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(b.Lock(path, 30));
    a.Unlock();
    EXPECT_TRUE(b.Lock(path, 1000));
    FileLock moved = std::move(b);
    EXPECT_FALSE(b.IsLocked());
    EXPECT_TRUE(moved.IsLocked());
    EXPECT_FALSE(a.TryLock(path));
    EXPECT_FALSE(a.TryLock(""));
    EXPECT_FALSE(a.TryLock(dir / "missing-folder/x.lock"));
}

TEST(FileLockTest, SecondProcessWaitsUntilTheHolderDies)
{
    TempDir dir;
    std::string path = dir / "held.lock", ready = dir / "ready";
    LaunchResult holder = LaunchProcess(HelperPath(), {"hold-lock", path, ready});
    ASSERT_TRUE(holder);
    ASSERT_TRUE(WaitForFile(ready));

    FileLock mine;
    EXPECT_FALSE(mine.TryLock(path));
    EXPECT_EQ(RunHelper({"try-lock", path, "0"}), 1);

    // The holder is killed without any chance to clean up; the system frees the lock.
    ASSERT_TRUE(EndProcess(holder.pid, 0));
    EXPECT_TRUE(mine.Lock(path, 10000));
    EXPECT_EQ(RunHelper({"try-lock", path, "20"}), 1);
    mine.Unlock();
    EXPECT_EQ(RunHelper({"try-lock", path, "0"}), 0);
}

TEST(FileLockTest, ChildrenDoNotInheritTheLock)
{
    TempDir dir;
    std::string path = dir / "inherit.lock";
    FileLock mine;
    ASSERT_TRUE(mine.TryLock(path));
    LaunchResult sleeper = LaunchProcess(HelperPath(), {"sleep-forever"});
    ASSERT_TRUE(sleeper);
    mine.Unlock();
    // Had the sleeper inherited the descriptor, the lock would still be held.
    EXPECT_EQ(RunHelper({"try-lock", path, "0"}), 0);
    EXPECT_TRUE(EndProcess(sleeper.pid, 0));
}
