#include "daemon/DaemonServer.h"

#include "assetdb/VADDiscovery.h"
#include "daemon/ClientConnection.h"
#include "daemon/DaemonLog.h"
#include "daemon/DiscoveryPublish.h"
#include "daemon/DownloadMirror.h"
#include "daemon/RootLockRecord.h"
#include "platform/Interruption.h"
#include "platform/Process.h"

#include <random>
#include <sys/time.h>
#include <unistd.h>

namespace {

// One thread per connection: floods must not exhaust the process. Clients that said a valid hello count
// against kMaxConnections; those still silent against kMaxWaitingForHello, and the oldest of them gives
// way to a new one, so connections without the token never keep an authenticated client out.
constexpr size_t kMaxConnections = 256;
constexpr size_t kMaxWaitingForHello = 64;
constexpr auto kHelloBound = std::chrono::seconds(5);

uint64_t NowMs()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<uint64_t>(tv.tv_sec) * 1000u + static_cast<uint64_t>(tv.tv_usec / 1000);
}

uint64_t RandomToken()
{
    std::random_device rd;
    uint64_t t = 0;
    while (t == 0) t = (static_cast<uint64_t>(rd()) << 32) ^ rd();
    return t;
}

}  // namespace

DaemonServer::DaemonServer(DaemonRoot root, DaemonOptions options)
    : root_(std::move(root)), options_(options), db_(root_), broker_(root_.Root())
{
    broker_.SetStartWaitMs(options_.hostWaitMs);
}

DaemonServer::~DaemonServer()
{
    RequestShutdown();
    ReapFinished();
}

bool DaemonServer::Publish(uint32_t state)
{
    state_ = state;
    VADDiscoveryBlock b;
    b.pid = static_cast<uint32_t>(Platform::CurrentProcessId());
    b.port = listener_.IsValid() ? listener_.LocalPort() : 0;
    b.state = state;
    b.token = token_;
    b.startTimeMs = startMs_;
    b.root = VADRootDigest(root_.Root());
    uint8_t raw[kVADDiscoveryBlockSize];
    VADEncodeDiscoveryBlock(b, raw);
    return published_.block.IsOpen() && published_.block.Write(0, raw, sizeof raw);
}

bool DaemonServer::RootIntact()
{
    if (rootLost_.load()) return false;
    std::string changed = watch_.Changed();
    if (changed.empty()) return true;
    std::lock_guard lk(rootLostMutex_);
    if (rootLost_.load()) return false;
    rootLostReason_ = std::move(changed);
    DLOG("%s: the installation this daemon served is gone; closing", rootLostReason_.c_str());
    // Clients stop finding this daemon at once. Only our own block loses its name: a daemon started on the
    // new root may have published one under the same name already.
    published_.block.RemoveName();
    rootLost_ = true;
    RequestShutdown();
    return false;
}

std::string DaemonServer::RootLostReason()
{
    std::lock_guard lk(rootLostMutex_);
    return rootLostReason_;
}

void DaemonServer::RequestShutdown()
{
    stop_ = true;
    cv_.notify_all();
}

bool DaemonServer::FirstUnusedOption(uint32_t code, const std::string& option, uint32_t value)
{
    std::lock_guard lk(unusedOptionsMutex_);
    return unusedOptions_.size() < 256 && unusedOptions_.emplace(code, option, value).second;
}

void DaemonServer::ConnectionEnded(ClientConnection* c)
{
    broker_.HostGone(c);
    // Edits a command host opened for an install die with it; the installed copies stay as they were.
    if (const size_t closed = db_.CloseEditsOf(reinterpret_cast<uintptr_t>(c)))
        DLOG("closed %zu edits of a command host that is gone (%s, pid %u)", closed, c->Program().c_str(), c->Pid());
    // Installed copies its run held aside come back as they were (the run's own copy deleted first).
    // Nothing is touched by name below a root that is gone.
    if (const size_t back = rootLost_.load() ? 0 : db_.PutBackHoldsOf(reinterpret_cast<uintptr_t>(c)))
        DLOG("put back %zu assets held aside by a client that is gone (%s, pid %u)", back, c->Program().c_str(),
             c->Pid());
    std::lock_guard lk(mutex_);
    for (Running& r : connections_)
        if (r.conn.get() == c) r.finished = true;
    cv_.notify_all();
}

