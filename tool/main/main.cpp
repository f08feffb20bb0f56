// VelmarUtil: one command, or one batch file of commands, per run.
#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "core/CoreStartup.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "platform/Process.h"
#include "tool/BatchFile.h"
#include "tool/HelpText.h"
#include "tool/ResultsSummary.h"
#include "tool/RunCommand.h"
#include "tool/StartDirectory.h"
#include "tool/Tool.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Ctrl-C ends the tool as it always did (by the signal: exit value 130, no summary), after saying what becomes of
// the work it asked for: a request the daemon has is not taken back. Nothing is set up when Ctrl-C was ignored
// as the tool started (a background job). The command host sets up its own handling.
constexpr char kInterruptText[] =
    "\nInterrupted: the tool stops here, with no summary. A request it had already sent to the asset database "
    "daemon is not taken back: the daemon carries it on to its end, and the next command sees what it did.\n";

void OnInterrupt(int signal)
{
    // Only what may run in a signal handler: write, put the default action back, and raise the signal again.
    if (::write(STDERR_FILENO, kInterruptText, sizeof kInterruptText - 1) < 0)
    {}
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void SayWhatAnInterruptLeaves()
{
    struct sigaction previous
    {};
    if (::sigaction(SIGINT, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
    struct sigaction action
    {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

// One command with its own results log and summary.
int RunOneCommand(ToolContext& tool, int argc, char** argv)
{
    ResultsLog log;
    const int result = RunCommand(tool, log, argc, argv);
    PrintResultsSummary(log);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    InitialiseCoreServices();

    Orvo::File::Path exe;
    if (!GetExecutablePath(exe)) return -1;

    if (argc < 2)
    {
        PrintHelpText(stdout);
        std::fputc('\n', stdout);
        return -1;
    }
    std::string word = argv[1];
    Orvo::LowerInPlace(word);
    if (word == "help")
    {
        PrintHelpText(stdout);
        std::fputc('\n', stdout);
        return 0;
    }

    int exitCode = 0;
    {
        // Everything start-up makes ends with the tool object, in reverse order of making.
        Tool tool;
        if (tool.Initialise(argc, argv) != 0)
        {
            std::fprintf(stderr, "- Init failed\n");
            return -1;
        }
        InitialiseApplication();
        SayWhatAnInterruptLeaves();
        ToolContext& context = tool.Context();

        if (argv[1][0] != '@')
        {
            exitCode = RunOneCommand(context, argc, argv);
        }
        else
        {
            const std::string name = argv[1] + 1;
            const std::string path = ResolveBatchFilePath(name, context.StartDirectory().c_str());
            auto runLine = [&context](int lineArgc, char** lineArgv) {
                const int result = RunOneCommand(context, lineArgc, lineArgv);
                std::fputc('\n', stdout);
                return result;
            };
            // A line that cannot be run as written gets a summary of its own, as a failed line does.
            auto refuseLine = [](const std::string& message) {
                ResultsLog log;
                log.PostResult(kResultError, message);
                PrintResultsSummary(log);
                std::fputc('\n', stdout);
            };
            const BatchFileResult batch = RunBatchFile(path, argv[0], runLine, refuseLine);
            if (batch.status != BatchFileStatus::Ran)
            {
                std::fflush(stdout);
                std::fprintf(stderr, "%s\n", BatchFileMessage(batch.status, name).c_str());
                return -1;
            }
            exitCode = batch.exitCode;
        }
    }
    Platform::ExitProcess(exitCode);
}
