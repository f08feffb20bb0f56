#include "platform/OutputFile.h"
#include "platform/OutputFlush.h"

#include "NobodyProcess.h"
#include "PlatformTestSupport.h"
#include "SocketFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <string>

using Platform::OutputFile;
using Platform::WriteOutputFile;
using PlatformTest::AsNobody;
using PlatformTest::kNobody;
using PlatformTest::kNobodyGroup;
using PlatformTest::ReadFile;

namespace {

struct stat StatOf(const std::string& path)
{
    struct stat st
    {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

// A reader of a FIFO in a process of its own (one the test process held would be a file of the program's own): it
// copies what it reads into `copy`, or without one goes away as soon as a writer has opened the FIFO.
int StartFifoReader(const std::string& fifo, const std::string& copy = {})
{
    return Platform::LaunchProcess("/bin/sh", {"-c", copy.empty() ? "exec 3<\"$0\"" : "cat \"$0\" >\"$1\"", fifo, copy})
        .pid;
}

}  // namespace

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

// A replaced file keeps its own permissions and group, not those a new file would get.
TEST(OutputFile, AReplacedFileKeepsItsModeAndGroup)
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
    // The group stays too; set-id bits do not come with new contents.
    if (geteuid() != 0) return;
    const std::string path = dir / "grouped";
    ASSERT_TRUE(WriteOutputFile(path, "old"));
    ASSERT_EQ(chown(path.c_str(), geteuid(), kNobodyGroup), 0);
    ASSERT_EQ(chmod(path.c_str(), 02750), 0);
    const ino_t old = StatOf(path).st_ino;
    EXPECT_TRUE(WriteOutputFile(path, "new"));
    const struct stat st = StatOf(path);
    EXPECT_NE(st.st_ino, old) << "replaced";
    EXPECT_EQ(st.st_gid, kNobodyGroup);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

// A file with another name is written in place: every name shows the new contents. Nothing is lost before the
// first write, and what stays is exactly what was written.
TEST(OutputFile, AFileWithAnotherNameIsWrittenInPlaceAndEmptiedOnlyWhenWritten)
{
    PlatformTest::TempDir dir;
    const std::string path = dir / "list.txt", other = dir / "other-name.txt";
    ASSERT_TRUE(WriteOutputFile(path, "the old, longer contents"));
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    const ino_t inode = StatOf(path).st_ino;

    std::string why;
    EXPECT_TRUE(WriteOutputFile(path, "new", 0666, &why)) << why;
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ReadFile(other), "new");
    EXPECT_EQ(StatOf(path).st_ino, inode);
    EXPECT_EQ(StatOf(path).st_nlink, 2u);

    {
        // A command that fails before it writes, or one abandoned, leaves the file as it was.
        OutputFile out;
        ASSERT_TRUE(out.Open(other)) << out.Reason();
        EXPECT_EQ(ReadFile(path), "new");
    }
    EXPECT_EQ(ReadFile(path), "new");
    {
        // Written, it still changes only at the commit.
        OutputFile out;
        ASSERT_TRUE(out.Open(other));
        ASSERT_TRUE(out.Write("x"));
        EXPECT_EQ(ReadFile(path), "new");
        ASSERT_TRUE(out.Commit()) << out.Reason();
    }
    EXPECT_EQ(ReadFile(path), "x");
    // Nothing written at all empties it.
    {
        OutputFile out;
        ASSERT_TRUE(out.Open(path));
        ASSERT_TRUE(out.Commit());
    }
    EXPECT_EQ(ReadFile(other), "");

