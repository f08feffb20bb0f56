#pragma once
// The link to the VADDaemon of one installation, as an object its owner holds (the tool owns one for the
// whole run; tests own their own).
//
// Open finds the daemon through its discovery block (VADDiscovery.h), connects, says hello and starts the
// receive thread. The receive thread hands every reply to the transaction that waits for it (by
// transaction id, in any order), posts result notifications into the results log of their transaction
// (they arrive before its reply), queues command-host jobs for the main thread and files web replies. One
// lock serialises the sending side of the transaction core.
//
// Every wait is bounded (VADRequestBounds.h): a daemon that does not answer in time is taken as stuck and
// the link is closed. A link that went away is opened again on demand by the next request, with the
// settings of the last Open: up to 11 attempts, the daemon launched before the second when auto-start is
// on. A request that cannot be carried out for want of a link records one failure text (LinkFailure) that
// the caller reports once.
#include "assetdb/VADProtocol.h"
#include "assetdb/VADRequestReply.h"
#include "assetdb/VADStatus.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ResultsLog;
class TBuffer;
class TStream;

// A counter and five flag bytes. The third launches the daemon when it does not answer, the fifth is the
// client flag of the hello.
struct VADConnectionSettings
{
    uint32_t counter = 0;  // connection attempts made by the last Open
    uint8_t flag1 = 1;
    uint8_t flag2 = 1;
    uint8_t startDaemon = 1;  // third flag
    uint8_t flag4 = 1;
    uint8_t clientFlag = 1;  // fifth flag

    // Counter 0, all five flags 1.
    void Reset() { *this = VADConnectionSettings(); }
};

// The command-host job callback: (job stream, reply buffer).
using CommandHostCallbackFn = std::function<void(TStream& job, TBuffer& reply)>;
// Progress lines the daemon sends (notification 4).
using VADProgressFn = void (*)(const char* text);

// Where a request without reply went: the link (VADConnection::LinkNumber) and its ordinal among the requests sent
// with transaction id 0 on that link (1 for the first).
struct VADSentAt
{
    uint64_t link = 0;
    uint64_t ordinal = 0;
};

// Why the link failed a request.
enum class VADLinkFailure
{
    kNone,
    kUnreachable,  // no link, and none could be opened
    kDropped,      // the daemon closed the link while the request waited
    kTimedOut,     // the daemon did not answer within the request's bound
};

constexpr unsigned kVADConnectAttempts = 21;
constexpr unsigned kVADReopenAttempts = 11;
constexpr unsigned kVADConnectIntervalMs = 1000;
constexpr unsigned kVADCloseWaitMs = 30000;
constexpr unsigned kVADHelloTimeoutMs = 5000;

class VADConnection
{
public:
    VADConnection();
    // Closes the link and joins the receive thread.
    ~VADConnection();
    VADConnection(const VADConnection&) = delete;
    VADConnection& operator=(const VADConnection&) = delete;

    // True at once when open. Otherwise up to kVADConnectAttempts attempts, the connect interval apart.
    // With settings.startDaemon the daemon executable (<root>/bin/VADDaemon) is launched at the 5th and
    // 10th attempt, and right after the first attempt that finds no live daemon at all (no discovery block,
    // its process has ended or is not ours, or what listens on its port is not our daemon: VADHandshake.h):
    // nobody is starting one then. A daemon that takes the connection but does
    // not answer the hello in time is stuck: the attempts end there, and so they do when a daemon it launched
    // ends without serving for a reason of its own (DaemonStartFailure). On failure logs "VADOpenDatabase>
    // unable to connect to VADDaemon". The settings are kept for reopening on demand.
    VADStatus Open(VADConnectionSettings& settings);
    // A single plain attempt (no launch, no waiting), for a run that only wants to close a running daemon.
    VADStatus OpenOnce(uint8_t clientFlag);
    // The attempt at which the last Open first launched the daemon; 0 when it launched none.
    unsigned LastLaunchAttempt() const;
    // Why a daemon the last Open (or reopening) started could not start, in the daemon's own words
    // (VADDaemonLaunch.h); empty when none failed. Such a failure ends the attempts at once.
    std::string DaemonStartFailure() const;
    // Disconnects, forgets the settings (no reopening on demand) and the pending web requests.
    void Close();
    // Switches auto-start off, asks the daemon to close (the flag is passed on: true for an uninstall)
    // and waits until the link has dropped (at most kVADCloseWaitMs). Without a link one plain attempt
    // is made: a daemon that is not running has nothing to close. Later requests look for a daemon once
    // (auto-start stays off) and fail with a link failure that says it is not running.
    void CloseDaemon(uint8_t flag);
    // True from a successful hello until the link drops.
    bool Connected() const;

