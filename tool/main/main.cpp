// VelmarUtil: one command, or one batch file of commands, per run.
#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "core/CoreStartup.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "platform/ConsoleControl.h"
#include "platform/Interruption.h"
#include "platform/Process.h"
#include "platform/StandardStreams.h"
#include "textures/DescriptionsAside.h"
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
// the work it asked for: a request the daemon has is not taken back. SIGTERM, SIGHUP, SIGQUIT and every other signal
// whose default ends a process (SIGUSR1, SIGALRM, SIGXCPU, the real-time ones, a SIGPIPE from a reader that went
// away, ...) end it by their signal too. Before any of them ends it, and before anything is written, every texture
// description a conversion set aside gets its own name back, an output being written in place is finished and the
// tool's own temporary files go (the handlers run on a thread of their own, so that they may take the conversions'
// lock and wait for the writers); the words then written cannot end the process (SIGPIPE is held back on that
// thread) when standard error's reader has gone. A signal that was ignored as the tool started (Ctrl-C of a
// background job, SIGHUP under nohup) stays ignored. What the system raises for the tool's own doing keeps its
// meaning (a write past `ulimit -f` fails with "File too large": ConsoleControl.h). The command host sets up its
// own handling.
constexpr char kInterruptText[] =
    "\nInterrupted: the tool stops here, with no summary. A request it had already sent to the asset database "
    "daemon is not taken back: the daemon carries it on to its end, and the next command sees what it did.\n";

void WriteToStandardError(const std::string& text)
{
    if (!text.empty() && ::write(STDERR_FILENO, text.data(), text.size()) < 0)
    {}
}

// The handlers stand from construction to destruction: their thread must end before the process's static
// objects do, on every way out of main.
struct EndingSignals
{
    EndingSignals();
    ~EndingSignals() { Platform::RemoveConsoleHandler(); }
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;
};

EndingSignals::EndingSignals()
{
    Platform::InstallConsoleHandler(
        [](int, int signal) {
            // The names first: the registry of descriptions aside may make a file of its own under its lock, which
            // PrepareToEnd would then hold back.
            std::string left = GiveBackSetAsideDescriptions();
            left += Platform::PrepareToEnd();
            if (signal == SIGINT) WriteToStandardError(kInterruptText);
            WriteToStandardError(left);
            return false;  // the process ends by the signal: 128 + its number
        },
        true);
}

// One command with its own results log and summary.
int RunOneCommand(ToolContext& tool, int argc, char** argv)
{
    ResultsLog log;
    const int result = RunCommand(tool, log, argc, argv);
    PrintResultsSummary(log);
    return result;
}

// A failed standard output, said on standard error as the tool says a failed output file.
std::string StandardOutputFailure(const std::string& reason)
{
    return "- Failed to write the standard output" + (reason.empty() ? std::string() : ": " + reason) + ".\n";
}

// The run; every way out of it but ExitProcess (which judges them itself) comes back to main, which judges the
// standard streams.
int RunTool(int argc, char** argv)
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
        const EndingSignals endingSignals;
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

}  // namespace

int main(int argc, char** argv)
{
    // A write to standard output or error that failed fails the run, whatever its commands said.
    Platform::SetStandardStreamFailure(&StandardOutputFailure, -1);
    return Platform::EndStandardStreams(RunTool(argc, argv));
}
