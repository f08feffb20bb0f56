#include "core/FatalError.h"
#include "core/VelmarEx.h"

#include "core/LogPrintf.h"
#include "engine/Log.h"
#include "engine/String.h"
#include "platform/Process.h"

#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

void LogErrorAndThrow(OnError onError, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const Orvo::String message = Orvo::String::FormatV(format ? format : "", args);
    va_end(args);
    LogPrintf("%s", message.c_str());
    if (onError == OnError::Throw) throw VelmarEx(message.str());
}

void FatalError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const Orvo::String message = Orvo::String::FormatV(format ? format : "", args);
    va_end(args);
    LogPrintf("%s", message.c_str());
    Orvo::Log::Flush();

    bool shown = false;
    const std::string folder = Platform::ExecutableFolder();
    if (!folder.empty())
    {
        const std::string startPad = folder + "/StartPad";
        struct stat st;
        if (::stat(startPad.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(startPad.c_str(), X_OK) == 0)
            shown = static_cast<bool>(
                Platform::LaunchProcess(startPad, {"--fail", message.str()}, {}, Platform::kLaunchNoConsole));
    }
    if (!shown) std::fprintf(stderr, "Error: %s\n", message.c_str());
    Platform::ExitProcess(1);
}
