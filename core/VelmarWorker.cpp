#include "core/VelmarWorker.h"

#include "core/CoreThreads.h"
#include "core/LogPrintf.h"
#include "core/TCXCallback.h"
#include "core/WorkerQueue.h"
#include "platform/Process.h"

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// One queued call. The queue owns one reference on the callback until the call has run or was dropped.
struct Task
{
    TCXCallback* callback = nullptr;
    boost::function<bool()> job;  // the callback bound to its argument, run through InternalCallTask
    uintptr_t id = 0;

    std::mutex lock;
    std::condition_variable changed;
    bool ended = false;
    bool result = false;

    void End(bool value)
    {
        std::lock_guard<std::mutex> guard(lock);
        ended = true;
        result = value;
        changed.notify_all();
    }
    bool WaitEnded(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, timeout, [this] { return ended; });
    }
    bool Ended()
    {
        std::lock_guard<std::mutex> guard(lock);
        return ended;
    }
};
using TaskPtr = std::shared_ptr<Task>;

struct RunningCall
{
    const Task* task;
    uintptr_t id;
    uint64_t thread;
};

struct WorkerState
{
    std::mutex lock;
    std::deque<TaskPtr> mainQueue;
    std::deque<TaskPtr> workerQueue;
    std::vector<RunningCall> running;
    std::condition_variable workAvailable;  // worker threads sleep on it
    std::condition_variable mainPosted;     // WaitForMainThreadWork sleeps on it
    bool mainPostedFlag = false;
    std::vector<std::thread> threads;
    bool stopping = false;    // the shutting-down flag: no worker jobs are taken meanwhile
    unsigned generation = 0;  // a thread leaves once the pool it was started for has been stopped
    std::atomic<unsigned> liveThreads{0};
    // What a task that throws does to the process: while a command runs, end it (or call the test's
    // recorder); otherwise abort (or call the test's recorder).
    std::atomic<bool> commandRunning{false};
    std::atomic<VelmarWorker::EndProcessHook> endProcess{nullptr};
    std::atomic<VelmarWorker::AbortHook> abortProcess{nullptr};
    // Call chains finished so far, under their own lock: a chain says it has finished after it has let go of
    // everything else, and its waiter may be waiting on several chains.
    std::mutex chainLock;
    std::condition_variable chainFinished;
    uint64_t finishedChains = 0;
};

// Never destroyed: worker threads may still be parked on it while the process exits.
WorkerState& State()
{
    // Process-wide: the worker and its threads serve the whole process.
    static WorkerState* state = new WorkerState;
    return *state;
}

thread_local bool t_isWorkerThread = false;

unsigned PoolSize() { return static_cast<unsigned>(std::clamp(Platform::ProcessorCount(), 2, 8)); }

// Runs a task that has been taken off a queue and entered into the running list.
void RunTask(const TaskPtr& task)
{
    const bool result = task->job();
    task->job.clear();
    task->callback->Release();
    task->callback = nullptr;
    WorkerState& w = State();
    {
        std::lock_guard<std::mutex> guard(w.lock);
        auto it = std::find_if(w.running.begin(), w.running.end(),
                               [&](const RunningCall& r) { return r.task == task.get(); });
        if (it != w.running.end()) w.running.erase(it);
    }
    task->End(result);
}

// Takes the oldest task of a queue and runs it on the calling thread.
bool RunOneFrom(std::deque<TaskPtr> WorkerState::*queue)
{
    WorkerState& w = State();
    TaskPtr task;
    {
        std::lock_guard<std::mutex> guard(w.lock);
        auto& q = w.*queue;
        if (q.empty()) return false;
        task = std::move(q.front());
        q.pop_front();
        w.running.push_back({task.get(), task->id, CurrentThreadId()});
    }
    RunTask(task);
    return true;
}

void WorkerThreadMain(unsigned generation)
{
    t_isWorkerThread = true;
    WorkerState& w = State();
    for (;;)
    {
        TaskPtr task;
        {
            std::unique_lock<std::mutex> guard(w.lock);
            w.workAvailable.wait(guard, [&] { return w.generation != generation || !w.workerQueue.empty(); });
            if (w.generation != generation) break;
            task = std::move(w.workerQueue.front());
            w.workerQueue.pop_front();
            w.running.push_back({task.get(), task->id, CurrentThreadId()});
        }
        RunTask(task);
    }
    w.liveThreads.fetch_sub(1, std::memory_order_acq_rel);
}

