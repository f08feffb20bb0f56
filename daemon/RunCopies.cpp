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
        runCopies_[k] = *put;
    else
        runCopies_.erase(k);
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
