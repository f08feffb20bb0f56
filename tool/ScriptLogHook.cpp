#include "tool/ScriptLogHook.h"

#include "core/LogPrintf.h"

#include <cstdarg>
#include <cstdio>

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
