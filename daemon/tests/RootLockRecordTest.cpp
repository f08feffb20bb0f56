// What the holder of the root lock records in it, which lock files are read at all, and when a held lock
// means the folder is served through another path.
#include "daemon/RootLockRecord.h"
#include "platform/tests/EndedProcess.h"
#include "platform/tests/NobodyProcess.h"
#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file of the given mode holding `text`.
std::string MakeFile(const std::string& path, const std::string& text, mode_t mode = 0600)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_TRUE(fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                fchmod(fd, mode) == 0);
    close(fd);
    return path;
}

TEST(RootLockRecordTest, OnlyAWholeRecordInTheOwnersOwnFileIsRead)
{
    PlatformTest::TempDir dir;
    // A longer leftover goes; a path may hold blanks and line ends, its length bounds it.
    const std::string lock = MakeFile(dir / "assets.tdx.lock", std::string(300, 'x'));
    const int fd = open(lock.c_str(), O_RDWR | O_CLOEXEC);
    std::string error;
    EXPECT_TRUE(WriteRootLockRecord(fd, {77, "/srv/a root\nline"}, &error)) << error;
    close(fd);
    RootLockHolder read;
    ASSERT_TRUE(ReadRootLockRecord(lock, read, &error)) << error;
    EXPECT_EQ(read.pid, 77u);
    EXPECT_EQ(read.root, "/srv/a root\nline");

    // A record being written, or one followed by what a longer one left.
    const std::string text = EncodeRootLockRecord(read);
    for (size_t cut = 0; cut < text.size(); ++cut) EXPECT_FALSE(ParseRootLockRecord(text.substr(0, cut), read)) << cut;
    EXPECT_FALSE(ParseRootLockRecord(text + "x", read));

    // A lock file with a second name (another file of the user's) is neither written nor read.
    ASSERT_EQ(link(MakeFile(dir / "victim", text).c_str(), (dir / "linked.lock").c_str()), 0);
    const int linked = open((dir / "linked.lock").c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_FALSE(WriteRootLockRecord(linked, read, &error));
    EXPECT_NE(error.find("it has 2 names"), std::string::npos) << error;
    EXPECT_FALSE(ReadRootLockRecord(dir / "linked.lock", read));
    close(linked);

    const std::string readable = MakeFile(dir / "readable.lock", text, 0644);
    EXPECT_FALSE(ReadRootLockRecord(readable, read, &error));
    EXPECT_NE(error.find("its mode is 0644, not 0600"), std::string::npos) << error;

    // A whole record at its start does not make an over-long file one.
    EXPECT_FALSE(ReadRootLockRecord(MakeFile(dir / "long.lock", text + std::string(kMaxRootLockRecordBytes, '\n')),
                                    read, &error));
    EXPECT_NE(error.find("longer than a record"), std::string::npos) << error;
    ASSERT_EQ(mkfifo((dir / "fifo.lock").c_str(), 0600), 0);
    EXPECT_FALSE(ReadRootLockRecord(dir / "fifo.lock", read));  // refused, not waited on
    if (geteuid() == 0)
    {
        const std::string others = MakeFile(dir / "others.lock", text);
        ASSERT_EQ(chown(others.c_str(), PlatformTest::kNobody, PlatformTest::kNobody), 0);
        EXPECT_FALSE(ReadRootLockRecord(others, read, &error));
        EXPECT_NE(error.find("belongs to user 65534"), std::string::npos) << error;
    }
}

TEST(RootLockRecordTest, OnlyALiveHolderOfTheSameFolderThroughAnotherPathStopsTheStart)
{
    PlatformTest::TempDir dir;
    const std::string root = dir / "root", alias = dir / "alias", lock = root + "/assets.tdx.lock";
    ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
    ASSERT_EQ(symlink(root.c_str(), alias.c_str()), 0);
    auto heldBy = [&](int pid, const std::string& served) {
        MakeFile(lock, EncodeRootLockRecord({static_cast<uint32_t>(pid), served}));
        return RootServedThroughAnotherPath(root, lock);
    };
    EXPECT_NE(heldBy(getpid(), alias).find("daemon of '" + alias + "' (process "), std::string::npos);
    EXPECT_EQ(heldBy(getpid(), root), "");        // a daemon of this very path
    EXPECT_EQ(heldBy(getpid(), dir.path()), "");  // a path that leads elsewhere
    const pid_t ended = PlatformTest::EndedProcessId();
    ASSERT_GT(ended, 0);
    EXPECT_EQ(heldBy(ended, alias), "");  // a record its daemon left when it ended
}

}  // namespace
