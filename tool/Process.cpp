#include "tool/Process.h"

#include "assetdb/ContentFolders.h"
#include "core/LogPrintf.h"
#include "engine/FilePath.h"
#include "platform/Process.h"

#include <vector>

std::string BuildLaunchCommandLine(const std::string& executable, const std::string& argumentText)
{
    // Paths keep their "/" here: a "\" would be an ordinary file-name character to the child.
    Orvo::File::Path exe(executable);
    return exe.GetFileName().str() + " " + argumentText;
}

int LaunchProcess(const char* executable, const char* argumentText, const char* workFolder, unsigned flags)
{
    if (!executable || !*executable) return 0;
    std::string args = argumentText ? argumentText : "";
    LogPrintf("LaunchProcess> %s", BuildLaunchCommandLine(executable, args).c_str());
    Platform::LaunchResult r = Platform::LaunchProcessText(executable, args, workFolder ? workFolder : "", flags & 15u);
    return r.pid > 0 ? r.pid : 0;
}

int TerminateProcessesByPath(const char* executable, int waitMs)
{
    // Without time to end by themselves, processes are left alone (the platform call would end them now).
    if (!executable || !*executable || waitMs <= 0) return 0;
    std::vector<int> ended;
    int count = Platform::TerminateProcessesByPath(executable, waitMs, 2000, &ended);
    for (int pid : ended) LogPrintf("Terminating process with ID %d", pid);
    return count;
}

void SetIdlePriority() { Platform::SetIdlePriority(); }

bool StartContentDesk(const char* installationFolder)
{
    if (!installationFolder || !*installationFolder) return false;
    Orvo::File::Path exe(installationFolder);
    exe.AddPath("bin/ContentDesk");
    return LaunchProcess(exe.c_str(), "", installationFolder, 0) != 0;
}
