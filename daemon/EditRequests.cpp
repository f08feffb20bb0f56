// Requests that change assets: open for edit, edit folder, commit, revert, create, delete, install.
#include "daemon/RequestHandlers.h"

bool HandleEditRequest(RequestContext& c, int32_t& status)
{
    AssetDatabase& db = c.server.Database();
    status = kVADStatusBadPayload;
    switch (c.code)
    {
    case VAD_REQ_OPEN_FOR_EDIT:
    {
        VADKuidFlagRequest req;
        if (!DecodeRequest(c, req)) return true;
        uint32_t handle = 0;
        status = StatusOf(db.OpenForEdit(req.kuid, req.flag != 0, handle, &c.results));
        if (status == kVADStatusOK) VADValueReply{handle}.Write(c.body);
        return true;
    }
    case VAD_REQ_RELEASE_EDIT_HANDLE:
    {
        VADHandleRequest req;
        if (!DecodeRequest(c, req)) return true;
        db.ReleaseHandle(req.handle);
        break;
    }
    case VAD_REQ_EDIT_FOLDER:
    {
        VADHandleRequest req;
        if (!DecodeRequest(c, req)) return true;
        VADEditFolderReply reply;
        status = StatusOf(db.EditFolder(req.handle, reply.name, reply.folder));
        if (status == kVADStatusOK) reply.Write(c.body);
        return true;
    }
    case VAD_REQ_COMMIT:
    {
        VADHandleOptionRequest req;
        if (!DecodeRequest(c, req)) return true;
        status = StatusOf(db.Commit(req.handle, &c.results));
        if (status == kVADStatusOK) VADBoolReply{1}.Write(c.body);
        return true;
    }
    case VAD_REQ_REVERT:
    {
        VADHandleOptionRequest req;
        if (!DecodeRequest(c, req)) return true;
        status = StatusOf(db.Revert(req.handle, &c.results));
        return true;
    }
    case VAD_REQ_CREATE:
    {
        VADCreateRequest req;
        if (!DecodeRequest(c, req)) return true;
        uint32_t handle = 0;
        status = StatusOf(db.Create(req.kuid, req.name, handle, &c.results));
        if (status == kVADStatusOK) VADValueReply{handle}.Write(c.body);
        return true;
    }
    case VAD_REQ_DELETE:
    {
        VADKuidFlagRequest req;
        if (!DecodeRequest(c, req)) return true;
        status = StatusOf(db.Delete(req.kuid, &c.results));
        return true;
    }
    case VAD_REQ_INSTALL_FROM_FOLDER:
    {
        VADPathOptionRequest req;
        if (!DecodeRequest(c, req)) return true;
        KUID k;
        status = StatusOf(db.InstallFromFolder(req.path, k, &c.results));
        if (status == kVADStatusOK) VADKuidReply{k}.Write(c.body);
        return true;
    }
    default: return false;
    }
    status = kVADStatusOK;
    return true;
}
