#include "core/LogPrintf.h"

#include "engine/Log.h"
#include "engine/String.h"

#include <atomic>
#include <cstdarg>

namespace {
// Process-wide, as the program log it watches.
std::atomic<LogLineObserver> g_observer{nullptr};
}  // namespace

void LogPrintf(const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    const Orvo::String line = Orvo::String::FormatV(format, args);
    va_end(args);
    Orvo::Log::Write(line.View());
    if (LogLineObserver observer = g_observer.load(std::memory_order_acquire)) observer(line.c_str());
}

void SetLogLineObserver(LogLineObserver observer) { g_observer.store(observer, std::memory_order_release); }