    // A writer at offsets writes a scratch file that reaches the output only at the commit.
    ASSERT_TRUE(WriteOutputFile(path, "kept until the commit"));
    OutputFile positioned;
    ASSERT_TRUE(positioned.Open(other, 0666, OutputFile::Access::kPositioned)) << positioned.Reason();
    ASSERT_EQ(pwrite(positioned.Fd(), "..cd", 4, 0), 4);
    ASSERT_EQ(pwrite(positioned.Fd(), "ab", 2, 0), 2);
    EXPECT_EQ(ReadFile(path), "kept until the commit");
    ASSERT_TRUE(positioned.Commit()) << positioned.Reason();
    EXPECT_EQ(ReadFile(path), "abcd");
    EXPECT_EQ(StatOf(path).st_ino, inode);
}

// Whatever name leads to a file (itself, a second name, a link), the output knows it is that file, and knows the
// file it is staged in; a new name is no file yet.
TEST(OutputFile, TheFileANameLeadsToIsKnownThroughEveryName)
{
    PlatformTest::TempDir dir;
    const std::string path = dir / "source.gs";
    ASSERT_TRUE(WriteOutputFile(path, "text"));
    ASSERT_EQ(link(path.c_str(), (dir / "second").c_str()), 0);
    ASSERT_EQ(symlink(path.c_str(), (dir / "link").c_str()), 0);
    const Platform::FileIdentity source = Platform::FileIdentity::OfPath(path);
    for (const char* name : {"source.gs", "second", "link"})
    {
        OutputFile out;
        ASSERT_TRUE(out.Open(dir / name)) << out.Reason();
        EXPECT_TRUE(out.IsOutput(source)) << name;
    }
    OutputFile fresh;
    ASSERT_TRUE(fresh.Open(dir / "new.gsl", 0666, OutputFile::Access::kPositioned));
    EXPECT_FALSE(fresh.Existing().known);
    EXPECT_FALSE(fresh.IsOutput(source));
    EXPECT_TRUE(fresh.IsOutput(Platform::FileIdentity::OfFd(fresh.Fd())));

    EXPECT_EQ(ReadFile(path), "text");
}

// Every way an output comes to be written in place rather than replaced keeps the file it opened known, so that a
// command that read that file refuses it before anything is written.
TEST(OutputFile, EveryOutputWrittenInPlaceKnowsTheFileItOpened)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make files user nobody's and to write as nobody";
    PlatformTest::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const auto knows = [](const std::string& name, int folder) {
        if (folder >= 0 && fchdir(folder) != 0) return 3;
        const Platform::FileIdentity source = Platform::FileIdentity::OfPath(name);
        OutputFile out;
        if (!source.known || !out.Open(name)) return 2;
        return out.IsOutput(source) ? 0 : 1;
    };
    // Root writes a file of another owner, and one whose name leaves no room for a temporary name beside it.
    const std::string others = dir / "others.gs", longName = dir / (std::string(250, 'n') + ".gs");
    ASSERT_TRUE(Platform::WriteExactFile(others, "source") && Platform::WriteExactFile(longName, "source"));
    ASSERT_EQ(chown(others.c_str(), kNobody, kNobodyGroup), 0);
    for (const std::string& path : {others, longName}) EXPECT_TRUE(knows(path, -1) == 0 && ReadFile(path) == "source");
    // Nobody writes in folders of theirs, entered by descriptor: one they may not write into, one with a file of a
    // group not theirs, and one below a folder they may not search, whose path cannot be resolved.
    const std::string shut = dir / "shut", theirs = dir / "theirs", in = dir / "locked/in";
    ASSERT_EQ(mkdir((dir / "locked").c_str(), 0700), 0);
    for (const std::string& folder : {shut, theirs, in})
    {
        const std::string file = folder + "/src.gs";
        ASSERT_TRUE(mkdir(folder.c_str(), 0755) == 0 && Platform::WriteExactFile(file, "source"));
        ASSERT_EQ(chown(folder.c_str(), kNobody, kNobodyGroup), 0);
        ASSERT_EQ(chown(file.c_str(), kNobody, folder == theirs ? 0 : kNobodyGroup), 0);
        ASSERT_EQ(chmod(folder.c_str(), folder == shut ? 0555 : 0755), 0);
        const int fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        EXPECT_TRUE(AsNobody([&] { return knows("src.gs", fd); }) == 0 && ReadFile(file) == "source") << folder;
        close(fd);
    }
}

