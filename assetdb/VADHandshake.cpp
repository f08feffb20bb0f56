#include "assetdb/VADHandshake.h"

#include "assetdb/VADFrameIO.h"

#include <sys/random.h>

#include <cerrno>

namespace {

// Whether a read that brought no frame met a closed connection or a silent one.
VADHandshake Unanswered(const Platform::Socket& s)
{
    size_t got = 0;
    uint8_t probe = 0;
    return s.ReceiveSome(&probe, 1, &got, 0) == Platform::IoResult::Closed ? VADHandshake::kClosed
                                                                           : VADHandshake::kNoAnswer;
}

}  // namespace

bool VADNewChallenge(VADChallenge& challenge)
{
    size_t have = 0;
    while (have < challenge.size())
    {
        const ssize_t n = getrandom(challenge.data() + have, challenge.size() - have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
}

VADHandshake VADClientHandshake(const Platform::Socket& s, uint64_t token, const VADClientHello& hello, int timeoutMs,
                                uint32_t* daemonPid)
{
    VADHello first;
    first.clientFlag = hello.clientFlag;
    first.pid = hello.pid;
    first.program = hello.program;
    // Without randomness a listener could replay an answer it once saw: better no link at all.
    if (!VADNewChallenge(first.challenge)) return VADHandshake::kRefused;
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHello(first), timeoutMs)) return Unanswered(s);

    VADFrameHeader h;
    VADBytes payload;
    const VADFrameRead read = VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload);
    if (read == VADFrameRead::kTooLarge) return VADHandshake::kUnproven;
    if (read != VADFrameRead::kOk) return Unanswered(s);
    VADHelloReply reply;
    if (h.code != kVADHelloCode || h.transaction != 0 || !VADDecodeHelloReply(payload, reply))
        return VADHandshake::kUnproven;
    if (reply.status != kVADStatusOK || reply.protocol != kVADProtocolVersion) return VADHandshake::kRefused;
    if (!VADProofsEqual(reply.proof, VADDaemonProof(token, first.challenge, reply.challenge)))
        return VADHandshake::kUnproven;

    const VADProof ours = VADClientProof(token, first.challenge, reply.challenge);
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHelloProof(ours), timeoutMs)) return Unanswered(s);
    if (VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload) != VADFrameRead::kOk) return Unanswered(s);
    int32_t status = kVADStatusFailed;
    VADBytes rest;
    if (h.code != kVADHelloCode || !VADDecodeReplyPayload(payload, status, rest) || !rest.empty())
        return VADHandshake::kUnproven;
    if (status != kVADStatusOK) return VADHandshake::kRefused;
    if (daemonPid) *daemonPid = reply.pid;
    return VADHandshake::kAccepted;
}
