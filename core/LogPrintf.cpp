#include "core/LogPrintf.h"

#include "engine/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
std::atomic<LogLineObserver> g_observer{nullptr};

void WriteEngineLogLine(const std::string& line)
{
    Orvo::Log::Write(line);
}

std::string FormatLine(const char* format, va_list args)
{
    char small[512];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return std::string();
    if (static_cast<size_t>(needed) < sizeof small)
        return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}
} // namespace

void LogPrintf(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    const std::string line = FormatLine(format, args);
    va_end(args);
    WriteEngineLogLine(line);
    if (LogLineObserver observer = g_observer.load(std::memory_order_acquire))
        observer(line.c_str());
}

void SetLogLineObserver(LogLineObserver observer)
{
    g_observer.store(observer, std::memory_order_release);
}
