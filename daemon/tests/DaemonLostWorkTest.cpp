// The database's edits and its store's answers, in process: a command host's edit is its own and dies with
// it; an asset being installed is not opened by a user; a scan or flag the store refuses is not taken; a read
// the store fails is never taken for a value not stored; an edit and a revert are on disk before they are
// recorded; a commit never leaves part of the edit behind, and the edit it has taken is its own until it is
// done; an edit folder set aside is never dropped.
#include "DaemonHarness.h"
#include "daemon/AssetDatabase.h"
#include "daemon/FolderOps.h"
#include "platform/FileLease.h"
#include "platform/OwnFolders.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const KUID kAsset(900700, 1, 0);
constexpr uintptr_t kHost = 0x1234;

// A database over a root holding one installed asset.
class DaemonEditsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WriteAssetFolder(root_.path() + "/work/a", kAsset, "A", "", 2, 10);
        ASSERT_TRUE(db_.Open(nullptr));
        ASSERT_TRUE(db_.Reconcile(false));
        KUID installed;
        ASSERT_EQ(db_.InstallFromFolder(root_.path() + "/work/a", installed, nullptr), DbStatus::kOK);
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

    TempDir root_;
    AssetDatabase db_{DaemonRoot(root_.path())};
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
    WriteAssetFolder(root_.path() + "/work/b", other, "B");
    KUID installed;
    ASSERT_EQ(db_.InstallFromFolder(root_.path() + "/work/b", installed, nullptr), DbStatus::kOK);
    uint32_t host = 0, user = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, kHost, host));
    ASSERT_TRUE(OpenForEdit(other, 0, user));
    EXPECT_NE(host, user);
    db_.Close();

    AssetDatabase again{DaemonRoot(root_.path())};
    ASSERT_TRUE(again.Open(nullptr));
    ASSERT_TRUE(again.Reconcile(false));
    VADAssetInfo info;
    ASSERT_TRUE(again.Info(kAsset, -1, info));
    EXPECT_FALSE(info.IsOpenForEdit());
    ASSERT_TRUE(again.Info(other, -1, info));
    EXPECT_TRUE(info.IsOpenForEdit());
    // The host's edit folder went into a backup; the user's stays where it was.
    EXPECT_FALSE(fs::exists(root_.path() + "/UserData/editing/" + kAsset.ToSpacedString()));
    EXPECT_TRUE(fs::exists(root_.path() + "/UserData/editing/" + other.ToSpacedString() + "/config.txt"));
    bool kept = false;
    for (const auto& dated : fs::directory_iterator(root_.path() + "/UserData/backups/uncommitted"))
        kept =
            kept || fs::exists(dated.path() / (kAsset.ToSpacedString() + " (edit folder without an edit)/config.txt"));
    EXPECT_TRUE(kept);
    // The next edit of it is a fresh one.
    uint32_t handle = 0;
    EXPECT_EQ(again.OpenForEdit(kAsset, true, handle, nullptr, 0), DbStatus::kOK);
}

// An edit folder set aside by a close cut short, which could not be put back (a file stands in its place), is
// still its edit's: scans keep the edit open, and its revert keeps the folder in a backup.
TEST_F(DaemonEditsTest, AnEditWhoseFolderIsStillSetAsideStaysOpen)
{
    uint32_t user = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, user));
    const std::string editFolder = db_.Root().EditFolder(kAsset);
    WriteFile(editFolder + "/work.txt", "the user's work");
    ASSERT_TRUE(Platform::SetOwnFolderAside(editFolder, ClosedEditFolderFor(editFolder)));  // as a close sets it aside
    WriteFile(editFolder, "in the way");
    for (int pass = 0; pass < 2; ++pass) ASSERT_TRUE(db_.Reconcile(false));
    EXPECT_TRUE(IsOpen(kAsset));
    ASSERT_EQ(db_.Revert(user, nullptr, 0), DbStatus::kOK);
    int kept = 0;
    for (const auto& dated : fs::directory_iterator(root_.path() + "/UserData/backups/uncommitted"))
        kept += ReadFile((dated.path() / (kAsset.ToSpacedString() + " (earlier edit folder)/work.txt")).string()) ==
                "the user's work";
    EXPECT_EQ(kept, 1);
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

