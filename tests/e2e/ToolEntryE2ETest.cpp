// The tool's entry as a user meets it: the help text, start-up failures, the renderer retry, batch
// files with their summaries and exit values. Exit values are seen as the system keeps them (-1 is 255).
#include "E2EHarness.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {
namespace {

const std::map<std::string, std::string> kQuickConnect = {{"VELMAR_TEST_CONNECT_INTERVAL_MS", "20"}};

// The summary lines ("OK (...)") of an output, each of which must be followed by an empty line.
std::vector<std::string> BatchSummaries(const std::string& out)
{
    const std::vector<std::string> lines = Lines(out);
    std::vector<std::string> summaries;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i].rfind("OK (", 0) == 0)
        {
            summaries.push_back(lines[i]);
            EXPECT_TRUE(i + 1 < lines.size() && lines[i + 1].empty()) << "no empty line after summary " << i;
        }
    }
    return summaries;
}

TEST(ToolEntryE2E, HelpWithoutArgumentsOrAsAWordStartsNothing)
{
    InstallRoot root;
    // Without a word it is an error (-1); asked for, a success. Both print the help, then an empty line.
    RunResult none = root.Run({});
    RunResult asked = root.Run({"HELP", "ignored"});
    EXPECT_EQ(none.exitCode, 255);
    EXPECT_EQ(asked.exitCode, 0);
    EXPECT_EQ(Lines(asked.out).front(), "Welcome to the Velmar Util Tool!");
    EXPECT_EQ(asked.out.substr(asked.out.size() - 2), "\n\n");
    EXPECT_EQ(none.out, asked.out);
    EXPECT_EQ(none.err + asked.err, "");

    EXPECT_FALSE(root.DaemonRunning());
    EXPECT_FALSE(root.Exists("assets.tdx"));
    EXPECT_FALSE(root.Exists("UserData/local"));
}

TEST(ToolEntryE2E, StartUpFailsWithoutADatabaseUnlessTheRunClosesTheDaemon)
{
    const auto none = [](InstallRoot&) {};
    const auto noDaemon = [](InstallRoot& root) { std::filesystem::remove(root.Path("bin/VADDaemon")); };
    const struct
    {
        const char* name;
        std::function<void(InstallRoot&)> setUp;
        std::vector<std::string> args;
        int exitCode;
        std::string out, err;
    } cases[] = {
        {"not started",
         none,
         {"version", "-nostartvaddaemon"},
         255,
         "",
         "- Failed to connect to asset database\n- Init failed\n"},
        // Said at once, with the reason ("$ROOT" stands for the root).
        {"cannot be started",
         noDaemon,
         {"version"},
         255,
         "",
         "- Failed to open asset database\n- The asset database daemon could not start: cannot start "
         "$ROOT/bin/VADDaemon: No such file or directory\n- Init failed\n"},
        // "closevaddaemon" makes an unreachable database non-fatal, and starts no daemon only to close it.
        {"closing, cannot be started",
         noDaemon,
         {"echo", "on we go", "closevaddaemon"},
         0,
         "on we go closevaddaemon \nOK (0 Errors, 0 Warnings)\n",
         "- Failed to open asset database\n"},
        {"closing, none running",
         none,
         {"closevaddaemon"},
         0,
         "OK (0 Errors, 0 Warnings)\n",
         "- Failed to open asset database\n"},
        // The switch words of the process's own arguments hold for every line of a batch.
        {"closing batch, not started",
         [](InstallRoot& root) { root.WriteFile("batch.txt", "\"echo\" \"still here\"\n"); },
         {"@batch.txt", "-nostartvaddaemon", "closevaddaemon"},
         0,
         "still here \nOK (0 Errors, 0 Warnings)\n\n",
         ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        InstallRoot root;
        c.setUp(root);
        RunResult r = root.Run(c.args, RunOptions::Env(kQuickConnect));
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, c.out);
        std::string err = c.err;
        if (const size_t at = err.find("$ROOT"); at != std::string::npos) err.replace(at, 5, root.Root());
        EXPECT_EQ(r.err, err);
        EXPECT_FALSE(root.DaemonRunning());
        EXPECT_FALSE(root.Exists("assets.tdx"));
    }
}

TEST(ToolEntryE2E, TheToolStartsTheDaemonItselfAndFindsItRunningNextTime)
{
    InstallRoot root;
    RunResult cold = root.Run({"echo", "cold"});
    EXPECT_EQ(cold.exitCode, 0) << cold.err;
    EXPECT_EQ(cold.err, "");
    EXPECT_TRUE(root.DaemonRunning());
    EXPECT_TRUE(root.Exists("assets.tdx"));
    RunResult warm = root.Run({"echo", "warm", "-nostartvaddaemon"});
    EXPECT_EQ(warm.exitCode, 0) << warm.err;
    EXPECT_NE(warm.out.find("warm"), std::string::npos);
    EXPECT_EQ(Lines(warm.out).back(), "OK (0 Errors, 0 Warnings)");
    // The validation library wrote the personal details beside its templates at shutdown.
    EXPECT_TRUE(root.Exists("bin/TETData/personalDetails.txt"));
}

