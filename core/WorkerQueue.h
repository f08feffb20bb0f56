#pragma once
// Inside the core only: the main-thread queue that VelmarWorker keeps and MainThreadUpdate drains.
#include <cstddef>
#include <cstdint>

class TCXCallback;

namespace WorkerQueue {

// Queues a call for the main thread (the queue holds its own reference on the callback) and sets the
// 'main-thread work posted' event.
void PostToMainThread(TCXCallback* callback, void* argument, uintptr_t id);
// Calls queued for the main thread now.
size_t MainThreadBacklog();
// Runs the oldest main-thread call; false when none was queued.
bool RunOneMainThreadCall();
// Clears the posted event when no main-thread call is queued any more.
void ClearMainThreadPostIfIdle();
// Sets the posted event without queuing anything: wakes a main thread that waits for some other event
// through WaitForMainThreadPost.
void WakeMainThread();
// Waits up to `timeoutMs` for the posted event (or queued work) and clears the event.
bool WaitForMainThreadPost(unsigned timeoutMs);

}  // namespace WorkerQueue
