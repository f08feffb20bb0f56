#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADEditHandle.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"
#include "tool/AssetStatus.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <cstdio>
#include <vector>

KUID ParameterKUID(const CommandArgs& args)
{
    KUID kuid;
    if (args.ParameterMissing()) return KUID::Null();
    kuid.ParseText(args.parameterWord, true);
    return kuid;
}

namespace {

// The KUID parameter of a command; posts the missing-parameter message when there is none.
bool RequireKUID(const VADClient& client, ResultsLog& log, const CommandArgs& args, KUID& kuid)
{
    kuid = ParameterKUID(args);
    if (kuid.IsNull())
    {
        PostCommandError(client, log, "Missing AssetID parameter.");
        return false;
    }
    return true;
}

// What the daemon said about a revert or delete, on a log of its own: when it was refused, the command's own
// error line comes first and each reason the daemon gave follows as a message about it, so that the run counts
// one error; what it warned of (work it kept in a backup, and where) is said whether or not it was refused.
void PostRevertOrDelete(const VADClient& client, ResultsLog& log, const KUID& kuid, bool ok, const ResultsLog& said,
                        const char* refused)
{
    const std::vector<ResultsLog::Result> results = said.GetResults();
    if (!ok)
    {
        PostAssetError(client, log, kuid, refused);
        if (!client.LinkFailed())
            for (const ResultsLog::Result& r : results)
                if (r.kind == kResultError) log.PostResult(kResultMessage, r.source, r.text.View());
    }
    for (const ResultsLog::Result& r : results)
        if (r.kind == kResultWarning || r.kind == kResultMessage) log.PostResult(r.kind, r.source, r.text.View());
}

}  // namespace

int InstallCDPCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing input filepath parameter.");
        return -1;
    }
    Orvo::File::Path path = ResolveArgumentPath(tool, args.Arg(2));
    // The daemon would only find out later, after queueing a job for a file that is not there.
    if (!Orvo::File::IsFile(path.View()))
    {
        PostCommandError(client, log, "Invalid input path.");
        return -1;
    }
    uint8_t allInstalled = 0;
    const uint32_t errorsBefore = log.ErrorCount();
    if (!client.InstallArchive(OnDiskPath(path), &log, 2, &allInstalled, 0)) return -1;
    if (allInstalled != 0 && log.ErrorCount() == errorsBefore) return 0;
    // Assets the daemon refused (unsafe names, bad data) have their reasons on the log, if it gave any.
    if (log.ErrorCount() == errorsBefore)
        log.PostResultF(kResultError, "Not every asset in '%s' was installed.", path.c_str());
    return -1;
}

int InstallFromPathCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing input path parameter.");
        return -1;
    }
    Orvo::File::Path path = ResolveArgumentPath(tool, args.Arg(2));
    if (!Orvo::File::Exists(path.View()))
    {
        PostCommandError(client, log, "Invalid input path.");
        return -1;
    }
    uint32_t refused = 0;
    const uint32_t handedOver = InstallFromFolderTree(client, OnDiskPath(path), log, 0, 0, nullptr, &refused);
    // An asset the daemon refused has its reason on the log; the run must not end as a success then.
    if (handedOver > 0) return refused == 0 ? 0 : -1;
    // Otherwise the run would fail with a clean summary and no word of why.
    log.PostResultF(kResultError, "No asset folder (holding config.txt or config.chump) found in '%s'.", path.c_str());
    return -1;
}

int InstallFromDLSCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    // A download that failed has said why on the log; the exit value must not call it a success.
    // (Finding the latest version installed already is no failure.)
    const uint32_t errorsBefore = log.ErrorCount();
    InstallFromDownloadStation(client, kuid, &log);
    return log.ErrorCount() > errorsBefore ? -1 : 0;
}

int EditCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    VADEditHandle handle;
    const uint32_t errorsBefore = log.ErrorCount();
    // An edit open already whose folder was removed by hand gets it made again, with a warning.
    if (!client.OpenAssetForEdit(handle, kuid, kVADOpenForEdit | kVADOpenMakeGoneFolder, &log) || !handle.IsValid())
    {
        // The daemon's reason (an asset being installed) stands alone.
        if (log.ErrorCount() == errorsBefore) PostAssetError(client, log, kuid, "Unknown AssetID.");
        return -1;
    }
    Orvo::PString name;
    Orvo::File::Path folder;
    if (!client.GetEditFolder(handle, name, folder))
    {
        PostAssetError(client, log, kuid, "Could not find asset filepath");
        return -1;
    }
    std::printf("+ %s : %s\n", KUID::ToText(kuid).c_str(), folder.c_str());
    handle.Release();
    return 0;
}

int PrintConfigCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    TDBTagRef tree;
    const VADStatus got = client.GetAssetConfig(tree, kuid, 0);
    if (!got)
    {
        // NotFound: the daemon knows no local copy; any other failure is the request's own.
        PostAssetError(client, log, kuid,
                       got.Code() == kVADStatusNotFound ? "Asset is not local."
                                                        : "Unable to read the asset's configuration.");
        return -1;
    }
    Orvo::PString kuidText = KUID::ToText(kuid);
    const char* text = kuidText.c_str();
    std::printf("+ Start of %s dump\n", text);
    std::fflush(stdout);
    tree.PrintToConsole();
    std::printf("+ End of %s dump\n", text);
    return 0;
}

int CommitCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    VADEditHandle handle;
    const uint32_t errorsBefore = log.ErrorCount();
    if (!client.OpenAssetForEdit(handle, kuid, 1, &log))
    {
        if (log.ErrorCount() == errorsBefore) PostAssetError(client, log, kuid, "Unknown AssetID.");
        return -1;
    }
    const bool ok = client.CommitAsset(handle, 0, &log).Ok();
    handle.Release();
    return ok ? 0 : -1;
}

int RevertCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    VADEditHandle handle;
    const uint32_t errorsBefore = log.ErrorCount();
    if (!client.OpenAssetForEdit(handle, kuid, 0, &log))
    {
        if (log.ErrorCount() == errorsBefore) PostAssetError(client, log, kuid, "Unknown AssetID.");
        return -1;
    }
    VADEditHandle copy(handle);
    ResultsLog said;
    const bool ok = client.RevertAsset(copy, 0, 0, &said).Ok();
    copy.Release();
    handle.Release();
    PostRevertOrDelete(client, log, kuid, ok, said, "Unable to revert the asset.");
    return ok ? 0 : -1;
}

int DeleteCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    ResultsLog said;
    const bool ok = client.DeleteAsset(kuid, 1, &said).Ok();
    // A refusal the daemon gave no reason for (an unknown asset) still fails with the command's own line.
    PostRevertOrDelete(client, log, kuid, ok, said, "Unable to delete the asset.");
    return ok ? 0 : -1;
}

int StatusCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    KUID kuid;
    if (!RequireKUID(client, log, args, kuid)) return -1;
    return PrintAssetStatus(client, kuid, log) ? 0 : -1;
}

int BackupKeywordsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    // The file name as typed: the lower-cased word would name another file.
    const char* name = args.ParameterMissing() ? "KeywordsBackup.dat" : args.Arg(2);
    return BackupKeywords(tool.Client(), "", ResolveArgumentPath(tool, name), "txt", &log) ? 0 : -1;
}

int ImportKeywordsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs&)
{
    return ImportKeywords(tool.Client(), "", ResolveArgumentPath(tool, "KeywordsDump.dat"), "txt", &log) ? 0 : -1;
}
