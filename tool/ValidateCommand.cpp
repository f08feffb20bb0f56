#include "tool/ValidateCommand.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADEditHandle.h"
#include "core/InterfaceTextDB.h"
#include "tool/AssetStatus.h"
#include "tool/Commands.h"
#include "tool/ToolContext.h"
#include "validation/BuildNumber.h"

bool ValidateCommand(VADClient& client, const KUID& kuid, bool skipBuildRule, ResultsLog& log)
{
    VADEditHandle handle;
    if (!client.OpenAssetForEdit(handle, kuid, 0, &log))
    {
        PostAssetError(client, log, kuid, "Unknown AssetID");
        return false;
    }
    Orvo::PString source;
    Orvo::File::Path folder;
    if (!client.GetEditFolder(handle, source, folder))
    {
        PostAssetError(client, log, kuid, "Could not find asset filepath");
        return false;
    }
    // The upload rule needs the asset's build: without its record the rule cannot be applied.
    VADAssetInfo info;
    if (!skipBuildRule && !client.GetAssetInfo(kuid, info, VAD_DETAIL_ALL))
    {
        PostAssetError(client, log, kuid, "Unable to read the asset's record.");
        return false;
    }
    const auto errorsBefore = log.ErrorCount();
    log.PushContext(VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)));
    bool answered = true;
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
        const VADResult<bool> verdict = client.ValidateAsset(kuid, source.View(), folder, &log);
        answered = verdict.Ok();
        if (!answered && log.ErrorCount() == errorsBefore)
            PostAssetError(client, log, kuid, "The asset could not be validated.");
        // A failed verdict that came without an error still counts as one: it must not end in "OK (0 Errors".
        if (answered && !verdict.Value() && log.ErrorCount() == errorsBefore)
            PostAssetError(client, log, kuid, "The asset did not pass validation.");
    }
    log.PopContext();
    return answered;
}

int ValidateCommandWord(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    const KUID kuid = ParameterKUID(args);
    if (kuid.IsNull())
    {
        PostCommandError(client, log, "Missing AssetID parameter.");
        return -1;
    }
    return ValidateCommand(client, kuid, false, log) ? 0 : -1;
}
