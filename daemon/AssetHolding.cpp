// Holding an installed copy aside while a run installs, exports and deletes its own copy of the asset, and
// putting it back as it was (HoldRecord.h says where it waits).
#include "daemon/AssetDatabase.h"

#include "assetdb/VADPayloads.h"
#include "daemon/CrashPoint.h"
#include "daemon/DaemonLog.h"
#include "daemon/FolderOps.h"
#include "daemon/HoldRecord.h"
#include "platform/FolderWalk.h"
#include "platform/OwnerOnlyFile.h"
#include "platform/RenameNoReplace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

void PostNotHeld(DaemonResults* results, const KUID& k, const std::string& why)
{
    PostResult(results, kResultError, "$vad_failed_install", k, {{"asset_kuid", k.ToString()}, {"reason_text", why}});
}

bool PathTaken(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Where what is held of `k` waits: its folder, or its record alone.
std::string WhereHeld(const DaemonRoot& root, const KUID& k, bool folderHeld)
{
    return folderHeld ? HeldCopyFolder(root, k) : HeldRecordFile(root, k);
}

}  // namespace

DbStatus AssetDatabase::HoldInstalled(const KUID& k, uintptr_t owner, uint32_t& held, std::string& at,
                                      DaemonResults* results)
{
    held = kVADHeldNothing;
    at.clear();
    std::unique_lock lk(mutex_);
    auto refuse = [&](const std::string& why) {
        PostNotHeld(results, k, why);
        return DbStatus::kFailed;
    };
    const std::string holdFolder = HoldFolder(root_), folder = HeldCopyFolder(root_, k), name = HoldRecordName(k),
                      record = HeldRecordFile(root_, k);
    if (auto it = holds_.find(k); it != holds_.end() && it->second.owner != 0)
        return refuse("its installed copy is held aside by a run that has not put it back yet");
    // A hold that was not put back is the user's copy: nothing may take its place.
    if (PathTaken(folder) || PathTaken(record))
        return refuse("a copy of it held aside earlier and not put back is in '" +
                      WhereHeld(root_, k, PathTaken(folder)) + "'");
    if (const EditRecord* e = FindEditLocked(k))
        return refuse(e->owner != 0 || committing_.count(k) ? "it is being installed" : "it is open for editing");
    if (packageInstalls_.count(k)) return refuse("it is being installed from a package");
    const AssetRecord* r = FindLocked(k);
    if (!r) return DbStatus::kOK;  // nothing installed: nothing to hold
    const AssetRecord before = *r;
    std::string why;
    if (!MakeHoldFolder(root_, why)) return refuse("its installed copy could not be held aside: " + why);
    // The record is on disk before the folder moves: a kill at any point leaves enough to put it back.
    if (!Platform::WriteOwnerOnlyFile(holdFolder, name, EncodeHoldRecord(before), &why))
        return refuse("its record could not be kept: " + why);
    auto dropRecord = [&] {
        if (!Platform::RemoveOwnerOnlyFile(holdFolder, name))
            DLOG("the record %s/%s could not be removed: %s", holdFolder.c_str(), name.c_str(), std::strerror(errno));
    };
    if (!SyncedForCommitLocked())
    {
        dropRecord();
        return refuse("its record could not be written to disk");
    }
    if (before.source != "local")
    {
        // A built-in copy stays where it is; its record is what a run's install and delete would change.
        SetHoldLocked(k, Hold{owner, before, false, {}});
        held = kVADHeldRecord;
        at = record;
        DLOG("held the record of %s in %s", k.ToString().c_str(), at.c_str());
        return DbStatus::kOK;
    }
    const std::string target = Absolute(before.folder);
    if (!Platform::RenameNoReplace(target, folder))
    {
        why = std::strerror(errno);
        dropRecord();
        return refuse("its installed copy could not be moved into '" + folder + "': " + why);
    }
    // A local copy over a built-in one uncovers the built-in copy, as a delete does.
    AssetRecord builtin;
    const bool uncover = HiddenBuiltinLocked(before, builtin);
    bool ok = SyncedForCommitLocked() && store_.Begin();
    ok = ok && (uncover ? store_.PutAsset(builtin) : store_.DeleteAsset(k));
    // What is put back is the user's copy: a mark it had as a run's own goes now.
    ok = ok && DropRunCopyStoredLocked(k);
    ok = ok && store_.Commit();
    if (!ok)
    {
        store_.Rollback();
        if (!Platform::RenameNoReplace(folder, target))
        {
            // It stays held: the end of this connection, or the next start, puts it back.
            SetHoldLocked(k, Hold{owner, before, true, {}});
            DLOG("%s could not be moved back to %s after the store failed: %s", folder.c_str(), target.c_str(),
                 std::strerror(errno));
            return refuse("the database could not be written, and its copy is in '" + folder +
                          "' until the asset database puts it back");
        }
        dropRecord();
        return refuse("the database could not be written");
    }
    SetHoldLocked(k, Hold{owner, before, true, {}});
    RunCopyChangedLocked(k, nullptr);
    LocalCopyGoneLocked(k, uncover ? &builtin : nullptr);
    held = kVADHeldFolder;
    at = folder;
    DLOG("held %s aside in %s", k.ToString().c_str(), folder.c_str());
    return DbStatus::kOK;
}

