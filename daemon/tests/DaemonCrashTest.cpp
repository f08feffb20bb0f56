// kill -9 during installs and commits: after a restart every record matches a folder, and every installed
// folder holds one whole version, old or new.
#include "DaemonHarness.h"

#include "assetdb/VADClient.h"

#include <gtest/gtest.h>

#include "platform/Process.h"

#include <csignal>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

const KUID kAsset(424242, 7, 0);
constexpr int kFiles = 64;
constexpr size_t kFileBytes = 64 * 1024;

// An asset folder whose name and every file carry the version letter.
void WriteVersion(const std::string& folder, char letter)
{
    fs::remove_all(folder);
    fs::create_directories(folder + "/data");
    WriteFile(folder + "/config.txt", "kuid " + kAsset.ToString() + "\nusername \"Version " + letter + "\"\n");
    std::string data(kFileBytes, letter);
    for (int i = 0; i < kFiles; ++i) WriteFile(folder + "/data/f" + std::to_string(i), data);
}

// The version letter of a whole folder; 0 for a mix, a missing file or no folder.
char FolderVersion(const std::string& folder)
{
    std::string config = ReadFile(folder + "/config.txt");
    size_t at = config.find("Version ");
    if (at == std::string::npos) return 0;
    char letter = config[at + 8];
    for (int i = 0; i < kFiles; ++i)
        if (ReadFile(folder + "/data/f" + std::to_string(i)) != std::string(kFileBytes, letter)) return 0;
    return letter;
}

class DaemonCrashTest : public DaemonTest
{
protected:
    // Ends the serving daemon and starts one that kills itself at the named step.
    void StartCrashingAt(const std::string& point)
    {
        int pid = inst.DaemonPid();
        connection.CloseDaemon(0);
        ASSERT_EQ(inst.WaitDaemonExit(20000), 0);
        ASSERT_FALSE(Platform::IsProcessAlive(pid));
        ASSERT_GT(inst.StartDaemonReady(60, {"-crashat=" + point}), 0);
    }

    // A commit (with that option word) killed at each step, for every step.
    void CommitKilledAtEachStep(uint32_t option);
    // A batch install of the folder `from` (with that option value) killed at each step. With `moved`, `from`
    // is a folder of the crashing daemon's own staging folder ("%s" stands for its process id), whose copy is
    // moved into place: it is remade for each step, and the restarted daemon removes what is left of it.
    void BatchInstallKilledAtEachStep(const std::string& from, uint32_t options, bool moved = false);

    // The staging folder that holds `source` recorded as the killed daemon's own work, as the package install that
    // makes such a folder records it: it goes at the restart (one that no register records would stay).
    void RecordStagingOf(const std::string& source)
    {
        RecordEndedWork(inst.Path("UserData/cache/own-work"),
                        {{Platform::OwnWorkKind::kTree, fs::path(source).parent_path().string()}});
    }

    // Before the restart, wherever the daemon was killed: the asset's folder is in place and whole, old or new.
    void ExpectInPlace(const char* allowed)
    {
        const char v = FolderVersion(inst.Path("UserData/local/" + kAsset.ToSpacedString()));
        EXPECT_TRUE(v != 0 && strchr(allowed, v) != nullptr) << "folder version " << int(v);
    }