// Where the file system cannot reserve room (a seccomp filter has fallocate say so, as on ext3), a file written in
// place that does not fit (past the process's file size limit) keeps every old byte; one that fits is written.
TEST(OutputFile, WhereNoRoomCanBeReservedAFileThatDoesNotFitKeepsItsOldBytes)
{
    PlatformTest::TempDir dir;
    const std::string path = dir / "archive", other = dir / "second-name";
    std::string old(3000, 'o'), fits(4000, 0);
    for (size_t i = 0; i < fits.size(); ++i) fits[i] = static_cast<char>('a' + i % 26);
    ASSERT_TRUE(WriteOutputFile(path, old));
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    const pid_t child = fork();
    if (child == 0)
    {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fallocate, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            _exit(77);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 5000;
        std::string why;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || WriteOutputFile(path, std::string(6000, 'n'), 0666, &why)) _exit(1);
        if (why != "File too large" || ReadFile(other) != old) _exit(2);
        _exit(WriteOutputFile(path, fits) && ReadFile(other) == fits ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no seccomp filter can be set here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written, 2: old bytes changed, 3: what fits not written";
}

// A file of another user, written by root, keeps its owner and mode: its owner can still read it. Set-id bits go
// with the old contents.
TEST(OutputFile, AFileOfAnotherOwnerKeepsItsOwnerAndMode)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file user nobody's";
    PlatformTest::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string path = dir / "theirs.txt", program = dir / "program";
    for (const std::string& p : {path, program})
    {
        ASSERT_TRUE(WriteOutputFile(p, "old contents"));
        ASSERT_EQ(chown(p.c_str(), kNobody, kNobodyGroup), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(chmod(program.c_str(), 06750), 0);

    std::string why;
    EXPECT_TRUE(WriteOutputFile(path, "new", 0666, &why)) << why;
    const struct stat st = StatOf(path);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNobodyGroup);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(AsNobody([&] { return ReadFile(path) == "new" ? 0 : 1; }), 0) << "its owner reads the new contents";

    EXPECT_TRUE(WriteOutputFile(program, "new", 0666, &why)) << why;
    EXPECT_EQ(StatOf(program).st_mode & 07777, 0750u);
    EXPECT_EQ(StatOf(program).st_uid, kNobody);
}

// What the user may write is what the system lets them open for writing.
TEST(OutputFile, WhoMayWriteIsDecidedAsTheSystemDecidesAnOpenForWriting)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run a writer as user nobody";
    PlatformTest::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // Nobody's own folder with nobody's own read-only file; and in root's folder (which nobody cannot write
    // into) a file that nobody may write.
    const std::string theirs = dir / "theirs", readOnly = theirs + "/read-only.txt", shut = dir / "shut.txt";
    ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
    ASSERT_TRUE(WriteOutputFile(readOnly, "old"));
    ASSERT_TRUE(WriteOutputFile(shut, "old"));
    for (const std::string& p : {theirs, readOnly, shut}) ASSERT_EQ(chown(p.c_str(), kNobody, kNobodyGroup), 0);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(chmod(shut.c_str(), 0600), 0);
    const ino_t shutInode = StatOf(shut).st_ino;

    const int refused = AsNobody([&] {
        std::string why;
        return !WriteOutputFile(readOnly, "new", 0666, &why) && why == "Permission denied" ? 0 : 1;
    });
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(ReadFile(readOnly), "old");
    EXPECT_EQ(AsNobody([&] { return WriteOutputFile(shut, "new") ? 0 : 1; }), 0);
    EXPECT_EQ(ReadFile(shut), "new");
    EXPECT_EQ(StatOf(shut).st_ino, shutInode);

    // Root may write a file of mode 0444, as the shell's ">" does; it stays 0444.
    const std::string mine = dir / "mine.txt";
    ASSERT_TRUE(WriteOutputFile(mine, "old"));
    ASSERT_EQ(chmod(mine.c_str(), 0444), 0);
    EXPECT_TRUE(WriteOutputFile(mine, "new"));
    EXPECT_EQ(ReadFile(mine), "new");
    EXPECT_EQ(StatOf(mine).st_mode & 07777, 0444u);
}