void AssetDatabase::SetHoldLocked(const KUID& k, const Hold& hold)
{
    holds_[k] = hold;
    holding_ = holds_.size();
}

void AssetDatabase::KeepHoldLocked(Hold hold)
{
    const KUID k = hold.before.kuid;
    // A change given to its record meanwhile (keywords, the favourite mark) stays with it.
    if (auto it = holds_.find(k); it != holds_.end()) hold.before = it->second.before;
    SetHoldLocked(k, hold);
}

void AssetDatabase::EraseHoldLocked(const KUID& k)
{
    holds_.erase(k);
    holding_ = holds_.size();
}

bool AssetDatabase::RefuseHeldLocked(const KUID& k, uintptr_t holder, DaemonResults* results, const char* what) const
{
    const auto it = holds_.find(k);
    // Not held (or held by the asker): the copy installed may still be a run's own that it is exporting.
    if (it == holds_.end() || (holder != 0 && it->second.owner == holder))
        return RefuseExportedRunCopyLocked(k, holder, results, what);
    const Hold& hold = it->second;
    if (hold.owner != 0)
    {
        PostCannotBeNow(results, k, what,
                        "its installed copy is held aside while dlsparsefolder exports another copy of it; try again "
                        "once that run is done.");
        return true;
    }
    // No run holds it any more: it is the user's copy, waiting to be put back.
    PostCannotBeNow(results, k, what,
                    "its installed copy is kept in '$(FILE_PATH)', where a dlsparsefolder run held it aside, and could "
                    "not be put back ($(REASON_TEXT)); the asset database tries again when it next starts.",
                    {{"file_path", WhereHeld(root_, k, hold.folderHeld)},
                     {"reason_text", hold.failed.empty() ? "no reason was given" : hold.failed}});
    return true;
}

void AssetDatabase::PostCannotBeNow(DaemonResults* results, const KUID& k, const char* what, const std::string& because,
                                    ResultParams params)
{
    params.emplace(params.begin(), "asset_kuid", k.ToString());
    PostResult(results, kResultError, std::string("Asset $(ASSET_KUID) cannot be ") + what + " now: " + because, k,
               params);
}

bool AssetDatabase::RefusesHeld(const KUID& k, uintptr_t connection, DaemonResults* results, const char* what) const
{
    if (holding_.load() == 0 && exporting_.load() == 0) return false;
    std::shared_lock lk(mutex_);
    return RefuseHeldLocked(k, connection, results, what);
}

bool AssetDatabase::ChangeHeldRecordLocked(Hold& hold, const std::function<void(AssetRecord&)>& change)
{
    const KUID k = hold.before.kuid;
    AssetRecord now = hold.before;
    change(now);
    std::string why;
    // The record file is what a start puts back after a kill: it holds the change before the change counts.
    if (!Platform::WriteOwnerOnlyFile(HoldFolder(root_), HoldRecordName(k), EncodeHoldRecord(now), &why) ||
        !SyncedForCommitLocked())
    {
        DLOG("the held record of %s could not be written anew: %s", k.ToString().c_str(),
             why.empty() ? "it could not be written to disk" : why.c_str());
        return false;
    }
    hold.before = std::move(now);
    return true;
}

