// VADDaemon: the asset database daemon of one installation. The root is the parent of the folder that
// holds this executable.
//
//   VADDaemon [-idle=<seconds>] [-hostwait=<ms>] [-crashat=<point>]
//     -idle       exit after this long without clients (default 600, 0: never)
//     -hostwait   how long to wait for a command host the daemon started (default 30000)
//     -crashat    for crash tests: kill itself at the named step of an install or commit (CrashPoint.h)
#include "daemon/CrashPoint.h"
#include "daemon/DaemonServer.h"
#include "platform/ConsoleControl.h"
#include "platform/Process.h"
#include "platform/StandardStreams.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string StandardOutputFailure(const std::string& reason)
{
    return "VADDaemon: failed to write the standard output" + (reason.empty() ? std::string() : ": " + reason) + "\n";
}

int RunDaemon(int argc, char** argv)
{
    DaemonOptions options;
    for (int i = 1; i < argc; ++i)
    {
        if (strncmp(argv[i], "-idle=", 6) == 0)
        {
            char* end = nullptr;
            unsigned long v = strtoul(argv[i] + 6, &end, 10);
            if (!end || *end || v > 7 * 24 * 3600)
            {
                fprintf(stderr, "VADDaemon: bad idle time '%s'\n", argv[i] + 6);
                return 2;
            }
            options.idleSeconds = static_cast<unsigned>(v);
        }
        else if (strncmp(argv[i], "-hostwait=", 10) == 0)
        {
            char* end = nullptr;
            unsigned long v = strtoul(argv[i] + 10, &end, 10);
            if (!end || *end || v > 600000)
            {
                fprintf(stderr, "VADDaemon: bad command-host wait '%s'\n", argv[i] + 10);
                return 2;
            }
            options.hostWaitMs = static_cast<unsigned>(v);
        }
        else if (strncmp(argv[i], "-crashat=", 9) == 0)
            SetCrashPoint(argv[i] + 9);
        else
        {
            fprintf(stderr, "usage: VADDaemon [-idle=<seconds>] [-hostwait=<ms>] [-crashat=<point>]\n");
            return 2;
        }
    }
    std::string folder = Platform::ExecutableFolder();
    if (folder.empty())
    {
        fprintf(stderr, "VADDaemon: cannot find its own folder\n");
        return 2;
    }
    size_t slash = folder.rfind('/');
    std::string root = slash == 0 ? std::string("/") : folder.substr(0, slash);

    // The client that started the daemon hears its start-up failures through a pipe it may have closed since:
    // a write to it must fail, not end the daemon.
    signal(SIGPIPE, SIG_IGN);
    DaemonServer server{DaemonRoot(root), options};
    // Every signal that would end the daemon stops it as a shutdown request does; SIGPIPE stays ignored.
    Platform::InstallConsoleHandler([&server](int, int) {
        server.RequestShutdown();
        return true;
    });
    int code = server.Run();
    Platform::RemoveConsoleHandler();
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    // A write to standard output or error that failed makes a run that would have ended 0 fail.
    Platform::SetStandardStreamFailure(&StandardOutputFailure, 1);
    return Platform::EndStandardStreams(RunDaemon(argc, argv));
}
