#pragma once
// The intrusive, thread-safe reference count that shared engine objects derive from. A new object
// starts with no reference: the first AddRef (typically an AutoReference taking it) makes 1, and
// the Release that brings the count back to 0 deletes it.
#include "engine/ProtectedLong.h"

namespace Orvo {

class ReferenceCount
{
public:
    long AddRef() const;
    // Returns the count left. Releasing an object that holds no reference does nothing (returns
    // 0) instead of deleting it a second time.
    long Release() const;
    long GetRefCount() const { return refCount_.Get(); }

protected:
    ReferenceCount() = default;
    // A copy is a new object with its own (empty) count.
    ReferenceCount(const ReferenceCount&) {}
    ReferenceCount& operator=(const ReferenceCount&) { return *this; }
    virtual ~ReferenceCount();

private:
    mutable ProtectedLong refCount_;
};

}  // namespace Orvo
