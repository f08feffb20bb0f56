#pragma once
// One client of the daemon on its own thread: the hello, then request frames answered in order. Results a
// request posts go out as notifications before its reply.
#include "assetdb/VADProtocol.h"
#include "daemon/DaemonResults.h"
#include "daemon/RecordMarkGroup.h"
#include "daemon/SentOutcomes.h"
#include "platform/Socket.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class DaemonServer;

class ClientConnection : public std::enable_shared_from_this<ClientConnection>
{
public:
    ClientConnection(DaemonServer& server, Platform::Socket socket);

    // The connection's life: returns when the client has gone or the daemon shuts down.
    void Run();
    // Wakes a Run blocked in a read (shutdown).
    void Shutdown();
    // Sends one frame (any thread); false when it could not go out.
    bool Send(uint32_t code, uint32_t transaction, const VADBytes& payload);
    const std::string& Program() const { return program_; }
    uint32_t Pid() const { return pid_; }
    // True once the client has said a valid hello (with the token).
    bool Authenticated() const { return authenticated_.load(); }
    // What became of the requests without transaction id received so far (request 237). The connection's own
    // thread only: its requests are handled there, one after the other.
    const SentOutcomes& Outcomes() const { return outcomes_; }

private:
    struct Frame
    {
        VADFrameHeader header;
        VADBytes payload;
    };
    enum class GroupEnd
    {
        kNothingWaiting,  // no more bytes were waiting, or the group is full
        kOtherFrame,      // a frame that does not join the group was read: it is handled next
        kLinkEnded,
    };
    bool Hello();
    void Serve();
    // False when the link ended (or sent a frame too large).
    bool Receive(Frame& f);
    void Handle(uint32_t code, uint32_t id, const VADBytes& payload);
    // Handles the mark `first` with the marks waiting behind it on the socket as one group (RecordMarkGroup.h).
    GroupEnd HandleMarkGroup(Frame first, Frame& next);

    DaemonServer& server_;
    Platform::Socket socket_;
    std::mutex sendMutex_;
    std::string program_;
    uint32_t pid_ = 0;
    std::atomic<bool> authenticated_{false};
    SentOutcomes outcomes_;
};

// Handles one request; the body of the reply goes to `body`, results to `results`. Returns the status.
int32_t HandleRequest(DaemonServer& server, const std::shared_ptr<ClientConnection>& from, uint32_t code,
                      uint32_t transaction, const VADBytes& payload, VADWriter& body, DaemonResults& results);
