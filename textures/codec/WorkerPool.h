#pragma once
// Process-wide worker threads for the codec library's threaded compression. Threads are started on
// first need, at most kMaxPoolThreads, and kept for later calls; at process exit they finish the work
// already handed to them and are joined.
#include <cstdint>

constexpr uint32_t kMaxPoolThreads = 64;

// One task: index is 0..count-1 of its batch. A task must not throw.
using CodecTaskFn = void (*)(void* context, uint32_t index);

// Runs fn(context, i) once for every i in 0..count-1 and returns when all have ended. The calling
// thread takes tasks of its own batch too, so a batch always completes even when no thread can be
// started. Every task runs in the caller's floating-point environment (rounding, flush-to-zero,
// exception mask), whichever thread takes it, and leaves that thread's own environment as it was.
// Safe to call from several threads at once.
void RunCodecTasks(uint32_t count, CodecTaskFn fn, void* context);

template <typename Task>
void RunCodecTasks(uint32_t count, Task& task)
{
    RunCodecTasks(
        count, [](void* c, uint32_t i) { (*static_cast<Task*>(c))(i); }, &task);
}

// Threads the pool holds now (they stay until exit).
uint32_t CodecPoolThreadCount();
