// The daemon's memory around large configuration files: its resident and peak memory after start, after
// installing an asset whose config.txt is large but within the bound, and after one far past the bound
// (refused before it is read), each with the install's time.
//
//   bench_configmemory [large MB=30] [huge MB=200]
//
// The installation is made in $TMPDIR (else /tmp); VELMAR_BENCH_STAGE names another build's stage folder.
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "platform/Process.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// "VmRSS" or "VmHWM" of a process, in MB.
double StatusMB(int pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field) + 1) / 1024.0;
    return 0;
}

// An asset folder whose config.txt is about `mb` MB of tags (a large table, as big meshes' configs have).
void WriteAsset(const std::string& folder, int contentId, int mb)
{
    fs::create_directories(folder);
    std::ofstream out(folder + "/config.txt");
    out << "kuid <kuid:900500:" << contentId << ">\nusername \"Large " << contentId << "\"\nkind \"scenery\"\n"
        << "mesh-table\n{\n";
    const size_t target = size_t(mb) << 20;
    size_t written = 0;
    for (int i = 0; written < target; ++i)
    {
        const std::string item = "  part-" + std::to_string(i) + "\n  {\n    mesh \"part" + std::to_string(i) +
                                 ".im\"\n    auto-create 1\n    offset 0.5,1.25,-3.0\n  }\n";
        out << item;
        written += item.size();
    }
    out << "}\n";
}

void Report(const char* what, int pid, double seconds, bool installed)
{
    std::printf("%-34s %8.1f MB resident %8.1f MB peak %7.2f s  %s\n", what, StatusMB(pid, "VmRSS:"),
                StatusMB(pid, "VmHWM:"), seconds, installed ? "installed" : "refused");
}

}  // namespace

int main(int argc, char** argv)
{
    const int largeMB = argc > 1 ? std::atoi(argv[1]) : 30;
    const int hugeMB = argc > 2 ? std::atoi(argv[2]) : 200;
    if (largeMB < 1 || hugeMB < 1) return 2;

    const char* tmp = std::getenv("TMPDIR");
    const char* stageEnv = std::getenv("VELMAR_BENCH_STAGE");
    const std::string stage = stageEnv && *stageEnv ? stageEnv : VELMAR_STAGE_DIR;
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench-configmemory-XXXXXX";
    char real[PATH_MAX];
    const std::string root = realpath(mkdtemp(tmpl.data()), real);
    fs::create_directories(root + "/bin");
    std::error_code ec;
    fs::create_hard_link(stage + "/bin/VADDaemon", root + "/bin/VADDaemon", ec);
    if (ec) fs::copy_file(stage + "/bin/VADDaemon", root + "/bin/VADDaemon", ec);
    WriteAsset(root + "/src/large", 1, largeMB);
    WriteAsset(root + "/src/huge", 2, hugeMB);

    int status = 0;
    {
        VADConnection connection;
        connection.SetRoot(root);
        VADConnectionSettings settings;
        if (!connection.Open(settings))
        {
            std::fprintf(stderr, "the daemon could not be started\n");
            return 1;
        }
        const std::vector<int> daemons = Platform::FindProcessesByPath(root + "/bin/VADDaemon");
        if (daemons.size() != 1) return 1;
        const int pid = daemons[0];
        Report("started", pid, 0, false);
        for (const char* name : {"large", "huge"})
        {
            const auto t0 = Clock::now();
            ResultsLog log;
            KUID kuid;
            const bool installed =
                VADClient(connection).InstallFromFolder(kuid, Orvo::File::Path(root + "/src/" + name), &log).Ok();
            const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            char what[64];
            std::snprintf(what, sizeof what, "config.txt of %d MB", std::strcmp(name, "large") ? hugeMB : largeMB);
            Report(what, pid, seconds, installed);
        }
        connection.CloseDaemon(0);
        (void)Platform::WaitForProcess(pid, 30000);  // the figures are taken; the daemon only has to be gone
    }
    fs::remove_all(root, ec);
    return status;
}
