#pragma once
// The end-to-end harness: a temporary installation root made from the staged executables, in which the
// real VelmarUtil runs as a user would run it. Each test makes its own root, so tests run in parallel.
//
//   <root>/bin/         hard links (or copies) of the staged executables, copies of their data files
//   <root>/builtin/     the built-in sample pack (data/samples/builtin)
//   <root>/UserData/    empty
//
// The daemon is started by the tool itself (auto-start) or by StartDaemon(); the destructor ends every
// daemon and tool process of the root and removes the root.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

struct RunResult
{
    int exitCode = -1;  // the low 8 bits, as the system keeps them; 128 + signal when killed
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct RunOptions
{
    std::map<std::string, std::string> env;  // added to (or replacing in) the test's environment
    std::string workDir;                     // empty: the root
    int timeoutMs = 60000;
    // Standard error a pipe whose reader has gone (`|& less` after quitting less): a write to it raises SIGPIPE.
    bool errorReaderGone = false;
    // The largest file it may write (`ulimit -f`, in bytes; 0: the test's own limit).
    uint64_t fileSizeLimit = 0;

    static RunOptions Env(std::map<std::string, std::string> values)
    {
        RunOptions o;
        o.env = std::move(values);
        return o;
    }
    static RunOptions In(std::string folder)
    {
        RunOptions o;
        o.workDir = std::move(folder);
        return o;
    }
};

// A program started in a process group of its own, as a shell starts a foreground job, so that a
// signal can reach the whole job the way Ctrl+C does.
class RunningProgram
{
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args, const RunOptions& options);
    ~RunningProgram();  // kills the job when it was not waited for
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    int Pid() const { return pid_; }
    // Sends the signal to every process of the job's group.
    void SignalGroup(int signal) const;
    // Reads its output until it ends (or the options' time-out) and returns the result.
    RunResult Wait();

private:
    int pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int timeoutMs_ = 60000;
};

class InstallRoot
{
public:
    InstallRoot();
    ~InstallRoot();
    InstallRoot(const InstallRoot&) = delete;
    InstallRoot& operator=(const InstallRoot&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    std::string Tool() const { return Path("bin/VelmarUtil"); }

    // Runs <root>/bin/VelmarUtil with these arguments (argv[1..]).
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
    // Starts <root>/bin/VelmarUtil without waiting for it.
    std::unique_ptr<RunningProgram> Start(const std::vector<std::string>& args, const RunOptions& options = {}) const;

    // Starts <root>/bin/VADDaemon (with these options too) and waits until it reports itself ready. False
    // when it does not.
    bool StartDaemon(const std::vector<std::string>& options = {});
    // The pid of the daemon serving this root (its discovery block), 0 when none.
    int DaemonPid() const;
    // True while a daemon of this root runs.
    bool DaemonRunning() const;
    // Ends every daemon and tool process of this root (SIGTERM, then SIGKILL).
    void StopProcesses();

    // Writes `text` as the whole file (its folders made first); a file already there is truncated and written in
    // place, so that its other names see the new bytes too.
    void WriteFile(const std::string& relative, const std::string& text) const;
    std::string ReadFile(const std::string& relative) const;
    bool Exists(const std::string& relative) const;

    // The source tree's data/samples folder.
    static std::string SamplesDir();

private:
    std::string root_;
};

// A child process that races the test: `round` runs over and over until Stop() or until `boundSeconds` have
// gone by, so that it ends even when the test dies first. `setup` runs first in the child (false: it exits 255),
// `finish` last, before the child exits 0.
class RacingChild
{
public:
    RacingChild(std::function<void(unsigned round)> round, std::function<bool()> setup = {},
                std::function<void()> finish = {}, int boundSeconds = 300);
    ~RacingChild();  // stops a child that was not stopped
    RacingChild(const RacingChild&) = delete;
    RacingChild& operator=(const RacingChild&) = delete;

    bool Started() const { return pid_ > 0; }
    // Tells the child to stop after the round it is in and waits up to `waitMs` for it (then kills it). True
    // when it exited 0.
    bool Stop(int waitMs = 60000);

private:
    int pid_ = -1;
    int stop_ = -1;  // the write end: a byte (or its closing) tells the child to stop
};

// The exit code with which a script run by RunInMountNamespace says a mount it needs was refused.
inline constexpr int kMountRefused = 77;

// Runs the sh `script` (its $1... are `args`) with /usr/bin/unshare in a mount namespace of its own, whose mounts
// are private to it: nothing it mounts is seen outside. Without /usr/bin/unshare, the result says so.
RunResult RunInMountNamespace(const std::string& script, const std::vector<std::string>& args = {},
                              const RunOptions& options = {});
// True when the run could not have its mount namespace, or its script exited kMountRefused: a container may
// refuse both, and the test is skipped then.
bool CannotMakeMountNamespace(const RunResult& r);

// Lines of a text (without their line ends); a last line without a line end counts too.
std::vector<std::string> Lines(const std::string& text);
std::string ReadWholeFile(const std::string& path);

}  // namespace e2e
