// What a user meets beyond single happy commands: path arguments typed in any case, relative to the
// folder the tool was started from; bad input that must leave the database and the disk as they were;
// settings that must reach the database; Ctrl+C or a crash in the middle of a long command.
#include "E2EFixture.h"

#include "assetdb/VADClient.h"
#include "core/TDBTagRef.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string AssetConfig(const std::string& kuid, const std::string& name)
{
    return "kuid " + kuid + "\nkind \"scenery\"\nusername \"" + name + "\"\ncategory-class \"BD\"\n";
}

class UserSessionE2E : public DaemonRootTest
{
protected:
    bool Installed(const std::string& kuid) const
    {
        RunResult r = Run({"status", kuid});
        return r.exitCode == 0 && r.out.find(" : eI") != std::string::npos;
    }
    // Every file and folder of the root with its size and time, apart from the daemon's store and logs
    // and the executables' folder (the validation library rewrites a file there at each shutdown).
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> entries;
        for (auto it = fs::recursive_directory_iterator(root_.Root()); it != fs::recursive_directory_iterator(); ++it)
        {
            const std::string rel = fs::relative(it->path(), root_.Root()).string();
            if (rel == "bin" || rel.rfind("assets.tdx", 0) == 0 || rel == "UserData/settings" ||
                rel == "UserData/cache")
            {
                if (it->is_directory()) it.disable_recursion_pending();
                continue;
            }
            std::string state = it->is_directory() ? "dir" : std::to_string(it->file_size());
            state += "@" + std::to_string(it->last_write_time().time_since_epoch().count());
            entries[rel] = state;
        }
        return entries;
    }

    static constexpr int kManyAssets = 2000;
    void WriteManyAssets(int count) const
    {
        for (int i = 1; i <= count; ++i)
            root_.WriteFile("work/many/a" + std::to_string(i) + "/config.txt",
                            AssetConfig("<kuid:92:" + std::to_string(i) + ">", "Many " + std::to_string(i)));
    }
    // Starts installing the "many" tree and returns once the daemon has installed the first assets, so
    // that the tool is inside its command.
    std::unique_ptr<RunningProgram> StartInstallingMany() const
    {
        std::unique_ptr<RunningProgram> tool =
            root_.Start({"installfrompath", "many"}, RunOptions::In(root_.Path("work")));
        const fs::path local = root_.Path("UserData/local");
        EXPECT_TRUE(Eventually(
            [&] {
                std::error_code ec;
                return fs::exists(local, ec) && !fs::is_empty(local, ec);
            },
            4000, 5));
        return tool;
    }
};

