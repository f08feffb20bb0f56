#pragma once
// The daemon's model of the installation: the records of every known asset (kept in memory, in KUID
// order, and written through to the SQLite store), the open edits, and the operations that change
// folders and records together.
//
// Changes are crash safe: new folder contents are staged beside their target and renamed into place, and
// the record changes go into one store transaction. A start after a crash first puts folder leftovers
// right, then reconciles the records with the folders, so every record matches a folder.
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADFilter.h"
#include "core/TDBTagRef.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/AssetRecord.h"
#include "daemon/AssetStore.h"
#include "daemon/DaemonResults.h"
#include "daemon/DaemonRoot.h"
#include "daemon/TakenFolder.h"
#include "daemon/TextureCompile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Status words of the operations (the reply status).
enum class [[nodiscard]] DbStatus{
    kOK,
    kFailed,
    kNotFound,
};

// Keywords or the favourite mark for one asset (requests 54, 50), and what became of it.
struct RecordMark
{
    KUID kuid = KUID::Null();
    bool isFavourite = false;  // the favourite mark `favourite`; else the keywords `keywords`
    bool favourite = false;
    std::string keywords;
    DbStatus status = DbStatus::kFailed;
};

class AssetDatabase
{
public:
    explicit AssetDatabase(DaemonRoot root);
    ~AssetDatabase();

    // Makes the UserData folders, opens the store and loads the records (not yet reconciled: call Reconcile).
    // False with the reason in `error`, which names the folder or the store's file.
    bool Open(std::string* error);
    void Close();
    // Closes the store without touching its files by name: the installation was removed or replaced.
    void CloseLeavingFiles();
    // Puts folder leftovers right and brings the records in line with the folders. `full` re-reads every
    // configuration; otherwise only those whose file changed. Marks the database ready.
    // A full pass also clears the flag FlagRepair set. Progress lines go to `progress` when given. False when
    // the pass could not be stored (said in the log and the results): the records stay as the store holds them.
    bool Reconcile(bool full, DaemonResults* results = nullptr,
                   const std::function<void(const std::string&)>& progress = {});
    bool IsReady() const;
    // Waits until ready; false after timeoutMs.
    bool WaitReady(unsigned timeoutMs) const;

    const DaemonRoot& Root() const { return root_; }

    // ---- reading ----
    bool Exists(const KUID& k) const;
    bool GetRecord(const KUID& k, AssetRecord& out) const;
    // Every asset the filter selects, in KUID order.
    std::vector<KUID> Query(const VADFilterElement& filter) const;
    // False when the database does not know the asset (neither indexed nor being created).
    bool Info(const KUID& k, int32_t mask, VADAssetInfo& out) const;
    // The configuration of the local copy (of the edit copy when fromEdit and the asset is open); null tree
    // when the asset is not local.
    TDBTagRef Config(const KUID& k, bool fromEdit) const;
    // Absolute folder of the active copy; empty when none.
    std::string ActiveFolder(const KUID& k) const;
    bool HasMissingDependencies(const KUID& k) const;
    bool IsFaulty(const KUID& k) const;
    std::vector<std::string> BuildList() const;
    // kOK when the user id is known (an asset's, an author's or the local user's), kNotFound when not,
    // kFailed when the store could not be read.
    DbStatus UserIdKnown(int32_t userId);
    DbStatus AuthorName(int32_t userId, std::string& name);

    // ---- daemon state of records ----
    // Asked by `connection` (0: nobody in particular): of an asset whose installed copy is held aside for another
    // connection's run, the copy held is the user's, and it gets the mark or the keywords (its record kept in
    // UserData/held/ written anew), as well as the copy installed now.
    DbStatus SetFavourite(const KUID& k, bool on, uintptr_t connection = 0);
    DbStatus SetKeywords(const KUID& k, const std::string& keywords, uintptr_t connection = 0);
    // Gives many assets their keywords or mark as SetKeywords and SetFavourite would one after the other, in order,
    // under one lock and in one store transaction (one sync of the store for all of them); each mark gets its status.
    // The records in memory change only once the transaction is committed: when the store fails, every mark it was
    // to store fails (a copy held aside keeps what its record file was given).
    void SetRecordMarks(std::vector<RecordMark>& marks, uintptr_t connection = 0);
    DbStatus SetValidation(const KUID& k, int32_t state);

