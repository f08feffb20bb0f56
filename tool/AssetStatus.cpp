#include "tool/AssetStatus.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADRequests.h"

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

void PostAssetError(ResultsLog& log, const KUID& kuid, const char* text)
{
    // A request that failed for want of a link says nothing about the asset ("Unknown AssetID." for one
    // that exists): the link's own error, which the dispatcher posts, stands instead.
    if (VADLinkFailed()) return;
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)), text);
}

bool PrintAssetStatus(const KUID& kuid, ResultsLog& log)
{
    VADAssetInfo info;
    if (!VADGetAssetInfo(kuid, info, VAD_DETAIL_ALL) || !info.IsValid())
    {
        PostAssetError(log, kuid, "Unknown AssetID.");
        return false;
    }
    // Both report true when their own request fails: a state that cannot be confirmed shows as a problem.
    bool missing = VADAssetHasMissingDependencies(kuid, false);
    bool faulty = VADIsAssetFaulty(kuid);
    std::string line = FormatAssetStatusLine(kuid, info, missing, faulty);
    std::printf("+ %s\n", line.c_str());
    std::fflush(stdout);
    return true;
}
