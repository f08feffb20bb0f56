#pragma once
// An event: manual reset (stays set, releases every waiter, until Reset) or auto reset (releases
// one waiter and clears itself).
#include <condition_variable>
#include <mutex>

#include "engine/SyncObject.h"

namespace Orvo {

class WEvent : public SyncObject
{
public:
    explicit WEvent(bool manualReset = false, bool initiallySet = false);
    ~WEvent() override = default;

    void Set();
    void Reset();
    // True when the event was (or became) set within `timeoutMs`; an auto-reset event is then
    // cleared again.
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsSet() const;
    bool IsManualReset() const { return manualReset_; }

    bool Lock(uint32_t timeoutMs = kInfinite) override { return Wait(timeoutMs); }
    bool Unlock() override { return true; }  // nothing is held after a wait

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    const bool manualReset_;
    bool set_;
};

}  // namespace Orvo
