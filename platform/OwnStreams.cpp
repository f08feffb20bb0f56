#include "platform/OwnStreams.h"

#include "platform/StandardStreams.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
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

// Calls `visit` with every descriptor the process has open: those /proc lists (not the one the listing itself
// holds), or where /proc cannot be read, every number below the process's limit (at most 65536) that is open.
template <typename Visit>
void ForEachDescriptor(Visit visit)
{
    if (DIR* listing = ::opendir("/proc/self/fd"))
    {
        const int own = ::dirfd(listing);
        while (const dirent* e = ::readdir(listing))
            if (const int fd = DescriptorNumber(e->d_name); fd >= 0 && fd != own) visit(fd);
        ::closedir(listing);
        return;
    }
    rlimit limit{};
    const rlim_t bound = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 65536;
    for (int fd = 0; static_cast<rlim_t>(fd) < bound; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) visit(fd);
}

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

HeldFile DescriptorsOn(const FileIdentity& file, int except)
{
    HeldFile held;
    if (!file.known) return held;
    int streamRank = INT_MAX;
    ForEachDescriptor([&](int fd) {
        if (fd == except || !FileIdentity::OfFd(fd).IsSameFile(file)) return;
        if (!IsGivenStream(fd))
        {
            if (held.own < 0 || fd < held.own) held.own = fd;
            return;
        }
        if (!IsOpenForWriting(fd)) return;
        const int rank = fd == STDOUT_FILENO ? 0 : fd == STDERR_FILENO ? 1 : fd == STDIN_FILENO ? 2 : fd;
        if (rank < streamRank)
        {
            streamRank = rank;
            held.stream = fd;
        }
    });
    return held;
}

void FlushStandardStreams()
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace Platform
