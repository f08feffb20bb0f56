#include "assetdb/VADConnection.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/VADDaemonLaunch.h"
#include "assetdb/VADDiscovery.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADRequestBounds.h"
#include "assetdb/VADResultRouting.h"
#include "core/CoreTime.h"
#include "core/LogPrintf.h"
#include "core/MainThreadPost.h"
#include "core/TBuffer.h"
#include "core/VelmarWorker.h"
#include "platform/Process.h"
#include "platform/Socket.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

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

enum class Attempt
{
    kConnected,
    kNoDaemon,      // no block, an unreadable one, or one whose process has ended or is not ours: nobody is
                    // starting one
    kNotAnswering,  // a live daemon that is starting or closing
    kStuck,         // a live daemon took the connection but did not answer the hello in time
    kImpostor,      // what listens on the block's port is not our daemon: the block counts as absent
};

std::string ProgramName()
{
    std::string exe = Platform::ExecutablePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

// Requests that only mean something on the link they were made for: never reopened for.
bool BoundToItsLink(uint32_t code)
{
    return code == VAD_REQ_RELEASE_EDIT_HANDLE || code == VAD_REQ_JOB_REPLY || code == VAD_REQ_PUT_BACK_HELD;
}

std::string Quoted(uint32_t code) { return std::string("\"") + VADRequestName(code) + "\""; }

// Requests whose outcome a confirm (request 237) of their link tells, and the confirm itself: when the daemon they
// went to stops, what they asked may not be done, and no other daemon is asked in their place.
bool ConfirmedOnItsLink(uint32_t code)
{
    switch (code)
    {
    case VAD_REQ_CONFIRM_SENT:
    case VAD_REQ_SET_KEYWORDS:
    case VAD_REQ_FAVOURITE:
    case VAD_REQ_SET_SETTING_INT:
    case VAD_REQ_FLAG_REPAIR:
    case VAD_REQ_ANALYTICS_HIT: return true;
    default: return false;
    }
}

std::string StoppedBeforeConfirmText()
{
    return "The asset database daemon stopped before it confirmed the requests this run sent it: what they asked "
           "may not have been carried out, and nothing was sent to another daemon in their place.";
}

}  // namespace

struct VADConnection::Link
{
    std::mutex state;  // everything below except the sending side of the socket and the atomics
    std::condition_variable changed;
    std::mutex send;     // the transaction core: one frame on the wire at a time
    std::mutex opening;  // one Open or reopening at a time
    Platform::Socket socket;
    std::thread receiver;
    std::atomic<std::thread::id> receiverId{};
    std::map<uint32_t, Waiter*> waiters;
    uint32_t nextId = 1;
    std::map<VADRequestId, VADRequestReply> web;
    uint32_t nextWebId = 1;
    VADConnectionSettings settings;
    bool haveSettings = false;  // Open was called and Close was not: the link may be reopened
    bool reopenFailed = false;  // a reopening failed since ClearLinkFailure: fail at once
    VADLinkFailure failure = VADLinkFailure::kNone;
    std::string failureText;
    std::string root;
    uint64_t number = 0;         // the link made last: each hello that succeeds makes the next one
    uint64_t sentWithoutId = 0;  // requests sent with transaction id 0 on that link (under `send`)
    uint64_t pinnedTo = 0;       // requests go over this link alone (0: over any, reopened on demand)
    std::string pinnedFor;       // what the daemon at its other end holds for the run

    std::atomic<bool> connected{false};
    std::atomic<bool> reopen{true};
    std::atomic<unsigned> intervalMs{kVADConnectIntervalMs};
    std::atomic<unsigned> boundCapMs{0};
    std::atomic<unsigned> firstLaunchAttempt{0};
    std::atomic<VADProgressFn> progress{nullptr};
    CommandHostCallbackFn hostCallback;  // under `state`
    std::atomic<bool> hosting{false};    // a host callback is set

    // Daemons this link started. A second one for the same root ends at once (the root is locked): it is
    // reaped so that it does not linger as a zombie beside a long-running tool. One that cannot start ends
    // the waiting for it with its reason.
    VADLaunchedDaemons daemons;

