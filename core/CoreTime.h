#pragma once
#include <cstdint>

// Milliseconds since 1970-01-01 UTC.
uint64_t GetUnixTimeMs();
void GetUnixTimeMs(uint64_t* out);

// Suspends the calling thread for `milliseconds` (0 yields).
void SleepMs(unsigned milliseconds);
