#include "FakeDaemon.h"
#include "TestSupport.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "core/LogPrintf.h"
#include "core/MainThreadWork.h"
#include "core/TBuffer.h"
#include "platform/tests/NobodyProcess.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_logMutex;
std::vector<std::string> g_logLines;
void CollectLog(const char* line)
{
    std::lock_guard lk(g_logMutex);
    g_logLines.emplace_back(line);
}

class VADClientTest : public ClientTest
{
protected:
    void SetUp() override
    {
        ClientTest::SetUp();
        connection_.SetConnectIntervalMs(1);
    }
    void TearDown() override
    {
        ClientTest::TearDown();
        connection_.SetConnectIntervalMs(kVADConnectIntervalMs);
    }
};

// Replies with the request's own payload, so each caller can tell its answer from another's.
void Echo(FakeDaemon& d, const FakeDaemon::Frame& f) { d.Reply(f, 0, f.payload); }

}  // namespace

TEST_F(VADClientTest, ConnectsAndCloses)
{
    FakeDaemon daemon(connection_, Echo);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(connection_.Connected());
    EXPECT_EQ(daemon.Hellos(), 1);
    VADConnectionSettings again;
    EXPECT_TRUE(connection_.Open(again)) << "true at once when already open";
    EXPECT_EQ(daemon.Hellos(), 1);

    VADBytes reply;
    int32_t status = -1;
    EXPECT_TRUE(Perform(VAD_REQ_KEEPALIVE, VADBytes{1, 2, 3}, reply, nullptr, &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(reply, (VADBytes{1, 2, 3}));

    connection_.Close();
    EXPECT_FALSE(connection_.Connected());
    EXPECT_FALSE(Perform(VAD_REQ_KEEPALIVE, VADBytes{}, reply, nullptr, &status));
    EXPECT_EQ(status, kVADStatusLinkDropped);
}

TEST_F(VADClientTest, ErrorStatusFailsTheTransactionAndTBufferGetsTheBody)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code == VAD_REQ_DELETE)
            d.Reply(f, kVADStatusNotFound);
        else
            d.Reply(f, 0, VADBytes{9, 8});
    });
    ASSERT_TRUE(Open());
    TBuffer req, rep;
    rep.WriteUInt32(77);
    int32_t status = 0;
    EXPECT_FALSE(Perform(VAD_REQ_DELETE, req, rep, nullptr, &status));
    EXPECT_EQ(status, kVADStatusNotFound);
    EXPECT_EQ(rep.Size(), 0u);
    EXPECT_TRUE(Perform(VAD_REQ_KEEPALIVE, req, rep));
    ASSERT_EQ(rep.Size(), 2u);
    EXPECT_EQ(rep.Tell(), 0u);
    EXPECT_EQ(rep.ReadUInt8(), 9);
}

TEST_F(VADClientTest, OutOfOrderRepliesReachTheirOwnWaiters)
{
    std::mutex m;
    std::vector<FakeDaemon::Frame> held;
    FakeDaemon daemon(connection_, [&](FakeDaemon& d, const FakeDaemon::Frame& f) {
        std::vector<FakeDaemon::Frame> batch;
        {
            std::lock_guard lk(m);
            held.push_back(f);
            if (held.size() < 3) return;
            batch.swap(held);
        }
        // Answer the three in reverse order.
        for (auto it = batch.rbegin(); it != batch.rend(); ++it) d.Reply(*it, 0, it->payload);
    });
    ASSERT_TRUE(Open());
    std::vector<VADBytes> replies(3);
    bool ok[3] = {false, false, false};  // not vector<bool>: its bits share bytes across threads
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back(
            [&, i] { ok[i] = Perform(VAD_REQ_DESCRIPTION, VADBytes{static_cast<uint8_t>(10 + i)}, replies[i]); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(ok[i]);
        EXPECT_EQ(replies[i], VADBytes{static_cast<uint8_t>(10 + i)}) << "waiter " << i;
    }
}

TEST_F(VADClientTest, NotifiedResultsLandInTheirTransactionsLogBeforeTheReply)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        VADResultNotification n;
        n.kind = 3;
        n.hasSource = 1;
        n.sourceName = "AssetID";
        n.source = KUID(5, 6);
        n.text = "Folder is damaged";
        d.Send(VAD_NOTIFY_RESULT, f.header.transaction, VADEncode(n));
        n.kind = 2;
        n.hasSource = 0;
        n.text = "a result for nobody";
        d.Send(VAD_NOTIFY_RESULT, 9999, VADEncode(n));
        d.Reply(f, 0, VADEncode(VADBoolReply{0}));
    });
    ASSERT_TRUE(Open());
    ResultsLog log;
    VADBytes reply;
    ASSERT_TRUE(Perform(VAD_REQ_FOLDER_CHECK, VADEncode(VADTextPairRequest{"local", "x"}), reply, &log));
    // The reply was handed over only after the result had been posted.
    ASSERT_EQ(log.ErrorCount(), 1u);
    EXPECT_EQ(log.WarningCount(), 0u);
    auto results = log.GetResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].text.str(), "Folder is damaged");
    EXPECT_EQ(results[0].source.GetValueText(), KUID(5, 6).ToString());
}

