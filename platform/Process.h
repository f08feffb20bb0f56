#pragma once
// Processes: start, wait, find by executable, end, priority, and the facts about the own process.
// Every call returns its failure instead of throwing and refuses pids that are not real processes
// (0, negative, the own pid where ending it would be wrong).
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

// Launch flags, numbered as the tool's callers pass them.
enum LaunchFlag : unsigned
{
    kLaunchMinimised = 1,  // accepted; there is no window to minimise here
    kLaunchHidden = 2,     // accepted; there is no window to hide here
    kLaunchWait = 4,       // wait for the child to end and report its exit code
    kLaunchNoConsole = 8,  // own session, no controlling terminal, standard streams on /dev/null
};

struct LaunchResult
{
    int pid = 0;          // 0 when nothing was started
    bool exited = false;  // set when kLaunchWait was given and the child has ended
    int exitCode = -1;    // exit status; 128 + signal when the child was killed by a signal
    std::string error;    // why the start failed, empty on success
    explicit operator bool() const { return pid > 0; }
};

// Starts `executable` with `args` (argv[1..]; argv[0] is the executable's file name). An executable
// without a '/' is searched in PATH. `workDir` empty keeps the caller's working folder. `errorFd`, when
// not -1, becomes the child's standard error (also with kLaunchNoConsole): a pipe through which the
// caller hears why a child ended, or a file that keeps what it said; `outputFd` the same for its standard
// output (it may be the same descriptor as `errorFd`).
LaunchResult LaunchProcess(const std::string& executable, const std::vector<std::string>& args,
                           const std::string& workDir = {}, unsigned flags = 0, int errorFd = -1, int outputFd = -1);
// The same with the arguments given as one command-line text, split by SplitCommandLine.
LaunchResult LaunchProcessText(const std::string& executable, const std::string& argumentText,
                               const std::string& workDir = {}, unsigned flags = 0);

// Splits a command-line text into arguments the way Windows programs do: blanks separate, double
// quotes group, backslashes escape only a following quote ("2n+1 backslashes + quote" -> n
// backslashes and a literal quote), and "" inside quotes is a literal quote.
std::vector<std::string> SplitCommandLine(const std::string& text);

enum class [[nodiscard]] WaitResult{Exited, TimedOut, Error};
constexpr int kWaitForever = -1;
// Waits for `pid` to end. For the caller's own children the exit code is collected (and the child
// reaped); for other processes only their ending can be seen and `exitCode` is left untouched.
// A child started without kLaunchWait stays a zombie after it ends until it is waited for:
// WaitForProcess(pid, 0) reaps it without blocking.
WaitResult WaitForProcess(int pid, int timeoutMs, int* exitCode = nullptr);

// True while `pid` runs. A process that has ended but was not yet reaped counts as ended.
bool IsProcessAlive(int pid);
// When the running process `pid` started, in clock ticks since the system booted (field 22 of /proc/<pid>/stat): with
// its id, what tells it from a later process of the same id. 0 where none runs (one that ended and was not yet
// reaped included) or /proc cannot tell.
uint64_t ProcessStartTicks(int pid);
// True while `pid` runs as this user: its real and effective user ids are the caller's effective one. A
// process of another user, one that has ended, or one whose ids cannot be read is not.
bool IsOwnLiveProcess(int pid);

// Ids of the running processes whose executable is `executablePath` (after resolving symbolic
// links and "."/".." parts). The caller itself is never listed.
std::vector<int> FindProcessesByPath(const std::string& executablePath);

// Ends one process: SIGTERM, then SIGKILL when it still runs after `graceMs`. Refuses pid <= 0 and
// the caller's own pid. True once the process is gone.
bool EndProcess(int pid, int graceMs = 2000);

// Ends every process running `executablePath`, never the caller. Each one is first given `waitMs`
// to end by itself (all are watched at once, polled every 200 ms); those still running are then
// ended with EndProcess(pid, graceMs). Returns how many had to be ended; their ids go to `ended`.
int TerminateProcessesByPath(const std::string& executablePath, int waitMs, int graceMs = 2000,
                             std::vector<int>* ended = nullptr);

// Scheduling priority as a nice value (-20 highest .. 19 lowest); pid 0 is the caller.
bool SetProcessPriority(int pid, int niceValue);
// The caller at the lowest priority (the "idle" class).
bool SetIdlePriority();

// Flushes C stdio and the C++ standard streams, then ends the process at once with `code` (the system keeps only
// its low 8 bits), or with the failure value where `code` is 0 and a write to standard output or error failed
// (EndStandardStreams, StandardStreams.h). Destructors and atexit handlers do not run.
[[noreturn]] void ExitProcess(int code);

int CurrentProcessId();
// Absolute path of the running executable; empty if it cannot be read.
std::string ExecutablePath();
// Folder of the running executable, without a trailing '/'.
std::string ExecutableFolder();
// Processors available to this process (at least 1).
int ProcessorCount();
// True when a tracer (debugger) is attached to this process.
bool IsDebuggerAttached();

}  // namespace Platform
