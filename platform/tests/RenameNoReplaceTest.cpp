// Renaming without replacing, in one step and in the steps of file systems without RENAME_NOREPLACE.
#include "platform/RenameNoReplace.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using Rename = bool (*)(const std::string&, const std::string&);

class RenameNoReplaceTest : public testing::TestWithParam<Rename>
{};

// A taken name (a file, a folder, an empty folder, a link) fails with EEXIST and leaves both names as they were;
// a free one gets the file or folder, and a name taken only in another case is free.
TEST_P(RenameNoReplaceTest, ATakenNameFailsAndAFreeOneIsGiven)
{
    PlatformTest::TempDir dir;
    auto path = [&](const std::string& name) { return dir / name; };
    std::ofstream(path("a.texture.txt")) << "mine";
    std::ofstream(path("a.convert-tex.txt")) << "theirs";
    fs::create_directories(path("folder/inner"));
    fs::create_directories(path("empty"));
    ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
    for (const auto& [from, to] : {std::pair{"a.texture.txt", "a.convert-tex.txt"},
                                   {"a.texture.txt", "folder"},
                                   {"a.texture.txt", "dangling"},
                                   {"folder", "a.convert-tex.txt"},
                                   {"folder", "empty"}})
    {
        errno = 0;
        EXPECT_FALSE(GetParam()(path(from), path(to))) << from << " -> " << to;
        EXPECT_EQ(errno, EEXIST) << from << " -> " << to;
    }
    EXPECT_EQ(PlatformTest::ReadFile(path("a.texture.txt")), "mine");
    EXPECT_EQ(PlatformTest::ReadFile(path("a.convert-tex.txt")), "theirs");
    EXPECT_TRUE(fs::is_directory(path("folder/inner")) && fs::is_empty(path("empty")));
    EXPECT_TRUE(fs::is_symlink(path("dangling")));

    ASSERT_TRUE(GetParam()(path("a.texture.txt"), path("A.CONVERT-TEX.txt")));
    ASSERT_TRUE(GetParam()(path("folder"), path("moved")));
    EXPECT_EQ(PlatformTest::ReadFile(path("A.CONVERT-TEX.txt")), "mine");
    EXPECT_TRUE(fs::is_directory(path("moved/inner")));
    EXPECT_FALSE(fs::exists(path("a.texture.txt")) || fs::exists(path("folder")));
    EXPECT_EQ(fs::hard_link_count(path("A.CONVERT-TEX.txt")), 1u);
}

INSTANTIATE_TEST_SUITE_P(OneStepAndInSteps, RenameNoReplaceTest,
                         testing::Values(&Platform::RenameNoReplace, &Platform::RenameNoReplaceInSteps));

}  // namespace