// Queues a task; false when the worker is shutting down and cannot take worker jobs.
bool Enqueue(const TaskPtr& task, bool onMainThread)
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.lock);
    if (onMainThread)
    {
        w.mainQueue.push_back(task);
        w.mainPostedFlag = true;
        w.mainPosted.notify_all();
        return true;
    }
    if (w.stopping) return false;
    if (w.threads.empty())
    {
        const unsigned count = PoolSize();
        for (unsigned i = 0; i < count; ++i)
        {
            w.liveThreads.fetch_add(1, std::memory_order_acq_rel);
            w.threads.emplace_back(WorkerThreadMain, w.generation);
        }
    }
    w.workerQueue.push_back(task);
    w.workAvailable.notify_one();
    return true;
}

TaskPtr MakeTask(TCXCallback* callback, void* argument, uintptr_t id)
{
    auto task = std::make_shared<Task>();
    callback->AddRef();
    task->callback = callback;
    task->job = boost::bind(&VelmarWorker::InternalCallTask, callback, argument);
    task->id = id;
    return task;
}

// Waits for a queued task, running the calling thread's own kind of work meanwhile.
bool WaitForTask(const TaskPtr& task)
{
    for (;;)
    {
        if (task->Ended()) break;
        bool ran = false;
        if (IsMainThread())
            ran = RunOneFrom(&WorkerState::mainQueue);
        else if (t_isWorkerThread)
            ran = RunOneFrom(&WorkerState::workerQueue);
        if (!ran) task->WaitEnded(10ms);
    }
    std::lock_guard<std::mutex> guard(task->lock);
    return task->result;
}

}  // namespace

bool VelmarWorker::CallTask(TCXCallback* callback, unsigned flags, void* argument, unsigned char* result, uintptr_t id)
{
    if (result) *result = 0;
    if (!callback) return false;
    const bool wait = (flags & kNoWait) == 0;
    const bool toMain = (flags & kMainThread) != 0;
    const bool toWorker = !toMain && (flags & kWorkerThread) != 0;

    bool runHere;
    if (toMain)
        runHere = !HasMainThread() || ((flags & kRunInline) && IsMainThread());
    else if (toWorker)
        runHere = (flags & kRunInline) && t_isWorkerThread;
    else
        runHere = wait;

    if (runHere)
    {
        callback->AddRef();
        const bool value = InternalCallTask(callback, argument);
        callback->Release();
        if (!wait) return true;
        if (result) *result = value ? 1 : 0;
        return value;
    }

    TaskPtr task = MakeTask(callback, argument, id);
    if (!Enqueue(task, toMain))
    {
        callback->Cancel();
        callback->Release();
        return false;
    }
    if (!wait) return true;
    const bool value = WaitForTask(task);
    if (result) *result = value ? 1 : 0;
    return value;
}

void VelmarWorker::CancelTasks(uintptr_t id, bool wait)
{
    WorkerState& w = State();
    std::vector<TaskPtr> dropped;
    {
        std::lock_guard<std::mutex> guard(w.lock);
        for (auto* queue : {&w.mainQueue, &w.workerQueue})
        {
            auto keep =
                std::stable_partition(queue->begin(), queue->end(), [&](const TaskPtr& t) { return t->id != id; });
            std::move(keep, queue->end(), std::back_inserter(dropped));
            queue->erase(keep, queue->end());
        }
    }
    for (const TaskPtr& task : dropped)
    {
        task->callback->Cancel();
        task->job.clear();
        task->callback->Release();
        task->callback = nullptr;
        task->End(false);
    }
    if (!wait) return;
    const uint64_t self = CurrentThreadId();
    for (;;)
    {
        {
            std::lock_guard<std::mutex> guard(w.lock);
            const bool busy = std::any_of(w.running.begin(), w.running.end(),
                                          [&](const RunningCall& r) { return r.id == id && r.thread != self; });
            if (!busy) return;
        }
        // A running call may itself wait for main-thread work: keep that moving.
        if (!(IsMainThread() && RunOneFrom(&WorkerState::mainQueue))) std::this_thread::sleep_for(10ms);
    }
}

bool VelmarWorker::HasPendingWork()
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.lock);
    return !w.mainQueue.empty() || !w.workerQueue.empty() || !w.running.empty();
}

