// Asset records, texts and queries.
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADRequests.h"

namespace {

template <uint32_t Code>
Orvo::String TextOf(const KUID& kuid)
{
    VADTextReply reply;
    if (!VADCall<Code>(VADKuidRequest{kuid}, reply)) return Orvo::String();
    return Orvo::String(std::move(reply.text));
}

// True unless the daemon answers a clear "no": both questions err on the careful side.
template <uint32_t Code>
bool YesUnlessNo(const typename VADRequestTypes<Code>::Request& request)
{
    VADBoolReply reply;
    if (!VADCall<Code>(request, reply)) return true;
    return reply.value != 0;
}

}  // namespace

bool VADGetAssetInfo(const KUID& kuid, VADAssetInfo& info, int32_t detailMask)
{
    info.Clear();
    VADAssetInfoReply reply;
    if (!VADCall<VAD_REQ_INFO>(VADKuidValueRequest{kuid, detailMask}, reply)) return false;
    if (!reply.info.IsValid()) return false;
    info = std::move(reply.info);
    return true;
}

Orvo::String VADGetAssetName(const KUID& kuid)
{
    VADAssetInfo info;
    if (!VADGetAssetInfo(kuid, info, VAD_DETAIL_NAME)) return Orvo::String();
    return Orvo::String(info.username);
}

Orvo::String VADGetAssetCategoryRegion(const KUID& kuid)
{
    VADAssetInfo info;
    if (!VADGetAssetInfo(kuid, info, VAD_DETAIL_CATEGORY)) return Orvo::String();
    return Orvo::String(info.region);
}

Orvo::String VADGetAssetCategoryEra(const KUID& kuid)
{
    VADAssetInfo info;
    if (!VADGetAssetInfo(kuid, info, VAD_DETAIL_CATEGORY)) return Orvo::String();
    return Orvo::String(info.era);
}

Orvo::String VADGetAssetDescription(const KUID& kuid) { return TextOf<VAD_REQ_DESCRIPTION>(kuid); }

bool VADGetAssetConfig(TDBTagRef& out, const KUID& kuid, uint8_t flag)
{
    out = TDBTagRef();
    VADTreeReply reply;
    if (!VADCall<VAD_REQ_CONFIG>(VADKuidFlagRequest{kuid, flag}, reply)) return false;
    return VADTreeFromBytes(reply.tree, out) && !out.IsNull();
}

bool VADGetAssetDependencies(const KUID& kuid, ChunkedList<KUID>& out)
{
    VADKuidListReply reply;
    if (!VADCall<VAD_REQ_DEPENDENCIES>(VADKuidRequest{kuid}, reply)) return false;
    for (const KUID& k : reply.kuids) out.Add(k);
    return true;
}

bool VADGetAssetObsoletes(const KUID& kuid, std::set<KUID>& out)
{
    VADKuidListReply reply;
    if (!VADCall<VAD_REQ_OBSOLETES>(VADKuidRequest{kuid}, reply)) return false;
    out.insert(reply.kuids.begin(), reply.kuids.end());
    return true;
}

bool VADGetAssetThumbnail(const KUID& kuid, uint32_t size, Orvo::PString& name, Orvo::File::Path& localPath,
                          Orvo::String& text)
{
    name = Orvo::PString();
    localPath = Orvo::File::Path();
    text = Orvo::String();
    VADThumbnailReply reply;
    if (!VADCall<VAD_REQ_THUMBNAIL>(VADKuidValueRequest{kuid, static_cast<int32_t>(size)}, reply)) return false;
    name = Orvo::PString(reply.name);
    localPath = Orvo::File::Path(reply.path);
    text = Orvo::String(std::move(reply.text));
    return !localPath.IsEmpty();
}

bool VADAssetHasMissingDependencies(const KUID& kuid, bool localOnly)
{
    return YesUnlessNo<VAD_REQ_MISSING_DEPENDENCIES>(VADKuidFlagRequest{kuid, localOnly ? uint8_t(1) : uint8_t(0)});
}

bool VADIsAssetFaulty(const KUID& kuid) { return YesUnlessNo<VAD_REQ_FAULTY>(VADKuidRequest{kuid}); }

bool VADGetAssetArchiveEntry(TDBTagRef& out, const KUID& kuid, ResultsLog* log, int32_t detail)
{
    out = TDBTagRef();
    VADTreeReply reply;
    if (!VADCall<VAD_REQ_ARCHIVE_ENTRY>(VADKuidValueRequest{kuid, detail}, reply, log)) return false;
    return VADTreeFromBytes(reply.tree, out) && !out.IsNull();
}

bool VADGetAssetFolders(const std::vector<KUID>& kuids, std::vector<std::pair<bool, std::string>>& out, ResultsLog* log)
{
    out.clear();
    VADAssetFoldersReply reply;
    if (!VADCall<VAD_REQ_ASSET_FOLDERS>(VADKuidListRequest{kuids}, reply, log)) return false;
    if (reply.folders.size() != kuids.size()) return false;
    out.reserve(reply.folders.size());
    for (auto& [installed, folder] : reply.folders) out.emplace_back(installed != 0, std::move(folder));
    return true;
}

Orvo::String VADGetAssetKeywords(const KUID& kuid) { return TextOf<VAD_REQ_GET_KEYWORDS>(kuid); }

bool VADSetAssetKeywords(const KUID& kuid, std::string_view keywords)
{
    return VADSend<VAD_REQ_SET_KEYWORDS>(VADKuidTextRequest{kuid, std::string(keywords)});
}

bool VADSetAssetFavorite(const KUID& kuid, uint8_t flag)
{
    return VADSend<VAD_REQ_FAVOURITE>(VADKuidFlagRequest{kuid, flag});
}

bool VADQueryAssets(const VADFilterElementGroup& filter, ChunkedList<KUID>& out)
{
    // The filter is written in place rather than copied into a VADQueryRequest.
    VADBytes request;
    {
        VADWriter w;
        VADPutField(w, filter);
        request = w.Take();
    }
    VADBytes body;
    VADKuidListReply reply;
    if (!VADPerformTransaction(VAD_REQ_QUERY, request, body) || !VADDecode(body, reply)) return false;
    for (const KUID& k : reply.kuids) out.Add(k);
    return true;
}
