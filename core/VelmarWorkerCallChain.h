#pragma once
// A chain of calls that run one after another through the worker: each finished call starts the next,
// whatever its result (later steps, such as releasing what an earlier one took, must run after failures
// too). The calling thread can go on and wait later.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

class TCXCallback;

class VelmarWorkerCallChain
{
public:
    VelmarWorkerCallChain() = default;
    // Waits for a started chain to finish, then lets go of its callbacks.
    ~VelmarWorkerCallChain();
    VelmarWorkerCallChain(const VelmarWorkerCallChain&) = delete;
    VelmarWorkerCallChain& operator=(const VelmarWorkerCallChain&) = delete;

    // Queues a call with VelmarWorker flags; the chain adds kNoWait. The chain keeps a reference.
    void Add(TCXCallback* callback, unsigned flags, void* argument = nullptr);

    // Resets 'all done', clears the ended-early flag, sets busy and runs the first call not yet run.
    // False when the chain is already busy.
    bool Start();

    // Starts the next call, or finishes the chain when none is left (busy cleared, 'all done' set).
    void RunNext();

    // Waits for 'all done', running pending main-thread work meanwhile. True when every call ran; false
    // when the chain ended early.
    bool WaitForCompletion();

    // Waits until one of the chains is 'all done' (a chain never started counts as done), running pending
    // main-thread work meanwhile, and returns the index of the first such chain; count when count is 0.
    // The wait wakes when any chain finishes or main-thread work is posted.
    static size_t WaitForAny(const VelmarWorkerCallChain* const* chains, size_t count);

    bool IsBusy() const { return busy_.load() != 0; }
    bool IsAllDone() const;
    // Set when the chain stopped before its last call: a call was dropped by VelmarWorker::CancelTasks
    // or refused because the worker was shutting down. Starting the chain clears it.
    bool EndedEarly() const { return endedEarly_.load() != 0; }

private:
    class Step;
    struct Call
    {
        TCXCallback* callback;
        unsigned flags;
        void* argument;
    };

    void Finish(bool early);

    mutable std::mutex lock_;
    std::condition_variable allDoneChanged_;
    std::vector<Call> calls_;
    size_t next_ = 0;
    bool allDone_ = true;
    std::atomic<unsigned char> busy_{0};
    std::atomic<unsigned char> endedEarly_{0};
};
