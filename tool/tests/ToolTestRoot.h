#pragma once
// One installation root per test process (the root is process-wide and set once per run), with
// UserData/ and bin/VADDaemon linked from the staged build, so that tests may start a real daemon.
#include <string>

const std::string& ToolTestRoot();
// True when bin/VADDaemon of the root is there (the staged daemon was built).
bool ToolTestRootHasDaemon();
