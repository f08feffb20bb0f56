#include "core/CoreThreads.h"
#include "core/LogPrintf.h"
#include "core/MainThreadPost.h"
#include "core/MainThreadWork.h"
#include "core/ProcessFlags.h"
#include "core/TCXCallback.h"
#include "core/TCXCallbackFunction.h"
#include "core/VelmarWorker.h"
#include "core/VelmarWorkerCallChain.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

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

// A target for member-function callbacks that records where and in which order it ran.
struct Recorder
{
    std::mutex lock;
    std::vector<std::string> order;
    std::vector<bool> onMain;
    std::vector<bool> onWorker;

    bool Note(const char* what)
    {
        std::lock_guard<std::mutex> guard(lock);
        order.push_back(what);
        onMain.push_back(IsMainThread());
        onWorker.push_back(VelmarWorker::IsWorkerThread());
        return true;
    }
    bool Load(void*) { return Note("load"); }
    bool Write(void*) { return Note("write"); }
    bool Release(void*) { return Note("release"); }
    bool Echo(void* argument)
    {
        Note("echo");
        return argument == this;
    }
};

using RecorderCallback = TCXCallbackCPPVoidPtr<Recorder>;

class WorkerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetMainThread();
        CommandRunningFlag = false;
    }
    void TearDown() override
    {
        VelmarWorker::CancelTasks(0, true);
        MainThreadUpdate();
        VelmarWorker::SetFailureHooks(nullptr, nullptr);
        SetLogLineObserver(nullptr);
        CommandRunningFlag = false;
    }
};

}  // namespace

TEST_F(WorkerTest, MainThreadCallFromWorkerRunsDuringMainThreadUpdate)
{
    Recorder recorder;
    std::atomic<bool> innerResult{false};
    std::atomic<bool> finished{false};

    // A worker job marshals a call to the main thread and waits for its result.
    TCXCallbackFunction* job = TCXCallbackFunction::Create([&](void*) {
        RecorderCallback* echo = RecorderCallback::Create(&recorder, &Recorder::Echo);
        unsigned char result = 0;
        VelmarWorker::CallTask(echo, VelmarWorker::kMainThread, &recorder, &result);
        echo->Release();
        innerResult = result == 1;
        finished = true;
        return true;
    });
    EXPECT_TRUE(VelmarWorker::CallTask(job, VelmarWorker::kWorkerThread | VelmarWorker::kNoWait));
    job->Release();

    ASSERT_TRUE(PumpMainThreadUntil([&] { return finished.load(); }));
    EXPECT_TRUE(innerResult);
    ASSERT_EQ(recorder.order.size(), 1u);
    EXPECT_TRUE(recorder.onMain[0]);
    EXPECT_FALSE(recorder.onWorker[0]);
    PumpMainThreadUntil([] { return !VelmarWorker::HasPendingWork(); });
    EXPECT_FALSE(VelmarWorker::HasPendingWork());
}

TEST_F(WorkerTest, FlagsChooseWhereAndWhetherToWait)
{
    Recorder recorder;
    RecorderCallback* echo = RecorderCallback::Create(&recorder, &Recorder::Echo);

    // Flags 3 on the main thread: inline, waited, result handed back (the argument reaches the method).
    unsigned char result = 0;
    EXPECT_TRUE(VelmarWorker::CallTask(echo, 3, &recorder, &result));
    EXPECT_EQ(result, 1);
    // Without an argument the user pointer (none here) is passed, so Echo answers false.
    EXPECT_FALSE(VelmarWorker::CallTask(echo, 3, nullptr, &result));
    EXPECT_EQ(result, 0);

    // Flag 16, waited: runs on a worker thread while the caller blocks.
    EXPECT_TRUE(VelmarWorker::CallTask(echo, VelmarWorker::kWorkerThread, &recorder));

    // Flag 1 with 8 from the main thread: queued, not run until the main thread updates.
    EXPECT_TRUE(VelmarWorker::CallTask(echo, VelmarWorker::kMainThread | VelmarWorker::kNoWait, &recorder));
    EXPECT_EQ(recorder.order.size(), 3u);
    EXPECT_TRUE(VelmarWorker::HasPendingWork());
    EXPECT_TRUE(VelmarWorker::RunPendingTask(0));
    EXPECT_FALSE(VelmarWorker::RunPendingTask(0));
    echo->Release();

    ASSERT_EQ(recorder.order.size(), 4u);
    EXPECT_TRUE(recorder.onMain[0]);
    EXPECT_TRUE(recorder.onWorker[2]);
    EXPECT_FALSE(recorder.onMain[2]);
    EXPECT_TRUE(recorder.onMain[3]);
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
    VelmarWorker::CancelTasks(0, false);
    MainThreadUpdate();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(VelmarWorker::HasPendingWork());
}

TEST_F(WorkerTest, WaitForMainThreadWorkTimesOutWhenNothingIsPosted)
{
    PostMainThreadWork([] {});
    MainThreadUpdate();  // drains the queue, and with it the posted event
    EXPECT_FALSE(WaitForMainThreadWork(20));

    std::thread poster([] { PostMainThreadWork([] {}); });
    EXPECT_TRUE(WaitForMainThreadWork(5000));
    poster.join();
    MainThreadUpdate();
}

