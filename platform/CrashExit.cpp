#include "platform/CrashExit.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

#include "platform/Process.h"

namespace Platform {
namespace {

constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t kAltStackSize = 64 * 1024;

// What the installed handlers work with. Process-wide because a signal handler can reach nothing else.
struct CrashState
{
    std::atomic<int> exitCode{0};
    volatile sig_atomic_t crashing = 0;
    std::mutex mutex;  // guards install/remove
    bool installed = false;
    struct sigaction previous[std::size(kFaults)];
    std::terminate_handler previousTerminate = nullptr;
    alignas(16) char altStack[kAltStackSize];
};
CrashState g_crash;

void OnAlarm(int) { _exit(g_crash.exitCode.load()); }

void OnFault(int)
{
    // A second fault (inside the flush below, say) ends at once.
    if (g_crash.crashing) _exit(g_crash.exitCode.load());
    g_crash.crashing = 1;
    // Flushing is not safe in a signal handler: if the fault struck inside stdio with its lock
    // held, the flush would wait for ever. The alarm ends the process regardless after 2 s.
    struct sigaction sa
    {};
    sa.sa_handler = OnAlarm;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
    alarm(2);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(g_crash.exitCode.load());
}

void OnTerminate() { ExitProcess(g_crash.exitCode.load()); }

}  // namespace

bool InstallCrashExit(int exitCode)
{
    std::lock_guard<std::mutex> lock(g_crash.mutex);
    g_crash.exitCode = exitCode;
    if (g_crash.installed) return true;
    stack_t stack{};
    stack.ss_sp = g_crash.altStack;
    stack.ss_size = sizeof g_crash.altStack;
    if (sigaltstack(&stack, nullptr) != 0) return false;
    struct sigaction sa
    {};
    sa.sa_handler = OnFault;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_ONSTACK | SA_NODEFER;
    for (size_t i = 0; i < std::size(kFaults); ++i) sigaction(kFaults[i], &sa, &g_crash.previous[i]);
    g_crash.previousTerminate = std::set_terminate(OnTerminate);
    g_crash.installed = true;
    return true;
}

void RemoveCrashExit()
{
    std::lock_guard<std::mutex> lock(g_crash.mutex);
    if (!g_crash.installed) return;
    for (size_t i = 0; i < std::size(kFaults); ++i) sigaction(kFaults[i], &g_crash.previous[i], nullptr);
    std::set_terminate(g_crash.previousTerminate);
    g_crash.installed = false;
}

}  // namespace Platform
