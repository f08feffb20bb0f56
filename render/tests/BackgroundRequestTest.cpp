// The background request system: the queue's bound, the order requests run in, finishing on the
// requester's thread, cancelling, and the request slot table (including threads that share keys).
#include "engine/Thread.h"
#include "engine/tests/FunctionThread.h"
#include "render/OverlappedResource.h"
#include "render/RequestSlotTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr auto kBound = std::chrono::seconds(60);

// A request's work: records that it ran (and where), optionally waiting at a gate first.
struct Work
{
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool open = true;
    std::vector<std::string> order;
    std::atomic<int> runs{0};
    uint32_t thread = 0;

    static bool Run(void* argument);
    void Close()
    {
        std::lock_guard<std::mutex> hold(lock);
        open = false;
    }
    void Open()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            open = true;
        }
        changed.notify_all();
    }
    bool WaitEntered()
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, kBound, [this] { return entered; });
    }
    bool WaitRuns(size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, kBound, [&] { return order.size() >= count; });
    }
};

// Named requests that record into one Work.
struct Named : OverlappedResource
{
    Named(Work& w, const std::string& name) : work(w) { SetName(name); }
    bool Process() override
    {
        std::lock_guard<std::mutex> hold(work.lock);
        work.order.push_back(GetName());
        work.changed.notify_all();
        return true;
    }
    Work& work;
};

bool Work::Run(void* argument)
{
    auto* w = static_cast<Work*>(argument);
    std::unique_lock<std::mutex> hold(w->lock);
    w->entered = true;
    w->thread = Orvo::Thread::CurrentId();
    w->changed.notify_all();
    w->changed.wait(hold, [w] { return w->open; });
    ++w->runs;
    return true;
}

// Holds the worker in a request that waits at a closed gate.
struct BlockedWorker
{
    explicit BlockedWorker(OverlappedResourceSystem& system)
    {
        gate.Close();
        OverlappedResourceSystem::Submit(handle, &system, &Work::Run, nullptr, &gate, "gate");
    }
    ~BlockedWorker() { gate.Open(); }
    Work gate;
    Overlapped handle;
};

}  // namespace

TEST(BackgroundRequests, TheQueueHoldsFiveThousandAndNoWorkIsLost)
{
    OverlappedResourceSystem system;
    Work work;
    std::vector<std::unique_ptr<Overlapped>> handles;
    {
        BlockedWorker blocked(system);
        ASSERT_TRUE(blocked.gate.WaitEntered());
        for (size_t i = 0; i < OverlappedResourceSystem::kMaxQueued; ++i)
        {
            handles.push_back(std::make_unique<Overlapped>());
            ASSERT_TRUE(OverlappedResourceSystem::Submit(*handles.back(), &system, &Work::Run, nullptr, &work, "r"));
        }
        handles.push_back(std::make_unique<Overlapped>());
        EXPECT_FALSE(OverlappedResourceSystem::Submit(*handles.back(), &system, &Work::Run, nullptr, &work, "r"));
        EXPECT_EQ(handles.back()->GetRequest()->GetState(), OverlappedResource::StateIdle);
        EXPECT_EQ(system.QueuedCount(), OverlappedResourceSystem::kMaxQueued);
        // The refused request is done by its requester.
        EXPECT_TRUE(OverlappedResourceSystem::Step(handles.back()->GetRequest()));
        EXPECT_EQ(work.runs.load(), 1);
    }
    for (auto& h : handles) EXPECT_TRUE(OverlappedResourceSystem::Step(h->GetRequest()));
    EXPECT_EQ(work.runs.load(), int(OverlappedResourceSystem::kMaxQueued) + 1);
    EXPECT_FALSE(OverlappedResourceSystem::Poll(*handles.front()));  // complete: deleted
}

TEST(BackgroundRequests, RequestsRunInCreationOrder)
{
    OverlappedResourceSystem system;
    Work work;
    std::vector<std::unique_ptr<Named>> requests;
    for (const char* name : {"first", "second", "third"}) requests.push_back(std::make_unique<Named>(work, name));
    {
        BlockedWorker blocked(system);
        ASSERT_TRUE(blocked.gate.WaitEntered());
        for (int i : {2, 0, 1}) ASSERT_TRUE(system.Enqueue(requests[size_t(i)].get()));
    }
    ASSERT_TRUE(work.WaitRuns(3));
    EXPECT_EQ(work.order, (std::vector<std::string>{"first", "second", "third"}));
    for (auto& r : requests) EXPECT_TRUE(OverlappedResourceSystem::Step(r.get()));  // completes them
}

