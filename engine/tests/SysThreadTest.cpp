// Threads, events and semaphores of the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "engine/Semaphore.h"
#include "engine/Thread.h"
#include "engine/WEvent.h"
#include "engine/tests/FunctionThread.h"

using namespace Orvo;

TEST(SysThreadTest, RunsJoinsAndReportsItsExitCodeAndId)
{
    std::atomic<uint32_t> idInside{0};
    WEvent release(true);
    FunctionThread t([&] {
        idInside = Thread::CurrentId();
        release.Wait();
        return 42u;
    });
    EXPECT_EQ(t.GetId(), 0u);
    ASSERT_TRUE(t.Start());
    EXPECT_NE(t.GetId(), 0u);  // known as soon as Start returns
    EXPECT_NE(t.GetId(), Thread::CurrentId());
    EXPECT_TRUE(t.IsRunning());
    EXPECT_FALSE(t.Start());   // still running
    EXPECT_FALSE(t.Join(10));  // times out while Run waits
    release.Set();
    ASSERT_TRUE(t.Join());
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.GetExitCode(), 42u);
    EXPECT_EQ(idInside.load(), t.GetId());
    EXPECT_TRUE(t.Join());  // joining again is harmless

    // Once joined it can run again.
    release.Reset();
    release.Set();
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.Join());
    EXPECT_EQ(static_cast<int>(Thread::CurrentId()), gettid());
}

TEST(SysThreadTest, AnEscapingExceptionEndsOnlyTheThread)
{
    FunctionThread t([]() -> uint32_t { throw std::runtime_error("boom"); });
    ASSERT_TRUE(t.Start());
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(t.GetExitCode(), Thread::kExitByException);
}

TEST(SysThreadTest, AThreadCannotJoinItself)
{
    Thread* self = nullptr;
    std::atomic<int> joined{-1};
    WEvent ready(true);
    FunctionThread t([&] {
        ready.Wait();
        joined = self->Join(0) ? 1 : 0;
        return 0u;
    });
    self = &t;
    ASSERT_TRUE(t.Start());
    ready.Set();
    ASSERT_TRUE(t.Join());
    EXPECT_EQ(joined.load(), 0);
}

TEST(SysThreadTest, AutoResetEventReleasesOneWaiterPerSet)
{
    WEvent ev(false, true);
    EXPECT_TRUE(ev.IsSet());
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.IsSet());  // cleared by the wait
    EXPECT_FALSE(ev.Wait(10));

    std::atomic<int> woken{0};
    Semaphore wokenSignal(0);
    auto waiters = StartThreads(3, [&] {
        if (ev.Wait(10000)) ++woken;
        wokenSignal.Unlock();
        return 0u;
    });
    ASSERT_EQ(waiters.size(), 3u);
    for (int i = 1; i <= 3; ++i)
    {
        ev.Set();
        ASSERT_TRUE(wokenSignal.Lock(10000));
        EXPECT_EQ(woken.load(), i);
    }
    for (auto& w : waiters) EXPECT_TRUE(w->Join());
}

TEST(SysThreadTest, ManualResetEventStaysSetForEveryone)
{
    WEvent ev(true);
    EXPECT_TRUE(ev.IsManualReset());
    EXPECT_FALSE(ev.Wait(0));
    std::atomic<int> woken{0};
    auto waiters = StartThreads(4, [&] {
        if (ev.Lock(10000)) ++woken;
        return 0u;
    });
    ASSERT_EQ(waiters.size(), 4u);
    ev.Set();
    for (auto& w : waiters) EXPECT_TRUE(w->Join());
    EXPECT_EQ(woken.load(), 4);
    EXPECT_TRUE(ev.IsSet());
    EXPECT_TRUE(ev.Wait(0));
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
}

TEST(SysThreadTest, SemaphoreCountsAndKeepsItsMaximum)
{
    Semaphore sem(5, 2);  // initial count is held to the maximum
    EXPECT_EQ(sem.GetCount(), 2);
    EXPECT_TRUE(sem.Lock(0));
    EXPECT_TRUE(sem.Lock(0));
    EXPECT_FALSE(sem.Lock(10));
    long previous = -1;
    EXPECT_TRUE(sem.Release(2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_FALSE(sem.Release(1));  // would pass the maximum
    EXPECT_FALSE(sem.Release(0));
    EXPECT_FALSE(sem.Release(-3));
    EXPECT_EQ(sem.GetCount(), 2);
    EXPECT_EQ(Semaphore(-4).GetCount(), 0);

    // Producers and consumers: every unit released is taken exactly once.
    Semaphore items(0);
    std::atomic<int> taken{0};
    FunctionThread consumer([&] {
        for (int i = 0; i < 1000; ++i)
            if (items.Lock(10000)) ++taken;
        return 0u;
    });
    ASSERT_TRUE(consumer.Start());
    for (int i = 0; i < 1000; ++i) items.Unlock();
    EXPECT_TRUE(consumer.Join());
    EXPECT_EQ(taken.load(), 1000);
    EXPECT_EQ(items.GetCount(), 0);
}
