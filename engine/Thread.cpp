#include "engine/Thread.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <system_error>

namespace Orvo {

Thread::Thread() = default;

Thread::~Thread()
{
    Join(kInfinite);
}

bool Thread::Start()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_running || m_thread.joinable())
        return false;
    m_running = true;
    m_started = false;
    m_exitCode = 0;
    try {
        m_thread = std::thread(&Thread::Entry, this);
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    // Wait until the new thread has recorded its id, so GetId is right as soon as Start returns.
    m_finished.wait(lock, [this] { return m_started; });
    return true;
}

void Thread::Entry()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_id = CurrentId();
        m_started = true;
    }
    m_finished.notify_all();
    if (!m_name.empty())
        pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
    uint32_t code;
    try {
        code = Run();
    } catch (...) {
        // An exception must not take the whole process down through std::terminate.
        code = kExitByException;
    }
    m_exitCode = code;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_finished.notify_all();
}

bool Thread::Join(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable())
        return !m_running;
    if (m_thread.get_id() == std::this_thread::get_id())
        return false;
    auto done = [this] { return !m_running; };
    if (timeoutMs == kInfinite)
        m_finished.wait(lock, done);
    else if (!m_finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), done))
        return false;
    std::thread finished = std::move(m_thread);
    lock.unlock();
    finished.join(); // Run has returned; this only waits for the last few instructions of Entry
    return true;
}

bool Thread::IsRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

uint32_t Thread::CurrentId()
{
    return static_cast<uint32_t>(gettid());
}

void Thread::Sleep(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace Orvo
