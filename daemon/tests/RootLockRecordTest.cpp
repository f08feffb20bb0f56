// What the holder of the root lock records in it, which lock files are read at all, and when a held lock
// means the folder is served through another path.
#include "DaemonHarness.h"

#include "daemon/RootLockRecord.h"
#include "platform/tests/NobodyProcess.h"
#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace {

using PlatformTest::kNobody;
using PlatformTest::TempDir;

// A file of the given mode holding `text`.
std::string MakeFile(const TempDir& dir, const std::string& name, const std::string& text, mode_t mode = 0600)
{
    const std::string path = dir / name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0) << path;
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(fchmod(fd, mode), 0);
    close(fd);
    return path;
}

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RootLockRecordTest, OnlyAWholeRecordParses)
{
    // A path may hold blanks and line ends: its length, not a line, bounds it.
    const RootLockHolder holder{4242, "/srv/velmar root\nsecond line"};
    const std::string text = EncodeRootLockRecord(holder);
    ASSERT_EQ(text, "vaddaemon-root 4242 28\n/srv/velmar root\nsecond line\n");
    RootLockHolder read;
    ASSERT_TRUE(ParseRootLockRecord(text, read));
    EXPECT_EQ(read.pid, 4242u);
    EXPECT_EQ(read.root, holder.root);

    // A record being written, or one followed by what a longer one left.
    for (size_t cut = 0; cut < text.size(); ++cut) EXPECT_FALSE(ParseRootLockRecord(text.substr(0, cut), read)) << cut;
    EXPECT_FALSE(ParseRootLockRecord(text + "x", read));
    for (const char* bad : {"vaddaemon-root 0 2\n/r\n", "vaddaemon-root 7 2\nr/\n", "vaddaemon-root 7 3\n/r\n",
                            "vaddaemon-root -7 2\n/r\n", "vaddaemon-root 99999999999 2\n/r\n", "vaddaemon-root 7 2\n/r",
                            "vaddaemon-rooT 7 2\n/r\n", "vaddaemon-root 7 99999\n/r\n"})
        EXPECT_FALSE(ParseRootLockRecord(bad, read)) << bad;
    using namespace std::string_literals;
    EXPECT_FALSE(ParseRootLockRecord("vaddaemon-root 7 3\n/\0r\n"s, read));

    // What cannot be recorded is not.
    EXPECT_EQ(EncodeRootLockRecord({0, "/r"}), "");
    EXPECT_EQ(EncodeRootLockRecord({7, "relative"}), "");
    EXPECT_EQ(EncodeRootLockRecord({7, "/" + std::string(kMaxPathBytes, 'a')}), "");
    EXPECT_NE(EncodeRootLockRecord({7, "/" + std::string(kMaxPathBytes - 1, 'a')}), "");
}

TEST(RootLockRecordTest, TheRecordReplacesWhatTheLockFileHeld)
{
    TempDir dir;
    const std::string path = MakeFile(dir, "assets.tdx.lock", std::string(300, 'x'));
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string error;
    EXPECT_TRUE(WriteRootLockRecord(fd, {77, "/srv/root"}, &error)) << error;
    close(fd);
    EXPECT_EQ(Contents(path), "vaddaemon-root 77 9\n/srv/root\n");
    RootLockHolder read;
    ASSERT_TRUE(ReadRootLockRecord(path, read, &error)) << error;
    EXPECT_EQ(read.pid, 77u);
    EXPECT_EQ(read.root, "/srv/root");
}

