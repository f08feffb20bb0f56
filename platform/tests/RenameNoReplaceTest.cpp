// Renaming without replacing, in one step and in the steps of file systems without RENAME_NOREPLACE: a taken
// name fails with EEXIST and leaves both names as they were; a free one gets the file, folder or link.
#include "platform/RenameNoReplace.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class RenameNoReplaceTest : public testing::TestWithParam<bool (*)(const std::string&, const std::string&)>
{
protected:
    bool Rename(const std::string& from, const std::string& to) { return GetParam()(dir_ / from, dir_ / to); }
    std::string Path(const std::string& name) const { return dir_ / name; }
    TempDir dir_;
};

TEST_P(RenameNoReplaceTest, ATakenNameFailsAndBothNamesStayAsTheyWere)
{
    Write(Path("a.texture.txt"), "mine");
    Write(Path("a.convert-tex.txt"), "theirs");
    fs::create_directories(Path("folder/inner"));
    Write(Path("folder/inner/keep.txt"), "kept");
    fs::create_directories(Path("empty"));
    ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
    // A file over a file, a folder, an empty folder and a link; a folder over a file and an empty folder.
    const std::pair<const char*, const char*> taken[] = {
        {"a.texture.txt", "a.convert-tex.txt"}, {"a.texture.txt", "folder"},     {"a.texture.txt", "empty"},
        {"a.texture.txt", "dangling"},          {"folder", "a.convert-tex.txt"}, {"folder", "empty"}};
    for (const auto& [from, to] : taken)
    {
        SCOPED_TRACE(std::string(from) + " -> " + to);
        errno = 0;
        EXPECT_FALSE(Rename(from, to));
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(ReadFile(Path("a.texture.txt")), "mine");
        EXPECT_EQ(ReadFile(Path("a.convert-tex.txt")), "theirs");
        EXPECT_EQ(ReadFile(Path("folder/inner/keep.txt")), "kept");
        EXPECT_TRUE(fs::is_empty(Path("empty")));
        EXPECT_TRUE(fs::is_symlink(Path("dangling")));
    }
    // A name taken in another case only is free: the name asked for is made beside it.
    ASSERT_TRUE(Rename("a.texture.txt", "A.CONVERT-TEX.txt"));
    EXPECT_EQ(ReadFile(Path("A.CONVERT-TEX.txt")), "mine");
    EXPECT_EQ(ReadFile(Path("a.convert-tex.txt")), "theirs");
    EXPECT_FALSE(fs::exists(Path("a.texture.txt")));
}

TEST_P(RenameNoReplaceTest, AFreeNameGetsTheFileFolderOrLink)
{
    Write(Path("a.txt"), "text");
    fs::create_directories(Path("folder/inner"));
    Write(Path("folder/inner/keep.txt"), "kept");
    ASSERT_EQ(symlink("a.txt", Path("link").c_str()), 0);
    ASSERT_TRUE(Rename("a.txt", "b.txt"));
    ASSERT_TRUE(Rename("folder", "moved"));
    ASSERT_TRUE(Rename("link", "moved/link"));  // the link itself, never what it leads to
    EXPECT_EQ(ReadFile(Path("b.txt")), "text");
    EXPECT_EQ(ReadFile(Path("moved/inner/keep.txt")), "kept");
    EXPECT_TRUE(fs::is_symlink(Path("moved/link")));
    EXPECT_EQ(fs::read_symlink(Path("moved/link")), "a.txt");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("a.txt"))));
    EXPECT_FALSE(fs::exists(Path("folder")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("link"))));
    struct stat st;
    EXPECT_EQ(lstat(Path("b.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u) << "the file keeps one name";
    // Nothing to rename, or a folder into itself: it fails, and no reservation is left behind.
    errno = 0;
    EXPECT_FALSE(Rename("missing", "c.txt"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(Rename("moved", "moved/inner/self"));
    EXPECT_FALSE(fs::exists(Path("c.txt")));
    EXPECT_FALSE(fs::exists(Path("moved/inner/self")));
}

INSTANTIATE_TEST_SUITE_P(OneStepAndInSteps, RenameNoReplaceTest,
                         testing::Values(&Platform::RenameNoReplace, &Platform::RenameNoReplaceInSteps));

}  // namespace
