#pragma once
// A lock that many threads can hold shared (readers) or one thread exclusively (a writer). The
// exclusive owner may lock again, shared or exclusive, without blocking itself; each Lock needs an Unlock.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class SharedAccessLock
{
public:
    // `threadId` names the holder (CurrentThreadId()).
    void Lock(uint64_t threadId, bool exclusive);
    void Unlock(uint64_t threadId);
    // The same for the calling thread.
    void Lock(bool exclusive);
    void Unlock();

    bool IsHeldExclusivelyBy(uint64_t threadId) const;

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    uint64_t owner_ = 0;  // exclusive holder, 0 when none
    unsigned ownerDepth_ = 0;
    unsigned readers_ = 0;
};
