#include "platform/ConsoleControl.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/Interruption.h"

namespace Platform {
namespace {

constexpr unsigned char kStopByte = 0;

// What the installed handler works with. Process-wide because a signal handler can reach nothing else.
struct ConsoleState
{
    // The self-pipe: the signal handler writes the signal number, the dispatch thread reads it.
    int pipe[2] = {-1, -1};
    std::atomic<int> writeFd{-1};  // what the signal handler writes to (lock-free, so signal-safe)
    // How many signals the handler has taken, and how many of them the callback has decided (kept the process, or
    // a full pipe dropped them): a thread that must not go on before the decision waits on `decided` (a futex,
    // which a signal handler may wait on too).
    std::atomic<uint32_t> taken{0};
    alignas(std::atomic_ref<uint32_t>::required_alignment) uint32_t decided = 0;
    std::atomic<long> dispatcher{0};  // the dispatch thread's id
    std::mutex mutex;                 // guards install/remove and the state below
    std::thread thread;
    ConsoleHandler handler;
    std::mutex handlerMutex;  // guards the handler against replacement while it runs
    struct sigaction previous[NSIG];
    bool taking[NSIG] = {};  // the signals whose disposition is this handler (previous[] gives them back)
    bool installed = false;
};
ConsoleState g_console;

// Whether the default action of `sig` ends the process and it is this handler's to take: not the faults
// (CrashExit.h), nor SIGKILL and SIGSTOP, which no handler can take.
bool EndsByDefault(int sig)
{
    switch (sig)
    {
    case SIGHUP:
    case SIGINT:
    case SIGQUIT:
    case SIGTERM:
    case SIGPIPE:
    case SIGUSR1:
    case SIGUSR2:
    case SIGALRM:
    case SIGVTALRM:
    case SIGPROF:
    case SIGXCPU:
    case SIGXFSZ:
    case SIGTRAP:
    case SIGABRT:
    case SIGSYS:
    case SIGIO:
#ifdef SIGPWR
    case SIGPWR:
#endif
#ifdef SIGSTKFLT
    case SIGSTKFLT:
#endif
        return true;
    default: return sig >= SIGRTMIN && sig <= SIGRTMAX;
    }
}

std::atomic_ref<uint32_t> Decided() { return std::atomic_ref<uint32_t>(g_console.decided); }

// Waits until the callback has decided the signal numbered `ticket` and all before it. Only system calls: a signal
// handler waits here.
void AwaitDecided(uint32_t ticket)
{
    for (;;)
    {
        const uint32_t now = Decided().load();
        if (static_cast<int32_t>(now - ticket) >= 0) return;
        ::syscall(SYS_futex, &g_console.decided, FUTEX_WAIT_PRIVATE, now, nullptr, nullptr, 0);
    }
}

void Decide()
{
    Decided().fetch_add(1);
    ::syscall(SYS_futex, &g_console.decided, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// The system's signal for a write of this very thread (sent as by a process, from the process itself): past the
// file-size limit (SIGXFSZ), to a reader that went away (SIGPIPE).
bool RaisedByOwnWrite(const siginfo_t* info) { return info->si_code == SI_USER && info->si_pid == ::getpid(); }

void TakeDefaultAction(int sig)
{
    struct sigaction fallBack
    {};
    fallBack.sa_handler = SIG_DFL;
    sigemptyset(&fallBack.sa_mask);
    ::sigaction(sig, &fallBack, nullptr);
}

// Ends the process by `sig` with its default action as the handler returns (the signal is held back while its
// handler runs).
void EndAtOnce(int sig)
{
    TakeDefaultAction(sig);
    ::raise(sig);
}

void OnSignal(int sig, siginfo_t* info, void*)
{
    const int saved = errno;
    const bool bySystem = info->si_code > 0;  // SI_KERNEL, POLL_*, TRAP_*, SYS_SECCOMP: not sent by a process
    if ((sig == SIGXFSZ && RaisedByOwnWrite(info)) || (sig == SIGIO && bySystem))
    {
        errno = saved;
        return;
    }
    if ((sig == SIGABRT && info->si_code <= 0 && info->si_pid == ::getpid()) ||
        ((sig == SIGTRAP || sig == SIGSYS) && bySystem))
    {
        EndAtOnce(sig);
        errno = saved;
        return;
    }
    const uint32_t ticket = g_console.taken.fetch_add(1) + 1;
    const unsigned char byte = static_cast<unsigned char>(sig);
    const int fd = g_console.writeFd.load();
    if (fd < 0 || ::write(fd, &byte, 1) != 1)
        Decide();  // a full pipe already holds enough pending events
    else if (sig == SIGPIPE && RaisedByOwnWrite(info))
        AwaitDecided(ticket);
    errno = saved;
}

int EventFor(int sig)
{
    switch (sig)
    {
    case SIGINT: return kConsoleCtrlC;
    case SIGQUIT: return kConsoleCtrlBreak;
    case SIGHUP: return kConsoleClose;
    default: return kConsoleShutdown;
    }
}

// Ends the process by `sig`, once an output being written in place is finished and the process's temporaries are
// gone: with its default action, as the signal would have without a handler.
[[noreturn]] void EndBySignal(int sig)
{
    const std::string left = PrepareToEnd();
    if (!left.empty() && ::write(STDERR_FILENO, left.data(), left.size()) < 0)
    {}
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    EndAtOnce(sig);
    _exit(128 + sig);
}

void Dispatch(int readFd)
{
    g_console.dispatcher = ::syscall(SYS_gettid);
    // What a handler writes (a last word on standard error) fails when the reader has gone, rather than ending the
    // process by SIGPIPE before the handler has done its work or ended the process by the signal it handles.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    for (;;)
    {
        unsigned char byte = 0;
        ssize_t n = read(readFd, &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        if (byte == kStopByte)
        {
            // A signal taken before the handlers were removed is still on its way: it is decided first.
            if (g_console.taken.load() == Decided().load()) return;
            continue;
        }
        bool handled = false;
        {
            std::lock_guard<std::mutex> lock(g_console.handlerMutex);
            try
            {
                handled = g_console.handler ? g_console.handler(EventFor(byte), byte) : false;
            }
            catch (...)
            {
                handled = false;  // a failing handler leaves the signal its usual effect
            }
        }
        if (!handled) EndBySignal(byte);
        Decide();
    }
}

}  // namespace

bool InstallConsoleHandler(ConsoleHandler handler, bool leaveIgnored)
{
    std::lock_guard<std::mutex> lock(g_console.mutex);
    if (g_console.installed)
    {
        std::lock_guard<std::mutex> hl(g_console.handlerMutex);
        g_console.handler = std::move(handler);
        return true;
    }
    if (pipe2(g_console.pipe, O_CLOEXEC) != 0) return false;
    fcntl(g_console.pipe[1], F_SETFL, fcntl(g_console.pipe[1], F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> hl(g_console.handlerMutex);
        g_console.handler = std::move(handler);
    }
    try
    {
        g_console.thread = std::thread(Dispatch, g_console.pipe[0]);
    }
    catch (...)
    {
        close(g_console.pipe[0]);
        close(g_console.pipe[1]);
        g_console.pipe[0] = g_console.pipe[1] = -1;
        return false;
    }
    g_console.writeFd = g_console.pipe[1];
    struct sigaction sa
    {};
    sa.sa_sigaction = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    sigset_t set;
    sigemptyset(&set);
    for (int sig = 1; sig < NSIG; ++sig)
    {
        struct sigaction& before = g_console.previous[sig];
        if (!EndsByDefault(sig) || sigaction(sig, nullptr, &before) != 0) continue;
        // A handler of the program's own stays; so does a signal ignored as the program started (where asked),
        // and SIGPIPE ignored: its writes then fail with EPIPE, which the program expects.
        const bool simple = (before.sa_flags & SA_SIGINFO) == 0;
        const bool ignored = simple && before.sa_handler == SIG_IGN;
        if ((!ignored && !(simple && before.sa_handler == SIG_DFL)) || (ignored && (leaveIgnored || sig == SIGPIPE)))
            continue;
        if (sigaction(sig, &sa, nullptr) != 0) continue;
        g_console.taking[sig] = true;
        sigaddset(&set, sig);
    }
    // A thread that blocked these signals would never see them; make sure the caller's does not.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    g_console.installed = true;
    return true;
}

void RemoveConsoleHandler()
{
    std::lock_guard<std::mutex> lock(g_console.mutex);
    if (!g_console.installed) return;
    for (int sig = 1; sig < NSIG; ++sig)
        if (std::exchange(g_console.taking[sig], false)) sigaction(sig, &g_console.previous[sig], nullptr);
    // The write end is non-blocking: a full pipe is drained by the reader, and the stop then finds room.
    const unsigned char stop = kStopByte;
    while (write(g_console.pipe[1], &stop, 1) != 1 && (errno == EAGAIN || errno == EINTR))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (g_console.thread.joinable()) g_console.thread.join();
    g_console.writeFd = -1;
    close(g_console.pipe[1]);
    g_console.pipe[1] = -1;
    close(g_console.pipe[0]);
    g_console.pipe[0] = -1;
    // Nothing is left to decide: a handler that began before its signal was given back and took it only now has
    // no callback to go to.
    Decided().store(g_console.taken.load());
    g_console.dispatcher = 0;
    {
        std::lock_guard<std::mutex> hl(g_console.handlerMutex);
        g_console.handler = nullptr;
    }
    g_console.installed = false;
}

bool ConsoleHandlerInstalled()
{
    std::lock_guard<std::mutex> lock(g_console.mutex);
    return g_console.installed;
}

void AwaitConsoleVerdicts()
{
    if (g_console.dispatcher.load() == ::syscall(SYS_gettid)) return;
    AwaitDecided(g_console.taken.load());
}

}  // namespace Platform
