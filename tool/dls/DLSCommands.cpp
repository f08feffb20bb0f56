#include "tool/dls/DLSCommands.h"

#include "tool/Support.h"
#include "tool/dls/DeleteAll.h"
#include "tool/dls/FolderExport.h"
#include "tool/dls/PackageParse.h"

int DLSParseCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing())
    {
        PostCommandError(log, "Missing CDP filepath.");
        return -1;
    }
    const int32_t uploaderId = args.Arg(3) ? ReadIntSaturated(args.Arg(3)) : 0;
    return ParseDownloadStationPackage(ResolveArgumentPath(args.Arg(2)), uploaderId, log) ? 0 : -1;
}

int DLSParseFolderCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing())
    {
        PostCommandError(log, "No folder path set");
        return -1;
    }
    // A folder that was not exported whole fails the command, so that a batch file can tell.
    return ExportDownloadStationFolder(ResolveArgumentPath(args.Arg(2)), log) ? 0 : -1;
}

int DLSDeleteAllCommand(ResultsLog& log, const CommandArgs&) { return DeleteAllLocalAssets(log) ? 0 : -1; }
