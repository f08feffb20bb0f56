#include "tool/AssetStatus.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"

#include <cstdio>

namespace {

char Letter(char upper, bool value) { return value ? upper : static_cast<char>(upper - 'A' + 'a'); }

}  // namespace

std::string FormatAssetStatusLine(const KUID& kuid, const VADAssetInfo& info, bool missingDependencies, bool faulty)
{
    std::string line = KUID::ToText(kuid).str();
    line += " : ";
    line += Letter('E', (info.flags2 & VAD_INFO2_OPEN_FOR_EDIT) != 0);
    line += Letter('I', (info.flags & VAD_INFO_INSTALLED) != 0);
    line += Letter('A', (info.flags2 & VAD_INFO2_ARCHIVED) != 0);
    line += Letter('D', (info.flags & VAD_INFO_ON_DLS) != 0);
    line += Letter('L', (info.flags & VAD_INFO_LOCALLY_MODIFIED) != 0);
    line += Letter('M', missingDependencies);
    line += Letter('F', faulty);
    line += " : ";
    line += info.category.View();
    line += " : ";
    line += info.username;
    return line;
}

void PostAssetError(const VADClient& client, ResultsLog& log, const KUID& kuid, const char* text)
{
    // A request that failed for want of a link says nothing about the asset ("Unknown AssetID." for one
    // that exists): the link's own error, which the dispatcher posts, stands instead.
    if (client.LinkFailed()) return;
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)), text);
}

bool PrintAssetStatus(VADClient& client, const KUID& kuid, ResultsLog& log)
{
    VADAssetInfo info;
    if (!client.GetAssetInfo(kuid, info, VAD_DETAIL_ALL) || !info.IsValid())
    {
        PostAssetError(client, log, kuid, "Unknown AssetID.");
        return false;
    }
    // A state whose request fails shows as a problem: one that cannot be confirmed is not clean.
    const bool missing = client.AssetHasMissingDependencies(kuid, false).ValueOr(true);
    const bool faulty = client.IsAssetFaulty(kuid).ValueOr(true);
    std::string line = FormatAssetStatusLine(kuid, info, missing, faulty);
    std::printf("+ %s\n", line.c_str());
    std::fflush(stdout);
    return true;
}