    // After a restart: the record and the folder agree, the folder is whole, nothing is left over. A kill from
    // outside (`anywhere`) may land between the making of a staging folder and its note in the register: that
    // folder, empty, is all it may leave.
    void ExpectConsistent(const char* allowed, bool anywhere = false)
    {
        StartAndOpen();
        std::string folder = inst.Path("UserData/local/" + kAsset.ToSpacedString());
        VADAssetInfo info;
        ASSERT_TRUE(client.GetAssetInfo(kAsset, info));
        ASSERT_TRUE(info.IsInstalled());
        char v = FolderVersion(folder);
        ASSERT_TRUE(v != 0 && strchr(allowed, v) != nullptr) << "folder version " << int(v);
        EXPECT_EQ(info.username, std::string("Version ") + v);
        for (const auto& e : fs::directory_iterator(inst.Path("UserData/local")))
        {
            const std::string name = e.path().filename().string();
            if (anywhere && name.rfind(".vadtmp-", 0) == 0 && fs::is_empty(e.path())) continue;
            EXPECT_NE(name[0], '.') << e.path();
        }
        // Every backup that looks complete is: one whole version.
        std::error_code ec;
        for (const auto& dated : fs::directory_iterator(inst.Path("UserData/backups"), ec))
            for (const auto& copy : fs::directory_iterator(dated.path()))
                if (copy.path().filename().string()[0] != '.')
                {
                    EXPECT_NE(FolderVersion(copy.path().string()), 0) << copy.path();
                }
        // Every record the database knows points at a folder whose configuration names it.
        ChunkedList<KUID> all;
        ASSERT_TRUE(client.QueryAssets(VADFilterElementGroup(), all));
        size_t n = 0;
        for (const KUID& k : all)
        {
            ++n;
            VADEditHandle h;
            ASSERT_TRUE(client.OpenAssetForEdit(h, k, 0));
            Orvo::PString source;
            Orvo::File::Path f;
            ASSERT_TRUE(client.GetEditFolder(h, source, f));
            EXPECT_NE(ReadFile(f.str() + "/config.txt").find("kuid " + k.ToString()), std::string::npos) << f.str();
        }
        EXPECT_EQ(n, 2u);
    }
};

// The steps of a replacement at which the daemon kills itself, and whether the new version counts there:
// only once the store transaction is committed.
struct Step
{
    const char* point;
    bool newVersion;
};
const Step kSteps[] = {{"copying", false},  {"backed-up", false}, {"thinning", false}, {"staged", false},
                       {"swapping", false}, {"swapped", false},   {"stored", true}};

TEST_F(DaemonCrashTest, KilledAtEachStepOfAnInstall)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    WriteVersion(inst.Path("src/b"), 'B');
    StartAndOpen();
    // One dated backup folder kept: every replacement thins the older ones.
    ASSERT_TRUE(client.SetSettingInt("developer", "max_backup_folders", 1));
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    for (const auto& step : kSteps)
    {
        SCOPED_TRACE(step.point);
        StartCrashingAt(step.point);
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_INSTALL_FROM_FOLDER, 1, VADEncode(VADPathOptionRequest{inst.Path("src/b"), 0, 0}));
        // Killed by its own hand at that step: the install was under way, neither before nor after it.
        ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
        ExpectInPlace("AB");
        ExpectConsistent(step.newVersion ? "B" : "A");
        ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    }
}

void DaemonCrashTest::CommitKilledAtEachStep(uint32_t option)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    StartAndOpen();
    // One dated backup folder kept: every replacement thins the older ones.
    ASSERT_TRUE(client.SetSettingInt("developer", "max_backup_folders", 1));
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    std::vector<Step> steps(std::begin(kSteps), std::end(kSteps));
    // A commit also sets the edit folder aside before the store drops the edit.
    steps.push_back({"edit-aside", false});
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.point);
        uint32_t id;
        {
            VADEditHandle h;
            ASSERT_TRUE(client.OpenAssetForEdit(h, kAsset, 1));
            id = h.GetId();
        }
        WriteVersion(inst.Path("UserData/editing/" + kAsset.ToSpacedString()), 'C');
        // The edit opened by one daemon process is committed by another.
        StartCrashingAt(step.point);
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_COMMIT, 1, VADEncode(VADHandleOptionRequest{id, option, 0}));
        ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
        ExpectInPlace("AC");
        ExpectConsistent(step.newVersion ? "C" : "A");
        // Committed: the edit is closed and its folder gone. Not committed: it is still open with its changes.
        VADAssetInfo info;
        ASSERT_TRUE(client.GetAssetInfo(kAsset, info));
        for (const auto& e : fs::directory_iterator(inst.Path("UserData/editing")))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        if (step.newVersion)
        {
            EXPECT_FALSE(info.IsOpenForEdit());
            EXPECT_FALSE(fs::exists(inst.Path("UserData/editing/" + kAsset.ToSpacedString())));
        }
        else
        {
            ASSERT_TRUE(info.IsOpenForEdit());
            EXPECT_EQ(FolderVersion(inst.Path("UserData/editing/" + kAsset.ToSpacedString())), 'C');
            ASSERT_TRUE(client.RevertAssetByKUID(kAsset, nullptr, 0));
        }
        ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    }
}

