// Opening for edit, committing, reverting, creating, deleting and installing assets.
#include "daemon/AssetDatabase.h"

#include "assetdb/VADProtocol.h"
#include "core/ConfigFile.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"
#include "daemon/HoldRecord.h"
#include "platform/FolderWalk.h"
#include "platform/Interruption.h"
#include "platform/OutputFlush.h"
#include "platform/OwnFolders.h"
#include "platform/OwnWorkSweep.h"
#include "platform/RenameNoReplace.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr size_t kMaxLocateHandles = 65536;

uint64_t Now() { return static_cast<uint64_t>(time(nullptr)); }

ResultParams KuidParam(const KUID& k) { return {{"asset_kuid", k.ToString()}}; }

void PostBeingInstalled(DaemonResults* results, const KUID& k)
{
    PostResult(results, kResultError, "Asset $(ASSET_KUID) is being installed; it cannot be opened for editing now.", k,
               KuidParam(k));
}

// An edit is handed only to whoever opened it: a user's edit to users, a command host's to that host. True
// (with the reason in the results) when `asker` may not have it.
bool EditRefused(const EditRecord& e, uintptr_t asker, DaemonResults* results)
{
    if (e.owner == asker) return false;
    if (e.owner != 0)
        PostBeingInstalled(results, e.kuid);
    else
        PostResult(results, kResultError, "$vad_prompt_openforedit_log", e.kuid, KuidParam(e.kuid));
    return true;
}

// An asset being installed from a package is opened and created by the install itself: a user's edit of it
// would be committed as the package's. True (with the reason in the results) when `asker` is a user and `k`
// is among `installing`.
bool PackageInstallRefuses(const std::multiset<KUID>& installing, const KUID& k, uintptr_t asker,
                           DaemonResults* results)
{
    if (asker != 0 || !installing.count(k)) return false;
    PostBeingInstalled(results, k);
    return true;
}

// Makes the folder a new asset's edit folder starts as, its configuration naming the KUID and the name: a folder of
// the daemon's own at `wanted` (or beside it, where anything else has that name), whose path goes to `made`.
bool MakeNewAssetFolder(const std::string& wanted, std::string& made, const KUID& k, const std::string& name)
{
    TDBTagRef config = TDBTagRef::NewContainer();
    config.SetChildKUID("kuid", k);
    if (!name.empty()) config.SetChildString("username", name);
    return Platform::MakeOwnFolder(wanted, made) && SaveConfigFile(config, "", made + "/config.txt");
}

// "The edit folder of asset <KUID>, '<folder>', is gone", followed by `then`.
void PostEditFolderGone(DaemonResults* results, uint32_t kind, const KUID& k, const std::string& folder,
                        const char* then)
{
    PostResult(results, kind, std::string("The edit folder of asset $(ASSET_KUID), '$(FILE_PATH)', is gone") + then, k,
               {{"asset_kuid", k.ToString()}, {"file_path", folder}});
}

std::string RelativeTo(const std::string& root, const std::string& abs)
{
    return abs.size() > root.size() && abs.compare(0, root.size(), root) == 0 ? abs.substr(root.size() + 1) : abs;
}

}  // namespace

bool AssetDatabase::BackupIntoDatedLocked(const std::string& folder, const std::string& name, std::string& error)
{
    int maxFolders = 0;
    if (!MaxBackupFoldersLocked(maxFolders, &error)) return false;
    std::vector<std::string> done;
    const bool ok = BackupFolder(folder, root_.UserData("backups"), name, maxFolders, &error, nullptr, &done);
    for (const std::string& line : done) DLOG("thinning the backups: %s", line.c_str());
    return ok;
}

bool AssetDatabase::BackupLocked(const AssetRecord& r, DaemonResults* results)
{
    if (r.source != "local" || r.folder.empty()) return true;
    std::string error;
    if (BackupIntoDatedLocked(Absolute(r.folder), r.kuid.ToSpacedString(), error)) return true;
    DLOG("backup of %s failed: %s", r.kuid.ToString().c_str(), error.c_str());
    PostResult(results, kResultError, "The backup copy of asset $(ASSET_KUID) could not be made: " + error, r.kuid,
               KuidParam(r.kuid));
    return false;
}

bool AssetDatabase::BackupEditLocked(const KUID& k, DaemonResults* results, TakenRecord& copied, std::string& at)
{
    const std::string editFolder = root_.EditFolder(k), folder = ClosedEditFolderFor(editFolder);
    if (!FindEditLocked(k) || !FolderExists(folder)) return true;
    std::string error;
    // Copied: the delete may still fail after it, and the edit then stays open with its folder.
    if (!KeepUncommittedWork(folder, root_.UserData("backups"), k.ToSpacedString() + kUncommittedEdit, false, &error,
                             &at, &copied))
    {
        error = NamedInPlace(error, folder, editFolder);
        DLOG("backup of the edit of %s failed: %s", k.ToString().c_str(), error.c_str());
        PostResult(results, kResultError,
                   "The uncommitted edit of asset $(ASSET_KUID) could not be kept in a backup: " + error, k,
                   KuidParam(k));
        return false;
    }
    PostResult(results, kResultWarning,
               "Asset $(ASSET_KUID) was open for editing: its uncommitted edit folder was kept in '$(FILE_PATH)'.", k,
               {{"asset_kuid", k.ToString()}, {"file_path", at}});
    return true;
}

void AssetDatabase::ClearTakenLocked(const KUID& k, const std::string& taken, const TakenRecord& record,
                                     const std::string& copy, DaemonResults* results)
{
    const TakenFolderLeft left =
        ClearTakenFolder(taken, record, copy, root_.UserData("backups"), k.ToSpacedString() + kWrittenAfterTaken);
    const std::string what = "Files of the edit folder of asset $(ASSET_KUID) that were written after it was taken, "
                             "or were still open in another program, ";
    for (const std::string& at : left.keptIn)
    {
        DLOG("what was written into the edit folder of %s after it was taken (%s) was kept in %s", k.ToString().c_str(),
             taken.c_str(), at.c_str());
        PostResult(results, kResultWarning, what + "were kept in '$(FILE_PATH)'.", k,
                   {{"asset_kuid", k.ToString()}, {"file_path", at}});
    }
    if (left.staysIn.empty()) return;
    DLOG("what was written into the edit folder of %s after it was taken stays in %s: %s", k.ToString().c_str(),
         left.staysIn.c_str(), left.error.c_str());
    PostResult(results, kResultWarning,
               what + "stay in '$(FILE_PATH)': " +
                   (left.keptIn.empty() ? "they could not be kept in a backup (" + left.error + ")."
                                        : std::string("they were being written while they were kept.")),
               k, {{"asset_kuid", k.ToString()}, {"file_path", left.staysIn}});
}

size_t AssetDatabase::BeginPackageInstall(std::vector<KUID>& kuids, DaemonResults* results)
{
    std::unique_lock lk(mutex_);
    std::set<KUID> refused;
    // A command host's edit belongs to an install that runs before this one's job (jobs run one at a time).
    for (const KUID& k : kuids)
    {
        if (const EditRecord* e = FindEditLocked(k); e && e->owner == 0 && refused.insert(k).second)
            PostResult(results, kResultError, "$vad_prompt_openforedit_log", k, KuidParam(k));
        else if (refused.count(k) == 0 && RefuseHeldLocked(k, 0, results))
            refused.insert(k);
    }
    const size_t before = kuids.size();
    std::erase_if(kuids, [&](const KUID& k) { return refused.count(k) != 0; });
    packageInstalls_.insert(kuids.begin(), kuids.end());
    return before - kuids.size();
}

