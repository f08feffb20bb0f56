#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <cstring>

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
    ASSERT_TRUE(block.Create(u.name, 64, true, &error)) << error;
    EXPECT_TRUE(block.CreatedNew());
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

    // Exclusive creation of an existing block fails; plain creation opens it and sees the data.
    SharedMemoryBlock again;
    EXPECT_FALSE(again.Create(u.name, 64, true));
    ASSERT_TRUE(again.Create(u.name, 32, false));
    EXPECT_FALSE(again.CreatedNew());
    ASSERT_TRUE(again.Read(0, buf, 4));

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

TEST(SharedMemoryTest, BadNamesAndSizesAreRefused)
{
    SharedMemoryBlock block;
    for (const char* name : {"", "/", "a/b", "/a/b", ".."})
    {
        EXPECT_FALSE(block.Create(name, 16, false)) << name;
        EXPECT_FALSE(block.Open(name)) << name;
        EXPECT_FALSE(SharedMemoryBlock::Unlink(name)) << name;
    }
    EXPECT_FALSE(block.Create(std::string(300, 'n'), 16, false));
    EXPECT_FALSE(block.Create(UniqueName("size"), 0, false));
    EXPECT_FALSE(block.Create(UniqueName("size"), SharedMemoryBlock::kMaxSize + 1, false));
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
