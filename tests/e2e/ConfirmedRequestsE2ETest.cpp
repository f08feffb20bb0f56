// Commands whose requests the daemon does not answer (keywords, settings, the repair flag, analytics) say OK only
// once the daemon has stored what they sent: a daemon closed right after finds all of it, and one that stops first
// makes the command fail naming what may not be stored.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <set>

namespace e2e {
namespace {

constexpr int kAssets = 300;

std::string Kuid(int i) { return "<kuid:900700:" + std::to_string(i) + ">"; }

class ConfirmedRequestsE2E : public DaemonRootTest
{
protected:
    // The command run against a daemon that kills itself when a request of `code` arrives.
    RunResult RunAgainstDaemonDyingAt(int code, const std::vector<std::string>& args)
    {
        root_.StopProcesses();
        if (!root_.StartDaemon({"-crashat=request-" + std::to_string(code)})) return {};
        return Run(args);
    }
    // How many assets a backup finds with the keywords "<prefix>kw<n>" of the dump.
    int KeywordsKept(const std::string& prefix = "")
    {
        EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
        std::set<std::string> lines;
        for (const std::string& line : Lines(root_.ReadFile("work/KeywordsBackup.dat"))) lines.insert(line);
        int kept = 0;
        for (int i = 1; i <= kAssets; ++i)
            kept += lines.count(Kuid(i) + "\t\"" + prefix + "kw" + std::to_string(i) + "\"") ? 1 : 0;
        return kept;
    }
    int MaxBackupFolders()
    {
        SettingsReader reader(root_.Root());
        return reader.Group("developer").GetChildInt("max_backup_folders", 10);
    }
};

TEST_F(ConfirmedRequestsE2E, ImportkeywordsSaysOKOnlyOnceEveryKeywordIsStored)
{
    std::string dump;
    for (int i = 1; i <= kAssets; ++i)
    {
        root_.WriteFile("work/many/a" + std::to_string(i) + "/config.txt",
                        "kuid " + Kuid(i) + "\nkind \"scenery\"\nusername \"Many " + std::to_string(i) + "\"\n");
        dump += "\"" + Kuid(i) + "\" \"kw" + std::to_string(i) + "\"\n";
    }
    ASSERT_EQ(Run({"installfrompath", "many"}).exitCode, 0);
    root_.WriteFile("work/KeywordsDump.dat", dump + "\"<kuid:900799:1>\" \"nobody's\"\n");

    // Closed the moment the import said OK: every keyword is there afterwards; the unknown asset is named.
    RunResult import = Run({"importkeywords"});
    EXPECT_EQ(import.exitCode, 0) << import.out;
    EXPECT_EQ(import.out, "! <kuid:900799:1> : The asset database does not know this asset; its keywords were not "
                          "imported.\nOK (0 Errors, 1 Warnings)\n");
    EXPECT_EQ(Run({"closevaddaemon"}).exitCode, 0);
    EXPECT_EQ(KeywordsKept(), kAssets);

    // The daemon dies as the first keywords arrive: the import fails, naming what may not be stored, and sends
    // nothing to another daemon; run again, it stores them.
    for (int i = 1; i <= kAssets; ++i) dump.replace(dump.find("\"kw" + std::to_string(i) + "\""), 1, "\"new ");
    root_.WriteFile("work/KeywordsDump.dat", dump);
    import = RunAgainstDaemonDyingAt(54, {"importkeywords"});
    EXPECT_EQ(import.exitCode, 255) << import.out;
    const std::vector<std::string> lines = Lines(import.out);
    ASSERT_GE(lines.size(), 23u) << import.out;
    for (int i = 1; i <= 20; ++i)
        EXPECT_EQ(lines[i - 1], "- " + Kuid(i) +
                                    " : The asset database daemon stopped before it confirmed the "
                                    "keywords of this asset: they may not be stored.");
    EXPECT_EQ(lines[20], "- NULLKUID : The keywords of 280 more assets may not be stored either.");
    EXPECT_EQ(lines[21], "- NULLKUID : Running importkeywords again stores them: it sends every keyword of the file "
                         "again.");
    EXPECT_FALSE(root_.DaemonRunning());
    EXPECT_EQ(KeywordsKept(), kAssets);  // the keywords from before stand
    EXPECT_EQ(Run({"importkeywords"}).out, kOK);
    EXPECT_EQ(KeywordsKept("new "), kAssets);
}

TEST_F(ConfirmedRequestsE2E, SettingsAndFlagsSayOKOnlyOnceTheDaemonTookThem)
{
    // The limit is stored when the command says OK: read at once, with no waiting.
    EXPECT_EQ(Run({"setmaxbackupfolders", "12"}).out, kOK);
    EXPECT_EQ(MaxBackupFolders(), 12);

    // A daemon that dies as the limit arrives: the command fails and says why; the limit stays as it was.
    const RunResult set = RunAgainstDaemonDyingAt(103, {"setmaxbackupfolders", "30"});
    EXPECT_EQ(set.exitCode, 255);
    EXPECT_NE(set.out.find("- NULLKUID : The number of backup folders may not be set to 30: the asset database "
                           "daemon did not confirm it.\n"),
              std::string::npos)
        << set.out;
    EXPECT_NE(set.out.find("stopped before it confirmed"), std::string::npos) << set.out;
    ASSERT_TRUE(root_.StartDaemon());
    EXPECT_EQ(MaxBackupFolders(), 12);
    EXPECT_EQ(Run({"setmaxbackupfolders", "30"}).exitCode, 0);
    EXPECT_EQ(MaxBackupFolders(), 30);

    // The repair flag of a patcher's repair, and a patch report, the same way.
    const RunResult repair = RunAgainstDaemonDyingAt(71, {"repairdatabase", "patcher"});
    EXPECT_EQ(repair.exitCode, 255);
    EXPECT_NE(repair.out.find("- NULLKUID : The asset database may not be flagged for repair"), std::string::npos)
        << repair.out;
    const RunResult report = RunAgainstDaemonDyingAt(113, {"patch-finalise", "success", "1", "2", "119"});
    EXPECT_EQ(report.exitCode, 255);
    EXPECT_NE(report.out.find("- NULLKUID : The patch report may not be recorded"), std::string::npos) << report.out;
    root_.StopProcesses();
    EXPECT_EQ(Run({"patch-finalise", "success", "1", "2", "119"}).out, kOK);
    EXPECT_NE(root_.ReadFile("UserData/cache/analytics.log").find("patch-success"), std::string::npos);
}

}  // namespace
}  // namespace e2e
