// Database state, KUID allocation, repair, settings and the small service requests.
#include "assetdb/VADClient.h"
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADSentBatch.h"

VADResult<uint32_t> VADClient::GetDatabaseStatus()
{
    VADValueReply reply;
    const VADStatus status = VADCall<VAD_REQ_DATABASE_STATUS>(link_, VADEmptyPayload{}, reply);
    if (!status) return status;
    return reply.value;
}

VADStatus VADClient::BeginWaitReady() { return VADCall<VAD_REQ_BEGIN_WAIT_READY>(link_, VADEmptyPayload{}); }

VADResult<bool> VADClient::IsReady()
{
    VADBoolReply reply;
    const VADStatus status = VADCall<VAD_REQ_IS_READY>(link_, VADEmptyPayload{}, reply);
    if (!status) return status;
    return reply.value != 0;
}

VADStatus VADClient::GenerateKUID(KUID& out, ResultsLog* log)
{
    out = KUID::Null();
    VADKuidReply reply;
    const VADStatus status = VADCall<VAD_REQ_GENERATE_KUID>(link_, VADEmptyPayload{}, reply, log);
    if (!status) return status;
    out = reply.kuid;
    return out.IsNull() ? VADStatus(kVADStatusNotFound) : status;
}

VADStatus VADClient::SetNextContentID(int32_t contentId)
{
    return VADCall<VAD_REQ_NEXT_CONTENT_ID>(link_, VADValueRequest{contentId});
}

VADResult<Orvo::String> VADClient::ListBuilds()
{
    VADTextReply reply;
    const VADStatus status = VADCall<VAD_REQ_LIST_BUILDS>(link_, VADEmptyPayload{}, reply);
    if (!status) return status;
    return Orvo::String(std::move(reply.text));
}

VADStatus VADClient::RepairDatabase(uint32_t mode, ResultsLog* log, uint8_t progress)
{
    return VADCall<VAD_REQ_REPAIR_NOW>(link_, VADRepairRequest{mode, progress}, log);
}

VADStatus VADClient::RequestRepairDatabase(uint32_t mode)
{
    return VADSendConfirmed<VAD_REQ_FLAG_REPAIR>(link_, VADValueRequest{static_cast<int32_t>(mode)});
}

VADStatus VADClient::GetSettingsGroup(std::string_view group, TDBTagRef& out, uint32_t flags)
{
    out = TDBTagRef();
    VADTreeReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_GET_SETTINGS_GROUP>(link_, VADSettingsGroupRequest{std::string(group), flags}, reply);
    if (!status) return status;
    if (!VADTreeFromBytes(reply.tree, out)) return VADStatus(kVADStatusBadPayload);
    // A group that holds nothing yet is an empty container, so callers can fill it and write it back.
    if (out.IsNull()) out = TDBTagRef::NewContainer();
    return status;
}

VADStatus VADClient::SetSettingsGroup(std::string_view group, const TDBTagRef& tree)
{
    VADSetSettingsGroupRequest req;
    req.group = std::string(group);
    if (!VADTreeToBytes(tree, req.tree)) return VADStatus(kVADStatusBadPayload);
    return VADCall<VAD_REQ_SET_SETTINGS_GROUP>(link_, req);
}

VADStatus VADClient::GetSettingString(Orvo::PString& out, std::string_view group, std::string_view key)
{
    out = Orvo::PString();
    VADTextReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_SETTING_STRING>(link_, VADTextPairRequest{std::string(group), std::string(key)}, reply);
    if (status) out = Orvo::PString(reply.text);
    return status;
}

VADStatus VADClient::SetSettingInt(std::string_view group, std::string_view key, int32_t value)
{
    return VADSendConfirmed<VAD_REQ_SET_SETTING_INT>(
        link_, VADSetSettingIntRequest{std::string(group), std::string(key), value});
}

VADResult<KUID> VADClient::GetDownloadStationLatestKUID(const KUID& kuid)
{
    VADKuidReply reply;
    const VADStatus status = VADCall<VAD_REQ_DLS_LATEST_KUID>(link_, VADKuidRequest{kuid}, reply);
    if (!status) return status;
    return reply.kuid;
}

VADStatus VADClient::SendAnalyticsHit(std::string_view page, std::string_view label)
{
    return VADSendConfirmed<VAD_REQ_ANALYTICS_HIT>(link_, VADTextPairRequest{std::string(page), std::string(label)});
}

VADStatus VADClient::GetAuthorName(int32_t userId, Orvo::PString& out)
{
    // Negative ids belong to the maker's own content and are never registered users.
    if (userId < 0)
    {
        out = Orvo::PString("Ostrel");
        return VADStatus();
    }
    out = Orvo::PString();
    VADTextReply reply;
    const VADStatus status = VADCall<VAD_REQ_AUTHOR_NAME>(link_, VADValueRequest{userId}, reply);
    if (!status) return status;
    out = Orvo::PString(reply.text);
    return out.empty() ? VADStatus(kVADStatusNotFound) : status;
}

VADResult<bool> VADClient::IsValidKUIDUserId(int32_t userId)
{
    if (userId == -2) return false;
    if (userId < 0) return true;
    VADBoolReply reply;
    const VADStatus status = VADCall<VAD_REQ_USER_ID_VALID>(link_, VADValueRequest{userId}, reply);
    if (!status) return status;
    return reply.value != 0;
}
