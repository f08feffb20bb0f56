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
    // Receives each line given to Write (the program's own lines; the engine's Printf lines go to the file
    // only), after the log's file has it, whether or not the log has a file (nullptr removes it). Lets a
    // caller watch the program log without reading its destination back. Called on the writing thread.
    using LineObserver = void (*)(const char* line);
    static void SetLineObserver(LineObserver observer);
    static void Flush();
    static void Shutdown();  // flushes, closes the file, silences the log
    static bool IsEnabled();

private:
    static void WriteLine(std::string_view line, bool observed);
};

}  // namespace Orvo
