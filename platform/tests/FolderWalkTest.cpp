// Reading folders another user may change meanwhile: what is opened is what counts, links are followed only
// where nobody else can have put them, and owner-only files are read only when they are the owner's alone.
#include "platform/FolderWalk.h"
#include "platform/OwnerOnlyFile.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace Platform;
using PlatformTest::TempDir;
using PlatformTest::WriteFile;

constexpr uid_t kNobody = 65534;

// Records what a walk hands on; while visiting "a.txt" it runs `during` (to change the folder meanwhile).
class Recorder : public FolderVisitor
{
public:
    std::function<void()> during;
    std::map<std::string, std::string> files;  // path -> bytes read
    std::vector<std::string> folders, leftOut;

    bool EnterFolder(const std::string& path, const Folder&) override
    {
        folders.push_back(path);
        return true;
    }
    bool File(const std::string& path, const OpenedFile& file) override
    {
        if (path == "a.txt" && during) during();
        std::string bytes;
        EXPECT_TRUE(file.Read(bytes, 1 << 20));
        files[path] = bytes;
        return true;
    }
    void LeftOut(const std::string& path) override { leftOut.push_back(path); }
};

TEST(FolderWalkTest, WhatIsOpenedCountsNotWhatWasListed)
{
    TempDir t;
    WriteFile(t / "outside/secret.txt", "secret");
    WriteFile(t / "top/a.txt", "a");
    WriteFile(t / "top/b.txt", "b");
    WriteFile(t / "top/sub/c.txt", "c");
    WriteFile(t / "top/zsub/d.txt", "d");
    fs::create_symlink(t / "outside/secret.txt", t / "top/link.txt");
    fs::create_directory_symlink(t / "outside", t / "top/linkdir");
    ASSERT_EQ(mkfifo((t / "top/pipe").c_str(), 0600), 0);

    Folder top;
    ASSERT_TRUE(top.Open(t / "top"));
    Recorder r;
    // Listed as a file and a folder, they are links by the time they are opened.
    r.during = [&] {
        fs::remove(t / "top/b.txt");
        fs::create_symlink(t / "outside/secret.txt", t / "top/b.txt");
        fs::rename(t / "top/zsub", t / "moved");
        fs::create_directory_symlink(t / "outside", t / "top/zsub");
    };
    FolderWalkFailure failure;
    ASSERT_TRUE(WalkFolder(top, r, &failure)) << failure.path;
    EXPECT_EQ(r.files, (std::map<std::string, std::string>{{"a.txt", "a"}, {"sub/c.txt", "c"}}));
    EXPECT_EQ(r.folders, std::vector<std::string>{"sub"});
    EXPECT_EQ(r.leftOut, (std::vector<std::string>{"b.txt", "link.txt", "linkdir", "pipe", "zsub"}));

    // A folder that cannot be listed fails the walk with its path; so does one too deep.
    WriteFile(t / "deep/1/2/3/x.txt", "x");
    Folder deep;
    ASSERT_TRUE(deep.Open(t / "deep"));
    Recorder d;
    EXPECT_FALSE(WalkFolder(deep, d, &failure, 2));
    EXPECT_EQ(failure.path, "1/2/3");
    EXPECT_EQ(failure.error, ELOOP);
    EXPECT_TRUE(failure.folder);
}

