#include "assetdb/VADClient.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADResultRouting.h"
#include "core/CoreTime.h"
#include "core/LogPrintf.h"
#include "core/MainThreadPost.h"
#include "core/TBuffer.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"
#include "platform/Socket.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

std::atomic<CommandHostCallbackFn> CommandHostCallbackSlot{nullptr};

namespace {

constexpr int kSendTimeoutMs = 60000;
constexpr int kConnectTimeoutMs = 2000;

struct Waiter
{
    uint32_t code = 0;
    ResultsLog* log = nullptr;
    bool done = false;
    int32_t status = kVADStatusOK;
    VADBytes body;
    std::condition_variable wake;  // one per waiter, so a reply wakes only its own thread
};

struct Link
{
    std::mutex state;  // everything below except the sending side of the socket
    std::condition_variable changed;
    std::mutex send;  // the transaction core: one frame on the wire at a time
    Platform::Socket socket;
    std::thread receiver;
    std::map<uint32_t, Waiter*> waiters;
    uint32_t nextId = 1;
    std::map<VADRequestId, VADRequestReply> web;
    uint32_t nextWebId = 1;
    VADConnectionSettings settings;
    std::string root;
};

// Never destroyed: the receive thread may still be winding down while statics are torn down.
Link& L()
{
    static Link* link = new Link;
    return *link;
}

std::atomic<bool> g_connected{false};
// Set on the receive thread: a request from there (a progress hook, say) could never see its reply.
thread_local bool t_onReceiveThread = false;
std::atomic<unsigned> g_intervalMs{kVADConnectIntervalMs};
std::atomic<unsigned> g_firstLaunchAttempt{0};
std::atomic<VADProgressFn> g_progress{nullptr};

// Fails every waiting transaction and every pending web request; the link counts as down from here on.
void Drop()
{
    Link& l = L();
    std::lock_guard lk(l.state);
    g_connected = false;
    for (auto& [id, w] : l.waiters)
    {
        if (!w->done)
        {
            w->done = true;
            w->status = kVADStatusLinkDropped;
            w->body.clear();
            w->wake.notify_all();
        }
    }
    for (auto& [id, r] : l.web)
    {
        if (!r.complete)
        {
            r.complete = 1;
            r.result[0] = kVADWebResultLinkDropped;
        }
    }
    l.changed.notify_all();
}

void RunJobOnMainThread(const VADBytes& job)
{
    CommandHostCallbackFn fn = CommandHostCallbackSlot.load();
    if (!fn) return;
    TBuffer in(job.data(), job.size());
    TBuffer reply;
    fn(in, reply);
    // Always answered, so the daemon never waits for a job the host could not read.
    VADSendAsyncRequest(VAD_REQ_JOB_REPLY, reply);
}

void Dispatch(const VADFrameHeader& h, VADBytes& payload)
{
    Link& l = L();
    if (h.code == kVADHelloCode) return;
    if (h.code & kVADReplyBit)
    {
        std::lock_guard lk(l.state);
        auto it = l.waiters.find(h.transaction);
        if (it == l.waiters.end() || it->second->done || it->second->code != (h.code & ~kVADReplyBit))
        {
            LogPrintf("VADClient> reply 0x%X for unknown transaction %u ignored", h.code, h.transaction);
            return;
        }
        Waiter& w = *it->second;
        if (!VADDecodeReplyPayload(payload, w.status, w.body)) w.status = kVADStatusBadPayload;
        w.done = true;
        w.wake.notify_all();
        return;
    }
    switch (h.code)
    {
    case VAD_NOTIFY_RESULT:
    {
        VADResultNotification n;
        if (!VADDecode(payload, n))
        {
            LogPrintf("VADClient> malformed result for transaction %u ignored", h.transaction);
            return;
        }
        // Posted under the state lock: the transaction cannot finish (and its log cannot go away) meanwhile.
        std::lock_guard lk(l.state);
        auto it = l.waiters.find(h.transaction);
        if (it != l.waiters.end() && !it->second->done && it->second->log) VADPostNotifiedResult(*it->second->log, n);
        return;
    }
    case VAD_NOTIFY_JOB:
    {
        if (!CommandHostCallbackSlot.load()) return;
        VADBytes job = std::move(payload);
        PostMainThreadWork([job]() { RunJobOnMainThread(job); });
        return;
    }
    case VAD_NOTIFY_WEB_REPLY:
    {
        VADWebReplyNotification n;
        if (!VADDecode(payload, n)) return;
        std::lock_guard lk(l.state);
        auto it = l.web.find(VADRequestId{n.idHigh, n.idLow});
        if (it == l.web.end()) return;
        VADRequestReply& r = it->second;
        r.complete = n.complete ? 1 : 0;
        for (int i = 0; i < 3; ++i) r.result[i] = n.words[i];
        r.path = Orvo::File::Path(n.path);
        r.name = Orvo::PString(n.name);
        r.text = Orvo::String(n.text);
        l.changed.notify_all();
        return;
    }
    case VAD_NOTIFY_PROGRESS:
    {
        VADProgressNotification n;
        if (!VADDecode(payload, n)) return;
        if (VADProgressFn fn = g_progress.load())
            fn(n.text.c_str());
        else
            LogPrintf("VADDaemon> %s", n.text.c_str());
        return;
    }
    default: return;
    }
}

void ReceiveLoop()
{
    t_onReceiveThread = true;
    Link& l = L();
    for (;;)
    {
        VADFrameHeader h;
        VADBytes payload;
        VADFrameRead r = VADReceiveFrame(l.socket, h, payload);
        if (r == VADFrameRead::kTooLarge)
            LogPrintf("VADClient> frame of %u bytes refused; dropping the connection", h.length);
        if (r != VADFrameRead::kOk) break;
        Dispatch(h, payload);
    }
    l.socket.Shutdown();
    Drop();
}

// Joins a receive thread that has ended (or is ending) and closes its socket.
void CleanUpLink()
{
    Link& l = L();
    std::thread t;
    {
        std::lock_guard lk(l.state);
        if (l.socket.IsValid()) l.socket.Shutdown();
        t = std::move(l.receiver);
    }
    if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
    std::lock_guard ls(l.send);
    std::lock_guard lk(l.state);
    l.socket.Close();
}

std::string RealRoot(const std::string& root)
{
    char buf[PATH_MAX];
    if (!root.empty() && realpath(root.c_str(), buf)) return buf;
    return root;
}

std::string ProgramName()
{
    std::string exe = Platform::ExecutablePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

enum class Attempt
{
    kConnected,
    kNoDaemon,      // no block, an unreadable one, or one whose process has ended: nobody is starting one
    kNotAnswering,  // a live daemon that is starting, closing or does not complete the hello
};

// One connection attempt: the discovery block, the socket, the hello. Starts the receive thread on success.
Attempt TryConnect(const std::string& root, uint8_t clientFlag)
{
    Platform::SharedMemoryBlock block;
    if (!block.Open(VADDiscoveryName(static_cast<uint32_t>(getuid()), RealRoot(root)), false))
        return Attempt::kNoDaemon;
    uint8_t raw[kVADDiscoveryBlockSize];
    VADDiscoveryBlock info;
    if (!block.Read(0, raw, sizeof raw) || !VADDecodeDiscoveryBlock(raw, info)) return Attempt::kNoDaemon;
    block.Close();
    if (info.pid == 0 || info.pid > INT_MAX || !Platform::IsProcessAlive(static_cast<int>(info.pid)))
        return Attempt::kNoDaemon;
    if (info.state != VAD_STATE_LISTENING && info.state != VAD_STATE_READY) return Attempt::kNotAnswering;
    if (info.port == 0) return Attempt::kNotAnswering;

    Platform::Socket s = Platform::Socket::Connect(info.port, kConnectTimeoutMs);
    if (!s.IsValid()) return Attempt::kNotAnswering;
    s.SetNoDelay(true);

    VADHello hello;
    hello.clientFlag = clientFlag;
    hello.token = info.token;
    hello.pid = static_cast<uint32_t>(Platform::CurrentProcessId());
    hello.program = ProgramName();
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHello(hello), kVADHelloTimeoutMs)) return Attempt::kNotAnswering;
    VADFrameHeader h;
    VADBytes payload;
    if (VADReceiveFrame(s, h, payload, kVADHelloTimeoutMs, kVADMaxHelloPayload) != VADFrameRead::kOk ||
        h.code != kVADHelloCode)
        return Attempt::kNotAnswering;
    VADHelloReply reply;
    if (!VADDecodeHelloReply(payload, reply) || reply.status != kVADStatusOK || reply.protocol != kVADProtocolVersion)
        return Attempt::kNotAnswering;

