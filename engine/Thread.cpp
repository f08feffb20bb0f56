#include "engine/Thread.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <system_error>

namespace Orvo {

Thread::Thread() = default;

Thread::~Thread() { Join(kInfinite); }

bool Thread::Start()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (running_ || thread_.joinable()) return false;
    running_ = true;
    started_ = false;
    exitCode_ = 0;
    try
    {
        thread_ = std::thread(&Thread::Entry, this);
    }
    catch (const std::system_error&)
    {
        running_ = false;
        return false;
    }
    // Wait until the new thread has recorded its id, so GetId is right as soon as Start returns.
    finished_.wait(lock, [this] { return started_; });
    return true;
}

void Thread::Entry()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id_ = CurrentId();
        started_ = true;
    }
    finished_.notify_all();
    if (!name_.empty()) pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    uint32_t code;
    try
    {
        code = Run();
    }
    catch (...)
    {
        // An exception must not take the whole process down through std::terminate.
        code = kExitByException;
    }
    exitCode_ = code;
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    finished_.notify_all();
}

bool Thread::Join(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!thread_.joinable()) return !running_;
    if (thread_.get_id() == std::this_thread::get_id()) return false;
    auto done = [this] { return !running_; };
    if (timeoutMs == kInfinite)
        finished_.wait(lock, done);
    else if (!finished_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done))
        return false;
    std::thread finished = std::move(thread_);
    lock.unlock();
    finished.join();  // Run has returned; this only waits for the last few instructions of Entry
    return true;
}

bool Thread::IsRunning() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

uint32_t Thread::CurrentId() { return static_cast<uint32_t>(gettid()); }

void Thread::Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace Orvo
