#include "tool/dls/HeldAsset.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "core/ConfigFile.h"
#include "core/VelmarProperty.h"
#include "tool/Support.h"

bool HeldInstalledAsset::Hold(VADClient& client, const Orvo::File::Path& config, const Orvo::File::Path& folder,
                              ResultsLog& log)
{
    kuid_ = KUID::Null();
    held_ = kVADHeldNothing;
    TDBTagRef tree;
    // Bounded as every configuration read is; a folder whose configuration does not read holds no asset to hold.
    if (!LoadConfigFile(tree, "", OnDiskPath(config).str())) return true;
    const KUID kuid = tree.GetChildKUID("kuid");
    if (kuid.IsNull()) return true;
    ResultsLog holdLog;
    if (!client.HoldInstalledAsset(kuid, held_, at_, &holdLog))
    {
        held_ = kVADHeldNothing;
        log.PostResultF(kResultError, "Failed to install asset from: %s", folder.c_str());
        log.AppendErrors(holdLog);
        return false;
    }
    kuid_ = kuid;
    return true;
}

bool HeldInstalledAsset::PutBack(VADClient& client, ResultsLog& log)
{
    if (held_ == kVADHeldNothing) return true;
    const std::string what = held_ == kVADHeldRecord ? "record it had" : "copy installed";
    held_ = kVADHeldNothing;
    ResultsLog putLog;
    if (client.PutBackHeldAsset(kuid_, &putLog)) return true;
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid_)),
                   "Failed to put back asset : " + kuid_.ToString() + "; the " + what +
                       " before this run is kept in '" + at_ +
                       "'; the asset database tries again when this run ends and when it next starts");
    log.AppendErrors(putLog);
    return false;
}
