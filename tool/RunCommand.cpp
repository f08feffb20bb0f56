#include "tool/RunCommand.h"

#include "assetdb/ResultsLog.h"
#include "core/ProcessFlags.h"
#include "platform/CrashExit.h"
#include "platform/Process.h"
#include "tool/Dispatcher.h"

int RunCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv)
{
    return RunCommandWith(&DispatchCommand, log, engine, argc, argv);
}

int RunCommandWith(CommandFunction command, ResultsLog& log, EngineObjects& engine, int argc, char** argv)
{
    CommandRunningFlag = true;
    Platform::InstallCrashExit(kCrashExitCode);
    int result = 0;
    try
    {
        result = command(log, engine, argc, argv);
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
