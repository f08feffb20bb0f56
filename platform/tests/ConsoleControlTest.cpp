#include "platform/ConsoleControl.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "PlatformTestSupport.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;
using PlatformTest::WaitForFile;
using PlatformTest::WaitUntil;

TEST(ConsoleControlTest, SignalsArriveAsConsoleEventsOnAThreadOfTheirOwn)
{
    std::atomic<int> event{-1};
    std::atomic<bool> otherThread{false};
    const auto mainThread = std::this_thread::get_id();
    ASSERT_TRUE(InstallConsoleHandler([&](int e) {
        otherThread = std::this_thread::get_id() != mainThread;
        event = e;
        return true;
    }));
    EXPECT_TRUE(ConsoleHandlerInstalled());
    struct
    {
        int signal;
        int event;
    } cases[] = {
        {SIGINT, kConsoleCtrlC}, {SIGQUIT, kConsoleCtrlBreak}, {SIGHUP, kConsoleClose}, {SIGTERM, kConsoleShutdown}};
    for (const auto& c : cases)
    {
        event = -1;
        ASSERT_EQ(raise(c.signal), 0);
        ASSERT_TRUE(WaitUntil([&] { return event >= 0; })) << "signal " << c.signal;
        EXPECT_EQ(event, c.event) << "signal " << c.signal;
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

// A program started with a signal ignored (SIGHUP under nohup) may ask to keep it so; the others still arrive.
TEST(ConsoleControlTest, ASignalIgnoredAtTheStartCanStayIgnored)
{
    ::signal(SIGHUP, SIG_IGN);
    std::atomic<int> event{-1};
    ASSERT_TRUE(InstallConsoleHandler(
        [&](int e) {
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
