#include "platform/ConsoleControl.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Interruption.h"
#include "platform/Process.h"

namespace Platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr unsigned char kStopByte = 0;

// What the installed handler works with. Process-wide because a signal handler can reach nothing else.
struct ConsoleState
{
    // The self-pipe: the signal handler writes the signal number, the dispatch thread reads it.
    int pipe[2] = {-1, -1};
    std::atomic<int> writeFd{-1};  // what the signal handler writes to (lock-free, so signal-safe)
    std::mutex mutex;              // guards install/remove and the state below
    std::thread thread;
    ConsoleHandler handler;
    std::mutex handlerMutex;  // guards the handler against replacement while it runs
    struct sigaction previous[std::size(kSignals)];
    bool installed = false;
};
ConsoleState g_console;

void OnSignal(int sig)
{
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(sig);
    int fd = g_console.writeFd.load();
    if (fd >= 0)
    {
        ssize_t r = write(fd, &byte, 1);
        (void)r;  // a full pipe already holds enough pending events
    }
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

void Dispatch(int readFd)
{
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
        if (n <= 0 || byte == kStopByte) return;
        bool handled = false;
        {
            std::lock_guard<std::mutex> lock(g_console.handlerMutex);
            try
            {
                handled = g_console.handler ? g_console.handler(EventFor(byte)) : false;
            }
            catch (...)
            {
                handled = false;  // a failing handler leaves the signal its usual effect
            }
        }
        if (!handled)
        {
            // An output being written in place is finished and the process's temporaries go before it ends.
            const std::string left = PrepareToEnd();
            if (!left.empty() && ::write(STDERR_FILENO, left.data(), left.size()) < 0)
            {}
            ExitProcess(128 + byte);
        }
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
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
    {
        sigaction(kSignals[i], nullptr, &g_console.previous[i]);
        const bool ignored =
            (g_console.previous[i].sa_flags & SA_SIGINFO) == 0 && g_console.previous[i].sa_handler == SIG_IGN;
        if (!(leaveIgnored && ignored)) sigaction(kSignals[i], &sa, nullptr);
    }
    // A thread that blocked these signals would never see them; make sure the caller's does not.
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    g_console.installed = true;
    return true;
}

void RemoveConsoleHandler()
{
    std::lock_guard<std::mutex> lock(g_console.mutex);
    if (!g_console.installed) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_console.previous[i], nullptr);
    unsigned char stop = kStopByte;
    // The write end is non-blocking; if the pipe is full the reader will drain it and then see EOF.
    if (write(g_console.pipe[1], &stop, 1) != 1)
    {}
    g_console.writeFd = -1;
    close(g_console.pipe[1]);
    g_console.pipe[1] = -1;
    if (g_console.thread.joinable()) g_console.thread.join();
    close(g_console.pipe[0]);
    g_console.pipe[0] = -1;
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

}  // namespace Platform
