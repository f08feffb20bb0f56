#include "platform/Process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "NobodyProcess.h"
#include "PlatformTestSupport.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;
using PlatformTest::WaitUntil;

TEST(ProcessTest, WaitedChildReportsItsExitCode)
{
    LaunchResult r = LaunchProcess(HelperPath(), {"exit", "37"}, {}, kLaunchWait);
    ASSERT_TRUE(r) << r.error;
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 37);

    // Started without waiting (and detached), the code is collected later.
    r = LaunchProcess(HelperPath(), {"exit", "5"}, {}, kLaunchHidden | kLaunchMinimised | kLaunchNoConsole);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r.exited);
    int code = -1;
    EXPECT_EQ(WaitForProcess(r.pid, 10000, &code), WaitResult::Exited);
    EXPECT_EQ(code, 5);
}

TEST(ProcessTest, FailedStartsReturnNoProcess)
{
    EXPECT_FALSE(LaunchProcess("", {}));
    LaunchResult r = LaunchProcess("/nonexistent/velmar-no-such-program", {"x"});
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(LaunchProcess(HelperPath(), {"exit", "0"}, "/nonexistent/folder"));
    EXPECT_FALSE(LaunchProcess("velmar-no-such-program-in-path", {}));
}

TEST(ProcessTest, ArgumentTextAndWorkingFolderReachTheChild)
{
    TempDir dir;
    std::string out = dir / "args.txt";
    LaunchResult r =
        LaunchProcessText(HelperPath(), "args \"" + out + "\" \"a b\" c\\\"d \"\" e\\\\f", dir.path(), kLaunchWait);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.exitCode, 0);
    std::string real = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(ReadFile(out), real + "\na b\nc\"d\n\ne\\\\f\n");
}

TEST(ProcessTest, RelativeExecutableIsFoundFromTheCallersFolder)
{
    TempDir dir;
    std::string rel = std::filesystem::relative(HelperPath()).string();
    if (rel.find('/') == std::string::npos) rel = "./" + rel;
    LaunchResult r = LaunchProcess(rel, {"exit", "4"}, dir.path(), kLaunchWait);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.exitCode, 4);
}

