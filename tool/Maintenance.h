#pragma once
// The database maintenance and service words: repairdatabase, flagrepairdatabase, closevaddaemon and
// preuninstall, registeraccount, patch-finalise.
#include "tool/CommandArgs.h"

#include <cstdint>
#include <string>

// Repair modes sent to the database.
enum RepairMode : uint32_t
{
    kRepairNormal = 100,
    kRepairExtended = 150,
    kRepairPatcher = 50,
    kRepairBase = 20,
};

// The repair needs this much free disk before it starts.
constexpr uint64_t kRepairMinFreeDisk = 104857600;

// The mode the parameter word names; any other present word posts "Unknown parameter." (mode stays 100).
uint32_t ChooseRepairMode(const VADClient& client, const CommandArgs& args, ResultsLog& log);

int RepairDatabaseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int FlagRepairDatabaseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int CloseDaemonCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int RegisterAccountCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int PatchFinaliseCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// The two texts patch-finalise reports; false when the arguments are not the five it takes.
bool BuildPatchReport(const CommandArgs& args, std::string& page, std::string& label);