// Makes the rows of a store's table that `failing` selects unreadable, from another connection, as damage
// would: the table is kept under another name behind a view of its name, whose reads stop with an error at
// such a row. `passWrites`, when given, is the body of a trigger through which inserts still reach the table.
class UnreadableRows
{
public:
    UnreadableRows(const std::string& path, const std::string& table, const std::string& failing,
                   const std::string& passWrites = {})
        : table_(table)
    {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) return;
        const std::string kept = table + "_kept";
        made_ = Exec("ALTER TABLE " + table + " RENAME TO " + kept + "; CREATE VIEW " + table + " AS SELECT * FROM " +
                     kept + " WHERE abs(CASE WHEN " + failing + " THEN -9223372036854775807 - 1 ELSE 0 END) >= 0;" +
                     (passWrites.empty() ? ""
                                         : "CREATE TRIGGER " + table + "_put INSTEAD OF INSERT ON " + table +
                                               " BEGIN " + passWrites + "; END;"));
    }
    ~UnreadableRows()
    {
        if (made_)
            Exec("DROP TRIGGER IF EXISTS " + table_ + "_put; DROP VIEW " + table_ + "; ALTER TABLE " + table_ +
                 "_kept RENAME TO " + table_ + ";");
        sqlite3_close(db_);
    }
    bool Made() const { return made_; }

private:
    bool Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }

    std::string table_;
    sqlite3* db_ = nullptr;
    bool made_ = false;
};

// A settings read that fails is never taken for settings not stored: nothing that depends on it goes on as if
// they were unset, and nothing writes a group over the values it could not read.
TEST_F(DaemonEditsTest, SettingsAndAuthorsThatCannotBeReadFailWhatDependsOnThem)
{
    const KUID first = db_.GenerateKUID();
    ASSERT_FALSE(first.IsNull());
    TDBTagRef developer = TDBTagRef::NewContainer();
    developer.SetChildInt("max_backup_folders", 30);
    ASSERT_TRUE(db_.SetSettingsGroup("developer", developer));
    {
        UnreadableRows settings(db_.Root().Database(), "settings", "1",
                                "INSERT OR REPLACE INTO settings_kept VALUES (NEW.grp, NEW.tree)");
        UnreadableRows authors(db_.Root().Database(), "authors", "1");
        ASSERT_TRUE(settings.Made() && authors.Made());
        DaemonResults results;
        EXPECT_TRUE(db_.GenerateKUID(&results).IsNull());
        EXPECT_TRUE(Says(results, "No KUID was made: the user settings could not be read.")) << results.size();
        EXPECT_FALSE(db_.SetNextContentId(50));
        EXPECT_FALSE(db_.SetSettingInt("developer", "other", 1));
        std::string text;
        EXPECT_FALSE(db_.GetSettingString("internet", "dls-mirror", text));
        EXPECT_EQ(db_.UserIdKnown(first.userId), DbStatus::kFailed);
        EXPECT_EQ(db_.AuthorName(12, text), DbStatus::kFailed);
        // A replacement's backup is thinned to the setting, never to a guess at it.
        KUID installed;
        results.clear();
        EXPECT_EQ(db_.InstallFromFolder(root_.path() + "/work/a", installed, &results), DbStatus::kFailed);
        EXPECT_TRUE(Says(results, "\"max_backup_folders\" could not be read")) << results.size();
    }
    // The stored values are as they were: the local user keeps the id it has.
    const KUID next = db_.GenerateKUID();
    EXPECT_EQ(next.userId, first.userId);
    EXPECT_EQ(next.contentId, first.contentId + 1);
    TDBTagRef group;
    ASSERT_TRUE(db_.GetSettingsGroup("developer", group));
    EXPECT_EQ(group.GetChildInt("max_backup_folders", 0), 30);
    EXPECT_EQ(group.GetChildCount(), 1u);
    EXPECT_EQ(db_.UserIdKnown(first.userId), DbStatus::kOK);
    std::string name;
    EXPECT_EQ(db_.AuthorName(12, name), DbStatus::kNotFound);
}

