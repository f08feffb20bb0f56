// Asset records, texts and queries.
#include "assetdb/VADClient.h"
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADSentBatch.h"

namespace {

template <uint32_t Code>
VADResult<Orvo::String> TextOf(VADConnection* link, const KUID& kuid)
{
    VADTextReply reply;
    const VADStatus status = VADCall<Code>(link, VADKuidRequest{kuid}, reply);
    if (!status) return status;
    return Orvo::String(std::move(reply.text));
}

template <uint32_t Code>
VADResult<bool> YesOrNo(VADConnection* link, const typename VADRequestTypes<Code>::Request& request)
{
    VADBoolReply reply;
    const VADStatus status = VADCall<Code>(link, request, reply);
    if (!status) return status;
    return reply.value != 0;
}

// A tree from a reply blob; NotFound for the null tree, BadPayload for bytes that are not a tree.
VADStatus TreeOf(const VADBytes& bytes, TDBTagRef& out)
{
    if (!VADTreeFromBytes(bytes, out)) return VADStatus(kVADStatusBadPayload);
    return out.IsNull() ? VADStatus(kVADStatusNotFound) : VADStatus();
}

}  // namespace

VADStatus VADClient::GetAssetInfo(const KUID& kuid, VADAssetInfo& info, int32_t detailMask)
{
    info.Clear();
    VADAssetInfoReply reply;
    const VADStatus status = VADCall<VAD_REQ_INFO>(link_, VADKuidValueRequest{kuid, detailMask}, reply);
    if (!status) return status;
    if (!reply.info.IsValid()) return VADStatus(kVADStatusNotFound);
    info = std::move(reply.info);
    return status;
}

VADResult<Orvo::String> VADClient::GetAssetName(const KUID& kuid)
{
    VADAssetInfo info;
    const VADStatus status = GetAssetInfo(kuid, info, VAD_DETAIL_NAME);
    if (!status) return status;
    return Orvo::String(info.username);
}

VADResult<Orvo::String> VADClient::GetAssetCategoryRegion(const KUID& kuid)
{
    VADAssetInfo info;
    const VADStatus status = GetAssetInfo(kuid, info, VAD_DETAIL_CATEGORY);
    if (!status) return status;
    return Orvo::String(info.region);
}

VADResult<Orvo::String> VADClient::GetAssetCategoryEra(const KUID& kuid)
{
    VADAssetInfo info;
    const VADStatus status = GetAssetInfo(kuid, info, VAD_DETAIL_CATEGORY);
    if (!status) return status;
    return Orvo::String(info.era);
}

VADResult<Orvo::String> VADClient::GetAssetDescription(const KUID& kuid)
{
    return TextOf<VAD_REQ_DESCRIPTION>(link_, kuid);
}

VADStatus VADClient::GetAssetConfig(TDBTagRef& out, const KUID& kuid, uint8_t flag)
{
    out = TDBTagRef();
    VADTreeReply reply;
    const VADStatus status = VADCall<VAD_REQ_CONFIG>(link_, VADKuidFlagRequest{kuid, flag}, reply);
    return status ? TreeOf(reply.tree, out) : status;
}

VADStatus VADClient::GetAssetDependencies(const KUID& kuid, ChunkedList<KUID>& out)
{
    VADKuidListReply reply;
    const VADStatus status = VADCall<VAD_REQ_DEPENDENCIES>(link_, VADKuidRequest{kuid}, reply);
    if (!status) return status;
    for (const KUID& k : reply.kuids) out.Add(k);
    return status;
}

VADStatus VADClient::GetAssetObsoletes(const KUID& kuid, std::set<KUID>& out)
{
    VADKuidListReply reply;
    const VADStatus status = VADCall<VAD_REQ_OBSOLETES>(link_, VADKuidRequest{kuid}, reply);
    if (!status) return status;
    out.insert(reply.kuids.begin(), reply.kuids.end());
    return status;
}

VADStatus VADClient::GetAssetThumbnail(const KUID& kuid, uint32_t size, Orvo::PString& name,
                                       Orvo::File::Path& localPath, Orvo::String& text)
{
    name = Orvo::PString();
    localPath = Orvo::File::Path();
    text = Orvo::String();
    VADThumbnailReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_THUMBNAIL>(link_, VADKuidValueRequest{kuid, static_cast<int32_t>(size)}, reply);
    if (!status) return status;
    name = Orvo::PString(reply.name);
    localPath = Orvo::File::Path(reply.path);
    text = Orvo::String(std::move(reply.text));
    return localPath.IsEmpty() ? VADStatus(kVADStatusNotFound) : status;
}

VADResult<bool> VADClient::AssetHasMissingDependencies(const KUID& kuid, bool localOnly)
{
    return YesOrNo<VAD_REQ_MISSING_DEPENDENCIES>(link_, VADKuidFlagRequest{kuid, localOnly ? uint8_t(1) : uint8_t(0)});
}

VADResult<bool> VADClient::IsAssetFaulty(const KUID& kuid)
{
    return YesOrNo<VAD_REQ_FAULTY>(link_, VADKuidRequest{kuid});
}

VADStatus VADClient::GetAssetArchiveEntry(TDBTagRef& out, const KUID& kuid, ResultsLog* log, int32_t detail)
{
    out = TDBTagRef();
    VADTreeReply reply;
    const VADStatus status = VADCall<VAD_REQ_ARCHIVE_ENTRY>(link_, VADKuidValueRequest{kuid, detail}, reply, log);
    return status ? TreeOf(reply.tree, out) : status;
}

VADStatus VADClient::GetAssetFolders(const std::vector<KUID>& kuids, std::vector<std::pair<bool, std::string>>& out,
                                     ResultsLog* log)
{
    out.clear();
    VADAssetFoldersReply reply;
    const VADStatus status = VADCall<VAD_REQ_ASSET_FOLDERS>(link_, VADKuidListRequest{kuids}, reply, log);
    if (!status) return status;
    if (reply.folders.size() != kuids.size()) return VADStatus(kVADStatusBadPayload);
    out.reserve(reply.folders.size());
    for (auto& [installed, folder] : reply.folders) out.emplace_back(installed != 0, std::move(folder));
    return status;
}

VADResult<Orvo::String> VADClient::GetAssetKeywords(const KUID& kuid)
{
    return TextOf<VAD_REQ_GET_KEYWORDS>(link_, kuid);
}

VADStatus VADClient::SetAssetKeywords(const KUID& kuid, std::string_view keywords)
{
    return VADSendConfirmed<VAD_REQ_SET_KEYWORDS>(link_, VADKuidTextRequest{kuid, std::string(keywords)});
}

VADStatus VADClient::SetAssetFavorite(const KUID& kuid, uint8_t flag)
{
    return VADSendConfirmed<VAD_REQ_FAVOURITE>(link_, VADKuidFlagRequest{kuid, flag});
}

VADStatus VADClient::QueryAssets(const VADFilterElementGroup& filter, ChunkedList<KUID>& out)
{
    // The filter is written in place rather than copied into a VADQueryRequest.
    VADBytes request;
    {
        VADWriter w;
        VADPutField(w, filter);
        request = w.Take();
    }
    if (!link_) return VADStatus(kVADStatusLinkDropped);
    VADBytes body;
    VADKuidListReply reply;
    const VADStatus status = link_->Perform(VAD_REQ_QUERY, request, body);
    if (!status) return status;
    if (!VADDecode(body, reply)) return VADStatus(kVADStatusBadPayload);
    for (const KUID& k : reply.kuids) out.Add(k);
    return status;
}
