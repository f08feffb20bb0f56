#pragma once
// The daemon process: the one-per-root lock, the discovery block, the loopback listener with one thread
// per connection, readiness, the idle exit and the clean shutdown.
#include "daemon/AssetDatabase.h"
#include "daemon/CommandHostBroker.h"
#include "daemon/DaemonRoot.h"
#include "daemon/InternedNames.h"
#include "platform/FileLock.h"
#include "platform/SharedMemory.h"
#include "platform/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class ClientConnection;

struct DaemonOptions
{
    unsigned idleSeconds = 600;   // exit after this long without clients (0: never)
    unsigned hostWaitMs = 30000;  // wait for a command host the daemon started
};

// Exit codes of Run.
enum : int
{
    kDaemonExitOK = 0,
    kDaemonExitLocked = 1,  // another daemon serves the root
    kDaemonExitFailed = 2,  // the store, the block or the listener could not be set up
};

class DaemonServer
{
public:
    DaemonServer(DaemonRoot root, DaemonOptions options);
    ~DaemonServer();

    // Serves until a close request, a shutdown signal or the idle time-out.
    int Run();
    // Asks Run to end (any thread, also a signal handler thread).
    void RequestShutdown();
    bool ShuttingDown() const { return stop_.load(); }

    AssetDatabase& Database() { return db_; }
    CommandHostBroker& Broker() { return broker_; }
    const DaemonRoot& Root() const { return root_; }
    uint64_t Token() const { return token_; }

    // Called by connections.
    void ConnectionEnded(ClientConnection* c);

private:
    bool Publish(uint32_t state);
    // Creates the discovery block exclusively (owner only), under the usual name or, when another user
    // holds that, under a private name it records (VADDiscovery.h); false with the reason when it cannot.
    bool CreateBlock(std::string* error);
    bool CreatePrivateBlock(const std::string& whyTaken, std::string* error);
    void AcceptLoop();
    void ReapFinished();

    DaemonRoot root_;
    DaemonOptions options_;
    AssetDatabase db_;
    CommandHostBroker broker_;
    Platform::FileLock lock_;
    Platform::SharedMemoryBlock block_;
    std::string blockName_;
    bool recorded_ = false;  // the block is under a private name, recorded below the root
    Platform::Socket listener_;
    uint64_t token_ = 0;
    uint64_t startMs_ = 0;
    uint32_t state_ = 0;

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
    struct Running
    {
        std::shared_ptr<ClientConnection> conn;
        std::thread thread;
        bool finished = false;
        bool dropped = false;  // shut down before its hello
        std::chrono::steady_clock::time_point accepted;
    };
    // Makes room for a new connection (mutex_ held): false when it must be refused.
    bool AdmitLocked();
    // Closes connections that have not said a valid hello in time (mutex_ held).
    void DropSilentLocked();
    std::list<Running> connections_;
    std::chrono::steady_clock::time_point lastClientGone_;
    InternedNameBound internedNames_;
};
