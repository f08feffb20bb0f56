#pragma once
// The download-station maintenance words: "dlsparse", "dlsparsefolder" and "dlsdeleteall".
#include "tool/CommandArgs.h"

int DLSParseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int DLSParseFolderCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int DLSDeleteAllCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
