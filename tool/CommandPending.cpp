// Command words whose bodies live in libraries that are not built yet. Each checks its parameters as the
// finished word will, then says plainly what is missing and fails.
#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "tool/Support.h"

namespace {

int NotBuilt(ResultsLog& log, const char* text)
{
    PostCommandError(log, text);
    return -1;
}

} // namespace

int VADCommandHostCommand(ResultsLog& log, const CommandArgs&)
{
    return NotBuilt(log, "vadcommandhost: the command host is not built yet");
}

int ValidateCommandWord(ResultsLog& log, const CommandArgs& args)
{
    if (ParameterKUID(args).IsNull()) return NotBuilt(log, "Missing AssetID parameter.");
    return NotBuilt(log, "validate: the validation library is not built yet");
}

int ImportConsistsCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing input path parameter.");
    return NotBuilt(log, "importconsists: the consist import is not built yet");
}

int CreateCDPCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing output path parameter.");
    if (!ResolveArgumentPath(args.Arg(2)).IsExt("cdp"))
        return NotBuilt(log, "The output filename must have a .cdp extension.");
    return NotBuilt(log, "createcdp: the content archive export is not built yet");
}

int ExportPackageCommand(ResultsLog& log, const CommandArgs&)
{
    return NotBuilt(log, "export-package: the package export is not built yet");
}

int DLSParseCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing CDP filepath.");
    return NotBuilt(log, "dlsparse: the download-station package parser is not built yet");
}

int DLSParseFolderCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "No folder path set");
    return NotBuilt(log, "dlsparsefolder: the download-station folder export is not built yet");
}

int DLSDeleteAllCommand(ResultsLog& log, const CommandArgs&)
{
    return NotBuilt(log, "dlsdeleteall: the download-station delete-all is not built yet");
}

int CompressTextureCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing AssetID parameter.");
    return NotBuilt(log, "compresstexture: the texture conversion library is not built yet");
}
