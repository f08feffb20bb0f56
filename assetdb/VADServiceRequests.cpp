// Database state, KUID allocation, repair, settings and the small service requests.
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADRequests.h"

uint32_t VADGetDatabaseStatus()
{
    VADValueReply reply;
    if (!VADCall<VAD_REQ_DATABASE_STATUS>(VADEmptyPayload{}, reply)) return 0xFFFFFFFFu;
    return reply.value;
}

bool VADBeginWaitReady() { return VADCall<VAD_REQ_BEGIN_WAIT_READY>(VADEmptyPayload{}); }

bool VADIsReady()
{
    VADBoolReply reply;
    return VADCall<VAD_REQ_IS_READY>(VADEmptyPayload{}, reply) && reply.value != 0;
}

bool VADGenerateKUID(KUID& out, ResultsLog* log)
{
    out = KUID::Null();
    VADKuidReply reply;
    if (!VADCall<VAD_REQ_GENERATE_KUID>(VADEmptyPayload{}, reply, log)) return false;
    out = reply.kuid;
    return !out.IsNull();
}

KUID VADGenerateKUID()
{
    KUID k;
    VADGenerateKUID(k);
    return k;
}

bool VADSetNextContentID(int32_t contentId) { return VADCall<VAD_REQ_NEXT_CONTENT_ID>(VADValueRequest{contentId}); }

Orvo::String VADListBuilds()
{
    VADTextReply reply;
    if (!VADCall<VAD_REQ_LIST_BUILDS>(VADEmptyPayload{}, reply)) return Orvo::String();
    return Orvo::String(std::move(reply.text));
}

bool VADRepairDatabase(uint32_t mode, ResultsLog* log, uint8_t progress)
{
    return VADCall<VAD_REQ_REPAIR_NOW>(VADRepairRequest{mode, progress}, log);
}

bool VADRequestRepairDatabase(uint32_t mode)
{
    return VADSend<VAD_REQ_FLAG_REPAIR>(VADValueRequest{static_cast<int32_t>(mode)});
}

bool VADGetSettingsGroup(std::string_view group, TDBTagRef& out, uint32_t flags)
{
    out = TDBTagRef();
    VADTreeReply reply;
    if (!VADCall<VAD_REQ_GET_SETTINGS_GROUP>(VADSettingsGroupRequest{std::string(group), flags}, reply)) return false;
    if (!VADTreeFromBytes(reply.tree, out)) return false;
    // A group that holds nothing yet is an empty container, so callers can fill it and write it back.
    if (out.IsNull()) out = TDBTagRef::NewContainer();
    return true;
}

bool VADSetSettingsGroup(std::string_view group, const TDBTagRef& tree)
{
    VADSetSettingsGroupRequest req;
    req.group = std::string(group);
    if (!VADTreeToBytes(tree, req.tree)) return false;
    return VADCall<VAD_REQ_SET_SETTINGS_GROUP>(req);
}

bool VADGetSettingString(Orvo::PString& out, std::string_view group, std::string_view key)
{
    out = Orvo::PString();
    VADTextReply reply;
    if (!VADCall<VAD_REQ_SETTING_STRING>(VADTextPairRequest{std::string(group), std::string(key)}, reply)) return false;
    out = Orvo::PString(reply.text);
    return true;
}

bool VADSetSettingInt(std::string_view group, std::string_view key, int32_t value)
{
    return VADSend<VAD_REQ_SET_SETTING_INT>(VADSetSettingIntRequest{std::string(group), std::string(key), value});
}

KUID VADGetDownloadStationLatestKUID(const KUID& kuid)
{
    VADKuidReply reply;
    if (!VADCall<VAD_REQ_DLS_LATEST_KUID>(VADKuidRequest{kuid}, reply)) return KUID::Null();
    return reply.kuid;
}

bool VADSendAnalyticsHit(std::string_view page, std::string_view label)
{
    return VADSend<VAD_REQ_ANALYTICS_HIT>(VADTextPairRequest{std::string(page), std::string(label)});
}

bool GetAuthorName(int32_t userId, Orvo::PString& out)
{
    // Negative ids belong to the maker's own content and are never registered users.
    if (userId < 0)
    {
        out = Orvo::PString("Ostrel");
        return true;
    }
    out = Orvo::PString();
    VADTextReply reply;
    if (!VADCall<VAD_REQ_AUTHOR_NAME>(VADValueRequest{userId}, reply)) return false;
    out = Orvo::PString(reply.text);
    return !out.empty();
}

bool IsValidKUIDUserId(int32_t userId)
{
    if (userId == -2) return false;
    if (userId < 0) return true;
    VADBoolReply reply;
    return VADCall<VAD_REQ_USER_ID_VALID>(VADValueRequest{userId}, reply) && reply.value != 0;
}