    // ---- editing, installing, deleting ----
    // Who asks: 0 for a user, else the command host connection that asks for an install it carries out (its
    // edits are its own, EditRecord::owner). An edit is handed only to whoever opened it: a user asking for an
    // asset a host has open, or being installed from a package, is refused ("... is being installed"), and so
    // is a host asking for an asset its user has open; the check and the open are one step.
    //
    // flag 1 opens for editing (copying the installed folder into the edit folder); 0 only locates it. With
    // `makeGoneFolder` (a user's edit command), an open edit whose folder is gone (removed by hand) gets it made
    // again from the installed copy, said in a warning; a commit's open leaves it gone, and the commit fails.
    DbStatus OpenForEdit(const KUID& k, bool edit, uint32_t& handle, DaemonResults* results, uintptr_t asker = 0,
                         bool makeGoneFolder = false);
    void ReleaseHandle(uint32_t handle);
    // The content-source name and absolute folder of a handle.
    DbStatus EditFolder(uint32_t handle, std::string& source, std::string& folder, uintptr_t asker = 0) const;
    // With `linkFiles` (an edit folder its writer hands over whole: nothing writes it any more) the files are
    // linked into the installed copy instead of copied; the edit folder still stands until the commit point.
    // With `compile`, an edit folder that holds texture descriptions is installed from a copy whose textures
    // were compiled (TextureCompile.h), made before the lock is taken. A copy that would leave out anything of
    // the edit (links, special files, names no file of an asset may have) refuses the commit, naming each; the
    // edit stays open as it is.
    DbStatus Commit(uint32_t handle, DaemonResults* results, bool linkFiles = false,
                    const TextureCompileFn& compile = {}, uintptr_t asker = 0);
    DbStatus Revert(uint32_t handle, DaemonResults* results, uintptr_t asker = 0);
    DbStatus Create(KUID k, const std::string& name, uint32_t& handle, DaemonResults* results, uintptr_t asker = 0);
    // A command host's connection ended: the edits it had open are closed (their folders removed), and the
    // installed copies stay as they were. Returns how many were closed.
    size_t CloseEditsOf(uintptr_t owner);
    // Asked by `connection`: an asset whose installed copy is held aside is deleted by nobody but the run that holds
    // it, and a run's own copy (RunCopyMark), still as it was installed, goes without a backup, whoever deletes it:
    // the folder it came from stays, and a backup of it would only thin the user's own. With `runsOwnCopyOnly` only
    // such a copy is deleted: any other standing then is not, said in a warning, and the answer is OK.
    DbStatus Delete(const KUID& k, DaemonResults* results, uintptr_t connection = 0, bool runsOwnCopyOnly = false);
    // `options`: kVADInstallNotOverLocalCopy or 0 (the copy installed so is a run's own, marked as such in the
    // transaction that records it). `connection`: the asking client's (HoldInstalled), the one run that may install
    // an asset whose installed copy it holds aside.
    DbStatus InstallFromFolder(const std::string& folder, KUID& installed, DaemonResults* results,
                               const TextureCompileFn& compile = {}, uint32_t options = 0, uintptr_t connection = 0);
    // Installs several folders as InstallFromFolder would one after the other, but with one store transaction
    // for as many of them as can share one. `installed` gets each folder's KUID, the null KUID when it was
    // not installed. `options` holds kVADInstall* bits. With `compile` (and without the option that says the
    // folders' textures are compiled) folders that hold texture descriptions are installed from copies whose
    // textures were compiled, all by one job, before the lock is taken (TextureCompile.h).
    void InstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& installed,
                            DaemonResults* results, uint32_t options = 0, const TextureCompileFn& compile = {},
                            uintptr_t connection = 0);
    // Of the given assets, those with neither a record nor an edit: nothing of theirs can be replaced.
    std::vector<KUID> UnknownAssets(const std::vector<KUID>& kuids) const;

    // Marks assets as being installed from a package (by the command host, over other connections) until
    // released: a delete of one of them meanwhile is refused rather than lose the install. An asset open for
    // editing is not replaced under its user: it is taken out of `kuids` with an error naming it, and its edit
    // is left as it is. Returns how many were taken out.
    size_t BeginPackageInstall(std::vector<KUID>& kuids, DaemonResults* results);
    void EndPackageInstall(const std::vector<KUID>& kuids);

    // ---- an installed copy held aside while a run installs its own copy (HoldRecord.h) ----
    // Holds the installed copy of `k` aside for `owner` (the asking connection) while that run installs, exports
    // and deletes its own copy of the asset: a local copy's folder moves into UserData/held/ and the asset is no
    // longer installed (a built-in copy it hid shows again); of an asset only built in, the record alone is kept
    // there. `held` says which (kVADHeldNothing: the asset is not known, there is nothing to hold), `at` where.
    // Refused, with nothing changed, while the asset is open for editing or being installed, or is held already.
    DbStatus HoldInstalled(const KUID& k, uintptr_t owner, uint32_t& held, std::string& at, DaemonResults* results);
    // Puts back what `owner` holds of `k`: a local copy installed since then (the run's) is deleted first as a
    // delete takes it, the folder comes back and the record is as it was. A failure says why and keeps the hold.
    DbStatus PutBackHeld(const KUID& k, uintptr_t owner, DaemonResults* results);
    // The connection `owner` ended: what it still holds is put back; what cannot be is left for the next start.
    // Returns how many were put back. The copies it installed for a run of its own are no longer its alone to
    // export: others may install over them, delete or change them again.
    size_t PutBackHoldsOf(uintptr_t owner);
    // True, with why in the results, when the installed copy of `k` is held aside for a run other than
    // `connection`'s: `what` is what the asset cannot be now ("packed"). What is installed meanwhile is that run's
    // copy, not the user's.
    bool RefusesHeld(const KUID& k, uintptr_t connection, DaemonResults* results, const char* what) const;

    // The assets (user and content id) the download station lists.
    void SetStationListing(std::set<std::pair<int32_t, int32_t>> listed);
    // The key of the mirror the listing was last read from (its folder and its index's stamp): true when
    // `key` differs, which it then becomes.
    bool TakeStationKey(const std::string& key);

    // ---- KUIDs and settings ----
    // A new KUID of the local user; the null KUID, with the reason in the results, when none is left or
    // the settings cannot be read or written.
    KUID GenerateKUID(DaemonResults* results = nullptr);
    // False when the store could not keep it (an id below 1 changes nothing).
    bool SetNextContentId(int32_t id);
    // Settings reads are false when the store could not be read (the reason in the log); a group not stored is
    // empty.
    bool GetSettingsGroup(const std::string& group, TDBTagRef& out);
    // Writes a whole group; a value the daemon itself reads that is not of its type (a number that is no
    // number) refuses the group, with the reason in the results.
    bool SetSettingsGroup(const std::string& group, const TDBTagRef& tree, DaemonResults* results = nullptr);
    // Applies the settings file (UserData/settings/settings.txt) when there is one: each group container's
    // text and whole-number values are set as the settings requests would set them. Lines it cannot take
    // are named in the log.
    void ApplySettingsFile(const std::string& path);
    bool GetSettingString(const std::string& group, const std::string& key, std::string& value);
    // False when its group could not be read (it is written whole) or written.
    bool SetSettingInt(const std::string& group, const std::string& key, int32_t value);
    // Remembers that a full repair is due (kept until a full pass has finished, so a repair cut short by
    // a crash runs at the next start). False when the store could not keep it.
    bool FlagRepair(int32_t mode);

    // Tests only: `sync` stands in for the sync of the file systems before the store records a change (see
    // SyncedForCommitLocked), so that a test sees when it comes and what its failure does. Empty: the real one.
    void SetDiskSyncForTests(std::function<bool()> sync);