// A daemon that sends junk between the real answers: malformed notifications, replies for transactions
// nobody waits for or with the wrong code, unknown codes. Seeded and bounded; each caller still gets its
// own answer and the link stays up.
TEST_F(VADClientTest, JunkFramesAroundTheRepliesAreIgnored)
{
    std::mt19937 rng(4711);
    FakeDaemon daemon(connection_, [&rng](FakeDaemon& d, const FakeDaemon::Frame& f) {
        const uint32_t codes[] = {VAD_NOTIFY_RESULT,  VAD_NOTIFY_JOB, VAD_NOTIFY_WEB_REPLY,         VAD_NOTIFY_PROGRESS,
                                  kVADNotifyBit | 77, kVADHelloCode,  f.header.code | kVADReplyBit, 12345};
        for (int i = 0, n = static_cast<int>(rng() % 4); i < n; ++i)
        {
            uint32_t code = codes[rng() % std::size(codes)];
            // A reply for this very transaction only under another code: anything else would be its answer.
            uint32_t id =
                f.header.transaction + (code == (f.header.code | kVADReplyBit) ? 1000 + rng() % 1000 : rng() % 2);
            VADBytes junk(rng() % 40);
            for (uint8_t& b : junk) b = static_cast<uint8_t>(rng());
            if (code == VAD_NOTIFY_RESULT && rng() % 2)
            {
                VADResultNotification n;
                n.kind = 1 + rng() % 6;  // kinds 5 and 6 do not exist
                n.text = "junk";
                junk = VADEncode(n);
                if (rng() % 2) junk.resize(rng() % junk.size());
            }
            d.Send(code, id, junk);
        }
        d.Reply(f, 0, f.payload);
    });
    ASSERT_TRUE(Open());
    std::atomic<int> wrong{0};
    auto caller = [&](uint8_t tag) {
        for (int i = 0; i < 100; ++i)
        {
            VADBytes request{tag, static_cast<uint8_t>(i)}, reply;
            ResultsLog log;
            if (!Perform(VAD_REQ_FOLDER_CHECK, request, reply, &log) || reply != request) ++wrong;
        }
    };
    std::thread other(caller, uint8_t(1));
    caller(2);
    other.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_TRUE(connection_.Connected());
}

TEST_F(VADClientTest, DroppedLinkFailsWaitersAtOnceAndTheNextRequestReopensIt)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code == VAD_REQ_REPAIR_NOW)
            d.Drop();
        else
            d.Reply(f, 0);
    });
    ASSERT_TRUE(Open());
    VADBytes reply;
    int32_t status = 0;
    EXPECT_FALSE(Perform(VAD_REQ_REPAIR_NOW, VADBytes{}, reply, nullptr, &status));
    EXPECT_EQ(status, kVADStatusLinkDropped);
    EXPECT_EQ(connection_.LinkFailure(), VADLinkFailure::kDropped);
    EXPECT_NE(connection_.LinkFailureText().find("\"repair database\""), std::string::npos)
        << connection_.LinkFailureText();

    // The next request opens the link again, with the settings of the last open.
    EXPECT_TRUE(Perform(VAD_REQ_KEEPALIVE, VADBytes{}, reply));
    EXPECT_EQ(daemon.Hellos(), 2);
    EXPECT_EQ(connection_.LinkFailure(), VADLinkFailure::kDropped) << "the first failure stands until cleared";
}