    Link& l = L();
    {
        std::lock_guard ls(l.send);
        std::lock_guard lk(l.state);
        l.socket = std::move(s);
        g_connected = true;
    }
    l.receiver = std::thread(ReceiveLoop);
    return Attempt::kConnected;
}

// Daemons this process started. A second one for the same root ends at once (the root is locked): it is
// reaped so that it does not linger as a zombie beside a long-running tool.
std::mutex g_launchedMutex;
std::vector<int> g_launched;

void ReapLaunchedDaemons()
{
    std::lock_guard lk(g_launchedMutex);
    std::erase_if(g_launched,
                  [](int pid) { return Platform::WaitForProcess(pid, 0) != Platform::WaitResult::TimedOut; });
}

void LaunchDaemon(const std::string& root)
{
    ReapLaunchedDaemons();
    std::string exe = root.empty() ? std::string("bin/VADDaemon") : root + "/bin/VADDaemon";
    Platform::LaunchResult r = Platform::LaunchProcess(exe, {}, root, Platform::kLaunchNoConsole);
    if (!r)
    {
        LogPrintf("VADOpenDatabase> unable to start '%s': %s", exe.c_str(), r.error.c_str());
        return;
    }
    std::lock_guard lk(g_launchedMutex);
    g_launched.push_back(r.pid);
}

