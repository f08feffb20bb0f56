#pragma once
// The bodies of the command words whose whole work is a few steps, and the version numbers they report.
#include "core/KUID.h"
#include "tool/CommandArgs.h"

constexpr int kInstalledVersion = 370;        // high byte 1, low byte 114
constexpr int kInstalledBuildNumber = 61388;  // high byte 239, low byte 204

int VersionCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int EchoCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int GenerateKUIDCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int SetNextContentIDCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int SetMaxBackupFoldersCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int ListBuildsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

int InstallCDPCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int InstallFromPathCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int InstallFromDLSCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int EditCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int PrintConfigCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int CommitCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int RevertCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int DeleteCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int StatusCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int BackupKeywordsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int ImportKeywordsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

int CompileCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
int EncryptCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

int ValidateCommandWord(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// "compresstexture" (CommandTexture.cpp).
int CompressTextureCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);

// The KUID of the parameter word (strict); the null KUID when missing or not a KUID.
KUID ParameterKUID(const CommandArgs& args);