TEST_F(VADClientTest, WithoutADaemonToReopenEveryRequestFailsAtOnceWithOneFailure)
{
    {
        FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame&) { d.Drop(); });
        ASSERT_TRUE(Open());
        VADBytes reply;
        EXPECT_FALSE(Perform(VAD_REQ_INFO, VADBytes{}, reply));
    }
    connection_.ClearLinkFailure();
    const auto start = Clock::now();
    VADBytes reply;
    int32_t status = 0;
    EXPECT_FALSE(Perform(VAD_REQ_INFO, VADBytes{}, reply, nullptr, &status));
    EXPECT_EQ(status, kVADStatusLinkDropped);
    EXPECT_FALSE(connection_.SendAsync(VAD_REQ_FAVOURITE, VADBytes{}));
    EXPECT_FALSE(Perform(VAD_REQ_CONFIG, VADBytes{}, reply));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << "no daemon and no auto-start: nothing to wait for";
    EXPECT_EQ(connection_.LinkFailure(), VADLinkFailure::kUnreachable);
    EXPECT_EQ(connection_.LinkFailureText(),
              "The asset database daemon is not running, and this run does not start it: \"asset info\" was not "
              "carried out.");
}

TEST_F(VADClientTest, ADaemonThatDoesNotAnswerFailsTheRequestWithinItsBoundAndLosesTheLink)
{
    FakeDaemon daemon(connection_, [](FakeDaemon&, const FakeDaemon::Frame&) {});  // takes requests, answers none
    ASSERT_TRUE(Open());
    connection_.SetBoundCapMs(200);
    VADBytes reply;
    int32_t status = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(Perform(VAD_REQ_INSTALL_ARCHIVE, VADBytes{}, reply, nullptr, &status));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(status, kVADStatusTimedOut);
    EXPECT_EQ(connection_.LinkFailure(), VADLinkFailure::kTimedOut);
    EXPECT_EQ(connection_.LinkFailureText(),
              "The asset database daemon did not answer \"install archive\" within 1 seconds; "
              "the link to it was closed.");
    EXPECT_TRUE(daemon.WaitFor(VAD_REQ_INSTALL_ARCHIVE, 1000));
}

TEST_F(VADClientTest, OversizedFrameDropsTheLink)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        uint8_t raw[kVADFrameHeaderSize];
        VADEncodeFrameHeader(VADFrameHeader{f.header.code | kVADReplyBit, f.header.transaction, kVADMaxPayload + 1},
                             raw);
        d.SendRaw(VADBytes(raw, raw + sizeof raw));
    });
    ASSERT_TRUE(Open());
    VADBytes reply;
    int32_t status = 0;
    EXPECT_FALSE(Perform(VAD_REQ_KEEPALIVE, VADBytes{}, reply, nullptr, &status));
    EXPECT_EQ(status, kVADStatusLinkDropped);
    EXPECT_FALSE(connection_.Connected());
}

TEST_F(VADClientTest, NoDaemonFailsAfterTwentyOneAttemptsWithTheFixedLine)
{
    TempFolder root;
    connection_.SetRoot(root.path);
    SetLogLineObserver(CollectLog);
    {
        std::lock_guard lk(g_logMutex);
        g_logLines.clear();
    }
    VADConnectionSettings s;
    s.Reset();
    s.startDaemon = 0;
    EXPECT_FALSE(connection_.Open(s));
    SetLogLineObserver(nullptr);
    EXPECT_EQ(s.counter, 21u);
    EXPECT_FALSE(connection_.Connected());
    std::lock_guard lk(g_logMutex);
    bool found = false;
    for (const auto& l : g_logLines)
        if (l.find("VADOpenDatabase> unable to connect to VADDaemon") != std::string::npos) found = true;
    EXPECT_TRUE(found);
}

namespace {

// Children of this process in the given states (by the letter /proc shows).
int Children(bool (*inState)(char state))
{
    int n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec))
    {
        std::ifstream in(e.path() / "stat");
        std::string stat;
        if (!std::getline(in, stat)) continue;
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid() && inState(state)) ++n;
    }
    return n;
}

// Children that have ended and were never waited for / that still run.
int ZombieChildren()
{
    return Children([](char state) { return state == 'Z'; });
}
int LiveChildren()
{
    return Children([](char state) { return state != 'Z'; });
}

// A stand-in daemon executable under <root>/bin that only notes each start in a file.
struct LaunchCounter
{
    explicit LaunchCounter(const std::string& root) : marker(root + "/launches.txt")
    {
        std::filesystem::create_directories(root + "/bin");
        {
            std::ofstream script(root + "/bin/VADDaemon");
            script << "#!/bin/sh\necho started >> '" << marker << "'\n";
        }
        std::filesystem::permissions(root + "/bin/VADDaemon", std::filesystem::perms::owner_all);
    }
    int Lines() const
    {
        std::ifstream in(marker);
        int n = 0;
        for (std::string line; std::getline(in, line);) ++n;
        return n;
    }
    // The launched scripts run on their own: waits until none of them runs any more.
    int Settle() const
    {
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (LiveChildren() > 0 && Clock::now() < deadline) std::this_thread::yield();
        return Lines();
    }
    std::string marker;
};

}  // namespace

