#include "core/VelmarWorkerCallChain.h"

#include "core/TCXCallback.h"
#include "core/VelmarWorker.h"

#include <chrono>

// Runs one call of the chain and then starts the next. A dropped step ends the chain early.
class VelmarWorkerCallChain::Step : public TCXCallback {
public:
    Step(VelmarWorkerCallChain* chain, TCXCallback* call) : m_chain(chain), m_call(call) {}

protected:
    bool OnInvoke(void* argument) override
    {
        // The next call starts even when this one throws, so a waiter is never left hanging.
        struct Next {
            VelmarWorkerCallChain* chain;
            ~Next() { chain->RunNext(); }
        } next{m_chain};
        return m_call->Invoke(argument);
    }
    void OnCancel() override { m_chain->Finish(true); }

private:
    VelmarWorkerCallChain* m_chain;
    TCXCallback* m_call;
};

VelmarWorkerCallChain::~VelmarWorkerCallChain()
{
    WaitForCompletion();
    for (const Call& call : m_calls)
        call.callback->Release();
}

void VelmarWorkerCallChain::Add(TCXCallback* callback, unsigned flags, void* argument)
{
    if (!callback)
        return;
    callback->AddRef();
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back({callback, flags | VelmarWorker::kNoWait, argument});
}

bool VelmarWorkerCallChain::Start()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_busy.load())
            return false;
        m_allDone = false;
        m_endedEarly.store(0);
        m_busy.store(1);
    }
    RunNext();
    return true;
}

void VelmarWorkerCallChain::RunNext()
{
    Call call;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_next >= m_calls.size()) {
            m_busy.store(0);
            m_allDone = true;
            m_allDoneChanged.notify_all();
            return;
        }
        call = m_calls[m_next++];
    }
    Step* step = new Step(this, call.callback);
    const bool accepted = VelmarWorker::CallTask(step, call.flags, call.argument);
    step->Release();
    if (!accepted)
        Finish(true);
}

void VelmarWorkerCallChain::Finish(bool early)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (early)
        m_endedEarly.store(1);
    m_next = m_calls.size();
    m_busy.store(0);
    m_allDone = true;
    m_allDoneChanged.notify_all();
}

bool VelmarWorkerCallChain::IsAllDone() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_allDone;
}

bool VelmarWorkerCallChain::WaitForCompletion()
{
    for (;;) {
        if (IsAllDone())
            break;
        if (VelmarWorker::RunPendingTask(0))
            continue;
        std::unique_lock<std::mutex> guard(m_lock);
        m_allDoneChanged.wait_for(guard, std::chrono::milliseconds(10), [this] { return m_allDone; });
    }
    return !EndedEarly();
}
