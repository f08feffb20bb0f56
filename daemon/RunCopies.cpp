// Runs' own copies: what dlsparsefolder installs from the folder it reads (kVADInstallNotOverLocalCopy) and deletes
// again. The mark is stored with the copy's record, so that any daemon knows it, and names the copy itself (its
// install time and configuration stamp), so that a copy installed in its place never passes for it.
#include "daemon/AssetDatabase.h"

bool AssetDatabase::RunsOwnCopyLocked(const KUID& k, const AssetRecord& r) const
{
    const auto it = runCopies_.find(k);
    return it != runCopies_.end() && it->second.Names(r);
}

bool AssetDatabase::DropRunCopyStoredLocked(const KUID& k)
{
    // The store holds what memory holds: a KUID without a mark has no row to drop.
    return !runCopies_.count(k) || store_.DropRunCopy(k);
}

void AssetDatabase::RunCopyChangedLocked(const KUID& k, const RunCopyMark* put)
{
    if (put)
    {
        runCopies_[k] = *put;
        return;
    }
    runCopies_.erase(k);
    // Another copy, or none, stands now: nobody exports a copy of the run's there.
    SetRunCopyExporterLocked(k, 0);
}

void AssetDatabase::SetRunCopyExporterLocked(const KUID& k, uintptr_t connection)
{
    if (connection != 0)
        runCopyExporters_[k] = connection;
    else
        runCopyExporters_.erase(k);
    exporting_ = runCopyExporters_.size();
}

bool AssetDatabase::RefuseExportedRunCopyLocked(const KUID& k, uintptr_t asker, DaemonResults* results,
                                                const char* what) const
{
    const auto it = runCopyExporters_.find(k);
    if (it == runCopyExporters_.end() || (asker != 0 && it->second == asker)) return false;
    PostCannotBeNow(results, k, what,
                    "dlsparsefolder is exporting the copy of it that it installed from the folder it reads; try again "
                    "once that run is done.");
    return true;
}

std::vector<KUID> AssetDatabase::RunCopiesWithoutTheirCopyLocked() const
{
    std::vector<KUID> gone;
    for (const auto& [k, mark] : runCopies_)
        if (const AssetRecord* r = FindLocked(k); !r || !mark.Names(*r)) gone.push_back(k);
    return gone;
}

void AssetDatabase::PostNotRunsOwnCopy(DaemonResults* results, const KUID& k)
{
    PostResult(results, kResultWarning,
               "Asset $(ASSET_KUID) was installed anew while this run exported it: the copy installed now is not the "
               "run's, and it stays installed.",
               k, {{"asset_kuid", k.ToString()}});
}