bool PerformRaw(uint32_t code, const uint8_t* req, size_t n, VADBytes& body, ResultsLog* log, int32_t* status)
{
    Link& l = L();
    auto fail = [&](int32_t st) {
        body.clear();
        if (status) *status = st;
        return false;
    };
    if (!g_connected || t_onReceiveThread) return fail(kVADStatusLinkDropped);
    if (n > kVADMaxPayload) return fail(kVADStatusBadPayload);

    Waiter w;
    w.code = code;
    w.log = log;
    uint32_t id;
    {
        std::lock_guard lk(l.state);
        if (!g_connected) return fail(kVADStatusLinkDropped);
        do
        {
            id = l.nextId++;
        } while (id == 0 || l.waiters.count(id));
        l.waiters[id] = &w;
    }
    VADBytes frame = VADEncodeFrame(code, id, req, n);
    bool sent;
    {
        std::lock_guard ls(l.send);
        sent = l.socket.SendAll(frame.data(), frame.size(), kSendTimeoutMs) == Platform::IoResult::Ok;
        if (!sent) l.socket.Shutdown();
    }
    if (!sent) Drop();
    {
        std::unique_lock lk(l.state);
        w.wake.wait(lk, [&] { return w.done; });
        l.waiters.erase(id);
    }
    if (status) *status = w.status;
    body = std::move(w.body);
    return w.status >= 0;
}

bool SendAsyncRaw(uint32_t code, const uint8_t* data, size_t n)
{
    Link& l = L();
    if (!g_connected || n > kVADMaxPayload) return false;
    VADBytes frame = VADEncodeFrame(code, 0, data, n);
    bool sent;
    {
        std::lock_guard ls(l.send);
        if (!g_connected) return false;
        sent = l.socket.SendAll(frame.data(), frame.size(), kSendTimeoutMs) == Platform::IoResult::Ok;
        if (!sent) l.socket.Shutdown();
    }
    if (!sent) Drop();
    return sent;
}

}  // namespace

bool VADClientConnected() { return g_connected.load(); }

void VADSetConnectIntervalMs(unsigned ms) { g_intervalMs = ms; }

unsigned VADLastLaunchAttempt() { return g_firstLaunchAttempt.load(); }

void VADSetProgressHook(VADProgressFn fn) { g_progress = fn; }

void VADSetDaemonRoot(const std::string& root)
{
    Link& l = L();
    std::lock_guard lk(l.state);
    l.root = root;
}

std::string VADGetDaemonRoot()
{
    {
        Link& l = L();
        std::lock_guard lk(l.state);
        if (!l.root.empty()) return l.root;
    }
    return GetInstallationPath().str();
}

