#include "platform/Process.h"

#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace Platform {
namespace {

using Clock = std::chrono::steady_clock;

int DecodeStatus(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::string FileNameOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadLink(const std::string& link)
{
    std::string buf(512, '\0');
    for (;;)
    {
        ssize_t n = readlink(link.c_str(), buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buf.size()) return buf.substr(0, static_cast<size_t>(n));
        if (buf.size() >= 65536) return {};
        buf.resize(buf.size() * 2);
    }
}

// The form both sides of a path comparison are brought to: symbolic links resolved where the file
// exists, otherwise the absolute path with "." and ".." folded.
std::string NormalisePath(const std::string& path)
{
    if (path.empty()) return {};
    if (char* real = realpath(path.c_str(), nullptr))
    {
        std::string out(real);
        free(real);
        return out;
    }
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    if (ec) return {};
    return abs.lexically_normal().string();
}

int OpenPidFd(int pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Collects the exit status of our own child `pid` if it has ended. Returns false when `pid` is not
// (or no longer) our child.
bool TryReap(int pid, bool* ended, int* exitCode)
{
    int status = 0;
    pid_t r;
    do r = waitpid(pid, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r < 0) return false;
    *ended = (r == pid);
    if (*ended && exitCode) *exitCode = DecodeStatus(status);
    return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& text)
{
    std::vector<std::string> out;
    size_t i = 0, n = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < n)
    {
        while (i < n && blank(text[i])) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !blank(text[i])))
        {
            if (text[i] == '\\')
            {
                size_t start = i;
                while (i < n && text[i] == '\\') ++i;
                size_t count = i - start;
                if (i < n && text[i] == '"')
                {
                    arg.append(count / 2, '\\');
                    if (count % 2)
                    {
                        arg += '"';
                        ++i;
                    }
                }
                else
                {
                    arg.append(count, '\\');
                }
            }
            else if (text[i] == '"')
            {
                if (quoted && i + 1 < n && text[i + 1] == '"')
                {
                    arg += '"';
                    i += 2;
                }
                else
                {
                    quoted = !quoted;
                    ++i;
                }
            }
            else
            {
                arg += text[i++];
            }
        }
        out.push_back(std::move(arg));
    }
    return out;
}

LaunchResult LaunchProcess(const std::string& executable, const std::vector<std::string>& args,
                           const std::string& workDir, unsigned flags, int errorFd, int outputFd)
{
    LaunchResult result;
    if (executable.empty() || executable.find('\0') != std::string::npos)
    {
        result.error = "no executable given";
        return result;
    }
    if (!workDir.empty())
    {
        struct stat st
        {};
        if (stat(workDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        {
            result.error = "working folder does not exist: " + workDir;
            return result;
        }
    }

    // A relative path with a folder part names a file below the caller's working folder, also when
    // the child is to start in another one.
    std::string program = executable;
    if (program.find('/') != std::string::npos && program[0] != '/')
    {
        std::error_code ec;
        auto abs = std::filesystem::absolute(program, ec);
        if (!ec) program = abs.string();
    }

    std::vector<std::string> argvStore;
    argvStore.reserve(args.size() + 1);
    argvStore.push_back(FileNameOf(executable));
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    // The child starts with no signal blocked and every handler at its default: a blocked or caught
    // signal inherited from us (the console handler, for one) would make it unkillable by Ctrl+C.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    short spawnFlags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    if (flags & kLaunchNoConsole)
    {
        spawnFlags |= POSIX_SPAWN_SETSID;
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    if (outputFd >= 0) posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    posix_spawnattr_setflags(&attr, spawnFlags);
    // Nothing but the standard streams is handed on: an inherited lock file or socket would keep a
    // lock or a connection alive for as long as the child runs.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    pid_t pid = 0;
    int rc = program.find('/') != std::string::npos
                 ? posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ)
                 : posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
    {
        result.error = "cannot start " + executable + ": " + std::strerror(rc);
        return result;
    }
    result.pid = pid;
    if (flags & kLaunchWait)
    {
        int code = -1;
        if (WaitForProcess(pid, kWaitForever, &code) == WaitResult::Exited)
        {
            result.exited = true;
            result.exitCode = code;
        }
    }
    return result;
}

LaunchResult LaunchProcessText(const std::string& executable, const std::string& argumentText,
                               const std::string& workDir, unsigned flags)
{
    return LaunchProcess(executable, SplitCommandLine(argumentText), workDir, flags);
}

WaitResult WaitForProcess(int pid, int timeoutMs, int* exitCode)
{
    if (pid <= 0) return WaitResult::Error;
    bool forever = timeoutMs < 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);

    bool ended = false;
    bool isChild = TryReap(pid, &ended, exitCode);
    if (ended) return WaitResult::Exited;
    if (!isChild && !IsProcessAlive(pid))
    {
        // Not ours and gone (or never there): nothing to wait for.
        return kill(pid, 0) == 0 || errno == EPERM ? WaitResult::Exited : WaitResult::Error;
    }

    int pidfd = OpenPidFd(pid);
    if (pidfd >= 0)
    {
        // Readable once the process has ended, child or not.
        struct pollfd p
        {
            pidfd, POLLIN, 0
        };
        int r;
        do r = poll(&p, 1, forever ? -1 : RemainingMs(deadline));
        while (r < 0 && errno == EINTR);
        close(pidfd);
        if (r <= 0) return r == 0 ? WaitResult::TimedOut : WaitResult::Error;
        if (isChild)
        {
            int status = 0;
            pid_t w;
            do w = waitpid(pid, &status, 0);
            while (w < 0 && errno == EINTR);
            if (w == pid && exitCode) *exitCode = DecodeStatus(status);
        }
        return WaitResult::Exited;
    }

    // No pidfd: poll with a short, growing interval.
    int sleepMs = 1;
    for (;;)
    {
        if (isChild)
        {
            if (!TryReap(pid, &ended, exitCode)) return WaitResult::Error;
            if (ended) return WaitResult::Exited;
        }
        else if (!IsProcessAlive(pid))
        {
            return WaitResult::Exited;
        }
        if (!forever && Clock::now() >= deadline) return WaitResult::TimedOut;
        int nap = forever ? sleepMs : std::min(sleepMs, std::max(1, RemainingMs(deadline)));
        std::this_thread::sleep_for(std::chrono::milliseconds(nap));
        sleepMs = std::min(sleepMs * 2, 20);
    }
}

namespace {

// The fields of /proc/<pid>/stat from the third (the state) on, counted after the command's name and its last ')'.
// False where the file cannot be read; `fields` empty where it does not read so.
bool ProcessStatFields(int pid, std::vector<std::string>& fields)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos) return true;
    std::istringstream rest(line.substr(paren + 1));
    for (std::string field; rest >> field;) fields.push_back(std::move(field));
    return true;
}

