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
// Hello: three frames of code kVADHelloCode, id 0, before any request. The token of the discovery block never
// crosses the socket: whoever listens on the block's port may not be the daemon (a pid and a port are free
// for anybody to take once a daemon was killed), so each side proves it knows the token by a keyed hash
// (HMAC-SHA-256 under the token's 8 little-endian bytes) of a fresh random challenge of the other's.
//   client   "VADC" | u32 protocol (2) | u8 client flag | 32 bytes client challenge | u32 pid | string program
//   daemon   i32 status | "VADS" | u32 protocol | u32 daemon pid | 32 bytes daemon challenge |
//            32 bytes HMAC("VADS" | client challenge | daemon challenge)
//   client   "VADC" | 32 bytes HMAC("VADC" | daemon challenge | client challenge)
//   daemon   i32 status (0: the client may send requests)
// The client sends its proof, and then requests, only when the daemon's proof checks out (VADHandshake.h);
// a daemon answering another protocol gives a failure status and no proof. A wrong proof from the client
// closes the socket without an answer.
//
// Discovery block (POSIX shared memory "/vaddaemon-<uid>-<16 hex digits of FNV-1a 64 of the root's real
// path>", mode 0600), 68 bytes:
//   "VADS" | u32 layout (2) | u32 pid | u16 TCP port | u16 0 | u32 state | u64 token | u64 start time ms |
//   32 bytes SHA-256 of the root's real path
// A block whose pid is not a live process of this user, whose listener cannot prove it knows the token, or
// that names another root, counts as absent. The name alone does not tie a block to a root: a block of one
// root can be reached at another root's name (a hard link someone made there, a copy, two paths of the same
// hash), and its daemon would answer for the wrong installation. When another user holds that name, the daemon
// publishes the block under a private name instead (VADDiscovery.h).
#include "assetdb/VADWireIO.h"
#include "core/Sha256.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr uint32_t kVADReplyBit = 0x80000000u;
constexpr uint32_t kVADNotifyBit = 0x40000000u;
constexpr uint32_t kVADHelloCode = 0xFFFF0001u;
constexpr uint32_t kVADProtocolVersion = 2;
constexpr uint32_t kVADMaxPayload = 256u * 1024u * 1024u;
constexpr size_t kVADFrameHeaderSize = 12;

// Status words of replies.
constexpr int32_t kVADStatusOK = 0;
constexpr int32_t kVADStatusFailed = -1;          // the request was understood and failed
constexpr int32_t kVADStatusUnknownRequest = -2;  // no such request code
constexpr int32_t kVADStatusBadPayload = -3;      // the payload's lengths don't add up
constexpr int32_t kVADStatusNotFound = -4;        // no such asset / handle / group
constexpr int32_t kVADStatusLinkDropped = -100;   // client side only: the connection went away
constexpr int32_t kVADStatusTimedOut = -101;      // client side only: no answer within the request's bound

// Bits of the flag of "open for edit" (request 30): none only locates the asset, kVADOpenForEdit opens it for
// editing. kVADOpenMakeGoneFolder (what a user's edit command asks): an edit open already whose folder is gone
// (removed by hand) gets it made again from the installed copy, with a warning; without it (a commit's open) the
// folder stays gone.
constexpr uint8_t kVADOpenForEdit = 1;
constexpr uint8_t kVADOpenMakeGoneFolder = 2;
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
// A bit that "install from folder" (request 39) takes as well: a folder whose asset has a local copy installed
// is not installed over it (it fails, the copy staying as it is). A run that has the installed copy held aside
// (request 56) installs its own copy so, and never replaces one that was installed meanwhile.
constexpr uint32_t kVADInstallNotOverLocalCopy = 8;
// A bit of the flag of "delete" (request 36; the other bits have no effect): delete only a run's own copy, one
// installed with kVADInstallNotOverLocalCopy and still as it was installed. Any other copy standing then (one
// installed over it meanwhile) stays, and the reply is OK with a warning naming the asset.
constexpr uint8_t kVADDeleteRunsOwnCopyOnly = 2;
// The texture targets textures are compiled for as assets are installed and committed (the default list).
constexpr const char* kVADInstallTextureTargets = "Velmar;DXTC";

// Request codes, from the request table (VADRequestTable.def: each request's bound, name and payloads).
enum VADRequestCode : uint32_t
{
#define VAD_REQUEST(ID, CODE, ...) VAD_REQ_##ID = CODE,
#include "assetdb/VADRequestTable.def"
#undef VAD_REQUEST
};

// How a request is answered (the table's mode column).
enum class VADRequestMode
{
    kSync,   // a reply with the same transaction id
    kAsync,  // transaction id 0, no reply
    kWeb,    // transaction id 0, answered by a web-reply notification carrying the request's own id
};

