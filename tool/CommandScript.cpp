#include "tool/Commands.h"

#include "assetdb/ResultsLog.h"
#include "core/PathHelpers.h"
#include "script/compiler/GSCompilerMain.h"
#include "script/compiler/GSScriptFile.h"
#include "tool/StartDirectory.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

int CompileCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Invalid file path.");
        return -1;
    }
    // The compiler reads and writes its relative paths against the working directory: the one the user started
    // from. Where it cannot be entered again, they would lead elsewhere (the executable's folder): nothing is done.
    char saved[4096];
    bool haveSaved = getcwd(saved, sizeof saved) != nullptr;
    if (!tool.StartDirectory().empty() && chdir(tool.StartDirectory().c_str()) != 0)
    {
        PostCommandError(client, log,
                         "The folder the tool was started in cannot be entered: " + std::string(std::strerror(errno)) +
                             ".");
        return -1;
    }
    auto restore = [&] {
        if (haveSaved && chdir(saved) != 0)
        {}
    };
    // The front end sees the program path, an empty element, then the compile arguments unchanged.
    std::vector<const char*> argv(static_cast<size_t>(args.argc));
    for (int i = 0; i < args.argc; ++i) argv[static_cast<size_t>(i)] = args.Arg(i) ? args.Arg(i) : "";
    argv[1] = "";
    int errors = GSCompilerMain(args.argc, argv.data());
    restore();
    if (errors == 0) return 0;
    // The compiler has printed each error; the summary must not read as a success.
    log.PostResultF(kResultError, "The script was not compiled: %d error%s.", errors, errors == 1 ? "" : "s");
    return -1;
}

int EncryptCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    if (args.ParameterMissing())
    {
        PostCommandError(client, log, "Invalid file path.");
        return -1;
    }
    // The source as typed: the lower-cased word would name another file.
    Orvo::File::Path source = ResolveArgumentPath(tool, args.Arg(2));
    if (!source.IsExt("gs"))
    {
        PostCommandError(client, log, "Invalid file path.");
        return -1;
    }
    Orvo::File::Path target(source);
    target.SetExt("gse");
    GSScriptFile script;
    if (!script.Load("", source.str()))
    {
        PostCommandError(client, log, "Invalid file path.");
        return -1;
    }
    if (!script.SaveAs("", target.str()))
    {
        // A script that was not written is a failure, whatever the load said.
        log.PostResultF(kResultError, "Unable to write the encoded script '%s': %s.", target.c_str(),
                        script.LastError().c_str());
        return -1;
    }
    return 0;
}
