#include "engine/CriticalSection.h"

#include <chrono>

namespace Orvo {

bool CriticalSection::Lock(uint32_t timeoutMs)
{
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_depth > 0 && m_owner == self) {
        ++m_depth;
        return true;
    }
    auto isFree = [this] { return m_depth == 0; };
    if (timeoutMs == kInfinite)
        m_released.wait(lock, isFree);
    else if (!m_released.wait_for(lock, std::chrono::milliseconds(timeoutMs), isFree))
        return false;
    m_owner = self;
    m_depth = 1;
    return true;
}

bool CriticalSection::Unlock()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_depth == 0 || m_owner != std::this_thread::get_id())
        return false;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        lock.unlock();
        m_released.notify_one();
    }
    return true;
}

bool CriticalSection::IsOwnedByCurrentThread() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_depth > 0 && m_owner == std::this_thread::get_id();
}

int CriticalSection::GetRecursionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_depth;
}

} // namespace Orvo
