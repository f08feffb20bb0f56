#include "platform/OwnStreams.h"

#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace Platform {

namespace {

// A descriptor number: decimal digits only, no sign or leading zero, at most 9 of them; -1 otherwise.
int DescriptorNumber(std::string_view text)
{
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return -1;
    int n = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

int SpelledDescriptor(std::string_view path)
{
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    if (StartsWith(path, "/dev/fd/")) return DescriptorNumber(path.substr(8));
    if (!StartsWith(path, "/proc/")) return -1;
    std::string_view rest = path.substr(6);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return -1;
    const std::string_view process = rest.substr(0, slash);
    if (process != "self" && process != "thread-self" && process != std::to_string(::getpid())) return -1;
    rest.remove_prefix(slash);
    return StartsWith(rest, "/fd/") ? DescriptorNumber(rest.substr(4)) : -1;
}

bool IsGivenStream(int fd)
{
    // Open as the program was loaded, before it opened anything of its own; a standard descriptor it was started
    // without, held on /dev/null since, is none.
    if (!WasOpenAtStart(fd)) return false;
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC) == 0;
}

bool IsOpenForWriting(int fd)
{
    const int flags = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
    // An O_PATH descriptor reads as O_RDONLY: it writes nothing either.
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

int StandardStreamOn(const FileIdentity& file, int except)
{
    if (!file.known) return -1;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO})
        if (fd != except && IsGivenStream(fd) && IsOpenForWriting(fd) && FileIdentity::OfFd(fd).IsSameFile(file))
            return fd;
    return -1;
}

void FlushStandardStreams()
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace Platform
