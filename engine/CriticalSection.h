#pragma once
// A recursive lock for the threads of one process: the owning thread may lock it again and must
// unlock it as often. Unlocking from a thread that does not own it is refused, not undefined.
#include <atomic>
#include <mutex>
#include <thread>

#include "engine/SyncObject.h"

namespace Orvo {

class CriticalSection : public SyncObject
{
public:
    CriticalSection() = default;
    ~CriticalSection() override = default;

    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override;

    void Enter() { Lock(kInfinite); }
    void Leave() { Unlock(); }
    bool TryEnter() { return Lock(0); }

    bool IsOwnedByCurrentThread() const;
    int GetRecursionCount() const;  // of the owning thread; 0 when free

private:
    std::recursive_timed_mutex mutex_;
    // Written only by the owning thread while it holds mutex_; another thread can never read
    // its own id here, which is all the ownership test needs.
    std::atomic<std::thread::id> owner_{};
    std::atomic<int> depth_{0};
};

}  // namespace Orvo
