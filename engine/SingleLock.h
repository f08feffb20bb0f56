#pragma once
// Holds a SyncObject for the life of a scope: locked on construction (unless told otherwise) and
// unlocked on destruction if still held.
#include "engine/SyncObject.h"

namespace Orvo {

class SingleLock
{
public:
    explicit SingleLock(SyncObject* object, bool initialLock = true);
    explicit SingleLock(SyncObject& object, bool initialLock = true) : SingleLock(&object, initialLock) {}
    ~SingleLock();
    SingleLock(const SingleLock&) = delete;
    SingleLock& operator=(const SingleLock&) = delete;

    bool Lock(uint32_t timeoutMs = SyncObject::kInfinite);  // true at once when already held
    bool Unlock();                                          // false when not held
    bool IsLocked() const { return locked_; }

private:
    SyncObject* object_;
    bool locked_ = false;
};

}  // namespace Orvo
