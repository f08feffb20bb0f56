// Requests about the database as a whole: status, readiness, close, KUID generation, builds, user ids,
// authors, repair and settings.
#include "daemon/RequestHandlers.h"

#include "daemon/DaemonLog.h"
#include "daemon/DownloadMirror.h"

namespace {

constexpr unsigned kBeginWaitReadyMs = 120000;
constexpr size_t kMaxSettingsGroupName = 256;

bool GoodGroupName(const std::string& group) { return !group.empty() && group.size() <= kMaxSettingsGroupName; }

int32_t KeepAlive(RequestContext&, const VADEmptyPayload&, VADEmptyPayload&) { return kVADStatusOK; }

int32_t DatabaseStatus(RequestContext& c, const VADEmptyPayload&, VADValueReply& reply)
{
    reply.value = c.Db().IsReady() ? 0u : 1u;
    return kVADStatusOK;
}

int32_t BeginWaitReady(RequestContext& c, const VADEmptyPayload&, VADEmptyPayload&)
{
    c.Db().WaitReady(kBeginWaitReadyMs);
    return kVADStatusOK;
}

int32_t IsReady(RequestContext& c, const VADEmptyPayload&, VADBoolReply& reply)
{
    reply.value = c.Db().IsReady() ? 1 : 0;
    return kVADStatusOK;
}

int32_t CloseDaemon(RequestContext& c, const VADValueRequest& req, VADEmptyPayload&)
{
    DLOG("close requested by %s (pid %u)%s", c.from->Program().c_str(), c.from->Pid(),
         req.value ? " for an uninstall" : "");
    c.server.RequestShutdown();
    return kVADStatusOK;
}

int32_t GenerateKUID(RequestContext& c, const VADEmptyPayload&, VADKuidReply& reply)
{
    reply.kuid = c.Db().GenerateKUID(&c.results);
    return reply.kuid.IsNull() ? kVADStatusFailed : kVADStatusOK;
}

int32_t NextContentId(RequestContext& c, const VADValueRequest& req, VADEmptyPayload&)
{
    if (c.Db().SetNextContentId(req.value)) return kVADStatusOK;
    PostResult(&c.results, kResultError, "The asset database could not keep the next content id.");
    return kVADStatusFailed;
}

int32_t ListBuilds(RequestContext& c, const VADEmptyPayload&, VADTextReply& reply)
{
    for (const std::string& b : c.Db().BuildList()) reply.text += (reply.text.empty() ? "" : ",") + b;
    return kVADStatusOK;
}

int32_t UserIdValid(RequestContext& c, const VADValueRequest& req, VADBoolReply& reply)
{
    const DbStatus known = c.Db().UserIdKnown(req.value);
    if (known == DbStatus::kFailed) return kVADStatusFailed;
    reply.value = known == DbStatus::kOK ? 1 : 0;
    return kVADStatusOK;
}

int32_t AuthorName(RequestContext& c, const VADValueRequest& req, VADTextReply& reply)
{
    const DbStatus found = c.Db().AuthorName(req.value, reply.text);
    return found == DbStatus::kOK ? kVADStatusOK : found == DbStatus::kNotFound ? kVADStatusNotFound : kVADStatusFailed;
}

int32_t RepairNow(RequestContext& c, const VADRepairRequest& req, VADEmptyPayload&)
{
    DLOG("repair (mode %u) asked by %s", req.mode, c.from->Program().c_str());
    std::function<void(const std::string&)> progress;
    if (req.progress)
        progress = [&c](const std::string& line) {
            c.from->Send(VAD_NOTIFY_PROGRESS, 0, VADEncode(VADProgressNotification{line}));
        };
    return c.Db().Reconcile(true, &c.results, progress) ? kVADStatusOK : kVADStatusFailed;
}

int32_t FlagRepair(RequestContext& c, const VADValueRequest& req, VADEmptyPayload&)
{
    // The flag outlives a crash; the repair itself runs at once (nobody waits for an asynchronous request).
    DLOG("repair (mode %d) flagged by %s", req.value, c.from->Program().c_str());
    if (!c.Db().FlagRepair(req.value))
    {
        PostResult(&c.results, kResultError, "The asset database could not keep the repair flag.");
        return kVADStatusFailed;
    }
    return c.Db().Reconcile(true) ? kVADStatusOK : kVADStatusFailed;
}

int32_t GetSettingsGroup(RequestContext& c, const VADSettingsGroupRequest& req, VADTreeReply& reply)
{
    NoteUnusedOption(c, "flags", req.flags);
    if (!GoodGroupName(req.group)) return kVADStatusBadPayload;
    TDBTagRef tree;
    return c.Db().GetSettingsGroup(req.group, tree) && VADTreeToBytes(tree, reply.tree) ? kVADStatusOK
                                                                                        : kVADStatusFailed;
}

int32_t SetSettingsGroup(RequestContext& c, const VADSetSettingsGroupRequest& req, VADEmptyPayload&)
{
    TDBTagRef tree;
    if (!GoodGroupName(req.group) || !VADTreeFromBytes(req.tree, tree)) return kVADStatusBadPayload;
    if (tree.IsNull()) tree = TDBTagRef::NewContainer();
    int32_t status = c.Db().SetSettingsGroup(req.group, tree, &c.results) ? kVADStatusOK : kVADStatusFailed;
    if (req.group == "internet") RefreshStationListing(c.Db());
    return status;
}

int32_t SettingString(RequestContext& c, const VADTextPairRequest& req, VADTextReply& reply)
{
    if (req.first.size() > kMaxSettingsGroupName) return kVADStatusBadPayload;
    return c.Db().GetSettingString(req.first, req.second, reply.text) ? kVADStatusOK : kVADStatusFailed;
}

int32_t SetSettingInt(RequestContext& c, const VADSetSettingIntRequest& req, VADEmptyPayload&)
{
    if (!GoodGroupName(req.group) || req.key.empty()) return kVADStatusBadPayload;
    return c.Db().SetSettingInt(req.group, req.key, req.value) ? kVADStatusOK : kVADStatusFailed;
}

// Answered in turn like any request of the connection, so everything sent before it on the link is done by now.
int32_t ConfirmSent(RequestContext& c, const VADConfirmSentRequest& req, VADConfirmSentReply& reply)
{
    c.from->Outcomes().Answer(req.first, reply);
    return kVADStatusOK;
}

}  // namespace

