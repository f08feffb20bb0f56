#include "core/SharedAccessLock.h"

#include "core/CoreThreads.h"

void SharedAccessLock::Lock(uint64_t threadId, bool exclusive)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (owner_ != 0 && owner_ == threadId)
    {
        ++ownerDepth_;
        return;
    }
    if (exclusive)
    {
        changed_.wait(guard, [this] { return owner_ == 0 && readers_ == 0; });
        owner_ = threadId;
        ownerDepth_ = 1;
    }
    else
    {
        changed_.wait(guard, [this] { return owner_ == 0; });
        ++readers_;
    }
}

void SharedAccessLock::Unlock(uint64_t threadId)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (owner_ != 0 && owner_ == threadId)
    {
        if (--ownerDepth_ == 0)
        {
            owner_ = 0;
            changed_.notify_all();
        }
    }
    else if (readers_ > 0)
    {
        if (--readers_ == 0) changed_.notify_all();
    }
}

void SharedAccessLock::Lock(bool exclusive) { Lock(CurrentThreadId(), exclusive); }

void SharedAccessLock::Unlock() { Unlock(CurrentThreadId()); }

bool SharedAccessLock::IsHeldExclusivelyBy(uint64_t threadId) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return owner_ != 0 && owner_ == threadId;
}
