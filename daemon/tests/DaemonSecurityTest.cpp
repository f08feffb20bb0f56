// The daemon serves one user: nobody else may read its token, plant a discovery block, fill its
// connections or grow its log without bound.
#include "DaemonHarness.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADDiscovery.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "daemon/DaemonLog.h"
#include "platform/SharedMemory.h"
#include "platform/tests/NobodyProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using PlatformTest::AsNobody;
using PlatformTest::BecomeNobody;
using PlatformTest::kNobody;
constexpr int kFlood = 300;  // more than the daemon's connection cap

int ConnectTo(uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// How many of the sockets the peer has not closed within the time given.
int StillOpen(const int* fds, int n, int timeoutMs)
{
    int open = 0;
    for (int i = 0; i < n; ++i)
    {
        if (fds[i] < 0) continue;
        pollfd p{fds[i], POLLIN, 0};
        char c;
        if (poll(&p, 1, timeoutMs) <= 0 || read(fds[i], &c, 1) > 0) ++open;
        timeoutMs = 0;  // the first wait covers the rest: they were all opened at once
    }
    return open;
}

std::string BlockName(const TestInstallation& inst)
{
    return VADDiscoveryName(static_cast<uint32_t>(geteuid()), inst.Root());
}

class DaemonSecurityTest : public DaemonTest
{
protected:
    void RequireRoot()
    {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to run a part of the test as user nobody";
    }
};

TEST_F(DaemonSecurityTest, SilentConnectionsNeverKeepAnAuthenticatedClientOut)
{
    StartAndOpen();
    std::vector<RawClient> silent(kFlood);
    for (RawClient& s : silent) ASSERT_TRUE(s.ConnectSilently(inst));
    RawClient client;
    ASSERT_TRUE(client.Connect(inst));
    EXPECT_EQ(client.Ask(VAD_REQ_KEEPALIVE, {}).status, kVADStatusOK);
    // Without a hello they do not stay: the last one waits out the hello time, the others gave way.
    EXPECT_TRUE(silent.back().ClosedByPeer(20000));
    EXPECT_TRUE(silent.front().ClosedByPeer(1000));
    // Two log lines at most for each of them, and the log stays the owner's.
    struct stat st
    {};
    ASSERT_EQ(stat(inst.Path("UserData/settings/vaddaemon.log").c_str(), &st), 0);
    EXPECT_LT(st.st_size, 2 * kFlood * 120);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DaemonSecurityTest, AnotherUserCanNeitherReadTheTokenNorFillTheDaemon)
{
    RequireRoot();
    StartAndOpen();
    VADDiscoveryBlock block;
    ASSERT_TRUE(inst.ReadBlock(block));
    std::string posix = BlockName(inst);
    if (posix[0] != '/') posix = "/" + posix;

    // The block is the owner's alone.
    EXPECT_EQ(AsNobody([&] { return shm_open(posix.c_str(), O_RDONLY, 0) < 0 ? 0 : 1; }), 0);

    // Connections of another user are closed at once and never take an authenticated client's place.
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    uint16_t port = block.port;
    pid_t pid = fork();
    if (pid == 0)
    {
        if (!BecomeNobody()) _exit(255);
        static int fds[kFlood];
        for (int& fd : fds) fd = ConnectTo(port);
        char c = 1;
        if (write(fromChild[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1) _exit(254);
        _exit(std::min(StillOpen(fds, kFlood, 10000), 200));
    }
    ASSERT_GT(pid, 0);
    char c;
    ASSERT_EQ(read(fromChild[0], &c, 1), 1);
    RawClient client;
    EXPECT_TRUE(client.Connect(inst));
    EXPECT_EQ(client.Ask(VAD_REQ_KEEPALIVE, {}).status, kVADStatusOK);
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "connections of user nobody the daemon kept";
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
    EXPECT_TRUE(connection.Connected());
}

TEST_F(DaemonSecurityTest, ABlockPlantedByAnotherUserIsNeverUsedTheDaemonPublishesPrivately)
{
    RequireRoot();
    std::string posix = BlockName(inst);
    if (posix[0] != '/') posix = "/" + posix;
    ASSERT_EQ(AsNobody([&] {
                  int fd = shm_open(posix.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
                  return fd >= 0 && fchmod(fd, 0666) == 0 && ftruncate(fd, kVADDiscoveryBlockSize) == 0 ? 0 : 1;
              }),
              0);
    // The daemon starts all the same, under a private name, and its clients find it there.
    inst.StartDaemon();
    ASSERT_TRUE(inst.WaitForState(VAD_STATE_READY, 20000));
    EXPECT_TRUE(Open());
    VADDiscoveryBlock block;
    std::string name;
    ASSERT_TRUE(VADFindDiscoveryBlock(inst.Root(), block, &name));
    EXPECT_TRUE(VADIsPrivateDiscoveryName(static_cast<uint32_t>(geteuid()), name)) << name;
    EXPECT_EQ(static_cast<int>(block.pid), inst.DaemonPid());
    // It never wrote into the planted block, and the other user can read neither its block nor its record.
    int fd = shm_open(posix.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    uint8_t raw[kVADDiscoveryBlockSize] = {};
    EXPECT_EQ(pread(fd, raw, sizeof raw, 0), static_cast<ssize_t>(sizeof raw));
    close(fd);
    EXPECT_EQ(std::count(raw, raw + sizeof raw, 0), static_cast<long>(sizeof raw)) << "the daemon wrote into it";
    const std::string record = inst.Path(std::string(kVADDiscoveryRecordFolder) + "/" + kVADDiscoveryRecordName);
    struct stat st
    {};
    ASSERT_EQ(stat(record.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(AsNobody([&] { return shm_open(name.c_str(), O_RDONLY, 0) < 0 ? 0 : 1; }), 0);
    EXPECT_EQ(AsNobody([&] { return open(record.c_str(), O_RDONLY) < 0 ? 0 : 1; }), 0);

    // Killed, it leaves its record and block; the next daemon takes them away and publishes anew.
    inst.KillDaemon();
    EXPECT_FALSE(VADFindDiscoveryBlock(inst.Root(), block)) << "a record whose process is dead counts as absent";
    inst.StartDaemon();
    ASSERT_TRUE(inst.WaitForState(VAD_STATE_READY, 20000));
    std::string again;
    ASSERT_TRUE(VADFindDiscoveryBlock(inst.Root(), block, &again));
    EXPECT_NE(again, name);
    EXPECT_FALSE(Platform::SharedMemoryBlock::Exists(name));

    // Closed, it removes both; with the name free again the usual one is used.
    connection.CloseDaemon(0);
    EXPECT_EQ(inst.WaitDaemonExit(20000), 0);
    EXPECT_FALSE(Platform::SharedMemoryBlock::Exists(again));
    EXPECT_FALSE(fs::exists(record));
    shm_unlink(posix.c_str());
    StartAndOpen();
    ASSERT_TRUE(VADFindDiscoveryBlock(inst.Root(), block, &name));
    EXPECT_EQ(name, posix);
}

TEST_F(DaemonSecurityTest, OnlyAnOwnerOnlyRecordOfALiveDaemonIsFollowed)
{
    // Hand-made records: each is refused, so the client finds no daemon.
    const std::string folder = inst.Path(kVADDiscoveryRecordFolder);
    fs::create_directories(folder);
    const std::string record = folder + "/" + kVADDiscoveryRecordName;
    const uint32_t uid = static_cast<uint32_t>(geteuid());
    const std::string name = VADPrivateDiscoveryName(uid);
    Platform::SharedMemoryBlock shm;
    ASSERT_TRUE(shm.Create(name, kVADDiscoveryBlockSize));
    VADDiscoveryBlock b;
    b.pid = static_cast<uint32_t>(getpid());
    b.state = VAD_STATE_READY;
    b.root = VADRootDigest(inst.Root());
    uint8_t raw[kVADDiscoveryBlockSize];
    VADEncodeDiscoveryBlock(b, raw);
    ASSERT_TRUE(shm.Write(0, raw, sizeof raw));
    const std::string self = std::to_string(getpid());
    const struct
    {
        std::string text;
        unsigned mode;
        bool found;
    } kCases[] = {
        {self + " " + name + "\n", 0600, true},
        {self + " " + name + "\n", 0644, false},                                 // readable by others
        {"999999 " + name + "\n", 0600, false},                                  // another (dead) process
        {self + " /vaddaemon-" + std::to_string(uid) + "-0123\n", 0600, false},  // not a private name
        {self + " " + name + " more\n", 0600, false},
    };
    for (const auto& c : kCases)
    {
        fs::remove(record);
        WriteFile(record, c.text);
        ASSERT_EQ(chmod(record.c_str(), c.mode), 0);
        VADDiscoveryBlock found;
        EXPECT_EQ(VADFindDiscoveryBlock(inst.Root(), found), c.found) << c.text << " " << c.mode;
    }
    // A record reached through a folder another user could change is not read either.
    fs::remove(record);
    ASSERT_TRUE(VADWriteDiscoveryRecord(inst.Root(), b.pid, name));
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    VADDiscoveryBlock found;
    EXPECT_FALSE(VADFindDiscoveryBlock(inst.Root(), found));
    EXPECT_FALSE(VADWriteDiscoveryRecord(inst.Root(), b.pid, name));
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_TRUE(VADFindDiscoveryBlock(inst.Root(), found));
    // Nor is a recorded block that names another installation.
    b.root = VADRootDigest(inst.Root() + "-other");
    VADEncodeDiscoveryBlock(b, raw);
    ASSERT_TRUE(shm.Write(0, raw, sizeof raw));
    EXPECT_FALSE(VADFindDiscoveryBlock(inst.Root(), found));
    shm.Close();
    Platform::SharedMemoryBlock::Unlink(name);
}

TEST(DaemonLogTest, LinesAreRateLimitedTheFileRotatedAndOwnerOnly)
{
    TempDir temp;
    ASSERT_FALSE(temp.path().empty());
    const std::string& dir = temp.path();
    const struct
    {
        DaemonLogLimits limits;
        int lines;
        size_t expectLines;  // in the log itself
        bool rotated;
    } kCases[] = {
        {{1u << 20, 5, 0}, 1000, 5, false},  // beyond the burst, with no rate, nothing more is written
        {{2000, 1e9, 1e9}, 1000, 0, true},   // past the size the log starts again beside its older copy
    };
    int n = 0;
    for (const auto& c : kCases)
    {
        std::string path = dir + "/log" + std::to_string(n++);
        DaemonLog log;
        ASSERT_TRUE(log.Open(path, c.limits));
        for (int i = 0; i < c.lines; ++i) log.Printf("line %d of a client that will not stop", i);
        std::string text = ReadFile(path);
        if (c.expectLines)
        {
            EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), c.expectLines);
        }
        EXPECT_LE(text.size(), c.limits.maxBytes + 100);
        EXPECT_EQ(fs::exists(path + ".1"), c.rotated);
        struct stat st
        {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    // A log planted as a link is not written through.
    fs::create_symlink(dir + "/elsewhere", dir + "/linked");
    DaemonLog linked;
    EXPECT_FALSE(linked.Open(dir + "/linked"));
    EXPECT_FALSE(fs::exists(dir + "/elsewhere"));
}

}  // namespace

// The daemon proves it knows the token before the client says more than a challenge, with a fresh challenge of
// its own each time and without the token's bytes; a client that cannot prove it in turn, or that sends a
// request instead, gets nothing more and is closed.
TEST_F(DaemonSecurityTest, TheDaemonProvesTheTokenFirstAndClosesAClientWithoutIt)
{
    StartAndOpen();
    auto hello = [&](RawClient& c, VADDiscoveryBlock& b, VADHello& h, VADHelloReply& reply, VADBytes& answer) {
        ASSERT_TRUE(c.ConnectSilently(inst, &b));
        ASSERT_TRUE(c.SayHello(h, reply, &answer));
    };
    auto closedWithoutAWord = [](RawClient& c) {
        VADFrameHeader fh;
        VADBytes p;
        return VADReceiveFrame(c.Socket(), fh, p, 5000) == VADFrameRead::kClosed;
    };

    VADDiscoveryBlock b;
    VADHello h;
    VADHelloReply first;
    VADBytes answer;
    RawClient requestInstead;
    hello(requestInstead, b, h, first, answer);
    EXPECT_EQ(first.status, kVADStatusOK);
    EXPECT_TRUE(DigestsEqual(first.proof, VADDaemonProof(b.token, h.challenge, first.challenge)));
    uint8_t token[8];
    for (int i = 0; i < 8; ++i) token[i] = static_cast<uint8_t>(b.token >> (8 * i));
    EXPECT_EQ(std::search(answer.begin(), answer.end(), token, token + 8), answer.end());
    ASSERT_TRUE(requestInstead.SendFrame(VAD_REQ_KEEPALIVE, 1, {}));
    EXPECT_TRUE(closedWithoutAWord(requestInstead));

    // A proof under another token, or the daemon's own proof sent back.
    for (int wrong = 0; wrong < 2; ++wrong)
    {
        RawClient c;
        VADHelloReply reply;
        hello(c, b, h, reply, answer);
        EXPECT_NE(reply.challenge, first.challenge);
        const Sha256Digest proof = wrong == 0 ? VADClientProof(b.token ^ 1, h.challenge, reply.challenge) : reply.proof;
        ASSERT_TRUE(c.SendFrame(kVADHelloCode, 0, VADEncodeHelloProof(proof)));
        EXPECT_TRUE(closedWithoutAWord(c)) << wrong;
    }
    // The right proof is let in, and the daemon still serves.
    RawClient good;
    ASSERT_TRUE(good.Connect(inst));
    EXPECT_EQ(good.Ask(VAD_REQ_KEEPALIVE, {}).status, kVADStatusOK);
    EXPECT_NE(ReadFile(inst.Path("UserData/settings/vaddaemon.log")).find("wrong token"), std::string::npos);
}
