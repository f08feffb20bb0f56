// The codec library's worker pool: a queue of batches, each taken task by task by idle threads and by
// the thread that handed the batch in.
#include "textures/codec/WorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Lives on the caller's stack; the caller returns only once done == count, and the last thread to
// touch the batch does so under the pool lock before the caller can see that.
struct Batch
{
    CodecTaskFn fn = nullptr;
    void* context = nullptr;
    uint32_t count = 0;
    uint32_t next = 0;  // next index to hand out
    uint32_t done = 0;  // tasks ended
    fenv_t env;         // the caller's floating-point environment
    std::condition_variable finished;
};

// Never freed: a thread still inside the pool during exit never meets destroyed state.
struct Pool
{
    std::mutex mutex;
    std::condition_variable work;
    std::deque<Batch*> queue;  // batches with indices left to hand out
    std::vector<std::thread> threads;
    bool closed = false;  // set at exit: no new threads, idle ones end
};

// Process-wide: one pool of codec threads for every conversion, made on first use.
std::atomic<Pool*> g_pool{nullptr};

void RunTask(Batch& batch, uint32_t index) noexcept
{
    fenv_t own;
    fegetenv(&own);
    fesetenv(&batch.env);
    batch.fn(batch.context, index);
    fesetenv(&own);
}

// Hands out the next index of a batch (lock held), taking the batch off the queue with its last index.
uint32_t Claim(Pool& pool, Batch& batch)
{
    const uint32_t index = batch.next++;
    if (batch.next == batch.count) pool.queue.erase(std::find(pool.queue.begin(), pool.queue.end(), &batch));
    return index;
}

void Finish(Batch& batch)
{
    if (++batch.done == batch.count) batch.finished.notify_all();
}

void WorkerLoop(Pool* pool)
{
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;)
    {
        pool->work.wait(lock, [pool] { return !pool->queue.empty() || pool->closed; });
        if (pool->queue.empty()) return;  // closed and nothing left
        Batch& batch = *pool->queue.front();
        const uint32_t index = Claim(*pool, batch);
        lock.unlock();
        RunTask(batch, index);
        lock.lock();
        Finish(batch);
    }
}

void ClosePool()
{
    Pool* pool = g_pool.load();
    if (pool == nullptr) return;
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->closed = true;
        threads.swap(pool->threads);
    }
    pool->work.notify_all();
    for (std::thread& t : threads)
    {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();  // exit called from inside a task: this thread cannot wait for itself
        else
            t.join();
    }
}

// Around fork: the child has none of the parent's threads, so it drops the old pool (leaked, never
// touched again) and builds a fresh one on first use. Holding the lock across fork keeps the old
// pool's state whole in the child.
void BeforeFork()
{
    if (Pool* pool = g_pool.load()) pool->mutex.lock();
}
void AfterForkParent()
{
    if (Pool* pool = g_pool.load()) pool->mutex.unlock();
}
void AfterForkChild()
{
    if (Pool* pool = g_pool.load())
    {
        pool->mutex.unlock();
        g_pool.store(nullptr);
    }
}

Pool& ThePool()
{
    static const bool hooked = [] {
        std::atexit(ClosePool);
        pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild);
        return true;
    }();
    (void)hooked;
    Pool* pool = g_pool.load(std::memory_order_acquire);
    if (pool != nullptr) return *pool;
    Pool* fresh = new Pool;
    if (g_pool.compare_exchange_strong(pool, fresh, std::memory_order_acq_rel)) return *fresh;
    delete fresh;
    return *pool;
}

// Lock held. Threads already busy with other batches are counted too: more threads than tasks of one
// batch would only compete for the same processors.
void Grow(Pool& pool, uint32_t wanted)
{
    wanted = std::min(wanted, kMaxPoolThreads);
    while (!pool.closed && pool.threads.size() < wanted)
    {
        try
        {
            pool.threads.emplace_back(WorkerLoop, &pool);
        }
        catch (const std::system_error&)
        {
            return;  // the caller and the threads there are do the work
        }
    }
}

}  // namespace

void RunCodecTasks(uint32_t count, CodecTaskFn fn, void* context)
{
    if (count == 0) return;
    Batch batch;
    batch.fn = fn;
    batch.context = context;
    batch.count = count;
    fegetenv(&batch.env);
    Pool& pool = ThePool();
    std::unique_lock<std::mutex> lock(pool.mutex);
    pool.queue.push_back(&batch);
    Grow(pool, count - 1);
    // Woken outside the lock, so that the threads do not wake only to wait for it.
    lock.unlock();
    for (uint32_t i = 1; i < count; ++i) pool.work.notify_one();
    lock.lock();
    while (batch.next < batch.count)
    {
        const uint32_t index = Claim(pool, batch);
        lock.unlock();
        RunTask(batch, index);
        lock.lock();
        Finish(batch);
    }
    batch.finished.wait(lock, [&batch] { return batch.done == batch.count; });
}

uint32_t CodecPoolThreadCount()
{
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    return uint32_t(pool.threads.size());
}
