#include "core/CoreThreads.h"
#include "core/LogPrintf.h"
#include "core/MainThreadPost.h"
#include "core/MainThreadWork.h"
#include "core/TCXCallback.h"
#include "core/TCXCallbackFunction.h"
#include "core/VelmarWorker.h"
#include "core/VelmarWorkerCallChain.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using W = VelmarWorker;

// Runs main-thread work until `done` holds or about ten seconds have passed.
template <class Pred>
bool PumpMainThreadUntil(Pred done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
    {
        WaitForMainThreadWork(10);
        MainThreadUpdate();
    }
    return done();
}

// Hands `job` to the worker with `flags` and gives its answer (true at once for calls not waited for).
bool Call(std::function<bool()> job, unsigned flags)
{
    TCXCallbackFunction* callback = TCXCallbackFunction::Create([job](void*) { return job(); });
    const bool result = W::CallTask(callback, flags);
    callback->Release();
    return result;
}

// Records what ran, in which order, and on which thread.
struct Recorder
{
    std::mutex lock;
    std::vector<std::string> order;
    std::vector<bool> onMain, onWorker;

    bool Note(const char* what)
    {
        std::lock_guard<std::mutex> guard(lock);
        order.push_back(what);
        onMain.push_back(IsMainThread());
        onWorker.push_back(W::IsWorkerThread());
        return true;
    }
    // A member-function callback: true when the argument it is given is this recorder.
    bool Echo(void* argument) { return Note("echo") && argument == this; }
    // A chain of calls that note `whats` with `flags`, one each.
    void Fill(VelmarWorkerCallChain& chain, std::vector<std::pair<const char*, unsigned>> steps)
    {
        for (const auto& [what, flags] : steps)
        {
            TCXCallbackFunction* c = TCXCallbackFunction::Create([this, what = what](void*) { return Note(what); });
            chain.Add(c, flags);
            c->Release();
        }
    }
};

using RecorderCallback = TCXCallbackCPPVoidPtr<Recorder>;

class WorkerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetMainThread();
        W::SetCommandRunning(false);
    }
    void TearDown() override
    {
        W::CancelTasks(0, true);
        MainThreadUpdate();
        W::SetFailureHooks(nullptr, nullptr);
        SetLogLineObserver(nullptr);
        W::SetCommandRunning(false);
    }
};

}  // namespace

TEST_F(WorkerTest, MainThreadCallFromWorkerRunsDuringMainThreadUpdate)
{
    Recorder recorder;
    std::atomic<bool> innerResult{false}, finished{false};
    // A worker job marshals a call to the main thread and waits for its result.
    EXPECT_TRUE(Call(
        [&] {
            RecorderCallback* echo = RecorderCallback::Create(&recorder, &Recorder::Echo);
            unsigned char result = 0;
            W::CallTask(echo, W::kMainThread, &recorder, &result);
            echo->Release();
            innerResult = result == 1;
            return finished = true;
        },
        W::kWorkerThread | W::kNoWait));
    ASSERT_TRUE(PumpMainThreadUntil([&] { return finished.load(); }));
    EXPECT_TRUE(innerResult);
    ASSERT_EQ(recorder.order.size(), 1u);
    EXPECT_TRUE(recorder.onMain[0]);
    EXPECT_FALSE(recorder.onWorker[0]);
    EXPECT_TRUE(PumpMainThreadUntil([] { return !W::HasPendingWork(); }));
}

TEST_F(WorkerTest, FlagsChooseWhereAndWhetherToWait)
{
    Recorder recorder;
    RecorderCallback* echo = RecorderCallback::Create(&recorder, &Recorder::Echo);
    // Flags 3 on the main thread: inline, waited, result handed back (the argument reaches the method).
    unsigned char result = 0;
    EXPECT_TRUE(W::CallTask(echo, 3, &recorder, &result));
    EXPECT_EQ(result, 1);
    // Without an argument the user pointer (none here) is passed, so Echo answers false.
    EXPECT_FALSE(W::CallTask(echo, 3, nullptr, &result));
    EXPECT_EQ(result, 0);
    // Flag 16, waited: runs on a worker thread while the caller blocks.
    EXPECT_TRUE(W::CallTask(echo, W::kWorkerThread, &recorder));
    // Flag 1 with 8 from the main thread: queued, not run until the main thread updates.
    EXPECT_TRUE(W::CallTask(echo, W::kMainThread | W::kNoWait, &recorder));
    EXPECT_EQ(recorder.order.size(), 3u);
    EXPECT_TRUE(W::HasPendingWork());
    EXPECT_TRUE(W::RunPendingTask(0));
    EXPECT_FALSE(W::RunPendingTask(0));
    echo->Release();
    EXPECT_EQ(recorder.onMain, (std::vector<bool>{true, true, false, true}));
    EXPECT_TRUE(recorder.onWorker[2]);
}

TEST_F(WorkerTest, MainThreadUpdateRunsOnlyWhatWasQueuedWhenItBegan)
{
    int runs = 0;
    std::function<void()> requeue = [&] {
        ++runs;
        PostMainThreadWork(requeue);
    };
    PostMainThreadWork(requeue);
    EXPECT_TRUE(WaitForMainThreadWork(0));
    MainThreadUpdate();
    EXPECT_EQ(runs, 1);
    MainThreadUpdate();
    EXPECT_EQ(runs, 2);
    W::CancelTasks(0, false);
    MainThreadUpdate();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(W::HasPendingWork());

    // Drained, the queue no longer signals; a post from another thread does.
    EXPECT_FALSE(WaitForMainThreadWork(20));
    std::thread poster([] { PostMainThreadWork([] {}); });
    EXPECT_TRUE(WaitForMainThreadWork(5000));
    poster.join();
    MainThreadUpdate();
}

