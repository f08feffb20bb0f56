// Writing files: full writes through signals and short writes, exact reads, exact-path writes, files replaced
// whole or not at all, and renames that never replace.
#include "platform/FileWriting.h"
#include "platform/RenameNoReplace.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace Platform;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the file system of `folder` makes files without a name (a replacing file then has none until its commit).
bool MakesUnnamedFiles(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    return true;
}

void NoteSignal(int) {}

}  // namespace

TEST(FileWriting, FullWritesGoOnThroughSignalsAndShortWrites)
{
    // A pipe takes a little at a time while signals (without SA_RESTART) keep interrupting the writer:
    // every byte arrives, in order.
    struct sigaction sa
    {};
    sa.sa_handler = NoteSignal;
    struct sigaction old
    {};
    ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::string data(4 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 4096);
    std::atomic<bool> ok{false}, done{false};
    std::thread writer([&] {
        ok = WriteFully(p[1], data.data(), data.size());
        done = true;
        close(p[1]);
    });
    std::string got;
    char buf[3000];
    for (ssize_t n; (n = read(p[0], buf, sizeof buf)) != 0;)
    {
        if (n < 0) continue;
        got.append(buf, size_t(n));
        if (!done) pthread_kill(writer.native_handle(), SIGUSR1);
    }
    writer.join();
    close(p[0]);
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(got == data);
}

TEST(FileWriting, WritesAndReadsAtAnOffset)
{
    TempDir dir;
    const int fd = open((dir / "f").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteFully(fd, "abcdef", 6));
    ASSERT_TRUE(WriteFullyAt(fd, "XY", 2, 2));
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);  // the position stays
    char got[6];
    ASSERT_TRUE(ReadFullyAt(fd, got, 6, 0));
    EXPECT_EQ(std::string(got, 6), "abXYef");
    // Past the end: a failure that is no failure of the system.
    errno = EBADF;
    EXPECT_FALSE(ReadFullyAt(fd, got, 4, 4));
    EXPECT_EQ(errno, 0);
    close(fd);
    EXPECT_FALSE(WriteFully(fd, "x", 1));
    EXPECT_EQ(errno, EBADF);
}

TEST(FileWriting, AnExactFileIsNeverWrittenThroughALink)
{
    TempDir dir;
    Write(dir / "elsewhere", "keep");
    fs::create_symlink(dir / "elsewhere", dir / "link");
    EXPECT_FALSE(WriteExactFile(dir / "link", "new"));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "keep");
    Write(dir / "f", "a longer old text");
    ASSERT_TRUE(WriteExactFile(dir / "f", "short"));
    EXPECT_EQ(ReadFile(dir / "f"), "short");
}

TEST(FileWriting, AReplacedFileIsOldOrNewAndNothingIsLeftBeside)
{
    TempDir dir;
    const std::string target = dir / "config.txt";
    Write(target, "old");
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Create(target));
        EXPECT_EQ(file.TemporaryPath().rfind(target + ".part-" + std::to_string(getpid()) + "-", 0), 0u);
        ASSERT_TRUE(WriteFully(file.Fd(), "new", 3));
        EXPECT_EQ(ReadFile(target), "old");  // until the commit
        ASSERT_TRUE(file.Commit());
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"config.txt"});

    // Not committed: abandoned by hand or by the destructor, the old file stays and the temporary goes.
    {
        ReplacingFile dropped;
        ASSERT_TRUE(dropped.Create(target));
        WriteFully(dropped.Fd(), "half", 4);
        ReplacingFile moved(std::move(dropped));
        EXPECT_FALSE(dropped.IsOpen());
        EXPECT_EQ(Names(dir.path()).size(), MakesUnnamedFiles(dir.path()) ? 1u : 2u);
    }
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"config.txt"});

    // A rename that fails (a folder stands at the path) leaves the folder and no temporary.
    fs::create_directory(dir / "folder");
    Write(dir / "folder/inside", "x");
    EXPECT_FALSE(WriteFileReplacing(dir / "folder", "data"));
    EXPECT_NE(errno, 0);
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"config.txt", "folder"}));
    EXPECT_FALSE(WriteFileReplacing(dir / "missing/x", "data"));
    EXPECT_EQ(errno, ENOENT);

    ASSERT_TRUE(WriteFileReplacing(target, std::string(100000, 'z')));
    EXPECT_EQ(ReadFile(target), std::string(100000, 'z'));
}

