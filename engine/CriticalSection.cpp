#include "engine/CriticalSection.h"

#include <chrono>

namespace Orvo {

bool CriticalSection::Lock(uint32_t timeoutMs)
{
    bool locked;
    if (timeoutMs == kInfinite) {
        m_mutex.lock();
        locked = true;
    } else if (timeoutMs == 0) {
        locked = m_mutex.try_lock();
    } else {
        locked = m_mutex.try_lock_for(std::chrono::milliseconds(timeoutMs));
    }
    if (!locked)
        return false;
    m_owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    m_depth.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool CriticalSection::Unlock()
{
    if (m_owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
        return false;
    if (m_depth.fetch_sub(1, std::memory_order_relaxed) == 1)
        m_owner.store(std::thread::id(), std::memory_order_relaxed);
    m_mutex.unlock();
    return true;
}

bool CriticalSection::IsOwnedByCurrentThread() const
{
    return m_owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

int CriticalSection::GetRecursionCount() const
{
    return m_depth.load(std::memory_order_relaxed);
}

} // namespace Orvo
