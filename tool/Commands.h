#pragma once
// The bodies of the command words whose whole work is a few steps, and the version numbers they report.
#include "core/KUID.h"
#include "tool/CommandArgs.h"

constexpr int kInstalledVersion = 370;        // high byte 1, low byte 114
constexpr int kInstalledBuildNumber = 61388;  // high byte 239, low byte 204

int VersionCommand(ResultsLog& log, const CommandArgs& args);
int EchoCommand(ResultsLog& log, const CommandArgs& args);
int GenerateKUIDCommand(ResultsLog& log, const CommandArgs& args);
int SetNextContentIDCommand(ResultsLog& log, const CommandArgs& args);
int SetMaxBackupFoldersCommand(ResultsLog& log, const CommandArgs& args);
int ListBuildsCommand(ResultsLog& log, const CommandArgs& args);

int InstallCDPCommand(ResultsLog& log, const CommandArgs& args);
int InstallFromPathCommand(ResultsLog& log, const CommandArgs& args);
int InstallFromDLSCommand(ResultsLog& log, const CommandArgs& args);
int EditCommand(ResultsLog& log, const CommandArgs& args);
int PrintConfigCommand(ResultsLog& log, const CommandArgs& args);
int CommitCommand(ResultsLog& log, const CommandArgs& args);
int RevertCommand(ResultsLog& log, const CommandArgs& args);
int DeleteCommand(ResultsLog& log, const CommandArgs& args);
int StatusCommand(ResultsLog& log, const CommandArgs& args);
int BackupKeywordsCommand(ResultsLog& log, const CommandArgs& args);
int ImportKeywordsCommand(ResultsLog& log, const CommandArgs& args);

int CompileCommand(ResultsLog& log, const CommandArgs& args);
int EncryptCommand(ResultsLog& log, const CommandArgs& args);

int ValidateCommandWord(ResultsLog& log, const CommandArgs& args);

// "compresstexture" (CommandTexture.cpp).
int CompressTextureCommand(ResultsLog& log, const CommandArgs& args);

// The KUID of the parameter word (strict); the null KUID when missing or not a KUID.
KUID ParameterKUID(const CommandArgs& args);
