#pragma once
// The daemon process: the one-per-root lock, the discovery block, the loopback listener with one thread
// per connection, readiness, the idle exit and the clean shutdown.
#include "assetdb/VADProtocol.h"
#include "daemon/AssetDatabase.h"
#include "daemon/CommandHostBroker.h"
#include "daemon/DaemonRoot.h"
#include "daemon/DiscoveryPublish.h"
#include "daemon/InternedNames.h"
#include "daemon/RootWatch.h"
#include "platform/FileLock.h"
#include "platform/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>

class ClientConnection;

struct DaemonOptions
{
    unsigned idleSeconds = 600;   // exit after this long without clients (0: never)
    unsigned hostWaitMs = 30000;  // wait for a command host the daemon started
};

// Exit codes of Run. Before it fails, Run says why on its standard error ("VADDaemon: <reason>"): the client
// that started it reads that there (VADConnection.h).
enum : int
{
    kDaemonExitOK = 0,
    kDaemonExitLocked = kVADDaemonExitLocked,  // another daemon serves the root
    kDaemonExitFailed = 2,  // the lock file, the store, the block or the listener could not be set up
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

    // True while the installation is the one the daemon found: its root folder, assets.tdx and
    // assets.tdx.lock are still the files it opened (RootWatch.h). The first time one is not, the daemon
    // logs it, takes its discovery block's name away (so that the next command starts a new daemon on the
    // new root) and closes; from then on this is false. Any thread.
    bool RootIntact();
    // What happened to the installation, once RootIntact has said false.
    std::string RootLostReason();

    // Called by connections.
    void ConnectionEnded(ClientConnection* c);
    // True the first time an option a request carried without effect is met (the log says it once), for at
    // most 256 of them.
    bool FirstUnusedOption(uint32_t code, const std::string& option, uint32_t value);

private:
    // Writes the discovery block (DiscoveryPublish.h) with the state given.
    bool Publish(uint32_t state);
    void AcceptLoop();
    void ReapFinished();

    DaemonRoot root_;
    DaemonOptions options_;
    AssetDatabase db_;
    CommandHostBroker broker_;
    Platform::FileLock lock_;
    DiscoveryPublication published_;
    Platform::Socket listener_;
    uint64_t token_ = 0;
    uint64_t startMs_ = 0;
    uint32_t state_ = 0;

    RootWatch watch_;  // filled before the first connection, read-only from then on
    std::atomic<bool> rootLost_{false};
    std::mutex rootLostMutex_;
    std::string rootLostReason_;

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
    std::mutex unusedOptionsMutex_;
    std::set<std::tuple<uint32_t, std::string, uint32_t>> unusedOptions_;
};
