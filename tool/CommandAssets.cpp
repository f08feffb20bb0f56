#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADRequests.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"
#include "tool/AssetStatus.h"
#include "tool/Support.h"

#include <cstdio>

KUID ParameterKUID(const CommandArgs& args)
{
    KUID kuid;
    if (args.ParameterMissing()) return KUID::Null();
    kuid.ParseText(args.parameterWord, true);
    return kuid;
}

namespace {

// The KUID parameter of a command; posts the missing-parameter message when there is none.
bool RequireKUID(ResultsLog& log, const CommandArgs& args, KUID& kuid)
{
    kuid = ParameterKUID(args);
    if (kuid.IsNull())
    {
        PostCommandError(log, "Missing AssetID parameter.");
        return false;
    }
    return true;
}

}  // namespace

int InstallCDPCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing())
    {
        PostCommandError(log, "Missing input filepath parameter.");
        return -1;
    }
    Orvo::File::Path path = ResolveArgumentPath(args.Arg(2));
    // The daemon would only find out later, after queueing a job for a file that is not there.
    if (!Orvo::File::IsFile(path.View()))
    {
        PostCommandError(log, "Invalid input path.");
        return -1;
    }
    uint8_t allInstalled = 0;
    const uint32_t errorsBefore = log.ErrorCount();
    if (!VADInstallArchive(OnDiskPath(path), &log, 2, &allInstalled, 0)) return -1;
    if (allInstalled != 0 && log.ErrorCount() == errorsBefore) return 0;
    // Assets the daemon refused (unsafe names, bad data) have their reasons on the log, if it gave any.
    if (log.ErrorCount() == errorsBefore)
        log.PostResultF(kResultError, "Not every asset in '%s' was installed.", path.c_str());
    return -1;
}

int InstallFromPathCommand(ResultsLog& log, const CommandArgs& args)
{
    if (args.ParameterMissing())
    {
        PostCommandError(log, "Missing input path parameter.");
        return -1;
    }
    Orvo::File::Path path = ResolveArgumentPath(args.Arg(2));
    if (!Orvo::File::Exists(path.View()))
    {
        PostCommandError(log, "Invalid input path.");
        return -1;
    }
    uint32_t refused = 0;
    const uint32_t handedOver = InstallFromFolderTree(OnDiskPath(path), log, 0, 0, nullptr, &refused);
    // An asset the daemon refused has its reason on the log; the run must not end as a success then.
    if (handedOver > 0) return refused == 0 ? 0 : -1;
    // Otherwise the run would fail with a clean summary and no word of why.
    log.PostResultF(kResultError, "No asset folder (holding config.txt or config.chump) found in '%s'.", path.c_str());
    return -1;
}

int InstallFromDLSCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    // A download that failed has said why on the log; the exit value must not call it a success.
    // (Finding the latest version installed already is no failure.)
    const uint32_t errorsBefore = log.ErrorCount();
    InstallFromDownloadStation(kuid, &log);
    return log.ErrorCount() > errorsBefore ? -1 : 0;
}

int EditCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    VADEditHandle handle;
    if (!VADOpenAssetForEdit(handle, kuid, 1, &log) || !handle.IsValid())
    {
        PostAssetError(log, kuid, "Unknown AssetID.");
        return -1;
    }
    Orvo::PString name;
    Orvo::File::Path folder;
    if (!VADGetEditFolder(handle, name, folder))
    {
        PostAssetError(log, kuid, "Could not find asset filepath");
        return -1;
    }
    std::printf("+ %s : %s\n", KUID::ToText(kuid).c_str(), folder.c_str());
    handle.Release();
    return 0;
}

int PrintConfigCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    TDBTagRef tree;
    VADGetAssetConfig(tree, kuid, 0);
    if (tree.IsNull())
    {
        PostAssetError(log, kuid, "Asset is not local.");
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

int CommitCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    VADEditHandle handle;
    VADOpenAssetForEdit(handle, kuid, 1, nullptr);
    if (!handle.IsValid())
    {
        PostAssetError(log, kuid, "Unknown AssetID.");
        return -1;
    }
    bool ok = VADCommitAsset(handle, 0, &log);
    handle.Release();
    return ok ? 0 : -1;
}

int RevertCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    VADEditHandle handle;
    VADOpenAssetForEdit(handle, kuid, 0, nullptr);
    if (!handle.IsValid())
    {
        PostAssetError(log, kuid, "Unknown AssetID.");
        return -1;
    }
    VADEditHandle copy(handle);
    bool ok = VADRevertAsset(copy, 0, 0, nullptr);
    copy.Release();
    handle.Release();
    if (!ok) PostAssetError(log, kuid, "Unable to revert the asset.");
    return ok ? 0 : -1;
}

int DeleteCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    if (VADDeleteAsset(kuid, 1, nullptr)) return 0;
    // The request carries no log; without this the summary would show a failed delete as clean.
    PostAssetError(log, kuid, "Unable to delete the asset.");
    return -1;
}

int StatusCommand(ResultsLog& log, const CommandArgs& args)
{
    KUID kuid;
    if (!RequireKUID(log, args, kuid)) return -1;
    return PrintAssetStatus(kuid, log) ? 0 : -1;
}

int BackupKeywordsCommand(ResultsLog& log, const CommandArgs& args)
{
    // The file name as typed: the lower-cased word would name another file.
    const char* name = args.ParameterMissing() ? "KeywordsBackup.dat" : args.Arg(2);
    return BackupKeywords("", ResolveArgumentPath(name), "txt", &log) ? 0 : -1;
}

int ImportKeywordsCommand(ResultsLog& log, const CommandArgs&)
{
    return ImportKeywords("", ResolveArgumentPath("KeywordsDump.dat"), "txt", &log) ? 0 : -1;
}