TEST(FileWriting, ATemporaryIsCreatedExclusivelyWithItsMode)
{
    TempDir dir;
    const int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    // A link (or anything) already standing at the temporary's name is never written through, nor removed: the
    // create fails, or, where the temporary has no name until then, the commit.
    Write(dir / "victim", "keep");
    fs::create_symlink(dir / "victim", dir / ".f.tmp");
    ReplacingFile file;
    if (file.CreateAt(folder, "f", ".f.tmp", O_WRONLY, 0600))
    {
        ASSERT_TRUE(WriteFully(file.Fd(), "new", 3));
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(dir / "victim"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / ".f.tmp"));
    EXPECT_FALSE(fs::exists(dir / "f"));
    fs::remove(dir / ".f.tmp");

    const mode_t mask = umask(0);
    const bool created = file.CreateAt(folder, "f", ".f.tmp", O_WRONLY, 0640);
    umask(mask);
    ASSERT_TRUE(created);
    ASSERT_TRUE(WriteFully(file.Fd(), "bytes", 5));
    ASSERT_TRUE(file.Commit());
    struct stat st
    {};
    ASSERT_EQ(stat((dir / "f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFile(dir / "f"), "bytes");
    EXPECT_FALSE(fs::exists(dir / ".f.tmp"));
    EXPECT_FALSE(file.Commit());  // nothing open
    EXPECT_EQ(errno, EBADF);
    close(folder);
}

// Renaming without replacing, in one step and in steps: a taken name (a file, a link to nothing, an empty folder)
// fails with EEXIST and keeps what it names; a free one, even one taken in another case, gets the file or folder.
TEST(FileWriting, ARenameWithoutReplacingNeverReplaces)
{
    for (const auto move : {&RenameNoReplace, &RenameNoReplaceInSteps})
    {
        SCOPED_TRACE(move == &RenameNoReplace ? "in one step" : "in steps");
        TempDir dir;
        Write(dir / "a.txt", "mine");
        Write(dir / "b.txt", "theirs");
        fs::create_directories(dir / "folder/inner");
        fs::create_directories(dir / "empty");
        ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
        for (const auto& [from, to] : {std::pair{"a.txt", "b.txt"}, {"a.txt", "dangling"}, {"folder", "empty"}})
        {
            errno = 0;
            EXPECT_FALSE(move(dir / from, dir / to)) << from << " -> " << to;
            EXPECT_EQ(errno, EEXIST) << from << " -> " << to;
        }
        EXPECT_EQ(ReadFile(dir / "b.txt"), "theirs");
        EXPECT_TRUE(fs::is_symlink(dir / "dangling") && fs::is_empty(dir / "empty"));
        ASSERT_TRUE(move(dir / "a.txt", dir / "B.TXT") && move(dir / "folder", dir / "moved"));
        EXPECT_EQ(ReadFile(dir / "B.TXT"), "mine");
        EXPECT_EQ(fs::hard_link_count(dir / "B.TXT"), 1u);
        EXPECT_TRUE(fs::is_directory(dir / "moved/inner") && !fs::exists(dir / "a.txt") && !fs::exists(dir / "folder"));
    }
}

// A new file made whole, both ways (without a name until it is linked, and through a named temporary, the way where
// the file system makes no file without a name): it gets all its bytes and its mode under a free name, never a name
// that anything has (a file, a link to nothing, a folder), and nothing is left beside it.
TEST(FileWriting, ANewFileIsMadeWholeUnderAFreeNameAndNeverOverAnything)
{
    for (const auto make : {&WriteNewFileWhole, &WriteNewFileWholeThroughTemporary})
    {
        SCOPED_TRACE(make == &WriteNewFileWhole ? "without a name first" : "through a temporary");
        TempDir dir;
        Write(dir / "taken", "theirs");
        fs::create_directory(dir / "folder");
        ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
        for (const char* name : {"taken", "dangling", "folder"})
        {
            errno = 0;
            EXPECT_FALSE(make(dir / name, "mine", 0644)) << name;
            EXPECT_EQ(errno, EEXIST) << name;
        }
        EXPECT_EQ(ReadFile(dir / "taken"), "theirs");
        const mode_t mask = umask(0);
        const bool made = make(dir / "new", std::string(100000, 'n'), 0640);
        umask(mask);
        ASSERT_TRUE(made);
        EXPECT_EQ(ReadFile(dir / "new"), std::string(100000, 'n'));
        struct stat st
        {};
        ASSERT_EQ(stat((dir / "new").c_str(), &st), 0);
        EXPECT_TRUE((st.st_mode & 0777) == 0640u && st.st_nlink == 1u);
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"dangling", "folder", "new", "taken"}));
        EXPECT_FALSE(make(dir / "missing/x", "x", 0644));
        EXPECT_EQ(errno, ENOENT);
    }
}
