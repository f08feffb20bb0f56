#pragma once
// The daemon client as the rest of the program calls it: the VAD... functions below are thin calls on
// the current connection (VADConnection::Current(), the one its owner made; VADConnection.h). Without a
// connection object they fail: not connected, nothing sent.
#include "assetdb/VADConnection.h"

#include <string>

// VADConnection::Open; false without a connection object.
bool VADOpenDatabase(VADConnectionSettings& settings);
// The attempt at which the last VADOpenDatabase first launched the daemon; 0 when it launched none.
unsigned VADLastLaunchAttempt();
// VADConnection::Close: disconnects and resets the kept connection settings to their defaults.
void VADCloseDatabase();
// VADConnection::CloseDaemon: switches auto-start off, asks the daemon to close (the flag is passed on:
// true for an uninstall) and waits until the connection has dropped (at most kVADCloseWaitMs).
void VADCloseDaemon(uint8_t flag);
// True from a successful hello until the connection drops.
bool VADClientConnected();

// Synchronous request (VADConnection::Perform). The reply body (after the status word) replaces the reply
// buffer's contents, which is rewound. True when the reply's status is 0 or more; the status
// (kVADStatusLinkDropped without a link, kVADStatusTimedOut when the request's bound passed) is stored in
// *status when given.
bool VADPerformTransaction(uint32_t code, const TBuffer& request, TBuffer& reply, ResultsLog* log = nullptr,
                           int32_t* status = nullptr);
// The same over plain bytes.
bool VADPerformTransaction(uint32_t code, const VADBytes& request, VADBytes& reply, ResultsLog* log = nullptr,
                           int32_t* status = nullptr);
// Asynchronous request: code, transaction id 0, payload length, payload; no reply awaited. False when
// there is no link or the send failed.
bool VADSendAsyncRequest(uint32_t code, const TBuffer& payload);
bool VADSendAsyncRequest(uint32_t code, const VADBytes& payload);

// Web requests (111, 112): the client picks the id, the daemon answers with a web-reply notification.
// Begin sends the request with the id in front of `body`; false without a link.
bool VADBeginWebRequest(uint32_t code, const VADBytes& body, VADRequestId& id);
// Copies the reply when it has arrived (complete) and forgets the request when `remove` is set.
bool VADPollWebRequest(const VADRequestId& id, VADRequestReply& out, bool remove = true);
// Waits up to timeoutMs for the reply; a dropped link completes every pending request with result
// kVADWebResultLinkDropped.
bool VADWaitWebRequest(const VADRequestId& id, VADRequestReply& out, unsigned timeoutMs);

// Progress lines the daemon sends (notification 4); by default they go to the log.
void VADSetProgressHook(VADProgressFn fn);

// Installation root whose daemon the client talks to: the one set here, else the installation path of
// the content folders (SetInstallationPath).
void VADSetDaemonRoot(const std::string& root);
std::string VADGetDaemonRoot();
// Pause between connection attempts; tests shorten it.
void VADSetConnectIntervalMs(unsigned ms);

// The link failure of the current command (VADConnection::LinkFailure): true when a request could not
// be carried out for want of a link since VADClearLinkFailure; the text names the request.
bool VADLinkFailed();
std::string VADLinkFailureText();
void VADClearLinkFailure();