// Records that cannot all be read are not taken for all there are: the database does not open, saying why, and
// a store whose schema version cannot be read keeps the one it has.
TEST_F(DaemonEditsTest, RecordsThatCannotAllBeReadKeepTheDatabaseClosed)
{
    const KUID second(900700, 2, 0);
    WriteAssetFolder(root_.path() + "/work/b", second, "B");
    KUID installed;
    ASSERT_EQ(db_.InstallFromFolder(root_.path() + "/work/b", installed, nullptr), DbStatus::kOK);
    uint32_t handle = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
    db_.Close();
    const std::string path = db_.Root().Database();
    for (const auto& [table, failing] : {std::pair<std::string, std::string>{"assets", "kuid_content = 2"},
                                         {"edits", "1"},
                                         {"meta", "key = 'schema_version'"}})
    {
        SCOPED_TRACE(table);
        UnreadableRows rows(path, table, failing);
        ASSERT_TRUE(rows.Made());
        AssetDatabase again{DaemonRoot(root_.path())};
        std::string error;
        EXPECT_FALSE(again.Open(&error));
        EXPECT_NE(error.find("integer overflow"), std::string::npos) << error;
        EXPECT_FALSE(again.Exists(kAsset));
    }
    AssetDatabase again{DaemonRoot(root_.path())};
    ASSERT_TRUE(again.Open(nullptr));
    EXPECT_TRUE(again.Exists(kAsset) && again.Exists(second));
    VADAssetInfo info;
    ASSERT_TRUE(again.Info(kAsset, -1, info));
    EXPECT_TRUE(info.IsOpenForEdit());
}

// The edit's copy, and the move of its folder at a revert, are on disk before the store records them: the sync
// comes first, and when it fails the request fails with the store and the folders as they were.
TEST_F(DaemonEditsTest, AnEditAndARevertAreOnDiskBeforeTheStoreRecordsThem)
{
    const std::string editFolder = db_.Root().EditFolder(kAsset);
    auto storedEdits = [&] {
        sqlite3* other = nullptr;
        sqlite3_stmt* count = nullptr;
        int n = -1;
        if (sqlite3_open(db_.Root().Database().c_str(), &other) == SQLITE_OK &&
            sqlite3_prepare_v2(other, "SELECT count(*) FROM edits", -1, &count, nullptr) == SQLITE_OK &&
            sqlite3_step(count) == SQLITE_ROW)
            n = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
        sqlite3_close(other);
        return n;
    };
    // What the store and the edit folder held at each sync: the edits stored, and " folder" when it is in place.
    std::string synced;
    bool syncWorks = false;
    db_.SetDiskSyncForTests([&] {
        synced += std::to_string(storedEdits()) + (fs::exists(editFolder + "/config.txt") ? " folder;" : ";");
        return syncWorks;
    });
    uint32_t handle = 0;
    DaemonResults results;
    EXPECT_FALSE(OpenForEdit(kAsset, 0, handle, &results));
    EXPECT_TRUE(Says(results, "could not be opened: its files could not be written to disk")) << results.size();
    EXPECT_EQ(synced, "0 folder;");
    EXPECT_FALSE(IsOpen(kAsset));
    EXPECT_FALSE(fs::exists(editFolder));
    EXPECT_EQ(storedEdits(), 0);

    syncWorks = true;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
    EXPECT_EQ(synced, "0 folder;0 folder;");
    EXPECT_EQ(storedEdits(), 1);
    WriteFile(editFolder + "/mine.txt", "the user's work");

    // A revert: the folder is set aside, on disk, and only then is the edit dropped.
    syncWorks = false;
    results.clear();
    EXPECT_NE(db_.Revert(handle, &results), DbStatus::kOK);
    EXPECT_TRUE(Says(results, "could not be discarded: its files could not be written to disk")) << results.size();
    EXPECT_EQ(synced, "0 folder;0 folder;1;");
    EXPECT_TRUE(IsOpen(kAsset));
    EXPECT_EQ(ReadFile(editFolder + "/mine.txt"), "the user's work");
    EXPECT_EQ(storedEdits(), 1);
    // A commit's copy as well (its edit staying open).
    results.clear();
    EXPECT_NE(db_.Commit(handle, &results), DbStatus::kOK);
    EXPECT_TRUE(Says(results, "its files could not be written to disk")) << results.size();
    EXPECT_TRUE(IsOpen(kAsset));
    EXPECT_EQ(ReadFile(editFolder + "/mine.txt"), "the user's work");

    syncWorks = true;
    synced.clear();
    EXPECT_EQ(db_.Revert(handle, nullptr), DbStatus::kOK);
    EXPECT_EQ(synced, "1;");
    EXPECT_EQ(storedEdits(), 0);
    EXPECT_FALSE(IsOpen(kAsset));

    // A command host's edit is not stored: its revert has nothing to put on disk first.
    ASSERT_TRUE(OpenForEdit(kAsset, kHost, handle));
    synced.clear();
    EXPECT_EQ(db_.Revert(handle, nullptr, kHost), DbStatus::kOK);
    EXPECT_EQ(synced, "");
    EXPECT_FALSE(fs::exists(editFolder));
}

