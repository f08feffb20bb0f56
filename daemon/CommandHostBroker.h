#pragma once
// Jobs for the command host: a registered client (request 140) that runs validations, texture
// conversions and archive work on the daemon's behalf. Jobs go to one host, one at a time. When none is
// registered, the daemon starts "<root>/bin/VelmarUtil vadcommandhost -nostartvaddaemon" and waits for it.
#include "assetdb/VADPayloads.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ClientConnection;

class CommandHostBroker
{
public:
    explicit CommandHostBroker(std::string root) : root_(std::move(root)) {}

    void Register(const std::shared_ptr<ClientConnection>& host);
    // True when `c` is the registered command host, or the one running a job.
    bool IsHost(const ClientConnection* c);
    // The host's connection ended: a job it was running fails.
    void HostGone(ClientConnection* host);
    // Request 141 from a host: the reply of the running job, as it came (RunJob reads it, so that a reply that
    // cannot be read still ends the job's wait).
    void JobReply(ClientConnection* host, const VADBytes& reply);
    // Sends the job and waits for its reply; false with a reason when no host came, it did not answer or its
    // answer is not a reply to this job. A host cannot take a job for a request of its own (its link would wait
    // on itself): such a job fails at once, without waiting for the job the host is running.
    bool RunJob(const VADJob& job, const ClientConnection* asker, VADHostReply& reply, std::string& error,
                unsigned timeoutMs = 600000);
    // Starts a host now when none is registered or starting, for a job about to come: its start-up overlaps
    // the work before the job, which then waits for this host instead of starting one.
    void StartAhead();
    // Ends every wait (daemon shutdown).
    void Shutdown();

    // Collects the exit of command hosts the daemon started that have ended (no zombies left behind).
    void ReapStartedHosts();

    // How long to wait for a started host to register.
    void SetStartWaitMs(unsigned ms) { startWaitMs_ = ms; }

private:
    std::shared_ptr<ClientConnection> LiveHost();
    // Waits (mutex_ held through lk) until a host registers, the started process `pid` ends (then `ended`
    // says how), the start wait runs out or the broker shuts down.
    void WaitForStartedHost(std::unique_lock<std::mutex>& lk, int pid, std::string& ended);
    // True when the started process has ended; collects its exit and says how it ended.
    bool StartedHostEnded(int pid, std::string& how);

    std::string root_;
    std::mutex jobMutex_;  // one job at a time
    std::mutex mutex_;
    std::condition_variable cv_;
    std::weak_ptr<ClientConnection> host_;
    ClientConnection* busyHost_ = nullptr;
    bool replied_ = false;
    bool hostLost_ = false;
    bool shutdown_ = false;
    VADBytes reply_;
    unsigned startWaitMs_ = 30000;
    std::vector<int> started_;
    int awaited_ = -1;  // the started host a job waits on: its exit is collected by that wait, not the reaper
    int ahead_ = -1;    // a host started ahead of a job, not registered yet
};
