#pragma once
// The start-up switches: words accepted anywhere among the arguments (compared lower-cased), which the
// dispatcher also sees as ordinary arguments.
#include <string>

struct ToolSwitches
{
    bool noRender = false;            // "norender": start the engine with the null renderer
    bool engineLogToConsole = false;  // "-orvolog": engine log to standard output
    bool startDaemon = true;          // "-nostartvaddaemon" clears it: do not launch the daemon
    bool databaseClient = true;       // "-novadclient" clears it: the client flag of the daemon hello
    bool closeDaemonRun = false;      // "closevaddaemon": a database that cannot be reached is not fatal
};

// Every argument, argv[0] included, is compared with the switch words.
ToolSwitches CollectToolSwitches(int argc, char** argv);

// "-NullRender " or "-render=OpenGL -hidewindow ", then "-LogStdOut " or "-LogFile=/dev/null ".
std::string BuildEngineOptionText(const ToolSwitches& switches);
