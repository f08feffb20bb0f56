// Waiting for any of several call chains: the waiter takes whichever finishes first, whether it waits on the
// main thread (where the chains' last calls run) or on another thread.
#include "core/CoreThreads.h"
#include "core/TCXCallbackFunction.h"
#include "core/VelmarWorker.h"
#include "core/VelmarWorkerCallChain.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>

namespace {

using W = VelmarWorker;

// A gate that worker calls wait at until it is opened.
struct Gate
{
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;

    bool Pass()
    {
        std::unique_lock<std::mutex> guard(lock);
        opened.wait(guard, [this] { return open; });
        return true;
    }
    void Open()
    {
        std::lock_guard<std::mutex> guard(lock);
        open = true;
        opened.notify_all();
    }
};

void AddCall(VelmarWorkerCallChain& chain, unsigned flags, std::function<bool()> job)
{
    TCXCallbackFunction* c = TCXCallbackFunction::Create([job](void*) { return job(); });
    chain.Add(c, flags);
    c->Release();
}

}  // namespace

TEST(CallChainWaitTest, WaitForAnyTakesTheChainThatFinishesFirst)
{
    SetMainThread();
    for (const bool waitOnMainThread : {true, false})
    {
        SCOPED_TRACE(waitOnMainThread ? "waiting on the main thread" : "waiting on another thread");
        Gate first, second;
        VelmarWorkerCallChain chains[2];
        for (int i = 0; i < 2; ++i)
        {
            Gate& gate = i == 0 ? first : second;
            AddCall(chains[i], W::kWorkerThread, [&gate] { return gate.Pass(); });
            AddCall(chains[i], W::kMainThread, [] { return IsMainThread(); });
            ASSERT_TRUE(chains[i].Start());
        }
        const VelmarWorkerCallChain* list[2] = {&chains[0], &chains[1]};
        second.Open();
        if (waitOnMainThread)
        {
            EXPECT_EQ(VelmarWorkerCallChain::WaitForAny(list, 2), 1u);
        }
        else
        {
            // The main-thread calls run while the main thread waits for the other thread's answer.
            auto answer = std::async(std::launch::async, [&] { return VelmarWorkerCallChain::WaitForAny(list, 2); });
            EXPECT_TRUE(chains[1].WaitForCompletion());
            EXPECT_EQ(answer.get(), 1u);
        }
        EXPECT_FALSE(chains[0].IsAllDone());
        first.Open();
        EXPECT_EQ(VelmarWorkerCallChain::WaitForAny(list, 1), 0u);
        EXPECT_FALSE(chains[0].EndedEarly());
    }
    EXPECT_EQ(VelmarWorkerCallChain::WaitForAny(nullptr, 0), 0u);
}
