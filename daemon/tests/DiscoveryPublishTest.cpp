// Where the daemon publishes its discovery block when its usual name is taken, was taken a moment ago, holds a
// leftover of its own root, or holds the block of another root.
#include "DaemonHarness.h"

#include "assetdb/VADDiscovery.h"
#include "daemon/DiscoveryPublish.h"
#include "platform/SharedMemory.h"
#include "platform/tests/NobodyProcess.h"
#include "platform/tests/SocketFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

using PlatformTest::kNobody;

enum class Thing
{
    kFifo,
    kFolder,
    kLink,
    kSocket,
    kOpenBlock,   // a block of ours that everybody may read and write
    kOtherUsers,  // a block of another user's, mode 0666
};

std::string ShmPath(const std::string& name) { return "/dev/shm" + name; }

// Puts `thing` at the shared memory name, as whoever wants the name taken would.
bool Plant(Thing thing, const std::string& name)
{
    const std::string path = ShmPath(name);
    switch (thing)
    {
    case Thing::kFifo: return mkfifo(path.c_str(), 0666) == 0;
    case Thing::kFolder: return mkdir(path.c_str(), 0777) == 0;
    case Thing::kLink: return symlink((path + "-elsewhere").c_str(), path.c_str()) == 0;
    case Thing::kSocket: return PlatformTest::MakeSocketFile(path);
    case Thing::kOpenBlock:
    case Thing::kOtherUsers:
    {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool made = fd >= 0 && ftruncate(fd, kVADDiscoveryBlockSize) == 0 && fchmod(fd, 0666) == 0 &&
                    (thing != Thing::kOtherUsers || fchown(fd, kNobody, kNobody) == 0);
        if (fd >= 0) close(fd);
        return made;
    }
    }
    return false;
}

void Remove(const std::string& name)
{
    const std::string path = ShmPath(name);
    if (unlink(path.c_str()) != 0) rmdir(path.c_str());
}

// The block as a daemon of `root` would write it, naming process `pid`.
void WriteBlock(Platform::SharedMemoryBlock& block, const std::string& root, uint32_t pid)
{
    VADDiscoveryBlock b;
    b.pid = pid;
    b.state = VAD_STATE_READY;
    b.token = 0x1234;
    b.root = VADRootDigest(root);
    uint8_t raw[kVADDiscoveryBlockSize];
    VADEncodeDiscoveryBlock(b, raw);
    ASSERT_TRUE(block.Write(0, raw, sizeof raw));
}

ino_t Inode(const std::string& name)
{
    struct stat st
    {};
    return lstat(ShmPath(name).c_str(), &st) == 0 ? st.st_ino : 0;
}

class DiscoveryPublishTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        char real[PATH_MAX];
        ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
        root = std::string(real) + "/root";
        fs::create_directories(root + "/" + kVADDiscoveryRecordFolder);
        usual = VADDiscoveryName(static_cast<uint32_t>(getuid()), root);
    }
    void TearDown() override
    {
        Remove(usual);
        if (!out.name.empty() && out.name != usual) Platform::SharedMemoryBlock::Unlink(out.name);
    }
    // Published for this process, and found by a client of the root under the name it went to.
    void ExpectFound(bool privately)
    {
        ASSERT_TRUE(out.block.IsOpen());
        EXPECT_EQ(out.recorded, privately);
        EXPECT_EQ(out.name != usual, privately) << out.name;
        ASSERT_NO_FATAL_FAILURE(WriteBlock(out.block, root, static_cast<uint32_t>(getpid())));
        VADDiscoveryBlock found;
        std::string name;
        ASSERT_TRUE(VADFindDiscoveryBlock(root, found, &name));
        EXPECT_EQ(name, out.name);
    }

    TempDir dir;
    std::string root;
    std::string usual;
    DiscoveryPublication out;
};

class DiscoveryTakenThenGoneTest : public DiscoveryPublishTest, public testing::WithParamInterface<Thing>
{};

// Whatever makes the create at the usual name fail is gone again before anything else happens (another user swaps
// objects at the name): the name was taken, not /dev/shm full. The daemon publishes privately and starts.
TEST_P(DiscoveryTakenThenGoneTest, ANameTakenWhenTheCreateFailedIsNeverNoRoom)
{
    if (GetParam() == Thing::kOtherUsers && geteuid() != 0) GTEST_SKIP() << "needs root to hand a block to nobody";
    int calls = 0, firstError = 0;
    DiscoveryCreateStep vanishing = [&](Platform::SharedMemoryBlock& block, const std::string& name, std::string* error,
                                        int* number) {
        const bool first = ++calls == 1;
        if (first && !Plant(GetParam(), name)) ADD_FAILURE() << "could not plant at " << name;
        const bool made = block.Create(name, kVADDiscoveryBlockSize, error, number);
        if (first) firstError = *number;
        if (first) Remove(name);
        return made;
    };
    std::string error;
    ASSERT_TRUE(PublishDiscoveryBlock(root, static_cast<uint32_t>(getpid()), out, &error, vanishing)) << error;
    EXPECT_EQ(firstError, EEXIST);
    EXPECT_EQ(calls, 2);
    ExpectFound(true);
}

