#include "engine/Semaphore.h"

#include <algorithm>
#include <chrono>

namespace Orvo {

Semaphore::Semaphore(long initialCount, long maxCount)
    : m_count(0), m_max(std::max(maxCount, 1L))
{
    m_count = std::clamp(initialCount, 0L, m_max);
}

bool Semaphore::Lock(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto available = [this] { return m_count > 0; };
    if (timeoutMs == kInfinite)
        m_available.wait(lock, available);
    else if (!m_available.wait_for(lock, std::chrono::milliseconds(timeoutMs), available))
        return false;
    --m_count;
    return true;
}

bool Semaphore::Release(long count, long* previous)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (previous)
            *previous = m_count;
        if (count < 1 || count > m_max - m_count)
            return false;
        m_count += count;
    }
    if (count == 1)
        m_available.notify_one();
    else
        m_available.notify_all();
    return true;
}

long Semaphore::GetCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

} // namespace Orvo