TEST(FolderWalkTest, AnOpenedFileIsReadAsItWasWhenOpened)
{
    TempDir t;
    WriteFile(t / "f.txt", "0123456789");
    fs::create_symlink(t / "f.txt", t / "link");
    fs::create_directories(t / "dir");
    Folder dir;
    ASSERT_TRUE(dir.Open(t.path()));
    OpenedFile f;
    for (const char* name : {"link", "dir", "missing", "../f.txt"})
        EXPECT_NE(f.Open(dir, name), OpenedFile::Result::kOpened) << name;
    EXPECT_EQ(f.Open(dir, "link"), OpenedFile::Result::kNotRegular);
    int err = 0;
    EXPECT_EQ(f.Open(dir, "missing", &err), OpenedFile::Result::kFailed);
    EXPECT_EQ(err, ENOENT);

    ASSERT_EQ(f.Open(dir, "f.txt"), OpenedFile::Result::kOpened);
    EXPECT_EQ(f.Size(), 10u);
    std::ofstream(t / "f.txt", std::ios::app) << "grown meanwhile";
    std::string bytes;
    ASSERT_TRUE(f.Read(bytes, 100));
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_FALSE(f.Read(bytes, 9, &err));
    EXPECT_EQ(err, EFBIG);

    // Copied and linked: exactly the opened file, bounded by its size when opened.
    const int out = open((t / "copy").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    uint64_t copied = 0;
    ASSERT_TRUE(f.CopyTo(out, copied));
    close(out);
    EXPECT_EQ(copied, 10u);
    EXPECT_EQ(PlatformTest::ReadFile(t / "copy"), "0123456789");
    fs::rename(t / "f.txt", t / "renamed.txt");
    ASSERT_TRUE(f.LinkAs(dir, "second"));
    EXPECT_TRUE(fs::equivalent(t / "second", t / "renamed.txt"));
    EXPECT_FALSE(f.LinkAs(dir, "a/b"));
}

TEST(EntryNames, DotsAndPlainNames)
{
    EXPECT_TRUE(IsDotOrDotDot("."));
    EXPECT_TRUE(IsDotOrDotDot(".."));
    EXPECT_FALSE(IsDotOrDotDot("..."));
    EXPECT_FALSE(IsDotOrDotDot(""));

    for (const char* name : {"", ".", "..", "a/b", "a\\b"}) EXPECT_FALSE(IsPlainEntryName(name)) << name;
    EXPECT_FALSE(IsPlainEntryName(std::string("a\0b", 3)));
    EXPECT_FALSE(IsPlainEntryName(std::string(256, 'x')));
    for (const char* name : {"a", "..a", "a b", ".hidden"}) EXPECT_TRUE(IsPlainEntryName(name)) << name;
}

class FolderTrustTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to give folders and links to user nobody";
        WriteFile(t / "target/inner/x.txt", "x");
        for (const char* f : {"mine", "theirs", "open", "sticky", "group"}) fs::create_directories(t / f);
        ASSERT_EQ(chmod((t / "mine").c_str(), 0755), 0);
        // This user's own folder in this user's own group, which the group may write.
        ASSERT_EQ(chown((t / "group").c_str(), geteuid(), getegid()), 0);
        ASSERT_EQ(chmod((t / "group").c_str(), 0775), 0);
        ASSERT_EQ(chown((t / "theirs").c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(chmod((t / "open").c_str(), 0777), 0);
        ASSERT_EQ(chmod((t / "sticky").c_str(), 01777), 0);
        for (const char* f : {"mine", "theirs", "open", "sticky", "group"})
            fs::create_directory_symlink(t / "target", t / (std::string(f) + "/l"));
        fs::create_directory_symlink(t / "target", t / "sticky/nobodys");
        ASSERT_EQ(lchown((t / "sticky/nobodys").c_str(), kNobody, kNobody), 0);
        fs::create_directories(t / "sticky/theirdir");
        ASSERT_EQ(chown((t / "sticky/theirdir").c_str(), kNobody, kNobody), 0);
    }
    bool Opens(const std::string& rel, unsigned flags = 0, std::string* why = nullptr)
    {
        Folder f;
        return f.Open(t / rel, why, flags);
    }
    TempDir t;
};

TEST_F(FolderTrustTest, ALinkIsFollowedOnlyWhereNoOtherUserCanHavePutIt)
{
    EXPECT_TRUE(Opens("mine/l/inner"));
    EXPECT_TRUE(Opens("sticky/l/inner"));  // this user's own link in a sticky folder
    std::string why;
    for (const char* path : {"theirs/l", "open/l/inner", "sticky/nobodys", "group/l/inner"})
    {
        EXPECT_FALSE(Opens(path, 0, &why)) << path;
        EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    }
    // The folder named must not itself be a link when asked, wherever the link is.
    EXPECT_FALSE(Opens("mine/l", kOpenNoFinalLink, &why));
    EXPECT_TRUE(Opens("mine/l/inner", kOpenNoFinalLink));
    // "..": the parent of where the link led.
    Folder up;
    ASSERT_TRUE(up.Open(t / "mine/l/inner/.."));
    struct stat a, b;
    ASSERT_EQ(fstat(up.Fd(), &a), 0);
    ASSERT_EQ(stat((t / "target").c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    // Guarded: no folder on the way, nor the last, may be one that another user can change.
    EXPECT_TRUE(Opens("mine", kOpenGuarded));
    EXPECT_TRUE(Opens("sticky/l", kOpenGuarded));
    EXPECT_FALSE(Opens("theirs", kOpenGuarded));
    EXPECT_FALSE(Opens("sticky/theirdir", kOpenGuarded));
    fs::create_directories(t / "open/real");
    EXPECT_FALSE(Opens("open/real", kOpenGuarded));
    fs::create_directories(t / "group/real");
    EXPECT_FALSE(Opens("group/real", kOpenGuarded));
    EXPECT_TRUE(Opens("open/real"));
}

// A name that cannot stand for a file of its own is left out as a link is, not a failure of the walk; a tree
// deeper than the walk goes fails as too deep, naming the folder.
TEST(FolderWalkTest, OddNamesAreLeftOutAndATooDeepTreeSaysSo)
{
    TempDir t;
    WriteFile(t / "top/back\\slash.txt", "odd");
    WriteFile(t / "top/plain.txt", "plain");
    Folder top;
    ASSERT_TRUE(top.Open(t / "top"));
    Recorder r;
    FolderWalkFailure failure;
    ASSERT_TRUE(WalkFolder(top, r, &failure));
    EXPECT_EQ(r.leftOut, std::vector<std::string>{"back\\slash.txt"});
    EXPECT_EQ(r.files.size(), 1u);

    std::string deep = t / "deep";
    for (int i = 0; i < 4; ++i) deep += "/d";
    fs::create_directories(deep);
    Folder d;
    ASSERT_TRUE(d.Open(t / "deep"));
    Recorder r2;
    EXPECT_FALSE(WalkFolder(d, r2, &failure, 3));
    EXPECT_TRUE(failure.tooDeep);
    EXPECT_EQ(failure.path, "d/d/d/d");
}

TEST(FolderWalkTest, TheKernelsFoldersAreSystemFolders)
{
    TempDir t;
    for (const char* path : {"/proc/self", "/sys", "/dev", "/proc"})
    {
        Folder f;
        ASSERT_TRUE(f.Open(path)) << path;
        EXPECT_TRUE(IsSystemFolder(f)) << path;
    }
    fs::create_directories(t / "dev");
    Folder mine, shm;
    ASSERT_TRUE(mine.Open(t / "dev"));
    EXPECT_FALSE(IsSystemFolder(mine));
    if (shm.Open("/dev/shm"))
    {
        EXPECT_FALSE(IsSystemFolder(shm));
    }
}

TEST_F(FolderTrustTest, AnOwnerOnlyFileIsReadOnlyWhenItIsTheOwnersAlone)
{
    std::string bytes, why;
    ASSERT_TRUE(WriteOwnerOnlyFile(t / "mine", "record", "hello\n"));
    struct stat st;
    ASSERT_EQ(stat((t / "mine/record").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_TRUE(ReadOwnerOnlyFile(t / "mine", "record", 64, bytes));
    EXPECT_EQ(bytes, "hello\n");
    EXPECT_FALSE(ReadOwnerOnlyFile(t / "mine", "record", 3, bytes));  // larger than allowed

    ASSERT_EQ(chmod((t / "mine/record").c_str(), 0644), 0);
    EXPECT_FALSE(ReadOwnerOnlyFile(t / "mine", "record", 64, bytes, &why));
    EXPECT_NE(why.find("0644"), std::string::npos) << why;
    ASSERT_EQ(chmod((t / "mine/record").c_str(), 0600), 0);
    ASSERT_EQ(chown((t / "mine/record").c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(ReadOwnerOnlyFile(t / "mine", "record", 64, bytes));
    ASSERT_TRUE(RemoveOwnerOnlyFile(t / "mine", "record"));
    fs::create_symlink(t / "target/inner/x.txt", t / "mine/record");
    EXPECT_FALSE(ReadOwnerOnlyFile(t / "mine", "record", 64, bytes));
    fs::remove(t / "mine/record");

    // In a folder another user may change, or reached through one, it is neither written nor read.
    EXPECT_FALSE(WriteOwnerOnlyFile(t / "open", "record", "x"));
    ASSERT_EQ(chmod((t / "open").c_str(), 0755), 0);
    ASSERT_TRUE(WriteOwnerOnlyFile(t / "open", "record", "x"));
    ASSERT_EQ(chmod((t / "open").c_str(), 0777), 0);
    EXPECT_FALSE(ReadOwnerOnlyFile(t / "open", "record", 64, bytes));
    EXPECT_FALSE(WriteOwnerOnlyFile(t / "theirs/l", "record", "x"));
    // A sticky folder: this user's file cannot be replaced by another.
    ASSERT_TRUE(WriteOwnerOnlyFile(t / "sticky", "record", "y"));
    EXPECT_TRUE(ReadOwnerOnlyFile(t / "sticky", "record", 64, bytes));
}

}  // namespace

// A tree is removed by descriptor: links inside it go, what they point at stays.
TEST(FolderWalkTest, RemovingATreeRemovesLinksNotWhatTheyNameAndSaysWhatIsLeft)
{
    TempDir t;
    WriteFile(t / "outside/keep.txt", "keep");
    WriteFile(t / "tree/a.txt", "a");
    WriteFile(t / "tree/sub/b.txt", "b");
    WriteFile(t / "tree/sub/deeper/c.txt", "c");
    fs::create_directories((t / "tree/empty"));
    fs::create_directory_symlink((t / "outside"), (t / "tree/sub/to-outside"));
    fs::create_symlink((t / "outside/keep.txt"), (t / "tree/to-file"));
    ASSERT_EQ(::mkfifo((t / "tree/sub/pipe").c_str(), 0600), 0);

    EXPECT_TRUE(RemoveTree((t / "tree")));
    EXPECT_FALSE(fs::exists(fs::symlink_status((t / "tree"))));
    EXPECT_TRUE(fs::exists((t / "outside/keep.txt")));

    // Nothing there, a file, a link to a folder (the link goes, the folder stays).
    EXPECT_TRUE(RemoveTree((t / "tree")));
    WriteFile(t / "file", "x");
    EXPECT_TRUE(RemoveTree((t / "file")));
    EXPECT_FALSE(fs::exists((t / "file")));
    fs::create_directory_symlink((t / "outside"), (t / "link"));
    EXPECT_TRUE(RemoveTree((t / "link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status((t / "link"))));
    EXPECT_TRUE(fs::exists((t / "outside/keep.txt")));
}
