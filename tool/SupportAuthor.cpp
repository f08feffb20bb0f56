#include "tool/Support.h"

#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"

Orvo::PString GetAssetAuthorName(VADClient& client, const KUID& kuid)
{
    VADAssetInfo info;
    // An empty record holds no author; asking for the name of its placeholder id would invent one.
    if (!client.GetAssetInfo(kuid, info, VAD_DETAIL_ALL) || !info.IsValid()) return Orvo::PString();
    Orvo::PString name;
    if (!client.GetAuthorName(info.authorId, name)) return Orvo::PString();
    return name;
}