bool AssetDatabase::KeepWhatStandsInHeldPlaceLocked(const KUID& k, const std::string& target, DaemonResults* results,
                                                    std::string& why)
{
    std::string at;
    if (!KeepUncommittedWork(target, root_.UserData("backups"), k.ToSpacedString() + kFoundWhereHeldCopyGoes, true,
                             &why, &at))
    {
        why = "'" + target + "' stands where it goes back and could not be kept in a backup: " + why;
        return false;
    }
    DLOG("%s stood where the held copy of %s goes back, with no record: kept in %s", target.c_str(),
         k.ToString().c_str(), at.c_str());
    PostResult(results, kResultWarning,
               "A folder without a record stood where the copy of $(ASSET_KUID) held aside goes back; it was kept in "
               "'$(FILE_PATH)'.",
               k, {{"asset_kuid", k.ToString()}, {"file_path", at}});
    return true;
}

bool AssetDatabase::PutBackHoldUnlocked(Hold& hold, DaemonResults* results, std::string& why)
{
    const AssetRecord& before = hold.before;
    const KUID& k = before.kuid;
    const std::string folder = HeldCopyFolder(root_, k), target = Absolute(before.folder);
    // What a local copy installed now is: the run's, unless the user's folder never left (or came back before the
    // daemon was killed), in which case only its record is put back.
    const bool runCopyGoes = hold.folderHeld || before.source != "local", wasHeld = hold.folderHeld;
    auto localCopy = [this](const KUID& kuid) {
        const AssetRecord* r = FindLocked(kuid);
        return r && r->source == "local";
    };
    bool installed = false;
    {
        std::shared_lock lk(mutex_);
        installed = runCopyGoes && localCopy(k);
    }
    // The run's copy goes as the run's own delete would have taken it: nothing else can stand there while the
    // user's copy is held, and the folder it came from stays, so it gets no backup.
    if (installed && DeleteAs(k, results, hold.owner, true) != DbStatus::kOK)
    {
        why = "the copy installed since it was held aside could not be deleted";
        return false;
    }
    CrashPoint("putting-back");
    std::unique_lock lk(mutex_);
    if (runCopyGoes && localCopy(k))
    {
        why = "another copy of it was installed meanwhile";
        return false;
    }
    // Keywords or a favourite mark given to the user's copy meanwhile are part of its record now.
    if (auto it = holds_.find(k); it != holds_.end()) hold.before = it->second.before;
    struct stat st;
    if (hold.folderHeld && ::lstat(target.c_str(), &st) == 0 &&
        !KeepWhatStandsInHeldPlaceLocked(k, target, results, why))
        return false;
    if (hold.folderHeld)
    {
        if (!Platform::RenameNoReplace(folder, target))
        {
            why = "its folder could not be moved back to '" + target + "': " + std::strerror(errno);
            return false;
        }
        hold.folderHeld = false;
    }
    else if (!FolderExists(target))
    {
        // Nothing is left to give the record to: the folder was removed by hand.
        DLOG("the held record of %s is not put back: its folder %s is gone", k.ToString().c_str(), target.c_str());
        if (!Platform::RemoveOwnerOnlyFile(HoldFolder(root_), HoldRecordName(k)))
            DLOG("the record of %s in %s could not be removed", k.ToString().c_str(), HoldFolder(root_).c_str());
        EraseHoldLocked(k);
        return true;
    }
    bool ok = SyncedForCommitLocked() && store_.Begin();
    ok = ok && store_.PutAsset(before) && StoreAuthorLocked(before);
    ok = ok && store_.Commit();
    if (!ok)
    {
        store_.Rollback();
        // Back where it waited, so that the record kept and the folder stay together.
        if (wasHeld && Platform::RenameNoReplace(target, folder)) hold.folderHeld = true;
        why = "the database could not be written";
        return false;
    }
    records_[k] = before;
    obsoletesDirty_ = true;
    EraseHoldLocked(k);
    // A record left behind would be put back again at the next start, over what the asset has become by then.
    if (!Platform::RemoveOwnerOnlyFile(HoldFolder(root_), HoldRecordName(k)))
        DLOG("the record of %s in %s could not be removed: %s", k.ToString().c_str(), HoldFolder(root_).c_str(),
             std::strerror(errno));
    DLOG("put %s back as it was before it was held aside", k.ToString().c_str());
    return true;
}

