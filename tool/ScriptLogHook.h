#pragma once
// Where the script machine's log output goes. The tool points the hook at ScriptLogSink once start-up
// has succeeded; while it is null script log output is dropped.
using ScriptLogFunction = void (*)(const char* format, ...);
extern ScriptLogFunction ScriptLogHook;

// Formats into a 16384-byte buffer (longer output is cut) and writes "ScriptLog> <text>" to the log.
void ScriptLogSink(const char* format, ...) __attribute__((format(printf, 1, 2)));

constexpr unsigned kScriptLogBufferSize = 16384;
