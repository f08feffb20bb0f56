// Opening, creating, committing, reverting, deleting and installing assets.
#include "assetdb/VADRequestCall.h"
#include "assetdb/VADRequests.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResultsLog.h"
#include "core/LogPrintf.h"

namespace {

template <uint32_t Code>
bool HandleReply(const typename VADRequestTypes<Code>::Request& request, VADEditHandle& out, ResultsLog* log)
{
    out.Release();
    VADValueReply reply;
    if (!VADCall<Code>(request, reply, log) || reply.value == 0) return false;
    out = VADEditHandle::FromDaemonHandle(reply.value);
    return true;
}

}  // namespace

bool VADOpenAssetForEdit(VADEditHandle& out, const KUID& kuid, uint8_t flag, ResultsLog* log)
{
    return HandleReply<VAD_REQ_OPEN_FOR_EDIT>(VADKuidFlagRequest{kuid, flag}, out, log);
}

bool VADCreateAsset(VADEditHandle& out, const KUID& kuid, std::string_view displayName, uint8_t flag, ResultsLog* log)
{
    return HandleReply<VAD_REQ_CREATE>(VADCreateRequest{kuid, std::string(displayName), flag}, out, log);
}

bool VADGetEditFolder(const VADEditHandle& handle, Orvo::PString& name, Orvo::File::Path& folder)
{
    name = Orvo::PString();
    folder = Orvo::File::Path();
    if (!handle.IsValid()) return false;
    VADEditFolderReply reply;
    if (!VADCall<VAD_REQ_EDIT_FOLDER>(VADHandleRequest{handle.GetId()}, reply)) return false;
    name = Orvo::PString(reply.name);
    folder = Orvo::File::Path(reply.folder);
    return !folder.IsEmpty();
}

bool VADCommitAsset(const VADEditHandle& handle, uint32_t option, ResultsLog* log, uint8_t* outByte, uint8_t flag)
{
    if (outByte) *outByte = 0;
    if (!handle.IsValid()) return false;
    VADBoolReply reply;
    if (!VADCall<VAD_REQ_COMMIT>(VADHandleOptionRequest{handle.GetId(), option, flag}, reply, log)) return false;
    if (outByte) *outByte = reply.value;
    return true;
}

bool VADRevertAsset(const VADEditHandle& handle, uint32_t option, uint8_t flag, ResultsLog* log)
{
    if (!handle.IsValid()) return false;
    return VADCall<VAD_REQ_REVERT>(VADHandleOptionRequest{handle.GetId(), option, flag}, log);
}

bool VADRevertAssetByKUID(const KUID& kuid, ResultsLog* log, uint8_t flag)
{
    VADEditHandle handle;
    if (!VADOpenAssetForEdit(handle, kuid, 0, log)) return false;
    bool ok = VADRevertAsset(handle, 0, flag, log);
    handle.Release();
    return ok;
}

bool VADDeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log)
{
    bool ok = VADCall<VAD_REQ_DELETE>(VADKuidFlagRequest{kuid, flag}, log);
    if (ok) NWSpecFactory::Get().ReleaseSpec(kuid);
    return ok;
}

KUID VADInstallFromFolder(const Orvo::File::Path& folder, ResultsLog* log, uint32_t options, uint8_t flag)
{
    KUID k;
    VADInstallFromFolder(k, folder, log, options, flag);
    return k;
}

bool VADInstallFromFolder(KUID& out, const Orvo::File::Path& folder, ResultsLog* log, uint32_t options, uint8_t flag)
{
    out = KUID::Null();
    VADKuidReply reply;
    if (!VADCall<VAD_REQ_INSTALL_FROM_FOLDER>(VADPathOptionRequest{folder.str(), options, flag}, reply, log))
        return false;
    out = reply.kuid;
    return !out.IsNull();
}

bool VADInstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& out, ResultsLog* log,
                           uint32_t options)
{
    out.clear();
    VADKuidListReply reply;
    if (!VADCall<VAD_REQ_INSTALL_FROM_FOLDERS>(VADPathListRequest{folders, options}, reply, log)) return false;
    if (reply.kuids.size() != folders.size()) return false;
    out = std::move(reply.kuids);
    return true;
}

bool VADInstallArchive(const Orvo::File::Path& path, ResultsLog* log, uint32_t value, uint8_t* outByte, uint8_t flag)
{
    if (outByte) *outByte = 0;
    VADBoolReply reply;
    if (!VADCall<VAD_REQ_INSTALL_ARCHIVE>(VADPathOptionRequest{path.str(), value, flag}, reply, log)) return false;
    if (outByte) *outByte = reply.value;
    return true;
}

bool VADValidateAsset(const Orvo::PString& name, const Orvo::File::Path& folder, ResultsLog* log, bool* answered)
{
    if (answered) *answered = false;
    (void)name;
    Orvo::File::Path relative = folder;
    Orvo::PString source;
    if (!SplitContentPath(relative, source))
    {
        if (log)
            log->PostResultF(kResultError, "VADValidateAsset> unable to determine relative path for asset '%s'",
                             folder.c_str());
        else
            LogPrintf("VADValidateAsset> unable to determine relative path for asset '%s'", folder.c_str());
        return false;
    }
    VADBoolReply reply;
    if (!VADCall<VAD_REQ_VALIDATE>(VADTextPairRequest{source.str(), relative.str()}, reply, log)) return false;
    if (answered) *answered = true;
    return reply.value != 0;
}

bool VADCheckAssetFolder(std::string_view source, const Orvo::File::Path& folder, ResultsLog* log)
{
    VADBoolReply reply;
    if (!VADCall<VAD_REQ_FOLDER_CHECK>(VADTextPairRequest{std::string(source), folder.str()}, reply, log)) return false;
    return reply.value != 0;
}

bool VADExportPackage(const PStringArray& textureTargets, const Orvo::File::Path& packagePath,
                      const std::vector<Orvo::String>& dependencyPackages, const ChunkedList<KUID>& kuids,
                      ResultsLog* log)
{
    VADExportPackageRequest req;
    for (const Orvo::PString& t : textureTargets) req.targets.push_back(t.str());
    req.packagePath = packagePath.str();
    for (const Orvo::String& d : dependencyPackages) req.dependencies.push_back(d.str());
    for (const KUID& k : kuids) req.kuids.push_back(k);
    return VADCall<VAD_REQ_EXPORT_PACKAGE>(req, log);
}