void DaemonServer::ReapFinished()
{
    std::list<Running> done;
    {
        std::lock_guard lk(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();)
        {
            if (it->finished)
            {
                done.splice(done.end(), connections_, it++);
                if (connections_.empty()) lastClientGone_ = std::chrono::steady_clock::now();
            }
            else
                ++it;
        }
    }
    for (Running& r : done)
        if (r.thread.joinable()) r.thread.join();
}

bool DaemonServer::AdmitLocked()
{
    size_t authenticated = 0, waiting = 0;
    Running* oldest = nullptr;
    for (Running& r : connections_)
    {
        if (r.finished || r.dropped) continue;
        if (r.conn->Authenticated())
        {
            ++authenticated;
            continue;
        }
        ++waiting;
        if (!oldest) oldest = &r;
    }
    if (waiting >= kMaxWaitingForHello && oldest)
    {
        DLOG("dropped a connection that had not said its hello: %zu are waiting", waiting);
        oldest->dropped = true;
        oldest->conn->Shutdown();
    }
    if (authenticated < kMaxConnections) return true;
    DLOG("connection refused: %zu clients already", authenticated);
    return false;
}

void DaemonServer::DropSilentLocked()
{
    auto now = std::chrono::steady_clock::now();
    for (Running& r : connections_)
        if (!r.finished && !r.dropped && !r.conn->Authenticated() && now - r.accepted > kHelloBound)
        {
            r.dropped = true;
            r.conn->Shutdown();
        }
}

void DaemonServer::AcceptLoop()
{
    while (!stop_)
    {
        Platform::IoResult res;
        Platform::Socket s = listener_.Accept(200, &res);
        if (!s.IsValid()) continue;
        s.SetNoDelay(true);
        // The daemon serves its own user only: another user's connection is closed at once.
        uint32_t uid = 0;
        if (s.PeerUid(uid) && uid != static_cast<uint32_t>(geteuid()))
        {
            DLOG("connection refused: it belongs to user %u", uid);
            continue;
        }
        // Closed without a word when the installation is gone: the client goes on to start a new daemon.
        if (!RootIntact()) continue;
        auto conn = std::make_shared<ClientConnection>(*this, std::move(s));
        std::lock_guard lk(mutex_);
        if (!AdmitLocked()) continue;
        connections_.push_back(Running{conn, {}, false, false, std::chrono::steady_clock::now()});
        Running& r = connections_.back();
        r.thread = std::thread([conn] { conn->Run(); });
    }
}

