#include "platform/Socket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace Platform {
namespace {

// An address as /proc/net/tcp6 shows it: the four 32-bit words of the IPv6 address as they lie in memory
// (network byte order). An IPv4 address is kept in its mapped form, ::ffff:a.b.c.d, as an IPv6 socket that
// carries an IPv4 connection has it.
using TcpAddress = std::array<uint32_t, 4>;

TcpAddress MappedV4(uint32_t networkOrder) { return {0, 0, htonl(0xFFFF), networkOrder}; }

// One TCP socket of the system, as /proc/net/tcp (IPv4) or /proc/net/tcp6 (IPv6) lists it; ports in host order.
struct TcpSocketEntry
{
    TcpAddress localAddr{}, remoteAddr{};
    uint16_t localPort = 0, remotePort = 0;
    unsigned state = 0;
    uint32_t uid = 0;
    unsigned long inode = 0;
};
constexpr unsigned kTcpListen = 0x0A;

// Calls `each` for every entry of /proc/net/tcp and /proc/net/tcp6 until it answers false. Both are read: a
// connection to 127.0.0.1 may have an IPv6 socket at either end (one connected to ::ffff:127.0.0.1, one
// accepted by a listener on [::]), and that socket is listed in the second only.
template <typename Each>
void ForEachTcpSocket(Each each)
{
    for (const bool v6 : {false, true})
    {
        FILE* f = fopen(v6 ? "/proc/net/tcp6" : "/proc/net/tcp", "re");
        if (!f) continue;
        char line[512];
        bool more = true;
        while (more && fgets(line, sizeof line, f))
        {
            TcpSocketEntry e;
            unsigned lp = 0, rp = 0;
            // sl local rem st tx:rx tr:when retrnsmt uid timeout inode
            if (v6)
            {
                unsigned l[4], r[4];
                if (sscanf(line, " %*u: %8x%8x%8x%8x:%x %8x%8x%8x%8x:%x %x %*s %*s %*s %u %*u %lu", &l[0], &l[1], &l[2],
                           &l[3], &lp, &r[0], &r[1], &r[2], &r[3], &rp, &e.state, &e.uid, &e.inode) != 13)
                    continue;
                for (int i = 0; i < 4; ++i)
                {
                    e.localAddr[i] = l[i];
                    e.remoteAddr[i] = r[i];
                }
            }
            else
            {
                unsigned la = 0, ra = 0;
                if (sscanf(line, " %*u: %x:%x %x:%x %x %*s %*s %*s %u %*u %lu", &la, &lp, &ra, &rp, &e.state, &e.uid,
                           &e.inode) != 7)
                    continue;
                e.localAddr = MappedV4(la);
                e.remoteAddr = MappedV4(ra);
            }
            e.localPort = static_cast<uint16_t>(lp);
            e.remotePort = static_cast<uint16_t>(rp);
            more = each(e);
        }
        fclose(f);
        if (!more) return;
    }
}

// The address and port of a socket's end in the tables' form; false for a family other than IPv4 and IPv6.
bool TcpEnd(const sockaddr_storage& a, TcpAddress& addr, uint16_t& port)
{
    if (a.ss_family == AF_INET)
    {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
        addr = MappedV4(v4.sin_addr.s_addr);
        port = ntohs(v4.sin_port);
        return true;
    }
    if (a.ss_family == AF_INET6)
    {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
        std::memcpy(addr.data(), v6.sin6_addr.s6_addr, sizeof addr);
        port = ntohs(v6.sin6_port);
        return true;
    }
    return false;
}

using Clock = std::chrono::steady_clock;

void SetError(std::string* error, const std::string& what)
{
    if (error) *error = what + ": " + std::strerror(errno);
}

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Time left until `deadline` for poll(): -1 without a deadline.
int PollTimeout(bool forever, Clock::time_point deadline)
{
    if (forever) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits for `events` on `fd`; Ok when ready.
IoResult WaitFor(int fd, short events, bool forever, Clock::time_point deadline)
{
    for (;;)
    {
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, PollTimeout(forever, deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return IoResult::Error;
        if (r == 0) return IoResult::TimedOut;
        if (p.revents & POLLNVAL) return IoResult::Error;
        return IoResult::Ok;  // readiness, hang-up or error: the following call tells which
    }
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other)
    {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Socket Socket::Listen(uint16_t port, int backlog, std::string* error)
{
    Socket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.IsValid())
    {
        SetError(error, "socket");
        return {};
    }
    int one = 1;
    setsockopt(s.fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(port);
    if (bind(s.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    {
        SetError(error, "bind 127.0.0.1:" + std::to_string(port));
        return {};
    }
    if (listen(s.fd_, std::clamp(backlog, 1, 4096)) != 0)
    {
        SetError(error, "listen");
        return {};
    }
    return s;
}

Socket Socket::Connect(uint16_t port, int timeoutMs, std::string* error)
{
    if (port == 0)
    {
        errno = EINVAL;
        SetError(error, "connect to port 0");
        return {};
    }
    Socket s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.IsValid())
    {
        SetError(error, "socket");
        return {};
    }
    sockaddr_in a = Loopback(port);
    int r = connect(s.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (r != 0 && errno != EINPROGRESS && errno != EINTR)
    {
        SetError(error, "connect 127.0.0.1:" + std::to_string(port));
        return {};
    }
    if (r != 0)
    {
        bool forever = timeoutMs < 0;
        auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
        IoResult w = WaitFor(s.fd_, POLLOUT, forever, deadline);
        if (w != IoResult::Ok)
        {
            if (w == IoResult::TimedOut) errno = ETIMEDOUT;
            SetError(error, "connect 127.0.0.1:" + std::to_string(port));
            return {};
        }
        int soErr = 0;
        socklen_t len = sizeof soErr;
        if (getsockopt(s.fd_, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0 || soErr != 0)
        {
            if (soErr) errno = soErr;
            SetError(error, "connect 127.0.0.1:" + std::to_string(port));
            return {};
        }
    }
    // Back to blocking: time-outs are done with poll() from here on.
    fcntl(s.fd_, F_SETFL, fcntl(s.fd_, F_GETFL) & ~O_NONBLOCK);
    return s;
}

Socket Socket::Accept(int timeoutMs, IoResult* result) const
{
    auto report = [&](IoResult r) {
        if (result) *result = r;
    };
    if (fd_ < 0)
    {
        report(IoResult::Error);
        return {};
    }
    bool forever = timeoutMs < 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;)
    {
        IoResult w = WaitFor(fd_, POLLIN, forever, deadline);
        if (w != IoResult::Ok)
        {
            report(w);
            return {};
        }
        int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0)
        {
            fcntl(c, F_SETFL, fcntl(c, F_GETFL) & ~O_NONBLOCK);
            report(IoResult::Ok);
            return Socket(c);
        }
        // The connection may have gone between poll and accept; keep waiting for the next one.
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) continue;
        report(errno == EINVAL ? IoResult::Closed : IoResult::Error);  // EINVAL: shut down
        return {};
    }
}

IoResult Socket::SendAll(const void* data, size_t length, int timeoutMs) const
{
    if (fd_ < 0 || (!data && length)) return IoResult::Error;
    bool forever = timeoutMs < 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    const char* p = static_cast<const char*>(data);
    while (length > 0)
    {
        IoResult w = WaitFor(fd_, POLLOUT, forever, deadline);
        if (w != IoResult::Ok) return w;
        ssize_t n = send(fd_, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0)
        {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Error;
        }
        p += n;
        length -= static_cast<size_t>(n);
    }
    return IoResult::Ok;
}

IoResult Socket::ReceiveExact(void* data, size_t length, int timeoutMs, size_t* received) const
{
    size_t got = 0;
    auto finish = [&](IoResult r) {
        if (received) *received = got;
        return r;
    };
    if (fd_ < 0 || (!data && length)) return finish(IoResult::Error);
    bool forever = timeoutMs < 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    char* p = static_cast<char*>(data);
    while (got < length)
    {
        IoResult w = WaitFor(fd_, POLLIN, forever, deadline);
        if (w != IoResult::Ok) return finish(w);
        ssize_t n = recv(fd_, p + got, length - got, MSG_DONTWAIT);
        if (n == 0) return finish(IoResult::Closed);
        if (n < 0)
        {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return finish(errno == ECONNRESET ? IoResult::Closed : IoResult::Error);
        }
        got += static_cast<size_t>(n);
    }
    return finish(IoResult::Ok);
}

IoResult Socket::ReceiveSome(void* data, size_t capacity, size_t* received, int timeoutMs) const
{
    if (received) *received = 0;
    if (fd_ < 0 || !data || capacity == 0) return IoResult::Error;
    bool forever = timeoutMs < 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;)
    {
        IoResult w = WaitFor(fd_, POLLIN, forever, deadline);
        if (w != IoResult::Ok) return w;
        ssize_t n = recv(fd_, data, capacity, MSG_DONTWAIT);
        if (n == 0) return IoResult::Closed;
        if (n < 0)
        {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return errno == ECONNRESET ? IoResult::Closed : IoResult::Error;
        }
        if (received) *received = static_cast<size_t>(n);
        return IoResult::Ok;
    }
}

bool Socket::HasBytesWaiting() const
{
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int n = poll(&p, 1, 0);
    while (n < 0 && errno == EINTR) n = poll(&p, 1, 0);
    return n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool Socket::SetNoDelay(bool on) const
{
    int v = on ? 1 : 0;
    return fd_ >= 0 && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

void Socket::Shutdown() const
{
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void Socket::Close()
{
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

int Socket::Release() { return std::exchange(fd_, -1); }

uint16_t Socket::LocalPort() const
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

bool Socket::PeerUid(uint32_t& uid) const
{
    sockaddr_storage local{}, peer{};
    socklen_t ll = sizeof local, pl = sizeof peer;
    TcpAddress localAddr, peerAddr;
    uint16_t localPort = 0, peerPort = 0;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &ll) != 0 ||
        getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &pl) != 0 || !TcpEnd(local, localAddr, localPort) ||
        !TcpEnd(peer, peerAddr, peerPort))
        return false;
    // The peer's socket is the entry whose local end is our remote end and whose remote end is us, of
    // whichever family the peer's socket is.
    bool found = false;
    ForEachTcpSocket([&](const TcpSocketEntry& e) {
        if (e.localAddr != peerAddr || e.localPort != peerPort || e.remoteAddr != localAddr ||
            e.remotePort != localPort)
            return true;
        uid = e.uid;
        found = true;
        return false;
    });
    return found;
}

uint16_t Socket::PeerPort() const
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (fd_ < 0 || getpeername(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

ListenerHolder ProcessListensOn(int pid, uint16_t port)
{
    if (pid <= 0 || port == 0) return ListenerHolder::kUnknown;
    // Listening sockets on the port that a connection to 127.0.0.1 may reach: bound to 127.0.0.1 or to every
    // address, IPv4 or IPv6 ([::] takes IPv4 connections too unless it is IPv6 only).
    const TcpAddress any{}, anyV4 = MappedV4(0), loopback = MappedV4(htonl(INADDR_LOOPBACK));
    std::vector<unsigned long> inodes;
    ForEachTcpSocket([&](const TcpSocketEntry& e) {
        if (e.state == kTcpListen && e.localPort == port &&
            (e.localAddr == any || e.localAddr == anyV4 || e.localAddr == loopback))
            inodes.push_back(e.inode);
        return inodes.size() < 64;
    });
    if (inodes.empty()) return ListenerHolder::kUnknown;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(folder.c_str());
    if (!d) return ListenerHolder::kUnknown;
    ListenerHolder found = ListenerHolder::kNo;
    while (dirent* e = readdir(d))
    {
        char target[64];
        const ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        unsigned long inode = 0;
        if (sscanf(target, "socket:[%lu]", &inode) == 1 &&
            std::find(inodes.begin(), inodes.end(), inode) != inodes.end())
        {
            found = ListenerHolder::kYes;
            break;
        }
    }
    closedir(d);
    return found;
}

}  // namespace Platform
