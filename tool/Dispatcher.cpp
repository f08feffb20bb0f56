#include "tool/Dispatcher.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "tool/ArchiveCommands.h"
#include "tool/CommandHost.h"
#include "tool/Commands.h"
#include "tool/ConsistImport.h"
#include "tool/Maintenance.h"
#include "tool/Query.h"
#include "tool/ToolContext.h"
#include "tool/dls/DLSCommands.h"

namespace {

template <int N>
int FixedValue(ToolContext&, ResultsLog&, const CommandArgs&)
{
    return N;
}

struct CommandRow
{
    const char* word;
    int minArgc;  // rows that need more arguments do not match with fewer
    CommandFn run;
};

// Compared top to bottom; the first matching row runs.
constexpr CommandRow kCommands[] = {
    {"version", 0, VersionCommand},
    {"installedversionlo", 0, FixedValue<kInstalledVersion & 0xFF>},
    {"installedversionhi", 0, FixedValue<(kInstalledVersion >> 8) & 0xFF>},
    {"installedbuildnumberlo", 0, FixedValue<kInstalledBuildNumber & 0xFF>},
    {"installedbuildnumberhi", 0, FixedValue<(kInstalledBuildNumber >> 8) & 0xFF>},
    {"echo", 0, EchoCommand},
    {"installedversion", 0, FixedValue<kInstalledVersion>},
    {"installedbuildnumber", 0, FixedValue<kInstalledBuildNumber>},
    {"countbuiltins", 0, CountBuiltinsCommand},
    {"registeraccount", 4, RegisterAccountCommand},
    {"closevaddaemon", 0, CloseDaemonCommand},
    {"preuninstall", 0, CloseDaemonCommand},
    {"installcdp", 0, InstallCDPCommand},
    {"installfrompath", 0, InstallFromPathCommand},
    {"installfromdls", 0, InstallFromDLSCommand},
    {"importconsists", 0, ImportConsistsCommand},
    {"setnextcontentid", 0, SetNextContentIDCommand},
    {"edit", 0, EditCommand},
    {"printconfig", 0, PrintConfigCommand},
    {"compile", 0, CompileCommand},
    {"vadcommandhost", 0, VADCommandHostCommand},
    {"encrypt", 0, EncryptCommand},
    {"listbuilds", 0, ListBuildsCommand},
    {"commit", 0, CommitCommand},
    {"revert", 0, RevertCommand},
    {"delete", 0, DeleteCommand},
    {"generatekuid", 0, GenerateKUIDCommand},
    {"repairdatabase", 0, RepairDatabaseCommand},
    {"flagrepairdatabase", 0, FlagRepairDatabaseCommand},
    {"patch-finalise", 0, PatchFinaliseCommand},
    {"compresstexture", 0, CompressTextureCommand},
    {"authors", 0, AuthorsCommand},
    {"searchbycategory", 0, SearchByCategoryCommand},
    {"status", 0, StatusCommand},
    {"validate", 0, ValidateCommandWord},
    {"createcdp", 0, CreateCDPCommand},
    {"export-package", 4, ExportPackageCommand},
    {"dlsparse", 0, DLSParseCommand},
    {"dlsparsefolder", 0, DLSParseFolderCommand},
    {"dlsdeleteall", 0, DLSDeleteAllCommand},
    {"backupkeywords", 0, BackupKeywordsCommand},
    {"importkeywords", 0, ImportKeywordsCommand},
    {"setmaxbackupfolders", 0, SetMaxBackupFoldersCommand},  // without its number: "Missing number parameter."
};

int RunRow(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    for (const CommandRow& row : kCommands)
    {
        if (args.word == row.word && args.argc >= row.minArgc) return row.run(tool, log, args);
    }
    PostCommandError(tool.Client(), log, "Invalid argument, please check the help for the list of valid argument\n");
    return -1;
}

}  // namespace

int DispatchCommand(ToolContext& tool, ResultsLog& log, int argc, char** argv)
{
    CommandArgs args = MakeCommandArgs(argc, argv);
    // Each command may reopen a link that went away once; a request it could not carry out for want of a
    // link is reported here, once, and the command fails, whatever the command made of the failed request.
    VADConnection* link = tool.Connection();
    if (link) link->ClearLinkFailure();
    int result = RunRow(tool, log, args);
    if (link && link->LinkFailure() != VADLinkFailure::kNone)
    {
        log.PostResult(kResultError, link->LinkFailureText());
        if (result == 0) result = -1;
    }
    return result;
}