std::string ThingName(const testing::TestParamInfo<Thing>& info)
{
    const char* names[] = {"Fifo", "Folder", "Link", "Socket", "OpenBlock", "OtherUsers"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Things, DiscoveryTakenThenGoneTest,
                         testing::Values(Thing::kFifo, Thing::kFolder, Thing::kLink, Thing::kSocket, Thing::kOpenBlock,
                                         Thing::kOtherUsers),
                         ThingName);

// A failure other than a taken name is the answer, with its reason: nothing goes private, nothing is recorded.
TEST_F(DiscoveryPublishTest, NoRoomIsTheFailureItIs)
{
    for (const int number : {ENOSPC, EACCES})
    {
        int calls = 0;
        DiscoveryCreateStep failing = [&](Platform::SharedMemoryBlock&, const std::string&, std::string* error,
                                          int* got) {
            ++calls;
            *error = std::string("made to fail: ") + std::strerror(number);
            *got = number;
            return false;
        };
        std::string error;
        EXPECT_FALSE(PublishDiscoveryBlock(root, static_cast<uint32_t>(getpid()), out, &error, failing));
        EXPECT_EQ(error, std::string("made to fail: ") + std::strerror(number));
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(out.recorded);
        EXPECT_FALSE(fs::exists(root + "/" + kVADDiscoveryRecordFolder + "/" + kVADDiscoveryRecordName));
    }
}

// What is at the usual name decides: only a leftover of this root's own goes, and the name is used again; a block
// of another root (reached at this name through a link someone made), one of another layout or one never
// written is left as it is, and the block goes private.
TEST_F(DiscoveryPublishTest, OnlyALeftoverOfThisRootIsRemovedFromTheUsualName)
{
    const std::string otherRoot = root + "-other";
    const std::string other = VADDiscoveryName(static_cast<uint32_t>(getuid()), otherRoot);
    const struct
    {
        const char* what;
        std::string root;  // the root the block names; empty: the block is not written
        size_t size;
        bool dropped;
    } kCases[] = {
        {"a leftover of this root", root, kVADDiscoveryBlockSize, true},
        {"another root's block", otherRoot, kVADDiscoveryBlockSize, false},
        {"a block never written", "", kVADDiscoveryBlockSize, false},
        {"a block of the older, shorter layout", "", 36, false},
    };
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.what);
        // Another root's block lives under that root's name, and is linked at ours.
        const bool linked = c.root == otherRoot;
        Platform::SharedMemoryBlock planted;
        ASSERT_TRUE(planted.Create(linked ? other : usual, c.size));
        if (!c.root.empty())
        {
            ASSERT_NO_FATAL_FAILURE(WriteBlock(planted, c.root, static_cast<uint32_t>(getpid())));
        }
        VADDiscoveryBlock found;
        if (linked)
        {
            ASSERT_EQ(link(ShmPath(other).c_str(), ShmPath(usual).c_str()), 0);
            EXPECT_FALSE(VADFindDiscoveryBlock(root, found)) << "a block of another root was taken";
        }
        const ino_t before = Inode(usual);

        std::string error;
        ASSERT_TRUE(PublishDiscoveryBlock(root, static_cast<uint32_t>(getpid()), out, &error)) << error;
        ExpectFound(!c.dropped);
        if (!c.dropped)
        {
            EXPECT_EQ(Inode(usual), before);
        }
        if (linked)
        {
            std::string name;
            ASSERT_TRUE(VADFindDiscoveryBlock(otherRoot, found, &name));
            EXPECT_EQ(name, other);
        }
        if (out.recorded) Platform::SharedMemoryBlock::Unlink(out.name);
        out = DiscoveryPublication();
        Remove(usual);
        Remove(other);
    }
}

// Our leftover is removed, and somebody takes the name before the second create: that is a taken name too.
TEST_F(DiscoveryPublishTest, ANameRetakenAfterOurLeftoverWentSendsTheBlockPrivate)
{
    Platform::SharedMemoryBlock leftover;
    ASSERT_TRUE(leftover.Create(usual, kVADDiscoveryBlockSize));
    ASSERT_NO_FATAL_FAILURE(WriteBlock(leftover, root, 999999));
    int calls = 0;
    DiscoveryCreateStep retaken = [&](Platform::SharedMemoryBlock& block, const std::string& name, std::string* error,
                                      int* number) {
        if (++calls == 2 && !Plant(Thing::kFifo, name)) ADD_FAILURE() << "could not plant at " << name;
        return block.Create(name, kVADDiscoveryBlockSize, error, number);
    };
    std::string error;
    ASSERT_TRUE(PublishDiscoveryBlock(root, static_cast<uint32_t>(getpid()), out, &error, retaken)) << error;
    EXPECT_EQ(calls, 3);
    ExpectFound(true);
    struct stat st
    {};
    ASSERT_EQ(lstat(ShmPath(usual).c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "what took the name was touched";
}

}  // namespace
