#include "core/SharedAccessLock.h"

#include "core/CoreThreads.h"

void SharedAccessLock::Lock(uint64_t threadId, bool exclusive)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_owner != 0 && m_owner == threadId) {
        ++m_ownerDepth;
        return;
    }
    if (exclusive) {
        m_changed.wait(guard, [this] { return m_owner == 0 && m_readers == 0; });
        m_owner = threadId;
        m_ownerDepth = 1;
    } else {
        m_changed.wait(guard, [this] { return m_owner == 0; });
        ++m_readers;
    }
}

void SharedAccessLock::Unlock(uint64_t threadId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_owner != 0 && m_owner == threadId) {
        if (--m_ownerDepth == 0) {
            m_owner = 0;
            m_changed.notify_all();
        }
    } else if (m_readers > 0) {
        if (--m_readers == 0)
            m_changed.notify_all();
    }
}

void SharedAccessLock::Lock(bool exclusive)
{
    Lock(CurrentThreadId(), exclusive);
}

void SharedAccessLock::Unlock()
{
    Unlock(CurrentThreadId());
}

bool SharedAccessLock::IsHeldExclusivelyBy(uint64_t threadId) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_owner != 0 && m_owner == threadId;
}
