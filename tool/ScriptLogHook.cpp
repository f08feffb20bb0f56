#include "tool/ScriptLogHook.h"

#include "core/LogPrintf.h"

#include <cstdarg>
#include <cstdio>

// Process-wide: the script machine, a layer below the tool, calls it for its log output.
ScriptLogFunction ScriptLogHook = nullptr;

void ScriptLogSink(const char* format, ...)
{
    char buffer[kScriptLogBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);  // cuts and always ends the text
    va_end(args);
    buffer[sizeof buffer - 1] = '\0';
    LogPrintf("ScriptLog> %s", buffer);
}