void AssetDatabase::EndPackageInstall(const std::vector<KUID>& kuids)
{
    std::unique_lock lk(mutex_);
    for (const KUID& k : kuids)
        if (auto it = packageInstalls_.find(k); it != packageInstalls_.end()) packageInstalls_.erase(it);
}

void AssetDatabase::PutEditFolderBackLocked(const KUID& k, DaemonResults* results)
{
    const std::string folder = root_.EditFolder(k), aside = ClosedEditFolderFor(folder);
    struct stat st;
    // A folder made in its place while it was aside is the user's work too: both are kept.
    if (OwnClosedEditFolder(folder) && ::lstat(folder.c_str(), &st) == 0 &&
        !KeepEditFolderWithoutEditLocked(k, "stays open for editing", results))
    {
        DLOG("the edit folder of %s stays aside as %s: another folder was made in its place", k.ToString().c_str(),
             aside.c_str());
        PostResult(results, kResultError,
                   "The edit folder of asset $(ASSET_KUID) stays aside as '$(FILE_PATH)': another folder was made in "
                   "its place; the next commit, revert or delete keeps it in a backup.",
                   k, {{"asset_kuid", k.ToString()}, {"file_path", aside}});
        return;
    }
    if (PutEditFolderBack(folder)) return;
    // The next start puts it back while the store holds the edit.
    DLOG("the edit folder of %s could not be put back: %s", k.ToString().c_str(), std::strerror(errno));
    PostResult(results, kResultError,
               "The edit folder of asset $(ASSET_KUID) could not be put back; the asset database will do so when it "
               "starts again.",
               k, KuidParam(k));
}

bool AssetDatabase::KeepEditFolderWithoutEditLocked(const KUID& k, const char* refused, DaemonResults* results)
{
    const std::string folder = root_.EditFolder(k);
    std::string error;
    std::vector<std::string> keptIn;
    const bool kept = KeepFolderWithoutEdit(folder, root_.UserData("backups"),
                                            k.ToSpacedString() + kEditFolderWithoutEdit, &error, &keptIn);
    for (const std::string& place : keptIn)
    {
        DLOG("the edit folder %s of %s had no edit: kept in %s", folder.c_str(), k.ToString().c_str(), place.c_str());
        PostResult(results, kResultWarning,
                   "An edit folder of asset $(ASSET_KUID) that no open edit made was kept in '$(FILE_PATH)'.", k,
                   {{"asset_kuid", k.ToString()}, {"file_path", place}});
    }
    if (kept) return true;
    DLOG("%s %s: its edit folder %s has no edit and could not %sbe kept in a backup: %s", k.ToString().c_str(), refused,
         folder.c_str(), keptIn.empty() ? "" : "all ", error.c_str());
    // Part of it is kept when a copy was made: what was not kept is named where it stays, and no more is said.
    PostResult(results, kResultError,
               std::string("Asset $(ASSET_KUID) ") + refused + ": '$(FILE_PATH)', an edit folder of it that no open " +
                   "edit made, could not " + (keptIn.empty() ? "" : "all ") + "be kept in a backup (" + error + ")" +
                   (keptIn.empty() ? "; nothing was changed." : "."),
               k, {{"asset_kuid", k.ToString()}, {"file_path", folder}});
    return false;
}

bool AssetDatabase::PlaceEditFolderLocked(const KUID& k, const std::string& staged, const char* refused,
                                          DaemonResults* results)
{
    const std::string folder = root_.EditFolder(k);
    // Whatever stands there is kept first; a few rounds, as something may be made there again meanwhile.
    for (int round = 0; round < 3; ++round)
    {
        if (Platform::PutOwnFolderInPlace(staged, folder)) return true;
        if (errno != EEXIST) break;
        // An empty folder holds no work: it goes (rmdir removes nothing else).
        if (::rmdir(folder.c_str()) != 0 && !KeepEditFolderWithoutEditLocked(k, refused, results)) return false;
    }
    const std::string why = std::strerror(errno);
    DLOG("%s %s: its edit folder could not be made: %s", k.ToString().c_str(), refused, why.c_str());
    PostResult(results, kResultError, "$vad_write_error", k, KuidParam(k));
    return false;
}

bool AssetDatabase::BeingCommittedLocked(const KUID& k, DaemonResults* results, const char* refused) const
{
    if (!committing_.count(k)) return false;
    PostResult(results, kResultError, std::string("Asset $(ASSET_KUID) is being committed; it ") + refused + ".", k,
               KuidParam(k));
    return true;
}

bool AssetDatabase::KeepEarlierClosedEditLocked(const KUID& k, DaemonResults* results)
{
    const std::string earlier = ClosedEditFolderFor(root_.EditFolder(k));
    struct stat st;
    if (::lstat(earlier.c_str(), &st) != 0 && errno == ENOENT) return true;
    // Only a folder the daemon set aside is taken from there; anything else of that name is left as it is.
    if (!OwnClosedEditFolder(root_.EditFolder(k)))
    {
        DLOG("the edit of %s stays open: %s is not a folder the daemon set aside, and was left as it is",
             k.ToString().c_str(), earlier.c_str());
        PostResult(results, kResultError,
                   "Asset $(ASSET_KUID) stays open for editing: '$(FILE_PATH)', where its edit folder is set aside "
                   "while the edit is closed, is not a folder the asset database set aside; it was left as it is, and "
                   "nothing was changed.",
                   k, {{"asset_kuid", k.ToString()}, {"file_path", earlier}});
        return false;
    }
    std::string error;
    std::vector<std::string> keptIn;
    const bool kept = KeepUncommittedWork(earlier, root_.UserData("backups"), k.ToSpacedString() + kEarlierEditFolder,
                                          true, &error, nullptr, nullptr, &keptIn);
    for (const std::string& place : keptIn)
    {
        DLOG("the earlier edit folder of %s (%s, left by a close that was cut short) was moved into the backup %s",
             k.ToString().c_str(), earlier.c_str(), place.c_str());
        PostResult(results, kResultWarning,
                   "An earlier edit folder of asset $(ASSET_KUID), left aside when closing its edit was cut short, was "
                   "kept in '$(FILE_PATH)'.",
                   k, {{"asset_kuid", k.ToString()}, {"file_path", place}});
    }
    if (kept) return true;
    DLOG("the edit of %s stays open: its earlier edit folder %s could not %sbe kept in a backup: %s",
         k.ToString().c_str(), earlier.c_str(), keptIn.empty() ? "" : "all ", error.c_str());
    PostResult(results, kResultError,
               "Asset $(ASSET_KUID) stays open for editing: an earlier edit folder of it, '$(FILE_PATH)', could not " +
                   std::string(keptIn.empty() ? "" : "all ") + "be kept in a backup (" + error + ")" +
                   (keptIn.empty() ? "; nothing was changed." : "."),
               k, {{"asset_kuid", k.ToString()}, {"file_path", earlier}});
    return false;
}