DbStatus AssetDatabase::PutBackHeld(const KUID& k, uintptr_t owner, DaemonResults* results)
{
    Hold hold;
    {
        std::unique_lock lk(mutex_);
        auto it = holds_.find(k);
        if (it == holds_.end() || it->second.owner != owner)
        {
            PostResult(results, kResultError, "Asset $(ASSET_KUID) is not held aside by this run.", k,
                       {{"asset_kuid", k.ToString()}});
            return DbStatus::kNotFound;
        }
        hold = it->second;
    }
    std::string why;
    const bool back = PutBackHoldUnlocked(hold, results, why);
    std::unique_lock lk(mutex_);
    if (back) return DbStatus::kOK;
    KeepHoldLocked(std::move(hold));
    DLOG("%s could not be put back: %s", k.ToString().c_str(), why.c_str());
    PostResult(results, kResultError, "Asset $(ASSET_KUID) could not be put back as it was: $(REASON_TEXT).", k,
               {{"asset_kuid", k.ToString()}, {"reason_text", why}});
    return DbStatus::kFailed;
}

size_t AssetDatabase::PutBackHoldsOf(uintptr_t owner)
{
    if (exporting_.load() != 0)
    {
        std::unique_lock lk(mutex_);
        std::vector<KUID> theirs;
        for (const auto& [k, exporter] : runCopyExporters_)
            if (exporter == owner) theirs.push_back(k);
        for (const KUID& k : theirs) SetRunCopyExporterLocked(k, 0);
    }
    if (holding_.load() == 0) return 0;
    std::vector<Hold> theirs;
    {
        std::unique_lock lk(mutex_);
        for (const auto& [k, hold] : holds_)
            if (hold.owner == owner) theirs.push_back(hold);
    }
    size_t back = 0;
    for (Hold& hold : theirs)
    {
        const KUID k = hold.before.kuid;
        std::string why;
        const bool done = PutBackHoldUnlocked(hold, nullptr, why);
        std::unique_lock lk(mutex_);
        if (done)
        {
            ++back;
            continue;
        }
        // Nobody holds it any more; the next start tries again, and until then no run may hold it.
        hold.owner = 0;
        hold.failed = why;
        KeepHoldLocked(hold);
        DLOG("%s, held aside by a run that is gone, could not be put back: %s; its copy stays in %s",
             k.ToString().c_str(), why.c_str(), WhereHeld(root_, k, hold.folderHeld).c_str());
    }
    return back;
}

void AssetDatabase::PutBackHoldsLeftAtStart()
{
    {
        std::unique_lock lk(mutex_);
        if (leftHoldsPutBack_) return;
        leftHoldsPutBack_ = true;
    }
    const std::string holdFolder = HoldFolder(root_);
    Platform::Folder folder;
    std::vector<Platform::FolderEntry> entries;
    if (!folder.Open(holdFolder, nullptr, Platform::kOpenNoFinalLink) || !folder.List(entries)) return;
    const std::string_view suffix = ".hold";
    for (const Platform::FolderEntry& entry : entries)
    {
        const std::string& name = entry.name;
        if (entry.type != Platform::EntryType::kFile || name.size() <= suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string bytes, why;
        Hold hold;
        if (!Platform::ReadOwnerOnlyFile(holdFolder, name, kMaxHoldRecordBytes, bytes, &why) ||
            !DecodeHoldRecord(bytes, hold.before, &why) || HoldRecordName(hold.before.kuid) != name)
        {
            DLOG("start-up: the held asset %s/%s is left as it is: %s", holdFolder.c_str(), name.c_str(),
                 why.empty() ? "it is named for another asset" : why.c_str());
            continue;
        }
        const KUID k = hold.before.kuid;
        hold.folderHeld = hold.before.source == "local" && FolderExists(HeldCopyFolder(root_, k));
        if (PutBackHoldUnlocked(hold, nullptr, why))
        {
            DLOG("start-up: %s, held aside by a daemon that was stopped, was put back", k.ToString().c_str());
            continue;
        }
        DLOG("start-up: %s, held aside by a daemon that was stopped, could not be put back: %s; it stays in %s",
             k.ToString().c_str(), why.c_str(), holdFolder.c_str());
        // Nobody's: the next start tries again, and until then nothing takes the asset's place.
        hold.owner = 0;
        hold.failed = why;
        std::unique_lock lk(mutex_);
        KeepHoldLocked(std::move(hold));
    }
}
