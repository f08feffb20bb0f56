#include "core/MainThreadWork.h"
#include "core/MainThreadPost.h"

#include "core/CoreThreads.h"
#include "core/CoreTime.h"
#include "core/TCXCallbackFunction.h"
#include "core/WorkerQueue.h"
#include "engine/PString.h"

#include <boost/bind/bind.hpp>

#include <atomic>

namespace {
// Process-wide: there is one main thread, and what its updates keep.
struct MainThreadState
{
    std::atomic<bool> collectPending{false};
    std::atomic<uint64_t> lastUpdateMs{0};
    std::atomic<uint64_t> elapsedMs{0};
};
MainThreadState g_main;

void CollectNow()
{
    g_main.collectPending.store(false);
    Orvo::PStringCache::Instance().CollectGarbage();
}

bool RunVoidJob(const boost::function<void()>& job)
{
    if (job) job();
    return true;
}
}  // namespace

void MainThreadUpdate()
{
    const size_t queued = WorkerQueue::MainThreadBacklog();
    for (size_t i = 0; i < queued; ++i)
    {
        if (!WorkerQueue::RunOneMainThreadCall()) break;
    }
    WorkerQueue::ClearMainThreadPostIfIdle();
    if (g_main.collectPending.load()) CollectNow();
    const uint64_t now = GetUnixTimeMs();
    const uint64_t last = g_main.lastUpdateMs.exchange(now);
    g_main.elapsedMs.store(last != 0 && now > last ? now - last : 0);
}

bool WaitForMainThreadWork(unsigned timeoutMs) { return WorkerQueue::WaitForMainThreadPost(timeoutMs); }

void CollectGarbageOnMainThread()
{
    if (IsMainThread())
        CollectNow();
    else
        g_main.collectPending.store(true);
}

uint64_t MainThreadElapsedMs() { return g_main.elapsedMs.load(); }

uint64_t MainThreadLastUpdateMs() { return g_main.lastUpdateMs.load(); }

void PostMainThreadWork(const boost::function<void()>& job, uintptr_t id)
{
    if (!job) return;
    TCXCallbackFunction* callback = TCXCallbackFunction::Create(boost::bind(&RunVoidJob, job));
    WorkerQueue::PostToMainThread(callback, nullptr, id);
    callback->Release();
}
