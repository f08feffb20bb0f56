#include "core/CoreTime.h"

#include <chrono>
#include <thread>

uint64_t GetUnixTimeMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

void GetUnixTimeMs(uint64_t* out)
{
    if (out) *out = GetUnixTimeMs();
}

void SleepMs(unsigned milliseconds)
{
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