    // Synchronous request: reopens the link when needed, sends code and payload under the transaction
    // lock and waits (within the request's bound) for the reply with the same transaction id. The reply
    // body (after the status word) goes to `body`. Results the daemon posts for the transaction go to
    // `log` (dropped when null). The reply's status (OK when 0 or more; kVADStatusLinkDropped without a
    // link, kVADStatusTimedOut when the bound passed).
    // `onlyOnLink` (a LinkNumber; 0: any) binds it to that link: it fails when that link is gone, and no other is
    // opened for it.
    VADStatus Perform(uint32_t code, const uint8_t* request, size_t n, VADBytes& body, ResultsLog* log = nullptr,
                      uint64_t onlyOnLink = 0);
    VADStatus Perform(uint32_t code, const VADBytes& request, VADBytes& body, ResultsLog* log = nullptr)
    {
        return Perform(code, request.data(), request.size(), body, log);
    }
    // The same over stream buffers: the body replaces the reply buffer's contents, which is rewound.
    VADStatus Perform(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log = nullptr);
    // Asynchronous request: code, transaction id 0, payload length, payload; no reply awaited. Reopens
    // the link when needed; kVADStatusLinkDropped when there is none or the send failed. `at` (when given) gets
    // where it went: the link's number and the request's ordinal among those sent with id 0 on that link, by
    // which request 237 (VADSentBatch.h) tells what the daemon made of it.
    VADStatus SendAsync(uint32_t code, const uint8_t* data, size_t n, uint64_t onlyOnLink = 0, VADSentAt* at = nullptr);
    VADStatus SendAsync(uint32_t code, const VADBytes& payload)
    {
        return SendAsync(code, payload.data(), payload.size());
    }

    // Web requests (111, 112): the client picks the id, the daemon answers with a web-reply notification.
    // Begin sends the request with the id in front of `body`. Poll copies the reply when it has arrived
    // (and forgets the request when `remove` is set); Wait waits up to timeoutMs for it. A dropped link
    // completes every pending request with result kVADWebResultLinkDropped.
    VADStatus BeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id);
    [[nodiscard]] bool PollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove = true);
    [[nodiscard]] bool WaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs);

    // What a daemon holds for a run (an asset held aside, a handle it gave) is that daemon's alone: a daemon started
    // after it stopped knows nothing of it, and a request that counts on it is never sent to that one.
    // The link made last: each link opened (by Open, or again on demand) has the next number; 0 before the first.
    uint64_t LinkNumber() const;
    // From now on every request goes over link `number` alone, as if bound to it: once that link is gone they fail,
    // the failure saying that the daemon which held `what` ("<kuid:1:2> aside") for this run stopped, and no new link
    // is opened for them. PinLink(0, {}) lets requests reopen the link again.
    void PinLink(uint64_t number, std::string what);

    // The first link failure since ClearLinkFailure (kNone when there was none) and its text, which names
    // the request.
    VADLinkFailure LinkFailure() const;
    std::string LinkFailureText() const;
    // Forgets the failure and allows one more reopening: a new command starts.
    void ClearLinkFailure();

    // After request 140 the daemon sends jobs as notifications; each is queued for the main thread, where
    // the callback is called with (job stream, reply buffer) and the reply is sent back as asynchronous
    // request 141. Nothing runs while there is none. Set and cleared on the main thread.
    void SetCommandHostCallback(CommandHostCallbackFn fn);
    bool HasCommandHostCallback() const;
    // By default progress lines go to the log.
    void SetProgressHook(VADProgressFn fn);

    // The installation root whose daemon the link reaches: the one set here, else the installation path
    // of the content folders (SetInstallationPath).
    void SetRoot(const std::string& root);
    std::string Root() const;
    // Pause between connection attempts; tests shorten it.
    void SetConnectIntervalMs(unsigned ms);
    // Whether a request reopens a link that went away (on by default). The command host serves the daemon
    // that registered it and turns it off: when that link goes, the host ends.
    void SetReopenOnDemand(bool on);
    // Caps every request's bound; tests use it to meet a stopped daemon quickly (0: no cap).
    void SetBoundCapMs(unsigned ms);

private:
    struct Link;
    std::unique_ptr<Link> link_;
};
