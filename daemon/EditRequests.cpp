// Requests that change assets: open for edit, edit folder, commit, revert, create, delete, install.
#include "daemon/RequestHandlers.h"

namespace {

// Folders in one install request: the store transaction and the database lock cover them all.
constexpr size_t kMaxInstallBatch = 1024;

int32_t OpenForEdit(RequestContext& c, const VADKuidFlagRequest& req, VADValueReply& reply)
{
    return StatusOf(c.Db().OpenForEdit(req.kuid, req.flag != 0, reply.value, &c.results));
}

int32_t ReleaseEditHandle(RequestContext& c, const VADHandleRequest& req, VADEmptyPayload&)
{
    c.Db().ReleaseHandle(req.handle);
    return kVADStatusOK;
}

int32_t EditFolder(RequestContext& c, const VADHandleRequest& req, VADEditFolderReply& reply)
{
    return StatusOf(c.Db().EditFolder(req.handle, reply.name, reply.folder));
}

int32_t Commit(RequestContext& c, const VADHandleOptionRequest& req, VADBoolReply& reply)
{
    NoteUnusedOption(c, "option word", req.option & ~(kVADCommitHandOverFiles | kVADCommitTexturesCompiled));
    NoteUnusedOption(c, "flag", req.flag);
    reply.value = 1;
    const TextureCompileFn compile =
        (req.option & kVADCommitTexturesCompiled) ? TextureCompileFn() : CommandHostTextureCompiler(c);
    return StatusOf(c.Db().Commit(req.handle, &c.results, (req.option & kVADCommitHandOverFiles) != 0, compile));
}

int32_t Revert(RequestContext& c, const VADHandleOptionRequest& req, VADEmptyPayload&)
{
    NoteUnusedOption(c, "option word", req.option);
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().Revert(req.handle, &c.results));
}

int32_t Create(RequestContext& c, const VADCreateRequest& req, VADValueReply& reply)
{
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().Create(req.kuid, req.name, reply.value, &c.results));
}

int32_t Delete(RequestContext& c, const VADKuidFlagRequest& req, VADEmptyPayload&)
{
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().Delete(req.kuid, &c.results));
}

int32_t InstallFromFolder(RequestContext& c, const VADPathOptionRequest& req, VADKuidReply& reply)
{
    NoteUnusedOption(c, "option value", req.value);
    NoteUnusedOption(c, "flag", req.flag);
    return StatusOf(c.Db().InstallFromFolder(req.path, reply.kuid, &c.results, CommandHostTextureCompiler(c)));
}

int32_t InstallFromFolders(RequestContext& c, const VADPathListRequest& req, VADKuidListReply& reply)
{
    if (req.paths.size() > kMaxInstallBatch) return kVADStatusBadPayload;
    NoteUnusedOption(c, "option value",
                     req.value & ~(kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled));
    c.Db().InstallFromFolders(req.paths, reply.kuids, &c.results, req.value, CommandHostTextureCompiler(c));
    return kVADStatusOK;
}

}  // namespace

std::span<const RequestRow> EditRequestRows()
{
    static constexpr RequestRow rows[] = {
        Row<OpenForEdit>(VAD_REQ_OPEN_FOR_EDIT),
        Row<ReleaseEditHandle>(VAD_REQ_RELEASE_EDIT_HANDLE),
        Row<EditFolder>(VAD_REQ_EDIT_FOLDER),
        Row<Commit>(VAD_REQ_COMMIT),
        Row<Revert>(VAD_REQ_REVERT),
        Row<Create>(VAD_REQ_CREATE),
        Row<Delete>(VAD_REQ_DELETE),
        Row<InstallFromFolder>(VAD_REQ_INSTALL_FROM_FOLDER),
        Row<InstallFromFolders>(VAD_REQ_INSTALL_FROM_FOLDERS),
    };
    return rows;
}
