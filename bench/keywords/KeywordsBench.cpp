// "importkeywords" through the real tool and daemon: N keywords, one for each of N installed assets, from the
// command's start to its exit, and to the moment the daemon has stored the last of them (asked on a connection of
// the benchmark's own). A build whose import says OK only once every keyword is stored has the two equal; one that
// sends and leaves shows how long the daemon went on storing after the command ended.
//
//   bench_keywords [assets=10000] [rounds=5]
//
// The installation is made in $TMPDIR (else /tmp): the store syncs to that disk, which is what is measured, so it
// should be a real disk, not a memory file system. VELMAR_BENCH_STAGE names another build's stage folder.
#include "assetdb/VADClient.h"
#include "platform/Process.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string Keywords(int round, int i) { return "round" + std::to_string(round) + ";kw" + std::to_string(i); }

}  // namespace

int main(int argc, char** argv)
{
    const int assets = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (assets < 1 || rounds < 1) return 2;
    const char* tmp = std::getenv("TMPDIR");
    const char* stageEnv = std::getenv("VELMAR_BENCH_STAGE");
    const std::string stage = stageEnv && *stageEnv ? stageEnv : VELMAR_STAGE_DIR;
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench-keywords-XXXXXX";
    char real[PATH_MAX];
    const std::string root = realpath(mkdtemp(tmpl.data()), real);
    std::error_code ec;
    fs::copy(stage + "/bin", root + "/bin", fs::copy_options::recursive | fs::copy_options::create_hard_links, ec);
    if (ec) fs::copy(stage + "/bin", root + "/bin", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const std::string work = root + "/work";
    fs::create_directories(work);
    std::vector<KUID> kuids;
    for (int i = 0; i < assets; ++i)
    {
        const KUID k(900800, i + 1, 0);
        kuids.push_back(k);
        const std::string folder = root + "/UserData/local/" + k.ToSpacedString();
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt")
            << "kuid " << k.ToString() << "\nusername \"Asset " << i << "\"\nkind \"scenery\"\n";
    }
    const std::string tool = root + "/bin/VelmarUtil";
    // The first command starts the daemon, which indexes the folders.
    if (Platform::LaunchProcess(tool, {"version"}, work, Platform::kLaunchWait | Platform::kLaunchNoConsole).exitCode !=
        0)
    {
        std::fprintf(stderr, "the tool did not run\n");
        return 1;
    }
    VADConnection link;
    link.SetRoot(root);
    VADConnectionSettings settings;
    settings.startDaemon = 0;
    if (!link.Open(settings))
    {
        std::fprintf(stderr, "no daemon to ask\n");
        return 1;
    }
    VADClient client(link);

    std::vector<double> command, stored;
    bool ok = true;
    for (int round = 0; round < rounds; ++round)
    {
        {
            std::ofstream dump(work + "/KeywordsDump.dat");
            for (int i = 0; i < assets; ++i)
                dump << '"' << kuids[i].ToString() << "\" \"" << Keywords(round, i) << "\"\n";
        }
        const Clock::time_point start = Clock::now();
        const Platform::LaunchResult r =
            Platform::LaunchProcess(tool, {"importkeywords"}, work, Platform::kLaunchWait | Platform::kLaunchNoConsole);
        const Clock::time_point ended = Clock::now();
        ok = ok && r.exitCode == 0;
        // The daemon stores what one connection sent in order: the last keyword stored means all are.
        const std::string last = Keywords(round, assets - 1);
        for (int tries = 0; tries < 600000; ++tries)
        {
            const VADResult<Orvo::String> now = client.GetAssetKeywords(kuids.back());
            if (now.Ok() && now.Value().str() == last) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const Clock::time_point done = Clock::now();
        command.push_back(Ms(start, ended));
        stored.push_back(Ms(start, done));
        std::printf("round %d: command %8.1f ms, all stored %8.1f ms, exit %d\n", round + 1, command.back(),
                    stored.back(), r.exitCode);
    }
    std::printf("importkeywords of %d keywords: command %.1f ms, all stored %.1f ms (medians of %d rounds)\n", assets,
                Median(command), Median(stored), rounds);
    (void)Platform::LaunchProcess(tool, {"closevaddaemon"}, work, Platform::kLaunchWait | Platform::kLaunchNoConsole);
    link.Close();
    fs::remove_all(root, ec);
    return ok ? 0 : 1;
}
