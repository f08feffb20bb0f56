#pragma once
// The client's side of the hello (VADProtocol.h): the daemon proves it knows the discovery block's token
// before the client says anything that matters, and the token itself never goes out. What listens on a
// block's port may be another program (a pid and a port are free again once a daemon was killed): such a
// listener learns a random challenge, nothing more.
#include "assetdb/VADProtocol.h"
#include "platform/Socket.h"

#include <cstdint>
#include <string>

enum class VADHandshake
{
    kAccepted,  // both proofs checked out: requests may follow
    kClosed,    // the listener closed the connection without an answer
    kNoAnswer,  // the listener took the connection but did not answer in time
    kRefused,   // a daemon that speaks another protocol (or is full) said no
    kUnproven,  // the answer did not prove the token: not our daemon
};

struct VADClientHello
{
    uint8_t clientFlag = 1;
    uint32_t pid = 0;
    std::string program;
};

// Fresh random bytes from the system; false when it gives none.
bool VADNewChallenge(VADChallenge& challenge);

// Says hello on a connected socket to the daemon whose block holds `token`, each frame within timeoutMs.
// `daemonPid` gets the pid the daemon names once accepted.
VADHandshake VADClientHandshake(const Platform::Socket& s, uint64_t token, const VADClientHello& hello, int timeoutMs,
                                uint32_t* daemonPid = nullptr);
