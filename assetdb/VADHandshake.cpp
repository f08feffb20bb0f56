#include "assetdb/VADHandshake.h"

#include "assetdb/VADFrameIO.h"

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

VADHandshake VADClientHandshake(const Platform::Socket& s, uint64_t token, VADHello hello, int timeoutMs)
{
    // Without randomness a listener could replay an answer it once saw: better no link at all.
    if (!VADRandomBytes(hello.challenge.data(), hello.challenge.size())) return VADHandshake::kRefused;
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHello(hello), timeoutMs)) return Unanswered(s);

    VADFrameHeader h;
    VADBytes payload;
    const VADFrameRead read = VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload);
    if (read == VADFrameRead::kTooLarge) return VADHandshake::kUnproven;
    if (read != VADFrameRead::kOk) return Unanswered(s);
    VADHelloReply reply;
    if (h.code != kVADHelloCode || h.transaction != 0 || !VADDecodeHelloReply(payload, reply))
        return VADHandshake::kUnproven;
    if (reply.status != kVADStatusOK || reply.protocol != kVADProtocolVersion) return VADHandshake::kRefused;
    if (!DigestsEqual(reply.proof, VADDaemonProof(token, hello.challenge, reply.challenge)))
        return VADHandshake::kUnproven;

    const Sha256Digest ours = VADClientProof(token, hello.challenge, reply.challenge);
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHelloProof(ours), timeoutMs)) return Unanswered(s);
    if (VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload) != VADFrameRead::kOk) return Unanswered(s);
    int32_t status = kVADStatusFailed;
    VADBytes rest;
    if (h.code != kVADHelloCode || !VADDecodeReplyPayload(payload, status, rest) || !rest.empty())
        return VADHandshake::kUnproven;
    return status == kVADStatusOK ? VADHandshake::kAccepted : VADHandshake::kRefused;
}

VADServerHello VADServerHandshake(const Platform::Socket& s, uint64_t token, uint32_t daemonPid, VADHello& hello,
                                  int timeoutMs)
{
    VADFrameHeader h;
    VADBytes payload;
    if (VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload) != VADFrameRead::kOk)
        return VADServerHello::kGone;
    if (h.code != kVADHelloCode) return VADServerHello::kNoHello;
    VADHelloReply reply;
    reply.pid = daemonPid;
    // A client of another protocol would misread every frame: it is told so and let go.
    if (VADIsHelloOfOtherProtocol(payload, hello.protocol))
    {
        reply.status = kVADStatusFailed;
        (void)VADSendFrame(s, kVADHelloCode, 0, VADEncodeHelloReply(reply), timeoutMs);
        return VADServerHello::kOtherProtocol;
    }
    if (!VADDecodeHello(payload, hello)) return VADServerHello::kNoHello;
    if (!VADRandomBytes(reply.challenge.data(), reply.challenge.size())) return VADServerHello::kNoRandom;
    reply.proof = VADDaemonProof(token, hello.challenge, reply.challenge);
    if (!VADSendFrame(s, kVADHelloCode, 0, VADEncodeHelloReply(reply), timeoutMs)) return VADServerHello::kGone;

    Sha256Digest proof;
    if (VADReceiveFrame(s, h, payload, timeoutMs, kVADMaxHelloPayload) != VADFrameRead::kOk)
        return VADServerHello::kGone;
    if (h.code != kVADHelloCode || !VADDecodeHelloProof(payload, proof) ||
        !DigestsEqual(proof, VADClientProof(token, hello.challenge, reply.challenge)))
        return VADServerHello::kUnproven;
    return VADServerHello::kProven;
}

bool VADSendHelloAccepted(const Platform::Socket& s, int timeoutMs)
{
    return VADSendFrame(s, kVADHelloCode, 0, VADEncodeReplyPayload(kVADStatusOK), timeoutMs);
}
