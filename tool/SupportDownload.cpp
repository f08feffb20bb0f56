#include "tool/Support.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADWireIO.h"
#include "core/TDBTagRef.h"

namespace {

void PostAssetFailure(ResultsLog* log, const KUID& kuid, const char* text)
{
    if (!log) return;
    TDBTagRef params;
    params.SetChildString("assetid", KUID::ToText(kuid).View());
    log->PostResult(kResultError, VelmarPropertyRef(), text, params);
}

bool WebRequest(VADConnection* link, uint32_t code, const VADBytes& body, VADRequestReply& reply)
{
    VADRequestId id;
    if (!link || !link->BeginWebRequest(code, body, id)) return false;
    return link->WaitWebRequest(id, reply, kDownloadStationTimeoutMs) && reply.complete && reply.result[0] == 0;
}

}  // namespace

bool InstallFromDownloadStation(VADClient& client, const KUID& kuid, ResultsLog* log)
{
    if (!client.Connected()) return false;
    const KUID latest = client.GetDownloadStationLatestKUID(kuid).ValueOr(KUID::Null());
    if (latest.IsNull())
    {
        PostAssetFailure(log, kuid, "Failed to query DLS for $(assetid)");
        return false;
    }
    VADAssetInfo info;
    if (client.GetAssetInfo(latest, info, VAD_DETAIL_ALL) && info.IsInstalled()) return false;

    VADWriter resolve;
    resolve.Kuid(latest);
    VADRequestReply resolved;
    if (!WebRequest(client.Link(), VAD_REQ_RESOLVE_PACKAGE, resolve.Take(), resolved) || resolved.path.IsEmpty())
    {
        PostAssetFailure(log, latest, "Failed to resolve download path for $(assetid)");
        return false;
    }
    VADWriter download;
    download.String(resolved.path.View());
    download.String(GetContentFolder("cache").View());
    VADRequestReply downloaded;
    if (!WebRequest(client.Link(), VAD_REQ_DOWNLOAD, download.Take(), downloaded) || downloaded.path.IsEmpty())
    {
        PostAssetFailure(log, latest, "Failed to download $(assetid)");
        return false;
    }
    uint8_t out = 0;
    return client.InstallArchive(downloaded.path, log, 2, &out, 0).Ok();
}