TEST_F(DaemonCrashTest, KilledAtEachStepOfACommit) { CommitKilledAtEachStep(0); }

// An edit folder handed over by its writer (its files linked into the installed copy, not copied): the edit
// still survives a kill before the commit point whole.
TEST_F(DaemonCrashTest, KilledAtEachStepOfAHandedOverCommit) { CommitKilledAtEachStep(kVADCommitHandOverFiles); }

// A revert killed before the store dropped its edit leaves the edit open with its changes; one that got past
// it leaves neither the edit nor its folder.
TEST_F(DaemonCrashTest, RevertKilledWhileItsEditFolderIsAsideKeepsTheEdit)
{
    WriteVersion(inst.Path("src/a"), 'A');
    StartAndOpen();
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    uint32_t id;
    {
        VADEditHandle h;
        ASSERT_TRUE(client.OpenAssetForEdit(h, kAsset, 1));
        id = h.GetId();
    }
    const std::string edit = inst.Path("UserData/editing/" + kAsset.ToSpacedString());
    WriteVersion(edit, 'C');
    StartCrashingAt("edit-aside");
    {
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_REVERT, 1, VADEncode(VADHandleOptionRequest{id, 0, 0}));
        ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
    }
    StartAndOpen();
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(kAsset, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    EXPECT_EQ(FolderVersion(edit), 'C');
    EXPECT_EQ(FolderVersion(inst.Path("UserData/local/" + kAsset.ToSpacedString())), 'A');

    ASSERT_TRUE(client.RevertAssetByKUID(kAsset, nullptr, 0));
    ASSERT_TRUE(client.GetAssetInfo(kAsset, info));
    EXPECT_FALSE(info.IsOpenForEdit());
    EXPECT_TRUE(fs::is_empty(inst.Path("UserData/editing")));
}

// The same promise for assets installed in one batch (one store transaction): after a kill at any step each
// is whole, in its old version or, once the transaction is committed, its new one. A copy staged in the cache
// (as an archive install stages one) lends its files to the install: it stays whole too.
void DaemonCrashTest::BatchInstallKilledAtEachStep(const std::string& from, uint32_t options, bool moved)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    StartAndOpen();
    if (!moved) WriteVersion(inst.Path(from), 'B');
    ASSERT_TRUE(client.SetSettingInt("developer", "max_backup_folders", 1));
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    std::vector<Step> steps(std::begin(kSteps), std::end(kSteps));
    // A moved copy is not copied file by file; it is taken once it has been moved in beside the target.
    if (moved) steps.front() = {"prepared", false};
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.point);
        StartCrashingAt(step.point);
        std::string source = inst.Path(from);
        if (moved)
        {
            char named[512];
            std::snprintf(named, sizeof named, source.c_str(), inst.DaemonPid());
            source = named;
            WriteVersion(source, 'B');
        }
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        // The bystander folder in the same batch: refused (the database's own), the asset replaced.
        raw.SendFrame(VAD_REQ_INSTALL_FROM_FOLDERS, 1,
                      VADEncode(VADPathListRequest{{inst.Path("UserData/local/kuid 1 1"), source}, options}));
        ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
        if (moved) RecordStagingOf(source);
        ExpectInPlace("AB");
        ExpectConsistent(step.newVersion ? "B" : "A");
        if (moved)
            EXPECT_FALSE(fs::exists(fs::path(source).parent_path()));
        else
            EXPECT_EQ(FolderVersion(source), 'B');
        ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    }
}

