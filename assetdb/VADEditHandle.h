#pragma once
// A counted handle of an asset the daemon holds open (for editing, or only located). Copies share one
// count; Release drops this copy's reference and the last one closes the handle with the daemon
// (asynchronous request 31) on the connection it was opened on, which must outlive it. Destroying a copy
// releases it too. A handle is the daemon's that gave it: requests with it go over that link alone
// (LinkNumber), never to a daemon started after that one stopped, where the number may name another asset.
#include <atomic>
#include <cstdint>

class VADConnection;

class VADEditHandle
{
public:
    VADEditHandle() = default;
    VADEditHandle(const VADEditHandle& o);
    VADEditHandle(VADEditHandle&& o) noexcept : s_(o.s_) { o.s_ = nullptr; }
    VADEditHandle& operator=(const VADEditHandle& o);
    VADEditHandle& operator=(VADEditHandle&& o) noexcept;
    ~VADEditHandle() { Release(); }

    // A handle of the daemon's handle number (0 gives an invalid handle) on a connection (null: closing
    // it sends nothing).
    static VADEditHandle FromDaemonHandle(uint32_t id, VADConnection* link);

    bool IsValid() const { return s_ != nullptr; }
    // The daemon's handle number, 0 for an invalid handle.
    uint32_t GetId() const { return s_ ? s_->id : 0; }
    // The link that gave it (VADConnection::LinkNumber; 0 for none).
    uint64_t LinkNumber() const { return s_ ? s_->linkNumber : 0; }
    // Number of copies sharing the handle (0 for an invalid one).
    int GetRefCount() const { return s_ ? s_->refs.load() : 0; }
    void Release();

private:
    struct Shared
    {
        std::atomic<int> refs{1};
        uint32_t id = 0;
        VADConnection* link = nullptr;
        uint64_t linkNumber = 0;
    };
    Shared* s_ = nullptr;
};