TEST(RootLockRecordTest, OnlyTheOwnersOwnRegularFileOfBoundedLengthIsReadOrWritten)
{
    TempDir dir;
    const std::string record = EncodeRootLockRecord({77, "/srv/root"});
    RootLockHolder read;
    std::string error;

    const std::string openToAll = MakeFile(dir, "open.lock", record, 0644);
    EXPECT_FALSE(ReadRootLockRecord(openToAll, read, &error));
    EXPECT_NE(error.find("its mode is 0644, not 0600"), std::string::npos) << error;
    const int fd = open(openToAll.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(WriteRootLockRecord(fd, {78, "/elsewhere"}, &error));
    close(fd);
    EXPECT_EQ(Contents(openToAll), record);

    // A whole record at its start does not make an over-long file one.
    const std::string padded = record + std::string(kMaxRootLockRecordBytes, '\n');
    EXPECT_FALSE(ReadRootLockRecord(MakeFile(dir, "long.lock", padded), read, &error));
    EXPECT_NE(error.find("longer than a record"), std::string::npos) << error;

    const std::string link = dir / "link.lock";
    ASSERT_EQ(symlink((dir / "good.lock").c_str(), link.c_str()), 0);
    MakeFile(dir, "good.lock", record);
    EXPECT_FALSE(ReadRootLockRecord(link, read));
    EXPECT_TRUE(ReadRootLockRecord(dir / "good.lock", read));

    // A FIFO is refused, not waited on.
    const std::string fifo = dir / "fifo.lock";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadRootLockRecord(fifo, read));

    if (geteuid() == 0)
    {
        const std::string others = MakeFile(dir, "others.lock", record);
        ASSERT_EQ(chown(others.c_str(), kNobody, kNobody), 0);
        EXPECT_FALSE(ReadRootLockRecord(others, read, &error));
        EXPECT_NE(error.find("belongs to user " + std::to_string(kNobody)), std::string::npos) << error;
    }
}

TEST(RootLockRecordTest, OnlyALiveHolderOfTheSameFolderThroughAnotherPathStopsTheStart)
{
    TempDir dir;
    const std::string root = dir / "root";
    const std::string other = dir / "other";
    const std::string alias = dir / "alias";
    ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
    ASSERT_EQ(symlink(root.c_str(), alias.c_str()), 0);
    auto heldBy = [&](uint32_t pid, const std::string& served) {
        const std::string lock = root + "/assets.tdx.lock";
        unlink(lock.c_str());
        const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        EXPECT_TRUE(WriteRootLockRecord(fd, {pid, served}));
        close(fd);
        return RootServedThroughAnotherPath(root, lock);
    };
    const uint32_t self = static_cast<uint32_t>(getpid());

    EXPECT_EQ(heldBy(self, alias), "this installation is served by the asset database daemon of '" + alias +
                                       "' (process " + std::to_string(self) + "): '" + root +
                                       "' is the same folder reached through another path; run the tool from '" +
                                       alias + "', or close that daemon first");
    EXPECT_EQ(heldBy(self, root), "");   // a daemon of this very path
    EXPECT_EQ(heldBy(self, other), "");  // a path that leads elsewhere from here
    EXPECT_EQ(heldBy(self, dir / "gone"), "");

    // A record its daemon left when it ended.
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    EXPECT_EQ(heldBy(static_cast<uint32_t>(ended), alias), "");

    // An older daemon's lock file holds nothing.
    const std::string lock = root + "/assets.tdx.lock";
    ASSERT_EQ(truncate(lock.c_str(), 0), 0);
    EXPECT_EQ(RootServedThroughAnotherPath(root, lock), "");
}

// The daemon records itself once it holds the lock; a second daemon of the same path still ends quietly.
TEST(RootLockRecordTest, TheServingDaemonRecordsItsPidAndRealRoot)
{
    TestInstallation inst;
    const int pid = inst.StartDaemonReady();
    ASSERT_GT(pid, 0);
    RootLockHolder holder;
    std::string error;
    ASSERT_TRUE(ReadRootLockRecord(inst.Path("assets.tdx.lock"), holder, &error)) << error;
    EXPECT_EQ(holder.pid, static_cast<uint32_t>(pid));
    EXPECT_EQ(holder.root, inst.Root());
    EXPECT_EQ(RootServedThroughAnotherPath(inst.Root(), inst.Path("assets.tdx.lock")), "");
}

}  // namespace