// A commit whose edit holds what the installed copy cannot (here a link) is refused before anything changes,
// naming it, also where the edit would be copied to compile its textures: nothing is compiled then.
TEST_F(DaemonEditsTest, ACommitThatWouldLeaveOutPartOfTheEditIsRefused)
{
    uint32_t handle = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
    const std::string editFolder = db_.Root().EditFolder(kAsset);
    WriteFile(editFolder + "/wood.texture.txt", "primary=wood.png\n");
    fs::create_symlink("wood.texture.txt", editFolder + "/linked.txt");
    bool compiled = false;
    const TextureCompileFn compile = [&](const std::string&, DaemonResults&, uint32_t& answer, std::string&) {
        compiled = true;
        answer = 2;
        return true;
    };
    DaemonResults results;
    EXPECT_EQ(db_.Commit(handle, &results, false, compile), DbStatus::kFailed);
    EXPECT_TRUE(Says(results, "is a symbolic link or special file, which asset")) << results.size();
    EXPECT_TRUE(Says(results, editFolder + "/linked.txt")) << results.size();
    EXPECT_TRUE(Says(results, "was not committed and stays open for editing")) << results.size();
    EXPECT_FALSE(compiled);
    EXPECT_TRUE(IsOpen(kAsset));
    EXPECT_TRUE(fs::is_symlink(editFolder + "/linked.txt"));
    EXPECT_FALSE(fs::exists(db_.Root().LocalFolder(kAsset) + "/wood.texture.txt"));
    EXPECT_TRUE(fs::is_empty(root_.path() + "/UserData/backups"));
}

// A new asset's edit folder never replaces a folder in its place that no open edit made: that is kept first.
TEST_F(DaemonEditsTest, ANewAssetsEditFolderNeverReplacesAFolderInItsPlace)
{
    const KUID fresh(900700, 5, 0);
    WriteFile(db_.Root().EditFolder(fresh) + "/mine.txt", "the user's");
    uint32_t handle = 0;
    DaemonResults results;
    ASSERT_EQ(db_.Create(fresh, "New", handle, &results, 0), DbStatus::kOK);
    EXPECT_TRUE(Says(results, "that no open edit made was kept in")) << results.size();
    EXPECT_TRUE(fs::exists(db_.Root().EditFolder(fresh) + "/config.txt"));
}

// While a commit compiles (without the lock) the edit it has taken refuses every other request; one that fails
// gives the folder back, and keeps a folder the user made in its place meanwhile.
TEST_F(DaemonEditsTest, AnEditBeingCommittedIsLeftToItsCommitWhichGivesItsFolderBackWhenItFails)
{
    uint32_t handle = 0, again = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
    const std::string editFolder = db_.Root().EditFolder(kAsset);
    WriteFile(editFolder + "/wood.texture.txt", "primary=wood.png\n");
    WriteFile(editFolder + "/work.txt", "the edit");
    DaemonResults during, results;
    const TextureCompileFn compile = [&](const std::string& copies, DaemonResults&, uint32_t& answer, std::string&) {
        std::string source, folder;
        for (const DbStatus status :
             {db_.Commit(handle, &during), db_.Revert(handle, &during), db_.Delete(kAsset, &during),
              db_.OpenForEdit(kAsset, true, again, &during, 0), db_.EditFolder(handle, source, folder, 0)})
            EXPECT_EQ(status, DbStatus::kFailed);
        WriteFile(editFolder + "/new.txt", "made meanwhile");
        WriteFile(copies + "/0/config.txt", "kuid <kuid:900700:99>\n");  // the commit then fails
        answer = 2;
        return true;
    };
    EXPECT_EQ(db_.Commit(handle, &results, false, compile), DbStatus::kFailed);
    EXPECT_EQ(std::count_if(during.begin(), during.end(),
                            [](const VADResultNotification& r) {
                                return r.text.find("is being committed") != std::string::npos;
                            }),
              4);
    EXPECT_EQ(ReadFile(editFolder + "/work.txt"), "the edit");
    EXPECT_FALSE(fs::exists(editFolder + "/new.txt"));
    EXPECT_TRUE(Says(results, "that no open edit made was kept in")) << results.size();
    EXPECT_EQ(db_.Revert(handle, nullptr), DbStatus::kOK);
}

