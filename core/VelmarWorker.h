#pragma once
// The worker: runs completion callbacks directly, on the main thread (through the main-thread work queue
// that MainThreadUpdate drains) or on its pool of worker threads. One per process; every operation is
// static and works on that one worker.
#include <cstdint>

class TCXCallback;

class VelmarWorker
{
public:
    // CallTask flags.
    enum : unsigned
    {
        kMainThread = 1,     // run on the main thread
        kRunInline = 2,      // run at once when the caller already is on the required thread
        kNoWait = 8,         // queue and return; the caller does not wait for the result
        kWorkerThread = 16,  // run on a worker thread
    };

    // Runs `callback` with `argument` as `flags` say. Without kMainThread and kWorkerThread a waiting call
    // runs at once on the calling thread, and a call that does not wait goes to a worker thread.
    // A waiting call returns the callback's result (false when the call was cancelled or refused) and
    // stores it in *result when given; a call that does not wait returns whether it was accepted.
    // While a caller waits it runs the queued work of its own kind (main-thread work on the main thread,
    // worker jobs on a worker thread), so marshalling to its own queue never deadlocks.
    // With no main thread recorded, main-thread calls run on the calling thread.
    // The worker holds its own reference on the callback while the call is queued.
    static bool CallTask(TCXCallback* callback, unsigned flags, void* argument = nullptr,
                         unsigned char* result = nullptr, uintptr_t id = 0);

    // Drops the queued calls that carry `id` (0 is the id of calls made without one) and wakes their
    // waiters. With `wait`, also waits until calls with that id that are running elsewhere have ended.
    static void CancelTasks(uintptr_t id, bool wait);

    // True while a call is queued or running.
    static bool HasPendingWork();

    // Runs one queued call suited to the calling thread: main-thread work on the main thread, worker jobs
    // on a worker thread; with kWorkerThread in `flags` any thread may also take a worker job. True when
    // one ran.
    static bool RunPendingTask(unsigned flags);

    // Ends the worker threads and returns once they have ended. Worker jobs still queued stay queued
    // (CancelTasks drops them); a later worker call starts the threads again.
    static void StopThreads();

    // Runs one call, catching whatever it throws. A throw is logged as
    // "VelmarWorker::InternalCallTask> uncaught exception in task"; then, while a command runs
    // (SetCommandRunning) and no debugger is attached, the process ends with -100, otherwise it aborts.
    static bool InternalCallTask(TCXCallback* callback, void* argument);

    // What InternalCallTask does to the process after a throw; nullptr restores the default (ending the
    // process at once / abort). Tests put harmless recorders here.
    using EndProcessHook = void (*)(int exitCode);
    using AbortHook = void (*)();
    static void SetFailureHooks(EndProcessHook endProcess, AbortHook abortProcess);
    // Set while the tool runs a command: a task that throws then ends the process with -100 instead of
    // aborting, as a crash inside a command does.
    static void SetCommandRunning(bool running);
    static bool CommandRunning();

    // True on the worker's own threads.
    static bool IsWorkerThread();
    // Number of worker threads running now.
    static unsigned ThreadCount();

    // Call chains (VelmarWorkerCallChain) that run on the worker say here when one has finished, so that a
    // waiter on several chains wakes when any of them finishes. FinishedChains counts them;
    // WaitForFinishedChain returns once the count differs from `seen` or `ms` milliseconds have passed.
    static void NoteChainFinished();
    static uint64_t FinishedChains();
    static void WaitForFinishedChain(uint64_t seen, unsigned ms);
};