TEST_F(WorkerTest, CancelTasksDropsQueuedCallsAndWakesTheirWaiters)
{
    std::atomic<int> cancelled{0};
    struct Cancellable : TCXCallback
    {
        std::atomic<int>* cancelled;
        bool OnInvoke(void*) override { return true; }
        void OnCancel() override { ++*cancelled; }
    };
    auto* call = new Cancellable;
    call->cancelled = &cancelled;

    // A thread that is not the main thread waits for a main-thread call that never gets to run.
    std::atomic<int> waitResult{-1};
    std::thread waiter([&] { waitResult = W::CallTask(call, W::kMainThread, nullptr, nullptr, 42); });
    EXPECT_TRUE(WaitUntil([] { return W::HasPendingWork(); }));
    W::CallTask(call, W::kMainThread | W::kNoWait, nullptr, nullptr, 7);  // another id is left alone
    W::CancelTasks(42, true);
    waiter.join();
    EXPECT_EQ(waitResult, 0);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(W::HasPendingWork());
    W::CancelTasks(7, false);
    EXPECT_EQ(cancelled, 2);
    EXPECT_FALSE(W::HasPendingWork());
    call->Release();
}

TEST_F(WorkerTest, ThrowingTaskIsLoggedAndEndsTheProcessOrAborts)
{
    static std::vector<std::string> lines;
    static std::vector<int> endCodes;
    static int aborts;
    lines.clear();
    endCodes.clear();
    aborts = 0;
    SetLogLineObserver([](const char* line) { lines.push_back(line); });
    W::SetFailureHooks([](int code) { endCodes.push_back(code); }, [] { ++aborts; });
    auto thrower = []() -> bool { throw std::runtime_error("x"); };
    EXPECT_FALSE(Call(thrower, W::kWorkerThread));
    EXPECT_EQ(aborts, 1) << "outside a command a throwing task aborts";
    EXPECT_TRUE(endCodes.empty());
    W::SetCommandRunning(true);
    EXPECT_FALSE(Call(thrower, 0));
    EXPECT_EQ(endCodes, std::vector<int>{-100});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "VelmarWorker::InternalCallTask> uncaught exception in task");
}

TEST_F(WorkerTest, StopThreadsReturnsOnceTheThreadsHaveEnded)
{
    std::atomic<int> started{0}, done{0};
    auto slow = [&] {
        ++started;
        std::this_thread::sleep_for(20ms);  // the job's own work
        ++done;
        return true;
    };
    for (int i = 0; i < 4; ++i) Call(slow, W::kWorkerThread | W::kNoWait);
    EXPECT_GT(W::ThreadCount(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return started > 0; }));
    W::StopThreads();
    EXPECT_EQ(W::ThreadCount(), 0u);
    const int finishedAtStop = done;
    EXPECT_EQ(started, finishedAtStop) << "every job that had begun ran to its end before the stop returned";
    W::CancelTasks(0, false);

    // A later worker call starts the pool again; nothing left over from before runs.
    EXPECT_TRUE(Call([] { return W::IsWorkerThread(); }, W::kWorkerThread));
    EXPECT_EQ(started, finishedAtStop);
    EXPECT_EQ(done, finishedAtStop);
}

TEST_F(WorkerTest, StopThreadsKeepsMainThreadWorkMovingForRunningJobs)
{
    // A running job waits for the main thread while the main thread stops the pool.
    std::atomic<bool> started{false}, mainCallRan{false};
    Call(
        [&] {
            started = true;
            return Call([&] { return mainCallRan = IsMainThread(); }, W::kMainThread);
        },
        W::kWorkerThread | W::kNoWait);
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    W::StopThreads();
    EXPECT_TRUE(mainCallRan);
    EXPECT_EQ(W::ThreadCount(), 0u);
}

TEST_F(WorkerTest, CallChainRunsItsCallsInOrder)
{
    Recorder recorder;
    {
        VelmarWorkerCallChain chain;
        recorder.Fill(chain, {{"load", 3}, {"write", 16}, {"release", 1}});
        EXPECT_TRUE(chain.Start());
        EXPECT_TRUE(chain.WaitForCompletion());
        EXPECT_FALSE(chain.IsBusy());
        EXPECT_FALSE(chain.EndedEarly());
    }
    ASSERT_EQ(recorder.order, (std::vector<std::string>{"load", "write", "release"}));
    EXPECT_TRUE(recorder.onMain[0]);
    EXPECT_TRUE(recorder.onWorker[1]);
    EXPECT_TRUE(recorder.onMain[2]);
}

TEST_F(WorkerTest, CallChainEndsEarlyWhenItsCallIsCancelled)
{
    Recorder recorder;
    VelmarWorkerCallChain chain;
    // Queued even on the main thread (no kRunInline), so it waits for an update that never comes.
    recorder.Fill(chain, {{"load", W::kMainThread}, {"write", W::kWorkerThread}});
    ASSERT_TRUE(chain.Start());
    EXPECT_TRUE(chain.IsBusy());
    EXPECT_FALSE(chain.Start()) << "a busy chain does not start twice";
    W::CancelTasks(0, false);
    EXPECT_FALSE(chain.WaitForCompletion());
    EXPECT_TRUE(chain.EndedEarly());
    EXPECT_TRUE(recorder.order.empty());
}