// Notification codes (daemon to client).
enum VADNotification : uint32_t
{
    VAD_NOTIFY_RESULT = kVADNotifyBit | 1,     // a result for the log of transaction T (T in the id field)
    VAD_NOTIFY_JOB = kVADNotifyBit | 2,        // a command-host job (the job stream is the payload)
    VAD_NOTIFY_WEB_REPLY = kVADNotifyBit | 3,  // the reply to a web request (111, 112)
    VAD_NOTIFY_PROGRESS = kVADNotifyBit | 4,   // a line of progress text
};

// True for the codes of the request table (the daemon answers any other with kVADStatusUnknownRequest).
constexpr bool VADIsKnownRequestCode(uint32_t code)
{
    switch (code)
    {
#define VAD_REQUEST(ID, ...) case VAD_REQ_##ID:
#include "assetdb/VADRequestTable.def"
#undef VAD_REQUEST
        return true;
    default: return false;
    }
}

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

// Fresh random bytes from the system (challenges, private names); false when it gives none.
bool VADRandomBytes(void* data, size_t size);

// A random challenge of the hello. It is answered by a keyed hash (HMAC-SHA-256) of it.
constexpr size_t kVADChallengeSize = 32;
using VADChallenge = std::array<uint8_t, kVADChallengeSize>;

struct VADHello
{
    uint32_t protocol = kVADProtocolVersion;
    uint8_t clientFlag = 1;
    VADChallenge challenge{};
    uint32_t pid = 0;
    std::string program;
};
VADBytes VADEncodeHello(const VADHello& h);
bool VADDecodeHello(const VADBytes& payload, VADHello& h);
// True for a client's hello (by its magic) of a protocol other than ours, whose number goes to `protocol`. Such a
// hello has a layout of its own, of which only the magic and the protocol word are read.
bool VADIsHelloOfOtherProtocol(const VADBytes& payload, uint32_t& protocol);

struct VADHelloReply
{
    int32_t status = kVADStatusOK;
    uint32_t protocol = kVADProtocolVersion;
    uint32_t pid = 0;
    VADChallenge challenge{};  // the daemon's
    Sha256Digest proof{};      // VADDaemonProof of the client's challenge and the daemon's
};
VADBytes VADEncodeHelloReply(const VADHelloReply& r);
bool VADDecodeHelloReply(const VADBytes& payload, VADHelloReply& r);

// The client's answer to the daemon's challenge (VADClientProof).
VADBytes VADEncodeHelloProof(const Sha256Digest& proof);
bool VADDecodeHelloProof(const VADBytes& payload, Sha256Digest& proof);

// The two keyed hashes of the hello. Each names its side, so that neither can be made to answer for the other.
// Proofs are compared with DigestsEqual, in a time that does not depend on where they differ.
Sha256Digest VADDaemonProof(uint64_t token, const VADChallenge& client, const VADChallenge& daemon);
Sha256Digest VADClientProof(uint64_t token, const VADChallenge& client, const VADChallenge& daemon);

enum VADDaemonState : uint32_t
{
    VAD_STATE_STARTING = 0,
    VAD_STATE_LISTENING = 1,
    VAD_STATE_READY = 2,
    VAD_STATE_CLOSING = 3,
};

// The daemon's exit code when another daemon serves its root already: no failure, that one is to be used.
// Any other code but 0 from a daemon that had not yet served is a failure to start, whose reason the daemon
// said on its standard error as "VADDaemon: <reason>".
constexpr int kVADDaemonExitLocked = 1;

constexpr size_t kVADDiscoveryBlockSize = 68;
constexpr uint32_t kVADDiscoveryLayout = 2;

struct VADDiscoveryBlock
{
    uint32_t layout = kVADDiscoveryLayout;
    uint32_t pid = 0;
    uint16_t port = 0;
    uint32_t state = VAD_STATE_STARTING;
    uint64_t token = 0;
    uint64_t startTimeMs = 0;
    Sha256Digest root{};  // VADRootDigest of the installation the daemon serves
};
void VADEncodeDiscoveryBlock(const VADDiscoveryBlock& b, uint8_t out[kVADDiscoveryBlockSize]);
// False for a wrong magic or layout.
bool VADDecodeDiscoveryBlock(const uint8_t in[kVADDiscoveryBlockSize], VADDiscoveryBlock& b);
// "/vaddaemon-<uid>-<hash>" for an installation root given by its real (resolved) path.
std::string VADDiscoveryName(uint32_t uid, std::string_view rootRealPath);
// What a block holds of the installation root it serves, given by its real path.
Sha256Digest VADRootDigest(std::string_view rootRealPath);
// True when the block is that of a daemon of the installation at `rootRealPath`.
bool VADBlockServesRoot(const VADDiscoveryBlock& b, std::string_view rootRealPath);
