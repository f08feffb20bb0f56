#include "engine/PString.h"

#include <gtest/gtest.h>

#include <thread>
#include <unordered_map>
#include <vector>

using Orvo::PString;
using Orvo::PStringCache;

TEST(PString, EqualTextsShareOneNodeAndEmptyIsShared)
{
    PString a("kind"), b(std::string("ki") + "nd"), c("Kind");
    EXPECT_EQ(a.Node(), b.Node());
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    EXPECT_TRUE(a.EqualsNoCase(c));
    EXPECT_EQ(PString().Node(), PString("").Node());
    EXPECT_EQ(PString(static_cast<const char*>(nullptr)).Node(), PString::Empty().Node());
    EXPECT_TRUE(PString().empty());

    std::unordered_map<PString, int> map;
    map[a] = 1;
    EXPECT_EQ(map.count(PString("kind")), 1u);
    EXPECT_EQ(map.count(c), 0u);
}

TEST(PString, CompareFindAndCase)
{
    PString s("Mesh-Table");
    EXPECT_EQ(s.CompareNoCase(PString("mesh-table")), 0);
    EXPECT_LT(PString("abc").CompareNoCase(PString("ABD")), 0);
    EXPECT_GT(PString("abcd").CompareNoCase(PString("ABC")), 0);
    EXPECT_EQ(s.Find("-"), 4);
    EXPECT_EQ(s.Find("e", 2), 9);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.Find("e", 99), -1);
    EXPECT_EQ(s.FindNoCase("TABLE"), 5);
    EXPECT_TRUE(s.ToLower() == PString("mesh-table"));
    PString lower("already");
    EXPECT_EQ(lower.ToLower().Node(), lower.Node());
    EXPECT_TRUE(PStringCache::Ins(PString("tbumptex"), 0, "m.") == PString("m.tbumptex"));
    EXPECT_TRUE(PStringCache::Ins(PString("ab"), 99, "c") == PString("abc"));
    PString d("gone");
    PStringCache::Destroy(d);
    EXPECT_TRUE(d.empty());
}

TEST(PString, ThreadsInterningTheSameTextGetTheSameNode)
{
    constexpr int kThreads = 4, kNames = 2000;
    std::vector<std::vector<const Orvo::PStringNode*>> seen(kThreads);
    std::vector<std::vector<PString>> held(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &seen, &held] {
            for (int i = 0; i < kNames; ++i)
            {
                // Each thread walks the names in a different order to make them race.
                int n = (t % 2) ? kNames - 1 - i : i;
                PString s("race-name-" + std::to_string(n));
                seen[t].resize(kNames);
                seen[t][n] = s.Node();
                held[t].push_back(s);
            }
        });
    for (auto& th : threads) th.join();
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
}

TEST(PString, GarbageCollectionFreesOnlyUnreferencedNodes)
{
    PStringCache& cache = PStringCache::Instance();
    cache.CollectGarbage();
    size_t before = cache.Count();
    PString kept("gc-kept-name");
    {
        PString dropped("gc-dropped-name");
        PString copy = dropped;
    }
    EXPECT_EQ(cache.Count(), before + 2);
    EXPECT_GE(cache.CollectGarbage(), 1u);
    EXPECT_EQ(cache.Count(), before + 1);
    EXPECT_STREQ(kept.c_str(), "gc-kept-name");
    EXPECT_EQ(PString("gc-kept-name").Node(), kept.Node());
    // Interning the dropped text again after collection gives a fresh, working node.
    PString again("gc-dropped-name");
    EXPECT_STREQ(again.c_str(), "gc-dropped-name");
    EXPECT_EQ(PString("").Node(), PString::Empty().Node());  // the empty string survives collection
}

// A name interned often enough is pinned: no longer counted, kept when nobody holds it. Names interned less
// often are freed as before, and a stream of new names each interned often pins no more than the budget.
TEST(PString, OftenInternedNamesArePinnedWithinTheBudget)
{
    PStringCache& cache = PStringCache::Instance();
    cache.CollectGarbage();
    const size_t before = cache.Count();
    ASSERT_LT(cache.PinnedCount(), PStringCache::kPinnedNamesBudget);
    const Orvo::PStringNode* hot = nullptr;
    for (uint32_t i = 0; i < PStringCache::kInternsToPin; ++i)
    {
        PString s("pin-hot-name");
        PString copy = s;
        hot = s.Node();
    }
    {
        PString warm("pin-warm-name");
        for (uint32_t i = 0; i + 2 < PStringCache::kInternsToPin; ++i) PString("pin-warm-name");
        EXPECT_FALSE(PStringCache::IsPinned(warm.Node()));  // one interning short of the mark
    }
    EXPECT_TRUE(PStringCache::IsPinned(hot));
    cache.CollectGarbage();
    EXPECT_EQ(cache.Count(), before + 1);
    EXPECT_EQ(PString("pin-hot-name").Node(), hot);
    EXPECT_STREQ(PString("pin-hot-name").c_str(), "pin-hot-name");

    // Past the budget, names are counted and collected as before.
    const size_t names = PStringCache::kPinnedNamesBudget + 500;
    for (size_t n = 0; n < names; ++n)
    {
        const std::string text = "pin-stream-" + std::to_string(n);
        for (uint32_t i = 0; i < PStringCache::kInternsToPin; ++i) PString{text};
    }
    EXPECT_LE(cache.PinnedCount(), PStringCache::kPinnedNamesBudget);
    cache.CollectGarbage();
    EXPECT_LE(cache.Count(), before + PStringCache::kPinnedNamesBudget);
    PString late("pin-stream-" + std::to_string(names - 1));
    EXPECT_FALSE(PStringCache::IsPinned(late.Node()));
    EXPECT_EQ(late.View(), "pin-stream-" + std::to_string(names - 1));
}

TEST(PString, CollectionRacingWithInterningKeepsLiveNodes)
{
    std::atomic<bool> stop{false};
    std::thread collector([&] {
        while (!stop) PStringCache::Instance().CollectGarbage();
    });
    for (int round = 0; round < 20000; ++round)
    {
        PString s("churn-" + std::to_string(round % 50));
        ASSERT_EQ(s.View(), "churn-" + std::to_string(round % 50));
        ASSERT_EQ(PString(s.View()).Node(), s.Node());
    }
    stop = true;
    collector.join();
}