bool AssetDatabase::AddEditLocked(EditRecord& e, const std::string& folder, DaemonResults* results)
{
    if (e.owner != 0)
    {
        // A command host's edit is not stored: a restart finds it closed.
        e.handle = nextHostHandle_++;
        if (nextHostHandle_ == 0x40000000u) nextHostHandle_ = 0x30000000u;
        edits_[e.kuid] = e;
        ++hostEdits_;
        return true;
    }
    // Its files are on disk before the store records it: a recorded edit never names a copy cut by a power cut,
    // which its commit would install.
    if (!SyncedForCommitLocked())
    {
        RemoveFolderTree(folder);
        DLOG("the edit of %s was not opened: its files could not be written to disk", e.kuid.ToString().c_str());
        PostResult(results, kResultError,
                   "The edit of asset $(ASSET_KUID) could not be opened: its files could not be written to disk.",
                   e.kuid, KuidParam(e.kuid));
        return false;
    }
    if (store_.AddEdit(e))
    {
        edits_[e.kuid] = e;
        return true;
    }
    RemoveFolderTree(folder);
    PostResult(results, kResultError, "$vad_write_error", e.kuid, KuidParam(e.kuid));
    return false;
}

bool AssetDatabase::SyncedForCommitLocked() const
{
    if (diskSyncForTests_) return diskSyncForTests_();
    return Platform::SyncFileSystems(
        {root_.UserData("local"), root_.UserData("editing"), root_.UserData("backups"), HoldFolder(root_)});
}

void AssetDatabase::SetDiskSyncForTests(std::function<bool()> sync)
{
    std::unique_lock lk(mutex_);
    diskSyncForTests_ = std::move(sync);
}

size_t AssetDatabase::InstallStagedLocked(std::vector<StagedAsset>& group, uint32_t dropEdit, DaemonResults* results)
{
    std::string error;
    CrashPoint("staged");
    std::vector<StagedAsset*> swapped;
    for (StagedAsset& s : group)
    {
        AssetRecord& rec = s.rec;
        const std::string target = root_.LocalFolder(rec.kuid);
        s.installed = false;
        if (!SwapInFolder(target, s.from, &error, &s.aside))
        {
            PostResult(results, kResultError, "$vad_failed_install", rec.kuid,
                       {{"asset_kuid", rec.kuid.ToString()}, {"reason_text", error}});
            Platform::RemoveOwnFolder(s.from);
            continue;
        }
        rec.source = "local";
        rec.folder = RelativeTo(root_.Root(), target);
        // The copy holds the same files as its source: a configuration that was a regular file there is
        // found under the same name here, and the bytes copied are the folder's size.
        rec.configStamp =
            s.configName.empty() ? AssetConfigStamp(target) : AssetConfigStampAt(target + "/" + s.configName);
        rec.size = s.sizeKnown ? s.size : FolderSize(target);
        swapped.push_back(&s);
    }
    if (swapped.empty()) return 0;
    CrashPoint("swapped");
    // The copies, their backups and the edit folder set aside are on disk before the store records them.
    const bool synced = SyncedForCommitLocked();
    // One transaction for the whole group: the commit point of every asset in it.
    bool ok = synced && store_.Begin();
    for (StagedAsset* s : swapped)
    {
        const AssetRecord& rec = s->rec;
        ok = ok && store_.PutAsset(rec);
        if (ok && !rec.author.empty() && rec.authorId >= 0) ok = store_.PutAuthor(rec.authorId, rec.author);
        // The mark names the copy installed now: a run's own gets one, any other install drops the one it had.
        ok = ok && (s->runsOwn ? store_.PutRunCopy(RunCopyMark{rec.kuid, rec.installTime, rec.configStamp})
                               : DropRunCopyStoredLocked(rec.kuid));
    }
    ok = ok && (dropEdit == 0 || store_.DeleteEdit(dropEdit));
    ok = ok && store_.Commit();
    if (!ok)
    {
        if (synced) store_.Rollback();
        DLOG("store failed for %zu assets: %s", swapped.size(),
             synced ? store_.LastError().c_str() : "the copies could not be written to disk");
        for (StagedAsset* s : swapped)
        {
            // A new asset has no old copy to put back: its folder just goes.
            const std::string target = root_.LocalFolder(s->rec.kuid);
            if (!(s->aside.empty() ? RemoveFolderTree(target) : UndoSwap(target, s->aside)))
            {
                // The next start puts the old copy back (the store never recorded the new one).
                DLOG("the installed copy of %s could not be put back: %s", s->rec.kuid.ToString().c_str(),
                     std::strerror(errno));
                PostResult(results, kResultError,
                           "The earlier copy of asset $(ASSET_KUID) could not be put back; the asset database will do "
                           "so when it starts again.",
                           s->rec.kuid, KuidParam(s->rec.kuid));
            }
            PostResult(results, kResultError, "$vad_failed_install", s->rec.kuid,
                       {{"asset_kuid", s->rec.kuid.ToString()},
                        {"reason_text",
                         synced ? "the database could not be written" : "its files could not be written to disk"}});
        }
        return 0;
    }
    CrashPoint("stored");
    for (StagedAsset* s : swapped)
    {
        AssetRecord& rec = s->rec;
        if (!s->aside.empty()) FinishSwap(s->aside);
        // A local copy that lived under another folder name (put there by hand) is replaced, not kept beside.
        auto old = records_.find(rec.kuid);
        if (old != records_.end() && old->second.source == "local" && old->second.folder != rec.folder)
            RemoveUnrecordedFolder(Absolute(old->second.folder));
        records_[rec.kuid] = rec;
        const RunCopyMark mark{rec.kuid, rec.installTime, rec.configStamp};
        RunCopyChangedLocked(rec.kuid, s->runsOwn ? &mark : nullptr);
        s->installed = true;
    }
    obsoletesDirty_ = true;
    return swapped.size();
}

bool AssetDatabase::CheckInstallSource(const std::string& folderIn, std::string& folder, AssetConfigFiles& configs,
                                       AssetRecord& rec, DaemonResults* results) const
{
    folder = NormalisePath(folderIn);
    if (folder.empty() || !FolderExists(folder))
    {
        PostResult(results, kResultError, "$vad_unable_read_config_at", KUID::Null(), {{"file_path", folderIn}});
        return false;
    }
    // The daemon's own folders are not a source to install from.
    for (const char* own : {"local", "editing", "backups"})
        if (IsPathInside(folder, root_.UserData(own)))
        {
            PostResult(results, kResultError, "The folder '$(FILE_PATH)' belongs to the asset database.", KUID::Null(),
                       {{"file_path", folder}});
            return false;
        }
    // Nor are the kernel's folders, whose files need not end.
    Platform::Folder opened;
    if (opened.Open(folder) && Platform::IsSystemFolder(opened))
    {
        PostResult(results, kResultError,
                   "The folder '$(FILE_PATH)' lies below /proc, /sys or /dev; it holds no asset.", KUID::Null(),
                   {{"file_path", folder}});
        return false;
    }
    opened.Close();
    std::string reason;
    if (!ReadSourceAssetConfig(folder, configs, rec, &reason))
    {
        PostUnreadableAssetFolder(results, kResultError, KUID::Null(), folder, reason);
        return false;
    }
    return true;
}

