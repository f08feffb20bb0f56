#pragma once
// The daemons a link started. Each is started with its standard error on a pipe that the link reads while
// it waits for the daemon: a daemon that cannot start says why there ("VADDaemon: <reason>") and ends, and
// the link, which started it and so sees it end, stops waiting at once with that reason. A daemon that
// ended because another one serves the root (kVADDaemonExitLocked), or ended quietly with 0, did not fail.
// Once the waiting is over (StopListening) a daemon is no longer heard: when it ends later, killed or crashed
// after it served, it is reaped but did not fail to start.
#include <mutex>
#include <string>
#include <vector>

// What a daemon that ended before it served came to: empty when it did not fail, else the text the tool
// shows ("The asset database daemon could not start: <its reason>"). `said` is what it wrote on its
// standard error; its last line is the reason. exitCode is 128 + the signal when it was killed.
std::string VADDaemonStartFailure(int exitCode, const std::string& said);

class VADLaunchedDaemons
{
public:
    VADLaunchedDaemons() = default;
    ~VADLaunchedDaemons();
    VADLaunchedDaemons(const VADLaunchedDaemons&) = delete;
    VADLaunchedDaemons& operator=(const VADLaunchedDaemons&) = delete;

    // Starts `executable` in `workDir` without a console, its standard error on a pipe kept here. A start
    // that fails is a failure too.
    void Launch(const std::string& executable, const std::string& workDir);
    // Collects the daemons that have ended (so none lingers as a zombie) and what they said. True when one
    // started since ClearFailure could not start (one that ended while still heard).
    bool Reap();
    // The pids of the daemons started that have not been seen to end.
    std::vector<int> Running() const;
    // Stops hearing the running ones: their pipes are closed, and they are still reaped, but their ending
    // is no failure to start.
    void StopListening();

    std::string Failure() const;
    void ClearFailure();

private:
    struct Launched
    {
        int pid = 0;
        int errorFd = -1;   // read end of its standard error; -1 once closed
        std::string said;   // the last kMaxSaid bytes of it
        bool heard = true;  // still waited for: its ending is a failure to start
    };
    void ReadFrom(Launched& d);
    void RecordLocked(std::string failure);

    mutable std::mutex mutex_;
    std::vector<Launched> launched_;
    std::string failure_;
};
