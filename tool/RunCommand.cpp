#include "tool/RunCommand.h"

#include "core/ProcessFlags.h"
#include "platform/CrashExit.h"
#include "platform/Process.h"
#include "tool/Dispatcher.h"

namespace {
CommandFunction g_command = nullptr;
}  // namespace

void SetCommandFunction(CommandFunction function) { g_command = function; }

int RunCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv)
{
    CommandRunningFlag = true;
    CommandFunction command = g_command != nullptr ? g_command : &DispatchCommand;
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
