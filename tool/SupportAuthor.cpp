#include "tool/Support.h"

#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADRequests.h"

Orvo::PString GetAssetAuthorName(const KUID& kuid)
{
    VADAssetInfo info;
    // An empty record holds no author; asking for the name of its placeholder id would invent one.
    if (!VADGetAssetInfo(kuid, info, VAD_DETAIL_ALL) || !info.IsValid()) return Orvo::PString();
    Orvo::PString name;
    if (!GetAuthorName(info.authorId, name)) return Orvo::PString();
    return name;
}
