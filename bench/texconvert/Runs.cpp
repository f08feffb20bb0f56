#include "Runs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

pid_t Spawn(const std::vector<std::string>& argv, const std::string& workDir)
{
    const pid_t pid = fork();
    if (pid == 0)
    {
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
        {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

Timing RunTimed(const std::vector<std::string>& argv, const std::string& workDir)
{
    Timing t;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, workDir);
    int status = 0;
    struct rusage usage = {};
    if (pid > 0) wait4(pid, &status, 0, &usage);
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    t.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return t;
}

Timing RunPool(const std::vector<std::string>& command, const std::vector<std::pair<std::string, std::string>>& files,
               unsigned processes)
{
    Timing t;
    t.exitCode = 0;
    const auto start = std::chrono::steady_clock::now();
    size_t next = 0;
    unsigned running = 0;
    while (next < files.size() || running > 0)
    {
        while (running < processes && next < files.size())
        {
            std::vector<std::string> argv = command;
            argv.push_back(files[next].first);
            argv.push_back(files[next].second);
            ++next;
            if (Spawn(argv, "") > 0)
                ++running;
            else
                t.exitCode = 1;
        }
        int status = 0;
        struct rusage usage = {};
        const pid_t pid = wait4(-1, &status, 0, &usage);
        if (pid <= 0) break;
        --running;
        t.cpu += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) t.exitCode = 1;
    }
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');)
    {
        const fs::path candidate = fs::path(folder) / name;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return std::string();
}

void LayOutRoot(const fs::path& stageBin, const fs::path& root)
{
    fs::create_directories(root / "bin");
    for (const auto& e : fs::directory_iterator(stageBin))
    {
        const fs::path target = root / "bin" / e.path().filename();
        std::error_code ec;
        if (e.is_regular_file()) fs::create_hard_link(e.path(), target, ec);
        if (!e.is_regular_file() || ec) fs::copy(e.path(), target, fs::copy_options::recursive);
    }
    fs::create_directories(root / "UserData");
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    double a = 0, b = 0, c = 0;
    in >> a >> b >> c;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f / %.2f / %.2f", a, b, c);
    return text;
}