TEST(ToolEntryE2E, ABatchRunsEveryLineWithItsOwnSummaryAndAFailingLineFailsTheBatch)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    root.WriteFile("work/batch.txt", "\"echo\" \"first line\"\n"
                                     "\n"
                                     "\"nosuchcommand\"\r\n"
                                     "   \n"
                                     "\"echo\" \"after the failure\"\n"
                                     "\"echo\" \"quote left open\n");
    // A relative batch name is taken from where the user started.
    RunResult r = root.Run({"@batch.txt"}, RunOptions::In(root.Path("work")));
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> summaries = BatchSummaries(r.out);
    ASSERT_EQ(summaries.size(), 4u) << r.out;
    EXPECT_EQ(summaries[0], "OK (0 Errors, 0 Warnings)");
    EXPECT_EQ(summaries[1], "OK (1 Errors, 0 Warnings)");
    EXPECT_EQ(summaries[2], "OK (0 Errors, 0 Warnings)");
    // The line whose quote is never closed is not run: it fails with its own summary.
    EXPECT_EQ(summaries[3], "OK (1 Errors, 0 Warnings)");
    const size_t first = r.out.find("first line");
    const size_t after = r.out.find("after the failure");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(after, std::string::npos);
    EXPECT_LT(first, after);
    // Nothing of the line with the open quote ran.
    EXPECT_EQ(r.out.find("quote left open"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 3), ")\n\n");
}

TEST(ToolEntryE2E, ABatchLineWithAQuoteNeverClosedIsReportedByFileAndLineAndFailsTheBatch)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    root.WriteFile("work/jobs.txt", "\"echo\" \"one\"\r\n\"commit\r\n\"echo\" \"three\"\r\n");
    RunResult r = root.Run({"@jobs.txt"}, RunOptions::In(root.Path("work")));
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "one \nOK (0 Errors, 0 Warnings)\n\n- NULLKUID : The batch file '" + root.Path("work/jobs.txt") +
                         "' line 2: a double quote is never closed; the line was not run.\n"
                         "OK (1 Errors, 0 Warnings)\n\nthree \nOK (0 Errors, 0 Warnings)\n\n");
}

TEST(ToolEntryE2E, ABlankBatchLineIsSkippedAnEmptyWordRunsAndAZeroByteIsRefused)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    // A line of `""` is the command word given empty, as on the command line; a zero byte would cut the line.
    root.WriteFile("work/jobs.txt",
                   std::string("\"echo\" \"one\"\n\n \t \r\n\"\"\n\"echo\" \"a") + '\0' + "b\"\n\"echo\" \"two\"\n");
    const RunResult empty = root.Run({""});
    EXPECT_EQ(empty.exitCode, 255);
    EXPECT_EQ(empty.out, "- NULLKUID : Invalid argument, please check the help for the list of valid argument\n\n"
                         "OK (1 Errors, 0 Warnings)\n");
    const RunResult r = root.Run({"@jobs.txt"}, RunOptions::In(root.Path("work")));
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "one \nOK (0 Errors, 0 Warnings)\n\n" + empty.out + "\n- NULLKUID : The batch file '" +
                         root.Path("work/jobs.txt") +
                         "' line 5: it holds a zero byte; the line was not run.\nOK (1 Errors, 0 Warnings)\n\n"
                         "two \nOK (0 Errors, 0 Warnings)\n\n");
}

// A line of a batch file whose output is the batch file, by its name or a second one, fails; the others run.
TEST(ToolEntryE2E, NoLineOfABatchWritesOverTheBatchFileByAnyName)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    const std::string jobs =
        "\"listbuilds\" \"jobs.txt\"\n\"listbuilds\" \"link.txt\"\n\"listbuilds\" \"builds.txt\"\n";
    root.WriteFile("work/jobs.txt", jobs);
    ASSERT_EQ(link(root.Path("work/jobs.txt").c_str(), root.Path("work/link.txt").c_str()), 0);
    const RunResult r = root.Run({"@jobs.txt"}, RunOptions::In(root.Path("work")));
    EXPECT_EQ(BatchSummaries(r.out), (std::vector<std::string>{"OK (1 Errors, 0 Warnings)", "OK (1 Errors, 0 Warnings)",
                                                               "OK (0 Errors, 0 Warnings)"}));
    EXPECT_NE(r.out.find("link.txt': it is the batch file being run"), std::string::npos) << r.out;
    EXPECT_EQ(root.ReadFile("work/jobs.txt"), jobs);
}

TEST(ToolEntryE2E, ABatchFileThatCannotBeReadGivesItsMessage)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    RunResult missing = root.Run({"@no such file.txt"});
    EXPECT_EQ(missing.exitCode, 255);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "-The file \"no such file.txt\" does not exist, please specify a valid filename\n");

    RunResult folder = root.Run({"@bin"});
    EXPECT_EQ(folder.exitCode, 255);
    EXPECT_EQ(folder.err, "-The file \"bin\" could not be read, please specify a valid filename\n");
}

TEST(ToolEntryE2E, ARendererThatCannotStartIsRetriedWithTheNullRenderer)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    const std::string retry = "Unable to load render kernel. Retrying with -NullRender.\n";
    const struct
    {
        const char* fail;  // which start-up step the test hook makes fail
        std::vector<std::string> args;
        int exitCode;
        std::string err;
    } cases[] = {
        {"os", {"echo", "drawn"}, 0, retry},
        {"kernel", {"echo", "drawn"}, 0, retry},
        // With "norender" the null renderer is asked for from the start: nothing to retry.
        {"both", {"echo", "drawn", "norender"}, 0, ""},
        {"os-always", {"echo", "x"}, 255, retry + "- Orvo OS initialisation failed.\n- Init failed\n"},
        {"kernel-always", {"echo", "x"}, 255, retry + "- Unable to initialize render system\n\n- Init failed\n"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.fail);
        RunResult r = root.Run(c.args, RunOptions::Env({{"VELMAR_TEST_RENDER_FAIL", c.fail}}));
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        if (c.exitCode == 0)
            EXPECT_NE(r.out.find("drawn"), std::string::npos);
        else
            EXPECT_EQ(r.out, "");
    }
}

}  // namespace
}  // namespace e2e
