#pragma once
// The engine's clocks. All are monotonic: they never jump with the wall clock.
#include <cstdint>

namespace Orvo {

class Time
{
public:
    // Milliseconds since an arbitrary start; the 32-bit form wraps after about 49.7 days, as a
    // Windows tick count does (compare with subtraction, not "<").
    static uint32_t GetMilliseconds();
    static uint64_t GetMilliseconds64();
    static uint64_t GetMicroseconds();
    // Seconds since the clock was first read in this process.
    static double GetSeconds();
    static void Sleep(uint32_t ms);
};

}  // namespace Orvo
