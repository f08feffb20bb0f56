// Critical sections, scoped locks and mutexes of the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>

#include "engine/CriticalSection.h"
#include "engine/Mutex.h"
#include "engine/SingleLock.h"
#include "engine/Thread.h"
#include "engine/tests/FunctionThread.h"
#include "platform/FileLock.h"

using namespace Orvo;

namespace {

// Runs `attempt` on another thread and returns its answer.
bool OnOtherThread(std::function<bool()> attempt)
{
    std::atomic<bool> result{false};
    FunctionThread t([&] {
        result = attempt();
        return 0u;
    });
    t.Start();
    t.Join();
    return result;
}

// Recursive for the owning thread; another thread can neither take it nor release it.
void ExpectRecursiveAndOwnedByOneThread(SyncObject& lock)
{
    EXPECT_FALSE(lock.Unlock());  // nothing held
    ASSERT_TRUE(lock.Lock());
    ASSERT_TRUE(lock.Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return lock.Lock(10); }));
    EXPECT_FALSE(OnOtherThread([&] { return lock.Unlock(); }));
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(OnOtherThread([&] { return lock.Lock(0); }));  // still held once
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.Unlock());
    EXPECT_TRUE(OnOtherThread([&] { return lock.Lock(0) && lock.Unlock(); }));
}

}  // namespace

TEST(SysLockTest, CriticalSectionAndUnnamedMutexAreRecursiveAndOwnedByOneThread)
{
    CriticalSection cs;
    ExpectRecursiveAndOwnedByOneThread(cs);
    Mutex m;
    EXPECT_FALSE(m.IsNamed());
    ExpectRecursiveAndOwnedByOneThread(m);
    ASSERT_TRUE(cs.Lock());
    ASSERT_TRUE(cs.TryEnter());
    EXPECT_EQ(cs.GetRecursionCount(), 2);
    EXPECT_TRUE(cs.IsOwnedByCurrentThread());
    EXPECT_FALSE(OnOtherThread([&] { return cs.IsOwnedByCurrentThread(); }));
    cs.Unlock();
    cs.Unlock();
    EXPECT_EQ(cs.GetRecursionCount(), 0);
}

TEST(SysLockTest, SingleLockReleasesAtTheEndOfItsScope)
{
    CriticalSection cs;
    {
        SingleLock lock(&cs);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(lock.Lock());  // already held: no second level
        EXPECT_EQ(cs.GetRecursionCount(), 1);
    }
    EXPECT_EQ(cs.GetRecursionCount(), 0);
    {
        SingleLock lock(&cs, false);
        EXPECT_FALSE(lock.IsLocked());
        EXPECT_TRUE(lock.Lock(0));
        EXPECT_TRUE(lock.Unlock());
        EXPECT_FALSE(lock.Unlock());
    }
    SingleLock none(nullptr);
    EXPECT_FALSE(none.IsLocked());
    EXPECT_FALSE(none.Lock());
}

TEST(SysLockTest, NamedMutexIsSharedByNameAndHeldAgainstOtherProcesses)
{
    const std::string name = "Global\\velmar-test-named-" + std::to_string(getpid());
    const std::string path = Mutex::LockFilePathFor(name);
    EXPECT_NE(path, Mutex::LockFilePathFor(name + "x"));
    Mutex a(name), b(name);
    EXPECT_TRUE(a.IsNamed());
    ASSERT_TRUE(a.Lock());
    EXPECT_TRUE(b.Lock(0));  // same name, same owning thread: recursive
    EXPECT_FALSE(OnOtherThread([&] { return b.Lock(10); }));

    // Another process would open the lock file and find it held.
    Platform::FileLock other;
    EXPECT_FALSE(other.TryLock(path));
    EXPECT_TRUE(b.Unlock());
    EXPECT_FALSE(other.TryLock(path));  // still held once
    EXPECT_TRUE(a.Unlock());
    ASSERT_TRUE(other.TryLock(path));
    // Now "the other process" holds it: nobody here gets it until it lets go.
    EXPECT_FALSE(a.Lock(20));
    other.Unlock();
    EXPECT_TRUE(a.Lock(1000));
    EXPECT_TRUE(a.Unlock());
    unlink(path.c_str());
}
