#pragma once
// The main thread's share of the work: calls marshalled to it (VelmarWorker flag 1, PostMainThreadWork)
// run when it calls MainThreadUpdate.
#include <cstdint>

// Runs the main-thread work queued so far: no more than was queued when it began, so work that queues
// more work cannot keep it busy forever. Also runs a garbage collection marked pending elsewhere and
// keeps the elapsed-time clock.
void MainThreadUpdate();

// Waits up to `timeoutMs` for the 'main-thread work posted' event; true when it was set (work is waiting).
bool WaitForMainThreadWork(unsigned timeoutMs);

// On the main thread: collects the string cache's garbage at once. Elsewhere: only marks the collection
// pending for the next MainThreadUpdate.
void CollectGarbageOnMainThread();

// Milliseconds between the last two MainThreadUpdate calls, and the time of the last one
// (GetUnixTimeMs); 0 before the first.
uint64_t MainThreadElapsedMs();
uint64_t MainThreadLastUpdateMs();
