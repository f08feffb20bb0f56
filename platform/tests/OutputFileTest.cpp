#include "platform/OutputFile.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using Platform::OutputFile;
using Platform::WriteOutputFile;
using PlatformTest::ReadFile;

TEST(OutputFile, ARegularFileIsReplacedWholeOrKeptAndAFolderIsRefused)
{
    PlatformTest::TempDir dir;
    std::string why;
    EXPECT_TRUE(WriteOutputFile(dir / "new.txt", "one", 0666, &why)) << why;
    EXPECT_EQ(ReadFile(dir / "new.txt"), "one");
    // A link to a file replaces the file it leads to and stays a link.
    ASSERT_EQ(symlink((dir / "new.txt").c_str(), (dir / "link").c_str()), 0);
    EXPECT_TRUE(WriteOutputFile(dir / "link", "two", 0666, &why)) << why;
    EXPECT_EQ(ReadFile(dir / "new.txt"), "two");
    struct stat st;
    ASSERT_EQ(lstat((dir / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A write not committed (one that failed midway, say) leaves the old contents.
    {
        OutputFile out;
        ASSERT_TRUE(out.Open(dir / "new.txt"));
        ASSERT_TRUE(out.Write("half"));
    }
    EXPECT_EQ(ReadFile(dir / "new.txt"), "two");

    // A folder is refused (FIFOs and devices: tests/e2e, ToolFailuresE2ETest.cpp).
    EXPECT_FALSE(WriteOutputFile(dir.path(), "x", 0666, &why));
    EXPECT_EQ(why, "it is a folder");
    EXPECT_FALSE(WriteOutputFile(dir / "no/such/file", "x", 0666, &why));
    EXPECT_EQ(why, "No such file or directory");
}

// A replaced file keeps its own permissions, not those a new file would get.
TEST(OutputFile, AReplacedFileKeepsItsMode)
{
    PlatformTest::TempDir dir;
    for (mode_t mode : {0600, 0666})
    {
        const std::string path = dir / ("mode-" + std::to_string(mode));
        ASSERT_TRUE(WriteOutputFile(path, "old"));
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        const mode_t mask = umask(022);
        EXPECT_TRUE(WriteOutputFile(path, "new", 0644));
        umask(mask);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(ReadFile(path), "new");
    }
}
