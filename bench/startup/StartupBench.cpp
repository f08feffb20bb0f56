// Start-up time of the tool, as a user sees it: "VelmarUtil version" from start to exit, in a temporary
// installation root made from the staged executables.
//   cold: no daemon runs; the tool starts it (auto-start) and waits for it
//   warm: the daemon already runs
//   help: no start-up at all (the floor: process start and the help text)
// Usage: bench_startup [cold runs] [warm runs]
#include "tests/e2e/E2EHarness.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double TimedRunMs(const e2e::InstallRoot& root, const std::vector<std::string>& args, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    const e2e::RunResult r = root.Run(args);
    const auto end = std::chrono::steady_clock::now();
    ok = ok && !r.timedOut && (r.exitCode == 0 || args.empty());
    return std::chrono::duration<double, std::milli>(end - start).count();
}

void Report(const char* name, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) sum += v;
    std::printf("%-5s runs %3zu  min %9.2f ms  median %9.2f ms  mean %9.2f ms  max %9.2f ms\n", name, ms.size(),
                ms.front(), ms[ms.size() / 2], sum / double(ms.size()), ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const int coldRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int warmRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    bool ok = true;

    std::vector<double> cold;
    for (int i = 0; i < coldRuns; ++i)
    {
        e2e::InstallRoot root;  // fresh: no daemon, no database
        cold.push_back(TimedRunMs(root, {"version"}, ok));
    }

    e2e::InstallRoot root;
    if (!root.StartDaemon())
    {
        std::fprintf(stderr, "the daemon did not start\n");
        return 1;
    }
    bool warmOk = true;
    TimedRunMs(root, {"version"}, warmOk);  // the first client makes the database's first scan
    std::vector<double> warm;
    for (int i = 0; i < warmRuns; ++i) warm.push_back(TimedRunMs(root, {"version"}, ok));
    std::vector<double> help;
    for (int i = 0; i < warmRuns; ++i) help.push_back(TimedRunMs(root, {"help"}, ok));

    Report("cold", cold);
    Report("warm", warm);
    Report("help", help);
    if (!ok)
    {
        std::fprintf(stderr, "some runs failed\n");
        return 1;
    }
    return 0;
}
