#include "platform/FileLease.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace Platform {

namespace {

void IgnoreLeaseBreaks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current
        {};
        if (::sigaction(SIGIO, nullptr, &current) != 0) return;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
        struct sigaction ignore
        {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGIO, &ignore, nullptr);
    });
}

}  // namespace

LeaseResult TakeWriteLease(int fd)
{
    IgnoreLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) return LeaseResult::kHeld;
    return errno == EAGAIN || errno == EWOULDBLOCK ? LeaseResult::kOpenElsewhere : LeaseResult::kUnavailable;
}

void ReleaseLease(int fd) { ::fcntl(fd, F_SETLEASE, F_UNLCK); }

bool LeasesWorkIn(const char* folder)
{
    const std::string probe = std::string(folder) + "/.lease-probe-" + std::to_string(::getpid());
    UniqueFd made(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (made.Get() < 0) return false;
    made.Close();
    UniqueFd fd(::open(probe.c_str(), O_RDONLY | O_CLOEXEC));
    const bool works = fd.Get() >= 0 && TakeWriteLease(fd.Get()) == LeaseResult::kHeld;
    if (works) ReleaseLease(fd.Get());
    ::unlink(probe.c_str());
    return works;
}

}  // namespace Platform
