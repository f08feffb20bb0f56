// Opening, creating, committing, reverting, deleting and installing assets.
#include "assetdb/VADClient.h"
#include "assetdb/VADRequestCall.h"

#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResultsLog.h"

namespace {

template <uint32_t Code>
VADStatus HandleReply(VADConnection* link, const typename VADRequestTypes<Code>::Request& request, VADEditHandle& out,
                      ResultsLog* log)
{
    out.Release();
    VADValueReply reply;
    const VADStatus status = VADCall<Code>(link, request, reply, log);
    if (!status) return status;
    if (reply.value == 0) return VADStatus(kVADStatusNotFound);
    out = VADEditHandle::FromDaemonHandle(reply.value, link);
    return status;
}

}  // namespace

VADStatus VADClient::OpenAssetForEdit(VADEditHandle& out, const KUID& kuid, uint8_t flag, ResultsLog* log)
{
    return HandleReply<VAD_REQ_OPEN_FOR_EDIT>(link_, VADKuidFlagRequest{kuid, flag}, out, log);
}

VADStatus VADClient::CreateAsset(VADEditHandle& out, const KUID& kuid, std::string_view displayName, uint8_t flag,
                                 ResultsLog* log)
{
    return HandleReply<VAD_REQ_CREATE>(link_, VADCreateRequest{kuid, std::string(displayName), flag}, out, log);
}

VADStatus VADClient::GetEditFolder(const VADEditHandle& handle, Orvo::PString& name, Orvo::File::Path& folder)
{
    name = Orvo::PString();
    folder = Orvo::File::Path();
    if (!handle.IsValid()) return VADStatus(kVADStatusNotFound);
    VADEditFolderReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_EDIT_FOLDER>(link_, VADHandleRequest{handle.GetId()}, reply, nullptr, handle.LinkNumber());
    if (!status) return status;
    name = Orvo::PString(reply.name);
    folder = Orvo::File::Path(reply.folder);
    return folder.IsEmpty() ? VADStatus(kVADStatusNotFound) : status;
}

VADStatus VADClient::CommitAsset(const VADEditHandle& handle, uint32_t option, ResultsLog* log, uint8_t* outByte,
                                 uint8_t flag)
{
    if (outByte) *outByte = 0;
    if (!handle.IsValid()) return VADStatus(kVADStatusNotFound);
    VADBoolReply reply;
    const VADStatus status = VADCall<VAD_REQ_COMMIT>(link_, VADHandleOptionRequest{handle.GetId(), option, flag}, reply,
                                                     log, handle.LinkNumber());
    if (status && outByte) *outByte = reply.value;
    return status;
}

VADStatus VADClient::RevertAsset(const VADEditHandle& handle, uint32_t option, uint8_t flag, ResultsLog* log)
{
    if (!handle.IsValid()) return VADStatus(kVADStatusNotFound);
    return VADCall<VAD_REQ_REVERT>(link_, VADHandleOptionRequest{handle.GetId(), option, flag}, log,
                                   handle.LinkNumber());
}

VADStatus VADClient::RevertAssetByKUID(const KUID& kuid, ResultsLog* log, uint8_t flag)
{
    VADEditHandle handle;
    const VADStatus opened = OpenAssetForEdit(handle, kuid, 0, log);
    if (!opened) return opened;
    const VADStatus status = RevertAsset(handle, 0, flag, log);
    handle.Release();
    return status;
}

VADStatus VADClient::DeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log)
{
    const VADStatus status = VADCall<VAD_REQ_DELETE>(link_, VADKuidFlagRequest{kuid, flag}, log);
    if (status && specs_) specs_->ReleaseSpec(kuid);
    return status;
}

VADStatus VADClient::InstallFromFolder(KUID& out, const Orvo::File::Path& folder, ResultsLog* log, uint32_t options,
                                       uint8_t flag)
{
    out = KUID::Null();
    VADKuidReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_INSTALL_FROM_FOLDER>(link_, VADPathOptionRequest{folder.str(), options, flag}, reply, log);
    if (!status) return status;
    out = reply.kuid;
    return out.IsNull() ? VADStatus(kVADStatusNotFound) : status;
}

VADStatus VADClient::InstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& out,
                                        ResultsLog* log, uint32_t options)
{
    out.clear();
    VADKuidListReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_INSTALL_FROM_FOLDERS>(link_, VADPathListRequest{folders, options}, reply, log);
    if (!status) return status;
    if (reply.kuids.size() != folders.size()) return VADStatus(kVADStatusBadPayload);
    out = std::move(reply.kuids);
    return status;
}

VADStatus VADClient::InstallArchive(const Orvo::File::Path& path, ResultsLog* log, uint32_t value, uint8_t* outByte,
                                    uint8_t flag)
{
    if (outByte) *outByte = 0;
    VADBoolReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_INSTALL_ARCHIVE>(link_, VADPathOptionRequest{path.str(), value, flag}, reply, log);
    if (status && outByte) *outByte = reply.value;
    return status;
}

VADResult<bool> VADClient::ValidateAsset(const KUID& kuid, std::string_view source, const Orvo::File::Path& folder,
                                         ResultsLog* log)
{
    VADBoolReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_VALIDATE>(link_, VADValidateRequest{kuid, std::string(source), folder.str()}, reply, log);
    if (!status) return status;
    return reply.value != 0;
}

VADResult<bool> VADClient::CheckAssetFolder(std::string_view source, const Orvo::File::Path& folder, ResultsLog* log)
{
    VADBoolReply reply;
    const VADStatus status =
        VADCall<VAD_REQ_FOLDER_CHECK>(link_, VADTextPairRequest{std::string(source), folder.str()}, reply, log);
    if (!status) return status;
    return reply.value != 0;
}

VADStatus VADClient::ExportPackage(const PStringArray& textureTargets, const Orvo::File::Path& packagePath,
                                   const std::vector<Orvo::String>& dependencyPackages, const ChunkedList<KUID>& kuids,
                                   ResultsLog* log)
{
    VADExportPackageRequest req;
    for (const Orvo::PString& t : textureTargets) req.targets.push_back(t.str());
    req.packagePath = packagePath.str();
    for (const Orvo::String& d : dependencyPackages) req.dependencies.push_back(d.str());
    for (const KUID& k : kuids) req.kuids.push_back(k);
    return VADCall<VAD_REQ_EXPORT_PACKAGE>(link_, req, log);
}
