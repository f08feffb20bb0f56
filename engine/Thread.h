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

class Thread
{
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
    bool IsRunning() const;  // started and Run has not yet returned
    uint32_t GetExitCode() const { return exitCode_; }
    uint32_t GetId() const { return id_; }  // the system's thread id; 0 before the first start
    // The name the system shows for the thread (cut to 15 characters); takes effect at Start.
    void SetName(const std::string& name) { name_ = name; }

    static uint32_t CurrentId();
    static void Sleep(uint32_t ms);

protected:
    virtual uint32_t Run() = 0;

private:
    void Entry();

    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;  // also signals the start
    bool running_ = false;
    bool started_ = false;
    std::atomic<uint32_t> id_{0};
    std::atomic<uint32_t> exitCode_{0};
    std::string name_;
};

}  // namespace Orvo
