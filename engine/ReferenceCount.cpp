#include "engine/ReferenceCount.h"

namespace Orvo {

ReferenceCount::~ReferenceCount() = default;

long ReferenceCount::AddRef() const { return refCount_.Increment(); }

long ReferenceCount::Release() const
{
    long current = refCount_.Get();
    for (;;)
    {
        if (current <= 0) return 0;
        long found = refCount_.CompareExchange(current, current - 1);
        if (found == current) break;
        current = found;
    }
    if (current == 1)
    {
        delete this;
        return 0;
    }
    return current - 1;
}

}  // namespace Orvo
