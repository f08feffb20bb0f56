#include "tool/dls/DLSCommands.h"

#include "tool/Support.h"
#include "tool/ToolContext.h"
#include "tool/dls/DeleteAll.h"
#include "tool/dls/FolderExport.h"
#include "tool/dls/PackageParse.h"

int DLSParseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing CDP filepath.");
        return -1;
    }
    const int32_t uploaderId = args.Arg(3) ? ReadIntSaturated(args.Arg(3)) : 0;
    return ParseDownloadStationPackage(client, ResolveArgumentPath(tool, args.Arg(2)), uploaderId, log) ? 0 : -1;
}

int DLSParseFolderCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "No folder path set");
        return -1;
    }
    // A folder that was not exported whole fails the command, so that a batch file can tell.
    return ExportDownloadStationFolder(client, ResolveArgumentPath(tool, args.Arg(2)), log) ? 0 : -1;
}

int DLSDeleteAllCommand(ToolContext& tool, ResultsLog& log, const CommandArgs&)
{
    return DeleteAllLocalAssets(tool.Client(), log) ? 0 : -1;
}
