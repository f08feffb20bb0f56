// Requests that change assets: open for edit, edit folder, commit, revert, create, delete, install.
#include "daemon/RequestHandlers.h"

namespace {

// Who asks, as the database's edits know it: a command host for the install it carries out, else a user (0).
uintptr_t Asker(const RequestContext& c) { return c.server.Broker().IsHost(c.from.get()) ? c.Connection() : 0; }

// Folders in one install request: the store transaction and the database lock cover them all.
constexpr size_t kMaxInstallBatch = 1024;

int32_t OpenForEdit(RequestContext& c, const VADKuidFlagRequest& req, VADValueReply& reply)
{
    NoteUnusedOption(c, "flag", req.flag & ~(kVADOpenForEdit | kVADOpenMakeGoneFolder));
    return StatusOf(c.Db().OpenForEdit(req.kuid, req.flag != 0, reply.value, &c.results, Asker(c),
                                       (req.flag & kVADOpenMakeGoneFolder) != 0));
}

int32_t ReleaseEditHandle(RequestContext& c, const VADHandleRequest& req, VADEmptyPayload&)
{
    c.Db().ReleaseHandle(req.handle);
    return kVADStatusOK;
}

int32_t EditFolder(RequestContext& c, const VADHandleRequest& req, VADEditFolderReply& reply)
{
    return StatusOf(c.Db().EditFolder(req.handle, reply.name, reply.folder, Asker(c)));
}

int32_t Commit(RequestContext& c, const VADHandleOptionRequest& req, VADBoolReply& reply)
{
    NoteUnusedOption(c, "option word", req.option & ~(kVADCommitHandOverFiles | kVADCommitTexturesCompiled));
    NoteUnusedOption(c, "flag", req.flag);
    reply.value = 1;
    const TextureCompileFn compile =
        (req.option & kVADCommitTexturesCompiled) ? TextureCompileFn() : CommandHostTextureCompiler(c);
    return StatusOf(
        c.Db().Commit(req.handle, &c.results, (req.option & kVADCommitHandOverFiles) != 0, compile, Asker(c)));
}

int32_t Revert(RequestContext& c, const VADHandleOptionRequest& req, VADEmptyPayload&)
{
    NoteUnusedOption(c, "option word", req.option);
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().Revert(req.handle, &c.results, Asker(c)));
}

int32_t Create(RequestContext& c, const VADCreateRequest& req, VADValueReply& reply)
{
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().Create(req.kuid, req.name, reply.value, &c.results, Asker(c)));
}

int32_t Delete(RequestContext& c, const VADKuidFlagRequest& req, VADEmptyPayload&)
{
    NoteUnusedOption(c, "flag", req.flag & ~kVADDeleteRunsOwnCopyOnly);
    return StatusOf(c.Db().Delete(req.kuid, &c.results, c.Connection(), (req.flag & kVADDeleteRunsOwnCopyOnly) != 0));
}

int32_t InstallFromFolder(RequestContext& c, const VADPathOptionRequest& req, VADKuidReply& reply)
{
    NoteUnusedOption(c, "option value", req.value & ~kVADInstallNotOverLocalCopy);
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().InstallFromFolder(req.path, reply.kuid, &c.results, CommandHostTextureCompiler(c),
                                             req.value & kVADInstallNotOverLocalCopy, c.Connection()));
}

int32_t InstallFromFolders(RequestContext& c, const VADPathListRequest& req, VADKuidListReply& reply)
{
    if (req.paths.size() > kMaxInstallBatch) return kVADStatusBadPayload;
    NoteUnusedOption(c, "option value",
                     req.value & ~(kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled |
                                   kVADInstallNotOverLocalCopy));
    c.Db().InstallFromFolders(req.paths, reply.kuids, &c.results, req.value, CommandHostTextureCompiler(c),
                              c.Connection());
    return kVADStatusOK;
}

}  // namespace

std::span<const RequestRow> EditRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<VAD_REQ_OPEN_FOR_EDIT, OpenForEdit>(),
        Row<VAD_REQ_RELEASE_EDIT_HANDLE, ReleaseEditHandle>(),
        Row<VAD_REQ_EDIT_FOLDER, EditFolder>(),
        Row<VAD_REQ_COMMIT, Commit>(),
        Row<VAD_REQ_REVERT, Revert>(),
        Row<VAD_REQ_CREATE, Create>(),
        Row<VAD_REQ_DELETE, Delete>(),
        Row<VAD_REQ_INSTALL_FROM_FOLDER, InstallFromFolder>(),
        Row<VAD_REQ_INSTALL_FROM_FOLDERS, InstallFromFolders>(),
    };
    return rows;
}