TEST_F(VADClientTest, AutoStartLaunchesAtOnceWhenNoDaemonExistsAndAgainAtTheFifthAndTenthAttempt)
{
    char tmpl[] = "/tmp/vadlaunch-XXXXXX";
    std::string root = mkdtemp(tmpl);
    LaunchCounter launches(root);
    connection_.SetRoot(root);
    VADConnectionSettings s;
    s.Reset();
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(s.counter, kVADConnectAttempts);
    EXPECT_EQ(connection_.LastLaunchAttempt(), 1u) << "no block at all: launched right after the first attempt";
    EXPECT_EQ(launches.Settle(), 3);
    std::filesystem::remove_all(root);

    // Without auto-start nothing is launched; the daemons launched before, which ended, are reaped.
    s.Reset();
    s.startDaemon = 0;
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(connection_.LastLaunchAttempt(), 0u);
    EXPECT_EQ(ZombieChildren(), 0);
}

TEST_F(VADClientTest, AutoStartWaitsForADaemonThatExistsButDoesNotAnswer)
{
    FakeDaemon daemon(connection_, Echo);
    LaunchCounter launches(daemon.Root());

    // Alive and starting: it gets until the 5th attempt before another is launched.
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token(), VAD_STATE_STARTING);
    VADConnectionSettings s;
    s.Reset();
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(connection_.LastLaunchAttempt(), 5u);
    EXPECT_EQ(launches.Settle(), 2);

    // A block left by a process that has ended counts as no daemon.
    daemon.Publish(0x7FFFFFF0u, daemon.Token(), VAD_STATE_READY);
    s.Reset();
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(connection_.LastLaunchAttempt(), 1u);
    EXPECT_EQ(launches.Settle(), 5);
}

// A daemon started here that ends with a failure ends the attempts at once, with its own reason; one that
// ends because another daemon serves the root did not fail, and the attempts go on. A reopening on demand
// stops the same way, and the request's failure says why.
TEST_F(VADClientTest, ADaemonThatCannotStartEndsTheWaitingWithItsReason)
{
    TempFolder folder;
    const std::string& root = folder.path;
    std::filesystem::create_directories(root + "/bin");
    auto standIn = [&](const std::string& body) {
        std::ofstream(root + "/bin/VADDaemon", std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(root + "/bin/VADDaemon", std::filesystem::perms::owner_all);
    };
    connection_.SetRoot(root);
    // Long enough that running through every attempt would not go unnoticed.
    connection_.SetConnectIntervalMs(1000);
    VADConnectionSettings s;

    standIn("echo 'VADDaemon: cannot set up' >&2\necho \"VADDaemon: '$0' cannot be created: Read-only file system\" >&2"
            "\nexit 2");
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_LT(s.counter, 10u);
    const std::string made = "'" + root + "/bin/VADDaemon' cannot be created: Read-only file system";
    EXPECT_EQ(connection_.DaemonStartFailure(), "The asset database daemon could not start: " + made);

    standIn("echo 'VADDaemon: no room' >&2\nexit 2");
    connection_.ClearLinkFailure();
    VADBytes body;
    EXPECT_FALSE(connection_.Perform(VAD_REQ_KEEPALIVE, VADBytes(), body).Ok());
    EXPECT_EQ(connection_.LinkFailureText(),
              "The asset database daemon could not start: no room; \"keep-alive\" was not carried out.");

    connection_.SetConnectIntervalMs(1);
    standIn("echo 'VADDaemon: another daemon serves it' >&2\nexit 1");
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(s.counter, kVADConnectAttempts);
    EXPECT_EQ(connection_.DaemonStartFailure(), "");
    connection_.Close();
}

// What answers on a block's port without proving the block's token, or a block whose pid is another user's
// process, is a dead daemon's leftover: a new daemon is launched at once, and the listener never hears more
// than the hello.
TEST_F(VADClientTest, AnUnprovenListenerOrAnotherUsersPidIsNoDaemon)
{
    FakeDaemon daemon(connection_, Echo);
    LaunchCounter launches(daemon.Root());
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token() + 1, VAD_STATE_READY);
    VADConnectionSettings s;
    s.Reset();
    EXPECT_FALSE(connection_.Open(s));
    EXPECT_EQ(connection_.LastLaunchAttempt(), 1u);
    EXPECT_EQ(daemon.Hellos(), 0);
    EXPECT_TRUE(daemon.Received().empty());
    launches.Settle();

    if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process of user nobody";
    {
        PlatformTest::NobodyProcess other;
        ASSERT_GT(other.Pid(), 0);
        daemon.Publish(static_cast<uint32_t>(other.Pid()), daemon.Token(), VAD_STATE_READY);
        EXPECT_FALSE(Open());
        EXPECT_EQ(daemon.Hellos(), 0);
    }
    // The same block with a pid of ours is our daemon's.
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token(), VAD_STATE_READY);
    EXPECT_TRUE(Open());
}

