#include "daemon/ClientConnection.h"

#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "daemon/DaemonServer.h"

namespace {
constexpr int kHelloTimeoutMs = 5000;
constexpr int kSendTimeoutMs = 30000;
}  // namespace

ClientConnection::ClientConnection(DaemonServer& server, Platform::Socket socket)
    : server_(server), socket_(std::move(socket))
{}

void ClientConnection::Shutdown() { socket_.Shutdown(); }

bool ClientConnection::Send(uint32_t code, uint32_t transaction, const VADBytes& payload)
{
    std::lock_guard lk(sendMutex_);
    return VADSendFrame(socket_, code, transaction, payload, kSendTimeoutMs);
}

// The daemon proves first that it knows the token (a listener that does not is no daemon of ours to its
// clients), then the client proves it; a wrong proof closes the socket without an answer.
bool ClientConnection::Hello()
{
    VADHello hello;
    switch (VADServerHandshake(socket_, server_.Token(), static_cast<uint32_t>(getpid()), hello, kHelloTimeoutMs))
    {
    case VADServerHello::kProven: break;
    case VADServerHello::kGone: return false;
    case VADServerHello::kNoHello: DLOG("connection refused: no hello"); return false;
    case VADServerHello::kOtherProtocol: DLOG("connection refused: protocol %u", hello.protocol); return false;
    case VADServerHello::kNoRandom: DLOG("connection refused: no random bytes for the hello"); return false;
    case VADServerHello::kUnproven: DLOG("connection refused: wrong token from pid %u", hello.pid); return false;
    }
    program_ = hello.program.substr(0, 256);
    pid_ = hello.pid;
    authenticated_ = true;
    std::lock_guard lk(sendMutex_);
    return VADSendHelloAccepted(socket_, kSendTimeoutMs);
}

void ClientConnection::Run()
{
    // Requests catch their own failures; this catches what escapes the link itself (no memory for a
    // frame), which ends this connection and never the daemon.
    try
    {
        Serve();
    }
    catch (const std::exception& e)
    {
        DLOG("client %s (pid %u) dropped: %s", program_.c_str(), pid_, e.what());
    }
    socket_.Shutdown();
    server_.ConnectionEnded(this);
}

bool ClientConnection::Receive(Frame& f)
{
    const VADFrameRead r = VADReceiveFrame(socket_, f.header, f.payload);
    if (r == VADFrameRead::kTooLarge)
        DLOG("client %s (pid %u) announced %u bytes: dropped", program_.c_str(), pid_, f.header.length);
    return r == VADFrameRead::kOk;
}

void ClientConnection::Serve()
{
    if (!Hello()) return;
    DLOG("client %s (pid %u) connected", program_.c_str(), pid_);
    Frame next;
    bool haveNext = false;
    while (!server_.ShuttingDown())
    {
        Frame f;
        if (haveNext)
            f = std::move(next);
        else if (!Receive(f))
            break;
        haveNext = false;
        if (IsGroupedRecordMark(f.header.code, f.header.transaction))
        {
            const GroupEnd end = HandleMarkGroup(std::move(f), next);
            if (end == GroupEnd::kLinkEnded) break;
            haveNext = end == GroupEnd::kOtherFrame;
            continue;
        }
        Handle(f.header.code, f.header.transaction, f.payload);
    }
    DLOG("client %s (pid %u) gone", program_.c_str(), pid_);
}

ClientConnection::GroupEnd ClientConnection::HandleMarkGroup(Frame first, Frame& next)
{
    std::vector<RecordMarkFrame> group;
    CrashPointAtRequest(first.header.code);
    size_t bytes = first.payload.size();
    group.push_back({first.header.code, std::move(first.payload)});
    // Only what is there already joins: a group never waits for a frame that may not come.
    GroupEnd end = GroupEnd::kNothingWaiting;
    while (group.size() < kMaxRecordMarkGroup && bytes < kMaxRecordMarkGroupBytes && socket_.HasBytesWaiting() &&
           !server_.ShuttingDown())
    {
        Frame f;
        if (!Receive(f))
        {
            end = GroupEnd::kLinkEnded;
            break;
        }
        if (!IsGroupedRecordMark(f.header.code, f.header.transaction))
        {
            next = std::move(f);
            end = GroupEnd::kOtherFrame;
            break;
        }
        CrashPointAtRequest(f.header.code);
        bytes += f.payload.size();
        group.push_back({f.header.code, std::move(f.payload)});
    }
    // What arrived before the link ended is carried out all the same, as single requests would have been.
    for (int32_t status : HandleRecordMarks(server_, shared_from_this(), group)) outcomes_.Handled(status);
    return end;
}

void ClientConnection::Handle(uint32_t code, uint32_t id, const VADBytes& payload)
{
    VADWriter body;
    DaemonResults results;
    int32_t status;
    if (code & (kVADReplyBit | kVADNotifyBit))
        status = kVADStatusUnknownRequest;
    else
        status = HandleRequest(server_, shared_from_this(), code, id, payload, body, results);
    // Asynchronous requests (id 0) get no reply; their results have no log to go to. What became of them is kept
    // for request 237, which the client sends after them when it must know.
    if (id == 0)
    {
        outcomes_.Handled(status);
        return;
    }
    VADBytes reply = VADEncodeReplyPayload(status, status < 0 ? VADBytes() : body.Take());
    // An answer too large for one frame would never arrive: the asker gets a failure instead.
    if (reply.size() > kVADMaxPayload) reply = VADEncodeReplyPayload(kVADStatusFailed);
    // The results and then the reply, frame after frame, in one write: a request that posts a result per
    // asset costs the asker one wake-up, not one per result.
    VADBytes frames;
    for (const VADResultNotification& n : results)
    {
        const VADBytes payload = VADEncode(n);
        if (payload.size() > kVADMaxPayload) continue;
        const VADBytes frame = VADEncodeFrame(VAD_NOTIFY_RESULT, id, payload);
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    const VADBytes frame = VADEncodeFrame(code | kVADReplyBit, id, reply);
    frames.insert(frames.end(), frame.begin(), frame.end());
    std::lock_guard lk(sendMutex_);
    // A reply cut short would leave the client reading a broken stream: the link ends instead.
    if (socket_.SendAll(frames.data(), frames.size(), kSendTimeoutMs) != Platform::IoResult::Ok) socket_.Shutdown();
}
