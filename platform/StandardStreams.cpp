#include "platform/StandardStreams.h"

#include "platform/ConsoleControl.h"
#include "platform/Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>

namespace Platform {
namespace {

constexpr int kStartBound = 1024;
// Written by the step below before any initialiser runs. Both are zero-initialised constants (no initialiser of
// their own that could run after the step and undo it).
bool openAtStart[kStartBound];
bool closedAtStart[3];

// The first thing the process does. Raw system calls only: at this point a sanitiser's wrappers of the C library's
// calls may not be set up yet, and nothing else of the program is.
void TakeClosedStandardDescriptors(int, char**, char**)
{
    for (int fd = 0; fd < kStartBound; ++fd) openAtStart[fd] = ::syscall(SYS_fcntl, fd, F_GETFD) >= 0;
    // In order from 0, so that each open gets the lowest free number, the one being filled. Without a /dev/null
    // to open (a bare chroot) the descriptor stays closed.
    for (int fd = 0; fd <= 2; ++fd)
    {
        if (openAtStart[fd]) continue;
        const long opened = ::syscall(SYS_openat, AT_FDCWD, "/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (opened == fd)
            closedAtStart[fd] = true;
        else if (opened >= 0)
            ::syscall(SYS_close, opened);
    }
}

// The executable's pre-initialisation array runs before the initialisers of the shared libraries it loads and
// before the program's own static initialisers (a sanitiser's runtime, linked ahead of the program's objects, sets
// itself up first). The programs end through EndStandardStreams (or ExitProcess), which links this file in.
[[gnu::used,
  gnu::section(".preinit_array")]] void (*takeClosedStandardDescriptors)(int, char**,
                                                                         char**) = &TakeClosedStandardDescriptors;

std::string DefaultWording(const std::string& reason)
{
    return reason.empty() ? "Failed to write the standard output\n"
                          : "Failed to write the standard output: " + reason + "\n";
}

std::mutex endMutex;
StandardOutputFailureWording wording = &DefaultWording;
int failureExitCode = 1;
bool ended = false;
bool streamFailed = false;

// Whether `fd` is a pipe or socket whose reader has gone: a write to it fails with EPIPE (or raises SIGPIPE).
bool ReaderGone(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) return false;
    struct pollfd p
    {
        fd, POLLOUT, 0
    };
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

// Flushes one standard stream (its C stdio buffer, then the C++ streams over it) and tells whether a write to it
// failed, now or at any earlier flush: the error state of the C stream and of the C++ streams stays set once a
// write failed. `reason` gets the error of the last flush where that failed. A reader that went away is no failure.
bool StreamFailed(int fd, std::FILE* file, std::initializer_list<std::ostream*> streams, int& reason)
{
    errno = 0;
    reason = std::fflush(file) != 0 ? errno : 0;
    bool failed = reason != 0 || std::ferror(file) != 0;
    for (std::ostream* stream : streams)
    {
        stream->flush();
        failed = failed || stream->bad();
    }
    if (!failed) return false;
    return !(reason == EPIPE || (reason == 0 && ReaderGone(fd)));
}

}  // namespace

bool WasOpenAtStart(int fd) { return fd >= 0 && fd < kStartBound && openAtStart[fd]; }

bool WasClosedAtStart(int fd) { return fd >= 0 && fd <= 2 && closedAtStart[fd]; }

void SetStandardStreamFailure(StandardOutputFailureWording words, int exitCode)
{
    std::lock_guard<std::mutex> hold(endMutex);
    wording = words != nullptr ? words : &DefaultWording;
    failureExitCode = exitCode;
}

int EndStandardStreams(int code)
{
    // A signal taken before the way out ends the process by that signal, not with `code`.
    AwaitConsoleVerdicts();
    EndRegisterOfOwnWork();
    std::lock_guard<std::mutex> hold(endMutex);
    if (!ended)
    {
        ended = true;
        int outputReason = 0;
        int errorReason = 0;
        const bool outputFailed = StreamFailed(STDOUT_FILENO, stdout, {&std::cout}, outputReason);
        const bool errorFailed = StreamFailed(STDERR_FILENO, stderr, {&std::cerr, &std::clog}, errorReason);
        std::fflush(nullptr);
        if (outputFailed && !errorFailed)
        {
            const std::string text = wording(outputReason != 0 ? std::strerror(outputReason) : std::string());
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
        }
        streamFailed = outputFailed || errorFailed;
    }
    return code == 0 && streamFailed ? failureExitCode : code;
}

}  // namespace Platform
