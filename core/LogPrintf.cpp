#include "core/LogPrintf.h"

#include "engine/Log.h"
#include "engine/String.h"

#include <cstdarg>

void LogPrintf(const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    const Orvo::String line = Orvo::String::FormatV(format, args);
    va_end(args);
    Orvo::Log::Write(line.View());
}

void SetLogLineObserver(LogLineObserver observer) { Orvo::Log::SetLineObserver(observer); }
