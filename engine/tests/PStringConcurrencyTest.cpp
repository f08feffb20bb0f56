// Lookups without a lock while names are added (tables growing) and collected on other threads: every
// handle keeps its text, and one text is one node. Also run under ThreadSanitizer.
#include "engine/PString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Orvo::PString;
using Orvo::PStringCache;

TEST(PStringConcurrency, LookupsGrowthAndCollectionsRaceSafely)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 4000;
    std::atomic<bool> stop{false};
    std::thread collector([&] {
        while (!stop) PStringCache::Instance().CollectGarbage();
    });
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &wrong] {
            const PString held("shared-held-name");
            for (int i = 0; i < kRounds; ++i)
            {
                // A few names every thread uses (found without the lock), and new ones that grow the tables
                // and are dropped at once for the collector.
                const std::string common = "shared-" + std::to_string(i % 16);
                const std::string fresh = "fresh-" + std::to_string(t) + "-" + std::to_string(i);
                PString a(common), b(fresh);
                if (a.View() != common || b.View() != fresh || PString(common).Node() != a.Node() ||
                    PString("shared-held-name").Node() != held.Node())
                    ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    stop = true;
    collector.join();
    EXPECT_EQ(wrong.load(), 0);
    PStringCache::Instance().CollectGarbage();
    EXPECT_STREQ(PString("shared-held-name").c_str(), "shared-held-name");
}

// Names pinned while other threads copy, hand over and drop handles of them, and a collector runs: a pinned
// name is never freed, and names counted down to zero before and around the pinning are.
TEST(PStringConcurrency, PinningRacesWithHandlesAndCollections)
{
    constexpr int kThreads = 4;
    std::atomic<bool> stop{false};
    std::thread collector([&] {
        while (!stop) PStringCache::Instance().CollectGarbage();
    });
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    std::vector<std::vector<PString>> kept(kThreads);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &wrong, &kept] {
            for (uint32_t i = 0; i < 2 * PStringCache::kInternsToPin; ++i)
            {
                const std::string text = "pin-race-" + std::to_string(i % 8);
                PString a(text);
                PString b = a;
                kept[t].push_back(b);  // dropped on another thread below
                if (PString(text).Node() != a.Node() || b.View() != text) ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    std::thread dropper([&kept] { kept.clear(); });
    dropper.join();
    stop = true;
    collector.join();
    EXPECT_EQ(wrong.load(), 0);
    PStringCache::Instance().CollectGarbage();
    for (int i = 0; i < 8; ++i)
    {
        const std::string text = "pin-race-" + std::to_string(i);
        EXPECT_TRUE(PStringCache::IsPinned(PString(text).Node())) << text;
        EXPECT_EQ(PString(text).View(), text);
    }
}