// What is written into an edit folder after a commit took it (here while its textures compile, after their copy
// read it) is kept, with a warning naming where, and only that: what was installed goes.
TEST_F(DaemonEditsTest, WhatIsWrittenIntoATakenEditFolderIsKeptAndOnlyThat)
{
    uint32_t handle = 0;
    ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
    const std::string editFolder = db_.Root().EditFolder(kAsset), backups = root_.path() + "/UserData/backups";
    WriteFile(editFolder + "/wood.texture.txt", "primary=wood.png\n");
    WriteFile(editFolder + "/work.txt", "the edit");
    const TextureCompileFn compile = [&](const std::string&, DaemonResults&, uint32_t& answer, std::string&) {
        const std::string taken = ClosedEditFolderFor(editFolder);
        std::ofstream(taken + "/work.txt", std::ios::app) << ", and more";
        WriteFile(taken + "/late/late.txt", "late");
        answer = 2;
        return true;
    };
    DaemonResults results;
    ASSERT_EQ(db_.Commit(handle, &results, false, compile), DbStatus::kOK);
    EXPECT_EQ(ReadFile(db_.ActiveFolder(kAsset) + "/work.txt"), "the edit");
    const std::vector<std::string> kept = KeptAs(backups, kAsset.ToSpacedString() + " (written after it was taken)");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(Says(results, kept[0])) << results.size();
    EXPECT_EQ(ReadFile(kept[0] + "/work.txt"), "the edit, and more");
    EXPECT_EQ(ReadFile(kept[0] + "/late/late.txt"), "late");
    EXPECT_FALSE(fs::exists(kept[0] + "/config.txt"));
    EXPECT_FALSE(fs::exists(ClosedEditFolderFor(editFolder)));
    fs::remove_all(fs::path(kept[0]).parent_path());

    // A file another program holds open through a commit, a revert or a delete may still be written to: it is
    // kept, and what is written through it afterwards is there. The rest goes as installed or discarded.
    if (!Platform::LeasesWorkIn(root_.path().c_str()))
        GTEST_SKIP() << "no leases here: a file open elsewhere is not told";
    for (const std::string command : {"commit", "revert", "delete"})
    {
        SCOPED_TRACE(command);
        ASSERT_TRUE(OpenForEdit(kAsset, 0, handle));
        WriteFile(editFolder + "/open.txt", "before");
        const int fd = ::open((editFolder + "/open.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        results.clear();
        const DbStatus status = command == "commit"   ? db_.Commit(handle, &results)
                                : command == "revert" ? db_.Revert(handle, &results)
                                                      : db_.Delete(kAsset, &results);
        EXPECT_EQ(status, DbStatus::kOK);
        EXPECT_EQ(::write(fd, " after", 6), 6);
        ::close(fd);
        const std::vector<std::string> now = KeptAs(backups, kAsset.ToSpacedString() + " (written after it was taken)");
        ASSERT_EQ(now.size(), 1u);
        EXPECT_EQ(std::distance(fs::directory_iterator(now[0]), fs::directory_iterator()), 1);
        EXPECT_EQ(ReadFile(now[0] + "/open.txt"), "before after");
        EXPECT_TRUE(Says(results, now[0])) << results.size();
        fs::remove_all(fs::path(now[0]).parent_path());
    }
}

}  // namespace

namespace {

TEST(DaemonStart, UserDataFoldersThatCannotBeMadeKeepTheDatabaseClosed)
{
    TempDir root;
    fs::create_directories(root.path() + "/UserData");
    WriteFile(root.path() + "/UserData/editing", "a file where a folder belongs");
    AssetDatabase db{DaemonRoot(root.path())};
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
