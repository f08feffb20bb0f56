#pragma once
// One formatted line to the engine log.

void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives each line LogPrintf writes, after the engine log has it (Orvo::Log::SetLineObserver; nullptr
// removes it). Lets a caller watch the program log without reading the log's destination back. Called on
// the logging thread.
using LogLineObserver = void (*)(const char* line);
void SetLogLineObserver(LogLineObserver observer);