    bool OnReceiveThread() const { return receiverId.load() == std::this_thread::get_id(); }

    std::string Root()
    {
        {
            std::lock_guard lk(state);
            if (!root.empty()) return root;
        }
        return GetInstallationPath().str();
    }

    void RecordFailure(VADLinkFailure kind, std::string text)
    {
        std::lock_guard lk(state);
        if (failure != VADLinkFailure::kNone) return;  // the first failure of a command is the one to report
        failure = kind;
        failureText = std::move(text);
        LogPrintf("VADClient> %s", failureText.c_str());
    }

    // Fails every waiting transaction and every pending web request; the link counts as down from here on.
    void Drop()
    {
        std::lock_guard lk(state);
        connected = false;
        for (auto& [id, w] : waiters)
        {
            if (!w->done)
            {
                w->done = true;
                w->status = kVADStatusLinkDropped;
                w->body.clear();
                w->wake.notify_all();
            }
        }
        for (auto& [id, r] : web)
        {
            if (!r.complete)
            {
                r.complete = 1;
                r.result[0] = kVADWebResultLinkDropped;
            }
        }
        changed.notify_all();
    }

    void RunJobOnMainThread(const VADBytes& job)
    {
        CommandHostCallbackFn fn;
        {
            std::lock_guard lk(state);
            fn = hostCallback;
        }
        if (!fn) return;
        TBuffer in(job.data(), job.size());
        TBuffer reply;
        fn(in, reply);
        // Always answered, so the daemon never waits for a job the host could not read.
        SendAsync(VAD_REQ_JOB_REPLY, reply.Data(), reply.Bytes().size());
    }

