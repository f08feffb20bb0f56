#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include "PlatformTestSupport.h"

using namespace Platform;
using PlatformTest::WaitUntil;
using PlatformTest::WaitUntilBlocked;

namespace {
struct Pair
{
    Socket listener, client, server;
};

Pair Connected()
{
    Pair p;
    std::string error;
    p.listener = Socket::Listen(0, 4, &error);
    EXPECT_TRUE(p.listener.IsValid()) << error;
    p.client = Socket::Connect(p.listener.LocalPort(), 5000, &error);
    EXPECT_TRUE(p.client.IsValid()) << error;
    IoResult r;
    p.server = p.listener.Accept(5000, &r);
    EXPECT_EQ(r, IoResult::Ok);
    return p;
}
}  // namespace

TEST(SocketTest, DataTravelsBothWays)
{
    Pair p = Connected();
    ASSERT_NE(p.listener.LocalPort(), 0);
    EXPECT_EQ(p.server.PeerPort(), p.client.LocalPort());
    EXPECT_TRUE(p.client.SetNoDelay());
    EXPECT_EQ(p.client.SendAll("hello", 5), IoResult::Ok);
    char buf[8] = {};
    EXPECT_EQ(p.server.ReceiveExact(buf, 5, 5000), IoResult::Ok);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(p.server.SendAll("back", 4), IoResult::Ok);
    size_t got = 0;
    EXPECT_EQ(p.client.ReceiveSome(buf, sizeof buf, &got, 5000), IoResult::Ok);
    EXPECT_EQ(std::string(buf, got), "back");
}

TEST(SocketTest, LargeTransfersInBothDirectionsAtOnce)
{
    Pair p = Connected();
    std::vector<unsigned char> a(3 << 20), b(2 << 20);
    std::iota(a.begin(), a.end(), 0);
    std::iota(b.begin(), b.end(), 7);
    std::vector<unsigned char> gotA(a.size()), gotB(b.size());
    // Each side sends more than the socket buffers hold while the other also sends.
    std::thread t([&] { EXPECT_EQ(p.client.SendAll(a.data(), a.size(), 20000), IoResult::Ok); });
    std::thread u([&] { EXPECT_EQ(p.client.ReceiveExact(gotB.data(), gotB.size(), 20000), IoResult::Ok); });
    EXPECT_EQ(p.server.SendAll(b.data(), b.size(), 20000), IoResult::Ok);
    EXPECT_EQ(p.server.ReceiveExact(gotA.data(), gotA.size(), 20000), IoResult::Ok);
    t.join();
    u.join();
    EXPECT_EQ(gotA, a);
    EXPECT_EQ(gotB, b);
}

TEST(SocketTest, ReceiveTimesOutWithThePartCountedThatCame)
{
    Pair p = Connected();
    ASSERT_EQ(p.client.SendAll("abc", 3), IoResult::Ok);
    char buf[10];
    size_t got = 99;
    EXPECT_EQ(p.server.ReceiveExact(buf, 10, 50, &got), IoResult::TimedOut);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(p.server.ReceiveSome(buf, sizeof buf, &got, 10), IoResult::TimedOut);
    IoResult r;
    EXPECT_FALSE(p.listener.Accept(10, &r).IsValid());
    EXPECT_EQ(r, IoResult::TimedOut);
}

TEST(SocketTest, PeerClosingIsReportedAndNeverRaisesSigpipe)
{
    Pair p = Connected();
    ASSERT_EQ(p.client.SendAll("xy", 2), Platform::IoResult::Ok);
    p.client.Close();
    char buf[4];
    size_t got = 0;
    EXPECT_EQ(p.server.ReceiveExact(buf, 4, 5000, &got), IoResult::Closed);
    EXPECT_EQ(got, 2u);
    // Writing into a closed connection: the first write may still be accepted, a later one fails.
    std::vector<char> chunk(1 << 16, 'z');
    IoResult last = IoResult::Ok;
    for (int i = 0; i < 100 && last == IoResult::Ok; ++i) last = p.server.SendAll(chunk.data(), chunk.size(), 1000);
    EXPECT_TRUE(last == IoResult::Closed || last == IoResult::Error);
}

// Runs `call` on another thread, shuts `socket` down once that thread has blocked in it, and gives what it
// returned.
template <class Call>
auto ShutdownWhileBlocked(Socket& socket, Call call)
{
    std::atomic<pid_t> tid{0};
    decltype(call()) result{};
    std::thread t([&] {
        tid = gettid();
        result = call();
    });
    EXPECT_TRUE(WaitUntil([&] { return tid != 0; }) && WaitUntilBlocked(tid));
    socket.Shutdown();
    t.join();
    return result;
}

TEST(SocketTest, ShutdownWakesABlockedReceiverAndABlockedAccept)
{
    Pair p = Connected();
    char buf[4];
    EXPECT_EQ(ShutdownWhileBlocked(p.server, [&] { return p.server.ReceiveExact(buf, 4); }), IoResult::Closed);

    Socket listener = Socket::Listen();
    IoResult accepted = IoResult::Ok;
    EXPECT_FALSE(
        ShutdownWhileBlocked(listener, [&] { return listener.Accept(Socket::kForever, &accepted).IsValid(); }));
    EXPECT_EQ(accepted, IoResult::Closed);
}

TEST(SocketTest, FailuresAreReportedNotThrown)
{
    uint16_t port;
    {
        Socket l = Socket::Listen();
        port = l.LocalPort();
    }
    std::string error;
    EXPECT_FALSE(Socket::Connect(port, 1000, &error).IsValid());  // nobody listens there now
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Socket::Connect(0).IsValid());
    Socket none;
    char buf[1];
    EXPECT_EQ(none.SendAll("a", 1), IoResult::Error);
    EXPECT_EQ(none.ReceiveExact(buf, 1), IoResult::Error);
    EXPECT_FALSE(none.Accept(0).IsValid());
    EXPECT_FALSE(none.SetNoDelay());
    EXPECT_EQ(none.LocalPort(), 0);
    none.Shutdown();
    Pair p = Connected();
    EXPECT_EQ(p.client.SendAll(nullptr, 3), IoResult::Error);
    EXPECT_EQ(p.client.SendAll(nullptr, 0), IoResult::Ok);
}