// A FIFO with a reader is written; without one it is refused at once; a reader that goes away fails the write
// with "Broken pipe" instead of ending the process. A socket is refused.
TEST(OutputFile, AFifoIsWrittenForItsReaderAndNeverWaitedOn)
{
    PlatformTest::TempDir dir;
    const std::string fifo = dir / "out.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string why;
    EXPECT_FALSE(WriteOutputFile(fifo, "x", 0666, &why));
    EXPECT_EQ(why, "no process is reading it");

    const std::string got = dir / "got";
    int reader = StartFifoReader(fifo, got);
    ASSERT_TRUE(PlatformTest::WaitUntil([&] { return WriteOutputFile(fifo, "the list\n", 0666, &why); })) << why;
    EXPECT_EQ(Platform::WaitForProcess(reader, 10000), Platform::WaitResult::Exited);
    EXPECT_EQ(ReadFile(got), "the list\n");
    // Through a scratch file for a writer at offsets.
    {
        reader = StartFifoReader(fifo, got);
        OutputFile out;
        ASSERT_TRUE(PlatformTest::WaitUntil([&] { return out.Open(fifo, 0666, OutputFile::Access::kPositioned); }))
            << out.Reason();
        ASSERT_EQ(pwrite(out.Fd(), "xyz", 3, 1), 3);
        ASSERT_EQ(pwrite(out.Fd(), "w", 1, 0), 1);
        ASSERT_TRUE(out.Commit()) << out.Reason();
    }
    EXPECT_EQ(Platform::WaitForProcess(reader, 10000), Platform::WaitResult::Exited);
    EXPECT_EQ(ReadFile(got), "wxyz");

    OutputFile out;
    reader = StartFifoReader(fifo);
    ASSERT_TRUE(PlatformTest::WaitUntil([&] { return out.Open(fifo); })) << out.Reason();
    EXPECT_EQ(Platform::WaitForProcess(reader, 10000), Platform::WaitResult::Exited);
    EXPECT_FALSE(out.Write("nobody reads this"));
    EXPECT_EQ(out.Reason(), "Broken pipe");
    sigset_t pending;
    ASSERT_EQ(sigpending(&pending), 0);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0) << "no SIGPIPE left waiting";
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));

    const std::string socketPath = dir / "out.sock";
    ASSERT_TRUE(PlatformTest::MakeSocketFile(socketPath));
    EXPECT_FALSE(WriteOutputFile(socketPath, "x", 0666, &why));
    EXPECT_EQ(why, "it is a socket");
}

// A command's inputs are kept from every output, by any name, while it keeps them (the refused output still knows
// which file it was), then they are files like any other. A descriptor named in /proc that is not open makes no
// file in its place, nor is one the process opened for itself written (the end-to-end tests write through the
// streams a shell gives).
TEST(OutputFile, ACommandsInputsAreKeptWhileItRunsAndADescriptorNotGivenIsRefused)
{
    PlatformTest::TempDir dir;
    const std::string source = dir / "r.gs", second = dir / "second.gs";
    ASSERT_TRUE(Platform::WriteExactFile(source, "text"));
    ASSERT_EQ(link(source.c_str(), second.c_str()), 0);
    {
        Platform::KeptInputs inputs;
        inputs.Add(Platform::FileIdentity::OfPath(source), "it is read");
        OutputFile out;
        EXPECT_FALSE(out.Open(second));
        EXPECT_TRUE(out.Reason() == "it is read" && inputs.Holds(out.Existing())) << out.Reason();
        EXPECT_EQ(ReadFile(source), "text");
    }
    EXPECT_TRUE(WriteOutputFile(second, "log"));
    EXPECT_EQ(ReadFile(source), "log");

    const int own = open(source.c_str(), O_WRONLY | O_CLOEXEC), closed = dup(0);
    ASSERT_TRUE(own > 2 && closed > 2 && close(closed) == 0);
    std::string why;
    EXPECT_FALSE(WriteOutputFile("/proc/self/fd/" + std::to_string(closed), "x", 0666, &why));
    EXPECT_EQ(why, "Bad file descriptor");
    EXPECT_FALSE(WriteOutputFile("/dev/fd/" + std::to_string(own), "x", 0666, &why));
    EXPECT_EQ(why, "it is a file the program opened for itself");
    EXPECT_EQ(ReadFile(source), "log");
    close(own);
}

