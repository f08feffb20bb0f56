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

TEST(OutputFile, ARegularFileIsReplacedWholeOrKeptAndAFolderIsRefused)
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

    // A write not committed (one that failed midway, say) leaves the old contents.
    {
        OutputFile out;
        ASSERT_TRUE(out.Open(dir / "new.txt"));
        ASSERT_TRUE(out.Write("half"));
    }
    EXPECT_EQ(Read(dir / "new.txt"), "two");

    // A folder is refused (FIFOs and devices: tests/e2e, ToolFailuresE2ETest.cpp).
    EXPECT_FALSE(WriteOutputFile(dir.path(), "x", 0666, &why));
    EXPECT_EQ(why, "it is a folder");
    EXPECT_FALSE(WriteOutputFile(dir / "no/such/file", "x", 0666, &why));
    EXPECT_EQ(why, "No such file or directory");
}