    void Dispatch(const VADFrameHeader& h, VADBytes& payload)
    {
        if (h.code == kVADHelloCode) return;
        if (h.code & kVADReplyBit)
        {
            std::lock_guard lk(state);
            auto it = waiters.find(h.transaction);
            if (it == waiters.end() || it->second->done || it->second->code != (h.code & ~kVADReplyBit))
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
            std::lock_guard lk(state);
            auto it = waiters.find(h.transaction);
            if (it != waiters.end() && !it->second->done && it->second->log) VADPostNotifiedResult(*it->second->log, n);
            return;
        }
        case VAD_NOTIFY_JOB:
        {
            if (!hosting.load()) return;
            VADBytes job = std::move(payload);
            PostMainThreadWork([this, job]() { RunJobOnMainThread(job); }, JobId());
            return;
        }
        case VAD_NOTIFY_WEB_REPLY:
        {
            VADWebReplyNotification n;
            if (!VADDecode(payload, n)) return;
            std::lock_guard lk(state);
            auto it = web.find(VADRequestId{n.idHigh, n.idLow});
            if (it == web.end()) return;
            VADRequestReply& r = it->second;
            r.complete = n.complete ? 1 : 0;
            for (int i = 0; i < 3; ++i) r.result[i] = n.words[i];
            r.path = Orvo::File::Path(n.path);
            r.name = Orvo::PString(n.name);
            r.text = Orvo::String(n.text);
            changed.notify_all();
            return;
        }
        case VAD_NOTIFY_PROGRESS:
        {
            VADProgressNotification n;
            if (!VADDecode(payload, n)) return;
            if (VADProgressFn fn = progress.load())
                fn(n.text.c_str());
            else
                LogPrintf("VADDaemon> %s", n.text.c_str());
            return;
        }
        default: return;
        }
    }

    // Queued command-host jobs carry this id, so that the link's end can drop those still waiting.
    uintptr_t JobId() const { return reinterpret_cast<uintptr_t>(this); }

    void ReceiveLoop()
    {
        receiverId = std::this_thread::get_id();
        for (;;)
        {
            VADFrameHeader h;
            VADBytes payload;
            VADFrameRead r = VADReceiveFrame(socket, h, payload);
            if (r == VADFrameRead::kTooLarge)
                LogPrintf("VADClient> frame of %u bytes refused; dropping the connection", h.length);
            if (r != VADFrameRead::kOk) break;
            Dispatch(h, payload);
        }
        socket.Shutdown();
        Drop();
    }

    // Joins a receive thread that has ended (or is ending) and closes its socket.
    void CleanUp()
    {
        std::thread t;
        {
            std::lock_guard lk(state);
            if (socket.IsValid()) socket.Shutdown();
            t = std::move(receiver);
        }
        if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
        receiverId = std::thread::id();
        std::lock_guard ls(send);
        std::lock_guard lk(state);
        socket.Close();
    }

    static bool TakesConnections(const VADDiscoveryBlock& info)
    {
        return (info.state == VAD_STATE_LISTENING || info.state == VAD_STATE_READY) && info.port != 0;
    }

    // The pause between two attempts. While a daemon this link started is coming up, the pause ends as soon
    // as its discovery block says it takes connections (a cold start costs the daemon's start, not a whole
    // interval). Otherwise, and when the block said so already as the pause began (the attempt just made
    // failed against it), the pause is the whole interval, so the time a failure takes does not change.
    void PauseBetweenAttempts(const std::string& where)
    {
        const unsigned interval = intervalMs.load();
        const std::vector<int> ours = daemons.Running();
        // A daemon of ours that ended instead (it could not start) ends the pause too.
        auto readyNow = [&] {
            VADDiscoveryBlock info;
            return daemons.Reap() || (VADFindDiscoveryBlockForRoot(where, info) && TakesConnections(info) &&
                                      std::find(ours.begin(), ours.end(), static_cast<int>(info.pid)) != ours.end());
        };
        if (ours.empty() || readyNow())
        {
            SleepMs(interval);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval);
        // The block is polled, briefly at first: a daemon is usually ready within a few milliseconds.
        auto step = std::chrono::microseconds(250);
        for (;;)
        {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(step, deadline - now));
            if (readyNow()) return;
            step = std::min(step * 2, std::chrono::microseconds(1000));
        }
    }

    // One connection attempt: the discovery block, the socket, the hello. Starts the receive thread on success.
    Attempt TryConnect(const std::string& where, uint8_t clientFlag)
    {
        VADDiscoveryBlock info;
        if (!VADFindDiscoveryBlockForRoot(where, info)) return Attempt::kNoDaemon;
        if (info.state != VAD_STATE_LISTENING && info.state != VAD_STATE_READY) return Attempt::kNotAnswering;
        if (info.port == 0) return Attempt::kNotAnswering;

        Platform::Socket s = Platform::Socket::Connect(info.port, kConnectTimeoutMs);
        if (!s.IsValid()) return Attempt::kNotAnswering;
        s.SetNoDelay(true);
        // A listener of another user took a dead daemon's port: not a word goes to it.
        uint32_t listenerUid = 0;
        if (s.PeerUid(listenerUid) && listenerUid != static_cast<uint32_t>(geteuid()))
        {
            LogPrintf("VADOpenDatabase> port %u belongs to user %u, not to our VADDaemon", info.port, listenerUid);
            return Attempt::kImpostor;
        }
        // Nor to a listener that the block's process does not hold (its pid reused by another of ours).
        if (Platform::ProcessListensOn(static_cast<int>(info.pid), info.port) == Platform::ListenerHolder::kNo)
        {
            LogPrintf("VADOpenDatabase> port %u is not held by process %u of the discovery block", info.port, info.pid);
            return Attempt::kImpostor;
        }

        VADHello hello;
        hello.clientFlag = clientFlag;
        hello.pid = static_cast<uint32_t>(Platform::CurrentProcessId());
        hello.program = ProgramName();
        switch (VADClientHandshake(s, info.token, hello, kVADHelloTimeoutMs))
        {
        case VADHandshake::kAccepted: break;
        // Taken but never answered: the daemon is stopped or deadlocked, and waiting longer would hang us.
        case VADHandshake::kNoAnswer: return Attempt::kStuck;
        case VADHandshake::kClosed:
        case VADHandshake::kRefused:
            // A daemon that closed on us and took its block away is gone (its installation was removed, say):
            // nobody is starting one.
            return VADFindDiscoveryBlockForRoot(where, info) ? Attempt::kNotAnswering : Attempt::kNoDaemon;
        case VADHandshake::kUnproven:
            LogPrintf("VADOpenDatabase> the listener on port %u does not know the daemon's token", info.port);
            return Attempt::kImpostor;
        }

        {
            std::lock_guard ls(send);
            std::lock_guard lk(state);
            socket = std::move(s);
            connected = true;
            ++number;
            sentWithoutId = 0;
        }
        receiver = std::thread([this] { ReceiveLoop(); });
        return Attempt::kConnected;
    }

    // True when a daemon this link started could not start (its reason is the failure).
    bool ReapLaunchedDaemons() { return daemons.Reap(); }

    void LaunchDaemon(const std::string& where)
    {
        ReapLaunchedDaemons();
        std::string exe = where.empty() ? std::string("bin/VADDaemon") : where + "/bin/VADDaemon";
        daemons.Launch(exe, where);
    }

    // The waiting for a daemon is over: what the running ones say from now on is not heard.
    void DoneWaiting()
    {
        ReapLaunchedDaemons();
        daemons.StopListening();
    }

    bool Open(VADConnectionSettings& s)
    {
        std::lock_guard o(opening);
        if (connected) return true;
        CleanUp();
        const std::string where = Root();
        {
            std::lock_guard lk(state);
            settings = s;
            haveSettings = true;
            reopenFailed = false;
        }
        firstLaunchAttempt = 0;
        daemons.ClearFailure();
        auto launch = [&](unsigned attempt) {
            if (firstLaunchAttempt == 0) firstLaunchAttempt = attempt;
            LaunchDaemon(where);
        };
        for (unsigned attempt = 1; attempt <= kVADConnectAttempts; ++attempt)
        {
            s.counter = attempt;
            if (attempt > 1) PauseBetweenAttempts(where);
            // A daemon started here that could not start: it said why, and waiting longer would change nothing.
            if (ReapLaunchedDaemons()) break;
            // A daemon that exists but does not answer may still be coming up: it gets until the 5th attempt.
            if ((attempt == 5 || attempt == 10) && s.startDaemon) launch(attempt);
            const Attempt r = TryConnect(where, s.clientFlag);
            if (r == Attempt::kConnected)
            {
                DoneWaiting();
                std::lock_guard lk(state);
                settings = s;
                return true;
            }
            if (r == Attempt::kStuck)
            {
                LogPrintf("VADOpenDatabase> VADDaemon takes connections but does not answer");
                break;
            }
            // Nobody is starting one: waiting for it would only cost the caller seconds. A block whose
            // listener is not our daemon is a dead daemon's: the new one replaces it.
            if ((r == Attempt::kNoDaemon || r == Attempt::kImpostor) && s.startDaemon && firstLaunchAttempt == 0)
                launch(attempt);
        }
        DoneWaiting();
        LogPrintf("VADOpenDatabase> unable to connect to VADDaemon");
        return false;
    }

    bool OpenOnce(uint8_t clientFlag)
    {
        std::lock_guard o(opening);
        if (connected) return true;
        CleanUp();
        {
            std::lock_guard lk(state);
            settings.Reset();
            settings.startDaemon = 0;
            settings.clientFlag = clientFlag;
            haveSettings = true;
            reopenFailed = false;
        }
        return TryConnect(Root(), clientFlag) == Attempt::kConnected;
    }

    // Whether a request may go over the link there is now: one bound to link `onlyOn` (or to the pinned link) goes
    // over that link alone, and fails when it is gone, said once as the command's link failure; what the daemon at
    // its other end held for the run is not what another daemon holds. Under `state`.
    bool OnItsLinkLocked(uint32_t code, uint64_t onlyOn)
    {
        const uint64_t only = onlyOn != 0 ? onlyOn : pinnedTo;
        if (only == 0 || (connected && number == only)) return true;
        if (failure == VADLinkFailure::kNone)
        {
            failure = VADLinkFailure::kDropped;
            if (onlyOn != 0 && ConfirmedOnItsLink(code))
                failureText = StoppedBeforeConfirmText();
            else
                failureText = "The asset database daemon that held " +
                              (onlyOn != 0 || pinnedFor.empty() ? std::string("an asset it opened") : pinnedFor) +
                              " for this run stopped: " + Quoted(code) + " was not carried out, nor sent to another.";
            LogPrintf("VADClient> %s", failureText.c_str());
        }
        return false;
    }

    // Opens the link again for a request when it went away: up to kVADReopenAttempts attempts, the first
    // at once, the daemon launched before the second when auto-start is on. A request bound to a link (`onlyOn`,
    // or the pinned one) is never carried to another.
    bool EnsureLink(uint32_t code, uint64_t onlyOn = 0)
    {
        {
            std::lock_guard lk(state);
            if (!OnItsLinkLocked(code, onlyOn)) return false;
        }
        if (connected) return true;
        if (OnReceiveThread() || BoundToItsLink(code) || !reopen.load()) return false;
        std::lock_guard o(opening);
        if (connected) return true;
        VADConnectionSettings s;
        {
            std::lock_guard lk(state);
            if (!haveSettings)
            {
                failure = failure == VADLinkFailure::kNone ? VADLinkFailure::kUnreachable : failure;
                if (failureText.empty())
                    failureText =
                        "There is no link to the asset database daemon: " + Quoted(code) + " was not carried out.";
                return false;
            }
            if (reopenFailed) return false;
            s = settings;
        }
        CleanUp();
        const std::string where = Root();
        daemons.ClearFailure();
        Attempt r = Attempt::kNoDaemon;
        for (unsigned attempt = 1; attempt <= kVADReopenAttempts; ++attempt)
        {
            if (attempt > 1) PauseBetweenAttempts(where);
            if (ReapLaunchedDaemons()) break;
            if (attempt == 2 && s.startDaemon) LaunchDaemon(where);
            r = TryConnect(where, s.clientFlag);
            if (r == Attempt::kConnected)
            {
                DoneWaiting();
                LogPrintf("VADClient> link to VADDaemon reopened");
                return true;
            }
            if (r == Attempt::kStuck) break;
            // Nobody is starting one.
            if ((r == Attempt::kNoDaemon || r == Attempt::kImpostor) && !s.startDaemon) break;
        }
        DoneWaiting();
        {
            std::lock_guard lk(state);
            reopenFailed = true;
        }
        std::string why = daemons.Failure();
        if (!why.empty())
        {
            RecordFailure(VADLinkFailure::kUnreachable, why + "; " + Quoted(code) + " was not carried out.");
            return false;
        }
        if (r == Attempt::kStuck)
            why = "The asset database daemon takes connections but does not answer";
        else if (!s.startDaemon)
            why = "The asset database daemon is not running, and this run does not start it";
        else
            why = "The asset database daemon could not be reached or started";
        RecordFailure(VADLinkFailure::kUnreachable, why + ": " + Quoted(code) + " was not carried out.");
        return false;
    }

    unsigned BoundMs(uint32_t code) const
    {
        const unsigned cap = boundCapMs.load();
        const unsigned bound = VADRequestBoundMs(code);
        return cap != 0 ? std::min(cap, bound) : bound;
    }

    bool Perform(uint32_t code, const uint8_t* req, size_t n, VADBytes& body, ResultsLog* log, int32_t* status,
                 uint64_t onlyOn)
    {
        auto fail = [&](int32_t st) {
            body.clear();
            if (status) *status = st;
            return false;
        };
        if (n > kVADMaxPayload) return fail(kVADStatusBadPayload);
        // A request from the receive thread (a progress hook, say) could never see its reply.
        if (OnReceiveThread()) return fail(kVADStatusLinkDropped);
        if (!EnsureLink(code, onlyOn)) return fail(kVADStatusLinkDropped);

        Waiter w;
        w.code = code;
        w.log = log;
        uint32_t id;
        {
            std::lock_guard lk(state);
            if (!OnItsLinkLocked(code, onlyOn)) return fail(kVADStatusLinkDropped);
            if (!connected)
            {
                if (failure == VADLinkFailure::kNone)
                {
                    failure = VADLinkFailure::kDropped;
                    failureText = "The asset database daemon closed the link before " + Quoted(code) +
                                  " was sent: it was not carried out.";
                }
                return fail(kVADStatusLinkDropped);
            }
            do
            {
                id = nextId++;
            } while (id == 0 || waiters.count(id));
            waiters[id] = &w;
        }
        VADBytes frame = VADEncodeFrame(code, id, req, n);
        bool sent;
        {
            std::lock_guard ls(send);
            sent = socket.SendAll(frame.data(), frame.size(), kSendTimeoutMs) == Platform::IoResult::Ok;
            if (!sent) socket.Shutdown();
        }
        if (!sent) Drop();
        const unsigned boundMs = BoundMs(code);
        bool answered;
        {
            std::unique_lock lk(state);
            answered = w.wake.wait_for(lk, std::chrono::milliseconds(boundMs), [&] { return w.done; });
            waiters.erase(id);
        }
        if (!answered)
        {
            // Taken as stuck: the link goes, so that later requests do not wait on it again.
            {
                std::lock_guard ls(send);
                socket.Shutdown();
            }
            char text[256];
            std::snprintf(text, sizeof text,
                          "The asset database daemon did not answer %s within %u seconds; the link to it was closed.",
                          Quoted(code).c_str(), (boundMs + 999) / 1000);
            RecordFailure(VADLinkFailure::kTimedOut, text);
            return fail(kVADStatusTimedOut);
        }
        if (w.status == kVADStatusLinkDropped)
            RecordFailure(VADLinkFailure::kDropped, code == VAD_REQ_CONFIRM_SENT
                                                        ? StoppedBeforeConfirmText()
                                                        : "The asset database daemon closed the link during " +
                                                              Quoted(code) + ": it may not have been carried out.");
        if (status) *status = w.status;
        body = std::move(w.body);
        return w.status >= 0;
    }

    bool SendAsync(uint32_t code, const uint8_t* data, size_t n, uint64_t onlyOn = 0, VADSentAt* at = nullptr)
    {
        if (n > kVADMaxPayload || !EnsureLink(code, onlyOn)) return false;
        VADBytes frame = VADEncodeFrame(code, 0, data, n);
        bool sent;
        {
            std::lock_guard ls(send);
            if (!connected) return false;
            {
                std::lock_guard lk(state);
                if (!OnItsLinkLocked(code, onlyOn)) return false;
                // Counted as the daemon counts them, in the order they go on the wire: a frame cut short ends the
                // link, and with it every count of it.
                ++sentWithoutId;
                if (at) *at = VADSentAt{number, sentWithoutId};
            }
            sent = socket.SendAll(frame.data(), frame.size(), kSendTimeoutMs) == Platform::IoResult::Ok;
            if (!sent) socket.Shutdown();
        }
        if (!sent)
        {
            Drop();
            if (!BoundToItsLink(code))
                RecordFailure(VADLinkFailure::kDropped,
                              "The asset database daemon closed the link: " + Quoted(code) + " was not sent.");
        }
        return sent;
    }
};

