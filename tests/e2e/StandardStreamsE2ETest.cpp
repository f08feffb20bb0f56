// The tool's own standard streams, through the real tool and daemon: an answer that cannot be written to standard
// output fails the run and says why on standard error; a standard descriptor the tool was started without takes no
// text meant for another file (its link to the daemon); a reader that went away is left as the system has it.
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

TEST_F(StandardStreamsE2E, AStreamThatCannotBeWrittenFailsTheRunAndSaysWhy)
{
    // Twenty lines of answers, more than one buffer: writes fail in the middle of the run too, not only at its end.
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += "searchbycategory \"\"\nstatus " + std::string(kBuiltin) + "\n";
    root_.WriteFile("work/answers.txt", lines);
    const std::vector<std::vector<std::string>> commands = {
        {"printconfig", kBuiltin}, {"searchbycategory", ""}, {"status", kBuiltin},         {"help"},
        {"generatekuid"},          {"@answers.txt"},         {"listbuilds", "/dev/stdout"}};
    for (const auto& args : commands)
    {
        SCOPED_TRACE(args[0]);
        // (listbuilds fails to /dev/full already, saying why in the summary that is lost with the rest.)
        if (args[0] != "listbuilds")
        {
            EXPECT_EQ(Shell(">/dev/null", args).exitCode, 0);
        }
        const RunResult full = Shell(">/dev/full", args), closed = Shell(">&-", args);
        EXPECT_EQ(full.exitCode, 255);
        EXPECT_EQ(full.err, kNoSpace);
        EXPECT_EQ(closed.exitCode, 255);
        EXPECT_EQ(closed.err, kClosed);
    }
    // A command that succeeds saying something on standard error (the renderer's retry): that failing is its
    // failure too, told by the exit value alone.
    const std::map<std::string, std::string> retry = {{"VELMAR_TEST_RENDER_FAIL", "os"}};
    EXPECT_EQ(Shell("", {"echo", "drawn"}, retry).exitCode, 0);
    const RunResult noError = Shell("2>/dev/full", {"echo", "drawn"}, retry);
    EXPECT_EQ(noError.exitCode, 255);
    EXPECT_NE(noError.out.find("drawn"), std::string::npos);
}

TEST_F(StandardStreamsE2E, AStreamTheToolWasStartedWithoutTakesNoTextMeantForAnotherFile)
{
    // The first line fails saying why on standard error; the second asks the daemon on the same link.
    root_.WriteFile("work/jobs.txt",
                    "createcdp no/such/folder/x.cdp " + std::string(kBuiltin) + "\nstatus " + kBuiltin + "\n");
    const std::string reason =
        "Unable to write archive file: " + root_.Path("work/no/such/folder/x.cdp") + " (No such file or directory)";
    const std::string out = Failed(reason) + "\n" + Run({"status", kBuiltin}).out + "\n", err = reason + "\n";
    const struct
    {
        const char* redirection;
        std::string out, err;
    } cases[] = {{"", out, err}, {"2>&-", out, ""}, {"<&-", out, err}, {">&-", "", err + kClosed}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.redirection);
        const size_t logBefore = root_.ReadFile("UserData/settings/vaddaemon.log").size();
        const RunResult r = Shell(c.redirection, {"@jobs.txt"});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        // Nothing but requests reached the daemon: no frame of text, no link dropped.
        const std::string log = root_.ReadFile("UserData/settings/vaddaemon.log").substr(logBefore);
        EXPECT_EQ(log.find("dropped"), std::string::npos) << log;
    }
    // Nor is the closed stream the process's to name: an output named by it fails as a closed one does.
    const RunResult named = Shell("2>&-", {"listbuilds", "/dev/stderr"});
    EXPECT_EQ(named.exitCode, 255);
    EXPECT_NE(named.out.find("'/dev/stderr': Bad file descriptor\n"), std::string::npos) << named.out;
}

// A pipe whose reader is gone before the tool writes: the tool ends by SIGPIPE as any program does, and where
// SIGPIPE is ignored it ends as it would have, saying nothing about its output.
TEST_F(StandardStreamsE2E, AReaderThatWentAwayIsLeftAsTheSystemHasIt)
{
    for (const std::string trap : {"", "trap '' PIPE; "})
    {
        SCOPED_TRACE(trap);
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::close(ends[0]);
        const Platform::LaunchResult r =
            Platform::LaunchProcess("/bin/sh", {"-c", trap + "exec \"$0\" searchbycategory '' 2>err.txt", root_.Tool()},
                                    root_.Path("work"), Platform::kLaunchWait, -1, ends[1]);
        ::close(ends[1]);
        EXPECT_EQ(r.exitCode, trap.empty() ? 128 + SIGPIPE : 0);
        EXPECT_EQ(root_.ReadFile("work/err.txt"), "");
    }
}

}  // namespace
}  // namespace e2e
