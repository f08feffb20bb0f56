#pragma once
// A thread of the engine: a subclass supplies Run, the owner calls Start and later Join. The
// subclass must Join (or make Run end and Join) before its own destructor finishes, because Run
// uses its members; the base destructor joins only as a last resort.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace Orvo {

class Thread {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;
    // The exit code of a thread whose Run ended by an exception.
    static constexpr uint32_t kExitByException = 0xFFFFFFFFu;

    Thread();
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts Run on a new thread. False while a previous run has not been joined, or when the
    // system cannot create the thread.
    bool Start();
    // Waits up to `timeoutMs` for Run to return; true once it has and the thread is joined.
    // A thread cannot join itself (false).
    bool Join(uint32_t timeoutMs = kInfinite);
    bool IsRunning() const;           // started and Run has not yet returned
    uint32_t GetExitCode() const { return m_exitCode; }
    uint32_t GetId() const { return m_id; } // the system's thread id; 0 before the first start
    // The name the system shows for the thread (cut to 15 characters); takes effect at Start.
    void SetName(const std::string& name) { m_name = name; }

    static uint32_t CurrentId();
    static void Sleep(uint32_t ms);

protected:
    virtual uint32_t Run() = 0;

private:
    void Entry();

    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_finished; // also signals the start
    bool m_running = false;
    bool m_started = false;
    std::atomic<uint32_t> m_id{0};
    std::atomic<uint32_t> m_exitCode{0};
    std::string m_name;
};

} // namespace Orvo
