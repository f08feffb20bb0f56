// The daemon's request rate: clients on their own connections asking for asset records (request 21)
// against an installation of indexed assets; also the first scan and the rescan at a restart, beside
// reading every configuration file (the bytes alone, and loaded into trees) on one thread.
//
//   bench_daemon [assets=10000] [clients=8] [requests per client=1000]
//
// The installation is made in $TMPDIR (else /tmp); VELMAR_BENCH_STAGE names another build's stage folder.
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "assetdb/VADPayloads.h"
#include "core/ConfigFile.h"
#include "engine/File.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

bool ReadBlock(const std::string& name, VADDiscoveryBlock& b)
{
    Platform::SharedMemoryBlock m;
    uint8_t raw[kVADDiscoveryBlockSize];
    return m.Open(name, false) && m.Read(0, raw, sizeof raw) && VADDecodeDiscoveryBlock(raw, b);
}

// Starts the daemon and waits until it is ready; its pid, 0 on failure.
int StartReady(const std::string& root, const std::string& block)
{
    Platform::LaunchResult r = Platform::LaunchProcess(root + "/bin/VADDaemon", {"-idle=0"}, root);
    for (int i = 0; r && i < 6000; ++i)
    {
        VADDiscoveryBlock b;
        if (ReadBlock(block, b) && static_cast<int>(b.pid) == r.pid && b.state == VAD_STATE_READY) return r.pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
}

bool Connect(const std::string& block, Platform::Socket& s)
{
    VADDiscoveryBlock b;
    if (!ReadBlock(block, b)) return false;
    s = Platform::Socket::Connect(b.port);
    s.SetNoDelay(true);
    VADHello h;
    h.pid = static_cast<uint32_t>(getpid());
    h.program = "bench_daemon";
    return VADClientHandshake(s, b.token, h, 5000) == VADHandshake::kAccepted;
}

}  // namespace

int main(int argc, char** argv)
{
    int assets = argc > 1 ? atoi(argv[1]) : 10000;
    int clients = argc > 2 ? atoi(argv[2]) : 8;
    int requests = argc > 3 ? atoi(argv[3]) : 1000;
    if (assets < 1 || clients < 1 || requests < 1) return 2;

    const char* tmp = std::getenv("TMPDIR");
    const char* stageEnv = std::getenv("VELMAR_BENCH_STAGE");
    const std::string stage = stageEnv && *stageEnv ? stageEnv : VELMAR_STAGE_DIR;
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench-daemon-XXXXXX";
    char real[PATH_MAX];
    std::string root = realpath(mkdtemp(tmpl.data()), real);
    fs::create_directories(root + "/bin");
    std::error_code ec;
    fs::create_hard_link(stage + "/bin/VADDaemon", root + "/bin/VADDaemon", ec);
    if (ec) fs::copy_file(stage + "/bin/VADDaemon", root + "/bin/VADDaemon", ec);
    std::string block = VADDiscoveryName(static_cast<uint32_t>(getuid()), root);

    auto t0 = Clock::now();
    std::vector<KUID> kuids;
    for (int i = 0; i < assets; ++i)
    {
        KUID k(100000 + i % 50, 1000 + i, 0);
        kuids.push_back(k);
        std::string folder = root + "/UserData/local/" + k.ToSpacedString();
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt") << "kuid " << k.ToString() << "\nusername \"Asset " << i
                                              << "\"\nkind \"scenery\"\ncategory-class \"BR\"\ncategory-region \"GB\"\n"
                                                 "velmar-build 4.6\nkuid-table {\n  0 <kuid:100000:1000>\n}\n";
    }
    std::printf("wrote %d asset folders in %.2f s\n", assets, Seconds(t0));

    t0 = Clock::now();
    int pid = StartReady(root, block);
    if (!pid)
    {
        std::fprintf(stderr, "the daemon did not become ready\n");
        return 1;
    }
    const double first = Seconds(t0);
    std::printf("first start (indexing %d assets): %.2f s\n", assets, first);
    // The floor it stands on: every configuration file read, and read into a tree, one after the other.
    t0 = Clock::now();
    size_t bytes = 0;
    for (const KUID& k : kuids)
    {
        std::string text;
        Orvo::File::ReadFile(root + "/UserData/local/" + k.ToSpacedString() + "/config.txt", text);
        bytes += text.size();
    }
    const double read = Seconds(t0);
    t0 = Clock::now();
    for (const KUID& k : kuids)
    {
        TDBTagRef tree;
        // Only the time of reading is measured: the daemon's scan reads the same files.
        (void)LoadConfigFile(tree, "", root + "/UserData/local/" + k.ToSpacedString() + "/config.txt");
    }
    const double load = Seconds(t0);
    std::printf("reading every config file: %.2f s (%.1f MB), loading each into a tree: %.2f s; first start / "
                "loading: %.2f, / reading: %.2f\n",
                read, bytes / 1048576.0, load, first / load, first / read);
    kill(pid, SIGTERM);
    (void)Platform::WaitForProcess(pid, 30000);  // the restart below finds out whether it ended
    t0 = Clock::now();
    pid = StartReady(root, block);
    std::printf("restart (nothing changed): %.2f s\n", Seconds(t0));

    for (int n : {1, clients})
    {
        std::atomic<long> done{0}, failed{0};
        std::vector<std::thread> threads;
        t0 = Clock::now();
        for (int c = 0; c < n; ++c)
            threads.emplace_back([&, c] {
                Platform::Socket s;
                if (!Connect(block, s))
                {
                    failed += requests;
                    return;
                }
                for (int i = 0; i < requests; ++i)
                {
                    const KUID& k =
                        kuids[(static_cast<size_t>(c) * 7919 + static_cast<size_t>(i) * 104729) % kuids.size()];
                    VADFrameHeader h;
                    VADBytes reply;
                    int32_t status;
                    VADBytes body;
                    VADAssetInfo info;
                    if (!VADSendFrame(s, VAD_REQ_INFO, i + 1, VADEncode(VADKuidValueRequest{k, VAD_DETAIL_ALL}),
                                      5000) ||
                        VADReceiveFrame(s, h, reply, 5000) != VADFrameRead::kOk ||
                        !VADDecodeReplyPayload(reply, status, body) || status != 0)
                    {
                        ++failed;
                        continue;
                    }
                    VADReader br(body);
                    if (!VADDecodeAssetInfo(br, info) || info.kuid != k) ++failed;
                    ++done;
                }
            });
        for (auto& t : threads) t.join();
        double s = Seconds(t0);
        std::printf("%d client%s x %d info requests: %.0f requests/s (%ld failed)\n", n, n == 1 ? "" : "s", requests,
                    static_cast<double>(done.load()) / s, failed.load());
    }
    kill(pid, SIGTERM);
    (void)Platform::WaitForProcess(pid, 30000);  // the figures are taken; the daemon only has to be gone
    fs::remove_all(root, ec);
    return 0;
}
