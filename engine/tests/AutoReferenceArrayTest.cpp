#include "engine/AutoReferenceArray.h"
#include "engine/AutoReference.h"

#include <gtest/gtest.h>

namespace {

// Counts its references and records its own destruction.
struct Counted
{
    explicit Counted(int* destroyed) : destroyed(destroyed) {}
    void AddRef() { ++refs; }
    void Release()
    {
        if (--refs == 0)
        {
            ++*destroyed;
            delete this;
        }
    }
    int refs = 0;
    int* destroyed;
};

using Ref = Orvo::AutoReference<Counted>;
using RefArray = Orvo::AutoReferenceArray<Ref>;

}  // namespace

TEST(AutoReferenceTest, AssignmentTakesNewReferenceBeforeReleasingOld)
{
    int destroyed = 0;
    Ref a(new Counted(&destroyed));
    Counted* raw = a.Get();
    EXPECT_EQ(raw->refs, 1);
    a = raw;  // self-assignment of the last reference must not destroy it
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(raw->refs, 1);
    Ref b = a;
    EXPECT_EQ(raw->refs, 2);
    a.Reset();
    b = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST(AutoReferenceArrayTest, SharedStorageReleasesElementsWithLastUse)
{
    int destroyed = 0;
    RefArray arr;
    EXPECT_EQ(arr.Count(), 0u);
    EXPECT_FALSE(arr.Append(Ref(new Counted(&destroyed)))) << "no storage yet";
    EXPECT_EQ(destroyed, 1);

    arr.Create(2);
    EXPECT_TRUE(arr.Append(Ref(new Counted(&destroyed))));
    EXPECT_TRUE(arr.Append(Ref(new Counted(&destroyed))));
    EXPECT_FALSE(arr.Append(Ref(new Counted(&destroyed)))) << "capacity is fixed";
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(arr.Count(), 2u);
    EXPECT_EQ(arr[0]->refs, 1);

    {
        RefArray copy = arr;
        EXPECT_TRUE(copy.SharesStorageWith(arr));
        EXPECT_EQ(arr.UseCount(), 2);
        arr.Release();
        EXPECT_EQ(arr.Count(), 0u);
        EXPECT_EQ(destroyed, 2) << "the copy still holds the elements";
        EXPECT_EQ(copy.Count(), 2u);
    }
    EXPECT_EQ(destroyed, 4);
}

TEST(AutoReferenceArrayTest, RemoveLastAndMakeUnique)
{
    int destroyed = 0;
    RefArray arr;
    arr.Create(3);
    arr.Append(Ref(new Counted(&destroyed)));
    arr.Append(Ref(new Counted(&destroyed)));
    RefArray other = arr;
    other.MakeUnique();
    EXPECT_FALSE(other.SharesStorageWith(arr));
    EXPECT_EQ(arr.UseCount(), 1);
    EXPECT_EQ(arr[1]->refs, 2) << "both arrays reference the same objects";
    other.RemoveLast();
    EXPECT_EQ(other.Count(), 1u);
    EXPECT_EQ(arr[1]->refs, 1);
    arr.RemoveLast();
    EXPECT_EQ(destroyed, 1);
    arr = other;  // shares, the old storage goes
    EXPECT_EQ(arr.UseCount(), 2);
    EXPECT_EQ(arr[0]->refs, 1);
    arr.Release();
    other.Release();
    EXPECT_EQ(destroyed, 2);
}
