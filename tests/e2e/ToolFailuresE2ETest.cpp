// Failures the tool must report as failures, through the real tool and daemon: refused input, refused
// assets, write failures, and a daemon that goes away or stops answering in the middle of a run.
#include "E2EFixture.h"
#include "SecondUser.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "platform/Process.h"
#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace e2e {
namespace {

const char kSignalBox[] = "<kuid:900001:100>";
const char kBuiltin[] = "<kuid:44000:1001>";
// Bounds a stopped daemon must not stretch: generous, yet far below a hang.
constexpr auto kNoHang = std::chrono::seconds(40);

using Clock = std::chrono::steady_clock;

class ToolFailuresE2E : public DaemonRootTest
{
protected:
    void InstallSamples() const
    {
        RunResult install = Run({"installfrompath", InstallRoot::SamplesDir()});
        ASSERT_EQ(install.exitCode, 0) << install.out;
    }
    RunResult Batch(const std::string& lines, const RunOptions& options = {}) const
    {
        root_.WriteFile("work/batch.txt", lines);
        RunOptions o = options;
        o.workDir = root_.Path("work");
        return root_.Run({"@batch.txt"}, o);
    }
};

TEST_F(ToolFailuresE2E, InstallCDPFailsWhenAnAssetOfThePackageIsRefused)
{
    InstallSamples();
    ASSERT_EQ(Run({"createcdp", "good.cdp", kSignalBox, "<kuid:900001:101>"}).exitCode, 0);
    // The second asset gains a file whose name climbs out of its folder.
    ContentArchive archive;
    Orvo::String result;
    ASSERT_TRUE(archive.Load(result, "", root_.Path("work/good.cdp"))) << result.c_str();
    TDBTagRef entry = archive.GetAssetAt(1);
    GetArchiveEntryFiles(entry).SetChildBinary("../escape.txt", "x", 1);
    SetArchiveEntryDSID(entry);
    ASSERT_TRUE(archive.Save(result, Orvo::File::Path(root_.Path("work/mixed.cdp")))) << result.c_str();

    RunResult r = Run({"installcdp", "mixed.cdp"});
    EXPECT_EQ(r.exitCode, 255) << r.out;
    EXPECT_EQ(r.out.find("OK (0 Errors"), std::string::npos) << r.out;
    EXPECT_FALSE(root_.Exists("UserData/local/escape.txt"));
}

TEST_F(ToolFailuresE2E, EveryFailurePostsAnError)
{
    InstallSamples();
    // A package that cannot be written says why.
    RunResult cdp = Run({"createcdp", "no/such/folder/x.cdp", kSignalBox});
    EXPECT_EQ(cdp.exitCode, 255);
    EXPECT_NE(cdp.out.find("- NULLKUID : Unable to write archive file: " + root_.Path("work/no/such/folder/x.cdp") +
                           " (No such file or directory)\nOK (1 Errors"),
              std::string::npos)
        << cdp.out;

    // The last content id of the local user's range is handed out once; after it the daemon refuses.
    ASSERT_EQ(Run({"setnextcontentid", "2147483646"}).exitCode, 0);
    RunResult last = Run({"generatekuid"});
    EXPECT_EQ(last.exitCode, 0) << last.out;
    EXPECT_NE(last.out.find(":2147483646:0>"), std::string::npos) << last.out;
    RunResult exhausted = Run({"generatekuid"});
    EXPECT_EQ(exhausted.exitCode, 255);
    EXPECT_EQ(exhausted.out.find("<KUID2:"), std::string::npos) << exhausted.out;
    EXPECT_EQ(exhausted.out.find("OK (0 Errors"), std::string::npos) << exhausted.out;
}

TEST_F(ToolFailuresE2E, AFileTheUserNamesIsNeverWaitedOnAndAFailedWriteSaysWhy)
{
    // A FIFO nobody opens at the other end would hold a blocking open for ever: each run is bounded, and killed
    // when it goes past the bound.
    RunOptions bounded = RunOptions::In(root_.Path("work"));
    bounded.timeoutMs = 30000;
    const std::string fifo = root_.Path("work/named.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    root_.WriteFile("work/Good.gs", "class Good\n{\n  void f() { }\n};\n");
    auto stillAFifo = [](const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    };
    auto run = [&](const std::vector<std::string>& args) {
        RunResult r = root_.Run(args, bounded);
        EXPECT_FALSE(r.timedOut) << args[0];
        EXPECT_EQ(r.exitCode, 255) << args[0] << r.out;
        EXPECT_EQ(r.out.find("OK (0 Errors"), std::string::npos) << args[0] << r.out;
        return r.out;
    };
    EXPECT_EQ(run({"importconsists", "named.fifo"}),
              Failed("The consist list '" + fifo + "' is not a regular file; it was not read."));
    // An output FIFO that no process reads is refused at once, saying so.
    const std::string unread = "no process is reading it";
    EXPECT_EQ(run({"listbuilds", "named.fifo"}), "- NULLKUID : Failed to open output file.\n; NULLKUID : '" + fifo +
                                                     "': " + unread + "\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(run({"backupkeywords", "named.fifo"}),
              Failed("Unable to write the keywords file '" + fifo + "': " + unread + "."));
    EXPECT_NE(run({"compile", "Good.gs", "-o" + fifo}).find("cannot write library '" + fifo + "': " + unread),
              std::string::npos);
    EXPECT_NE(run({"dlsparse", "named.fifo"}).find("The package '" + fifo + "' cannot be read."), std::string::npos);
    EXPECT_TRUE(stillAFifo(fifo));
    const std::string fifoCDP = root_.Path("work/named.cdp");
    ASSERT_EQ(mkfifo(fifoCDP.c_str(), 0600), 0);
    EXPECT_EQ(run({"createcdp", "named.cdp", "<kuid:44000:1001>"}),
              Failed("Unable to write archive file: " + fifoCDP + " (" + unread + ")"));
    EXPECT_TRUE(stillAFifo(fifoCDP));

    // A device is written in place, never replaced, and a write it refuses fails the command with the reason.
    EXPECT_EQ(run({"listbuilds", "/dev/full"}),
              Failed("Failed to write output file '/dev/full': No space left on device."));
    struct stat st;
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    const RunResult discarded = root_.Run({"listbuilds", "/dev/null"}, bounded);
    EXPECT_EQ(discarded.exitCode, 0) << discarded.out;
}

// An output is written where the user has it, as a plain open for writing would write it: into a pipe that has a
// reader, into a file with another name (which shows the new contents too), into a file of another user (who can
// still read it); and a file the user may not write is refused.
TEST_F(ToolFailuresE2E, AnOutputIsWrittenWhereTheUserHasItWhenTheUserMayWriteIt)
{
    const std::string work = root_.Path("work");
    ASSERT_EQ(Run({"listbuilds", "builds.txt"}).exitCode, 0);
    const std::string list = root_.ReadFile("work/builds.txt");
    ASSERT_FALSE(list.empty());

    // Standard output that is a pipe, as in "VelmarUtil listbuilds /dev/stdout | sort".
    RunningProgram piped("/bin/sh", {"-c", "{ \"$0\" listbuilds /dev/stdout; echo \"exit $?\"; } | cat", root_.Tool()},
                         RunOptions::In(work));
    const RunResult toPipe = piped.Wait();
    EXPECT_EQ(toPipe.out, list + kOK + "exit 0\n") << toPipe.err;

    // A file with a second name: both names show the new list.
    root_.WriteFile("work/linked.txt", "an older and longer list of builds\n");
    ASSERT_EQ(link(root_.Path("work/linked.txt").c_str(), root_.Path("work/second-name.txt").c_str()), 0);
    EXPECT_EQ(Run({"listbuilds", "linked.txt"}).out, kOK);
    EXPECT_EQ(root_.ReadFile("work/second-name.txt"), list);
    // So does an archive, which is filled in at offsets.
    ASSERT_EQ(Run({"createcdp", "fresh.cdp", kBuiltin}).out, kOK);
    root_.WriteFile("work/linked.cdp", "an old archive");
    ASSERT_EQ(link(root_.Path("work/linked.cdp").c_str(), root_.Path("work/second-name.cdp").c_str()), 0);
    EXPECT_EQ(Run({"createcdp", "linked.cdp", kBuiltin}).out, kOK);
    EXPECT_EQ(root_.ReadFile("work/second-name.cdp"), root_.ReadFile("work/fresh.cdp"));

    if (geteuid() != 0) GTEST_SKIP() << "needs root to write a file of user nobody's and to run the tool as nobody";
    // A file of user nobody's, mode 0640, written by root: still nobody's, so they can read the backup.
    const PlatformTest::TempDir folder("/tmp");  // where user nobody reaches it, whatever TMPDIR says
    ASSERT_FALSE(folder.path().empty());
    const std::string theirs = folder / "keywords.txt";
    ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
    std::ofstream(theirs) << "old keywords\n";
    ASSERT_EQ(chown(theirs.c_str(), kNobody, kNobodyGroup), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0640), 0);
    EXPECT_EQ(Run({"backupkeywords", theirs}).out, kOK);
    struct stat st;
    ASSERT_EQ(stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(AsNobody([&] { return ReadWholeFile(theirs).find("44000:1001") != std::string::npos ? 0 : 1; }), 0);

    // The tool run as user nobody, in an installation of theirs, on their own file of mode 0444: refused as any
    // program refuses it, the file as it was.
    InstallRoot nobodys;
    nobodys.WriteFile("work/read-only.txt", "old\n");
    ASSERT_EQ(chmod(nobodys.Path("work/read-only.txt").c_str(), 0444), 0);
    for (const auto& e : std::filesystem::recursive_directory_iterator(nobodys.Root()))
    {
        // The executables are the stage's own files under other names: not given away.
        if (e.is_regular_file() && !e.is_symlink() && e.hard_link_count() > 1) continue;
        ASSERT_EQ(lchown(e.path().c_str(), kNobody, kNobodyGroup), 0) << e.path();
    }
    ASSERT_EQ(chown(nobodys.Root().c_str(), kNobody, kNobodyGroup), 0);
    RunningProgram asNobody("/usr/bin/setpriv",
                            {"--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNobodyGroup),
                             "--clear-groups", nobodys.Tool(), "listbuilds", "read-only.txt"},
                            RunOptions::In(nobodys.Path("work")));
    const RunResult refused = asNobody.Wait();
    EXPECT_EQ(refused.out, "- NULLKUID : Failed to open output file.\n; NULLKUID : '" +
                               nobodys.Path("work/read-only.txt") + "': Permission denied\nOK (1 Errors, 0 Warnings)\n")
        << refused.err;
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(nobodys.ReadFile("work/read-only.txt"), "old\n");
}

TEST_F(ToolFailuresE2E, AfterCloseDaemonInABatchEveryRequestFailsWithOneClearError)
{
    InstallSamples();
    RunResult r = Batch("\"status\" \"" + std::string(kBuiltin) +
                        "\"\n\"closevaddaemon\"\n\"status\" \"<kuid:44000:1001>\"\n\"generatekuid\"\n\"installcdp\" "
                        "\"batch.txt\"\n");
    EXPECT_EQ(r.exitCode, 255);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 14u) << r.out;
    EXPECT_EQ(lines[0].rfind("+ <kuid:44000:1001> : ", 0), 0u) << r.out;
    EXPECT_EQ(lines[3], "OK (0 Errors, 0 Warnings)") << "closing the daemon";
    const std::string gone = "- NULLKUID : The asset database daemon is not running, and this run does not start it: ";
    EXPECT_EQ(lines[5], gone + "\"asset info\" was not carried out.");
    EXPECT_EQ(lines[6], "OK (1 Errors, 0 Warnings)");
    EXPECT_EQ(lines[8], gone + "\"generate KUID\" was not carried out.");
    EXPECT_EQ(lines[11], gone + "\"install archive\" was not carried out.");
    EXPECT_FALSE(root_.DaemonRunning());
}

TEST_F(ToolFailuresE2E, ADaemonThatDiesInACommandIsStartedAgainForTheNextOne)
{
    InstallSamples();
    // A daemon that kills itself once it has copied the first file of an install.
    root_.StopProcesses();
    ASSERT_TRUE(root_.StartDaemon({"-crashat=copying"}));
    std::string config = ReadWholeFile(InstallRoot::SamplesDir() + "/signal-box/config.txt");
    config.replace(config.find("<kuid:900001:100>"), 17, "<kuid:900002:1>");
    root_.WriteFile("work/new/config.txt", config);
    RunResult r = Batch("\"installfrompath\" \"new\"\n\"status\" \"" + std::string(kSignalBox) + "\"\n");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 5u) << r.out;
    EXPECT_NE(r.out.find("The asset database daemon closed the link during \"install from folders\""),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("OK (0 Errors, 0 Warnings)\n\n+"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("+ <kuid:900001:100> : "), std::string::npos)
        << "the next command reopened the link: " << r.out;
    EXPECT_EQ(r.exitCode, 255);
}

TEST_F(ToolFailuresE2E, AStoppedDaemonDoesNotHangTheTool)
{
    const int pid = root_.DaemonPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    auto start = Clock::now();
    RunResult r = Run({"status", kSignalBox});
    EXPECT_LT(Clock::now() - start, kNoHang);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "- Failed to open asset database\n- Init failed\n");

    // A command host whose daemon stops answering its keep-alive ends with the request's name.
    kill(pid, SIGCONT);
    RunOptions quick = RunOptions::Env({{"VELMAR_TEST_REQUEST_BOUND_MS", "500"}});
    quick.timeoutMs = 60000;
    std::unique_ptr<RunningProgram> host = root_.Start({"vadcommandhost"}, quick);
    ASSERT_TRUE(Eventually([&] { return HostsRegistered(root_) >= 1; }));
    ASSERT_EQ(kill(pid, SIGSTOP), 0);
    start = Clock::now();
    RunResult ended = host->Wait();
    kill(pid, SIGCONT);
    EXPECT_LT(Clock::now() - start, kNoHang);
    EXPECT_FALSE(ended.timedOut);
    EXPECT_EQ(ended.exitCode, 255);
    EXPECT_EQ(ended.out,
              Failed("The asset database daemon did not answer \"keep-alive\" within 1 seconds; the link to it was "
                     "closed."));
}

}  // namespace
}  // namespace e2e