bool VADOpenDatabase(VADConnectionSettings& settings)
{
    if (g_connected) return true;
    CleanUpLink();
    std::string root = VADGetDaemonRoot();
    g_firstLaunchAttempt = 0;
    auto launch = [&](unsigned attempt) {
        if (g_firstLaunchAttempt == 0) g_firstLaunchAttempt = attempt;
        LaunchDaemon(root);
    };
    for (unsigned attempt = 1; attempt <= kVADConnectAttempts; ++attempt)
    {
        settings.counter = attempt;
        if (attempt > 1) SleepMs(g_intervalMs.load());
        // A daemon that exists but does not answer may still be coming up: it gets until the 5th attempt.
        if ((attempt == 5 || attempt == 10) && settings.startDaemon) launch(attempt);
        Attempt r = TryConnect(root, settings.clientFlag);
        if (r == Attempt::kConnected)
        {
            ReapLaunchedDaemons();
            Link& l = L();
            std::lock_guard lk(l.state);
            l.settings = settings;
            return true;
        }
        // Nobody is starting one: waiting for it would only cost the caller seconds.
        if (r == Attempt::kNoDaemon && settings.startDaemon && g_firstLaunchAttempt == 0) launch(attempt);
    }
    ReapLaunchedDaemons();
    LogPrintf("VADOpenDatabase> unable to connect to VADDaemon");
    return false;
}

void VADCloseDatabase()
{
    CleanUpLink();
    Drop();
    Link& l = L();
    std::lock_guard lk(l.state);
    l.settings.Reset();
    l.web.clear();
}

void VADCloseDaemon(uint8_t flag)
{
    Link& l = L();
    {
        std::lock_guard lk(l.state);
        l.settings.startDaemon = 0;
    }
    if (!g_connected)
    {
        // One plain attempt: a daemon that is not running has nothing to close.
        CleanUpLink();
        if (TryConnect(VADGetDaemonRoot(), 1) != Attempt::kConnected) return;
    }
    VADSendAsyncRequest(VAD_REQ_CLOSE_DAEMON, VADEncode(VADValueRequest{flag ? 1 : 0}));
    {
        std::unique_lock lk(l.state);
        l.changed.wait_for(lk, std::chrono::milliseconds(kVADCloseWaitMs), [] { return !g_connected.load(); });
    }
    VADCloseDatabase();
}

bool VADPerformTransaction(uint32_t code, const VADBytes& request, VADBytes& reply, ResultsLog* log, int32_t* status)
{
    return PerformRaw(code, request.data(), request.size(), reply, log, status);
}

bool VADPerformTransaction(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log, int32_t* status)
{
    VADBytes body;
    bool ok = PerformRaw(code, request.Data(), request.Bytes().size(), body, log, status);
    reply.Clear();
    if (!body.empty()) reply.Write(body.data(), body.size());
    reply.Seek(0);
    return ok;
}

bool VADSendAsyncRequest(uint32_t code, const TBuffer& payload)
{
    return SendAsyncRaw(code, payload.Data(), payload.Bytes().size());
}

bool VADSendAsyncRequest(uint32_t code, const VADBytes& payload)
{
    return SendAsyncRaw(code, payload.data(), payload.size());
}

bool VADBeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id)
{
    Link& l = L();
    if (!g_connected) return false;
    {
        std::lock_guard lk(l.state);
        id.high = static_cast<uint32_t>(Platform::CurrentProcessId());
        id.low = l.nextWebId++;
        l.web[id] = VADRequestReply();
    }
    VADWriter w;
    w.U32(id.high);
    w.U32(id.low);
    w.Raw(body.data(), body.size());
    if (SendAsyncRaw(code, w.Bytes().data(), w.Size())) return true;
    std::lock_guard lk(l.state);
    l.web.erase(id);
    return false;
}

bool VADPollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove)
{
    Link& l = L();
    std::lock_guard lk(l.state);
    auto it = l.web.find(id);
    if (it == l.web.end() || !it->second.complete) return false;
    out = it->second;
    if (remove) l.web.erase(it);
    return true;
}

bool VADWaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs)
{
    Link& l = L();
    std::unique_lock lk(l.state);
    auto ready = [&] {
        auto it = l.web.find(id);
        return it == l.web.end() || it->second.complete;
    };
    l.changed.wait_for(lk, std::chrono::milliseconds(timeoutMs), ready);
    auto it = l.web.find(id);
    if (it == l.web.end() || !it->second.complete) return false;
    out = it->second;
    l.web.erase(it);
    return true;
}
