#include "core/VelmarWorkerCallChain.h"

#include "core/TCXCallback.h"
#include "core/VelmarWorker.h"

#include <chrono>

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
    Call call;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ >= calls_.size())
        {
            busy_.store(0);
            allDone_ = true;
            allDoneChanged_.notify_all();
            return;
        }
        call = calls_[next_++];
    }
    Step* step = new Step(this, call.callback);
    const bool accepted = VelmarWorker::CallTask(step, call.flags, call.argument);
    step->Release();
    if (!accepted) Finish(true);
}

void VelmarWorkerCallChain::Finish(bool early)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (early) endedEarly_.store(1);
    next_ = calls_.size();
    busy_.store(0);
    allDone_ = true;
    allDoneChanged_.notify_all();
}

bool VelmarWorkerCallChain::IsAllDone() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return allDone_;
}

bool VelmarWorkerCallChain::WaitForCompletion()
{
    for (;;)
    {
        if (IsAllDone()) break;
        if (VelmarWorker::RunPendingTask(0)) continue;
        std::unique_lock<std::mutex> guard(lock_);
        allDoneChanged_.wait_for(guard, std::chrono::milliseconds(10), [this] { return allDone_; });
    }
    return !EndedEarly();
}