VADConnection::VADConnection() : link_(std::make_unique<Link>()) {}

VADConnection::~VADConnection()
{
    Close();
    VelmarWorker::CancelTasks(link_->JobId(), false);
}

VADStatus VADConnection::Open(VADConnectionSettings& settings)
{
    return VADStatus(link_->Open(settings) ? kVADStatusOK : kVADStatusLinkDropped);
}

VADStatus VADConnection::OpenOnce(uint8_t clientFlag)
{
    return VADStatus(link_->OpenOnce(clientFlag) ? kVADStatusOK : kVADStatusLinkDropped);
}

unsigned VADConnection::LastLaunchAttempt() const { return link_->firstLaunchAttempt.load(); }

std::string VADConnection::DaemonStartFailure() const { return link_->daemons.Failure(); }

void VADConnection::Close()
{
    Link& l = *link_;
    std::lock_guard o(l.opening);
    l.CleanUp();
    l.Drop();
    std::lock_guard lk(l.state);
    l.settings.Reset();
    l.haveSettings = false;
    l.web.clear();
}

void VADConnection::CloseDaemon(uint8_t flag)
{
    Link& l = *link_;
    {
        std::lock_guard lk(l.state);
        l.settings.startDaemon = 0;
    }
    // One plain attempt: a daemon that is not running has nothing to close (and is not started to be closed).
    if (!l.connected && !OpenOnce(1)) return;
    const VADBytes payload = VADEncode(VADValueRequest{flag ? 1 : 0});
    l.SendAsync(VAD_REQ_CLOSE_DAEMON, payload.data(), payload.size());
    {
        std::unique_lock lk(l.state);
        l.changed.wait_for(lk, std::chrono::milliseconds(kVADCloseWaitMs), [&] { return !l.connected.load(); });
    }
    // The settings stay (auto-start off): a later request looks for a daemon once and says it is not running.
    std::lock_guard o(l.opening);
    l.CleanUp();
    l.Drop();
}

