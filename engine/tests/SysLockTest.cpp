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

std::string UniqueMutexName(const char* stem)
{
    static int counter = 0;
    return std::string("Global\\velmar-test-") + stem + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++counter);
}

}  // namespace

TEST(SysLockTest, CriticalSectionIsRecursiveAndOwnedByOneThread)
{
    CriticalSection cs;
    EXPECT_FALSE(cs.Unlock());  // nothing held
    ASSERT_TRUE(cs.Lock());
    ASSERT_TRUE(cs.Lock(0));
    EXPECT_EQ(cs.GetRecursionCount(), 2);
    EXPECT_TRUE(cs.IsOwnedByCurrentThread());
    EXPECT_FALSE(OnOtherThread([&] { return cs.Lock(10); }));
    EXPECT_FALSE(OnOtherThread([&] { return cs.Unlock(); }));  // a stranger cannot release it
    EXPECT_TRUE(cs.Unlock());
    EXPECT_FALSE(OnOtherThread([&] { return cs.TryEnter(); }));
    EXPECT_TRUE(cs.Unlock());
    EXPECT_TRUE(OnOtherThread([&] { return cs.Lock(0) && cs.Unlock(); }));
}

TEST(SysLockTest, CriticalSectionKeepsCountersConsistent)
{
    CriticalSection cs;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i)
        {
            SingleLock lock(cs);
            ++counter;
        }
        return 0u;
    };
    auto threads = StartThreads(3, work);
    ASSERT_EQ(threads.size(), 3u);
    threads.clear();  // joins them
    EXPECT_EQ(counter, 60000);
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

TEST(SysLockTest, UnnamedMutexIsRecursivePerThread)
{
    Mutex m;
    EXPECT_FALSE(m.IsNamed());
    ASSERT_TRUE(m.Lock());
    ASSERT_TRUE(m.Lock(0));
    EXPECT_FALSE(OnOtherThread([&] { return m.Lock(10); }));
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(m.Unlock());
    EXPECT_FALSE(m.Unlock());
    EXPECT_TRUE(OnOtherThread([&] { return m.Lock(0) && m.Unlock(); }));
}

TEST(SysLockTest, NamedMutexIsSharedByNameAndHeldAgainstOtherProcesses)
{
    const std::string name = UniqueMutexName("named");
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
