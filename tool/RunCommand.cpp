#include "tool/RunCommand.h"

#include "assetdb/ResultsLog.h"
#include "core/VelmarWorker.h"
#include "platform/CrashExit.h"
#include "platform/OutputFlush.h"
#include "platform/Process.h"
#include "tool/Dispatcher.h"
#include "tool/ToolContext.h"

#include <string>

int RunCommand(ToolContext& tool, ResultsLog& log, int argc, char** argv)
{
    return RunCommandWith(&DispatchCommand, tool, log, argc, argv);
}

int RunCommandWith(CommandFunction command, ToolContext& tool, ResultsLog& log, int argc, char** argv)
{
    VelmarWorker::SetCommandRunning(true);
    // The files the command writes are put on disk once, at its end (platform/OutputFlush.h).
    Platform::SetNotingWrittenOutputs(true);
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
    // What the command wrote is on disk before its summary says it ran: a power cut after it loses none of it.
    std::string why;
    if (!Platform::FlushWrittenOutputs(&why))
    {
        log.PostResultF(kResultError, "The files this command wrote could not be written to disk: %s.", why.c_str());
        result = -1;
    }
    // A command that fails must never end in a clean summary: when it gave no reason, say that it failed.
    if (result < 0 && log.ErrorCount() == 0)
        log.PostResultF(kResultError, "The command '%s' failed.", argc > 1 && argv[1] ? argv[1] : "");
    return result;
}