// A name not there yet is made where an open that creates would make it (a link to nothing: the end-to-end tests), a
// loop of links is refused as the system refuses it, and a name too long to take a temporary suffix is made.
TEST(OutputFile, ANewNameIsMadeWhereTheSystemWouldMakeIt)
{
    PlatformTest::TempDir dir;
    ASSERT_EQ(symlink("loop", (dir / "loop").c_str()), 0);
    std::string why;
    EXPECT_FALSE(WriteOutputFile(dir / "loop", "x", 0666, &why));
    EXPECT_EQ(why, "Too many levels of symbolic links");
    const std::string longest = dir / std::string(255, 'n');
    EXPECT_TRUE(WriteOutputFile(longest, "long", 0666, &why)) << why;
    EXPECT_EQ(ReadFile(longest), "long");
}

// A file the program opened for itself is refused by whatever name reaches it (a second name, a link to its socket),
// and a device is written whoever opened it. A file kept by its path is refused by any name, also once another file
// has taken the path, and the file that had it is no longer kept.
TEST(OutputFile, AFileTheProgramHoldsIsJudgedByTheFileNotItsName)
{
    PlatformTest::TempDir dir;
    const std::string held = dir / "held.txt", db = dir / "db";
    int sockets[2];
    ASSERT_TRUE(Platform::WriteExactFile(held, "held") && link(held.c_str(), (dir / "second").c_str()) == 0 &&
                socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) == 0);
    const int fds[] = {open(held.c_str(), O_RDONLY | O_CLOEXEC), open("/dev/null", O_WRONLY | O_CLOEXEC), sockets[0],
                       sockets[1]};
    ASSERT_EQ(symlink(("/proc/self/fd/" + std::to_string(sockets[0])).c_str(), (dir / "to-socket").c_str()), 0);
    for (const std::string& name : {dir / "second", dir / "to-socket"})
    {
        std::string why;
        EXPECT_FALSE(WriteOutputFile(name, "x", 0666, &why)) << name;
        EXPECT_EQ(why, "it is a file the program opened for itself") << name;
    }
    EXPECT_TRUE(ReadFile(held) == "held" && WriteOutputFile("/dev/null", "x"));
    for (const int fd : fds) close(fd);

    Platform::KeepNameFromOutputs(db, "it is the database");
    ASSERT_TRUE(Platform::WriteExactFile(db, "rows") && link(db.c_str(), (dir / "old").c_str()) == 0);
    ASSERT_TRUE(Platform::WriteExactFile(dir / "new", "new rows") && rename((dir / "new").c_str(), db.c_str()) == 0 &&
                link(db.c_str(), (dir / "new").c_str()) == 0);
    std::string why;
    EXPECT_FALSE(WriteOutputFile(dir / "new", "text", 0666, &why));
    EXPECT_EQ(why, "it is the database");
    EXPECT_TRUE(WriteOutputFile(dir / "old", "no longer the database"));
    EXPECT_EQ(ReadFile(db), "new rows");
}

// With the flush at the end of a command on, each output committed, new, replaced or written in place (a second
// name), notes its file system; nothing is noted while it is off, nor for an output abandoned. The record holds a
// folder, never the output, which stays the user's to write again.
TEST(OutputFile, ACommittedOutputNotesItsFileSystemForTheFlush)
{
    PlatformTest::TempDir dir;
    ASSERT_TRUE(WriteOutputFile(dir / "one.txt", "off") && link((dir / "one.txt").c_str(), (dir / "two").c_str()) == 0);
    Platform::SetNotingWrittenOutputs(true);
    OutputFile abandoned;
    EXPECT_TRUE(abandoned.Open(dir / "abandoned.txt"));
    abandoned.Abandon();
    EXPECT_EQ(Platform::NotedFileSystems(), 0u);
    for (const std::string& name : {dir / "new.txt", dir / "new.txt", dir / "two", dir / "two"})
    {
        EXPECT_TRUE(WriteOutputFile(name, "on")) << name;
        EXPECT_EQ(Platform::NotedFileSystems(), 1u) << name;
        EXPECT_TRUE(Platform::FlushWrittenOutputs()) << name;
        EXPECT_EQ(Platform::NotedFileSystems(), 0u) << name;
    }
    Platform::SetNotingWrittenOutputs(false);
}
