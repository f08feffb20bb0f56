#include "platform/OutputFile.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

using Platform::OutputFile;
using Platform::WriteOutputFile;

namespace {

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(OutputFile, WrittenWholeOrRefusedWithTheReasonNeverWaiting)
{
    PlatformTest::TempDir dir;
    std::string why;
    EXPECT_TRUE(WriteOutputFile(dir / "new.txt", "one", 0666, &why)) << why;
    EXPECT_EQ(Read(dir / "new.txt"), "one");
    // A link to a file replaces the file it leads to and stays a link.
    ASSERT_EQ(symlink((dir / "new.txt").c_str(), (dir / "link").c_str()), 0);
    EXPECT_TRUE(WriteOutputFile(dir / "link", "two", 0666, &why)) << why;
    EXPECT_EQ(Read(dir / "new.txt"), "two");
    struct stat st;
    ASSERT_EQ(lstat((dir / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A write that fails midway leaves the old contents; an abandoned one too.
    {
        OutputFile out;
        ASSERT_TRUE(out.Open(dir / "new.txt"));
        ASSERT_TRUE(out.Write("half"));
    }
    EXPECT_EQ(Read(dir / "new.txt"), "two");

    // Nothing waits for a reader, and no device node or folder is replaced.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(WriteOutputFile(dir / "fifo", "x", 0666, &why));
    EXPECT_EQ(why, "it is not a regular file");
    ASSERT_EQ(stat((dir / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(WriteOutputFile(dir.path(), "x", 0666, &why));
    EXPECT_EQ(why, "it is a folder");
    EXPECT_FALSE(WriteOutputFile(dir / "no/such/file", "x", 0666, &why));
    EXPECT_EQ(why, "No such file or directory");

    // A character device is written in place, and its failure is said.
    EXPECT_TRUE(WriteOutputFile("/dev/null", "x", 0666, &why)) << why;
    EXPECT_FALSE(WriteOutputFile("/dev/full", "x", 0666, &why));
    EXPECT_EQ(why, "No space left on device");
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}
