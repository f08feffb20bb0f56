#pragma once
// The process-wide switch that tests set and the core's error reports read.
#include <atomic>

// While set, LogErrorAndThrow throws VelmarEx after logging. 0 at start.
extern std::atomic<bool> ThrowOnErrorFlag;
