// The database's edits and its store's answers, in process: a command host's edit is its own and dies with
// it; an asset being installed is not opened by a user; a scan or flag the store refuses is not taken.
#include "DaemonHarness.h"
#include "daemon/AssetDatabase.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class TempRoot
{
public:
    TempRoot()
    {
        char tmpl[] = "/tmp/velmar-lostwork-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempRoot() { fs::remove_all(path); }
    std::string path;
};

bool Says(const DaemonResults& results, const std::string& part)
{
    for (const VADResultNotification& r : results)
        if (r.text.find(part) != std::string::npos) return true;
    return false;
}

const KUID kAsset(900700, 1, 0);
constexpr uintptr_t kHost = 0x1234;

// A database over a root holding one installed asset.
class DaemonEditsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WriteAssetFolder(root_.path + "/work/a", kAsset, "A", "", 2, 10);
        ASSERT_TRUE(db_.Open(nullptr));
        ASSERT_TRUE(db_.Reconcile(false));
        KUID installed;
        ASSERT_EQ(db_.InstallFromFolder(root_.path + "/work/a", installed, nullptr), DbStatus::kOK);
    }
    bool OpenForEdit(const KUID& k, uintptr_t asker, uint32_t& handle, DaemonResults* results = nullptr)
    {
        return db_.OpenForEdit(k, true, handle, results, asker) == DbStatus::kOK;
    }
    bool IsOpen(const KUID& k)
    {
        VADAssetInfo info;
        return db_.Info(k, -1, info) && info.IsOpenForEdit();
    }

    TempRoot root_;
    AssetDatabase db_{DaemonRoot(root_.path)};
};

TEST_F(DaemonEditsTest, ACommandHostsEditIsItsOwnAndClosesWithIt)
{
    uint32_t host = 0, user = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, kHost, host));
    const std::string editFolder = db_.Root().EditFolder(kAsset);
    WriteFile(editFolder + "/half-made.txt", "the host's work in progress");

    // Nobody else gets it, by KUID or by handle.
    DaemonResults refused;
    EXPECT_FALSE(OpenForEdit(kAsset, 0, user, &refused));
    EXPECT_TRUE(Says(refused, "is being installed")) << refused.size();
    EXPECT_NE(db_.OpenForEdit(kAsset, false, user, nullptr, 0), DbStatus::kOK);
    EXPECT_FALSE(OpenForEdit(kAsset, 0x5678, user));
    std::string source, folder;
    EXPECT_NE(db_.EditFolder(host, source, folder, 0), DbStatus::kOK);
    EXPECT_NE(db_.Commit(host, nullptr, false, {}, 0), DbStatus::kOK);
    EXPECT_NE(db_.Revert(host, nullptr, 0), DbStatus::kOK);
    EXPECT_NE(db_.Delete(kAsset, nullptr), DbStatus::kOK);
    ASSERT_EQ(db_.EditFolder(host, source, folder, kHost), DbStatus::kOK);
    EXPECT_EQ(folder, editFolder);
    EXPECT_TRUE(IsOpen(kAsset));

    // The host goes: its edit is closed, the installed copy is as it was.
    EXPECT_EQ(db_.CloseEditsOf(0x5678), 0u);
    EXPECT_EQ(db_.CloseEditsOf(kHost), 1u);
    EXPECT_FALSE(fs::exists(editFolder));
    EXPECT_FALSE(IsOpen(kAsset));
    EXPECT_FALSE(fs::exists(db_.ActiveFolder(kAsset) + "/half-made.txt"));
    EXPECT_TRUE(fs::exists(db_.ActiveFolder(kAsset) + "/config.txt"));

    // A user's edit is not the host's to take either: the check and the open are one step.
    ASSERT_TRUE(OpenForEdit(kAsset, 0, user));
    DaemonResults hostRefused;
    EXPECT_FALSE(OpenForEdit(kAsset, kHost, host, &hostRefused));
    EXPECT_TRUE(Says(hostRefused, "$vad_prompt_openforedit_log"));
    uint32_t again = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, again));
    EXPECT_EQ(again, user);
}

