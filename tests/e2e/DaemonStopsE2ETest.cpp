// A daemon that stops in the middle of a run (killed at an exact step, as a crash, the out-of-memory killer or a
// power cut would stop it) costs the user nothing: what it held for a run is never assumed of the next daemon, a
// removal the store recorded is finished at the next start and one it did not is undone whole, and a held copy comes
// back whatever the run left. While a copy is held, other shells change or pack only the user's copy, and a run's
// own copies never thin the user's backups.
#include "E2EFixture.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADProtocol.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kBox[] = "<kuid:900001:100>";
constexpr char kBoxLocal[] = "UserData/local/kuid 900001 100";
constexpr char kBoxHeld[] = "UserData/held/kuid 900001 100";
constexpr char kMine[] = "the user's own\n";

class DaemonStopsE2E : public DaemonRootTest
{
protected:
    // The sample signal box installed with a file of the user's in its folder, and a folder to export holding
    // another copy of it in work/upload/copy.
    void InstallTheUsersBox()
    {
        ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
        root_.WriteFile(kBoxLocal + std::string("/mine.txt"), kMine);
        fs::create_directories(root_.Path("work/upload"));
        fs::copy(InstallRoot::SamplesDir() + "/signal-box", root_.Path("work/upload/copy"));
        root_.WriteFile("work/upload/copy/theirs.txt", "the folder's\n");
    }
    // What the user has of the box: its status line, its configuration and its files (starts a daemon).
    std::string BoxState() const
    {
        std::string s = Run({"status", kBox}).out + Run({"printconfig", kBox}).out;
        for (const std::string& file :
             root_.Exists(kBoxLocal) ? FilesBelow(root_.Path(kBoxLocal)) : std::vector<std::string>{})
            s += file + ": " + root_.ReadFile(kBoxLocal + ("/" + file)) + "\n";
        return s;
    }
    RunResult RestartedAt(const std::string& point, const std::vector<std::string>& args)
    {
        root_.StopProcesses();
        if (!root_.StartDaemon({"-crashat=" + point})) return {};
        return Run(args);
    }
    std::vector<std::string> Uncommitted() const
    {
        return root_.Exists("UserData/backups/uncommitted") ? FilesBelow(root_.Path("UserData/backups/uncommitted"))
                                                            : std::vector<std::string>{};
    }
    static bool Holds(const RunResult& r, const std::string& text) { return r.out.find(text) != std::string::npos; }
    // Ten dated backups, of the sample signal box installed eleven times over itself.
    void MakeTenDatedBackups()
    {
        for (int i = 0; i < 11; ++i)
            ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
        std::vector<std::string> dated = NamesIn(root_.Path("UserData/backups"));
        std::erase(dated, "uncommitted");
        ASSERT_EQ(dated.size(), 10u);
    }
    // The dated backups, one line each: its name, how many files it holds and a hash of their names and bytes.
    std::string DatedBackups() const
    {
        std::string s;
        for (const std::string& dated : NamesIn(root_.Path("UserData/backups")))
        {
            if (dated == "uncommitted") continue;
            const std::vector<std::string> files = FilesBelow(root_.Path("UserData/backups/" + dated));
            std::string all;
            for (const std::string& file : files)
                all += file + "\n" + root_.ReadFile("UserData/backups/" + dated + "/" + file) + "\n";
            s += dated + ": " + std::to_string(files.size()) + " files, " +
                 std::to_string(std::hash<std::string>{}(all)) + "\n";
        }
        return s;
    }
    // An asset folder below work/: its configuration, `files` files in parts/ and one named `own`.
    void WriteAssetFolder(const std::string& folder, const std::string& kuid, int files, const std::string& own) const
    {
        root_.WriteFile("work/" + folder + "/config.txt", "kuid " + kuid + "\nusername \"New\"\nkind \"scenery\"\n");
        for (int i = 0; i < files; ++i)
            root_.WriteFile("work/" + folder + "/parts/p" + std::to_string(i) + ".txt", "part\n");
        root_.WriteFile("work/" + folder + "/" + own, own + "\n");
    }
};

