#include "engine/Time.h"

#include <chrono>
#include <thread>

namespace Orvo {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point Origin()
{
    static const Clock::time_point origin = Clock::now();
    return origin;
}

// Read the origin during static initialisation so that GetSeconds counts from the start of the
// process rather than from its own first call.
[[maybe_unused]] const Clock::time_point g_originAtStart = Origin();

}  // namespace

uint64_t Time::GetMilliseconds64()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

uint32_t Time::GetMilliseconds() { return static_cast<uint32_t>(GetMilliseconds64()); }

uint64_t Time::GetMicroseconds()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
}

double Time::GetSeconds() { return std::chrono::duration<double>(Clock::now() - Origin()).count(); }

void Time::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace Orvo
