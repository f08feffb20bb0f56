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

std::atomic<int> g_exitCode{0};
volatile sig_atomic_t g_crashing = 0;
std::mutex g_mutex;
bool g_installed = false;
struct sigaction g_previous[std::size(kFaults)];
std::terminate_handler g_previousTerminate = nullptr;
alignas(16) char g_altStack[kAltStackSize];

void OnAlarm(int) { _exit(g_exitCode.load()); }

void OnFault(int)
{
    // A second fault (inside the flush below, say) ends at once.
    if (g_crashing) _exit(g_exitCode.load());
    g_crashing = 1;
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
    _exit(g_exitCode.load());
}

void OnTerminate() { ExitProcess(g_exitCode.load()); }

}  // namespace

bool InstallCrashExit(int exitCode)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_exitCode = exitCode;
    if (g_installed) return true;
    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    if (sigaltstack(&stack, nullptr) != 0) return false;
    struct sigaction sa
    {};
    sa.sa_handler = OnFault;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_ONSTACK | SA_NODEFER;
    for (size_t i = 0; i < std::size(kFaults); ++i) sigaction(kFaults[i], &sa, &g_previous[i]);
    g_previousTerminate = std::set_terminate(OnTerminate);
    g_installed = true;
    return true;
}

void RemoveCrashExit()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_installed) return;
    for (size_t i = 0; i < std::size(kFaults); ++i) sigaction(kFaults[i], &g_previous[i], nullptr);
    std::set_terminate(g_previousTerminate);
    g_installed = false;
}

}  // namespace Platform