int DaemonServer::Run()
{
    std::string error;
    bool held = false;
    if (!lock_.TryLock(root_.LockFile(), &error, &held))
    {
        if (held)
        {
            // The holder may serve this very folder through another path: its clients find its block, but
            // ours never would, so that is a failure to start, with the path to use instead.
            const std::string elsewhere = RootServedThroughAnotherPath(root_.Root(), root_.LockFile());
            if (!elsewhere.empty())
            {
                fprintf(stderr, "VADDaemon: %s\n", elsewhere.c_str());
                return kDaemonExitFailed;
            }
            fprintf(stderr, "VADDaemon: another daemon serves %s\n", root_.Root().c_str());
            return kDaemonExitLocked;
        }
        fprintf(stderr, "VADDaemon: %s\n", error.c_str());
        return kDaemonExitFailed;
    }
    root_.KeepOwnFilesFromOutputs();
    // Which path this daemon serves, for a daemon started through another path to the same folder.
    std::string unrecorded;
    WriteRootLockRecord(lock_.Descriptor(), {static_cast<uint32_t>(Platform::CurrentProcessId()), root_.Root()},
                        &unrecorded);
    if (!watch_.Add(root_.Root(), &error) || !watch_.AddOpen(lock_.Descriptor(), root_.LockFile(), &error))
    {
        fprintf(stderr, "VADDaemon: %s\n", error.c_str());
        return kDaemonExitFailed;
    }
    // The log needs its folder first; opening the store makes them again, and says when it cannot.
    root_.MakeFolders();
    Platform::KeepRegisterOfOwnWork(root_.OwnWorkFolder());
    TheDaemonLog().Open(root_.UserData("settings/vaddaemon.log"));
    DLOG("VADDaemon %d starting for %s", Platform::CurrentProcessId(), root_.Root().c_str());
    if (!unrecorded.empty()) DLOG("the root lock does not say which path is served: %s", unrecorded.c_str());

    token_ = RandomToken();
    startMs_ = NowMs();
    if (!PublishDiscoveryBlock(root_.Root(), static_cast<uint32_t>(Platform::CurrentProcessId()), published_, &error) ||
        !Publish(VAD_STATE_STARTING))
    {
        const char* name = published_.name.c_str();
        DLOG("cannot create the discovery block %s: %s", name, error.c_str());
        fprintf(stderr, "VADDaemon: cannot create the discovery block %s: %s\n", name, error.c_str());
        return kDaemonExitFailed;
    }
    auto cleanup = [&] {
        Publish(VAD_STATE_CLOSING);
        // Nothing is removed by its name below a root that is gone: the name may be a new daemon's.
        if (published_.recorded && !rootLost_.load()) VADRemoveDiscoveryRecord(root_.Root());
        published_.block.RemoveName();
        published_.block.Close();
        lock_.Unlock();
    };
    if (!db_.Open(&error))
    {
        DLOG("start-up: %s", error.c_str());
        fprintf(stderr, "VADDaemon: %s\n", error.c_str());
        cleanup();
        return kDaemonExitFailed;
    }
    if (!watch_.Add(root_.Database(), &error)) DLOG("the store is not watched: %s", error.c_str());
    db_.ApplySettingsFile(root_.UserData("settings/settings.txt"));
    listener_ = Platform::Socket::Listen(0, 64, &error);
    if (!listener_.IsValid())
    {
        DLOG("cannot listen: %s", error.c_str());
        fprintf(stderr, "VADDaemon: cannot listen on the loopback interface: %s\n", error.c_str());
        cleanup();
        return kDaemonExitFailed;
    }
    Publish(VAD_STATE_LISTENING);
    DLOG("listening on 127.0.0.1:%u", listener_.LocalPort());
    lastClientGone_ = std::chrono::steady_clock::now();

    std::thread acceptor([this] { AcceptLoop(); });
    // A scan that could not be stored leaves the records as the store holds them; the next start scans again. It
    // first puts right what processes of this installation that ended (killed, cut short) left of their own work,
    // as their registers prove it, before anyone is served; nothing is taken for theirs by its name.
    if (!db_.Reconcile(false)) DLOG("start-up: the scan was not stored");
    RefreshStationListing(db_);
    if (!stop_) Publish(VAD_STATE_READY);

    while (!stop_)
    {
        {
            std::unique_lock lk(mutex_);
            cv_.wait_for(lk, std::chrono::milliseconds(250));
        }
        ReapFinished();
        {
            std::lock_guard lk(mutex_);
            DropSilentLocked();
        }
        broker_.ReapStartedHosts();
        internedNames_.Tick();
        // Nothing left to serve: the installation was removed, or laid out anew by a rebuild.
        if (!RootIntact()) break;
        if (options_.idleSeconds == 0) continue;
        std::lock_guard lk(mutex_);
        if (connections_.empty() &&
            std::chrono::steady_clock::now() - lastClientGone_ > std::chrono::seconds(options_.idleSeconds))
        {
            DLOG("no clients for %u s: closing", options_.idleSeconds);
            stop_ = true;
        }
    }

    DLOG("closing");
    Publish(VAD_STATE_CLOSING);
    acceptor.join();
    listener_.Close();
    broker_.Shutdown();
    {
        std::lock_guard lk(mutex_);
        for (Running& r : connections_) r.conn->Shutdown();
    }
    for (;;)
    {
        std::list<Running> all;
        {
            std::lock_guard lk(mutex_);
            all.swap(connections_);
        }
        if (all.empty()) break;
        for (Running& r : all)
        {
            r.conn->Shutdown();
            if (r.thread.joinable()) r.thread.join();
        }
    }
    if (rootLost_.load())
        db_.CloseLeavingFiles();
    else
        db_.Close();
    cleanup();
    DLOG("closed");
    return kDaemonExitOK;
}
