// Command words whose bodies live in libraries that are not built yet. Each checks its parameters as the
// finished word will, then says plainly what is missing and fails.
#include "tool/Commands.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "core/ConfigFile.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/PString.h"
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
    TDBTagRef consists;
    if (!LoadConfigFile(consists, "", ResolveArgumentPath(args.Arg(2)).View(), ""))
        return NotBuilt(log, "Invalid input path.");
    return NotBuilt(log, "importconsists: the consist import is not built yet");
}

int CreateCDPCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing()) return NotBuilt(log, "Missing output path parameter.");
    if (!ResolveArgumentPath(args.Arg(2)).IsExt("cdp"))
        return NotBuilt(log, "The output filename must have a .cdp extension.");
    return NotBuilt(log, "createcdp: the content archive export is not built yet");
}

int ExportPackageCommand(ResultsLog& log, const CommandArgs& args)
{
    // The package name is the last part of the package path; device packages take short lower-case names.
    Orvo::File::Path package = GetContentFolder("packages");
    package.AddPath(args.Arg(3) ? args.Arg(3) : "");
    const std::string name = package.GetFileName().str();
    TDBTagRef packageParams = TDBTagRef::NewContainer();
    packageParams.SetChildString("package", name);
    if (name != Orvo::PString(name).ToLower().str())
    {
        log.PostResult(kResultError, "Invalid uppercase package name \"$(package)\"", packageParams);
        return -1;
    }
    if (name.size() > 8)
    {
        log.PostResult(kResultError, "Over-long package name \"$(package)\"", packageParams);
        return -1;
    }
    // Dependency package names come first, then nothing but KUIDs.
    bool anyKUID = false;
    for (int i = 4; i < args.argc; ++i)
    {
        const char* text = args.Arg(i) ? args.Arg(i) : "";
        KUID kuid;
        kuid.ParseText(text, true);
        if (!kuid.IsNull())
        {
            anyKUID = true;
        }
        else if (anyKUID)
        {
            TDBTagRef textParams = TDBTagRef::NewContainer();
            textParams.SetChildString("text", text);
            log.PostResult(kResultError, "Expected KUID parameter but found \"$(text)\"", textParams);
            return -1;
        }
    }
    if (!anyKUID) return NotBuilt(log, "Missing AssetID parameter.");
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
