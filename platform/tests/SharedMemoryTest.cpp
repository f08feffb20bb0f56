#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "PlatformTestSupport.h"

using namespace Platform;
using PlatformTest::RunHelper;
using PlatformTest::UniqueName;

namespace {
// Unlinks the block when a test ends, passed or failed.
struct Unlinker
{
    std::string name;
    ~Unlinker() { SharedMemoryBlock::Unlink(name); }
};
}  // namespace

TEST(SharedMemoryTest, CreateWriteReadAndBounds)
{
    Unlinker u{UniqueName("shm")};
    SharedMemoryBlock block;
    std::string error;
    ASSERT_TRUE(block.Create(u.name, 64, &error)) << error;
    EXPECT_EQ(block.Size(), 64u);
    EXPECT_EQ(block.Name(), "/" + u.name);
    char zeros[64] = {}, buf[64];
    ASSERT_TRUE(block.Read(0, buf, 64));
    EXPECT_EQ(std::memcmp(buf, zeros, 64), 0);  // a new block starts zeroed

    EXPECT_TRUE(block.Write(60, "abcd", 4));
    EXPECT_FALSE(block.Write(61, "abcd", 4));
    EXPECT_FALSE(block.Read(65, buf, 0));
    EXPECT_FALSE(block.Read(SIZE_MAX, buf, 2));  // offset + length must not wrap around
    EXPECT_FALSE(block.Read(8, nullptr, 2));
    ASSERT_TRUE(block.Read(60, buf, 4));
    EXPECT_EQ(std::string(buf, 4), "abcd");

    // An existing block is never taken over by a second creation.
    SharedMemoryBlock again;
    EXPECT_FALSE(again.Create(u.name, 64));

    SharedMemoryBlock reader;
    ASSERT_TRUE(reader.Open(u.name, false));
    EXPECT_EQ(reader.Size(), 64u);
    EXPECT_FALSE(reader.Write(0, "x", 1));  // opened read-only
    ASSERT_TRUE(reader.Read(60, buf, 4));
    EXPECT_EQ(std::string(buf, 4), "abcd");

    // Moving hands the mapping over.
    SharedMemoryBlock moved = std::move(reader);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_TRUE(moved.IsOpen());

    EXPECT_TRUE(SharedMemoryBlock::Exists(u.name));
    EXPECT_TRUE(SharedMemoryBlock::Unlink(u.name));
    EXPECT_FALSE(SharedMemoryBlock::Exists(u.name));
    EXPECT_TRUE(block.Read(60, buf, 4));  // open mappings outlive the name
    EXPECT_FALSE(SharedMemoryBlock().Open(u.name));
}

TEST(SharedMemoryTest, RemovingItsNameLeavesABlockMadeSinceUnderThatName)
{
    Unlinker u{UniqueName("shm")};
    SharedMemoryBlock first, second;
    ASSERT_TRUE(first.Create(u.name, 16));
    ASSERT_TRUE(SharedMemoryBlock::Unlink(u.name));
    ASSERT_TRUE(second.Create(u.name, 16));
    EXPECT_FALSE(first.RemoveName());
    EXPECT_TRUE(SharedMemoryBlock::Exists(u.name));
    EXPECT_TRUE(second.RemoveName());
    EXPECT_FALSE(SharedMemoryBlock::Exists(u.name));
    EXPECT_FALSE(second.RemoveName());
    EXPECT_FALSE(SharedMemoryBlock().RemoveName());
}

TEST(SharedMemoryTest, BadNamesAndSizesAreRefused)
{
    SharedMemoryBlock block;
    for (const char* name : {"", "/", "a/b", "/a/b", ".."})
    {
        EXPECT_FALSE(block.Create(name, 16)) << name;
        EXPECT_FALSE(block.Open(name)) << name;
        EXPECT_FALSE(SharedMemoryBlock::Unlink(name)) << name;
    }
    int number = 0;
    EXPECT_FALSE(block.Create(std::string(300, 'n'), 16, nullptr, &number));
    EXPECT_EQ(number, EINVAL);
    EXPECT_FALSE(block.Create(UniqueName("size"), 0));
    number = 0;
    EXPECT_FALSE(block.Create(UniqueName("size"), SharedMemoryBlock::kMaxSize + 1, nullptr, &number));
    EXPECT_EQ(number, EINVAL);
    EXPECT_EQ(SharedMemoryName("x"), "/x");
    EXPECT_EQ(SharedMemoryName("/x"), "/x");
}

