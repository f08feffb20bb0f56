#include "core/CoreThreads.h"

#include <atomic>

namespace {
// Process-wide: thread identities belong to the process.
struct ThreadIds
{
    std::atomic<uint64_t> main{0};
    std::atomic<uint64_t> next{1};
};
ThreadIds g_threads;
}  // namespace

uint64_t CurrentThreadId()
{
    thread_local const uint64_t id = g_threads.next.fetch_add(1, std::memory_order_relaxed);
    return id;
}

uint64_t SetMainThread()
{
    const uint64_t id = CurrentThreadId();
    g_threads.main.store(id, std::memory_order_release);
    return id;
}

bool IsMainThread()
{
    const uint64_t main = g_threads.main.load(std::memory_order_acquire);
    return main != 0 && main == CurrentThreadId();
}

bool HasMainThread() { return g_threads.main.load(std::memory_order_acquire) != 0; }