TEST(BackgroundRequests, StepRunsOnTheCallingThreadAndCancelledRequestsNeverRun)
{
    OverlappedResourceSystem system;
    Work stepped, cancelled;
    Overlapped steppedHandle, cancelledHandle;
    {
        BlockedWorker blocked(system);
        ASSERT_TRUE(blocked.gate.WaitEntered());
        ASSERT_TRUE(OverlappedResourceSystem::Submit(steppedHandle, &system, &Work::Run, nullptr, &stepped, "s"));
        ASSERT_TRUE(OverlappedResourceSystem::Submit(cancelledHandle, &system, &Work::Run, nullptr, &cancelled, "c"));
        EXPECT_TRUE(OverlappedResourceSystem::Step(steppedHandle.GetRequest()));
        EXPECT_EQ(stepped.thread, Orvo::Thread::CurrentId());
        EXPECT_EQ(steppedHandle.GetRequest()->GetState(), OverlappedResource::StateComplete);
        OverlappedResourceSystem::Cancel(cancelledHandle);
        EXPECT_EQ(cancelledHandle.GetRequest(), nullptr);
        EXPECT_EQ(system.QueuedCount(), 0u);
    }
    // The worker is free and the queue empty: the cancelled request is gone for good.
    Work after;
    Overlapped afterHandle;
    ASSERT_TRUE(OverlappedResourceSystem::Submit(afterHandle, &system, &Work::Run, nullptr, &after, "a"));
    ASSERT_TRUE(OverlappedResourceSystem::Step(afterHandle.GetRequest()));
    EXPECT_EQ(cancelled.runs.load(), 0);
    EXPECT_EQ(stepped.runs.load(), 1);
}

TEST(RequestSlots, TheNinthRequestWaitsAndASharedOneIsHandedOver)
{
    RequestSlotTable table;
    int keys[9];
    for (int i = 0; i < 8; ++i) table.LockRequest(&keys[i]);
    EXPECT_EQ(table.HeldCount(), 8u);
    std::atomic<bool> ninth{false}, shared{false};
    FunctionThread waiter([&] {
        table.LockRequest(&keys[8]);
        ninth = true;
        table.UnlockRequest(&keys[8]);
        table.LockRequest(&keys[0]);  // held by the main thread until it lets go
        shared = true;
        table.UnlockRequest(&keys[0]);
        return 0u;
    });
    ASSERT_TRUE(waiter.Start());
    // On a failed check every key is let go before the waiter is joined.
    struct Release
    {
        RequestSlotTable& table;
        int* keys;
        ~Release()
        {
            for (int i = 0; i < 9; ++i) table.UnlockRequest(&keys[i]);
        }
    } release{table, keys};
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    auto waitFor = [&](auto condition) {
        while (!condition() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        return condition();
    };
    ASSERT_TRUE(waitFor([&] { return table.WaitingCount() == 1; }));
    EXPECT_FALSE(ninth.load());
    table.UnlockRequest(&keys[7]);  // a slot comes free
    ASSERT_TRUE(waitFor([&] { return ninth.load() && table.WaitingCount() == 1; }));
    EXPECT_FALSE(shared.load());
    table.UnlockRequest(&keys[0]);
    ASSERT_TRUE(waiter.Join(60000));
    EXPECT_TRUE(shared.load());
    for (int i = 1; i < 7; ++i) table.UnlockRequest(&keys[i]);
    EXPECT_EQ(table.HeldCount(), 0u);
}

TEST(RequestSlots, ThreeThreadsOnTwoKeysNeverDeadlock)
{
    // Leaked on failure, so that threads stuck in it never touch freed memory.
    auto* table = new RequestSlotTable();
    int keys[2];
    std::atomic<int> holders[2] = {0, 0};
    std::atomic<bool> overlap{false};
    std::atomic<int> next{0};
    auto body = [&]() -> uint32_t {
        const int me = next++;
        for (int i = 0; i < 20000; ++i)
        {
            const int k = (i / (me + 1) + me) % 2;
            table->LockRequest(&keys[k]);
            if (holders[k]++ != 0) overlap = true;
            std::this_thread::yield();
            holders[k]--;
            table->UnlockRequest(&keys[k]);
        }
        return 0;
    };
    std::vector<std::unique_ptr<FunctionThread>> threads = StartThreads(3, body);
    ASSERT_EQ(threads.size(), 3u);
    bool finished = true;
    for (auto& t : threads) finished = t->Join(120000) && finished;  // a generous bound, not a timing
    if (!finished)
    {
        for (auto& t : threads) (void)t.release();
        FAIL() << "the slot table deadlocked";
    }
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(table->HeldCount(), 0u);
    EXPECT_EQ(table->WaitingCount(), 0u);
    delete table;
}
