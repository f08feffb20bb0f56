#include "assetdb/NWSpecFactory.h"

#include <gtest/gtest.h>

TEST(NWSpecFactoryTest, CachesSpecsAndNamesLeakedOnes)
{
    NWSpecFactory f;
    f.ReleaseAllSpecs();
    EXPECT_EQ(f.GetSpec(KUID::Null()), nullptr);
    NimblewickSpecRef a = f.GetSpec(KUID(1, 2));
    EXPECT_EQ(f.GetSpec(KUID(1, 2)), a);
    {
        NimblewickSpecRef b = f.GetSpec(KUID(1, 3));
    }
    EXPECT_EQ(f.GetSpecCount(), 2u);
    f.ReleaseSpec(KUID(1, 3));
    EXPECT_EQ(f.FindSpec(KUID(1, 3)), nullptr);
    EXPECT_EQ(f.ReleaseAllSpecs(), 1u);  // `a` is still held
    EXPECT_EQ(f.GetSpecCount(), 0u);
    EXPECT_NE(f.GetSpec(KUID(1, 2)), a);  // a fresh one after the release
    f.SetCreator([](const KUID&) -> NimblewickSpec* { return nullptr; });
    EXPECT_EQ(f.GetSpec(KUID(5, 5)), nullptr);
    f.SetCreator(nullptr);
    f.ReleaseAllSpecs();
}