// The daemon killed while a run exports a copy of an asset the user had installed: the run neither deletes nor
// exports that asset on another daemon, says truly where the user's copy is, and the next daemon puts it back as it
// was. A handle one daemon gave is never taken to another, where its number may name another asset.
TEST_F(DaemonStopsE2E, ARunWhoseDaemonStopsNeverTouchesTheUsersCopyAgain)
{
    InstallTheUsersBox();
    const std::string before = BoxState();
    ASSERT_NE(before.find("mine.txt: the user's own"), std::string::npos) << before;

    // Killed once the run has written the asset's package, as the run asks for its thumbnail.
    const RunResult run = RestartedAt("request-29", {"dlsparsefolder", "upload"});
    EXPECT_EQ(run.exitCode, 255) << run.out;
    EXPECT_TRUE(Holds(run, "- <kuid:900001:100> : Failed to put back asset : <kuid:900001:100>; the asset database "
                           "daemon that held it stopped during this run: the copy installed before this run is kept "
                           "in '" +
                               root_.Path(kBoxHeld) +
                               "', and the asset database puts it back as it was when it "
                               "next starts\n"))
        << run.out;
    EXPECT_FALSE(root_.DaemonRunning());  // the run started no other daemon to go on with
    EXPECT_EQ(root_.ReadFile(kBoxHeld + std::string("/mine.txt")), kMine);
    EXPECT_EQ(BoxState(), before);
    EXPECT_EQ(NamesIn(root_.Path("UserData/held")), std::vector<std::string>{});

    // A handle of the daemon that stopped, asked of the next one, where another asset got that very number.
    root_.StopProcesses();
    ASSERT_TRUE(root_.StartDaemon());
    SettingsReader first(root_.Root());
    VADEditHandle box;
    ASSERT_TRUE(first.Client().OpenAssetForEdit(box, KUID::FromText(kBox), 0));
    root_.StopProcesses();
    ASSERT_TRUE(root_.StartDaemon());
    SettingsReader second(root_.Root());
    VADEditHandle other;
    ASSERT_TRUE(second.Client().OpenAssetForEdit(other, KUID::FromText("<kuid:44000:1001>"), 0));
    ASSERT_EQ(other.GetId(), box.GetId());
    Orvo::PString name;
    Orvo::File::Path folder;
    EXPECT_EQ(first.Client().GetEditFolder(box, name, folder).Code(), kVADStatusLinkDropped);
    EXPECT_TRUE(folder.IsEmpty()) << folder.str();
    EXPECT_NE(first.Client().Link()->LinkFailureText().find("stopped"), std::string::npos);
    VADAssetInfo info;  // a request that counts on nothing the daemon held goes to the new one
    EXPECT_TRUE(first.Client().GetAssetInfo(KUID::FromText(kBox), info));
}

// A delete killed before the store recorded it leaves the asset installed whole; one killed after (its folder not yet
// removed, as a power cut leaves it, or half removed) is finished at the next start: never an asset with files
// missing.
TEST_F(DaemonStopsE2E, ADeleteCutShortIsFinishedOrUndoneWholeAtTheNextStart)
{
    const std::string kuid = "<kuid:900501:1>", local = "UserData/local/kuid 900501 1";
    root_.WriteFile("work/big/config.txt", "kuid " + kuid + "\nusername \"Many files\"\nkind \"scenery\"\n");
    for (int i = 0; i < 300; ++i) root_.WriteFile("work/big/parts/p" + std::to_string(i) + ".txt", "part\n");
    ASSERT_EQ(Run({"installfrompath", "big"}).exitCode, 0);
    auto files = [&] { return root_.Exists(local) ? FilesBelow(root_.Path(local)).size() : size_t(0); };
    ASSERT_EQ(files(), 301u);

    EXPECT_EQ(RestartedAt("delete-aside", {"delete", kuid}).exitCode, 255);
    EXPECT_EQ(Run({"status", kuid}).exitCode, 0);  // starts a daemon
    EXPECT_EQ(files(), 301u);

    for (const bool halfRemoved : {false, true})
    {
        SCOPED_TRACE(halfRemoved ? "half removed" : "not yet removed");
        EXPECT_EQ(RestartedAt("deleted", {"delete", kuid}).exitCode, 255);
        EXPECT_FALSE(root_.DaemonRunning());
        const std::vector<std::string> aside = NamesIn(root_.Path("UserData/local"), ".vadold-");
        ASSERT_EQ(aside.size(), 1u);
        if (halfRemoved)
        {
            fs::remove(root_.Path("UserData/local/" + aside[0] + "/config.txt"));
            for (int i = 0; i < 300; i += 2)
                fs::remove(root_.Path("UserData/local/" + aside[0] + "/parts/p" + std::to_string(i) + ".txt"));
        }
        EXPECT_EQ(Run({"status", kuid}).exitCode, 255);
        EXPECT_EQ(NamesIn(root_.Path("UserData/local")), std::vector<std::string>{});
        ASSERT_EQ(Run({"installfrompath", "big"}).exitCode, 0);
    }
}

