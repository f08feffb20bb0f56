#pragma once
// A counting semaphore: Lock takes one unit (waiting while there is none), Release gives units
// back, never beyond the maximum.
#include <condition_variable>
#include <mutex>

#include "engine/SyncObject.h"

namespace Orvo {

class Semaphore : public SyncObject
{
public:
    // The initial count is kept within [0, maxCount]; maxCount is at least 1.
    explicit Semaphore(long initialCount = 0, long maxCount = 0x7FFFFFFF);
    ~Semaphore() override = default;

    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override { return Release(1); }
    // Adds `count` units. Refused (and nothing changes) when count < 1 or the maximum would be
    // passed. `previous` receives the count before.
    bool Release(long count = 1, long* previous = nullptr);
    long GetCount() const;
    long GetMaxCount() const { return max_; }

private:
    mutable std::mutex mutex_;
    std::condition_variable available_;
    long count_;
    const long max_;
};

}  // namespace Orvo
