#include "core/ChunkedList.h"

#include "core/KUID.h"

#include <gtest/gtest.h>

TEST(ChunkedList, KeepsOrderAcrossChunksAndFinds)
{
    ChunkedList<KUID> list;
    EXPECT_TRUE(list.Find(KUID(1, 1, 0)).IsNull());
    for (int i = 0; i < 300; ++i) list.Add(KUID(i, i * 2, 0));
    EXPECT_EQ(list.Count(), 300u);
    int n = 0;
    for (const KUID& k : list)
    {
        EXPECT_EQ(k, KUID(n, 2 * n, 0));
        ++n;
    }
    EXPECT_EQ(n, 300);

    auto it = list.Find(KUID(200, 400, 0));
    ASSERT_FALSE(it.IsNull());
    EXPECT_EQ(it->userId, 200);
    EXPECT_TRUE(list.Find(KUID(200, 401, 0)).IsNull());
    EXPECT_EQ(list.At(129)->userId, 129);
    EXPECT_TRUE(list.At(300).IsNull());

    ChunkedList<KUID> copy = list;
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(list.First().IsNull());
    EXPECT_EQ(copy.Count(), 300u);
    EXPECT_EQ(copy.Last()->userId, 299);
}

TEST(ChunkedList, AdvanceAndRetreatCrossChunksAndEndInNull)
{
    ChunkedList<int, 4> list;
    for (int i = 0; i < 10; ++i) list.Add(i);  // chunks of 4, 4, 2

    auto it = list.First();
    it.Advance(5);
    EXPECT_EQ(*it, 5);
    it.Advance(4);
    EXPECT_EQ(*it, 9);
    it.Retreat(9);
    EXPECT_EQ(*it, 0);
    it.Advance(-0);
    EXPECT_EQ(*it, 0);

    auto a = list.At(6);
    a.Retreat(-3);  // negative moves forward
    EXPECT_EQ(*a, 9);
    a.Advance(-7);  // negative moves backward
    EXPECT_EQ(*a, 2);

    auto end = list.Last();
    end.Advance(1);
    EXPECT_TRUE(end.IsNull());
    auto before = list.At(3);
    before.Retreat(4);
    EXPECT_TRUE(before.IsNull());
    auto far = list.At(1);
    far.Advance(100);
    EXPECT_TRUE(far.IsNull());
}

namespace {
struct Counted
{
    static int alive;
    Counted() { ++alive; }
    virtual ~Counted() { --alive; }
};
int Counted::alive = 0;
struct Derived : Counted
{
    ~Derived() override { ++derivedGone; }
    static int derivedGone;
};
int Derived::derivedGone = 0;
}  // namespace

TEST(ChunkedList, DeleteAllDeletesEveryObjectThroughItsDestructor)
{
    ChunkedList<Counted*> list;
    for (int i = 0; i < 200; ++i) list.Add(i % 2 ? new Derived : new Counted);
    list.Add(nullptr);
    EXPECT_EQ(Counted::alive, 200);
    list.DeleteAll();
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(Derived::derivedGone, 100);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(list.First().IsNull());
}
