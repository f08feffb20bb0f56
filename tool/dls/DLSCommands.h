#pragma once
// The download-station maintenance words: "dlsparse", "dlsparsefolder" and "dlsdeleteall".
#include "tool/CommandArgs.h"

int DLSParseCommand(ResultsLog& log, const CommandArgs& args);
int DLSParseFolderCommand(ResultsLog& log, const CommandArgs& args);
int DLSDeleteAllCommand(ResultsLog& log, const CommandArgs& args);