TEST(SharedMemoryTest, BlockWrittenByOneProcessIsReadByAnother)
{
    Unlinker u{UniqueName("xproc")};
    ASSERT_EQ(RunHelper({"shm-write", u.name, "written by the child"}), 0);
    SharedMemoryBlock block;
    ASSERT_TRUE(block.Open(u.name));
    char buf[21];
    ASSERT_TRUE(block.Read(0, buf, sizeof buf));
    EXPECT_STREQ(buf, "written by the child");

    const char text[] = "written by the parent";
    ASSERT_TRUE(block.Write(0, text, sizeof text));
    EXPECT_EQ(RunHelper({"shm-expect", u.name, text}), 0);
    EXPECT_EQ(RunHelper({"shm-expect", u.name, "something else"}), 1);
}

// A block somebody else made, or one that others may read, is never opened: its contents (a token) could be
// read or planted by them. Made here with shm_open directly, as another program would.
TEST(SharedMemoryTest, ForeignOrOpenBlocksAreRefused)
{
    const struct
    {
        mode_t mode;
        bool otherOwner;
        bool usable;
    } kCases[] = {{0600, false, true},  {0644, false, false}, {0666, false, false},
                  {0640, false, false}, {0700, false, false}, {0600, true, false}};
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(std::to_string(c.mode) + (c.otherOwner ? " other owner" : ""));
        if (c.otherOwner && geteuid() != 0)
        {
            // Only root can hand a block to another user; the mode cases above still ran.
            continue;
        }
        Unlinker u{UniqueName("foreign")};
        int fd = shm_open(("/" + u.name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 64), 0);
        ASSERT_EQ(fchmod(fd, c.mode), 0);
        if (c.otherOwner)
        {
            ASSERT_EQ(fchown(fd, 65534, 65534), 0);
        }
        close(fd);
        std::string error;
        SharedMemoryBlock block;
        EXPECT_EQ(block.Open(u.name, false, &error), c.usable) << error;
        int number = 0;
        EXPECT_FALSE(block.Create(u.name, 64, &error, &number));
        EXPECT_EQ(number, EEXIST) << error;
        EXPECT_EQ(SharedMemoryBlock::RemoveOwn(u.name), !c.otherOwner);
    }
}

TEST(SharedMemoryTest, CreatedBlocksAreOwnerOnlyWhateverTheUmask)
{
    Unlinker u{UniqueName("umask")};
    mode_t old = umask(0);
    SharedMemoryBlock block;
    bool created = block.Create(u.name, 64);
    umask(old);
    ASSERT_TRUE(created);
    struct stat st
    {};
    int fd = shm_open(("/" + u.name).c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fstat(fd, &st), 0);
    close(fd);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, geteuid());
}

// A full /dev/shm: a child in a mount namespace of its own puts a tmpfs of one page over /dev/shm and fills
// it. Making a block there is a clear error, and a block its maker left without memory (sized but never
// written, as a maker killed by SIGBUS leaves it) reads as zeros and refuses writing, never raising SIGBUS.
TEST(SharedMemoryTest, AFullSharedMemoryIsAnErrorNeverASignal)
{
    const pid_t pid = fork();
    if (pid == 0)
    {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=4k") != 0)
            _exit(77);
        const int unbacked = shm_open("/unbacked", O_RDWR | O_CREAT | O_EXCL, 0600);
        if (unbacked < 0 || ftruncate(unbacked, 64) != 0) _exit(10);
        const int fill = shm_open("/fill", O_RDWR | O_CREAT | O_EXCL, 0600);
        static char page[4096];
        if (fill < 0 || write(fill, page, sizeof page) != static_cast<ssize_t>(sizeof page)) _exit(11);
        if (write(fill, page, 1) == 1) _exit(12);  // the tmpfs is full

        SharedMemoryBlock block;
        std::string error;
        int number = 0;
        if (block.Create("/made", 64, &error, &number)) _exit(1);
        if (error.find("/dev/shm is full") == std::string::npos || error.find("/made") == std::string::npos) _exit(2);
        // The reason's number too, for callers that decide by it.
        if (number != ENOSPC) _exit(7);
        if (SharedMemoryBlock::Exists("/made")) _exit(3);  // nothing half made is left behind

        SharedMemoryBlock reader;
        char buf[64];
        std::memset(buf, 1, sizeof buf);
        if (!reader.Open("/unbacked", false) || !reader.Read(0, buf, sizeof buf)) _exit(4);
        for (char c : buf)
            if (c != 0) _exit(5);
        SharedMemoryBlock writer;
        if (writer.Open("/unbacked", true, &error) || error.find("no room") == std::string::npos) _exit(6);
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot mount a small tmpfs over /dev/shm in a mount namespace here";
    ASSERT_FALSE(WIFSIGNALED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed (see the child's exit codes)";
}
