#include "platform/ConsoleControl.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <fcntl.h>
#include <sys/wait.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "PlatformTestSupport.h"
#include "platform/FileLease.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;
using PlatformTest::WaitForFile;
using PlatformTest::WaitUntil;

TEST(ConsoleControlTest, SignalsArriveAsConsoleEventsOnAThreadOfTheirOwn)
{
    std::atomic<int> event{-1}, signal{0};
    std::atomic<bool> otherThread{false};
    const auto mainThread = std::this_thread::get_id();
    ASSERT_TRUE(InstallConsoleHandler([&](int e, int s) {
        otherThread = std::this_thread::get_id() != mainThread;
        signal = s;
        event = e;
        return true;
    }));
    EXPECT_TRUE(ConsoleHandlerInstalled());
    struct
    {
        int signal;
        int event;
    } cases[] = {{SIGINT, kConsoleCtrlC},     {SIGQUIT, kConsoleCtrlBreak}, {SIGHUP, kConsoleClose},
                 {SIGTERM, kConsoleShutdown}, {SIGUSR1, kConsoleShutdown},  {SIGRTMAX, kConsoleShutdown}};
    for (const auto& c : cases)
    {
        event = -1;
        ASSERT_EQ(raise(c.signal), 0);
        ASSERT_TRUE(WaitUntil([&] { return event >= 0; })) << "signal " << c.signal;
        EXPECT_EQ(event, c.event) << "signal " << c.signal;
        EXPECT_EQ(signal, c.signal);
        EXPECT_TRUE(otherThread);
    }
    RemoveConsoleHandler();
    EXPECT_FALSE(ConsoleHandlerInstalled());
    struct sigaction now
    {};
    sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);  // the disposition found at install time is back
    RemoveConsoleHandler();              // a second removal is harmless
}

// A lease broken by another's open raises SIGIO, which is no ending; a SIGIO that a process sends is.
TEST(ConsoleControlTest, TheSystemsSignalOfABrokenLeaseIsNoEnding)
{
    TempDir dir;
    if (!LeasesWorkIn(dir.path().c_str())) GTEST_SKIP() << "no leases on " << dir.path();
    std::atomic<int> first{0}, last{0};
    ASSERT_TRUE(InstallConsoleHandler([&](int, int s) {
        int none = 0;
        first.compare_exchange_strong(none, s);
        last = s;
        return true;
    }));
    const std::string path = dir / "leased";
    std::ofstream(path) << "x";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(TakeWriteLease(fd), LeaseResult::kHeld);
    const pid_t opener = fork();
    if (opener == 0) _exit(::open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1);  // waits until the lease goes
    // Broken once the holder's lease shows it; its signal is taken once no longer pending.
    sigset_t pending;
    EXPECT_TRUE(WaitUntil([&] { return ::fcntl(fd, F_GETLEASE) != F_WRLCK; }));
    EXPECT_TRUE(WaitUntil([&] { return sigpending(&pending) == 0 && sigismember(&pending, SIGIO) == 0; }));
    ReleaseLease(fd);
    ::close(fd);
    EXPECT_EQ(waitpid(opener, nullptr, 0), opener);
    ASSERT_TRUE(raise(SIGUSR2) == 0 && raise(SIGIO) == 0);
    EXPECT_TRUE(WaitUntil([&] { return last == SIGIO; }));
    RemoveConsoleHandler();
    EXPECT_EQ(first, SIGUSR2);
}

// A program started with a signal ignored (SIGHUP under nohup) may ask to keep it so; the others still arrive.
TEST(ConsoleControlTest, ASignalIgnoredAtTheStartCanStayIgnored)
{
    ::signal(SIGHUP, SIG_IGN);
    std::atomic<int> event{-1};
    ASSERT_TRUE(InstallConsoleHandler(
        [&](int e, int) {
            event = e;
            return true;
        },
        true));
    ASSERT_EQ(raise(SIGHUP), 0);
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return event >= 0; }));
    EXPECT_EQ(event, kConsoleShutdown);
    RemoveConsoleHandler();
    ::signal(SIGHUP, SIG_DFL);
}

TEST(ConsoleControlTest, ChildProcessSeesShutdownAndCtrlC)
{
    TempDir dir;
    struct
    {
        int signal;
        const char* expected;
    } cases[] = {{SIGTERM, "6"}, {SIGINT, "0"}};
    for (const auto& c : cases)
    {
        std::string ready = dir / ("ready" + std::to_string(c.signal)), out = dir / ("out" + std::to_string(c.signal));
        LaunchResult r = LaunchProcess(HelperPath(), {"console", ready, out});
        ASSERT_TRUE(r);
        ASSERT_TRUE(WaitForFile(ready));
        ASSERT_EQ(kill(r.pid, c.signal), 0);
        int code = -1;
        ASSERT_EQ(WaitForProcess(r.pid, 10000, &code), WaitResult::Exited);
        EXPECT_EQ(code, 0);  // handled: the child went on and ended normally
        EXPECT_EQ(ReadFile(out), c.expected);
    }
}
