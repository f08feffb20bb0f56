// Speed of the engine's hot paths: interning strings and parsing configuration text.
// Usage: bench_engine [megabytes of config text, default 10]
#include "engine/ConfigParser.h"
#include "engine/PString.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Text shaped like asset configurations: containers of raw numbers, KUIDs and quoted strings.
std::string MakeConfig(size_t bytes)
{
    std::string t;
    t.reserve(bytes + 4096);
    for (int asset = 0; t.size() < bytes; ++asset)
    {
        t += "asset-" + std::to_string(asset) + "\n{\n";
        t += "  kuid <kuid2:523:" + std::to_string(100000 + asset) + ":2>\n";
        t += "  username \"Asset number " + std::to_string(asset) + " with a \\\"quoted\\\" word\"\n";
        t += "  velmar-build 3.7\n  category-class \"BR\"\n";
        t += "  mesh-table\n  {\n    default\n    {\n      mesh \"body\\\\lod0.im\"\n      auto-create 1\n";
        t += "      effects {\n      }\n    }\n  }\n";
        t += "  camera 0.5,1.25,-3,0.1,0\n";
        t += "  description \"A longer description that runs\non to a second line.\"\n}\n";
    }
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mb = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 10;
    if (mb == 0 || mb > 1024) mb = 10;

    std::string text = MakeConfig(mb << 20);
    Orvo::ConfigParser parser;
    auto t0 = std::chrono::steady_clock::now();
    int result = parser.ParseText(text, "bench");
    double parse = Seconds(t0);
    std::printf("config parse: %.1f MB in %.3f s = %.1f MB/s (result %d, %zu top-level items)\n",
                text.size() / 1048576.0, parse, text.size() / 1048576.0 / parse, result,
                parser.GetRoot() ? parser.GetRoot()->children.size() : size_t(0));

    // Interning: many lookups of a small working set (the common case: tag names), 1, 2, 4 and 8 threads.
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) names.push_back("tag-name-" + std::to_string(i));
    constexpr int kLookups = 4000000;
    t0 = std::chrono::steady_clock::now();
    size_t sink = 0;
    for (int i = 0; i < kLookups; ++i) sink += Orvo::PString(names[i % names.size()]).length();
    double one = Seconds(t0);
    std::printf("intern, 1 thread: %.1f M lookups/s\n", kLookups / one / 1e6);

    // The same lookups on 2, 4 and 8 threads, each thread doing as many as the one above.
    for (int n : {2, 4, 8})
    {
        t0 = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int t = 0; t < n; ++t)
            threads.emplace_back([&names, t] {
                size_t s = 0;
                for (int i = 0; i < kLookups; ++i) s += Orvo::PString(names[(i + t * 7) % names.size()]).length();
                if (s == 1) std::puts("");
            });
        for (auto& th : threads) th.join();
        const double took = Seconds(t0);
        std::printf("intern, %d threads: %.1f M lookups/s in total (%.2f of 1 thread)\n", n,
                    n * double(kLookups) / took / 1e6, n * one / took);
    }
    return sink == 0;
}