bool VADConnection::Connected() const { return link_->connected.load(); }

VADStatus VADConnection::Perform(uint32_t code, const uint8_t* request, size_t n, VADBytes& body, ResultsLog* log,
                                 uint64_t onlyOnLink)
{
    int32_t status = kVADStatusOK;
    (void)link_->Perform(code, request, n, body, log, &status, onlyOnLink);  // the status says all the answer does
    return VADStatus(status);
}

VADStatus VADConnection::Perform(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log)
{
    VADBytes body;
    const VADStatus status = Perform(code, request.Data(), request.Bytes().size(), body, log);
    reply.Clear();
    if (!body.empty()) reply.Write(body.data(), body.size());
    reply.Seek(0);
    return status;
}

VADStatus VADConnection::SendAsync(uint32_t code, const uint8_t* data, size_t n, uint64_t onlyOnLink, VADSentAt* at)
{
    if (n > kVADMaxPayload) return VADStatus(kVADStatusBadPayload);
    return VADStatus(link_->SendAsync(code, data, n, onlyOnLink, at) ? kVADStatusOK : kVADStatusLinkDropped);
}

uint64_t VADConnection::LinkNumber() const
{
    std::lock_guard lk(link_->state);
    return link_->number;
}

void VADConnection::PinLink(uint64_t number, std::string what)
{
    std::lock_guard lk(link_->state);
    link_->pinnedTo = number;
    link_->pinnedFor = number != 0 ? std::move(what) : std::string();
}

