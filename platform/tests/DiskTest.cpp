#include "platform/Disk.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(DiskTest, SpaceOfAnExistingPathAndFailures)
{
    DiskSpace d;
    ASSERT_TRUE(GetDiskSpace("/tmp", &d));
    EXPECT_GT(d.totalBytes, 0u);
    EXPECT_LE(d.freeBytes, d.totalBytes);
    EXPECT_EQ(FreeDiskSpace("/tmp"), d.freeBytes);
    EXPECT_FALSE(GetDiskSpace("/nonexistent/velmar", &d));
    EXPECT_FALSE(GetDiskSpace("/tmp", nullptr));
    EXPECT_EQ(FreeDiskSpace(""), 0u);
}
