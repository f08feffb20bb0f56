#pragma once
// The daemon link: frames, request codes, notifications, the hello and the discovery block.
//
// Frame, both ways (little-endian):   u32 code | u32 transaction id | u32 payload length | payload
//   request        code = request code, id = per-connection transaction id (0: asynchronous, no reply)
//   reply          code = request code | 0x80000000, same id; payload starts with i32 status
//                  (0 ok, negative error), the reply body follows
//   notification   code = 0x40000000 | n, see VADNotification below
// A payload above kVADMaxPayload drops the connection. An unknown request code gets an error reply
// (kVADStatusUnknownRequest) and the link stays up.
//
// Hello: the client's first frame, code kVADHelloCode, id 0, payload
//   "VADC" | u32 protocol (1) | u8 client flag | u64 token from the discovery block | u32 pid |
//   string program name
// The daemon answers with a frame of the same code and id 0, payload
//   i32 status | "VADS" | u32 protocol | u32 daemon pid
// A wrong token closes the socket without an answer.
//
// Discovery block (POSIX shared memory "/vaddaemon-<uid>-<16 hex digits of FNV-1a 64 of the root's real
// path>", mode 0600), 36 bytes:
//   "VADS" | u32 layout (1) | u32 pid | u16 TCP port | u16 0 | u32 state | u64 token | u64 start time ms
// A block whose pid is dead counts as absent. When another user holds that name, the daemon publishes the
// block under a private name instead (VADDiscovery.h).
#include "assetdb/VADWireIO.h"

#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kVADReplyBit = 0x80000000u;
constexpr uint32_t kVADNotifyBit = 0x40000000u;
constexpr uint32_t kVADHelloCode = 0xFFFF0001u;
constexpr uint32_t kVADProtocolVersion = 1;
constexpr uint32_t kVADMaxPayload = 256u * 1024u * 1024u;
constexpr size_t kVADFrameHeaderSize = 12;

// Status words of replies.
constexpr int32_t kVADStatusOK = 0;
constexpr int32_t kVADStatusFailed = -1;          // the request was understood and failed
constexpr int32_t kVADStatusUnknownRequest = -2;  // no such request code
constexpr int32_t kVADStatusBadPayload = -3;      // the payload's lengths don't add up
constexpr int32_t kVADStatusNotFound = -4;        // no such asset / handle / group
constexpr int32_t kVADStatusLinkDropped = -100;   // client side only: the connection went away

// A bit of the commit's option word (request 34): the edit folder was written whole by the committer, which
// writes it no more, so the daemon may give its files a second name in the installed copy instead of copying.
constexpr uint32_t kVADCommitHandOverFiles = 16;
// A bit of the commit's option word: the committer has compiled the edit folder's texture descriptions for
// the install targets itself (the daemon compiles them otherwise).
constexpr uint32_t kVADCommitTexturesCompiled = 32;
// Bits of the option value of "install from folders" (request 41). Staged: the folders are copies written
// for this install inside the installation's cache folder, which their writer removes afterwards, so their
// files are given a second name instead of copied (folders elsewhere are still copied). Favourite: each
// asset installed is marked a favourite in the same transaction.
// TexturesCompiled: the folders' texture descriptions were compiled for the install targets by the asker.
constexpr uint32_t kVADInstallStagedInCache = 1;
constexpr uint32_t kVADInstallFavourite = 2;
constexpr uint32_t kVADInstallTexturesCompiled = 4;
// The texture targets textures are compiled for as assets are installed and committed (the default list).
constexpr const char* kVADInstallTextureTargets = "Velmar;DXTC";

