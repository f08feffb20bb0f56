#include "tool/RunCommand.h"

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
    return result;
}