TEST(ProcessTest, CommandLineSplitsLikeWindows)
{
    struct Case
    {
        const char* text;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a  b\tc", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a\\\\b", {"a\\\\b"}},        // backslashes without a quote stay
        {"a\\\\\"b c\"", {"a\\b c"}},  // 2n backslashes + quote: n backslashes, quote groups
        {"a\\\"b", {"a\"b"}},          // 2n+1 backslashes + quote: literal quote
        {"\"a\"\"b\"", {"a\"b"}},      // "" inside quotes is a quote
        {"\"unterminated arg", {"unterminated arg"}},
        {"C:\\Program Files\\x", {"C:\\Program", "Files\\x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.text), c.args) << c.text;
}

TEST(ProcessTest, WaitTimesOutAndEndedChildReportsTheSignal)
{
    LaunchResult r = LaunchProcess(HelperPath(), {"sleep-forever"});
    ASSERT_TRUE(r);
    EXPECT_TRUE(IsProcessAlive(r.pid));
    EXPECT_EQ(WaitForProcess(r.pid, 30), WaitResult::TimedOut);
    ASSERT_EQ(kill(r.pid, SIGKILL), 0);
    int code = 0;
    EXPECT_EQ(WaitForProcess(r.pid, 10000, &code), WaitResult::Exited);
    EXPECT_EQ(code, 128 + SIGKILL);
    EXPECT_FALSE(IsProcessAlive(r.pid));
}

TEST(ProcessTest, UnreapedChildCountsAsEnded)
{
    LaunchResult r = LaunchProcess(HelperPath(), {"exit", "0"});
    ASSERT_TRUE(r);
    EXPECT_TRUE(WaitUntil([&] { return !IsProcessAlive(r.pid); }));
    int code = -1;
    EXPECT_EQ(WaitForProcess(r.pid, 1000, &code), WaitResult::Exited);
    EXPECT_EQ(code, 0);
}

TEST(ProcessTest, BadPidsAreRefused)
{
    for (int pid : {0, -1, -1000})
    {
        EXPECT_FALSE(IsProcessAlive(pid));
        EXPECT_FALSE(EndProcess(pid));
        EXPECT_EQ(WaitForProcess(pid, 0), WaitResult::Error);
    }
    EXPECT_FALSE(EndProcess(getpid()));
    EXPECT_TRUE(IsProcessAlive(getpid()));
    EXPECT_FALSE(SetProcessPriority(-1, 0));
}

// A pid may be taken by another user's process once its own has ended: only a live process of this user is ours.
TEST(ProcessTest, OwnLiveProcessesAreTheCallersUsersOnly)
{
    EXPECT_TRUE(IsOwnLiveProcess(getpid()));
    EXPECT_FALSE(IsOwnLiveProcess(0));
    EXPECT_FALSE(IsOwnLiveProcess(0x7FFFFFF0));
    LaunchResult ended = LaunchProcess(HelperPath(), {"exit", "0"}, {}, kLaunchWait);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(IsOwnLiveProcess(ended.pid));
    if (geteuid() != 0) GTEST_SKIP() << "needs root to start a process of user nobody";
    PlatformTest::NobodyProcess other;
    ASSERT_GT(other.Pid(), 0);
    EXPECT_TRUE(IsProcessAlive(other.Pid()));
    EXPECT_FALSE(IsOwnLiveProcess(other.Pid()));
}

TEST(ProcessTest, EndingByPathEndsOtherCopiesButNeverTheCaller)
{
    // A private copy of the helper, so no other test's helper shares its path.
    TempDir dir(VELMAR_TEST_BINARY_DIR);
    std::string exe = dir / "copy-of-helper";
    std::filesystem::copy_file(HelperPath(), exe);
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);

    LaunchResult a = LaunchProcess(exe, {"sleep-forever"});
    LaunchResult b = LaunchProcess(exe, {"sleep-forever"});
    ASSERT_TRUE(a && b);
    // posix_spawn returns once the child runs the program: both are there to be found at once.
    ASSERT_EQ(FindProcessesByPath(exe), (std::vector<int>{std::min(a.pid, b.pid), std::max(a.pid, b.pid)}));
    // The path is matched after resolving "." and "..".
    EXPECT_EQ(FindProcessesByPath(dir.path() + "/./../" + std::filesystem::path(dir.path()).filename().string() +
                                  "/copy-of-helper")
                  .size(),
              2u);

    // A third copy ends the others, and lives to write its count and exit normally.
    std::string out = dir / "count.txt";
    LaunchResult c = LaunchProcess(exe, {"end-copies", out}, {}, kLaunchWait);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c.exited);
    EXPECT_EQ(c.exitCode, 0);
    EXPECT_EQ(ReadFile(out), "2");
    EXPECT_EQ(WaitForProcess(a.pid, 10000), WaitResult::Exited);
    EXPECT_EQ(WaitForProcess(b.pid, 10000), WaitResult::Exited);
    EXPECT_TRUE(FindProcessesByPath(exe).empty());

    // Our own executable never lists us.
    for (int pid : FindProcessesByPath(ExecutablePath())) EXPECT_NE(pid, getpid());
    EXPECT_TRUE(FindProcessesByPath("").empty());
}

TEST(ProcessTest, ProcessesThatEndByThemselvesInTimeAreNotCounted)
{
    TempDir dir(VELMAR_TEST_BINARY_DIR);
    std::string exe = dir / "helper";
    std::filesystem::copy_file(HelperPath(), exe);
    LaunchResult r = LaunchProcess(exe, {"sleep", "300"});
    ASSERT_TRUE(r);
    ASSERT_EQ(FindProcessesByPath(exe), std::vector<int>{r.pid});
    std::vector<int> ended;
    EXPECT_EQ(TerminateProcessesByPath(exe, 10000, 2000, &ended), 0);
    EXPECT_TRUE(ended.empty());
}
