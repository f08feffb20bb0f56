// The tool's own standard streams, through the real tool and daemon: an answer that cannot be written to standard
// output fails the run and says why on standard error; a standard descriptor the tool was started without takes no
// text meant for another file (its link to the daemon); a reader that went away is left as the system has it.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {
namespace {

const char kSignalBox[] = "<kuid:900001:100>";

class StandardStreamsE2E : public DaemonRootTest
{
protected:
    void SetUp() override
    {
        DaemonRootTest::SetUp();
        ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir()}).exitCode, 0);
    }
    // Runs the tool with `args` from "work" through sh, its streams as `redirections` leave them.
    RunResult Shell(const std::string& redirections, const std::vector<std::string>& args) const
    {
        std::vector<std::string> shellArgs = {"-c", "exec \"$0\" \"$@\" " + redirections, root_.Tool()};
        shellArgs.insert(shellArgs.end(), args.begin(), args.end());
        return RunningProgram("/bin/sh", shellArgs, RunOptions::In(root_.Path("work"))).Wait();
    }
    std::string DaemonLog() const { return root_.ReadFile("UserData/settings/vaddaemon.log"); }
};

TEST_F(StandardStreamsE2E, AnAnswerThatCannotBeWrittenFailsTheRunAndSaysWhy)
{
    // Ten lines of answers: more than one buffer of standard output, so that writes fail in the middle of the run
    // too, not only at its end.
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += "searchbycategory \"\"\nstatus " + std::string(kSignalBox) + "\n";
    root_.WriteFile("work/answers.txt", lines);
    const std::vector<std::vector<std::string>> commands = {
        {"printconfig", kSignalBox},   {"searchbycategory", ""}, {"status", kSignalBox}, {"help"}, {"generatekuid"},
        {"listbuilds", "/dev/stdout"}, {"@answers.txt"}};
    for (const auto& args : commands)
    {
        SCOPED_TRACE(args[0]);
        // "listbuilds /dev/stdout" already failed, saying why in the summary that is lost with the rest.
        if (args[0] != "listbuilds")
        {
            EXPECT_EQ(Shell(">/dev/null", args).exitCode, 0);
        }
        const RunResult full = Shell(">/dev/full", args);
        EXPECT_EQ(full.exitCode, 255);
        EXPECT_EQ(full.err, "- Failed to write the standard output: No space left on device.\n");
        // Standard output closed: every write to it fails as to a closed descriptor.
        const RunResult closed = Shell(">&-", args);
        EXPECT_EQ(closed.exitCode, 255);
        EXPECT_EQ(closed.err, "- Failed to write the standard output: Bad file descriptor.\n");
    }
}

TEST_F(StandardStreamsE2E, AStreamTheToolWasStartedWithoutTakesNoTextMeantForAnotherFile)
{
    // The first line fails saying why on standard error; the second asks the daemon on the same link.
    root_.WriteFile("work/jobs.txt",
                    "createcdp no/such/folder/x.cdp " + std::string(kSignalBox) + "\nstatus " + kSignalBox + "\n");
    const std::string reason =
        "Unable to write archive file: " + root_.Path("work/no/such/folder/x.cdp") + " (No such file or directory)";
    const RunResult usual = Shell("", {"@jobs.txt"});
    ASSERT_EQ(usual.exitCode, 255);
    ASSERT_EQ(usual.err, reason + "\n");
    ASSERT_EQ(usual.out, Failed(reason) + "\n" + Run({"status", kSignalBox}).out + "\n");

    const struct
    {
        const char* redirection;
        std::string out, err;
    } cases[] = {{"2>&-", usual.out, ""},
                 {"<&-", usual.out, usual.err},
                 {">&-", "", usual.err + "- Failed to write the standard output: Bad file descriptor.\n"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.redirection);
        const size_t logBefore = DaemonLog().size();
        const RunResult r = Shell(c.redirection, {"@jobs.txt"});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        // Nothing but requests reached the daemon: no frame of text, no link dropped.
        const std::string log = DaemonLog().substr(logBefore);
        EXPECT_EQ(log.find("dropped"), std::string::npos) << log;
    }

    // The closed stream is not the process's to name either: an output named by it fails as a closed one does.
    const RunResult named = Shell("2>&-", {"listbuilds", "/dev/stderr"});
    EXPECT_EQ(named.exitCode, 255);
    EXPECT_EQ(named.out, "- NULLKUID : Failed to open output file.\n; NULLKUID : '/dev/stderr': Bad file "
                         "descriptor\nOK (1 Errors, 0 Warnings)\n");
}

// A pipe whose reader is gone before the tool writes: the tool ends by SIGPIPE as any program does, and where
// SIGPIPE is ignored it ends as it would have, with nothing said about its output.
TEST_F(StandardStreamsE2E, AReaderThatWentAwayIsLeftAsTheSystemHasIt)
{
    const std::string errPath = root_.Path("work/err.txt");
    for (const bool ignored : {false, true})
    {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE");
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ::close(ends[0]);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(err, 0);
        const std::string tool = root_.Tool(), work = root_.Path("work");
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
        {
            ::signal(SIGPIPE, ignored ? SIG_IGN : SIG_DFL);
            if (::dup2(ends[1], 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(work.c_str()) != 0) ::_exit(127);
            ::execl(tool.c_str(), tool.c_str(), "searchbycategory", "", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ends[1]);
        ::close(err);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (ignored)
        {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        else
        {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
        }
        EXPECT_EQ(ReadWholeFile(errPath), "");
    }
}

}  // namespace
}  // namespace e2e
