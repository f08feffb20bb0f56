#include "engine/Log.h"

#include "engine/Options.h"
#include "engine/String.h"

#include <cstdio>
#include <mutex>

namespace Orvo {

namespace {

std::mutex g_logLock;
std::FILE* g_out = nullptr;  // stdout or our own file
bool g_ownsFile = false;

void CloseLocked()
{
    if (g_out) std::fflush(g_out);
    if (g_ownsFile && g_out) std::fclose(g_out);
    g_out = nullptr;
    g_ownsFile = false;
}

}  // namespace

bool Log::Init(const Options& options)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    CloseLocked();
    if (options.Has("LogStdOut"))
    {
        g_out = stdout;
        return true;
    }
    const char* path = options.Get("LogFile");
    if (!path || !*path || std::string_view(path) == "/dev/null") return true;
    g_out = std::fopen(path, "a");
    g_ownsFile = g_out != nullptr;
    return g_out != nullptr;
}

void Log::VPrintf(const char* format, va_list args)
{
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        if (!g_out) return;  // don't even format when silent
    }
    String line = String::FormatV(format, args);
    Write(line.View());
}

void Log::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VPrintf(format, args);
    va_end(args);
}

void Log::Write(std::string_view line)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (!g_out) return;
    std::fwrite(line.data(), 1, line.size(), g_out);
    if (line.empty() || line.back() != '\n') std::fputc('\n', g_out);
    if (g_ownsFile) std::fflush(g_out);  // a crash must not lose the lines before it
}

void Log::Flush()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_out) std::fflush(g_out);
}

void Log::Shutdown()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    CloseLocked();
}

bool Log::IsEnabled()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    return g_out != nullptr;
}

}  // namespace Orvo
