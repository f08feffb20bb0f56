// Command words whose bodies live in libraries that are not built yet. Each checks its parameters as the
// finished word will, then says plainly what is missing and fails.
#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "tool/Support.h"

namespace {

int NotBuilt(ResultsLog& log, const char* text)
{
    PostCommandError(log, text);
    return -1;
}

}  // namespace

int ImportConsistsCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing input path parameter.");
    TDBTagRef consists;
    if (!LoadConfigFile(consists, "", ResolveArgumentPath(args.Arg(2)).View(), ""))
        return NotBuilt(log, "Invalid input path.");
    return NotBuilt(log, "importconsists: the consist import is not built yet");
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
