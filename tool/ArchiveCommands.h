#pragma once
// The command words that write assets out of the local database: "createcdp" packs them into one content
// archive, "export-package" asks the daemon for a device package of them.
#include "tool/CommandArgs.h"

#include <string>

// createcdp <output.cdp> <KUID>...: every check runs before anything is written.
int CreateCDPCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
// export-package <texture targets> <package> [dependency packages...] <KUID>...
int ExportPackageCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// Device packages take short lower-case names.
constexpr size_t kMaxPackageNameLength = 8;