bool AssetDatabase::StageInstallLocked(const AssetConfigFiles& configs, StagedAsset& s, DaemonResults* results,
                                       bool staged, const std::string& stageError)
{
    AssetRecord& rec = s.rec;
    if (!staged)
    {
        PostResult(results, kResultError, "$vad_failed_install", rec.kuid,
                   {{"asset_kuid", rec.kuid.ToString()}, {"reason_text", stageError}});
        return false;
    }
    s.sizeKnown = true;
    if (configs.regular) s.configName = configs.path.substr(configs.path.rfind('/') + 1);
    if (const AssetRecord* old = FindLocked(rec.kuid))
    {
        // A run's own copy comes from a folder that stays: no backup of it takes the place of one of the user's.
        if (!RunsOwnCopyLocked(rec.kuid, *old) && !BackupLocked(*old, results))
        {
            Platform::RemoveOwnFolder(s.from);
            return false;
        }
        rec.builtinFolder = old->source == "builtin" ? old->folder : old->builtinFolder;
        rec.favourite = old->favourite;
        rec.keywords = old->keywords;
    }
    rec.installTime = rec.modifiedTime = Now();
    return true;
}

void AssetDatabase::PostInstalled(const StagedAsset& s, const std::string& folder, const AssetConfigFiles& configs,
                                  DaemonResults* results)
{
    const KUID& k = s.rec.kuid;
    PostLeftOutFiles(results, k, s.leftOut);
    if (!configs.unusedText.empty())
        PostResult(results, kResultWarning,
                   "The folder of asset $(ASSET_KUID) holds both config.chump and config.txt: config.chump was used, "
                   "config.txt was not.",
                   k, {{"asset_kuid", k.ToString()}});
    DLOG("installed %s from %s", k.ToString().c_str(), folder.c_str());
    PostResult(results, kResultSuccess, "$vad_installed", k, KuidParam(k));
}

DbStatus AssetDatabase::InstallFromFolder(const std::string& folderIn, KUID& installed, DaemonResults* results,
                                          const TextureCompileFn& compile, uint32_t options, uintptr_t connection)
{
    std::vector<KUID> kuids;
    InstallFromFolders({folderIn}, kuids, results, options & kVADInstallNotOverLocalCopy, compile, connection);
    installed = kuids.empty() ? KUID::Null() : kuids[0];
    return installed.IsNull() ? DbStatus::kFailed : DbStatus::kOK;
}

namespace {

// A folder of one of this daemon's own staging folders in the cache ("install-<pid>-<n>.staging", what an archive
// install job stages its copies in, or "textures-<pid>-<n>.staging"): a copy made for one install alone, which
// nothing else writes to and which goes once the install is done.
bool IsOwnStagedCopy(const std::string& cache, const std::string& folder)
{
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash + 1 == folder.size() || slash <= cache.size() ||
        folder.compare(0, cache.size(), cache) != 0 || folder[cache.size()] != '/')
        return false;
    const std::string staging = folder.substr(cache.size() + 1, slash - cache.size() - 1);
    const std::string own = "-" + std::to_string(getpid()) + "-";
    const std::string_view suffix = ".staging";
    if (staging.find('/') != std::string::npos || staging.size() <= suffix.size() ||
        staging.compare(staging.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    return staging.rfind("install" + own, 0) == 0 || staging.rfind("textures" + own, 0) == 0;
}

// Before a user's folder is copied to be installed or committed: what processes of the installation that have ended
// left of their own work (a tool killed while it wrote into the folder) goes, as their registers prove it
// (platform/OwnWorkSweep.h). Anything else in the folder, whatever its name, is installed as any file is.
void SweepEndedWork(const DaemonRoot& root)
{
    for (const std::string& line : Platform::SweepOwnWorkOfEndedProcesses(root.OwnWorkFolder()))
        DLOG("%s", line.c_str());
}

// Runs fn(0) ... fn(n - 1) on a few threads; the calls must not touch anything shared.
void InParallel(size_t n, const std::function<void(size_t)>& fn)
{
    const size_t threads = n < 8 ? 1 : std::min<size_t>({4, n / 4, std::max(1u, std::thread::hardware_concurrency())});
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < n;) fn(i);
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
}

}  // namespace

std::vector<KUID> AssetDatabase::UnknownAssets(const std::vector<KUID>& kuids) const
{
    std::shared_lock lk(mutex_);
    std::vector<KUID> unknown;
    for (const KUID& k : kuids)
        if (!FindLocked(k) && !FindEditLocked(k)) unknown.push_back(k);
    return unknown;
}

