#pragma once
// The frame in which one command runs.
class ResultsLog;
class ToolContext;

// The exit value of a command that crashed.
constexpr int kCrashExitCode = -100;

// Sets the command-running flag and calls the dispatcher. The files the command wrote are then put on disk, each
// file system written to flushed once (platform/OutputFlush.h); a flush that fails is an error of the command. A fault inside the command (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL) or an exception that escapes it ends the process at once with kCrashExitCode: no
// summary is printed and no shutdown runs.
int RunCommand(ToolContext& tool, ResultsLog& log, int argc, char** argv);

// The same frame around another command function (RunCommand passes DispatchCommand); tests pass their own.
using CommandFunction = int (*)(ToolContext& tool, ResultsLog& log, int argc, char** argv);
int RunCommandWith(CommandFunction command, ToolContext& tool, ResultsLog& log, int argc, char** argv);
