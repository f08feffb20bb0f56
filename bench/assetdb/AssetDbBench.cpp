// The daemon link's costs: payload codecs in MB/s, and synchronous transactions per second over loopback
// against an in-process stand-in daemon, from one thread and from four at once.
#include "FakeDaemon.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void CodecBench(size_t count)
{
    VADKuidListReply list;
    for (size_t i = 0; i < count; ++i)
        list.kuids.emplace_back(static_cast<int32_t>(i % 500000), static_cast<int32_t>(i), static_cast<int32_t>(i % 4));
    auto t0 = Clock::now();
    VADBytes bytes = VADEncode(list);
    double enc = Seconds(t0);
    t0 = Clock::now();
    VADKuidListReply back;
    bool ok = VADDecode(bytes, back);
    double dec = Seconds(t0);
    double mb = bytes.size() / 1e6;
    std::printf("KUID list of %zu: %.1f MB, encode %.0f MB/s, decode %.0f MB/s%s\n", count, mb, mb / enc, mb / dec,
                ok ? "" : " (DECODE FAILED)");

    VADQueryRequest q;
    for (int i = 0; i < 2000; ++i)
    {
        auto* g = new VADFilterElementGroup();
        g->Add(new VADFilterElementString(VAD_FIELD_CATEGORY_LIST, "TR;TV;LOC"));
        g->Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
        g->Add(new VADFilterElementInteger(VAD_FIELD_BUILD, VAD_CMP_GREATER, 280));
        q.filter.Add(g);
    }
    t0 = Clock::now();
    int rounds = 50;
    size_t total = 0;
    for (int i = 0; i < rounds; ++i)
    {
        VADBytes fb = VADEncode(q);
        VADQueryRequest qb;
        VADDecode(fb, qb);
        total += fb.size();
    }
    std::printf("filter tree of 8001 nodes: encode+decode %.0f MB/s\n", total / 1e6 / Seconds(t0));
}

void LinkBench(VADConnection& connection, int perThread, int threads)
{
    std::vector<std::thread> pool;
    auto t0 = Clock::now();
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&connection, perThread] {
            VADBytes req{1, 2, 3, 4}, rep;
            // The stand-in echoes every request: only the round trip is measured.
            for (int i = 0; i < perThread; ++i) (void)connection.Perform(VAD_REQ_KEEPALIVE, req, rep);
        });
    for (auto& th : pool) th.join();
    double s = Seconds(t0);
    int n = perThread * threads;
    std::printf("transactions, %d thread(s): %d in %.2f s = %.0f/s (%.1f us each)\n", threads, n, s, n / s,
                s * 1e6 / n);
}

}  // namespace

int main(int argc, char** argv)
{
    size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    CodecBench(count);

    VADConnection connection;
    FakeDaemon daemon(connection, [](FakeDaemon& d, const FakeDaemon::Frame& f) { d.Reply(f, 0, f.payload); });
    VADConnectionSettings s;
    s.Reset();
    s.startDaemon = 0;
    if (!connection.Open(s))
    {
        std::printf("could not connect to the stand-in daemon\n");
        return 1;
    }
    LinkBench(connection, 20000, 1);
    LinkBench(connection, 5000, 4);
    connection.Close();
    return 0;
}