// Request codes. The layout of each payload is documented in VADPayloads.h.
enum VADRequestCode : uint32_t
{
    VAD_REQ_KEEPALIVE = 0,
    VAD_REQ_QUERY = 2,
    VAD_REQ_DATABASE_STATUS = 3,
    VAD_REQ_CONFIG = 20,
    VAD_REQ_INFO = 21,
    VAD_REQ_DESCRIPTION = 28,
    VAD_REQ_THUMBNAIL = 29,
    VAD_REQ_OPEN_FOR_EDIT = 30,
    VAD_REQ_RELEASE_EDIT_HANDLE = 31,
    VAD_REQ_EDIT_FOLDER = 32,
    VAD_REQ_REVERT = 33,
    VAD_REQ_COMMIT = 34,
    VAD_REQ_CREATE = 35,
    VAD_REQ_DELETE = 36,
    VAD_REQ_VALIDATE = 38,
    VAD_REQ_INSTALL_FROM_FOLDER = 39,
    VAD_REQ_INSTALL_FROM_FOLDERS = 41,
    VAD_REQ_INSTALL_ARCHIVE = 40,
    VAD_REQ_DEPENDENCIES = 42,
    VAD_REQ_OBSOLETES = 43,
    VAD_REQ_MISSING_DEPENDENCIES = 44,
    VAD_REQ_FAULTY = 45,
    VAD_REQ_ASSET_FOLDERS = 47,
    VAD_REQ_ARCHIVE_ENTRY = 48,
    VAD_REQ_EXPORT_PACKAGE = 49,
    VAD_REQ_FAVOURITE = 50,
    VAD_REQ_GET_KEYWORDS = 53,
    VAD_REQ_SET_KEYWORDS = 54,
    VAD_REQ_GENERATE_KUID = 60,
    VAD_REQ_NEXT_CONTENT_ID = 61,
    VAD_REQ_LIST_BUILDS = 62,
    VAD_REQ_FOLDER_CHECK = 64,
    VAD_REQ_USER_ID_VALID = 65,
    VAD_REQ_AUTHOR_NAME = 66,
    VAD_REQ_REPAIR_NOW = 70,
    VAD_REQ_FLAG_REPAIR = 71,
    VAD_REQ_GET_SETTINGS_GROUP = 100,
    VAD_REQ_SET_SETTINGS_GROUP = 101,
    VAD_REQ_SETTING_STRING = 102,
    VAD_REQ_SET_SETTING_INT = 103,
    VAD_REQ_DLS_LATEST_KUID = 110,
    VAD_REQ_RESOLVE_PACKAGE = 111,
    VAD_REQ_DOWNLOAD = 112,
    VAD_REQ_ANALYTICS_HIT = 113,
    VAD_REQ_REGISTER_COMMAND_HOST = 140,
    VAD_REQ_JOB_REPLY = 141,
    VAD_REQ_CLOSE_DAEMON = 230,
    VAD_REQ_BEGIN_WAIT_READY = 235,
    VAD_REQ_IS_READY = 236,
};

// Notification codes (daemon to client).
enum VADNotification : uint32_t
{
    VAD_NOTIFY_RESULT = kVADNotifyBit | 1,     // a result for the log of transaction T (T in the id field)
    VAD_NOTIFY_JOB = kVADNotifyBit | 2,        // a command-host job (the job stream is the payload)
    VAD_NOTIFY_WEB_REPLY = kVADNotifyBit | 3,  // the reply to a web request (111, 112)
    VAD_NOTIFY_PROGRESS = kVADNotifyBit | 4,   // a line of progress text
};

// True for the codes listed above (the daemon answers any other with kVADStatusUnknownRequest).
bool VADIsKnownRequestCode(uint32_t code);

struct VADFrameHeader
{
    uint32_t code = 0;
    uint32_t transaction = 0;
    uint32_t length = 0;
};

void VADEncodeFrameHeader(const VADFrameHeader& h, uint8_t out[kVADFrameHeaderSize]);
VADFrameHeader VADDecodeFrameHeader(const uint8_t in[kVADFrameHeaderSize]);
// A whole frame: header and payload.
VADBytes VADEncodeFrame(uint32_t code, uint32_t transaction, const uint8_t* payload, size_t n);
inline VADBytes VADEncodeFrame(uint32_t code, uint32_t transaction, const VADBytes& payload)
{
    return VADEncodeFrame(code, transaction, payload.data(), payload.size());
}

// Reply payloads: the status word, then the body.
VADBytes VADEncodeReplyPayload(int32_t status, const VADBytes& body = VADBytes());
// Splits a reply payload; false when it is shorter than the status word.
bool VADDecodeReplyPayload(const VADBytes& payload, int32_t& status, VADBytes& body);

struct VADHello
{
    uint32_t protocol = kVADProtocolVersion;
    uint8_t clientFlag = 1;
    uint64_t token = 0;
    uint32_t pid = 0;
    std::string program;
};
VADBytes VADEncodeHello(const VADHello& h);
bool VADDecodeHello(const VADBytes& payload, VADHello& h);

struct VADHelloReply
{
    int32_t status = kVADStatusOK;
    uint32_t protocol = kVADProtocolVersion;
    uint32_t pid = 0;
};
VADBytes VADEncodeHelloReply(const VADHelloReply& r);
bool VADDecodeHelloReply(const VADBytes& payload, VADHelloReply& r);

enum VADDaemonState : uint32_t
{
    VAD_STATE_STARTING = 0,
    VAD_STATE_LISTENING = 1,
    VAD_STATE_READY = 2,
    VAD_STATE_CLOSING = 3,
};

constexpr size_t kVADDiscoveryBlockSize = 36;
constexpr uint32_t kVADDiscoveryLayout = 1;

struct VADDiscoveryBlock
{
    uint32_t layout = kVADDiscoveryLayout;
    uint32_t pid = 0;
    uint16_t port = 0;
    uint32_t state = VAD_STATE_STARTING;
    uint64_t token = 0;
    uint64_t startTimeMs = 0;
};
void VADEncodeDiscoveryBlock(const VADDiscoveryBlock& b, uint8_t out[kVADDiscoveryBlockSize]);
// False for a wrong magic or layout.
bool VADDecodeDiscoveryBlock(const uint8_t in[kVADDiscoveryBlockSize], VADDiscoveryBlock& b);
// "/vaddaemon-<uid>-<hash>" for an installation root given by its real (resolved) path.
std::string VADDiscoveryName(uint32_t uid, std::string_view rootRealPath);
