// Requests about the database as a whole: status, readiness, close, KUID generation, builds, user ids,
// authors, repair and settings.
#include "daemon/RequestHandlers.h"

#include "daemon/DaemonLog.h"
#include "daemon/DownloadMirror.h"

namespace {
constexpr unsigned kBeginWaitReadyMs = 120000;
constexpr size_t kMaxSettingsGroupName = 256;
}  // namespace

bool HandleServiceRequest(RequestContext& c, int32_t& status)
{
    AssetDatabase& db = c.server.Database();
    status = kVADStatusBadPayload;
    switch (c.code)
    {
    case VAD_REQ_KEEPALIVE:
        if (!c.payload.empty()) return true;
        break;
    case VAD_REQ_DATABASE_STATUS: VADValueReply{db.IsReady() ? 0u : 1u}.Write(c.body); break;
    case VAD_REQ_BEGIN_WAIT_READY: db.WaitReady(kBeginWaitReadyMs); break;
    case VAD_REQ_IS_READY: VADBoolReply{static_cast<uint8_t>(db.IsReady() ? 1 : 0)}.Write(c.body); break;
    case VAD_REQ_CLOSE_DAEMON:
    {
        VADValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        DLOG("close requested by %s (pid %u)%s", c.from->Program().c_str(), c.from->Pid(),
             req.value ? " for an uninstall" : "");
        c.server.RequestShutdown();
        break;
    }
    case VAD_REQ_GENERATE_KUID:
    {
        KUID k = db.GenerateKUID();
        if (k.IsNull())
        {
            status = kVADStatusFailed;
            return true;
        }
        VADKuidReply{k}.Write(c.body);
        break;
    }
    case VAD_REQ_NEXT_CONTENT_ID:
    {
        VADValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        db.SetNextContentId(req.value);
        break;
    }
    case VAD_REQ_LIST_BUILDS:
    {
        std::string text;
        for (const std::string& b : db.BuildList()) text += (text.empty() ? "" : ",") + b;
        VADTextReply{text}.Write(c.body);
        break;
    }
    case VAD_REQ_USER_ID_VALID:
    {
        VADValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADBoolReply{static_cast<uint8_t>(db.UserIdKnown(req.value) ? 1 : 0)}.Write(c.body);
        break;
    }
    case VAD_REQ_AUTHOR_NAME:
    {
        VADValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        std::string name;
        if (!db.AuthorName(req.value, name))
        {
            status = kVADStatusNotFound;
            return true;
        }
        VADTextReply{name}.Write(c.body);
        break;
    }
    case VAD_REQ_REPAIR_NOW:
    {
        VADRepairRequest req;
        if (!DecodeRequest(c, req)) return true;
        DLOG("repair (mode %u) asked by %s", req.mode, c.from->Program().c_str());
        std::function<void(const std::string&)> progress;
        if (req.progress)
            progress = [&c](const std::string& line) {
                c.from->Send(VAD_NOTIFY_PROGRESS, 0, VADEncode(VADProgressNotification{line}));
            };
        db.Reconcile(true, &c.results, progress);
        break;
    }
    case VAD_REQ_FLAG_REPAIR:
    {
        VADValueRequest req;
        if (!DecodeRequest(c, req)) return true;
        // The flag outlives a crash; the repair itself runs at once (nobody waits for an asynchronous request).
        DLOG("repair (mode %d) flagged by %s", req.value, c.from->Program().c_str());
        db.FlagRepair(req.value);
        db.Reconcile(true);
        break;
    }
    case VAD_REQ_GET_SETTINGS_GROUP:
    {
        VADSettingsGroupRequest req;
        if (!DecodeRequest(c, req) || req.group.empty() || req.group.size() > kMaxSettingsGroupName) return true;
        TDBTagRef tree;
        VADTreeReply reply;
        if (!db.GetSettingsGroup(req.group, tree) || !VADTreeToBytes(tree, reply.tree))
        {
            status = kVADStatusFailed;
            return true;
        }
        reply.Write(c.body);
        break;
    }
    case VAD_REQ_SET_SETTINGS_GROUP:
    {
        VADSetSettingsGroupRequest req;
        TDBTagRef tree;
        if (!DecodeRequest(c, req) || req.group.empty() || req.group.size() > kMaxSettingsGroupName ||
            !VADTreeFromBytes(req.tree, tree))
            return true;
        if (tree.IsNull()) tree = TDBTagRef::NewContainer();
        status = db.SetSettingsGroup(req.group, tree) ? kVADStatusOK : kVADStatusFailed;
        if (req.group == "internet") RefreshStationListing(db);
        return true;
    }
    case VAD_REQ_SETTING_STRING:
    {
        VADTextPairRequest req;
        if (!DecodeRequest(c, req) || req.first.size() > kMaxSettingsGroupName) return true;
        VADTextReply{db.GetSettingString(req.first, req.second)}.Write(c.body);
        break;
    }
    case VAD_REQ_SET_SETTING_INT:
    {
        VADSetSettingIntRequest req;
        if (!DecodeRequest(c, req) || req.group.empty() || req.group.size() > kMaxSettingsGroupName || req.key.empty())
            return true;
        status = db.SetSettingInt(req.group, req.key, req.value) ? kVADStatusOK : kVADStatusFailed;
        return true;
    }
    default: return false;
    }
    status = kVADStatusOK;
    return true;
}
