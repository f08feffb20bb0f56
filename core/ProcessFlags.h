#pragma once
// Process-wide switches that the tool sets and the core services read.
#include <atomic>

// 1 lets DeletePathAt remove absolute paths outside the installation's data folders (the compile and
// encrypt commands set it, since they write wherever their arguments point). 0 at start.
extern std::atomic<unsigned char> AllowAnyPathFlag;

// Set while the tool runs a command. A worker task that throws then ends the process with -100 instead
// of aborting, as a crash inside a command does.
extern std::atomic<bool> CommandRunningFlag;

// While set, LogErrorAndThrow throws VelmarEx after logging. 0 at start.
extern std::atomic<bool> ThrowOnErrorFlag;
