#include "platform/RegularFile.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

using Platform::ReadRegularFile;
using Platform::RegularFileStatus;

TEST(RegularFile, OnlyARegularFileWithinTheBoundIsRead)
{
    PlatformTest::TempDir dir;
    std::string out = "stale";
    {
        std::ofstream(dir / "small.txt") << "four";
    }
    EXPECT_EQ(ReadRegularFile(dir / "small.txt", 4, out), RegularFileStatus::kOK);
    EXPECT_EQ(out, "four");
    EXPECT_EQ(ReadRegularFile(dir / "small.txt", 3, out), RegularFileStatus::kTooLarge);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ReadRegularFile(dir / "missing.txt", 100, out), RegularFileStatus::kMissing);

    // Neither opening nor reading may wait: a FIFO without a writer, a device that never ends, a folder.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadRegularFile(dir / "fifo", 100, out), RegularFileStatus::kNotRegular);
    EXPECT_EQ(ReadRegularFile("/dev/urandom", 100, out), RegularFileStatus::kNotRegular);
    EXPECT_EQ(ReadRegularFile("/dev/null", 100, out), RegularFileStatus::kNotRegular);
    EXPECT_EQ(ReadRegularFile(dir.path(), 100, out), RegularFileStatus::kNotRegular);

    // A link to a regular file is read as that file.
    ASSERT_EQ(symlink((dir / "small.txt").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(ReadRegularFile(dir / "link", 100, out), RegularFileStatus::kOK);
    EXPECT_EQ(out, "four");
}