void AssetDatabase::InstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& installed,
                                       DaemonResults* results, uint32_t options, const TextureCompileFn& compile,
                                       uintptr_t connection)
{
    // Only copies written for this install inside the cache folder may share their files with the installed
    // copy: a user's own folder must not change the installed asset when it is edited later.
    const std::string cache = root_.UserData("cache");
    const bool favourite = (options & kVADInstallFavourite) != 0;
    installed.assign(folders.size(), KUID::Null());
    SweepEndedWork(root_);
    // Of each copy staged and put in place, the register of own work gets one write rather than two.
    const Platform::OwnWorkBatch batch;
    struct Source
    {
        std::string folder;
        std::string origin;  // the folder as asked (`folder` may become a copy with compiled textures)
        AssetConfigFiles configs;
        AssetRecord rec;
        bool ok = false;
        bool link = false;
        bool move = false;      // a copy made for this install alone, in one of the daemon's own staging folders
        bool prepared = false;  // ... made ready to be moved into place whole
        std::vector<std::string> textures;  // its texture descriptions, when they are to be compiled (until they are)
        std::vector<LeftAside> givenBack;   // descriptions a conversion left aside, given their names back in the copy
        size_t textureSlot = SIZE_MAX;      // ... and its copy's slot in the texture staging
        DaemonResults results;
        // The staged copy:
        bool staged = false;
        std::string stagedAt;
        std::string stageError;
        std::vector<std::string> leftOut;
        uint64_t size = 0;
    };
    // The folders are read before the lock is taken, as a single install does; side by side, each posting
    // into its own results, which then go out in the folders' order.
    std::vector<Source> sources(folders.size());
    TextureStaging textures(root_, (options & kVADInstallTexturesCompiled) ? TextureCompileFn() : compile);
    InParallel(sources.size(), [&](size_t i) {
        Source& src = sources[i];
        src.ok = CheckInstallSource(folders[i], src.folder, src.configs, src.rec, &src.results);
        src.origin = src.folder;
        src.link = src.ok && (options & kVADInstallStagedInCache) && IsPathInside(src.folder, cache) &&
                   src.folder != NormalisePath(cache);
        src.move = src.link && IsOwnStagedCopy(cache, src.folder);
        if (src.ok && textures.Enabled()) src.textures = ListTextureDescriptions(src.folder);
    });
    if (results)
        for (Source& src : sources) results->insert(results->end(), src.results.begin(), src.results.end());
    // Folders with texture descriptions are copied and compiled first, without the lock: the copies are then
    // installed in their place, their files given a second name.
    std::vector<std::pair<size_t, size_t>> compiled;  // source, staging slot
    for (size_t i = 0; i < sources.size(); ++i)
        if (!sources[i].textures.empty())
            compiled.emplace_back(i, textures.Add(sources[i].folder, sources[i].rec.kuid, sources[i].textures));
    if (!compiled.empty())
    {
        InParallel(compiled.size(),
                   [&](size_t c) { textures.Copy(compiled[c].second, sources[compiled[c].first].link); });
        textures.Compile(results);
    }
    std::vector<std::vector<std::string>> copiedLeftOut(sources.size());
    for (const auto& [i, slot] : compiled)
    {
        if (!textures.Compiled(slot)) continue;
        sources[i].textures.clear();
        sources[i].textureSlot = slot;
        sources[i].folder = textures.CopyOf(slot);
        sources[i].link = true;
        sources[i].move = true;
        copiedLeftOut[i] = std::move(textures.LeftOut(slot));
    }
    std::unique_lock lk(mutex_);
    // Groups of assets installed in one transaction; an asset named twice ends a group, so that the second
    // install replaces the first as it would one request after the other.
    size_t next = 0;
    while (next < sources.size())
    {
        std::vector<size_t> members;
        std::unordered_set<KUID> inGroup;
        for (; next < sources.size(); ++next)
        {
            Source& src = sources[next];
            if (!src.ok) continue;
            if (!inGroup.insert(src.rec.kuid).second) break;
            if (FindEditLocked(src.rec.kuid))
            {
                PostResult(results, kResultError, "$vad_prompt_openforedit_log", src.rec.kuid, KuidParam(src.rec.kuid));
                continue;
            }
            if (RefuseHeldLocked(src.rec.kuid, connection, results)) continue;
            if (const AssetRecord* r = FindLocked(src.rec.kuid);
                r && r->source == "local" && (options & kVADInstallNotOverLocalCopy))
            {
                PostResult(results, kResultError, "$vad_failed_install", src.rec.kuid,
                           {{"asset_kuid", src.rec.kuid.ToString()},
                            {"reason_text", "a copy of it is installed, and this install does not replace one"}});
                continue;
            }
            members.push_back(next);
        }
        // The copies are made side by side (each into its own staging folder, which counts for nothing until
        // the transaction); backups and the swaps follow in order. A copy staged for this install alone is made
        // ready where it lies and becomes the new copy at the swap; one that cannot be moved is linked.
        struct stat local;
        const bool localKnown = ::stat(root_.UserData("local").c_str(), &local) == 0;
        InParallel(members.size(), [&](size_t m) {
            Source& src = sources[members[m]];
            src.prepared = src.move && localKnown &&
                           PrepareStagedFolder(src.folder, local.st_dev, &src.stageError, &src.leftOut, &src.size);
            src.staged = src.prepared || StageFolderCopy(src.folder, root_.LocalFolder(src.rec.kuid), src.stagedAt,
                                                         &src.stageError, &src.leftOut, &src.size, src.link);
            // What is installed is the copy: its configuration, not the one read before it was made.
            if (src.prepared) src.stagedAt = src.folder;
            if (src.staged) src.givenBack = GiveBackSetAsideDescriptions(src.stagedAt, src.textures);
            if (src.staged && !ConfirmCopiedAssetConfig(src.stagedAt, src.configs, src.rec, &src.stageError))
            {
                if (!src.prepared) Platform::RemoveOwnFolder(src.stagedAt);
                src.staged = src.prepared = false;
            }
        });
        std::vector<StagedAsset> group;
        std::vector<size_t> staged;
        for (size_t index : members)
        {
            Source& src = sources[index];
            StagedAsset s;
            s.rec = src.rec;
            // What the texture copy left out is what is missing from the installed copy.
            s.leftOut = std::move(copiedLeftOut[index].empty() ? src.leftOut : copiedLeftOut[index]);
            s.size = src.size;
            s.from = src.stagedAt;
            // A run's own copy, from a folder of its own (dlsparsefolder's): its delete takes no backup.
            s.runsOwn = (options & kVADInstallNotOverLocalCopy) != 0;
            for (const LeftAside& left : src.givenBack)
                PostDescriptionGivenBack(results, src.rec.kuid, src.origin + "/" + left.aside, left.own);
            if (!StageInstallLocked(src.configs, s, results, src.staged, src.stageError)) continue;
            if (favourite) s.rec.favourite = true;
            group.push_back(std::move(s));
            staged.push_back(index);
        }
        if (group.empty()) continue;
        InstallStagedLocked(group, 0, results);
        for (size_t g = 0; g < group.size(); ++g)
        {
            if (!group[g].installed) continue;
            installed[staged[g]] = group[g].rec.kuid;
            if (group[g].runsOwn && connection != 0) SetRunCopyExporterLocked(group[g].rec.kuid, connection);
            if (sources[staged[g]].textureSlot != SIZE_MAX)
                textures.PostIncomplete(sources[staged[g]].textureSlot, results);
            PostInstalled(group[g], sources[staged[g]].origin, sources[staged[g]].configs, results);
        }
    }
}

bool AssetDatabase::MakeEditFolderAgainLocked(const EditRecord& e, DaemonResults* results)
{
    const KUID& k = e.kuid;
    const std::string folder = root_.EditFolder(k);
    // Set aside by a close whose folder could not be put back: it is still the edit's folder.
    if (OwnClosedEditFolder(folder))
    {
        PutEditFolderBackLocked(k, results);
        if (!FolderExists(folder)) return false;
        DLOG("put the edit folder of %s back from %s", k.ToString().c_str(), ClosedEditFolderFor(folder).c_str());
        return true;
    }
    // Made as an open for editing makes it: from the installed copy (a new asset's as its create made it), on
    // disk before it is handed out, and never over anything that stands where it goes.
    const AssetRecord* r = e.created ? nullptr : FindLocked(k);
    std::string staged, error = "the installed copy could not be copied";
    const bool made = r ? StageFolderCopy(Absolute(r->folder), folder, staged, &error)
                        : e.created && MakeNewAssetFolder(TempFolderFor(folder), staged, k, e.name);
    if (!made || !SyncedForCommitLocked() || !PlaceEditFolderLocked(k, staged, "was not opened for editing", results))
    {
        if (!staged.empty()) Platform::RemoveOwnFolder(staged);
        DLOG("the edit folder of %s is gone and could not be made again: %s", k.ToString().c_str(),
             made ? "it could not be written to disk or put in place" : error.c_str());
        PostEditFolderGone(results, kResultError, k, folder, "; it could not be made again.");
        return false;
    }
    DLOG("the edit folder of %s was gone: made again %s", k.ToString().c_str(),
         r ? "from the installed copy" : "as the new asset's");
    PostEditFolderGone(results, kResultWarning, k, folder,
                       r ? ": it was made again from the installed copy."
                         : ": it was made again holding only the new asset's configuration.");
    return true;
}

