#pragma once
// The engine log: one line per Printf, safe from any thread.
// Init reads the options: "-LogStdOut" sends lines to standard output, "-LogFile=<path>" appends them
// to that file ("/dev/null" silences the log). With neither the log stays silent; the tool always
// passes one of the two. Before Init nothing is written.
#include <cstdarg>
#include <string_view>

namespace Orvo {

class Options;

class Log
{
public:
    // False when the log file cannot be opened (the log is then silent).
    static bool Init(const Options& options);
    static void Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static void VPrintf(const char* format, va_list args);
    static void Write(std::string_view line);  // adds the line end when missing
    static void Flush();
    static void Shutdown();  // flushes, closes the file, silences the log
    static bool IsEnabled();
};

}  // namespace Orvo
