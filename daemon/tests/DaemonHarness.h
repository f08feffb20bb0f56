#pragma once
// Test installations with a real daemon: a temporary root whose bin/ holds a hard link (or copy) of the
// staged VADDaemon, helpers to write asset folders, and a raw client that speaks frames directly.
#include "assetdb/VADClient.h"
#include "assetdb/VADConnection.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADProtocol.h"
#include "core/KUID.h"
#include "daemon/DaemonResults.h"
#include "platform/OwnWorkRecords.h"
#include "platform/Socket.h"
#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class TestInstallation
{
public:
    TestInstallation();
    ~TestInstallation();

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& rel) const { return root_ + "/" + rel; }

    // Starts bin/VADDaemon (not waiting); returns its pid.
    int StartDaemon(unsigned idleSeconds = 60, const std::vector<std::string>& more = {});
    // Starts it and waits until its discovery block says ready.
    int StartDaemonReady(unsigned idleSeconds = 60, const std::vector<std::string>& more = {});
    // Waits for the block's state (false after timeoutMs).
    bool WaitForState(uint32_t state, unsigned timeoutMs);
    // The discovery block; false when absent.
    bool ReadBlock(VADDiscoveryBlock& out) const;
    // SIGKILL and reap.
    void KillDaemon();
    // Waits for the daemon started last to end; its exit code, or -1 on time-out.
    int WaitDaemonExit(unsigned timeoutMs);
    int DaemonPid() const { return pid_; }

private:
    std::string root_;
    std::string blockName_;
    int pid_ = 0;
};

// Writes an asset folder with a config.txt of the given extra lines after "kuid" and "username".
void WriteAssetFolder(const std::string& folder, const KUID& kuid, const std::string& name,
                      const std::string& extraConfig = {}, int extraFiles = 0, size_t fileBytes = 0);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// The folders "<dated>/<name>" below backupsRoot/uncommitted, oldest first.
std::vector<std::string> KeptAs(const std::string& backupsRoot, const std::string& name);
// Whether a result's text, or one of its parameters, holds `part`.
bool Says(const DaemonResults& results, const std::string& part);

// What a daemon records of its own work (platform/OwnWorkRecords.h), written as the register of a process that has
// ended, in the folder of registers `registers` (made owner-only): each entry as `path` names it now (one set aside is
// to get the name `own` back), so that a start-up clean-up finds it proven.
struct EndedWork
{
    Platform::OwnWorkKind kind;
    std::string path;
    std::string own = {};
};
void RecordEndedWork(const std::string& registers, const std::vector<EndedWork>& work);

// A client without the library: connects to the daemon of a root and exchanges raw frames.
class RawClient
{
public:
    // Connects and says hello with the block's token (or the given wrong token).
    bool Connect(const TestInstallation& inst, bool wrongToken = false);
    // Only opens the socket, says nothing; the block it found goes to `block` when given.
    bool ConnectSilently(const TestInstallation& inst, VADDiscoveryBlock* block = nullptr);
    // The client's first frame of the hello, with a fresh challenge drawn into `hello`, and the daemon's answer
    // decoded into `reply` (its payload into `answer` when given). False when either did not go through, or the
    // answer was no hello.
    bool SayHello(VADHello& hello, VADHelloReply& reply, VADBytes* answer = nullptr);
    bool SendRaw(const void* data, size_t n);
    bool SendFrame(uint32_t code, uint32_t id, const VADBytes& payload);
    // Reads frames until the reply of id; the results before it go to `results`. False when the link closed.
    bool Call(uint32_t code, const VADBytes& payload, int32_t& status, VADBytes& body,
              std::vector<VADResultNotification>* results = nullptr);
    // The same, with everything the daemon sent back in one value.
    struct Reply
    {
        bool answered = false;
        int32_t status = 0;
        VADBytes body;
        std::vector<VADResultNotification> results;
    };
    Reply Ask(uint32_t code, const VADBytes& payload);
    // True when the daemon has closed the connection (waits up to timeoutMs).
    bool ClosedByPeer(int timeoutMs);
    Platform::Socket& Socket() { return socket_; }

private:
    Platform::Socket socket_;
    uint32_t nextId_ = 1;
};

// A new KUID from the daemon; the null KUID when the request fails.
inline KUID NewKUID(VADClient& client)
{
    KUID k;
    (void)client.GenerateKUID(k);  // the out KUID stays null on failure
    return k;
}

// Installs one asset folder; its KUID, or the null KUID when nothing was installed.
inline KUID InstalledKUID(VADClient& client, const std::string& folder, ResultsLog* log, uint32_t options = 0)
{
    KUID k;
    (void)client.InstallFromFolder(k, Orvo::File::Path(folder), log, options);  // the KUID says it
    return k;
}

// A fixture whose library client is pointed at a fresh installation; the daemon is started by the test.
class DaemonTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the library's connection; with autoStart the library may launch the daemon itself.
    bool Open(bool autoStart = false);
    // (Re)starts the daemon with these options, waits until it is ready and opens the connection to it.
    void StartAndOpen(const std::vector<std::string>& options = {});
    // Asks the serving daemon to close, waits for it to end, then starts and opens as above.
    void RestartAndOpen(const std::vector<std::string>& options = {});

    VADConnection connection;      // the library's link
    VADClient client{connection};  // the requests, on that link
    TestInstallation inst;
};

// A temporary folder, removed with everything in it when the test is done.
using PlatformTest::TempDir;