// The daemon killed as the run deletes its own copy, and what stood where the held copy goes back: the next start
// keeps that, puts the user's copy back, and the asset is the user's to use. A copy that cannot be put back is said
// to be kept where it is, never to be held by a run that is going.
TEST_F(DaemonStopsE2E, AHeldCopyIsPutBackAtStartWhateverTheRunLeft)
{
    InstallTheUsersBox();
    const std::string before = BoxState();
    EXPECT_EQ(RestartedAt("deleted", {"dlsparsefolder", "upload"}).exitCode, 255);
    EXPECT_FALSE(root_.DaemonRunning());
    root_.WriteFile(kBoxLocal + std::string("/signalbox.im"), "what a removal cut short left\n");
    // Nothing to keep it in: the copy stays held, and an install of the asset says so as it is.
    root_.WriteFile("UserData/backups/uncommitted", "in the way\n");
    ASSERT_TRUE(root_.StartDaemon());
    const RunResult refused = Run({"installfrompath", "upload"});
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_TRUE(Holds(refused, "Asset <kuid:900001:100> cannot be changed now: its installed copy is kept in '" +
                                   root_.Path(kBoxHeld) +
                                   "', where a dlsparsefolder run held it aside, and could "
                                   "not be put back ("))
        << refused.out;
    EXPECT_FALSE(Holds(refused, "exports another copy")) << refused.out;

    fs::remove(root_.Path("UserData/backups/uncommitted"));
    root_.StopProcesses();
    EXPECT_EQ(BoxState(), before);
    EXPECT_EQ(NamesIn(root_.Path("UserData/held")), std::vector<std::string>{});
    const std::vector<std::string> kept = Uncommitted();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_NE(kept[0].find("/kuid 900001 100 (found where a held copy goes back)/signalbox.im"), std::string::npos)
        << kept[0];
    EXPECT_EQ(Run({"edit", kBox}).exitCode, 0);
    EXPECT_EQ(Run({"revert", kBox}).exitCode, 0);
    EXPECT_EQ(Run({"delete", kBox}).exitCode, 0);
}

// While a run holds the user's copy aside and has its own installed, other shells change and pack only the user's
// copy: keywords go to it, a delete, a package and a device package are refused saying why.
TEST_F(DaemonStopsE2E, AHeldAssetIsChangedOrPackedFromElsewhereOnlyAsTheUsersCopy)
{
    InstallTheUsersBox();
    const KUID box = KUID::FromText(kBox);
    SettingsReader run(root_.Root());  // stands for a dlsparsefolder run
    uint32_t held = kVADHeldNothing;
    std::string at;
    KUID installed;
    ASSERT_TRUE(run.Client().HoldInstalledAsset(box, held, at));
    ASSERT_EQ(held, kVADHeldFolder);
    ASSERT_TRUE(run.Client().InstallFromFolder(installed, root_.Path("work/upload/copy"), nullptr,
                                               kVADInstallNotOverLocalCopy));

    root_.WriteFile("work/KeywordsDump.dat", std::string(kBox) + "\t\"oak;mine\"\n");
    EXPECT_EQ(Run({"importkeywords"}).out, kOK);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"delete", kBox}, {"createcdp", "box.cdp", kBox}, {"export-package", "Velmar;DXTC", "pack", kBox}})
    {
        const RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 255) << args[0] << r.out;
        EXPECT_TRUE(Holds(r, "now: its installed copy is held aside while dlsparsefolder exports another copy of it; "
                             "try again once that run is done."))
            << r.out;
    }
    EXPECT_FALSE(root_.Exists("work/box.cdp"));
    EXPECT_FALSE(root_.Exists("UserData/packages/pack"));

    ASSERT_TRUE(run.Client().DeleteAsset(box, 1));
    ASSERT_TRUE(run.Client().PutBackHeldAsset(box));
    EXPECT_EQ(run.Client().GetAssetKeywords(box).ValueOr(Orvo::String("?")).str(), "oak;mine");
    EXPECT_EQ(root_.ReadFile(kBoxLocal + std::string("/mine.txt")), kMine);
    EXPECT_FALSE(root_.Exists(kBoxLocal + std::string("/theirs.txt")));
}

