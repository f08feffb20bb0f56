#include "core/MainThreadWork.h"
#include "core/MainThreadPost.h"

#include "core/CoreThreads.h"
#include "core/CoreTime.h"
#include "core/TCXCallbackFunction.h"
#include "core/WorkerQueue.h"
#include "engine/PString.h"

#include <boost/bind/bind.hpp>

#include <atomic>
#include <mutex>
#include <vector>

namespace {
// Process-wide: there is one main thread and one queue of work for it.
std::atomic<bool> g_collectPending{false};
std::atomic<uint64_t> g_lastUpdateMs{0};
std::atomic<uint64_t> g_elapsedMs{0};

std::mutex g_collectorsLock;
std::vector<GarbageCollectorFn>& Collectors()
{
    static std::vector<GarbageCollectorFn> collectors;
    return collectors;
}

void CollectNow()
{
    g_collectPending.store(false);
    std::vector<GarbageCollectorFn> collectors;
    {
        std::lock_guard<std::mutex> guard(g_collectorsLock);
        collectors = Collectors();
    }
    // Resources first: dumping them lets go of the names they held.
    for (GarbageCollectorFn collect : collectors) collect();
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
    if (g_collectPending.load()) CollectNow();
    const uint64_t now = GetUnixTimeMs();
    const uint64_t last = g_lastUpdateMs.exchange(now);
    g_elapsedMs.store(last != 0 && now > last ? now - last : 0);
}

bool WaitForMainThreadWork(unsigned timeoutMs) { return WorkerQueue::WaitForMainThreadPost(timeoutMs); }

void CollectGarbageOnMainThread()
{
    if (IsMainThread())
        CollectNow();
    else
        g_collectPending.store(true);
}

void RegisterGarbageCollector(GarbageCollectorFn collector)
{
    if (!collector) return;
    std::lock_guard<std::mutex> guard(g_collectorsLock);
    Collectors().push_back(collector);
}

uint64_t MainThreadElapsedMs() { return g_elapsedMs.load(); }

uint64_t MainThreadLastUpdateMs() { return g_lastUpdateMs.load(); }

void PostMainThreadWork(const boost::function<void()>& job, uintptr_t id)
{
    if (!job) return;
    TCXCallbackFunction* callback = TCXCallbackFunction::Create(boost::bind(&RunVoidJob, job));
    WorkerQueue::PostToMainThread(callback, nullptr, id);
    callback->Release();
}
