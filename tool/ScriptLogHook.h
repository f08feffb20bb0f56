#pragma once
// Where script log output goes: the sink the script machine's output is written through.
//
// Formats into a 16384-byte buffer (longer output is cut) and writes "ScriptLog> <text>" to the log.
void ScriptLogSink(const char* format, ...) __attribute__((format(printf, 1, 2)));

constexpr unsigned kScriptLogBufferSize = 16384;
