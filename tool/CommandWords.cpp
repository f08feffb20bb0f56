#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "engine/File.h"
#include "platform/OutputFile.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <cstdio>
#include <string>

int VersionCommand(ToolContext&, ResultsLog&, const CommandArgs&)
{
    std::printf("Build %d\n", kInstalledBuildNumber);
    return 0;
}

int EchoCommand(ToolContext&, ResultsLog&, const CommandArgs& args)
{
    for (int i = 2; i < args.argc; ++i)
    {
        const char* a = args.Arg(i);
        std::fputs(a ? a : "", stdout);
        std::fputc(' ', stdout);
    }
    std::fputc('\n', stdout);
    return 0;
}

int GenerateKUIDCommand(ToolContext& tool, ResultsLog& log, const CommandArgs&)
{
    VADClient& client = tool.Client();
    KUID kuid;
    const uint32_t errorsBefore = log.ErrorCount();
    if (!client.GenerateKUID(kuid, &log))
    {
        // A null KUID printed as if it were generated would be taken for one; the reason goes to the log
        // (the daemon's own, the link's, or this).
        if (log.ErrorCount() == errorsBefore && !client.LinkFailed())
            PostCommandError(client, log, "The asset database could not generate a KUID.");
        return -1;
    }
    std::printf("<KUID2:%d:%u:%u>\n", kuid.userId, static_cast<uint32_t>(kuid.contentId),
                static_cast<uint32_t>(kuid.version));
    return 0;
}

int SetNextContentIDCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    int32_t id = -1;
    if (args.ParameterMissing() || !ReadDecimalInt(args.parameterWord.c_str(), id) || id <= 0)
    {
        PostCommandError(client, log, "Missing or invalid ContentID parameter.");
        return -1;
    }
    if (client.SetNextContentID(id)) return 0;
    // Otherwise the run would fail with a clean summary.
    PostCommandError(client, log, "Unable to send the ContentID to the asset database.");
    return -1;
}

int SetMaxBackupFoldersCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    const char* text = args.Arg(2);
    // Without its number the command says so: a run that set nothing must not end in "OK (0 Errors".
    if (!text)
    {
        PostCommandError(client, log, "Missing number parameter.");
        return -1;
    }
    // A word that is not a number would be taken as 0 and cost every earlier backup at the next replacement.
    if (!IsWholeNumber(text))
    {
        log.PostResultF(kResultError, "The number of backup folders must be a whole number, not '%s'.", text);
        return -1;
    }
    int32_t n = ReadIntSaturated(text);
    if (n < 0) n = 0;
    if (n > 30) n = 30;
    // OK only once the daemon has stored it: a limit it never took would let the next install thin backups the
    // user asked to keep.
    const bool set = SayConfirmed(client, log, client.SetSettingInt("developer", "max_backup_folders", n),
                                  "The number of backup folders may not be set to " + std::to_string(n) +
                                      ": the asset database daemon did not confirm it.",
                                  "Unable to set the number of backup folders.");
    return set ? 0 : -1;
}

int ListBuildsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Missing path parameter.");
        return -1;
    }
    // The output is the user's to name, and is opened before the daemon is asked, without waiting for a FIFO's
    // reader; a file of the user's own is replaced only once all of the list is written, and nothing else is
    // emptied before the list is there to write (platform/OutputFile.h). A failure says why.
    const Orvo::File::Path path = ResolveArgumentPath(tool, args.Arg(2));
    Platform::OutputFile file;
    if (!file.Open(path.str()))
    {
        PostCommandError(client, log, "Failed to open output file.");
        log.PostResultF(kResultMessage, "'%s': %s", path.c_str(), file.Reason().c_str());
        return -1;
    }
    const VADResult<Orvo::String> builds = client.ListBuilds();
    if (!builds.Ok())
    {
        PostCommandError(client, log, "Unable to list the builds.");
        return -1;
    }
    if (!file.Commit(std::string(builds.Value().View()) + "\n"))
    {
        log.PostResultF(kResultError, "Failed to write output file '%s': %s.", path.c_str(), file.Reason().c_str());
        return -1;
    }
    return 0;
}