// A run's own copy comes from the folder it reads, which stays: deleting it makes no backup, so runs over a new asset
// and over one the user had leave the user's dated backups as they were.
TEST_F(DaemonStopsE2E, ARunsOwnCopiesNeverThinTheUsersBackups)
{
    InstallTheUsersBox();
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
    std::vector<std::string> backups = NamesIn(root_.Path("UserData/backups"));
    std::erase(backups, "uncommitted");
    ASSERT_EQ(backups.size(), 10u);
    root_.WriteFile("work/new/one/config.txt", "kuid <kuid:900502:1>\nusername \"New\"\nkind \"scenery\"\n");
    for (const char* folder : {"new", "new", "upload"})
    {
        const RunResult r = Run({"dlsparsefolder", folder});
        EXPECT_EQ(r.out, kOK) << folder;
        std::vector<std::string> now = NamesIn(root_.Path("UserData/backups"));
        std::erase(now, "uncommitted");
        EXPECT_EQ(now, backups) << folder;
    }
}

// The daemon killed as a run asks for the thumbnail of its own copy of an asset new to the user: the daemon the run's
// next request starts deletes that copy, and without a backup. Nor does a copy of the user's installed over a run's
// own, on another daemon than the one that installed it, make a backup of the run's: the user's dated backups stay
// as they were. The user's copy then is the user's: its delete makes a backup.
TEST_F(DaemonStopsE2E, ARunsOwnCopyTakesNoBackupWhicheverDaemonDeletesOrReplacesIt)
{
    MakeTenDatedBackups();
    const std::string backups = DatedBackups();
    const std::string kuid = "<kuid:900503:1>", local = "UserData/local/kuid 900503 1";
    WriteAssetFolder("new/many", kuid, 300, "theirs.txt");

    const RunResult run = RestartedAt("request-29", {"dlsparsefolder", "new"});
    EXPECT_EQ(run.exitCode, 255) << run.out;
    EXPECT_TRUE(root_.Exists("UserData/dls-parse/VELMAR2010-Builtin")) << run.out;
    EXPECT_TRUE(root_.DaemonRunning());  // the one the run's delete started
    EXPECT_FALSE(root_.Exists(local));
    EXPECT_EQ(Run({"status", kuid}).exitCode, 255);
    EXPECT_EQ(DatedBackups(), backups);

    {
        SettingsReader stand(root_.Root());  // stands for a dlsparsefolder run
        KUID installed;
        ASSERT_TRUE(stand.Client().InstallFromFolder(installed, root_.Path("work/new/many"), nullptr,
                                                     kVADInstallNotOverLocalCopy));
    }
    root_.StopProcesses();
    WriteAssetFolder("mine/one", kuid, 2, "mine.txt");
    ASSERT_EQ(Run({"installfrompath", "mine"}).exitCode, 0);
    EXPECT_EQ(DatedBackups(), backups);
    EXPECT_EQ(FilesBelow(root_.Path(local)),
              (std::vector<std::string>{"config.txt", "mine.txt", "parts/p0.txt", "parts/p1.txt"}));
    ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
    const std::vector<std::string> dated = NamesIn(root_.Path("UserData/backups"));
    ASSERT_FALSE(dated.empty());
    EXPECT_EQ(root_.ReadFile("UserData/backups/" + dated.back() + "/kuid 900503 1/mine.txt"), "mine.txt\n");
}