TEST_F(WorkerTest, CancelTasksDropsQueuedCallsAndWakesTheirWaiters)
{
    Recorder recorder;
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
    std::thread waiter(
        [&] { waitResult = VelmarWorker::CallTask(call, VelmarWorker::kMainThread, nullptr, nullptr, 42); });
    EXPECT_TRUE(WaitUntil([] { return VelmarWorker::HasPendingWork(); }));
    // Another id is left alone.
    VelmarWorker::CallTask(call, VelmarWorker::kMainThread | VelmarWorker::kNoWait, nullptr, nullptr, 7);

    VelmarWorker::CancelTasks(42, true);
    waiter.join();
    EXPECT_EQ(waitResult, 0);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(VelmarWorker::HasPendingWork());
    VelmarWorker::CancelTasks(7, false);
    EXPECT_EQ(cancelled, 2);
    EXPECT_FALSE(VelmarWorker::HasPendingWork());
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
    VelmarWorker::SetFailureHooks([](int code) { endCodes.push_back(code); }, [] { ++aborts; });

    TCXCallbackFunction* thrower = TCXCallbackFunction::Create([](void*) -> bool { throw std::runtime_error("x"); });
    EXPECT_FALSE(VelmarWorker::CallTask(thrower, VelmarWorker::kWorkerThread));
    EXPECT_EQ(aborts, 1) << "outside a command a throwing task aborts";
    EXPECT_TRUE(endCodes.empty());

    CommandRunningFlag = true;
    EXPECT_FALSE(VelmarWorker::CallTask(thrower, 0));
    thrower->Release();
    ASSERT_EQ(endCodes.size(), 1u);
    EXPECT_EQ(endCodes[0], -100);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "VelmarWorker::InternalCallTask> uncaught exception in task");
}

TEST_F(WorkerTest, StopThreadsReturnsOnceTheThreadsHaveEnded)
{
    std::atomic<int> started{0}, done{0};
    for (int i = 0; i < 4; ++i)
    {
        TCXCallbackFunction* slow = TCXCallbackFunction::Create([&](void*) {
            ++started;
            std::this_thread::sleep_for(20ms);  // the job's own work
            ++done;
            return true;
        });
        VelmarWorker::CallTask(slow, VelmarWorker::kWorkerThread | VelmarWorker::kNoWait);
        slow->Release();
    }
    EXPECT_GT(VelmarWorker::ThreadCount(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return started > 0; }));
    VelmarWorker::StopThreads();
    EXPECT_EQ(VelmarWorker::ThreadCount(), 0u);
    const int finishedAtStop = done;
    EXPECT_EQ(started, finishedAtStop) << "every job that had begun ran to its end before the stop returned";
    VelmarWorker::CancelTasks(0, false);

    // A later worker call starts the pool again; nothing left over from before runs.
    TCXCallbackFunction* again = TCXCallbackFunction::Create([](void*) { return VelmarWorker::IsWorkerThread(); });
    EXPECT_TRUE(VelmarWorker::CallTask(again, VelmarWorker::kWorkerThread));
    again->Release();
    EXPECT_EQ(started, finishedAtStop);
    EXPECT_EQ(done, finishedAtStop);
}

TEST_F(WorkerTest, StopThreadsKeepsMainThreadWorkMovingForRunningJobs)
{
    // A running job waits for the main thread while the main thread stops the pool.
    std::atomic<bool> started{false};
    std::atomic<bool> mainCallRan{false};
    TCXCallbackFunction* job = TCXCallbackFunction::Create([&](void*) {
        started = true;
        TCXCallbackFunction* onMain = TCXCallbackFunction::Create([&](void*) { return mainCallRan = IsMainThread(); });
        const bool ok = VelmarWorker::CallTask(onMain, VelmarWorker::kMainThread);
        onMain->Release();
        return ok;
    });
    VelmarWorker::CallTask(job, VelmarWorker::kWorkerThread | VelmarWorker::kNoWait);
    job->Release();
    ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
    VelmarWorker::StopThreads();
    EXPECT_TRUE(mainCallRan);
    EXPECT_EQ(VelmarWorker::ThreadCount(), 0u);
}

TEST_F(WorkerTest, CallChainRunsItsCallsInOrder)
{
    Recorder recorder;
    {
        VelmarWorkerCallChain chain;
        RecorderCallback* load = RecorderCallback::Create(&recorder, &Recorder::Load);
        RecorderCallback* write = RecorderCallback::Create(&recorder, &Recorder::Write);
        RecorderCallback* release = RecorderCallback::Create(&recorder, &Recorder::Release);
        chain.Add(load, 3);
        chain.Add(write, 16);
        chain.Add(release, 1);
        load->Release();
        write->Release();
        release->Release();

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
    RecorderCallback* load = RecorderCallback::Create(&recorder, &Recorder::Load);
    RecorderCallback* write = RecorderCallback::Create(&recorder, &Recorder::Write);
    chain.Add(load, VelmarWorker::kMainThread);  // queued even on the main thread: no kRunInline
    chain.Add(write, VelmarWorker::kWorkerThread);
    load->Release();
    write->Release();
    ASSERT_TRUE(chain.Start());
    EXPECT_TRUE(chain.IsBusy());
    EXPECT_FALSE(chain.Start()) << "a busy chain does not start twice";
    VelmarWorker::CancelTasks(0, false);
    EXPECT_FALSE(chain.WaitForCompletion());
    EXPECT_TRUE(chain.EndedEarly());
    EXPECT_TRUE(recorder.order.empty());
}
