#pragma once
// The command dispatcher: runs exactly one command of the tool and returns its exit value.
//
// argv[0] is the program path, argv[1] the command word (compared lower-cased), argv[2..] the command's
// parameters. The command works with `tool` (its daemon client and engine objects). Problems are posted to
// `log`; the summary after the command prints them. A few commands print to standard output themselves.
class ResultsLog;
class ToolContext;

int DispatchCommand(ToolContext& tool, ResultsLog& log, int argc, char** argv);
