#include "engine/Semaphore.h"

#include <algorithm>
#include <chrono>

namespace Orvo {

Semaphore::Semaphore(long initialCount, long maxCount) : count_(0), max_(std::max(maxCount, 1L))
{
    count_ = std::clamp(initialCount, 0L, max_);
}

bool Semaphore::Lock(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto available = [this] { return count_ > 0; };
    if (timeoutMs == kInfinite)
        available_.wait(lock, available);
    else if (!available_.wait_for(lock, std::chrono::milliseconds(timeoutMs), available))
        return false;
    --count_;
    return true;
}

bool Semaphore::Release(long count, long* previous)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (previous) *previous = count_;
        if (count < 1 || count > max_ - count_) return false;
        count_ += count;
    }
    if (count == 1)
        available_.notify_one();
    else
        available_.notify_all();
    return true;
}

long Semaphore::GetCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

}  // namespace Orvo
