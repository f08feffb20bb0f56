// The daemon proves itself to the tool. Once a daemon was killed, its discovery block stays behind and its pid
// and port are free for anybody: another user's process may get the pid and listen on the port, over IPv4 or
// IPv6. Such a
// listener must never learn the token nor pass for the daemon: the owner's command starts a new daemon and is
// carried out by it. And a full /dev/shm ends the owner's command with an error, never with SIGBUS.
#include "E2EFixture.h"
#include "SecondUser.h"

#include "assetdb/VADDiscovery.h"
#include "assetdb/VADProtocol.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

namespace e2e {
namespace {

constexpr char kSignalBox[] = "<kuid:900001:100>";

// A listener on 127.0.0.1, or on [::] taking IPv4 connections too (dual stack): the dead daemon's port when it
// can be had again, else any.
int ListenOn(uint16_t port, uint16_t& got, bool dualStack = false)
{
    const int fd = socket(dualStack ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int one = 1, zero = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (dualStack) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    sockaddr_storage a{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(a);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(a);
    if (dualStack)
    {
        v6.sin6_family = AF_INET6;
        v6.sin6_addr = in6addr_any;
        v6.sin6_port = htons(port);
    }
    else
    {
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4.sin_port = htons(port);
    }
    socklen_t len = dualStack ? sizeof v6 : sizeof v4;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0)
    {
        (dualStack ? v6.sin6_port : v4.sin_port) = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0)
        {
            close(fd);
            return -1;
        }
    }
    if (listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    {
        close(fd);
        return -1;
    }
    got = ntohs(dualStack ? v6.sin6_port : v4.sin_port);
    return fd;
}

// A forged answer to a hello: "OK", and 64 bytes where the daemon's challenge and proof would be.
std::vector<uint8_t> ForgedHelloAnswer()
{
    VADHelloReply reply;
    reply.pid = 1;
    for (size_t i = 0; i < reply.proof.size(); ++i) reply.proof[i] = static_cast<uint8_t>(0xA5 ^ i);
    return VADEncodeFrame(kVADHelloCode, 0, VADEncodeHelloReply(reply));
}

// Serves the connections of a listener until `stop` is readable or the time is up: whatever comes in is kept
// in `seen` (at most its capacity), each connection's first bytes are answered with `answer` unless silent.
// System calls only: it runs in a forked child too.
size_t ServeAsImpostor(int listener, int stop, uint8_t* seen, size_t capacity, const std::vector<uint8_t>& answer,
                       bool silent, int seconds)
{
    constexpr int kMaxConnections = 32;
    pollfd fds[2 + kMaxConnections];
    int count = 2;
    fds[0] = {listener, POLLIN, 0};
    fds[1] = {stop, POLLIN, 0};
    bool answered[2 + kMaxConnections] = {};
    size_t kept = 0;
    for (int round = 0; round < seconds * 20; ++round)
    {
        if (poll(fds, count, 50) < 0) break;
        if (fds[1].revents) break;
        if ((fds[0].revents & POLLIN) && count < 2 + kMaxConnections)
        {
            const int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) fds[count++] = {c, POLLIN, 0};
        }
        for (int i = 2; i < count; ++i)
        {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            uint8_t buf[4096];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0)
            {
                close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            const size_t take = std::min(static_cast<size_t>(n), capacity - kept);
            std::memcpy(seen + kept, buf, take);
            kept += take;
            if (!silent && !answered[i])
            {
                answered[i] = true;
                if (write(fds[i].fd, answer.data(), answer.size()) < 0)
                {
                    // The asker has gone: nothing to tell it.
                }
            }
        }
    }
    for (int i = 2; i < count; ++i)
        if (fds[i].fd >= 0) close(fds[i].fd);
    return kept;
}

// What an impostor was sent: how many bytes, and whether the token was among them.
struct ImpostorReport
{
    uint64_t received = 0;
    bool sawToken = true;
};

class DaemonProofE2E : public DaemonRootTest
{
protected:
    void SetUp() override
    {
        DaemonRootTest::SetUp();
        ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
        ASSERT_TRUE(VADFindDiscoveryBlock(root_.Root(), dead_, &blockName_));
    }
    void TearDown() override
    {
        for (pid_t pid : {helper_, sleeper_})
            if (pid > 0)
            {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        for (int fd : {stop_[0], stop_[1], result_[0], result_[1]})
            if (fd >= 0) close(fd);
    }

    // kill -9 of the daemon: its block stays, naming its pid and port.
    void KillDaemon()
    {
        ASSERT_EQ(kill(static_cast<pid_t>(dead_.pid), SIGKILL), 0);
        ASSERT_TRUE(Eventually([&] {
            (void)Platform::WaitForProcess(static_cast<int>(dead_.pid), 0);
            return !Platform::IsProcessAlive(static_cast<int>(dead_.pid));
        }));
        ASSERT_TRUE(Platform::SharedMemoryBlock::Exists(blockName_));
    }
    // The dead daemon's block, its pid and port now another process's.
    void Forge(uint32_t pid, uint16_t port)
    {
        VADDiscoveryBlock b = dead_;
        b.pid = pid;
        b.port = port;
        uint8_t raw[kVADDiscoveryBlockSize];
        VADEncodeDiscoveryBlock(b, raw);
        Platform::SharedMemoryBlock block;
        ASSERT_TRUE(block.Open(blockName_, true));
        ASSERT_TRUE(block.Write(0, raw, sizeof raw));
    }
    // A process that took the dead daemon's pid (as user nobody when asked) and listens on its port (or any),
    // answering each hello with a forged "OK" unless silent; the block is forged to name it, or `blockPid`.
    void StartImpostor(bool asNobody, bool silent, bool dualStack = false, pid_t blockPid = 0)
    {
        // Not inherited by the tool and daemon the test starts: the impostor alone holds the other ends.
        ASSERT_EQ(pipe2(stop_, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(result_, O_CLOEXEC), 0);
        int ready[2];
        ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
        const std::vector<uint8_t> answer = ForgedHelloAnswer();
        static uint8_t seen[1 << 16];
        const uint16_t port = dead_.port;
        const uint64_t token = dead_.token;
        helper_ = fork();
        if (helper_ == 0)
        {
            // Its stop comes when the test closes its end, its report's end when it ends.
            close(ready[0]);
            close(stop_[1]);
            close(result_[0]);
            if (asNobody && !BecomeNobody()) _exit(2);
            uint16_t got = 0;
            const int listener = ListenOn(port, got, dualStack);
            if (listener < 0 || write(ready[1], &got, sizeof got) != sizeof got) _exit(3);
            const size_t n = ServeAsImpostor(listener, stop_[0], seen, sizeof seen, answer, silent, 60);
            const uint64_t report[2] = {n, HoldsToken(seen, n, token) ? 1u : 0u};
            _exit(write(result_[1], report, sizeof report) == sizeof report ? 0 : 4);
        }
        // The impostor's ends: once it has ended, nothing is left to write to the test's ends.
        close(ready[1]);
        for (int* fd : {&stop_[0], &result_[1]})
        {
            close(*fd);
            *fd = -1;
        }
        uint16_t port2 = 0;
        const ssize_t got = helper_ > 0 ? read(ready[0], &port2, sizeof port2) : -1;
        close(ready[0]);
        ASSERT_GT(helper_, 0);
        ASSERT_EQ(got, static_cast<ssize_t>(sizeof port2));
        Forge(static_cast<uint32_t>(blockPid > 0 ? blockPid : helper_), port2);
    }
    // Ends the impostor: what it was sent.
    ImpostorReport StopImpostor()
    {
        close(stop_[1]);
        stop_[1] = -1;
        uint64_t report[2] = {};
        const ssize_t n = read(result_[0], report, sizeof report);
        int status = 0;
        EXPECT_EQ(waitpid(helper_, &status, 0), helper_);
        helper_ = -1;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        if (n != static_cast<ssize_t>(sizeof report))
        {
            ADD_FAILURE() << "the impostor ended without its report";
            return {};
        }
        return {report[0], report[1] != 0};
    }
    // kill -9 of the daemon, an impostor (StartImpostor; the block naming a sleeping process of the owner that holds
    // no listener when `sleeperInBlock`), and the owner's delete beside it, carried out by a new daemon: what the
    // impostor was sent is `seen`.
    void DeleteBesideAnImpostor(ImpostorReport& seen, bool asNobody, bool silent, bool dualStack = false,
                                bool sleeperInBlock = false)
    {
        ASSERT_NO_FATAL_FAILURE(KillDaemon());
        if (sleeperInBlock)
        {
            // Made before the listener, so that it holds no descriptor of it.
            sleeper_ = fork();
            if (sleeper_ == 0)
            {
                pause();
                _exit(0);
            }
            ASSERT_GT(sleeper_, 0);
        }
        ASSERT_NO_FATAL_FAILURE(StartImpostor(asNobody, silent, dualStack, sleeperInBlock ? sleeper_ : 0));
        DeleteIsCarriedOutByANewDaemon(static_cast<uint32_t>(sleeperInBlock ? sleeper_ : helper_));
        seen = StopImpostor();
    }
    // The delete is carried out by a new daemon of this user, and the asset is gone: nothing merely said "OK".
    void DeleteIsCarriedOutByANewDaemon(uint32_t impostorPid)
    {
        const auto start = std::chrono::steady_clock::now();
        RunOptions bounded = RunOptions::In(root_.Path("work"));
        bounded.timeoutMs = 30000;
        const RunResult del = root_.Run({"delete", kSignalBox}, bounded);
        EXPECT_FALSE(del.timedOut) << "the delete still waited after 30 s";
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(del.exitCode, 0) << del.out << del.err;
        EXPECT_EQ(del.err.find("Failed to open asset database"), std::string::npos) << del.err;
        EXPECT_LT(seconds, 10.0);
        const int pid = root_.DaemonPid();
        EXPECT_GT(pid, 0);
        EXPECT_NE(pid, static_cast<int>(dead_.pid));
        EXPECT_NE(pid, static_cast<int>(impostorPid));
        EXPECT_TRUE(Platform::IsOwnLiveProcess(pid));
        VADDiscoveryBlock now;
        ASSERT_TRUE(VADFindDiscoveryBlock(root_.Root(), now));
        EXPECT_NE(now.token, dead_.token);
        const RunResult gone = Run({"status", kSignalBox});
        EXPECT_EQ(gone.out, std::string("- ") + kSignalBox + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
    }

    VADDiscoveryBlock dead_;
    std::string blockName_;
    pid_t helper_ = -1;
    pid_t sleeper_ = -1;
    int stop_[2] = {-1, -1};
    int result_[2] = {-1, -1};
};

// Another user got the dead daemon's pid and listens on its port, answering every hello with "OK": the owner's
// tool says nothing to it.
TEST_F(DaemonProofE2E, AnotherUsersProcessOnADeadDaemonsPidAndPortNeverLearnsTheToken)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the second user as user nobody";
    ImpostorReport seen;
    ASSERT_NO_FATAL_FAILURE(DeleteBesideAnImpostor(seen, true, false));
    EXPECT_FALSE(seen.sawToken) << "the other user's listener received the token";
    EXPECT_EQ(seen.received, 0u);
}

// A process of the owner got the dead daemon's pid (a pid reused) and listens on its port without knowing the
// token, answering every hello with "OK": it learns a challenge, never the token, and is not trusted.
TEST_F(DaemonProofE2E, AListenerThatCannotProveTheTokenIsNeverTrusted)
{
    ImpostorReport seen;
    ASSERT_NO_FATAL_FAILURE(DeleteBesideAnImpostor(seen, false, false));
    EXPECT_FALSE(seen.sawToken) << "the listener received the token";
    EXPECT_GT(seen.received, 0u) << "the listener was never asked: the proof was not what kept it out";
}

// An impostor that ends before it is stopped (it could not listen, or not become user nobody) leaves nothing for the
// test to wait on: the end of its report comes at once.
TEST_F(DaemonProofE2E, AnImpostorThatEndsEarlyLeavesNothingToWaitFor)
{
    ASSERT_NO_FATAL_FAILURE(KillDaemon());
    ASSERT_NO_FATAL_FAILURE(StartImpostor(false, false));
    ASSERT_EQ(kill(helper_, SIGKILL), 0);
    pollfd end{result_[0], POLLIN, 0};
    ASSERT_EQ(poll(&end, 1, 10000), 1) << "the test would wait for the report of an impostor that has ended";
    uint64_t report = 0;
    EXPECT_EQ(read(result_[0], &report, sizeof report), 0);
    (void)Platform::SharedMemoryBlock::Unlink(blockName_);  // no daemon of the root is left to remove it
}

// Who listens on the dead daemon's port while the block's pid is a live process of the owner that holds no
// listener: a process of the owner on 127.0.0.1 or on [::] (dual stack, taking IPv4 connections too), or one of
// the other user on [::].
enum class PortHolder
{
    kOwnerV4,
    kOwnerDualStack,
    kNobodyDualStack,
};

class DaemonProofListenerE2E : public DaemonProofE2E, public testing::WithParamInterface<PortHolder>
{};

// The listener says nothing: the tool neither waits for it nor tells it anything, and a new daemon carries out
// the command.
TEST_P(DaemonProofListenerE2E, AListenerTheBlocksProcessDoesNotHoldIsNeverAsked)
{
    const bool nobody = GetParam() == PortHolder::kNobodyDualStack;
    const bool dualStack = GetParam() != PortHolder::kOwnerV4;
    if (nobody && geteuid() != 0) GTEST_SKIP() << "needs root to run the second user as user nobody";
    if (dualStack)
    {
        const int probe = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) GTEST_SKIP() << "no IPv6 sockets here";
        close(probe);
    }
    ImpostorReport seen;
    ASSERT_NO_FATAL_FAILURE(DeleteBesideAnImpostor(seen, nobody, true, dualStack, true));
    EXPECT_EQ(seen.received, 0u);
}

std::string HolderName(const testing::TestParamInfo<PortHolder>& info)
{
    const char* names[] = {"OwnerV4", "OwnerDualStack", "NobodyDualStack"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Holders, DaemonProofListenerE2E,
                         testing::Values(PortHolder::kOwnerV4, PortHolder::kOwnerDualStack,
                                         PortHolder::kNobodyDualStack),
                         HolderName);

// A full /dev/shm (a tmpfs of one page, filled, in a mount namespace of the command's own) with the block left
// behind by a daemon that could not write it: the command ends with the start-up error, not with SIGBUS, and
// the daemon's log says why.
TEST(DaemonProofSharedMemoryE2E, AFullSharedMemoryIsAStartUpErrorNotASignal)
{
    InstallRoot root;
    const std::string name = VADDiscoveryName(static_cast<uint32_t>(geteuid()), root.Root());
    const std::string script = "mount -t tmpfs -o size=4k tmpfs /dev/shm || exit " + std::to_string(kMountRefused) +
                               "\n"
                               "umask 077; truncate -s " +
                               std::to_string(kVADDiscoveryBlockSize) + " /dev/shm" + name +
                               " || exit 78\n"
                               "head -c 4096 /dev/zero > /dev/shm/fill || exit 79\n"
                               "exec \"$@\"\n";
    RunOptions options = RunOptions::Env({{"VELMAR_TEST_CONNECT_INTERVAL_MS", "50"}});
    options.timeoutMs = 60000;
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = RunInMountNamespace(script, {root.Tool(), "status", kSignalBox}, options);
    if (CannotMakeMountNamespace(r))
        GTEST_SKIP() << "cannot mount a small tmpfs over /dev/shm in a mount namespace here: " << r.err;
    ASSERT_NE(r.exitCode, 78) << r.err;
    ASSERT_NE(r.exitCode, 79) << r.err;
    EXPECT_NE(r.exitCode, 128 + SIGBUS) << r.err;
    EXPECT_EQ(r.exitCode, 255) << r.out << r.err;
    EXPECT_NE(r.err.find("- Failed to open asset database"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("OK (0 Errors"), std::string::npos) << r.out;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
    const std::string log = root.ReadFile("UserData/settings/vaddaemon.log");
    EXPECT_NE(log.find("/dev/shm is full"), std::string::npos) << log;
    EXPECT_FALSE(root.DaemonRunning());
}

}  // namespace
}  // namespace e2e
