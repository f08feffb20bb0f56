#pragma once
// The daemon client: one connection per process to the VADDaemon of the installation.
//
// VADOpenDatabase finds the daemon through its discovery block (VADProtocol.h), connects, says hello and
// starts the receive thread. The receive thread hands every reply to the transaction that waits for it
// (by transaction id, in any order), posts result notifications into the results log of their
// transaction (they arrive before its reply), queues command-host jobs for the main thread and files web
// replies. One lock serialises the sending side of the transaction core.
//
// A dropped connection fails every waiting transaction at once and clears the connected flag; nothing
// re-opens it behind the caller's back (VADOpenDatabase does that when asked).
#include "assetdb/VADProtocol.h"
#include "assetdb/VADRequestReply.h"

#include <atomic>
#include <cstdint>
#include <string>

class ResultsLog;
class TBuffer;
class TStream;

// A counter and five flag bytes. The third launches the daemon when it does not answer, the fifth is the
// client flag of the hello.
struct VADConnectionSettings
{
    uint32_t counter = 0;  // connection attempts made by the last VADOpenDatabase
    uint8_t flag1 = 1;
    uint8_t flag2 = 1;
    uint8_t startDaemon = 1;  // third flag
    uint8_t flag4 = 1;
    uint8_t clientFlag = 1;  // fifth flag

    // Counter 0, all five flags 1.
    void Reset() { *this = VADConnectionSettings(); }
};

// True at once when already open. Otherwise up to 21 attempts, kVADConnectIntervalMs apart. When
// settings.startDaemon is set the daemon executable (<root>/bin/VADDaemon) is launched at the 5th and
// 10th attempt, and already right after the first failed attempt that finds no live daemon at all (no
// discovery block, or its process has ended): then nobody is starting one and waiting would be pointless.
// On failure logs "VADOpenDatabase> unable to connect to VADDaemon" and returns false.
bool VADOpenDatabase(VADConnectionSettings& settings);
// The attempt at which the last VADOpenDatabase first launched the daemon; 0 when it launched none.
unsigned VADLastLaunchAttempt();
// When open: disconnects and resets the kept connection settings to their defaults.
void VADCloseDatabase();
// Switches auto-start off, asks the daemon to close (the flag is passed on: true for an uninstall) and
// waits until the connection has dropped (at most kVADCloseWaitMs).
void VADCloseDaemon(uint8_t flag);
// True from a successful hello until the connection drops.
bool VADClientConnected();

// Synchronous request: sends code and payload under the transaction lock and waits for the reply with the
// same transaction id. The reply body (after the status word) replaces the reply buffer's contents, which
// is rewound. Results the daemon posts for the transaction go to `log` (dropped when it is null). True
// when the reply's status is 0 or more; the status (kVADStatusLinkDropped when the link went away) is
// stored in *status when given. Fails at once when not connected.
bool VADPerformTransaction(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log = nullptr,
                           int32_t* status = nullptr);
// The same over plain bytes.
bool VADPerformTransaction(uint32_t code, const VADBytes& request, VADBytes& reply, ResultsLog* log = nullptr,
                           int32_t* status = nullptr);
// Asynchronous request: code, transaction id 0, payload length, payload; no reply awaited. False when not
// connected or the send failed.
bool VADSendAsyncRequest(uint32_t code, const TBuffer& payload);
bool VADSendAsyncRequest(uint32_t code, const VADBytes& payload);

// The command-host callback slot. After request 140 the daemon sends jobs as notifications; each is
// queued for the main thread, where the slot's function is called with (job stream, reply buffer) and the
// reply is sent back as asynchronous request 141. Nothing runs while the slot is empty.
using CommandHostCallbackFn = void (*)(TStream& job, TBuffer& reply);
extern std::atomic<CommandHostCallbackFn> CommandHostCallbackSlot;

// Web requests (111, 112): the client picks the id, the daemon answers with a web-reply notification.
// Begin sends the request with the id in front of `body`; false when not connected.
bool VADBeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id);
// Copies the reply when it has arrived (complete) and forgets the request when `remove` is set.
bool VADPollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove = true);
// Waits up to timeoutMs for the reply; a dropped link completes every pending request with result
// kVADWebResultLinkDropped.
bool VADWaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs);

// Progress lines the daemon sends (notification 4); by default they go to the log.
using VADProgressFn = void (*)(const char* text);
void VADSetProgressHook(VADProgressFn fn);

// Installation root whose daemon the client talks to: the one set here, else the installation path of
// the content folders (SetInstallationPath).
void VADSetDaemonRoot(const std::string& root);
std::string VADGetDaemonRoot();

constexpr unsigned kVADConnectAttempts = 21;
constexpr unsigned kVADConnectIntervalMs = 1000;
constexpr unsigned kVADCloseWaitMs = 30000;
constexpr unsigned kVADHelloTimeoutMs = 5000;
// Pause between connection attempts; tests shorten it.
void VADSetConnectIntervalMs(unsigned ms);
