#include "assetdb/ResultsLog.h"

#include "core/TBuffer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

VelmarPropertyRef Asset(int user, int content)
{
    return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), KUID(user, content)));
}

}  // namespace

TEST(ResultsLogTest, CountsKindsAndClearsTheReadFlag)
{
    ResultsLog log;
    log.SetRead(true);
    log.PostResult(kResultMessage, "note");
    EXPECT_FALSE(log.IsRead());
    log.PostResult(kResultWarning, "w");
    log.PostResult(kResultError, "e1");
    log.PostResult(kResultError, "e2");
    log.PostResult(kResultSuccess, "ok");
    log.PostResult(9, "odd kind is kept, not counted");
    EXPECT_EQ(log.WarningCount(), 1u);
    EXPECT_EQ(log.ErrorCount(), 2u);
    EXPECT_EQ(log.SuccessCount(), 1u);
    ASSERT_EQ(log.GetResultCount(), 6u);
    EXPECT_EQ(log.GetResults()[2].text.View(), "e1");  // posting order
}

TEST(ResultsLogTest, FillsPlaceholdersFromParametersWithoutRegardToCase)
{
    TDBTagRef params = TDBTagRef::NewContainer();
    params.SetChildString("file_name", "a.txt");
    params.SetChildInt("COUNT", 3);
    params.SetChildString("unused", "x");
    ResultsLog log;
    log.PostResult(kResultError, "Bad $(FILE_NAME) ($(count) times), $(FILE_NAME); $(MISSING) stays", params);
    EXPECT_EQ(log.GetResults()[0].text.View(), "Bad a.txt (3 times), a.txt; $(MISSING) stays");

    // A value holding its own placeholder is not expanded again.
    TDBTagRef loop = TDBTagRef::NewContainer();
    loop.SetChildString("name", "$(NAME)");
    EXPECT_EQ(ResultsLog::FillPlaceholders("[$(NAME)]", loop).View(), "[$(NAME)]");
    EXPECT_EQ(ResultsLog::FillPlaceholders("plain", TDBTagRef()).View(), "plain");
}

TEST(ResultsLogTest, ResultsWithoutSourceTakeTheTopOfTheContextStack)
{
    ResultsLog log;
    log.PostResult(kResultMessage, "before");
    log.PushContext(Asset(1, 2));
    log.PushContext(Asset(3, 4));
    log.PostResult(kResultMessage, "inner");
    log.PostResult(kResultMessage, Asset(7, 8), "explicit");
    log.PopContext();
    log.PostResult(kResultMessage, "outer");
    log.PopContext();
    log.PopContext();  // popping an empty stack does nothing
    log.PostResult(kResultMessage, "after");

    auto r = log.GetResults();
    EXPECT_FALSE(r[0].source);
    EXPECT_EQ(r[1].source.AsAssetID()->GetKUID(), KUID(3, 4));
    EXPECT_EQ(r[2].source.AsAssetID()->GetKUID(), KUID(7, 8));
    EXPECT_EQ(r[3].source.AsAssetID()->GetKUID(), KUID(1, 2));
    EXPECT_FALSE(r[4].source);
}

TEST(ResultsLogTest, AssignCopiesResultsAndCounters)
{
    ResultsLog a, b;
    a.PostResult(kResultError, Asset(5, 6), "broken");
    a.PostResult(kResultWarning, "careful");
    b.PostResult(kResultSuccess, "old");
    b.Assign(a);
    EXPECT_EQ(b.ErrorCount(), 1u);
    EXPECT_EQ(b.WarningCount(), 1u);
    EXPECT_EQ(b.SuccessCount(), 0u);
    ASSERT_EQ(b.GetResultCount(), 2u);
    EXPECT_EQ(b.GetResults()[0].source.GetValueText(), KUID(5, 6).ToString());
    b.Assign(b);
    EXPECT_EQ(b.GetResultCount(), 2u);
}

TEST(ResultsLogTest, StreamRoundTripAndRefusalOfBadStreams)
{
    ResultsLog log;
    log.PostResult(kResultError, Asset(-3, 77), "first");
    log.PostResult(kResultMessage, "");
    log.PostResult(kResultSuccess, "third with \xC3\xA9");
    TBuffer buf;
    ASSERT_TRUE(log.Write(buf, 0));

    TBuffer in(buf.Bytes());
    ResultsLog copy;
    copy.PostResult(kResultWarning, "kept");
    ASSERT_TRUE(copy.Read(in));
    auto r = copy.GetResults();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[1].kind, uint32_t(kResultError));
    EXPECT_EQ(r[1].text.View(), "first");
    EXPECT_EQ(r[1].source.AsAssetID()->GetKUID(), KUID(-3, 77));
    EXPECT_EQ(r[1].source->GetName().View(), "AssetID");
    EXPECT_FALSE(r[2].source);
    EXPECT_EQ(r[3].text.View(), "third with \xC3\xA9");
    EXPECT_EQ(copy.ErrorCount(), 1u);
    EXPECT_EQ(copy.SuccessCount(), 1u);

    // Every truncation is refused and appends nothing.
    for (size_t cut = 0; cut < buf.Size(); ++cut)
    {
        TBuffer shortIn(buf.Data(), cut);
        ResultsLog target;
        EXPECT_FALSE(target.Read(shortIn)) << cut;
        EXPECT_EQ(target.GetResultCount(), 0u) << cut;
    }
    // A forged count and a bad source flag.
    const uint8_t forged[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    TBuffer f(forged, sizeof forged);
    ResultsLog t1;
    EXPECT_FALSE(t1.Read(f));
    const uint8_t badFlag[] = {1, 0, 0, 0, 1, 0, 0, 0, 7, 1, 0, 0, 0, 0};
    TBuffer g(badFlag, sizeof badFlag);
    EXPECT_FALSE(t1.Read(g));
    EXPECT_EQ(t1.GetResultCount(), 0u);
}

TEST(ResultsLogTest, ConcurrentPostsAreAllCounted)
{
    // The daemon link's receive thread posts into the log the command thread is using.
    ResultsLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 2000; ++i) log.PostResult(t % 2 ? kResultError : kResultWarning, "x");
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(log.ErrorCount(), 4000u);
    EXPECT_EQ(log.WarningCount(), 4000u);
    EXPECT_EQ(log.GetResultCount(), 8000u);
}
