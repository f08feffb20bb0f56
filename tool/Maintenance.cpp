#include "tool/Maintenance.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADDiscovery.h"
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/Disk.h"
#include "tool/Process.h"
#include "tool/ToolContext.h"

#include <cstdio>

uint32_t ChooseRepairMode(const VADClient& client, const CommandArgs& args, ResultsLog& log)
{
    if (args.ParameterMissing()) return kRepairNormal;
    const std::string& w = args.parameterWord;
    if (w == "extended") return kRepairExtended;
    if (w == "patcher") return kRepairPatcher;
    if (w == "base") return kRepairBase;
    PostCommandError(client, log, "Unknown parameter.");
    return kRepairNormal;
}

namespace {

// The repair as a task of its own: its results are collected apart and copied into the command's log.
bool RunRepairTask(VADClient& client, uint32_t mode, ResultsLog& taskLog)
{
    Orvo::File::Path root = GetInstallationPath();
    std::string where = root.IsEmpty() ? std::string(".") : root.str();
    if (Platform::FreeDiskSpace(where) < kRepairMinFreeDisk)
    {
        taskLog.PostResult(kResultError, "Not enough free disk space to repair the asset database (100 MiB needed).");
        return false;
    }
    const bool ok = client.RepairDatabase(mode, &taskLog, mode == kRepairPatcher ? 0 : 1).Ok();
    // A repair the daemon never carried out must not read as a clean one.
    if (!ok && taskLog.ErrorCount() == 0) taskLog.PostResult(kResultError, "Unable to repair the asset database.");
    return ok;
}

}  // namespace

int RepairDatabaseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    uint32_t mode = ChooseRepairMode(client, args, log);
    if (log.ErrorCount() > 0) return -1;
    if (mode != kRepairPatcher)
    {
        std::printf("Repairing asset database (this may take some time)\n");
        std::fflush(stdout);
    }
    bool failed;
    {
        ResultsLog taskLog;
        failed = !RunRepairTask(client, mode, taskLog) || taskLog.ErrorCount() > 0;
        log.Assign(taskLog);
    }
    if (mode == kRepairPatcher)
    {
        // The flag counts once the daemon confirms it kept it (and ran the repair it asks for).
        const bool flagged = SayConfirmed(
            client, log, client.RequestRepairDatabase(mode),
            "The asset database may not be flagged for repair: the asset database daemon did not confirm it.",
            "Unable to flag the asset database for repair.");
        failed = failed || !flagged;
    }
    return failed ? 255 : 0;
}

int FlagRepairDatabaseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    uint32_t mode = ChooseRepairMode(client, args, log);
    if (log.ErrorCount() > 0) return -1;
    if (!client.RepairDatabase(mode))
    {
        PostCommandError(client, log, "Unable to repair the asset database.");
        return -1;
    }
    return 0;
}

namespace {

struct StopRow
{
    const char* executable;
    int waitMs;
    const char* warning;
};

constexpr StopRow kStopRows[] = {
    {"VADDaemon", 60000, "WARNING: VADDaemon was terminated"},
    {"VADDaemon_d", 60000, "WARNING: VADDaemon_d was terminated"},
    {"VelmarUtil", 10000, "WARNING: VelmarUtil was terminated"},
};

// The program's folder. argv[0] may be a bare name found through PATH, or relative to a folder the run
// has since left, so the executable's own path comes first.
Orvo::File::Path ProgramFolder(const CommandArgs& args)
{
    Orvo::File::Path folder;
    if (GetExecutablePath(folder)) return folder.DelName();
    folder = Orvo::File::Path(args.Arg(0) ? args.Arg(0) : "");
    return folder.DelName();
}

// The process id of the daemon serving the installation at `root`, by its discovery block; 0 when none runs.
int RunningDaemonOf(const Orvo::File::Path& root)
{
    VADDiscoveryBlock block;
    return !root.IsEmpty() && VADFindDiscoveryBlockForRoot(root.str(), block) ? int(block.pid) : 0;
}

}  // namespace

int CloseDaemonCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    const bool reached = client.Connected();
    if (VADConnection* link = client.Link()) link->CloseDaemon(args.word == "preuninstall" ? 1 : 0);
    Orvo::File::Path folder = ProgramFolder(args);
    for (const StopRow& row : kStopRows)
    {
        Orvo::File::Path exe(folder);
        exe.AddPath(row.executable);
        if (TerminateProcessesByPath(exe.c_str(), row.waitMs) > 0) log.PostResult(kResultWarning, row.warning);
    }
    // Without a link nothing was asked to close: the run succeeds only when no daemon of the installation is
    // left running (one that was never running is closed already).
    if (!reached)
    {
        const int pid = RunningDaemonOf(GetInstallationPath());
        if (pid > 0)
        {
            log.PostResultF(kResultError,
                            "The asset database daemon (process %d) could not be reached, and it is still running.",
                            pid);
            return -1;
        }
    }
    return 0;
}

int RegisterAccountCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    const char* user = args.Arg(2);
    const char* password = args.Arg(3);
    TDBTagRef group;
    if (!client.GetSettingsGroup("internet", group, 0))
    {
        PostCommandError(client, log, "Unable to read internet settings.");
        return -1;
    }
    group.EnsureContainer();
    group.SetChildString("username", user ? user : "");
    group.SetChildString("password", password ? password : "");
    if (!client.SetSettingsGroup("internet", group))
    {
        PostCommandError(client, log, "Unable to write internet settings.");
        return -1;
    }
    return 0;
}

bool BuildPatchReport(const CommandArgs& args, std::string& page, std::string& label)
{
    if (args.argc != 6) return false;
    const std::string& status = args.parameterWord;
    if (status != "success" && status != "failed" && status != "cancelled") return false;
    int32_t from = 0, to = 0, seconds = 0;
    if (!ReadDecimalInt(args.Arg(3), from) || !ReadDecimalInt(args.Arg(4), to) || !ReadDecimalInt(args.Arg(5), seconds))
        return false;
    page = Orvo::String::Format("patch-%s", status.c_str()).str();
    label = Orvo::String::Format("from:%d to:%d min:%d", from, to, seconds / 60).str();
    return true;
}

int PatchFinaliseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    std::string page, label;
    if (!BuildPatchReport(args, page, label))
    {
        PostCommandError(client, log, "Invalid parameters");
        return -1;
    }
    // Analytics go through the daemon; without a connection there is nobody to tell, and a hit that cannot be
    // sent is no failure of the patch. A hit sent counts once the daemon confirms it recorded it.
    if (!client.Connected()) return 0;
    const bool sent =
        SayConfirmed(client, log, client.SendAnalyticsHit(page, label),
                     "The patch report may not be recorded: the asset database daemon did not confirm it.",
                     "Unable to record the patch report.");
    return sent ? 0 : -1;
}