TEST_F(VADClientTest, DeadPidWrongTokenAndStartingStateCountAsAbsent)
{
    FakeDaemon daemon(connection_, Echo);
    // A pid that cannot be running.
    daemon.Publish(0x7FFFFFF0u, daemon.Token(), VAD_STATE_READY);
    EXPECT_FALSE(Open());
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token(), VAD_STATE_STARTING);
    EXPECT_FALSE(Open());
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token() + 1, VAD_STATE_READY);
    EXPECT_FALSE(Open());
    EXPECT_EQ(daemon.Hellos(), 0);
    daemon.Publish(static_cast<uint32_t>(getpid()), daemon.Token(), VAD_STATE_LISTENING);
    EXPECT_TRUE(Open());
}

TEST_F(VADClientTest, CommandHostJobsRunOnTheMainThreadAndAreAnswered)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.transaction != 0) d.Reply(f, 0);
    });
    ASSERT_TRUE(Open());
    static std::vector<uint8_t> seen;
    seen.clear();
    connection_.SetCommandHostCallback([](TStream& job, TBuffer& reply) {
        seen.push_back(static_cast<uint8_t>(job.ReadUInt32()));
        reply.WriteUInt32(0xABCD);
    });
    daemon.Send(VAD_NOTIFY_JOB, 0, VADBytes{7, 0, 0, 0});
    FakeDaemon::Frame answer;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!daemon.WaitFor(VAD_REQ_JOB_REPLY, 10, &answer) && Clock::now() < deadline) MainThreadUpdate();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], 7);
    EXPECT_EQ(answer.header.transaction, 0u);
    EXPECT_EQ(answer.payload, (VADBytes{0xCD, 0xAB, 0, 0}));

    // Without a callback nothing runs and nothing is sent. The round trip after the job shows it was handled.
    connection_.SetCommandHostCallback(nullptr);
    daemon.Send(VAD_NOTIFY_JOB, 0, VADBytes{8, 0, 0, 0});
    RoundTrip();
    MainThreadUpdate();
    int replies = 0;
    for (const auto& f : daemon.Received())
        if (f.header.code == VAD_REQ_JOB_REPLY) ++replies;
    EXPECT_EQ(replies, 1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(VADClientTest, WebRepliesAreFiledByRequestId)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code != VAD_REQ_RESOLVE_PACKAGE) return;
        VADResolvePackageRequest req;
        if (!VADDecode(f.payload, req)) return;
        VADWebReplyNotification n;
        n.idHigh = req.idHigh;
        n.idLow = req.idLow;
        n.complete = 1;
        n.words[1] = 42;
        n.path = "/mirror/packages/x.cdp";
        n.name = "x";
        d.Send(VAD_NOTIFY_WEB_REPLY, 0, VADEncode(n));
    });
    ASSERT_TRUE(Open());
    VADRequestId id;
    ASSERT_TRUE(connection_.BeginWebRequest(VAD_REQ_RESOLVE_PACKAGE, VADEncode(VADKuidRequest{KUID(1, 2)}), id));
    VADRequestReply reply;
    ASSERT_TRUE(connection_.WaitWebRequest(id, reply, 5000));
    EXPECT_EQ(reply.complete, 1);
    EXPECT_EQ(reply.result[1], 42u);
    EXPECT_EQ(reply.path.str(), "/mirror/packages/x.cdp");
    EXPECT_TRUE(reply.name == "x");
    EXPECT_FALSE(connection_.PollWebRequest(id, reply)) << "forgotten once collected";
}

TEST_F(VADClientTest, CloseDaemonAsksAndWaitsForTheDrop)
{
    FakeDaemon daemon(connection_, [](FakeDaemon& d, const FakeDaemon::Frame& f) {
        if (f.header.code == VAD_REQ_CLOSE_DAEMON) d.Drop();
    });
    ASSERT_TRUE(Open());
    connection_.CloseDaemon(1);
    EXPECT_FALSE(connection_.Connected());
    VADValueRequest req;
    ASSERT_TRUE(daemon.Sent(VAD_REQ_CLOSE_DAEMON, req));
    EXPECT_EQ(req.value, 1);
}
