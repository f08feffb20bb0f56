#include "assetdb/VADProtocol.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kHelloMagic[4] = {'V', 'A', 'D', 'C'};
constexpr uint8_t kDaemonMagic[4] = {'V', 'A', 'D', 'S'};

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool VADRandomBytes(void* data, size_t size)
{
    uint8_t* p = static_cast<uint8_t*>(data);
    size_t have = 0;
    while (have < size)
    {
        const ssize_t n = getrandom(p + have, size - have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
}

void VADEncodeFrameHeader(const VADFrameHeader& h, uint8_t out[kVADFrameHeaderSize])
{
    Put32(out, h.code);
    Put32(out + 4, h.transaction);
    Put32(out + 8, h.length);
}

VADFrameHeader VADDecodeFrameHeader(const uint8_t in[kVADFrameHeaderSize])
{
    return VADFrameHeader{Get32(in), Get32(in + 4), Get32(in + 8)};
}

VADBytes VADEncodeFrame(uint32_t code, uint32_t transaction, const uint8_t* payload, size_t n)
{
    VADBytes out(kVADFrameHeaderSize + n);
    VADEncodeFrameHeader(VADFrameHeader{code, transaction, static_cast<uint32_t>(n)}, out.data());
    if (n) std::memcpy(out.data() + kVADFrameHeaderSize, payload, n);
    return out;
}

VADBytes VADEncodeReplyPayload(int32_t status, const VADBytes& body)
{
    VADWriter w;
    w.I32(status);
    w.Raw(body.data(), body.size());
    return w.Take();
}

bool VADDecodeReplyPayload(const VADBytes& payload, int32_t& status, VADBytes& body)
{
    VADReader r(payload);
    status = r.I32();
    if (!r.Ok())
    {
        status = kVADStatusBadPayload;
        body.clear();
        return false;
    }
    body = r.Rest();
    return true;
}

VADBytes VADEncodeHello(const VADHello& h)
{
    VADWriter w;
    w.Raw(kHelloMagic, 4);
    w.U32(h.protocol);
    w.U8(h.clientFlag);
    w.Raw(h.challenge.data(), h.challenge.size());
    w.U32(h.pid);
    w.String(h.program);
    return w.Take();
}

bool VADDecodeHello(const VADBytes& payload, VADHello& h)
{
    VADReader r(payload);
    uint8_t magic[4] = {};
    r.Raw(magic, 4);
    h.protocol = r.U32();
    h.clientFlag = r.U8();
    r.Raw(h.challenge.data(), h.challenge.size());
    h.pid = r.U32();
    h.program = r.String();
    return r.Done() && std::memcmp(magic, kHelloMagic, 4) == 0;
}

bool VADIsHelloOfOtherProtocol(const VADBytes& payload, uint32_t& protocol)
{
    VADReader r(payload);
    uint8_t magic[4] = {};
    r.Raw(magic, 4);
    protocol = r.U32();
    return r.Ok() && std::memcmp(magic, kHelloMagic, 4) == 0 && protocol != kVADProtocolVersion;
}

VADBytes VADEncodeHelloReply(const VADHelloReply& rep)
{
    VADWriter w;
    w.I32(rep.status);
    w.Raw(kDaemonMagic, 4);
    w.U32(rep.protocol);
    w.U32(rep.pid);
    w.Raw(rep.challenge.data(), rep.challenge.size());
    w.Raw(rep.proof.data(), rep.proof.size());
    return w.Take();
}

bool VADDecodeHelloReply(const VADBytes& payload, VADHelloReply& rep)
{
    VADReader r(payload);
    rep.status = r.I32();
    uint8_t magic[4] = {};
    r.Raw(magic, 4);
    rep.protocol = r.U32();
    rep.pid = r.U32();
    r.Raw(rep.challenge.data(), rep.challenge.size());
    r.Raw(rep.proof.data(), rep.proof.size());
    return r.Done() && std::memcmp(magic, kDaemonMagic, 4) == 0;
}

VADBytes VADEncodeHelloProof(const Sha256Digest& proof)
{
    VADWriter w;
    w.Raw(kHelloMagic, 4);
    w.Raw(proof.data(), proof.size());
    return w.Take();
}

bool VADDecodeHelloProof(const VADBytes& payload, Sha256Digest& proof)
{
    VADReader r(payload);
    uint8_t magic[4] = {};
    r.Raw(magic, 4);
    r.Raw(proof.data(), proof.size());
    return r.Done() && std::memcmp(magic, kHelloMagic, 4) == 0;
}

namespace {

Sha256Digest Proof(uint64_t token, const uint8_t magic[4], const VADChallenge& first, const VADChallenge& second)
{
    uint8_t key[8];
    for (int i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(token >> (8 * i));
    uint8_t message[4 + 2 * kVADChallengeSize];
    std::memcpy(message, magic, 4);
    std::memcpy(message + 4, first.data(), kVADChallengeSize);
    std::memcpy(message + 4 + kVADChallengeSize, second.data(), kVADChallengeSize);
    return HmacSha256(key, sizeof key, message, sizeof message);
}

}  // namespace

Sha256Digest VADDaemonProof(uint64_t token, const VADChallenge& client, const VADChallenge& daemon)
{
    return Proof(token, kDaemonMagic, client, daemon);
}

Sha256Digest VADClientProof(uint64_t token, const VADChallenge& client, const VADChallenge& daemon)
{
    return Proof(token, kHelloMagic, daemon, client);
}

void VADEncodeDiscoveryBlock(const VADDiscoveryBlock& b, uint8_t out[kVADDiscoveryBlockSize])
{
    VADWriter w;
    w.Raw(kDaemonMagic, 4);
    w.U32(b.layout);
    w.U32(b.pid);
    w.U16(b.port);
    w.U16(0);
    w.U32(b.state);
    w.U64(b.token);
    w.U64(b.startTimeMs);
    w.Raw(b.root.data(), b.root.size());
    std::memcpy(out, w.Bytes().data(), kVADDiscoveryBlockSize);
}

bool VADDecodeDiscoveryBlock(const uint8_t in[kVADDiscoveryBlockSize], VADDiscoveryBlock& b)
{
    VADReader r(in, kVADDiscoveryBlockSize);
    uint8_t magic[4] = {};
    r.Raw(magic, 4);
    b.layout = r.U32();
    b.pid = r.U32();
    b.port = r.U16();
    r.U16();
    b.state = r.U32();
    b.token = r.U64();
    b.startTimeMs = r.U64();
    r.Raw(b.root.data(), b.root.size());
    return r.Done() && std::memcmp(magic, kDaemonMagic, 4) == 0 && b.layout == kVADDiscoveryLayout;
}

std::string VADDiscoveryName(uint32_t uid, std::string_view rootRealPath)
{
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a 64
    for (unsigned char c : rootRealPath)
    {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "/vaddaemon-%u-%016llx", uid, static_cast<unsigned long long>(h));
    return buf;
}

Sha256Digest VADRootDigest(std::string_view rootRealPath) { return Sha256Of(rootRealPath.data(), rootRealPath.size()); }

bool VADBlockServesRoot(const VADDiscoveryBlock& b, std::string_view rootRealPath)
{
    return DigestsEqual(b.root, VADRootDigest(rootRealPath));
}