// While a run exports its own copy of a new asset, the user's install of another copy of it from another shell is
// refused, saying why, and so is packing the run's copy: what the run exports is the copy it installed. A copy the
// user installs over a run's own once that run is gone stays installed when a run deletes its own copy only: that
// delete says so under the asset, and no backup is made of either. A run over that folder then holds the user's copy
// aside and puts it back.
TEST_F(DaemonStopsE2E, ARunDeletesOnlyItsOwnCopyNeverOneInstalledOverIt)
{
    MakeTenDatedBackups();
    const std::string backups = DatedBackups();
    const std::string kuid = "<kuid:900504:1>", local = "UserData/local/kuid 900504 1";
    const std::vector<std::string> mine = {"config.txt", "mine.txt", "parts/p0.txt"};
    WriteAssetFolder("theirs/one", kuid, 1, "theirs.txt");
    WriteAssetFolder("mine/one", kuid, 1, "mine.txt");
    {
        SettingsReader run(root_.Root());  // stands for a dlsparsefolder run
        KUID installed;
        ASSERT_TRUE(run.Client().InstallFromFolder(installed, root_.Path("work/theirs/one"), nullptr,
                                                   kVADInstallNotOverLocalCopy));
        const RunResult over = Run({"installfrompath", "mine"});
        EXPECT_EQ(over.exitCode, 255) << over.out;
        EXPECT_TRUE(Holds(over, "Asset " + kuid +
                                    " cannot be changed now: dlsparsefolder is exporting the copy of it that it "
                                    "installed from the folder it reads; try again once that run is done."))
            << over.out;
        EXPECT_EQ(Run({"createcdp", "x.cdp", kuid}).exitCode, 255);
        EXPECT_EQ(FilesBelow(root_.Path(local)),
                  (std::vector<std::string>{"config.txt", "parts/p0.txt", "theirs.txt"}));
    }

    // That run is gone, its copy left installed: the user's goes over it.
    ASSERT_EQ(Run({"installfrompath", "mine"}).exitCode, 0);
    SettingsReader run(root_.Root());
    ResultsLog said;
    ASSERT_TRUE(run.Client().DeleteAsset(KUID::FromText(kuid), 1 | kVADDeleteRunsOwnCopyOnly, &said));
    const std::vector<ResultsLog::Result> results = said.GetResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, kResultWarning);
    EXPECT_EQ(results[0].text.str(), "Asset " + kuid +
                                         " was installed anew while this run exported it: the copy installed now is "
                                         "not the run's, and it stays installed.");
    EXPECT_EQ(Run({"status", kuid}).exitCode, 0);
    EXPECT_EQ(FilesBelow(root_.Path(local)), mine);
    EXPECT_EQ(DatedBackups(), backups);

    EXPECT_EQ(Run({"dlsparsefolder", "theirs"}).out, kOK);
    EXPECT_EQ(FilesBelow(root_.Path(local)), mine);
    EXPECT_EQ(DatedBackups(), backups);
}

// The daemon killed as an export has put a package's new device copy in place, the earlier one set aside beside it:
// the next start keeps the earlier one in the backups where it holds a file the new one lacks (the log says where),
// and removes it where it holds nothing more. Nothing stays hidden in the package folder.
TEST_F(DaemonStopsE2E, AnEarlierPackageCopyIsKeptOrRemovedAtTheNextStart)
{
    ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
    const std::vector<std::string> exportBox = {"export-package", "Velmar;DXTC", "pkgx", kBox};
    ASSERT_EQ(Run(exportBox).out, kOK);
    const std::string package = root_.Path("UserData/packages/pkgx");
    root_.WriteFile("UserData/packages/pkgx/kuid 900001 100/mine.txt", kMine);
    for (const bool holdsMore : {true, false})
    {
        SCOPED_TRACE(holdsMore ? "holds a file of the user's" : "holds nothing more");
        EXPECT_EQ(RestartedAt("placed", exportBox).exitCode, 255);
        EXPECT_EQ(NamesIn(package, ".vadold-").size(), 1u);
        EXPECT_EQ(Run({"status", kBox}).exitCode, 0);  // starts a daemon
        EXPECT_EQ(NamesIn(package, ".vadold-"), std::vector<std::string>{});
        EXPECT_FALSE(root_.Exists("UserData/packages/pkgx/kuid 900001 100/mine.txt"));
        std::vector<std::string> kept = Uncommitted();
        std::erase_if(kept, [](const std::string& f) { return !f.ends_with("/mine.txt"); });
        ASSERT_EQ(kept.size(), 1u);  // the second round kept nothing
        EXPECT_NE(kept[0].find("/pkgx kuid 900001 100 (earlier package copy)/mine.txt"), std::string::npos) << kept[0];
        EXPECT_EQ(NamesIn(root_.Path("UserData/backups/uncommitted")).size(), 1u);
        EXPECT_NE(root_.ReadFile("UserData/settings/vaddaemon.log").find("kept in " + root_.Path("UserData/backups")),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace e2e
