#include "engine/SingleLock.h"

namespace Orvo {

SingleLock::SingleLock(SyncObject* object, bool initialLock) : m_object(object)
{
    if (initialLock)
        Lock();
}

SingleLock::~SingleLock()
{
    Unlock();
}

bool SingleLock::Lock(uint32_t timeoutMs)
{
    if (m_locked)
        return true;
    if (!m_object)
        return false;
    m_locked = m_object->Lock(timeoutMs);
    return m_locked;
}

bool SingleLock::Unlock()
{
    if (!m_locked)
        return false;
    m_locked = false;
    return m_object->Unlock();
}

} // namespace Orvo