TEST_F(DaemonEditsTest, AHostsEditIsNotKeptAcrossARestartAndAUsersIs)
{
    const KUID other(900700, 2, 0);
    WriteAssetFolder(root_.path + "/work/b", other, "B");
    KUID installed;
    ASSERT_EQ(db_.InstallFromFolder(root_.path + "/work/b", installed, nullptr), DbStatus::kOK);
    uint32_t host = 0, user = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, kHost, host));
    ASSERT_TRUE(OpenForEdit(other, 0, user));
    EXPECT_NE(host, user);
    db_.Close();

    AssetDatabase again{DaemonRoot(root_.path)};
    ASSERT_TRUE(again.Open(nullptr));
    ASSERT_TRUE(again.Reconcile(false));
    VADAssetInfo info;
    ASSERT_TRUE(again.Info(kAsset, -1, info));
    EXPECT_FALSE(info.IsOpenForEdit());
    ASSERT_TRUE(again.Info(other, -1, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    // The host's edit folder went into a backup; the user's stays where it was.
    EXPECT_FALSE(fs::exists(root_.path + "/UserData/editing/" + kAsset.ToSpacedString()));
    EXPECT_TRUE(fs::exists(root_.path + "/UserData/editing/" + other.ToSpacedString() + "/config.txt"));
    bool kept = false;
    for (const auto& dated : fs::directory_iterator(root_.path + "/UserData/backups"))
        kept =
            kept || fs::exists(dated.path() / (kAsset.ToSpacedString() + " (edit folder without an edit)/config.txt"));
    EXPECT_TRUE(kept);
    // The next edit of it is a fresh one.
    uint32_t handle = 0;
    EXPECT_EQ(again.OpenForEdit(kAsset, true, handle, nullptr, 0), DbStatus::kOK);
}

TEST_F(DaemonEditsTest, AnAssetBeingInstalledFromAPackageIsNotOpenedByAUser)
{
    const KUID fresh(900700, 9, 0);
    std::vector<KUID> installing = {kAsset, fresh};
    EXPECT_EQ(db_.BeginPackageInstall(installing, nullptr), 0u);
    uint32_t handle = 0;
    DaemonResults refused;
    EXPECT_FALSE(OpenForEdit(kAsset, 0, handle, &refused));
    EXPECT_TRUE(Says(refused, "is being installed"));
    EXPECT_NE(db_.Create(fresh, "New", handle, nullptr, 0), DbStatus::kOK);
    // Locating it (no edit) is harmless.
    EXPECT_EQ(db_.OpenForEdit(kAsset, false, handle, nullptr, 0), DbStatus::kOK);

    // The install's own host opens and creates them.
    uint32_t opened = 0, created = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, kHost, opened));
    ASSERT_EQ(db_.Create(fresh, "New", created, nullptr, kHost), DbStatus::kOK);
    ASSERT_EQ(db_.Revert(opened, nullptr, kHost), DbStatus::kOK);
    db_.EndPackageInstall(installing);
    EXPECT_TRUE(OpenForEdit(kAsset, 0, handle));
    EXPECT_FALSE(OpenForEdit(fresh, 0, handle));  // still the host's
    EXPECT_EQ(db_.CloseEditsOf(kHost), 1u);
    EXPECT_FALSE(db_.Exists(fresh));
}

// Holds the store's write lock from another connection, as another writer would.
class StoreLock
{
public:
    explicit StoreLock(const std::string& path)
    {
        if (sqlite3_open(path.c_str(), &db_) == SQLITE_OK)
            locked_ = sqlite3_exec(db_, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~StoreLock() { Release(); }
    bool Locked() const { return locked_; }
    void Release()
    {
        if (db_) sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
    }

private:
    sqlite3* db_ = nullptr;
    bool locked_ = false;
};

TEST_F(DaemonEditsTest, AScanOrRepairFlagTheStoreRefusesIsNotTaken)
{
    // An asset put in place by hand, found by the next scan.
    const KUID byHand(900700, 3, 0);
    WriteAssetFolder(db_.Root().LocalFolder(byHand), byHand, "By hand");
    {
        StoreLock lock(db_.Root().Database());
        ASSERT_TRUE(lock.Locked());
        DaemonResults results;
        EXPECT_FALSE(db_.Reconcile(false, &results));
        EXPECT_TRUE(Says(results, "The asset database could not store the scan")) << results.size();
        EXPECT_FALSE(db_.Exists(byHand));
        EXPECT_TRUE(db_.Exists(kAsset));
        EXPECT_FALSE(db_.FlagRepair(1));
    }
    EXPECT_TRUE(db_.Reconcile(false));
    EXPECT_TRUE(db_.Exists(byHand));
    EXPECT_TRUE(db_.FlagRepair(1));
}

}  // namespace

namespace {

TEST(DaemonStart, UserDataFoldersThatCannotBeMadeKeepTheDatabaseClosed)
{
    TempRoot root;
    fs::create_directories(root.path + "/UserData");
    WriteFile(root.path + "/UserData/editing", "a file where a folder belongs");
    AssetDatabase db{DaemonRoot(root.path)};
    std::string error;
    EXPECT_FALSE(db.Open(&error));
    EXPECT_NE(error.find("UserData/editing' could not be made"), std::string::npos) << error;
}

// A request whose text holds a zero byte is refused whole (the link stays up), never taken cut at the zero.
TEST(DaemonRequestTexts, ATextWithAZeroByteIsABadPayload)
{
    TestInstallation inst;
    ASSERT_GT(inst.StartDaemonReady(), 0);
    RawClient client;
    ASSERT_TRUE(client.Connect(inst));
    VADKuidTextRequest request;
    request.kuid = KUID(900700, 1, 0);
    request.text = std::string("ste\0I;red", 9);
    RawClient::Reply cut = client.Ask(VAD_REQ_SET_KEYWORDS, VADEncode(request));
    ASSERT_TRUE(cut.answered);
    EXPECT_EQ(cut.status, kVADStatusBadPayload);
    request.text = "steel;red";
    RawClient::Reply whole = client.Ask(VAD_REQ_SET_KEYWORDS, VADEncode(request));
    ASSERT_TRUE(whole.answered);
    EXPECT_NE(whole.status, kVADStatusBadPayload);  // no such asset here: any other answer
}

}  // namespace