DbStatus AssetDatabase::OpenForEdit(const KUID& k, bool edit, uint32_t& handle, DaemonResults* results, uintptr_t asker,
                                    bool makeGoneFolder)
{
    handle = 0;
    std::unique_lock lk(mutex_);
    if (const EditRecord* e = FindEditLocked(k))
    {
        if (EditRefused(*e, asker, results) || BeingCommittedLocked(k, results, "cannot be opened now"))
            return DbStatus::kFailed;
        if (makeGoneFolder && !FolderExists(root_.EditFolder(k)) && !MakeEditFolderAgainLocked(*e, results))
            return DbStatus::kFailed;
        handle = e->handle;
        return DbStatus::kOK;
    }
    const AssetRecord* r = FindLocked(k);
    if (!r) return DbStatus::kNotFound;
    if (!edit)
    {
        // Clients that never release their handles must not grow the table without end.
        if (locateHandles_.size() >= kMaxLocateHandles) return DbStatus::kFailed;
        handle = nextLocateHandle_++;
        if (nextLocateHandle_ == 0) nextLocateHandle_ = 0x40000000u;
        locateHandles_[handle] = Handle{k, false};
        return DbStatus::kOK;
    }
    if (PackageInstallRefuses(packageInstalls_, k, asker, results) || RefuseHeldLocked(k, 0, results))
        return DbStatus::kFailed;
    // The copy is made beside the edit folder's place and moved there in one step; whatever stands in that place
    // is no open edit's and is kept first, never replaced.
    std::string target = root_.EditFolder(k), error, staged;
    if (!StageFolderCopy(Absolute(r->folder), target, staged, &error))
    {
        PostResult(results, kResultError, "$vad_write_error", k, KuidParam(k));
        DLOG("open for edit of %s failed: %s", k.ToString().c_str(), error.c_str());
        return DbStatus::kFailed;
    }
    if (!PlaceEditFolderLocked(k, staged, "was not opened for editing", results))
    {
        Platform::RemoveOwnFolder(staged);
        return DbStatus::kFailed;
    }
    EditRecord e;
    e.kuid = k;
    e.owner = asker;
    if (!AddEditLocked(e, target, results)) return DbStatus::kFailed;
    handle = e.handle;
    DLOG("opened %s for editing (handle %u%s)", k.ToString().c_str(), handle, asker ? ", a command host's" : "");
    return DbStatus::kOK;
}

void AssetDatabase::ReleaseHandle(uint32_t handle)
{
    // Edit handles stay valid until their edit is committed or reverted; only locating handles end here.
    std::unique_lock lk(mutex_);
    locateHandles_.erase(handle);
}

DbStatus AssetDatabase::EditFolder(uint32_t handle, std::string& source, std::string& folder, uintptr_t asker) const
{
    std::shared_lock lk(mutex_);
    if (const EditRecord* e = EditByHandleLocked(handle))
    {
        // A commit has its folder: there is none to hand out until the commit is done or the folder back.
        if (e->owner != asker || committing_.count(e->kuid)) return DbStatus::kFailed;
        source = "editing";
        folder = root_.EditFolder(e->kuid);
        return DbStatus::kOK;
    }
    auto it = locateHandles_.find(handle);
    if (it == locateHandles_.end()) return DbStatus::kNotFound;
    const AssetRecord* r = FindLocked(it->second.kuid);
    if (!r) return DbStatus::kNotFound;
    source = r->source;
    folder = Absolute(r->folder);
    return DbStatus::kOK;
}

DbStatus AssetDatabase::Commit(uint32_t handle, DaemonResults* results, bool linkFiles, const TextureCompileFn& compile,
                               uintptr_t asker)
{
    // The edit folder is taken from its user first, by one rename (set aside as a close sets it): what is
    // committed is what it held then, and a write into it after that fails where its writer sees it. A kill
    // from here on leaves the edit open with its folder, put back at the next start, or (once the store has
    // dropped the edit) committed. Until the folder is installed or back, other requests on the edit are refused.
    EditRecord e;
    std::string editFolder, taken;
    SweepEndedWork(root_);
    {
        std::unique_lock lk(mutex_);
        const EditRecord* found = EditByHandleLocked(handle);
        if (!found)
        {
            if (locateHandles_.count(handle))
            {
                PostResult(results, kResultError, "Asset $(ASSET_KUID) is not open for editing.",
                           locateHandles_[handle].kuid, KuidParam(locateHandles_[handle].kuid));
                return DbStatus::kFailed;
            }
            PostResult(results, kResultError,
                       "Nothing was committed: the edit (handle " + std::to_string(handle) +
                           ") is no longer open; it was committed, reverted or deleted meanwhile.");
            return DbStatus::kNotFound;
        }
        if (EditRefused(*found, asker, results) ||
            BeingCommittedLocked(found->kuid, results, "was not committed again"))
            return DbStatus::kFailed;
        e = *found;
        editFolder = root_.EditFolder(e.kuid);
        taken = ClosedEditFolderFor(editFolder);
        // Nothing to commit: the edit stays open, for an edit to make its folder again or a revert to close it.
        if (!FolderExists(editFolder))
        {
            PostEditFolderGone(results, kResultError, e.kuid, editFolder, "; nothing was committed.");
            return DbStatus::kFailed;
        }
        // What an earlier commit of this edit left aside goes into the backups before this one takes its name.
        if (!KeepEarlierClosedEditLocked(e.kuid, results)) return DbStatus::kFailed;
        if (!SetEditFolderAside(editFolder))
        {
            PostResult(results, kResultError, "$vad_failed_install", e.kuid,
                       {{"asset_kuid", e.kuid.ToString()}, {"reason_text", "the edit folder could not be moved"}});
            return DbStatus::kFailed;
        }
        committing_.insert(e.kuid);
    }
    // Paths in the folder taken, said as its user knows them.
    auto asEdit = [&](const std::string& text) { return NamedInPlace(text, taken, editFolder); };
    // A folder with texture descriptions is copied and compiled first, without the lock; the copy is then
    // installed in its place, its files given a second name.
    TextureStaging textures(root_, compile);
    std::string from;
    size_t textureSlot = SIZE_MAX;
    std::vector<std::string> copiedLeftOut;
    // What the copy that is installed read of the folder taken: once committed, only that of it goes.
    TakenRecord copied;
    // Descriptions no job compiled: the copy installed gets back the names of those a conversion left aside.
    std::vector<std::string> uncompiled;
    if (textures.Enabled())
    {
        std::vector<std::string> descriptions = ListTextureDescriptions(taken);
        if (!descriptions.empty())
        {
            uncompiled = descriptions;
            const size_t slot = textures.Add(taken, e.kuid, std::move(descriptions), editFolder);
            textures.Copy(slot, linkFiles);
            // A copy that left part of the edit out is not committed (below): nothing is compiled for it.
            copiedLeftOut = std::move(textures.LeftOut(slot));
            if (copiedLeftOut.empty()) textures.Compile(results);
            if (copiedLeftOut.empty() && textures.Compiled(slot))
            {
                textureSlot = slot;
                from = textures.CopyOf(slot);
                copied = std::move(textures.Copied(slot));
                uncompiled.clear();
            }
        }
    }
    std::unique_lock lk(mutex_);
    committing_.erase(e.kuid);
    // A commit that fails from here on gives the folder back as it was taken.
    auto failed = [&] {
        PutEditFolderBackLocked(e.kuid, results);
        return DbStatus::kFailed;
    };
    if (!copiedLeftOut.empty())
    {
        for (std::string& path : copiedLeftOut) path = asEdit(path);
        PostLeftOutOfCommit(results, e.kuid, copiedLeftOut);
        return failed();
    }
    // The copy with compiled textures, when there is one, is what is installed.
    const std::string source = from.empty() ? taken : from;
    StagedAsset staged;
    AssetRecord& rec = staged.rec;
    AssetConfigFiles configs;
    std::string reason;
    if (!ReadSourceAssetConfig(source, configs, rec, &reason))
    {
        PostUnreadableAssetFolder(results, kResultError, e.kuid, editFolder, asEdit(reason));
        return failed();
    }
    if (rec.kuid != e.kuid)
    {
        PostResult(results, kResultError,
                   "The configuration of asset $(ASSET_KUID) names another KUID ($(OTHER_KUID)); it was not committed.",
                   e.kuid, {{"asset_kuid", e.kuid.ToString()}, {"other_kuid", rec.kuid.ToString()}});
        return failed();
    }
    std::string target = root_.LocalFolder(e.kuid), error;
    if (!StageFolderCopy(source, target, staged.from, &error, &staged.leftOut, &staged.size, linkFiles || !from.empty(),
                         from.empty() ? &copied : nullptr))
    {
        PostResult(results, kResultError, "$vad_failed_install", e.kuid,
                   {{"asset_kuid", e.kuid.ToString()}, {"reason_text", asEdit(error)}});
        return failed();
    }
    // The edit folder goes once committed: whatever of it the copy left out would go with it. The copy with
    // compiled textures was checked above (it left nothing of the edit out); what the job wrote is its own.
    if (from.empty() && !staged.leftOut.empty())
    {
        Platform::RemoveOwnFolder(staged.from);
        for (std::string& path : staged.leftOut) path = asEdit(path);
        PostLeftOutOfCommit(results, e.kuid, staged.leftOut);
        return failed();
    }
    for (const LeftAside& left : GiveBackSetAsideDescriptions(staged.from, uncompiled))
        PostDescriptionGivenBack(results, e.kuid, editFolder + "/" + left.aside, left.own);
    // What is installed is the copy: its configuration, not the one read before it was made.
    if (!ConfirmCopiedAssetConfig(staged.from, configs, rec, &error))
    {
        Platform::RemoveOwnFolder(staged.from);
        PostResult(results, kResultError, "$vad_failed_install", e.kuid,
                   {{"asset_kuid", e.kuid.ToString()}, {"reason_text", asEdit(error)}});
        return failed();
    }
    staged.sizeKnown = true;
    if (configs.regular) staged.configName = configs.path.substr(configs.path.rfind('/') + 1);
    uint64_t now = Now();
    rec.installTime = rec.modifiedTime = now;
    if (const AssetRecord* old = FindLocked(e.kuid))
    {
        if (!RunsOwnCopyLocked(e.kuid, *old) && !BackupLocked(*old, results))
        {
            Platform::RemoveOwnFolder(staged.from);
            return failed();
        }
        rec.builtinFolder = old->source == "builtin" ? old->folder : old->builtinFolder;
        rec.favourite = old->favourite;
        rec.keywords = old->keywords;
        rec.installTime = old->installTime ? old->installTime : now;
    }
    std::vector<StagedAsset> group;
    group.push_back(std::move(staged));
    if (InstallStagedLocked(group, e.owner == 0 ? e.handle : 0, results) != 1) return failed();
    EraseEditLocked(e.kuid);
    if (textureSlot != SIZE_MAX) textures.PostIncomplete(textureSlot, results);
    if (!configs.unusedText.empty()) PostUnusedConfig(results, e.kuid, taken);
    DLOG("committed %s", e.kuid.ToString().c_str());
    ClearTakenLocked(e.kuid, taken, copied, target, results);
    return DbStatus::kOK;
}

