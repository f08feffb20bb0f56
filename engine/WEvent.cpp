#include "engine/WEvent.h"

#include <chrono>

namespace Orvo {

WEvent::WEvent(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void WEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    if (manualReset_)
        changed_.notify_all();
    else
        changed_.notify_one();
}

void WEvent::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

bool WEvent::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    auto isSet = [this] { return set_; };
    if (timeoutMs == kInfinite)
        changed_.wait(lock, isSet);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isSet))
        return false;
    if (!manualReset_) set_ = false;
    return true;
}

bool WEvent::IsSet() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

}  // namespace Orvo