private:
    struct Handle
    {
        KUID kuid;
        bool edit = false;
    };

    // False when the store could not be read (the reason in the store's LastError): the records are left as
    // they were.
    bool LoadLocked();
    void RebuildFolderIndexLocked();
    const AssetRecord* FindLocked(const KUID& k) const;
    const EditRecord* FindEditLocked(const KUID& k) const;
    const EditRecord* EditByHandleLocked(uint32_t handle) const;
    void ComputeObsoletesLocked() const;
    bool ObsoleteLocked(const KUID& k) const;
    bool MissingDepsLocked(const AssetRecord& r) const;
    bool OnStationLocked(const KUID& k) const { return stationListed_.count({k.userId, k.contentId}) != 0; }
    bool MatchLocked(const VADFilterElement& f, const AssetRecord& r) const;
    uint8_t FlagsLocked(const AssetRecord& r) const;
    uint8_t Flags2Locked(const AssetRecord& r) const;
    // A record for an asset that is being created (not installed yet).
    AssetRecord CreatedRecord(const EditRecord& e) const;
    std::string Absolute(const std::string& rel) const { return root_.Path(rel); }
    // The built-in copy that the local copy `local` hides, as its record once the local one goes (a delete, a hold);
    // false where it hides none or that copy cannot be read.
    bool HiddenBuiltinLocked(const AssetRecord& local, AssetRecord& builtin) const;
    // The local copy of `k` went: the built-in copy it hid (`uncovered`, or none) takes its place in the index.
    void LocalCopyGoneLocked(const KUID& k, const AssetRecord* uncovered);
    // False (with the reason) when the setting could not be read.
    bool MaxBackupFoldersLocked(int& max, std::string* error);
    // Copies the installed copy `folder` into a new dated backup folder as `name` and thins the backups to the
    // setting "developer"/"max_backup_folders" (FolderOps.h BackupFolder). False with the reason.
    bool BackupIntoDatedLocked(const std::string& folder, const std::string& name, std::string& error);
    bool BackupLocked(const AssetRecord& r, DaemonResults* results);
    // Keeps a copy of the edit folder of `k` that a delete set aside; what the copy read goes to `copied`, where
    // the copy is to `at`.
    bool BackupEditLocked(const KUID& k, DaemonResults* results, TakenRecord& copied, std::string& at);
    // The one removal of the edit folder of `k` that a commit, revert or delete took (`taken`, set aside), once
    // the close counts: only what `record` holds and is still as recorded goes (FolderOps.h ClearTakenFolder). What
    // stays (written after it was taken, or open in another program) is kept in a backup of uncommitted work, or
    // stays where it is; either is said in the log and, as a warning naming where, in the results. `copy` holds
    // what was read of it (the installed copy, the uncommitted edit kept), empty for a revert.
    void ClearTakenLocked(const KUID& k, const std::string& taken, const TakenRecord& record, const std::string& copy,
                          DaemonResults* results);
    // An asset whose new folder is staged beside its local copy.
    struct StagedAsset
    {
        AssetRecord rec;
        std::vector<std::string> leftOut;  // links and special files the copy left out
        std::string configName;            // the configuration's file name, when it was copied as a regular file
        uint64_t size = 0;                 // the bytes copied
        bool sizeKnown = false;
        bool installed = false;
        // A run's own copy (kVADInstallNotOverLocalCopy): marked as such when it is recorded.
        bool runsOwn = false;
        std::string from;   // the staged copy: the daemon's own beside the target, or a prepared one moved whole
        std::string aside;  // where the swap set the old copy aside (empty when nothing was replaced)
    };
    // Moves the staged folders into the local copies of the group's records and stores the records (and drops
    // the stored edit `dropEdit` when not 0) in one transaction, with the marks of runs' own copies: the mark of a
    // copy replaced goes, one of a run's own new copy is put; the folders are put back when the store fails.
    // Returns how many were installed (their `installed` set).
    size_t InstallStagedLocked(std::vector<StagedAsset>& group, uint32_t dropEdit, DaemonResults* results);
    // Syncs the file systems of the installed copies, edit folders, backups and held copies: what an install, commit,
    // delete, edit, revert or hold is about to record or move is on disk first. False when that failed.
    bool SyncedForCommitLocked() const;
    // The checks and the configuration of a folder to install from (no lock needed).
    bool CheckInstallSource(const std::string& folderIn, std::string& folder, AssetConfigFiles& configs,
                            AssetRecord& rec, DaemonResults* results) const;
    // After the copy was staged (or failed with `stageError`): keeps a backup of the copy it replaces.
    bool StageInstallLocked(const AssetConfigFiles& configs, StagedAsset& s, DaemonResults* results, bool staged,
                            const std::string& stageError);
    void PostInstalled(const StagedAsset& s, const std::string& folder, const AssetConfigFiles& configs,
                       DaemonResults* results);
    // Forgets an edit (counting the command hosts' edits).
    void EraseEditLocked(const KUID& k);
    // Puts an edit folder set aside back after its close failed; a folder made in its place meanwhile is kept in a
    // backup first (KeepEditFolderWithoutEditLocked). A failure is logged and said in the results.
    void PutEditFolderBackLocked(const KUID& k, DaemonResults* results);
    // Before a close of the edit of `k` sets its folder aside: a folder an earlier close of it left aside (cut
    // short, kept since beside the edit's new folder, or not put back) may hold the user's work, and goes into a
    // backup of its own first (one that is never thinned), said in the log and the results. False, with the
    // reason in both and nothing changed, when the backup could not be made: the close must not go on.
    bool KeepEarlierClosedEditLocked(const KUID& k, DaemonResults* results);
    // Stores a new edit (which gets its handle) and keeps it; the edit folder goes when the store refuses.
    bool AddEditLocked(EditRecord& e, const std::string& folder, DaemonResults* results);
    // What stands where the edit folder of `k` goes while no open edit has it (a folder the user made or copied
    // there, or one an edit cut short left) is work this daemon did not make: it is moved into a backup of its
    // own (one that is never thinned), said in the log and the results. False, with the reason in both and
    // nothing changed, when it could not be kept; `refused` says what the asset then was not ("was not opened
    // for editing").
    bool KeepEditFolderWithoutEditLocked(const KUID& k, const char* refused, DaemonResults* results);
    // Moves a new edit folder made in `staged` into the place of the edit folder of `k`, never replacing what
    // is there: that is kept first (KeepEditFolderWithoutEditLocked). False, with the reason said, when it was
    // not moved (`staged` is then left for the caller to remove).
    bool PlaceEditFolderLocked(const KUID& k, const std::string& staged, const char* refused, DaemonResults* results);
    // Makes the folder of the open edit `e` again where it is gone: put back where a close left it aside, else
    // copied from the installed copy (a created asset's made as its create made it), said in a warning. False,
    // with the reason in the results, when it could not be made.
    bool MakeEditFolderAgainLocked(const EditRecord& e, DaemonResults* results);
    // True (with the reason in the results) while a commit of the edit of `k` has taken its folder: the edit
    // is neither opened, committed, reverted, deleted nor looked up until the commit is done or the folder back.
    bool BeingCommittedLocked(const KUID& k, DaemonResults* results, const char* refused) const;
    // A settings group as stored (an empty one when none is); false, with the reason in the log, when the
    // store could not be read or holds no group under that name that reads.
    bool GroupLocked(const std::string& group, TDBTagRef& out);
    // Checks one value of a group that the daemon reads itself (other values pass): `number` tells a single
    // whole number (its value in `n`; such a setting given as a text counts as the number). False with the
    // reason when the value is not of the setting's type.
    static bool CheckSetting(const std::string& group, const Orvo::PString& key, const TDBTagRef& value,
                             std::string& why, bool& number, int32_t& n);
    bool PutGroupLocked(const std::string& group, const TDBTagRef& tree);
    bool StoreAuthorLocked(const AssetRecord& r);
    // An installed copy held aside (HoldInstalled): for whom, the record it had and whether its folder waits in
    // UserData/held/.
    struct Hold
    {
        uintptr_t owner = 0;  // 0: nobody's any more (its run is gone), left for the next start
        AssetRecord before;
        bool folderHeld = false;
        std::string failed;  // why it could not be put back when its run ended or the daemon started (empty: not tried)
    };
    // While an installed copy of `k` is held aside (also one left for the next start), nothing but the run that
    // holds it (the connection `holder`, 0: none) installs, creates, deletes, packs or opens `k` for editing: its
    // put back deletes whatever local copy stands then, and what stands meanwhile is not the user's. Posts why
    // (`what` the asset cannot be now: "changed", "packed") and returns true when `k` is so held.
    bool RefuseHeldLocked(const KUID& k, uintptr_t holder, DaemonResults* results, const char* what = "changed") const;
    // The error that `k` cannot be `what` ("packed") now, `because` (the rest of the sentence, whose placeholders
    // `params` fill besides the asset's).
    static void PostCannotBeNow(DaemonResults* results, const KUID& k, const char* what, const std::string& because,
                                ResultParams params = {});
    // Gives the user's copy `hold` holds aside what `change` makes of its record, and keeps the record file in
    // UserData/held/ as it is now. False when it could not be written (the hold keeps the record it had).
    bool ChangeHeldRecordLocked(Hold& hold, const std::function<void(AssetRecord&)>& change);
    // Who deletes: a client's connection, or a put back taking the copy the holding run installed.
    DbStatus DeleteAs(const KUID& k, DaemonResults* results, uintptr_t connection, bool puttingBack,
                      bool runsOwnCopyOnly = false);
    // ---- runs' own copies (RunCopies.cpp) ----
    // Whether `r`, the record of `k`, is a run's own copy as it was installed: it takes no backup when it is
    // deleted or replaced, by anyone.
    bool RunsOwnCopyLocked(const KUID& k, const AssetRecord& r) const;
    // In the open transaction: the stored mark of `k` goes (true when there is none).
    bool DropRunCopyStoredLocked(const KUID& k);
    // Once that transaction is committed: what it stored of the marks, in memory (`put` the new mark of `k`, or
    // none).
    void RunCopyChangedLocked(const KUID& k, const RunCopyMark* put);
    // The marks a pass over the folders leaves without their copy: its record gone, or read again as another copy.
    std::vector<KUID> RunCopiesWithoutTheirCopyLocked() const;
    // The warning of a delete of a run's own copy where another copy stands now.
    static void PostNotRunsOwnCopy(DaemonResults* results, const KUID& k);
    // The run of `connection` exports the copy of `k` it has just installed (0: nobody exports it any more).
    void SetRunCopyExporterLocked(const KUID& k, uintptr_t connection);
    // True, with why in the results, while a run other than `asker`'s exports its own copy of `k`.
    bool RefuseExportedRunCopyLocked(const KUID& k, uintptr_t asker, DaemonResults* results, const char* what) const;
    // What stands at `target` where a held copy goes back, with no record of the database (what a run or a
    // removal cut short left there), is kept in a backup of uncommitted work, said in the log and the results.
    // False, with the reason, when it could not be.
    bool KeepWhatStandsInHeldPlaceLocked(const KUID& k, const std::string& target, DaemonResults* results,
                                         std::string& why);
    // A hold's entry set or gone, with the count that lets a connection's end pass by when there is none.
    void SetHoldLocked(const KUID& k, const Hold& hold);
    void EraseHoldLocked(const KUID& k);
    // A hold that could not be put back stays, as its put back left it, with the record it has now: keywords or a
    // favourite mark given to the user's copy meanwhile are kept.
    void KeepHoldLocked(Hold hold);
    // Puts one hold back, the lock not held (a copy the run installed goes through Delete). False with the reason
    // in `why`; `hold.folderHeld` says where its folder is then.
    bool PutBackHoldUnlocked(Hold& hold, DaemonResults* results, std::string& why);
    // Once, before the first pass marks the database ready: the holds a daemon that was stopped left in
    // UserData/held/ are put back.
    void PutBackHoldsLeftAtStart();

    DaemonRoot root_;
    mutable std::shared_mutex mutex_;
    AssetStore store_;
    std::map<KUID, AssetRecord> records_;
    std::map<KUID, EditRecord> edits_;
    std::unordered_map<std::string, KUID> folderIndex_;  // record by its folder (during a scan only)
    std::unordered_map<uint32_t, Handle> locateHandles_;
    uint32_t nextLocateHandle_ = 0x40000000u;
    uint32_t nextHostHandle_ = 0x30000000u;  // edits of command hosts (not stored)
    std::atomic<size_t> hostEdits_{0};       // how many of them are open
    std::set<std::pair<int32_t, int32_t>> stationListed_;
    std::string stationKey_ = "-";
    std::multiset<KUID> packageInstalls_;
    std::set<KUID> committing_;  // edits whose folder a commit has taken (renamed aside) and is installing
    mutable std::set<KUID> obsoleted_;
    mutable bool obsoletesDirty_ = true;
    mutable std::mutex obsoleteMutex_;

    std::map<KUID, Hold> holds_;      // installed copies held aside, by asset
    std::atomic<size_t> holding_{0};  // how many of them there are
    // Runs' own copies, as the store holds them.
    std::map<KUID, RunCopyMark> runCopies_;
    // The connection of the run exporting each run's own copy it installed, while it is connected: what it exports is
    // that copy, so nobody else installs over it, deletes, edits or packs it meanwhile.
    std::map<KUID, uintptr_t> runCopyExporters_;
    std::atomic<size_t> exporting_{0};  // how many of them there are
    bool leftHoldsPutBack_ = false;

    std::function<bool()> diskSyncForTests_;

    mutable std::mutex readyMutex_;
    mutable std::condition_variable readyCv_;
    bool ready_ = false;
};

// The category codes of a record, ";"-separated: the codes of its kind and category class from the
// category class table (the class text itself when the table has no row), then its region and era codes.
std::string RecordCategoryCodes(const AssetRecord& r);
