#pragma once
// One client of the daemon on its own thread: the hello, then request frames answered in order. Results a
// request posts go out as notifications before its reply.
#include "assetdb/VADProtocol.h"
#include "daemon/DaemonResults.h"
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

private:
    bool Hello();
    void Serve();
    void Handle(uint32_t code, uint32_t id, const VADBytes& payload);

    DaemonServer& server_;
    Platform::Socket socket_;
    std::mutex sendMutex_;
    std::string program_;
    uint32_t pid_ = 0;
    std::atomic<bool> authenticated_{false};
};

// Handles one request; the body of the reply goes to `body`, results to `results`. Returns the status.
int32_t HandleRequest(DaemonServer& server, const std::shared_ptr<ClientConnection>& from, uint32_t code,
                      uint32_t transaction, const VADBytes& payload, VADWriter& body, DaemonResults& results);
