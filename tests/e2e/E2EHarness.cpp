#include "E2EHarness.h"

#include "assetdb/VADDiscovery.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {
namespace fs = std::filesystem;

namespace {

// Executables are linked so that /proc/self/exe names the copy in the root; data is copied so the
// tool may rewrite files beside itself without touching the stage.
void LayOutBin(const fs::path& stage, const fs::path& bin)
{
    fs::create_directories(bin);
    for (const fs::directory_entry& e : fs::directory_iterator(stage))
    {
        const fs::path target = bin / e.path().filename();
        if (e.is_regular_file() && (fs::status(e.path()).permissions() & fs::perms::owner_exec) != fs::perms::none)
        {
            std::error_code ec;
            fs::create_hard_link(e.path(), target, ec);
            if (ec) fs::copy_file(e.path(), target);
        }
        else
        {
            fs::copy(e.path(), target, fs::copy_options::recursive);
        }
    }
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& extra)
{
    std::vector<std::string> env;
    for (char** p = environ; *p != nullptr; ++p)
    {
        const std::string entry = *p;
        const std::string key = entry.substr(0, entry.find('='));
        if (extra.count(key) == 0) env.push_back(entry);
    }
    for (const auto& [key, value] : extra) env.push_back(key + "=" + value);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

InstallRoot::InstallRoot()
{
    char pattern[] = "/tmp/velmar-e2e-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a temporary root");
    char real[PATH_MAX];
    root_ = realpath(pattern, real) != nullptr ? real : pattern;
    LayOutBin(VELMAR_STAGE_DIR "/bin", fs::path(root_) / "bin");
    const fs::path builtin = fs::path(SamplesDir()) / "builtin";
    if (fs::exists(builtin)) fs::copy(builtin, fs::path(root_) / "builtin", fs::copy_options::recursive);
    fs::create_directories(fs::path(root_) / "UserData");
}

InstallRoot::~InstallRoot()
{
    StopProcesses();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string InstallRoot::SamplesDir() { return VELMAR_SOURCE_DIR "/data/samples"; }

RunResult InstallRoot::Run(const std::vector<std::string>& args, const RunOptions& options) const
{
    return Start(args, options)->Wait();
}

std::unique_ptr<RunningProgram> InstallRoot::Start(const std::vector<std::string>& args,
                                                   const RunOptions& options) const
{
    RunOptions o = options;
    if (o.workDir.empty()) o.workDir = root_;
    return std::make_unique<RunningProgram>(Tool(), args, o);
}

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args,
                               const RunOptions& options)
    : timeoutMs_(options.timeoutMs)
{
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<std::string> envText = Environment(options.env);
    std::vector<char*> argv = Pointers(argvText);
    std::vector<char*> envp = Pointers(envText);

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return;
    if (pipe2(errPipe, O_CLOEXEC) != 0)
    {
        close(outPipe[0]);
        close(outPipe[1]);
        return;
    }
    const pid_t pid = fork();
    if (pid == 0)
    {
        // Only async-signal-safe calls between fork and exec.
        setpgid(0, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, 0);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(127);
        const rlimit fileSize{options.fileSizeLimit, options.fileSizeLimit};
        if (options.fileSizeLimit != 0 && setrlimit(RLIMIT_FSIZE, &fileSize) != 0) _exit(127);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0)
    {
        close(outPipe[0]);
        close(errPipe[0]);
        return;
    }
    setpgid(pid, pid);  // also here, so that the group exists before the first signal is sent
    pid_ = pid;
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (options.errorReaderGone)
    {
        close(err_);
        err_ = -1;
    }
}

RunningProgram::~RunningProgram()
{
    if (pid_ > 0)
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void RunningProgram::SignalGroup(int signal) const
{
    if (pid_ > 0) kill(-pid_, signal);
}

RunResult RunningProgram::Wait()
{
    RunResult result;
    if (pid_ <= 0) return result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = (out_ >= 0) + (err_ >= 0);
    while (open > 0)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
        {
            result.timedOut = true;
            kill(pid_, SIGKILL);
            break;
        }
        if (poll(fds, 2, int(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i)
        {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0)
            {
                sinks[i]->append(buffer, size_t(got));
            }
            else
            {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds)
    {
        if (f.fd >= 0) close(f.fd);
    }
    out_ = err_ = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

bool InstallRoot::StartDaemon(const std::vector<std::string>& options)
{
    // A short idle time, so that a daemon left behind by a crashed test ends by itself.
    std::vector<std::string> args{"-idle=120"};
    args.insert(args.end(), options.begin(), options.end());
    const Platform::LaunchResult launched =
        Platform::LaunchProcess(Path("bin/VADDaemon"), args, root_, Platform::kLaunchNoConsole);
    if (!launched) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline)
    {
        (void)Platform::WaitForProcess(launched.pid, 0);  // reaps it should it have ended
        VADDiscoveryBlock info;
        if (VADFindDiscoveryBlock(root_, info) && info.state == VAD_STATE_READY) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int InstallRoot::DaemonPid() const
{
    VADDiscoveryBlock info;
    return VADFindDiscoveryBlock(root_, info) ? static_cast<int>(info.pid) : 0;
}

bool InstallRoot::DaemonRunning() const { return !Platform::FindProcessesByPath(Path("bin/VADDaemon")).empty(); }

void InstallRoot::StopProcesses()
{
    // Command hosts first, so that the daemon does not start new ones while it closes.
    for (const char* program : {"bin/VelmarUtil", "bin/VADDaemon"})
    {
        for (int pid : Platform::FindProcessesByPath(Path(program)))
        {
            Platform::EndProcess(pid, 3000);
            (void)Platform::WaitForProcess(pid, 0);  // reaps it should it have ended
        }
    }
}

void InstallRoot::WriteFile(const std::string& relative, const std::string& text) const
{
    const fs::path path = fs::path(Path(relative));
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string InstallRoot::ReadFile(const std::string& relative) const { return ReadWholeFile(Path(relative)); }

bool InstallRoot::Exists(const std::string& relative) const { return fs::exists(fs::path(Path(relative))); }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    for (char c : text)
    {
        if (c == '\n')
        {
            lines.push_back(current);
            current.clear();
        }
        else
        {
            current.push_back(c);
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

RunResult RunInMountNamespace(const std::string& script, const std::vector<std::string>& args,
                              const RunOptions& options)
{
    const std::string unshare = "/usr/bin/unshare";
    if (!fs::exists(unshare))
    {
        RunResult none;
        none.exitCode = kMountRefused;
        none.err = "no " + unshare + " to make a mount namespace\n";
        return none;
    }
    std::vector<std::string> all{"-m", "--propagation", "private", "sh", "-c", script, "sh"};
    all.insert(all.end(), args.begin(), args.end());
    return RunningProgram(unshare, all, options).Wait();
}

bool CannotMakeMountNamespace(const RunResult& r)
{
    return r.exitCode == kMountRefused || (r.exitCode == 1 && r.err.find("unshare") != std::string::npos);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

RacingChild::RacingChild(std::function<void(unsigned)> round, std::function<bool()> setup, std::function<void()> finish,
                         int boundSeconds)
{
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0)
    {
        close(fds[1]);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        if (setup && !setup()) _exit(255);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(boundSeconds);
        char byte;
        for (unsigned n = 0;
             read(fds[0], &byte, 1) < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < deadline; ++n)
            round(n);
        if (finish) finish();
        _exit(0);
    }
    close(fds[0]);
    if (pid_ < 0)
        close(fds[1]);
    else
        stop_ = fds[1];
}

RacingChild::~RacingChild()
{
    if (pid_ > 0) Stop(5000);
}

bool RacingChild::Stop(int waitMs)
{
    if (pid_ <= 0) return false;
    if (stop_ >= 0)
    {
        (void)!write(stop_, "x", 1);
        close(stop_);
        stop_ = -1;
    }
    int status = 0;
    bool ended = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!(ended = waitpid(pid_, &status, WNOHANG) == pid_) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!ended)
    {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace e2e
