// The daemon's life as its clients see it: one per root, auto-start, close, idle exit, and clients that
// misbehave.
#include "DaemonHarness.h"

#include "assetdb/VADClient.h"
#include "platform/FileLock.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace {

using DaemonLifecycleTest = DaemonTest;

TEST_F(DaemonLifecycleTest, SecondDaemonOnTheSameRootExitsWithOne)
{
    ASSERT_GT(inst.StartDaemonReady(), 0);
    Platform::LaunchResult second =
        Platform::LaunchProcess(inst.Path("bin/VADDaemon"), {}, inst.Root(), Platform::kLaunchWait);
    ASSERT_TRUE(second.exited);
    EXPECT_EQ(second.exitCode, 1);
    // The first one still serves.
    ASSERT_TRUE(Open());
    EXPECT_EQ(client.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
    EXPECT_TRUE(client.IsReady().ValueOr(false));
}

TEST_F(DaemonLifecycleTest, AutoStartThenCloseRemovesTheBlockAndReleasesTheLock)
{
    // The real pause between attempts. No daemon exists, so it is launched right after the first attempt
    // and answers long before the 5th, where a launch used to come first.
    connection.SetConnectIntervalMs(kVADConnectIntervalMs);
    VADConnectionSettings s;
    s.Reset();
    ASSERT_TRUE(connection.Open(s));
    EXPECT_EQ(connection.LastLaunchAttempt(), 1u);
    EXPECT_LT(s.counter, 5u);
    EXPECT_TRUE(client.BeginWaitReady());
    EXPECT_TRUE(client.IsReady().ValueOr(false));
    VADDiscoveryBlock b;
    ASSERT_TRUE(inst.ReadBlock(b));
    EXPECT_EQ(b.state, static_cast<uint32_t>(VAD_STATE_READY));
    EXPECT_NE(b.token, 0u);
    int pid = static_cast<int>(b.pid);

    struct stat st;
    ASSERT_EQ(stat(inst.Path("assets.tdx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(ReadFile(inst.Path("UserData/settings/vaddaemon.log")).find("listening"), std::string::npos);

    connection.CloseDaemon(0);
    EXPECT_FALSE(connection.Connected());
    for (int i = 0; i < 200 && Platform::IsProcessAlive(pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_FALSE(Platform::IsProcessAlive(pid));
    EXPECT_FALSE(inst.ReadBlock(b));
    Platform::FileLock lock;
    EXPECT_TRUE(lock.TryLock(inst.Path("assets.tdx.lock")));
}

// A daemon the link started that is killed after it served did not fail to start: the next request starts
// another one.
TEST_F(DaemonLifecycleTest, AnAutoStartedDaemonKilledAfterItServedIsStartedAgain)
{
    connection.SetConnectIntervalMs(kVADConnectIntervalMs);
    ASSERT_TRUE(Open(true));
    VADDiscoveryBlock first;
    ASSERT_TRUE(inst.ReadBlock(first));
    ASSERT_EQ(kill(static_cast<pid_t>(first.pid), SIGKILL), 0);
    for (int i = 0; i < 400 && connection.Connected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ASSERT_FALSE(connection.Connected());
    EXPECT_FALSE(NewKUID(client).IsNull()) << connection.LinkFailureText();
    EXPECT_EQ(connection.DaemonStartFailure(), "");
    VADDiscoveryBlock second;
    ASSERT_TRUE(inst.ReadBlock(second));
    EXPECT_NE(second.pid, first.pid);
}

TEST_F(DaemonLifecycleTest, SigtermAndIdleTimeEndTheDaemonCleanly)
{
    ASSERT_GT(inst.StartDaemonReady(), 0);
    kill(inst.DaemonPid(), SIGTERM);
    EXPECT_EQ(inst.WaitDaemonExit(10000), 0);
    VADDiscoveryBlock b;
    EXPECT_FALSE(inst.ReadBlock(b));

    ASSERT_GT(inst.StartDaemonReady(1), 0);
    EXPECT_EQ(inst.WaitDaemonExit(10000), 0);
    EXPECT_NE(ReadFile(inst.Path("UserData/settings/vaddaemon.log")).find("no clients for 1 s"), std::string::npos);
}

TEST_F(DaemonLifecycleTest, ADaemonWhoseInstallationWasRemovedEnds)
{
    TestInstallation other;
    ASSERT_GT(other.StartDaemonReady(600), 0);
    std::filesystem::remove_all(other.Root());
    EXPECT_EQ(other.WaitDaemonExit(10000), 0);
}

// A store replaced under a running daemon (a file moved over it): the daemon serves nothing more, from its
// links already open too, and leaves the root to the next daemon.
TEST_F(DaemonLifecycleTest, ADaemonWhoseStoreWasReplacedServesNothingMoreAndEnds)
{
    ASSERT_GT(inst.StartDaemonReady(600), 0);
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    ASSERT_EQ(raw.Ask(VAD_REQ_DATABASE_STATUS, {}).status, 0);
    std::filesystem::copy_file(inst.Path("assets.tdx"), inst.Path("copy.tdx"));
    std::filesystem::rename(inst.Path("copy.tdx"), inst.Path("assets.tdx"));

    // Whether the request or the daemon's own look comes first, the request is not carried out.
    RawClient::Reply r = raw.Ask(VAD_REQ_DATABASE_STATUS, {});
    if (r.answered)
    {
        EXPECT_EQ(r.status, kVADStatusFailed);
        ASSERT_EQ(r.results.size(), 1u);
        EXPECT_NE(r.results[0].text.find("was removed or replaced"), std::string::npos) << r.results[0].text;
    }
    EXPECT_EQ(inst.WaitDaemonExit(10000), 0);
    VADDiscoveryBlock b;
    EXPECT_FALSE(inst.ReadBlock(b));
    EXPECT_NE(ReadFile(inst.Path("UserData/settings/vaddaemon.log"))
                  .find("'" + inst.Path("assets.tdx") + "' was replaced: the installation this daemon served is gone"),
              std::string::npos);
    ASSERT_GT(inst.StartDaemonReady(), 0);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(client.IsReady().ValueOr(false));
}

TEST_F(DaemonLifecycleTest, MisbehavingClientsAreCutOffWhileOthersGoOn)
{
    StartAndOpen();

    RawClient wrongToken;
    ASSERT_TRUE(wrongToken.Connect(inst, true));
    EXPECT_TRUE(wrongToken.ClosedByPeer(5000));

    RawClient garbage;
    ASSERT_TRUE(garbage.ConnectSilently(inst));
    const char junk[] = "GET / HTTP/1.0\r\n\r\n and more junk";
    garbage.SendRaw(junk, sizeof junk);
    EXPECT_TRUE(garbage.ClosedByPeer(10000));

    RawClient oversized;
    ASSERT_TRUE(oversized.Connect(inst));
    uint8_t header[kVADFrameHeaderSize];
    VADEncodeFrameHeader(VADFrameHeader{VAD_REQ_INFO, 7, kVADMaxPayload + 1}, header);
    oversized.SendRaw(header, sizeof header);
    EXPECT_TRUE(oversized.ClosedByPeer(5000));

    RawClient unknown;
    ASSERT_TRUE(unknown.Connect(inst));
    int32_t status = 0;
    VADBytes body;
    ASSERT_TRUE(unknown.Call(9999, {}, status, body));
    EXPECT_EQ(status, kVADStatusUnknownRequest);
    ASSERT_TRUE(unknown.Call(VAD_REQ_INFO, {1, 2, 3}, status, body));  // a short payload
    EXPECT_EQ(status, kVADStatusBadPayload);
    ASSERT_TRUE(unknown.Call(VAD_REQ_KEEPALIVE, {}, status, body));
    EXPECT_EQ(status, kVADStatusOK);

    RawClient quitter;
    ASSERT_TRUE(quitter.Connect(inst));
    VADEncodeFrameHeader(VADFrameHeader{VAD_REQ_QUERY, 3, 100}, header);
    quitter.SendRaw(header, sizeof header);
    quitter.SendRaw("abcdefghij", 10);
    quitter.Socket().Close();

    // One that goes away while its request is being served.
    RawClient impatient;
    ASSERT_TRUE(impatient.Connect(inst));
    impatient.SendFrame(VAD_REQ_REPAIR_NOW, 5, VADEncode(VADRepairRequest{100, 1}));
    impatient.Socket().Close();

    // The library's connection went on through all of it.
    EXPECT_TRUE(connection.Connected());
    EXPECT_EQ(client.GetDatabaseStatus().ValueOr(0xFFFFFFFFu), 0u);
    EXPECT_TRUE(Platform::IsProcessAlive(inst.DaemonPid()));
}

// Options a request carries that the daemon has no use for are named in its log, once.
TEST_F(DaemonLifecycleTest, UnusedOptionsAreSaidOnceInTheLog)
{
    StartAndOpen();
    RawClient raw;
    ASSERT_TRUE(raw.Connect(inst));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(raw.Ask(VAD_REQ_GET_SETTINGS_GROUP, VADEncode(VADSettingsGroupRequest{"internet", 7})).status,
                  kVADStatusOK);
    std::string log = ReadFile(inst.Path("UserData/settings/vaddaemon.log"));
    const std::string said = "request 100 from rawclient: flags 7 has no effect";
    size_t at = log.find(said);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find(said, at + 1), std::string::npos);
}

}  // namespace