TEST_F(DaemonCrashTest, KilledAtEachStepOfABatchInstall) { BatchInstallKilledAtEachStep("src/b", 0); }

TEST_F(DaemonCrashTest, KilledAtEachStepOfABatchInstallOfAStagedCopy)
{
    BatchInstallKilledAtEachStep("UserData/cache/staged/b", kVADInstallStagedInCache | kVADInstallFavourite);
}

// A copy in the daemon's own staging folder (an archive install's) is moved into place, not copied: a kill at
// any step leaves the old version or, once stored, the new one, and the staging folder goes at the restart.
TEST_F(DaemonCrashTest, KilledAtEachStepOfABatchInstallOfAMovedStagedCopy)
{
    BatchInstallKilledAtEachStep("UserData/cache/install-%d-7.staging/0",
                                 kVADInstallStagedInCache | kVADInstallFavourite, true);
}

// A new asset (nothing in place to set aside) from a moved staged copy: after a kill at any step it is absent, or
// installed whole with its record once its folder was in place; nothing is left beside it.
TEST_F(DaemonCrashTest, KilledAtEachStepOfANewAssetsMovedInstall)
{
    StartAndOpen();
    for (const char* point : {"prepared", "staged", "swapped", "stored"})
    {
        SCOPED_TRACE(point);
        StartCrashingAt(point);
        const std::string source =
            inst.Path("UserData/cache/install-" + std::to_string(inst.DaemonPid()) + "-3.staging/0");
        WriteVersion(source, 'B');
        {
            RawClient raw;
            ASSERT_TRUE(raw.Connect(inst));
            raw.SendFrame(VAD_REQ_INSTALL_FROM_FOLDERS, 1,
                          VADEncode(VADPathListRequest{{source}, kVADInstallStagedInCache}));
            ASSERT_EQ(inst.WaitDaemonExit(30000), 128 + SIGKILL);
        }
        RecordStagingOf(source);
        StartAndOpen();
        const std::string folder = inst.Path("UserData/local/" + kAsset.ToSpacedString());
        VADAssetInfo info;
        const bool known = client.GetAssetInfo(kAsset, info) && info.IsInstalled();
        EXPECT_EQ(known, fs::exists(folder));
        EXPECT_EQ(known ? FolderVersion(folder) : 'B', 'B');
        const std::string at = point;
        // Only the store makes it count; a folder already in place when cut short is found at the restart.
        if (at == "stored" || at == "prepared" || at == "staged")
        {
            EXPECT_EQ(known, at == "stored");
        }
        for (const auto& e : fs::directory_iterator(inst.Path("UserData/local")))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        EXPECT_FALSE(fs::exists(fs::path(source).parent_path()));
        if (known)
        {
            ASSERT_TRUE(client.DeleteAsset(kAsset, 0));
        }
    }
}

// Killed from outside at a moment picked by a timer, as a user would: the same promise holds wherever it
// lands.
TEST_F(DaemonCrashTest, KilledFromOutsideDuringAnInstall)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    WriteVersion(inst.Path("src/b"), 'B');
    StartAndOpen();
    ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    for (int delayMs : {0, 5, 20})
    {
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_INSTALL_FROM_FOLDER, 1, VADEncode(VADPathOptionRequest{inst.Path("src/b"), 0, 0}));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        inst.KillDaemon();
        ExpectConsistent("AB", true);
        ASSERT_FALSE(InstalledKUID(client, inst.Path("src/a"), nullptr).IsNull());
    }
}

}  // namespace
