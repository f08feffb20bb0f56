#pragma once
// The common base of the engine's waitable objects, so that SingleLock can hold any of them.
#include <cstdint>

namespace Orvo {

class SyncObject
{
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    virtual ~SyncObject();
    // Waits up to `timeoutMs` to acquire (or, for an event, to see it signalled). True on success.
    virtual bool Lock(uint32_t timeoutMs = kInfinite) = 0;
    // Releases what Lock acquired. False when the caller held nothing to release.
    virtual bool Unlock() = 0;

protected:
    SyncObject() = default;
    SyncObject(const SyncObject&) = delete;
    SyncObject& operator=(const SyncObject&) = delete;
};

}  // namespace Orvo
