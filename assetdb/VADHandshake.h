#pragma once
// Both sides of the hello (VADProtocol.h): the daemon proves it knows the discovery block's token before the
// client says anything that matters, and the token itself never goes out. What listens on a block's port may
// be another program (a pid and a port are free again once a daemon was killed): such a listener learns a
// random challenge, nothing more.
#include "assetdb/VADProtocol.h"
#include "platform/Socket.h"

#include <cstdint>

enum class VADHandshake
{
    kAccepted,  // both proofs checked out: requests may follow
    kClosed,    // the listener closed the connection without an answer
    kNoAnswer,  // the listener took the connection but did not answer in time
    kRefused,   // a daemon that speaks another protocol (or is full) said no
    kUnproven,  // the answer did not prove the token: not our daemon
};

// Says `hello` (its challenge drawn here) on a connected socket to the daemon whose block holds `token`, each
// frame within timeoutMs.
VADHandshake VADClientHandshake(const Platform::Socket& s, uint64_t token, VADHello hello, int timeoutMs);

enum class VADServerHello
{
    kProven,         // the client proved the token: the caller lets it in (VADSendHelloAccepted)
    kGone,           // the client closed the connection, or did not say its next frame in time
    kNoHello,        // what it said first was not a hello
    kOtherProtocol,  // a hello of another protocol: the client was told no (hello.protocol says which)
    kNoRandom,       // the system gave no random bytes for the daemon's challenge
    kUnproven,       // no proof from the client, or a wrong one: it was given no answer
};

// The daemon's side of the hello on an accepted socket, each frame within timeoutMs: the client's hello (into
// `hello`), the daemon's proof of `token` (naming `daemonPid`), then the client's proof checked. The last
// frame, which lets the client in, is the caller's to send once it is ready for the client's requests.
VADServerHello VADServerHandshake(const Platform::Socket& s, uint64_t token, uint32_t daemonPid, VADHello& hello,
                                  int timeoutMs);
// That last frame of the daemon's side.
bool VADSendHelloAccepted(const Platform::Socket& s, int timeoutMs);
