#include "core/VelmarWorkerCallChain.h"

#include "core/CoreThreads.h"
#include "core/TCXCallback.h"
#include "core/VelmarWorker.h"
#include "core/WorkerQueue.h"

namespace {

// Called after a chain has set 'all done', without touching the chain (its waiter may destroy it at once).
void NoteChainFinished()
{
    VelmarWorker::NoteChainFinished();
    // A main thread that waits sleeps on its own work queue's event.
    if (HasMainThread() && !IsMainThread()) WorkerQueue::WakeMainThread();
}

}  // namespace

// Runs one call of the chain and then starts the next. A dropped step ends the chain early.
class VelmarWorkerCallChain::Step : public TCXCallback
{
public:
    Step(VelmarWorkerCallChain* chain, TCXCallback* call) : chain_(chain), call_(call) {}

protected:
    bool OnInvoke(void* argument) override
    {
        // The next call starts even when this one throws, so a waiter is never left hanging.
        struct Next
        {
            VelmarWorkerCallChain* chain;
            ~Next() { chain->RunNext(); }
        } next{chain_};
        return call_->Invoke(argument);
    }
    void OnCancel() override { chain_->Finish(true); }

private:
    VelmarWorkerCallChain* chain_;
    TCXCallback* call_;
};

VelmarWorkerCallChain::~VelmarWorkerCallChain()
{
    WaitForCompletion();
    for (const Call& call : calls_) call.callback->Release();
}

void VelmarWorkerCallChain::Add(TCXCallback* callback, unsigned flags, void* argument)
{
    if (!callback) return;
    callback->AddRef();
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back({callback, flags | VelmarWorker::kNoWait, argument});
}

bool VelmarWorkerCallChain::Start()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (busy_.load()) return false;
        allDone_ = false;
        endedEarly_.store(0);
        busy_.store(1);
    }
    RunNext();
    return true;
}

void VelmarWorkerCallChain::RunNext()
{
    Call call{};
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ < calls_.size())
            call = calls_[next_++];
        else
        {
            busy_.store(0);
            allDone_ = true;
            allDoneChanged_.notify_all();
        }
    }
    if (call.callback == nullptr)
    {
        NoteChainFinished();
        return;
    }
    Step* step = new Step(this, call.callback);
    const bool accepted = VelmarWorker::CallTask(step, call.flags, call.argument);
    step->Release();
    if (!accepted) Finish(true);
}

void VelmarWorkerCallChain::Finish(bool early)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (early) endedEarly_.store(1);
        next_ = calls_.size();
        busy_.store(0);
        allDone_ = true;
        allDoneChanged_.notify_all();
    }
    NoteChainFinished();
}

bool VelmarWorkerCallChain::IsAllDone() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return allDone_;
}

bool VelmarWorkerCallChain::WaitForCompletion()
{
    const VelmarWorkerCallChain* self = this;
    WaitForAny(&self, 1);
    return !EndedEarly();
}

size_t VelmarWorkerCallChain::WaitForAny(const VelmarWorkerCallChain* const* chains, size_t count)
{
    if (count == 0) return 0;
    for (;;)
    {
        const uint64_t seen = VelmarWorker::FinishedChains();
        for (size_t i = 0; i < count; ++i)
            if (chains[i]->IsAllDone()) return i;
        if (VelmarWorker::RunPendingTask(0)) continue;
        // The time-out only bounds the wait should a wake-up be missed; finishing chains and main-thread
        // posts wake the waiter.
        if (IsMainThread())
        {
            WorkerQueue::WaitForMainThreadPost(10);
            continue;
        }
        VelmarWorker::WaitForFinishedChain(seen, 10);
    }
}
