#pragma once
// TCP on the loopback interface (127.0.0.1 only): listen on an ephemeral port, accept, connect,
// send everything, receive exactly N bytes, all with time-outs. Writing to a peer that has gone
// returns an error instead of raising SIGPIPE.
#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

enum class [[nodiscard]] IoResult{Ok, TimedOut, Closed, Error};

class Socket
{
public:
    static constexpr int kForever = -1;

    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Listens on 127.0.0.1:`port` (0 picks a free port; LocalPort() tells which).
    static Socket Listen(uint16_t port = 0, int backlog = 16, std::string* error = nullptr);
    // Connects to 127.0.0.1:`port`, waiting up to `timeoutMs`.
    static Socket Connect(uint16_t port, int timeoutMs = 5000, std::string* error = nullptr);

    // Waits up to `timeoutMs` for a connection on a listening socket; an invalid socket on time-out
    // or error (`result` says which).
    Socket Accept(int timeoutMs = kForever, IoResult* result = nullptr) const;

    // Sends all `length` bytes; Ok only when every byte went out in time.
    IoResult SendAll(const void* data, size_t length, int timeoutMs = kForever) const;
    // Receives exactly `length` bytes within `timeoutMs` for the whole read. Closed when the peer
    // ended the stream first; `received` (optional) tells how many bytes did arrive.
    IoResult ReceiveExact(void* data, size_t length, int timeoutMs = kForever, size_t* received = nullptr) const;
    // Receives what is there (at most `capacity` bytes), waiting up to `timeoutMs` for something.
    IoResult ReceiveSome(void* data, size_t capacity, size_t* received, int timeoutMs = kForever) const;
    // True when bytes (or the peer's end of the stream) are there to be read now, without waiting.
    bool HasBytesWaiting() const;

    bool SetNoDelay(bool on = true) const;
    // Ends both directions; a thread blocked in a receive on this socket wakes with Closed. Safe to
    // call from another thread while one is receiving (unlike Close).
    void Shutdown() const;
    void Close();
    int Release();  // gives up ownership of the descriptor

    bool IsValid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    uint16_t LocalPort() const;
    // The user that owns the other end of a loopback connection (looked up in /proc/net/tcp and, for a peer
    // whose socket is IPv6 (one connected to ::ffff:127.0.0.1), /proc/net/tcp6); false when it cannot be told.
    bool PeerUid(uint32_t& uid) const;
    uint16_t PeerPort() const;

private:
    int fd_ = -1;
};

enum class ListenerHolder
{
    kYes,
    kNo,
    kUnknown,  // no listener on the port, or the process's descriptors cannot be read
};
// Whether process `pid` holds the socket that listens on 127.0.0.1:`port` (the inode of each listener a
// connection there may reach, IPv4 or IPv6 such as one on [::], from /proc/net/tcp and /proc/net/tcp6, looked
// for among the process's descriptors): a port a process has made known may since be another's.
ListenerHolder ProcessListensOn(int pid, uint16_t port);

}  // namespace Platform