// A state letter of a process that has ended (and waits only to be reaped).
bool HasEnded(const std::string& state) { return state == "Z" || state == "X" || state == "x"; }

}  // namespace

bool IsProcessAlive(int pid)
{
    if (pid <= 0) return false;
    if (kill(pid, 0) != 0 && errno != EPERM) return false;
    // An ended process that nobody has reaped still answers kill(); its state letter tells.
    std::vector<std::string> fields;
    if (!ProcessStatFields(pid, fields)) return false;
    return fields.empty() || !HasEnded(fields[0]);
}

uint64_t ProcessStartTicks(int pid)
{
    std::vector<std::string> fields;
    constexpr size_t kStart = 22 - 3;  // field 22, counted from the state's
    if (pid <= 0 || !ProcessStatFields(pid, fields) || fields.size() <= kStart || HasEnded(fields[0])) return 0;
    const std::string& start = fields[kStart];
    if (start.empty() || start.size() > 19 || start.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoull(start);
}

bool IsOwnLiveProcess(int pid)
{
    if (!IsProcessAlive(pid)) return false;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const unsigned long me = geteuid();
    while (std::getline(status, line))
    {
        if (line.rfind("Uid:", 0) != 0) continue;
        unsigned long real = 0, effective = 0;
        return std::sscanf(line.c_str() + 4, "%lu %lu", &real, &effective) == 2 && real == me && effective == me;
    }
    return false;
}

std::vector<int> FindProcessesByPath(const std::string& executablePath)
{
    std::vector<int> out;
    std::string target = NormalisePath(executablePath);
    if (target.empty()) return out;
    const int self = getpid();
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc", ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        auto digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
        if (name.empty() || name.size() > 9 || !std::all_of(name.begin(), name.end(), digit)) continue;
        int pid = std::atoi(name.c_str());
        if (pid <= 0 || pid == self) continue;
        std::string exe = ReadLink("/proc/" + name + "/exe");
        if (exe.empty()) continue;  // kernel thread, zombie, or not ours to look at
        const std::string deleted = " (deleted)";
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        if (exe == target) out.push_back(pid);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool EndProcess(int pid, int graceMs)
{
    if (pid <= 0 || pid == getpid()) return false;
    if (!IsProcessAlive(pid)) return true;
    if (kill(pid, SIGTERM) != 0 && errno != ESRCH) return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::clamp(graceMs, 0, 3600000));
    bool ended = false;
    while (IsProcessAlive(pid) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (IsProcessAlive(pid))
    {
        if (kill(pid, SIGKILL) != 0 && errno != ESRCH) return false;
        for (int i = 0; i < 1000 && IsProcessAlive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // If it was our own child, do not leave it as a zombie.
    TryReap(pid, &ended, nullptr);
    return !IsProcessAlive(pid);
}

int TerminateProcessesByPath(const std::string& executablePath, int waitMs, int graceMs, std::vector<int>* ended)
{
    std::vector<int> pids = FindProcessesByPath(executablePath);
    if (pids.empty()) return 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::clamp(waitMs, 0, 24 * 3600000));
    auto anyAlive = [&] { return std::any_of(pids.begin(), pids.end(), [](int p) { return IsProcessAlive(p); }); };
    while (anyAlive() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(200, std::max(1, RemainingMs(deadline)))));
    int count = 0;
    for (int pid : pids)
    {
        if (!IsProcessAlive(pid)) continue;
        if (EndProcess(pid, graceMs))
        {
            ++count;
            if (ended) ended->push_back(pid);
        }
    }
    return count;
}

bool SetProcessPriority(int pid, int niceValue)
{
    if (pid < 0) return false;
    niceValue = std::clamp(niceValue, -20, 19);
    return setpriority(PRIO_PROCESS, static_cast<id_t>(pid), niceValue) == 0;
}

bool SetIdlePriority() { return SetProcessPriority(0, 19); }

void ExitProcess(int code) { _exit(EndStandardStreams(code)); }

int CurrentProcessId() { return getpid(); }

std::string ExecutablePath() { return ReadLink("/proc/self/exe"); }

std::string ExecutableFolder()
{
    std::string path = ExecutablePath();
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

int ProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0)
    {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool IsDebuggerAttached()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
    }
    return false;
}

}  // namespace Platform
