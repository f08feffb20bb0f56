#pragma once
// The frame in which one command runs.
#include "engine/EngineObjects.h"

class ResultsLog;

// The exit value of a command that crashed.
constexpr int kCrashExitCode = -100;

// Sets the command-running flag and calls the dispatcher. A fault inside the command (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) or an exception that escapes it ends the process at once with kCrashExitCode: no
// summary is printed and no shutdown runs.
int RunCommand(ResultsLog& log, EngineObjects& engine, int argc, char** argv);

// The same frame around another command function (RunCommand passes DispatchCommand); tests pass their own.
using CommandFunction = int (*)(ResultsLog& log, EngineObjects& engine, int argc, char** argv);
int RunCommandWith(CommandFunction command, ResultsLog& log, EngineObjects& engine, int argc, char** argv);
