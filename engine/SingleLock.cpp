#include "engine/SingleLock.h"

namespace Orvo {

SingleLock::SingleLock(SyncObject* object, bool initialLock) : object_(object)
{
    if (initialLock) Lock();
}

SingleLock::~SingleLock() { Unlock(); }

bool SingleLock::Lock(uint32_t timeoutMs)
{
    if (locked_) return true;
    if (!object_) return false;
    locked_ = object_->Lock(timeoutMs);
    return locked_;
}

bool SingleLock::Unlock()
{
    if (!locked_) return false;
    locked_ = false;
    return object_->Unlock();
}

}  // namespace Orvo
