#include "daemon/CommandHostBroker.h"

#include "daemon/ClientConnection.h"
#include "daemon/DaemonLog.h"
#include "platform/Process.h"

#include <algorithm>
#include <chrono>

std::shared_ptr<ClientConnection> CommandHostBroker::LiveHost() { return host_.lock(); }

void CommandHostBroker::Register(const std::shared_ptr<ClientConnection>& host)
{
    std::lock_guard lk(mutex_);
    host_ = host;
    ahead_ = -1;
    DLOG("command host registered: %s (pid %u)", host->Program().c_str(), host->Pid());
    cv_.notify_all();
}

bool CommandHostBroker::IsHost(const ClientConnection* c)
{
    std::lock_guard lk(mutex_);
    return c != nullptr && (host_.lock().get() == c || busyHost_ == c);
}

void CommandHostBroker::HostGone(ClientConnection* host)
{
    std::lock_guard lk(mutex_);
    if (host_.lock().get() == host || host_.expired()) host_.reset();
    if (busyHost_ == host)
    {
        hostLost_ = true;
        cv_.notify_all();
    }
}

void CommandHostBroker::JobReply(ClientConnection* host, const VADBytes& reply)
{
    std::lock_guard lk(mutex_);
    if (busyHost_ != host || replied_)
    {
        DLOG("a job reply from %s (pid %u) that no job waits for: dropped", host->Program().c_str(), host->Pid());
        return;
    }
    reply_ = reply;
    replied_ = true;
    cv_.notify_all();
}

void CommandHostBroker::Shutdown()
{
    std::lock_guard lk(mutex_);
    shutdown_ = true;
    cv_.notify_all();
}

bool CommandHostBroker::StartedHostEnded(int pid, std::string& how)
{
    auto it = std::find(started_.begin(), started_.end(), pid);
    if (it == started_.end())
    {
        how = "ended";  // already collected by ReapStartedHosts
        return true;
    }
    int code = 0;
    Platform::WaitResult w = Platform::WaitForProcess(pid, 0, &code);
    if (w == Platform::WaitResult::TimedOut) return false;
    started_.erase(it);
    how = w == Platform::WaitResult::Exited ? "ended (exit code " + std::to_string(code) + ")" : "ended";
    DLOG("the command host %d %s before it registered", pid, how.c_str());
    return true;
}

void CommandHostBroker::WaitForStartedHost(std::unique_lock<std::mutex>& lk, int pid, std::string& ended)
{
    // The process gives no signal here when it ends, so its state is looked at between short waits:
    // a host that died at once fails the job at once instead of after the whole start wait.
    constexpr auto kPollStep = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startWaitMs_);
    while (!shutdown_ && host_.expired())
    {
        if (StartedHostEnded(pid, ended)) return;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        cv_.wait_until(lk, std::min(deadline, now + kPollStep));
    }
}

void CommandHostBroker::StartAhead()
{
    std::lock_guard lk(mutex_);
    if (shutdown_ || ahead_ > 0 || host_.lock()) return;
    const std::string exe = root_ + "/bin/VelmarUtil";
    Platform::LaunchResult r =
        Platform::LaunchProcess(exe, {"vadcommandhost", "-nostartvaddaemon"}, root_, Platform::kLaunchNoConsole);
    // A start that fails here is tried again, and reported, by the job.
    if (!r) return;
    DLOG("started the command host (pid %d) ahead of a job", r.pid);
    started_.push_back(r.pid);
    ahead_ = r.pid;
}

bool CommandHostBroker::RunJob(const VADJob& job, const ClientConnection* asker, VADHostReply& reply,
                               std::string& error, unsigned timeoutMs)
{
    // A request the host makes while it runs a job would wait here for that very job.
    if (IsHost(asker))
    {
        error = "the command host asked for a job of its own";
        return false;
    }
    std::lock_guard jobLock(jobMutex_);
    std::shared_ptr<ClientConnection> host;
    {
        std::unique_lock lk(mutex_);
        host = host_.lock();
        if (!host && !shutdown_)
        {
            std::string exe = root_ + "/bin/VelmarUtil";
            // A host started ahead of this job is waited for; otherwise one is started now.
            int pid = ahead_;
            ahead_ = -1;
            if (pid <= 0)
            {
                lk.unlock();
                Platform::LaunchResult r = Platform::LaunchProcess(exe, {"vadcommandhost", "-nostartvaddaemon"}, root_,
                                                                   Platform::kLaunchNoConsole);
                lk.lock();
                if (!r)
                {
                    error = "the command host '" + exe + "' could not be started: " + r.error;
                    return false;
                }
                DLOG("started the command host (pid %d)", r.pid);
                started_.push_back(r.pid);
                pid = r.pid;
            }
            std::string ended;
            awaited_ = pid;
            WaitForStartedHost(lk, pid, ended);
            awaited_ = -1;
            host = host_.lock();
            if (!host && !ended.empty())
            {
                error = "the command host '" + exe + "' " + ended + " before it registered";
                return false;
            }
        }
        if (!host)
        {
            error = "no command host registered within " + std::to_string(startWaitMs_) + " ms";
            return false;
        }
        if (host.get() == asker)
        {
            error = "the command host asked for a job of its own";
            return false;
        }
        busyHost_ = host.get();
        replied_ = false;
        hostLost_ = false;
        reply_.clear();
    }
    bool sent = host->Send(VAD_NOTIFY_JOB, 0, VADEncode(job));
    std::unique_lock lk(mutex_);
    bool ok = sent && cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
        return replied_ || hostLost_ || shutdown_;
    }) && replied_;
    VADBytes bytes;
    if (ok)
        bytes = std::move(reply_);
    else
        error = !sent       ? "the job could not be sent to the command host"
                : hostLost_ ? "the command host went away during the job"
                            : "the command host did not answer";
    busyHost_ = nullptr;
    lk.unlock();
    if (ok && (!VADDecode(bytes, reply) || reply.command != job.command))
    {
        error = "the command host's answer could not be read";
        ok = false;
    }
    return ok;
}

void CommandHostBroker::ReapStartedHosts()
{
    std::lock_guard lk(mutex_);
    for (auto it = started_.begin(); it != started_.end();)
    {
        int code = 0;
        if (*it != awaited_ && Platform::WaitForProcess(*it, 0, &code) == Platform::WaitResult::Exited)
        {
            DLOG("the command host %d ended (exit code %d)", *it, code);
            if (*it == ahead_) ahead_ = -1;
            it = started_.erase(it);
        }
        else
            ++it;
    }
}
