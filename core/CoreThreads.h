#pragma once
// The main thread: the one that runs start-up, the command and the main-thread work queue.
#include <cstdint>

// Records the calling thread as the main thread and returns its id.
uint64_t SetMainThread();
// True on the recorded main thread; false everywhere while none is recorded.
bool IsMainThread();
// Whether any thread has been recorded as the main thread.
bool HasMainThread();
// A process-unique id of the calling thread (never 0).
uint64_t CurrentThreadId();