TEST_F(UserSessionE2E, PathArgumentsAreTakenAsTypedFromTheStartFolder)
{
    root_.WriteFile("work/My Assets/Signal Box/config.txt", AssetConfig("<kuid:91:1>", "Typed"));
    RunResult install = Run({"installfrompath", "My Assets"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    EXPECT_TRUE(Installed("<kuid:91:1>"));

    // The engine finds a folder typed in another case; the daemon must be given it as the disk spells it.
    RunResult otherCase = Run({"installfrompath", "my assets"});
    EXPECT_EQ(otherCase.exitCode, 0) << otherCase.out;
    EXPECT_EQ(otherCase.out.find("- "), std::string::npos) << otherCase.out;

    root_.WriteFile("Elsewhere/Upper Case/A/config.txt", AssetConfig("<kuid:91:2>", "Absolute"));
    EXPECT_EQ(Run({"installfrompath", root_.Path("Elsewhere/Upper Case")}).exitCode, 0);
    EXPECT_TRUE(Installed("<kuid:91:2>"));

    // An asset folder the daemon refuses makes the run fail, not just the summary count an error.
    root_.WriteFile("work/Broken/NoKuid/config.txt", "kind \"scenery\"\nusername \"No KUID\"\n");
    RunResult broken = Run({"installfrompath", "Broken"});
    EXPECT_EQ(broken.exitCode, 255);
    EXPECT_NE(broken.out.find("OK (1 Errors, 0 Warnings)\n"), std::string::npos) << broken.out;

    fs::create_directories(root_.Path("work/Reports"));
    EXPECT_EQ(Run({"listbuilds", "Reports/Builds.TXT"}).exitCode, 0);
    EXPECT_TRUE(root_.Exists("work/Reports/Builds.TXT"));
    EXPECT_FALSE(root_.Exists("work/Reports/builds.txt"));

    root_.WriteFile("work/Jobs/Run.TXT", "\"echo\" \"from the batch\"\n\"listbuilds\" \"Reports/FromBatch.TXT\"\n");
    RunResult batch = Run({"@Jobs/Run.TXT"});
    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(batch.out, std::string("from the batch \n") + kOK + "\n" + kOK + "\n");
    EXPECT_TRUE(root_.Exists("work/Reports/FromBatch.TXT"));
}

TEST_F(UserSessionE2E, BadInputGivesItsMessageAndChangesNothing)
{
    ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir()}).exitCode, 0);
    // A quote left open: the line is not run (it would run without its KUID), nothing may be deleted.
    root_.WriteFile("work/open-quote.txt", "\"delete\" \"<kuid:900001:100>\n");
    root_.WriteFile("work/empty/readme.txt", "no asset here");
    root_.WriteFile("work/notes.txt", "text");
    const std::string statusBefore = Run({"status", "<kuid:900001:100>"}).out;
    const std::string countBefore = Run({"countbuiltins"}).out;
    const std::map<std::string, std::string> before = Snapshot();

    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"frobnicate", "<kuid:900001:100>"},
         Failed("Invalid argument, please check the help for the list of valid argument\n")},
        {{"registeraccount", "onlyname"},
         Failed("Invalid argument, please check the help for the list of valid argument\n")},
        {{"edit"}, Failed("Missing AssetID parameter.")},
        {{"commit", "not-a-kuid"}, Failed("Missing AssetID parameter.")},
        {{"revert", "<kuid:abc:1>"}, Failed("Missing AssetID parameter.")},
        {{"delete", ""}, Failed("Missing AssetID parameter.")},
        {{"delete", "<kuid:999:999>"}, "- <kuid:999:999> : Unable to delete the asset.\nOK (1 Errors, 0 Warnings)\n"},
        {{"installfromdls", "<kuid:1:2>"}, Failed("Failed to query DLS for <kuid:1:2>")},
        {{"installfrompath"}, Failed("Missing input path parameter.")},
        {{"installfrompath", "No Such Folder"}, Failed("Invalid input path.")},
        {{"setnextcontentid", "abc"}, Failed("Missing or invalid ContentID parameter.")},
        {{"searchbycategory", "-A"}, Failed("Missing category parameter.")},
        {{"@open-quote.txt"},
         Failed("The batch file '" + root_.Path("work/open-quote.txt") +
                "' line 1: a double quote is never closed; the line was not run.") +
             "\n"},
        {{"status"}, Failed("Missing AssetID parameter.")},
        {{"edit", "<kuid:12:x>"}, Failed("Missing AssetID parameter.")},
        {{"installfrompath", "empty"},
         Failed("No asset folder (holding config.txt or config.chump) found in '" + root_.Path("work/empty") + "'.")},
        {{"setnextcontentid", "-4"}, Failed("Missing or invalid ContentID parameter.")},
        {{"setmaxbackupfolders"}, Failed("Missing number parameter.")},
        {{"searchbycategory", "nosuchcategory"}, Failed("No asset matches the search.")},
        {{"setmaxbackupfolders", "abc"}, Failed("The number of backup folders must be a whole number, not 'abc'.")},
        {{"setmaxbackupfolders", "12abc"}, Failed("The number of backup folders must be a whole number, not '12abc'.")},
        {{"setmaxbackupfolders", "1 2"}, Failed("The number of backup folders must be a whole number, not '1 2'.")},
        {{"setmaxbackupfolders", "-"}, Failed("The number of backup folders must be a whole number, not '-'.")},
        {{"repairdatabase", "sometimes"}, Failed("Unknown parameter.")},
        {{"flagrepairdatabase", "sometimes"}, Failed("Unknown parameter.")},
        {{"patch-finalise", "success", "1", "2"}, Failed("Invalid parameters")},
        {{"encrypt", "notes.txt"}, Failed("Invalid file path.")},
        {{"backupkeywords", "no-such-folder/k.dat"},
         Failed("Unable to write the keywords file '" + root_.Path("work/no-such-folder/k.dat") +
                "': No such file or directory.")},
        {{"createcdp", "x.cdp", "<kuid:900001:100>", "<kuid:5:5>"},
         "- <kuid:5:5> : Asset is not local.\nOK (1 Errors, 0 Warnings)\n"},
        {{"createcdp", "x.cdp", "nothing"}, Failed("Invalid AssetID.")},
        {{"export-package", "dxtc", "Pkg", "<kuid:900001:100>"}, Failed("Invalid uppercase package name \"Pkg\"")},
        {{"export-package", "dxtc", "pkg123456", "<kuid:900001:100>"}, Failed("Over-long package name \"pkg123456\"")},
        {{"dlsparsefolder", "no-such-folder"}, Failed("Invalid input path.")},
        {{"dlsparsefolder", "empty"},
         Failed("No asset folder (holding config.txt or config.chump) found in '" + root_.Path("work/empty") + "'.")},
        // An asset folder itself: its asset is looked for in the folders below it.
        {{"dlsparsefolder", InstallRoot::SamplesDir() + "/signal-box"},
         Failed("No asset folder (holding config.txt or config.chump) found in '" + InstallRoot::SamplesDir() +
                "/signal-box'.")},
        {{"compresstexture"}, Failed("Missing AssetID parameter.")},
        {{"compresstexture", "nowhere"}, Failed("Unable to search path: '" + root_.Path("work/nowhere") + "'")},
    };
    for (const auto& [args, expected] : cases)
    {
        RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 255) << args[0];
        EXPECT_EQ(r.out, expected) << args[0];
        EXPECT_EQ(r.err, "") << args[0];
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Run({"status", "<kuid:900001:100>"}).out, statusBefore);
    EXPECT_EQ(Run({"countbuiltins"}).out, countBefore);
}

