#include "tool/ValidateCommand.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADRequests.h"
#include "core/InterfaceTextDB.h"
#include "tool/AssetStatus.h"
#include "tool/Commands.h"
#include "validation/BuildNumber.h"

bool ValidateCommand(const KUID& kuid, bool skipBuildRule, ResultsLog& log)
{
    VADEditHandle handle;
    if (!VADOpenAssetForEdit(handle, kuid, 0, &log) || !handle.IsValid())
    {
        PostAssetError(log, kuid, "Unknown AssetID");
        return false;
    }
    Orvo::PString name;
    Orvo::File::Path folder;
    if (!VADGetEditFolder(handle, name, folder))
    {
        PostAssetError(log, kuid, "Could not find asset filepath");
        return false;
    }
    const auto errorsBefore = log.ErrorCount();
    log.PushContext(VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)));
    VADAssetInfo info;
    VADGetAssetInfo(kuid, info, VAD_DETAIL_ALL);  // a failed request leaves the record's defaults
    if (!skipBuildRule && TETLib::Build::UploadHundredths(info.build) < TETLib::Build::kUploadOldest)
    {
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("asset_kuid", KUID::ToText(kuid).View());
        params.SetChildString("lowest_velmarbuild", "2.8");
        log.PostResult(kResultError, InterfaceTextDB::GetString("$vad_upload_asset_obsolete").View(), params);
    }
    else
    {
        // A verdict of "failed" comes with its findings; a request that got no verdict fails the command.
        bool answered = false;
        (void)VADValidateAsset(name, folder, &log, &answered);
        if (!answered)
        {
            if (log.ErrorCount() == errorsBefore) PostAssetError(log, kuid, "The asset could not be validated.");
            log.PopContext();
            return false;
        }
    }
    log.PopContext();
    return true;
}

int ValidateCommandWord(ResultsLog& log, const CommandArgs& args)
{
    const KUID kuid = ParameterKUID(args);
    if (kuid.IsNull())
    {
        PostCommandError(log, "Missing AssetID parameter.");
        return -1;
    }
    return ValidateCommand(kuid, false, log) ? 0 : -1;
}