DbStatus AssetDatabase::Revert(uint32_t handle, DaemonResults* results, uintptr_t asker)
{
    std::unique_lock lk(mutex_);
    const EditRecord* e = EditByHandleLocked(handle);
    if (!e)
    {
        // Nothing is open for editing behind a locating handle: nothing to discard.
        if (locateHandles_.count(handle)) return DbStatus::kOK;
        return DbStatus::kNotFound;
    }
    if (EditRefused(*e, asker, results) || BeingCommittedLocked(e->kuid, results, "was not reverted"))
        return DbStatus::kFailed;
    KUID k = e->kuid;
    const bool stored = e->owner == 0;  // a command host's edit is not stored
    const std::string editFolder = root_.EditFolder(k);
    if (!KeepEarlierClosedEditLocked(k, results)) return DbStatus::kFailed;
    // What is discarded is what the folder holds as it is recorded here, before it is taken: whatever is written
    // into it from then on (also by a program inside it, after the move) changes what was recorded, and stays.
    const bool there = FolderExists(editFolder);
    const TakenRecord discarded = there ? RecordTakenFolder(editFolder) : TakenRecord();
    const bool aside = SetEditFolderAside(editFolder);
    // The folder's move is on disk before the store forgets the edit.
    const bool synced = aside && (!stored || SyncedForCommitLocked());
    if (!synced || (stored && !store_.DeleteEdit(handle)))
    {
        PutEditFolderBackLocked(k, results);
        PostResult(results, kResultError,
                   aside && !synced ? "The edit of asset $(ASSET_KUID) could not be discarded: its files could not be "
                                      "written to disk."
                                    : "The edit of asset $(ASSET_KUID) could not be discarded.",
                   k, KuidParam(k));
        return DbStatus::kFailed;
    }
    EraseEditLocked(k);
    DLOG("reverted %s", k.ToString().c_str());
    if (!there && !FolderExists(ClosedEditFolderFor(editFolder)))
        PostEditFolderGone(results, kResultWarning, k, editFolder, ": there was nothing to discard.");
    ClearTakenLocked(k, ClosedEditFolderFor(editFolder), discarded, {}, results);
    return DbStatus::kOK;
}

DbStatus AssetDatabase::Create(KUID k, const std::string& name, uint32_t& handle, DaemonResults* results,
                               uintptr_t asker)
{
    handle = 0;
    if (k.IsNull()) k = GenerateKUID();
    if (k.IsNull()) return DbStatus::kFailed;
    std::unique_lock lk(mutex_);
    if (FindLocked(k) || FindEditLocked(k))
    {
        PostResult(results, kResultError, "Asset $(ASSET_KUID) already exists.", k, KuidParam(k));
        return DbStatus::kFailed;
    }
    if (PackageInstallRefuses(packageInstalls_, k, asker, results) || RefuseHeldLocked(k, 0, results))
        return DbStatus::kFailed;
    // Made beside the edit folder's place and moved there in one step, as an opened edit's copy is.
    const std::string folder = root_.EditFolder(k);
    std::string staged;
    if (!MakeNewAssetFolder(TempFolderFor(folder), staged, k, name))
    {
        if (!staged.empty()) Platform::RemoveOwnFolder(staged);
        PostResult(results, kResultError, "$vad_write_error", k, KuidParam(k));
        return DbStatus::kFailed;
    }
    if (!PlaceEditFolderLocked(k, staged, "was not created", results))
    {
        Platform::RemoveOwnFolder(staged);
        return DbStatus::kFailed;
    }
    EditRecord e;
    e.kuid = k;
    e.created = true;
    e.name = name.substr(0, 1024);
    e.owner = asker;
    if (!AddEditLocked(e, folder, results)) return DbStatus::kFailed;
    handle = e.handle;
    DLOG("created %s (handle %u)", k.ToString().c_str(), handle);
    return DbStatus::kOK;
}

DbStatus AssetDatabase::Delete(const KUID& k, DaemonResults* results, uintptr_t connection, bool runsOwnCopyOnly)
{
    return DeleteAs(k, results, connection, false, runsOwnCopyOnly);
}

