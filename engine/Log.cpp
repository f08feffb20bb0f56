#include "engine/Log.h"

#include "engine/Options.h"
#include "engine/String.h"

#include <cstdio>
#include <mutex>

namespace Orvo {

namespace {

std::mutex g_logLock;
// Where the engine log goes, for the whole process: every layer writes to it. Under g_logLock.
struct LogOutput
{
    std::FILE* file = nullptr;  // stdout or our own file
    bool owned = false;
    Log::LineObserver observer = nullptr;  // a watcher of every line, beside the file
};
LogOutput g_out;

void CloseLocked()
{
    if (g_out.file) std::fflush(g_out.file);
    if (g_out.owned && g_out.file) std::fclose(g_out.file);
    g_out.file = nullptr;
    g_out.owned = false;
}

}  // namespace

bool Log::Init(const Options& options)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    CloseLocked();
    if (options.Has("LogStdOut"))
    {
        g_out.file = stdout;
        return true;
    }
    const char* path = options.Get("LogFile");
    if (!path || !*path || std::string_view(path) == "/dev/null") return true;
    g_out.file = std::fopen(path, "a");
    g_out.owned = g_out.file != nullptr;
    return g_out.file != nullptr;
}

void Log::VPrintf(const char* format, va_list args)
{
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        if (!g_out.file) return;  // don't even format when silent
    }
    String line = String::FormatV(format, args);
    WriteLine(line.View(), false);
}

void Log::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VPrintf(format, args);
    va_end(args);
}

void Log::Write(std::string_view line) { WriteLine(line, true); }

void Log::WriteLine(std::string_view line, bool observed)
{
    LineObserver observer = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_logLock);
        if (observed) observer = g_out.observer;
        if (g_out.file)
        {
            std::fwrite(line.data(), 1, line.size(), g_out.file);
            if (line.empty() || line.back() != '\n') std::fputc('\n', g_out.file);
            if (g_out.owned) std::fflush(g_out.file);  // a crash must not lose the lines before it
        }
    }
    // Outside the lock: the watcher may log in turn.
    if (observer) observer(std::string(line).c_str());
}

void Log::SetLineObserver(LineObserver observer)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_out.observer = observer;
}

void Log::Flush()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    if (g_out.file) std::fflush(g_out.file);
}

void Log::Shutdown()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    CloseLocked();
}

bool Log::IsEnabled()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    return g_out.file != nullptr;
}

}  // namespace Orvo
