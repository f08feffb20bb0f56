#include "platform/Disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

using namespace Platform;

TEST(DiskTest, SpaceOfAnExistingPathAndFailures)
{
    DiskSpace d;
    ASSERT_TRUE(GetDiskSpace("/tmp", &d));
    EXPECT_GT(d.totalBytes, 0u);
    EXPECT_LE(d.freeBytes, d.totalBytes);
    // Other processes write to /tmp meanwhile: the free figure must lie between the ones read around it.
    DiskSpace after;
    const uint64_t free = FreeDiskSpace("/tmp");
    ASSERT_TRUE(GetDiskSpace("/tmp", &after));
    EXPECT_GE(free, std::min(d.freeBytes, after.freeBytes));
    EXPECT_LE(free, std::max(d.freeBytes, after.freeBytes));
    EXPECT_FALSE(GetDiskSpace("/nonexistent/velmar", &d));
    EXPECT_FALSE(GetDiskSpace("/tmp", nullptr));
    EXPECT_EQ(FreeDiskSpace(""), 0u);
}
