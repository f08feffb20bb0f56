#include "engine/CriticalSection.h"

#include <chrono>

namespace Orvo {

bool CriticalSection::Lock(uint32_t timeoutMs)
{
    bool locked;
    if (timeoutMs == kInfinite)
    {
        mutex_.lock();
        locked = true;
    }
    else if (timeoutMs == 0)
    {
        locked = mutex_.try_lock();
    }
    else
    {
        locked = mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
    }
    if (!locked) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool CriticalSection::Unlock()
{
    if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) return false;
    if (depth_.fetch_sub(1, std::memory_order_relaxed) == 1) owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
    return true;
}

bool CriticalSection::IsOwnedByCurrentThread() const
{
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

int CriticalSection::GetRecursionCount() const { return depth_.load(std::memory_order_relaxed); }

}  // namespace Orvo
