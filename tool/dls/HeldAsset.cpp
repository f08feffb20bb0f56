#include "tool/dls/HeldAsset.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "core/ConfigFile.h"
#include "core/VelmarProperty.h"
#include "tool/Support.h"

#include <sys/stat.h>

HeldInstalledAsset::~HeldInstalledAsset() { Unpin(); }

void HeldInstalledAsset::Unpin()
{
    if (client_ && client_->Link()) client_->Link()->PinLink(0, {});
    client_ = nullptr;
}

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
    if (held_ != kVADHeldNothing && client.Link())
    {
        // The hold answered on the link there is now; the run's requests stay on it while the hold lasts.
        link_ = client.Link()->LinkNumber();
        client_ = &client;
        client.Link()->PinLink(link_, kuid.ToString() + " aside");
    }
    return true;
}

bool HeldInstalledAsset::PutBack(VADClient& client, ResultsLog& log)
{
    if (held_ == kVADHeldNothing) return true;
    const std::string what = held_ == kVADHeldRecord ? "record it had" : "copy installed";
    held_ = kVADHeldNothing;
    ResultsLog putLog;
    const VADStatus put = client.PutBackHeldAsset(kuid_, &putLog);
    Unpin();
    if (put) return true;
    VADConnection* link = client.Link();
    // Only the daemon that held it can put it back now; one that stopped left it for the next to start.
    const bool stopped = put.LinkFailed() || !link || !link->Connected() || link->LinkNumber() != link_;
    std::string text = "Failed to put back asset : " + kuid_.ToString() + "; ";
    struct stat st;
    if (!stopped)
        text += "the " + what + " before this run is kept in '" + at_ +
                "'; the asset database tries again when this run ends and when it next starts";
    else if (::lstat(at_.c_str(), &st) == 0)
        text += "the asset database daemon that held it stopped during this run: the " + what +
                " before this run is kept in '" + at_ +
                "', and the asset database puts it back as it was when it next starts";
    else
        text += "the asset database daemon that held it stopped during this run; the " + what +
                " before this run is no longer held aside in '" + at_ +
                "': the asset database put it back as it was (its log says when)";
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid_)), text);
    log.AppendErrors(putLog);
    return false;
}
