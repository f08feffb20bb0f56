#pragma once
// A lock that many threads can hold shared (readers) or one thread exclusively (a writer). The
// exclusive owner may lock again, shared or exclusive, without blocking itself; each Lock needs an Unlock.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class SharedAccessLock {
public:
    // `threadId` names the holder (CurrentThreadId()).
    void Lock(uint64_t threadId, bool exclusive);
    void Unlock(uint64_t threadId);
    // The same for the calling thread.
    void Lock(bool exclusive);
    void Unlock();

    bool IsHeldExclusivelyBy(uint64_t threadId) const;

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    uint64_t m_owner = 0;     // exclusive holder, 0 when none
    unsigned m_ownerDepth = 0;
    unsigned m_readers = 0;
};
