#include "platform/ConsoleControl.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/Process.h"

namespace Platform {
namespace {

constexpr int kSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
constexpr unsigned char kStopByte = 0;

// The self-pipe: the signal handler writes the signal number, the dispatch thread reads it.
int g_pipe[2] = {-1, -1};
std::atomic<int> g_writeFd{-1};  // what the signal handler writes to (lock-free, so signal-safe)
std::mutex g_mutex;              // guards install/remove and the state below
std::thread g_thread;
ConsoleHandler g_handler;
std::mutex g_handlerMutex;  // guards g_handler against replacement while it runs
struct sigaction g_previous[sizeof(kSignals) / sizeof(kSignals[0])];
bool g_installed = false;

void OnSignal(int sig)
{
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(sig);
    int fd = g_writeFd.load();
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
    for (;;)
    {
        unsigned char byte = 0;
        ssize_t n = read(readFd, &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || byte == kStopByte) return;
        bool handled = false;
        {
            std::lock_guard<std::mutex> lock(g_handlerMutex);
            try
            {
                handled = g_handler ? g_handler(EventFor(byte)) : false;
            }
            catch (...)
            {
                handled = false;  // a failing handler leaves the signal its usual effect
            }
        }
        if (!handled) ExitProcess(128 + byte);
    }
}

}  // namespace

bool InstallConsoleHandler(ConsoleHandler handler)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_installed)
    {
        std::lock_guard<std::mutex> hl(g_handlerMutex);
        g_handler = std::move(handler);
        return true;
    }
    if (pipe2(g_pipe, O_CLOEXEC) != 0) return false;
    fcntl(g_pipe[1], F_SETFL, fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> hl(g_handlerMutex);
        g_handler = std::move(handler);
    }
    try
    {
        g_thread = std::thread(Dispatch, g_pipe[0]);
    }
    catch (...)
    {
        close(g_pipe[0]);
        close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
        return false;
    }
    g_writeFd = g_pipe[1];
    struct sigaction sa
    {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &g_previous[i]);
    // A thread that blocked these signals would never see them; make sure the caller's does not.
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    g_installed = true;
    return true;
}

void RemoveConsoleHandler()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_installed) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    unsigned char stop = kStopByte;
    // The write end is non-blocking; if the pipe is full the reader will drain it and then see EOF.
    if (write(g_pipe[1], &stop, 1) != 1)
    {}
    g_writeFd = -1;
    close(g_pipe[1]);
    g_pipe[1] = -1;
    if (g_thread.joinable()) g_thread.join();
    close(g_pipe[0]);
    g_pipe[0] = -1;
    {
        std::lock_guard<std::mutex> hl(g_handlerMutex);
        g_handler = nullptr;
    }
    g_installed = false;
}

bool ConsoleHandlerInstalled()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_installed;
}

}  // namespace Platform
