#include "assetdb/VADProtocol.h"

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

bool VADIsKnownRequestCode(uint32_t code)
{
    switch (code)
    {
    case VAD_REQ_KEEPALIVE:
    case VAD_REQ_QUERY:
    case VAD_REQ_DATABASE_STATUS:
    case VAD_REQ_CONFIG:
    case VAD_REQ_INFO:
    case VAD_REQ_DESCRIPTION:
    case VAD_REQ_THUMBNAIL:
    case VAD_REQ_OPEN_FOR_EDIT:
    case VAD_REQ_RELEASE_EDIT_HANDLE:
    case VAD_REQ_EDIT_FOLDER:
    case VAD_REQ_REVERT:
    case VAD_REQ_COMMIT:
    case VAD_REQ_CREATE:
    case VAD_REQ_DELETE:
    case VAD_REQ_VALIDATE:
    case VAD_REQ_INSTALL_FROM_FOLDER:
    case VAD_REQ_INSTALL_FROM_FOLDERS:
    case VAD_REQ_INSTALL_ARCHIVE:
    case VAD_REQ_DEPENDENCIES:
    case VAD_REQ_OBSOLETES:
    case VAD_REQ_MISSING_DEPENDENCIES:
    case VAD_REQ_FAULTY:
    case VAD_REQ_ASSET_FOLDERS:
    case VAD_REQ_ARCHIVE_ENTRY:
    case VAD_REQ_EXPORT_PACKAGE:
    case VAD_REQ_FAVOURITE:
    case VAD_REQ_GET_KEYWORDS:
    case VAD_REQ_SET_KEYWORDS:
    case VAD_REQ_GENERATE_KUID:
    case VAD_REQ_NEXT_CONTENT_ID:
    case VAD_REQ_LIST_BUILDS:
    case VAD_REQ_FOLDER_CHECK:
    case VAD_REQ_USER_ID_VALID:
    case VAD_REQ_AUTHOR_NAME:
    case VAD_REQ_REPAIR_NOW:
    case VAD_REQ_FLAG_REPAIR:
    case VAD_REQ_GET_SETTINGS_GROUP:
    case VAD_REQ_SET_SETTINGS_GROUP:
    case VAD_REQ_SETTING_STRING:
    case VAD_REQ_SET_SETTING_INT:
    case VAD_REQ_DLS_LATEST_KUID:
    case VAD_REQ_RESOLVE_PACKAGE:
    case VAD_REQ_DOWNLOAD:
    case VAD_REQ_ANALYTICS_HIT:
    case VAD_REQ_REGISTER_COMMAND_HOST:
    case VAD_REQ_JOB_REPLY:
    case VAD_REQ_CLOSE_DAEMON:
    case VAD_REQ_BEGIN_WAIT_READY:
    case VAD_REQ_IS_READY: return true;
    default: return false;
    }
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
    w.U64(h.token);
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
    h.token = r.U64();
    h.pid = r.U32();
    h.program = r.String();
    return r.Done() && std::memcmp(magic, kHelloMagic, 4) == 0;
}

VADBytes VADEncodeHelloReply(const VADHelloReply& rep)
{
    VADWriter w;
    w.I32(rep.status);
    w.Raw(kDaemonMagic, 4);
    w.U32(rep.protocol);
    w.U32(rep.pid);
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
    return r.Done() && std::memcmp(magic, kDaemonMagic, 4) == 0;
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