bool VelmarWorker::RunPendingTask(unsigned flags)
{
    if ((IsMainThread() || !HasMainThread()) && RunOneFrom(&WorkerState::mainQueue)) return true;
    if (t_isWorkerThread || (flags & kWorkerThread)) return RunOneFrom(&WorkerState::workerQueue);
    return false;
}

void VelmarWorker::StopThreads()
{
    WorkerState& w = State();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(w.lock);
        if (w.threads.empty()) return;
        w.stopping = true;
        ++w.generation;
        threads.swap(w.threads);
        w.workAvailable.notify_all();
    }
    // A worker thread that stops the pool cannot wait for itself.
    const std::thread::id self = std::this_thread::get_id();
    const bool selfInPool =
        std::any_of(threads.begin(), threads.end(), [&](const std::thread& t) { return t.get_id() == self; });
    // Wait 10 ms at a time; a job still running may be waiting for main-thread work, so the main thread
    // keeps that moving meanwhile.
    while (w.liveThreads.load(std::memory_order_acquire) > (selfInPool ? 1u : 0u))
    {
        if (!(IsMainThread() && RunOneFrom(&WorkerState::mainQueue))) std::this_thread::sleep_for(10ms);
    }
    for (std::thread& t : threads)
    {
        if (t.get_id() == self)
            t.detach();  // leaves its loop after the current job
        else
            t.join();
    }
    std::lock_guard<std::mutex> guard(w.lock);
    w.stopping = false;
}

bool VelmarWorker::InternalCallTask(TCXCallback* callback, void* argument)
{
    if (!callback) return false;
    try
    {
        return callback->Invoke(argument);
    }
    catch (...)
    {
        LogPrintf("VelmarWorker::InternalCallTask> uncaught exception in task");
    }
    WorkerState& s = State();
    if (s.commandRunning.load() && !Platform::IsDebuggerAttached())
    {
        if (EndProcessHook hook = s.endProcess.load())
            hook(-100);
        else
            Platform::ExitProcess(-100);
    }
    else
    {
        if (AbortHook hook = s.abortProcess.load())
            hook();
        else
            std::abort();
    }
    return false;
}

void VelmarWorker::SetFailureHooks(EndProcessHook endProcess, AbortHook abortProcess)
{
    State().endProcess.store(endProcess);
    State().abortProcess.store(abortProcess);
}

void VelmarWorker::SetCommandRunning(bool running) { State().commandRunning.store(running); }

bool VelmarWorker::CommandRunning() { return State().commandRunning.load(); }

bool VelmarWorker::IsWorkerThread() { return t_isWorkerThread; }

unsigned VelmarWorker::ThreadCount() { return State().liveThreads.load(std::memory_order_acquire); }

void VelmarWorker::NoteChainFinished()
{
    WorkerState& w = State();
    {
        std::lock_guard<std::mutex> guard(w.chainLock);
        ++w.finishedChains;
    }
    w.chainFinished.notify_all();
}

uint64_t VelmarWorker::FinishedChains()
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.chainLock);
    return w.finishedChains;
}

void VelmarWorker::WaitForFinishedChain(uint64_t seen, unsigned ms)
{
    WorkerState& w = State();
    std::unique_lock<std::mutex> guard(w.chainLock);
    w.chainFinished.wait_for(guard, std::chrono::milliseconds(ms), [&] { return w.finishedChains != seen; });
}

namespace WorkerQueue {

void PostToMainThread(TCXCallback* callback, void* argument, uintptr_t id)
{
    if (callback) Enqueue(MakeTask(callback, argument, id), true);
}

size_t MainThreadBacklog()
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.lock);
    return w.mainQueue.size();
}

bool RunOneMainThreadCall() { return RunOneFrom(&WorkerState::mainQueue); }

void ClearMainThreadPostIfIdle()
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.lock);
    if (w.mainQueue.empty()) w.mainPostedFlag = false;
}

void WakeMainThread()
{
    WorkerState& w = State();
    std::lock_guard<std::mutex> guard(w.lock);
    w.mainPostedFlag = true;
    w.mainPosted.notify_all();
}

bool WaitForMainThreadPost(unsigned timeoutMs)
{
    WorkerState& w = State();
    std::unique_lock<std::mutex> guard(w.lock);
    const bool posted = w.mainPosted.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                              [&] { return w.mainPostedFlag || !w.mainQueue.empty(); });
    w.mainPostedFlag = false;
    return posted;
}

}  // namespace WorkerQueue
