// kill -9 during installs and commits: after a restart every record matches a folder, and every installed
// folder holds one whole version, old or new.
#include "DaemonHarness.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADRequests.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

const KUID kAsset(424242, 7, 0);
constexpr int kFiles = 200;
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

class DaemonCrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VADCloseDatabase();
        VADSetDaemonRoot(inst.Root());
        VADSetConnectIntervalMs(50);
    }
    void TearDown() override { VADCloseDatabase(); }

    void Restart()
    {
        VADCloseDatabase();
        ASSERT_GT(inst.StartDaemonReady(), 0);
        VADConnectionSettings s;
        s.Reset();
        s.startDaemon = 0;
        ASSERT_TRUE(VADOpenDatabase(s));
    }

    // After a restart: the record and the folder agree, the folder is whole, nothing is left over.
    void ExpectConsistent(const char* allowed)
    {
        Restart();
        std::string folder = inst.Path("UserData/local/" + kAsset.ToSpacedString());
        VADAssetInfo info;
        ASSERT_TRUE(VADGetAssetInfo(kAsset, info));
        ASSERT_TRUE(info.IsInstalled());
        char v = FolderVersion(folder);
        ASSERT_NE(strchr(allowed, v), nullptr) << "folder version " << int(v);
        EXPECT_EQ(info.username, std::string("Version ") + v);
        for (const auto& e : fs::directory_iterator(inst.Path("UserData/local")))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
        // Every record the database knows points at a folder whose configuration names it.
        ChunkedList<KUID> all;
        ASSERT_TRUE(VADQueryAssets(VADFilterElementGroup(), all));
        size_t n = 0;
        for (const KUID& k : all)
        {
            ++n;
            VADEditHandle h;
            ASSERT_TRUE(VADOpenAssetForEdit(h, k, 0));
            Orvo::PString source;
            Orvo::File::Path f;
            ASSERT_TRUE(VADGetEditFolder(h, source, f));
            EXPECT_NE(ReadFile(f.str() + "/config.txt").find("kuid " + k.ToString()), std::string::npos) << f.str();
        }
        EXPECT_EQ(n, 2u);
    }

    TestInstallation inst;
};

TEST_F(DaemonCrashTest, KilledDuringInstall)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    WriteVersion(inst.Path("src/b"), 'B');
    Restart();
    ASSERT_FALSE(VADInstallFromFolder(inst.Path("src/a"), nullptr).IsNull());
    for (int delayMs : {0, 2, 5, 10, 20, 40})
    {
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_INSTALL_FROM_FOLDER, 1, VADEncode(VADPathOptionRequest{inst.Path("src/b"), 0, 0}));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        inst.KillDaemon();
        ExpectConsistent("AB");
        // Back to A for the next round.
        ASSERT_FALSE(VADInstallFromFolder(inst.Path("src/a"), nullptr).IsNull());
        VADCloseDatabase();
    }
}

TEST_F(DaemonCrashTest, KilledDuringCommit)
{
    WriteAssetFolder(inst.Path("UserData/local/kuid 1 1"), KUID(1, 1, 0), "Bystander");
    WriteVersion(inst.Path("src/a"), 'A');
    Restart();
    ASSERT_FALSE(VADInstallFromFolder(inst.Path("src/a"), nullptr).IsNull());
    for (int delayMs : {0, 2, 5, 10, 20, 40})
    {
        VADEditHandle h;
        ASSERT_TRUE(VADOpenAssetForEdit(h, kAsset, 1));
        WriteVersion(inst.Path("UserData/editing/" + kAsset.ToSpacedString()), 'C');
        uint32_t id = h.GetId();
        RawClient raw;
        ASSERT_TRUE(raw.Connect(inst));
        raw.SendFrame(VAD_REQ_COMMIT, 1, VADEncode(VADHandleOptionRequest{id, 0, 0}));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        inst.KillDaemon();
        h = VADEditHandle();
        ExpectConsistent("AC");
        // Either the edit is still open (not committed) or it is gone (committed).
        VADAssetInfo info;
        ASSERT_TRUE(VADGetAssetInfo(kAsset, info));
        char v = FolderVersion(inst.Path("UserData/local/" + kAsset.ToSpacedString()));
        if (v == 'C')
            EXPECT_FALSE(info.IsOpenForEdit());
        else
        {
            ASSERT_TRUE(info.IsOpenForEdit());
            ASSERT_TRUE(VADRevertAssetByKUID(kAsset, nullptr, 0));
        }
        ASSERT_FALSE(VADInstallFromFolder(inst.Path("src/a"), nullptr).IsNull());
    }
}

} // namespace