DbStatus AssetDatabase::DeleteAs(const KUID& k, DaemonResults* results, uintptr_t connection, bool puttingBack,
                                 bool runsOwnCopyOnly)
{
    std::unique_lock lk(mutex_);
    // What stands while the user's copy is held aside is the holding run's, for that run (or its put back) alone.
    if (!puttingBack && RefuseHeldLocked(k, connection, results)) return DbStatus::kFailed;
    const AssetRecord* found = FindLocked(k);
    const EditRecord* edit = FindEditLocked(k);
    if (!found && !edit) return DbStatus::kNotFound;
    if (found && found->source == "builtin")
    {
        PostResult(results, kResultError, "Asset $(ASSET_KUID) is built in and cannot be deleted.", k, KuidParam(k));
        return DbStatus::kFailed;
    }
    // A run that deletes its own copy takes nothing else: a copy installed in its place meanwhile stays.
    if (runsOwnCopyOnly && !puttingBack)
    {
        if (!found) return DbStatus::kNotFound;
        if (!RunsOwnCopyLocked(k, *found))
        {
            DLOG("%s is not deleted: the copy installed now is not the run's own", k.ToString().c_str());
            PostNotRunsOwnCopy(results, k);
            return DbStatus::kOK;
        }
    }
    if (packageInstalls_.count(k))
    {
        PostResult(results, kResultError, "Asset $(ASSET_KUID) is being installed from a package; it was not deleted.",
                   k, KuidParam(k));
        return DbStatus::kFailed;
    }
    // A command host's edit is an install under way.
    if (edit && edit->owner != 0)
    {
        PostResult(results, kResultError, "Asset $(ASSET_KUID) is being installed; it was not deleted.", k,
                   KuidParam(k));
        return DbStatus::kFailed;
    }
    if (edit && BeingCommittedLocked(k, results, "was not deleted")) return DbStatus::kFailed;
    // Uncommitted changes are not thrown away without a copy. The edit folder is taken from its user first (set
    // aside, so that a restart puts it back while the store holds its edit): the copy kept is what it held then,
    // and a write into it after that fails where its writer sees it.
    const std::string editFolder = root_.EditFolder(k);
    if (edit && !KeepEarlierClosedEditLocked(k, results)) return DbStatus::kFailed;
    if (edit && !SetEditFolderAside(editFolder))
    {
        PostResult(results, kResultError,
                   "Asset $(ASSET_KUID) could not be deleted: its edit folder could not be set aside ($(REASON_TEXT)).",
                   k, {{"asset_kuid", k.ToString()}, {"reason_text", std::strerror(errno)}});
        return DbStatus::kFailed;
    }
    // A delete that fails gives the edit folder back as it took it.
    auto failed = [&] {
        if (edit) PutEditFolderBackLocked(k, results);
        return DbStatus::kFailed;
    };
    TakenRecord kept;  // what the copy of the edit folder kept read of it
    std::string keptAt;
    if (edit && !BackupEditLocked(k, results, kept, keptAt)) return failed();
    AssetRecord rec = found ? *found : AssetRecord();
    std::string target = found ? Absolute(rec.folder) : std::string();
    // A run's own copy comes from a folder that stays: no backup of it takes the place of one of the user's.
    const bool runsCopy = found && (puttingBack || RunsOwnCopyLocked(k, rec));
    if (found && !runsCopy && !BackupLocked(rec, results)) return failed();
    // The folder goes aside first (noted as set aside, beside it under a name nothing else has), so that a crash
    // before the store has changed puts it back.
    std::string old;
    if (found && !SetOldCopyAside(target, old))
    {
        DLOG("the folder of %s could not be set aside as %s: %s", k.ToString().c_str(), OldFolderFor(target).c_str(),
             std::strerror(errno));
        PostResult(results, kResultError, "$vad_overwrite_error", k, KuidParam(k));
        return failed();
    }
    CrashPoint("delete-aside");
    // A local copy over a built-in one uncovers the built-in copy.
    AssetRecord builtin;
    const bool uncover = found && HiddenBuiltinLocked(rec, builtin);
    // Both moves are on disk before the store forgets the asset.
    bool ok = SyncedForCommitLocked();
    ok = ok && store_.Begin();
    if (found) ok = ok && (uncover ? store_.PutAsset(builtin) : store_.DeleteAsset(k));
    if (edit) ok = ok && store_.DeleteEdit(edit->handle);
    ok = ok && DropRunCopyStoredLocked(k);
    ok = ok && store_.Commit();
    if (!ok)
    {
        store_.Rollback();
        if (found && !Platform::PutOwnFolderInPlace(old, target))
        {
            // The next start puts it back: the store still holds the asset.
            DLOG("the folder of %s could not be put back: %s", k.ToString().c_str(), std::strerror(errno));
            PostResult(results, kResultError,
                       "The folder of asset $(ASSET_KUID) could not be put back; the asset database will do so when it "
                       "starts again.",
                       k, KuidParam(k));
        }
        if (edit) PutEditFolderBackLocked(k, results);
        PostResult(results, kResultError, "Asset $(ASSET_KUID) could not be deleted.", k, KuidParam(k));
        return DbStatus::kFailed;
    }
    CrashPoint("deleted");
    // The store has forgotten it: a removal cut short from here on is finished at the next start, never undone.
    if (found) Platform::RemoveOwnFolder(old);
    RunCopyChangedLocked(k, nullptr);
    if (edit)
    {
        EraseEditLocked(k);
        ClearTakenLocked(k, ClosedEditFolderFor(editFolder), kept, keptAt, results);
    }
    LocalCopyGoneLocked(k, uncover ? &builtin : nullptr);
    DLOG("deleted %s", k.ToString().c_str());
    return DbStatus::kOK;
}

bool AssetDatabase::HiddenBuiltinLocked(const AssetRecord& local, AssetRecord& builtin) const
{
    if (local.builtinFolder.empty() || !ReadAssetFolder(Absolute(local.builtinFolder), builtin)) return false;
    builtin.source = "builtin";
    builtin.folder = local.builtinFolder;
    builtin.installTime = builtin.modifiedTime = Now();
    return true;
}

void AssetDatabase::LocalCopyGoneLocked(const KUID& k, const AssetRecord* uncovered)
{
    if (uncovered)
        records_[k] = *uncovered;
    else
        records_.erase(k);
    obsoletesDirty_ = true;
}

void AssetDatabase::EraseEditLocked(const KUID& k)
{
    auto it = edits_.find(k);
    if (it == edits_.end()) return;
    if (it->second.owner != 0) --hostEdits_;
    edits_.erase(it);
}

size_t AssetDatabase::CloseEditsOf(uintptr_t owner)
{
    if (owner == 0 || hostEdits_.load() == 0) return 0;
    std::unique_lock lk(mutex_);
    std::vector<KUID> closing;
    // An edit being committed is left to its commit, which closes it or gives its folder back.
    for (const auto& [k, e] : edits_)
        if (e.owner == owner && !committing_.count(k)) closing.push_back(k);
    for (const KUID& k : closing)
    {
        // Its files were the host's work in progress; the installed copy was never touched.
        const std::string folder = root_.EditFolder(k);
        if (!RemoveFolderTree(folder))
            DLOG("the edit folder of %s could not be removed: %s", k.ToString().c_str(), std::strerror(errno));
        EraseEditLocked(k);
        DLOG("closed the edit of %s: the command host that opened it is gone", k.ToString().c_str());
    }
    if (!closing.empty()) obsoletesDirty_ = true;
    return closing.size();
}