TEST_F(UserSessionE2E, AccountAndBackupLimitReachTheDatabase)
{
    SettingsReader reader(root_.Root());
    ASSERT_TRUE(reader.Connected());
    TDBTagRef internet = reader.Group("internet");
    internet.EnsureContainer();
    internet.SetChildString("language", "DE");
    ASSERT_TRUE(reader.Client().SetSettingsGroup("internet", internet));

    EXPECT_EQ(Run({"registeraccount", "Driver", "Pa ss"}).exitCode, 0);
    internet = reader.Group("internet");
    EXPECT_EQ(internet.GetChildString("username").str(), "Driver");
    EXPECT_EQ(internet.GetChildString("password").str(), "Pa ss");
    EXPECT_EQ(internet.GetChildString("language").str(), "DE");

    // The command says OK once the daemon has stored the limit: it is there at once.
    auto limitBecomes = [&](int expected) {
        return reader.Group("developer").GetChildInt("max_backup_folders", -100) == expected;
    };
    EXPECT_EQ(Run({"setmaxbackupfolders", "45"}).exitCode, 0);
    EXPECT_TRUE(limitBecomes(30));
    EXPECT_EQ(Run({"setmaxbackupfolders", "-3"}).exitCode, 0);
    EXPECT_TRUE(limitBecomes(0));
    EXPECT_EQ(Run({"setmaxbackupfolders", " 7 "}).exitCode, 0);
    EXPECT_TRUE(limitBecomes(7));
}

TEST_F(UserSessionE2E, CtrlCEndsTheToolButNotTheDaemon)
{
    WriteManyAssets(kManyAssets);
    std::unique_ptr<RunningProgram> tool = StartInstallingMany();
    tool->SignalGroup(SIGINT);
    RunResult r = tool->Wait();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 128 + SIGINT);
    // The user is told what becomes of the request.
    EXPECT_NE(r.err.find("Interrupted: the tool stops here, with no summary. A request it had already sent to the "
                         "asset database daemon is not taken back: the daemon carries it on to its end"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("OK ("), std::string::npos);

    // The daemon is not part of the tool's job: it goes on serving, and no tool process is left behind.
    EXPECT_TRUE(root_.DaemonRunning());
    EXPECT_TRUE(Platform::FindProcessesByPath(root_.Path("bin/VelmarUtil")).empty());
    RunResult again = Run({"installfrompath", "many"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.out.find(kOK), std::string::npos);
    EXPECT_TRUE(Installed("<kuid:92:1>"));
    EXPECT_TRUE(Installed("<kuid:92:" + std::to_string(kManyAssets) + ">"));
}

TEST_F(UserSessionE2E, ACrashInsideACommandEndsTheRunWithItsOwnCode)
{
    WriteManyAssets(kManyAssets);
    std::unique_ptr<RunningProgram> tool = StartInstallingMany();
    kill(tool->Pid(), SIGSEGV);
    RunResult r = tool->Wait();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 156);  // -100 as the system keeps it
    EXPECT_EQ(r.out.find("OK ("), std::string::npos) << "no summary after a crash";
    EXPECT_TRUE(root_.DaemonRunning());
}

}  // namespace
}  // namespace e2e
