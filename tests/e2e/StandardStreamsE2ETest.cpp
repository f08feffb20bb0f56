// The tool's own standard streams: an answer that cannot be written fails the run and says why on standard error; a
// standard descriptor the tool was started without takes no text meant for another file (its link to the daemon); a
// reader that went away is left as the system has it.
#include "E2EFixture.h"

#include "platform/Process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

namespace e2e {
namespace {

const char kBuiltin[] = "<kuid:44000:1001>";
const std::string kNoSpace = "- Failed to write the standard output: No space left on device.\n";
const std::string kClosed = "- Failed to write the standard output: Bad file descriptor.\n";

class StandardStreamsE2E : public DaemonRootTest
{
protected:
    // Runs the tool with `args` from "work" through sh, its streams as `redirections` leave them.
    RunResult Shell(const std::string& redirections, const std::vector<std::string>& args,
                    std::map<std::string, std::string> env = {}) const
    {
        std::vector<std::string> shellArgs = {"-c", "exec \"$0\" \"$@\" " + redirections, root_.Tool()};
        shellArgs.insert(shellArgs.end(), args.begin(), args.end());
        RunOptions options = RunOptions::Env(std::move(env));
        options.workDir = root_.Path("work");
        return RunningProgram("/bin/sh", shellArgs, options).Wait();
    }
};

// Each way a run ends with its answer on standard output (a command's end, help's return, the middle of a batch of
// twenty answers, more than one buffer, an output named by the stream), and standard error failing a command that
// said something there.
TEST_F(StandardStreamsE2E, AStreamThatCannotBeWrittenFailsTheRunAndSaysWhy)
{
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += "searchbycategory \"\"\nstatus " + std::string(kBuiltin) + "\n";
    root_.WriteFile("work/answers.txt", lines);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"printconfig", kBuiltin}, {"help"}, {"@answers.txt"}, {"listbuilds", "/dev/stdout"}})
    {
        SCOPED_TRACE(args[0]);
        const RunResult full = Shell(">/dev/full", args), closed = Shell(">&-", args);
        EXPECT_TRUE(full.exitCode == 255 && full.err == kNoSpace) << full.err;
        EXPECT_TRUE(closed.exitCode == 255 && closed.err == kClosed) << closed.err;
    }
    const std::map<std::string, std::string> retry = {{"VELMAR_TEST_RENDER_FAIL", "os"}};  // says it retries
    EXPECT_EQ(Shell("", {"echo", "drawn"}, retry).exitCode, 0);
    EXPECT_EQ(Shell("2>/dev/full", {"echo", "drawn"}, retry).exitCode, 255);
}

// A batch whose first line fails saying why on standard error and whose second asks the daemon on the same link.
TEST_F(StandardStreamsE2E, AStreamTheToolWasStartedWithoutTakesNoTextMeantForAnotherFile)
{
    root_.WriteFile("work/jobs.txt",
                    "createcdp no/such/folder/x.cdp " + std::string(kBuiltin) + "\nstatus " + kBuiltin + "\n");
    const std::string reason =
        "Unable to write archive file: " + root_.Path("work/no/such/folder/x.cdp") + " (No such file or directory)";
    const std::string out = Failed(reason) + "\n" + Run({"status", kBuiltin}).out + "\n", err = reason + "\n";
    const struct
    {
        const char* redirection;
        std::string out, err;
    } cases[] = {{"2>&-", out, ""}, {">&-", "", err + kClosed}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.redirection);
        const size_t logBefore = root_.ReadFile("UserData/settings/vaddaemon.log").size();
        const RunResult r = Shell(c.redirection, {"@jobs.txt"});
        EXPECT_TRUE(r.exitCode == 255 && r.out == c.out && r.err == c.err) << r.out << r.err;
        // Nothing but requests reached the daemon: no frame of text, no link dropped.
        EXPECT_EQ(root_.ReadFile("UserData/settings/vaddaemon.log").find("dropped", logBefore), std::string::npos);
    }
    // Nor is the closed stream the process's to name.
    EXPECT_NE(Shell("2>&-", {"listbuilds", "/dev/stderr"}).out.find("'/dev/stderr': Bad file descriptor\n"),
              std::string::npos);
}

// A pipe whose reader is gone before the tool writes: the tool ends by SIGPIPE as any program does, and where
// SIGPIPE is ignored it ends as it would have, saying nothing about its output.
TEST_F(StandardStreamsE2E, AReaderThatWentAwayIsLeftAsTheSystemHasIt)
{
    for (const std::string trap : {"", "trap '' PIPE; "})
    {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::close(ends[0]);
        const Platform::LaunchResult r =
            Platform::LaunchProcess("/bin/sh", {"-c", trap + "exec \"$0\" searchbycategory '' 2>err.txt", root_.Tool()},
                                    root_.Path("work"), Platform::kLaunchWait, -1, ends[1]);
        ::close(ends[1]);
        EXPECT_EQ(r.exitCode, trap.empty() ? 128 + SIGPIPE : 0) << trap;
        EXPECT_EQ(root_.ReadFile("work/err.txt"), "") << trap;
    }
}

}  // namespace
}  // namespace e2e
