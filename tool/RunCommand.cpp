#include "tool/RunCommand.h"

#include "assetdb/ResultsLog.h"
#include "core/VelmarWorker.h"
#include "platform/CrashExit.h"
#include "platform/Process.h"
#include "tool/Dispatcher.h"
#include "tool/ToolContext.h"

int RunCommand(ToolContext& tool, ResultsLog& log, int argc, char** argv)
{
    return RunCommandWith(&DispatchCommand, tool, log, argc, argv);
}

int RunCommandWith(CommandFunction command, ToolContext& tool, ResultsLog& log, int argc, char** argv)
{
    VelmarWorker::SetCommandRunning(true);
    Platform::InstallCrashExit(kCrashExitCode);
    int result = 0;
    try
    {
        result = command(tool, log, argc, argv);
    }
    catch (...)
    {
        Platform::ExitProcess(kCrashExitCode);
    }
    Platform::RemoveCrashExit();
    // A command that fails must never end in a clean summary: when it gave no reason, say that it failed.
    if (result < 0 && log.ErrorCount() == 0)
        log.PostResultF(kResultError, "The command '%s' failed.", argc > 1 && argv[1] ? argv[1] : "");
    return result;
}