VADStatus VADConnection::BeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id)
{
    Link& l = *link_;
    if (!l.EnsureLink(code)) return VADStatus(kVADStatusLinkDropped);
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
    if (l.SendAsync(code, w.Bytes().data(), w.Size())) return VADStatus();
    std::lock_guard lk(l.state);
    l.web.erase(id);
    return VADStatus(kVADStatusLinkDropped);
}

bool VADConnection::PollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove)
{
    Link& l = *link_;
    std::lock_guard lk(l.state);
    auto it = l.web.find(id);
    if (it == l.web.end() || !it->second.complete) return false;
    out = it->second;
    if (remove) l.web.erase(it);
    return true;
}

bool VADConnection::WaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs)
{
    Link& l = *link_;
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

VADLinkFailure VADConnection::LinkFailure() const
{
    std::lock_guard lk(link_->state);
    return link_->failure;
}

std::string VADConnection::LinkFailureText() const
{
    std::lock_guard lk(link_->state);
    return link_->failureText;
}

void VADConnection::ClearLinkFailure()
{
    std::lock_guard lk(link_->state);
    link_->failure = VADLinkFailure::kNone;
    link_->failureText.clear();
    link_->reopenFailed = false;
}

void VADConnection::SetCommandHostCallback(CommandHostCallbackFn fn)
{
    std::lock_guard lk(link_->state);
    link_->hosting = static_cast<bool>(fn);
    link_->hostCallback = std::move(fn);
}

bool VADConnection::HasCommandHostCallback() const { return link_->hosting.load(); }

void VADConnection::SetProgressHook(VADProgressFn fn) { link_->progress = fn; }

void VADConnection::SetRoot(const std::string& root)
{
    std::lock_guard lk(link_->state);
    link_->root = root;
}

std::string VADConnection::Root() const { return link_->Root(); }

void VADConnection::SetConnectIntervalMs(unsigned ms) { link_->intervalMs = ms; }

void VADConnection::SetReopenOnDemand(bool on) { link_->reopen = on; }

void VADConnection::SetBoundCapMs(unsigned ms) { link_->boundCapMs = ms; }
