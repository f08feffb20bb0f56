#include "assetdb/VADDaemonLaunch.h"

#include "assetdb/VADProtocol.h"
#include "core/LogPrintf.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A daemon says one line; a flood is cut to its end.
constexpr size_t kMaxSaid = 4096;
constexpr size_t kMaxReason = 512;

std::string LastLine(const std::string& said)
{
    size_t end = said.find_last_not_of("\r\n");
    if (end == std::string::npos) return {};
    const size_t newline = said.rfind('\n', end);
    const size_t begin = newline == std::string::npos ? 0 : newline + 1;
    std::string line = said.substr(begin, end + 1 - begin);
    const std::string prefix = "VADDaemon: ";
    if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
    if (line.size() > kMaxReason) line = line.substr(0, kMaxReason) + "...";
    // Only printable text reaches the console.
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return line;
}

}  // namespace

std::string VADDaemonStartFailure(int exitCode, const std::string& said)
{
    if (exitCode == 0 || exitCode == kVADDaemonExitLocked) return {};
    std::string reason = LastLine(said);
    if (reason.empty())
        reason = exitCode > 128 ? "it was ended by signal " + std::to_string(exitCode - 128)
                                : "it ended with exit code " + std::to_string(exitCode);
    return "The asset database daemon could not start: " + reason;
}

VADLaunchedDaemons::~VADLaunchedDaemons()
{
    for (Launched& d : launched_)
        if (d.errorFd >= 0) close(d.errorFd);
}

void VADLaunchedDaemons::RecordLocked(std::string failure)
{
    if (!failure_.empty() || failure.empty()) return;  // the first failure is the one to report
    failure_ = std::move(failure);
    LogPrintf("VADOpenDatabase> %s", failure_.c_str());
}

void VADLaunchedDaemons::Launch(const std::string& executable, const std::string& workDir)
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) fds[0] = fds[1] = -1;
    if (fds[0] >= 0) fcntl(fds[0], F_SETFL, O_NONBLOCK);
    Platform::LaunchResult r = Platform::LaunchProcess(executable, {}, workDir, Platform::kLaunchNoConsole, fds[1]);
    if (fds[1] >= 0) close(fds[1]);
    std::lock_guard lk(mutex_);
    if (!r)
    {
        if (fds[0] >= 0) close(fds[0]);
        RecordLocked("The asset database daemon could not start: " + r.error);
        return;
    }
    launched_.push_back(Launched{r.pid, fds[0], {}});
}

void VADLaunchedDaemons::ReadFrom(Launched& d)
{
    if (d.errorFd < 0) return;
    char buf[1024];
    for (;;)
    {
        const ssize_t n = read(d.errorFd, buf, sizeof buf);
        if (n <= 0)
        {
            // The end (every writer gone) or an error: nothing more will come. EAGAIN: not yet.
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
            {
                close(d.errorFd);
                d.errorFd = -1;
            }
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        d.said.append(buf, static_cast<size_t>(n));
        if (d.said.size() > kMaxSaid) d.said.erase(0, d.said.size() - kMaxSaid);
    }
}

bool VADLaunchedDaemons::Reap()
{
    std::lock_guard lk(mutex_);
    for (auto it = launched_.begin(); it != launched_.end();)
    {
        int code = -1;
        const Platform::WaitResult w = Platform::WaitForProcess(it->pid, 0, &code);
        if (w == Platform::WaitResult::TimedOut)
        {
            ReadFrom(*it);  // keeps the pipe from filling while it runs
            ++it;
            continue;
        }
        // Whatever it said is in the pipe now (its children's standard error is not this pipe).
        ReadFrom(*it);
        if (w == Platform::WaitResult::Exited && it->heard) RecordLocked(VADDaemonStartFailure(code, it->said));
        if (it->errorFd >= 0) close(it->errorFd);
        it = launched_.erase(it);
    }
    return !failure_.empty();
}

std::vector<int> VADLaunchedDaemons::Running() const
{
    std::lock_guard lk(mutex_);
    std::vector<int> pids;
    for (const Launched& d : launched_) pids.push_back(d.pid);
    return pids;
}

void VADLaunchedDaemons::StopListening()
{
    std::lock_guard lk(mutex_);
    for (Launched& d : launched_)
    {
        if (d.errorFd >= 0) close(d.errorFd);
        d.errorFd = -1;
        d.heard = false;
    }
}

std::string VADLaunchedDaemons::Failure() const
{
    std::lock_guard lk(mutex_);
    return failure_;
}

void VADLaunchedDaemons::ClearFailure()
{
    std::lock_guard lk(mutex_);
    failure_.clear();
}