std::span<const RequestRow> ServiceRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<VAD_REQ_KEEPALIVE, KeepAlive>(true),
        Row<VAD_REQ_DATABASE_STATUS, DatabaseStatus>(true),
        Row<VAD_REQ_BEGIN_WAIT_READY, BeginWaitReady>(true),
        Row<VAD_REQ_IS_READY, IsReady>(true),
        Row<VAD_REQ_CLOSE_DAEMON, CloseDaemon>(true),
        Row<VAD_REQ_GENERATE_KUID, GenerateKUID>(),
        Row<VAD_REQ_NEXT_CONTENT_ID, NextContentId>(),
        Row<VAD_REQ_LIST_BUILDS, ListBuilds>(),
        Row<VAD_REQ_USER_ID_VALID, UserIdValid>(),
        Row<VAD_REQ_AUTHOR_NAME, AuthorName>(),
        Row<VAD_REQ_REPAIR_NOW, RepairNow>(),
        Row<VAD_REQ_FLAG_REPAIR, FlagRepair>(),
        Row<VAD_REQ_GET_SETTINGS_GROUP, GetSettingsGroup>(),
        Row<VAD_REQ_SET_SETTINGS_GROUP, SetSettingsGroup>(),
        Row<VAD_REQ_SETTING_STRING, SettingString>(),
        Row<VAD_REQ_SET_SETTING_INT, SetSettingInt>(),
        Row<VAD_REQ_CONFIRM_SENT, ConfirmSent>(true),
    };
    return rows;
}
