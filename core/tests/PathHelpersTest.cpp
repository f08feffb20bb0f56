#include "core/PathHelpers.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class PathHelpersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder_.IsValid());
        top_ = folder_.Path();
        data_ = top_ / "data";
        outside_ = top_ / "outside";
        fs::create_directories(data_ / "local" / "asset");
        fs::create_directories(outside_);
        Touch(data_ / "local" / "asset" / "config.txt");
        Touch(outside_ / "keep.txt");
    }
    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

    TestFolder folder_{"velmar-paths"};
    fs::path top_, data_, outside_;
};

}  // namespace

TEST(PathFormsTest, AbsolutePathForms)
{
    EXPECT_TRUE(IsAbsolutePath("/usr"));
    EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
    EXPECT_TRUE(IsAbsolutePath("C:\\a"));
    EXPECT_TRUE(IsAbsolutePath("c:/a"));
    EXPECT_FALSE(IsAbsolutePath("C:\\")) << "fewer than 4 characters";
    EXPECT_FALSE(IsAbsolutePath("C:ab"));
    EXPECT_FALSE(IsAbsolutePath("1:\\a"));
    EXPECT_FALSE(IsAbsolutePath("rel/x"));
    EXPECT_FALSE(IsAbsolutePath(""));

    EXPECT_EQ(JoinBasePath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinBasePath("/a", "/abs"), "/abs");
    EXPECT_EQ(JoinBasePath("", "rel"), "rel");
}

TEST_F(PathHelpersTest, CheckCreateAndRename)
{
    EXPECT_TRUE(CheckFileExists("", "no/base/given.txt")) << "cannot be checked, counts as present";
    EXPECT_TRUE(CheckFileExists(data_.string(), "local/asset/config.txt"));
    EXPECT_TRUE(CheckFileExists(data_.string(), "LOCAL/Asset/CONFIG.TXT")) << "case-insensitive fallback";
    EXPECT_FALSE(CheckFileExists(data_.string(), "local/asset/config.chump"));
    EXPECT_TRUE(CheckFileExists("/ignored", (outside_ / "keep.txt").string()));

    EXPECT_TRUE(CreateFolderAt(data_.string(), "editing/a/b"));
    EXPECT_TRUE(fs::is_directory(data_ / "editing" / "a" / "b"));
    EXPECT_TRUE(CreateFolderAt(data_.string(), "editing/a/b")) << "already there is fine";

    EXPECT_FALSE(RenameFileAt("", "relative.txt", (top_ / "x").string()));
    EXPECT_TRUE(RenameFileAt((data_ / "local" / "asset").string(), "config.txt", "config.bak"));
    EXPECT_TRUE(fs::exists(data_ / "local" / "asset" / "config.bak"));
    EXPECT_TRUE(
        RenameFileAt("", (data_ / "local/asset/config.bak").string(), (data_ / "local/asset/config.txt").string()));
}

TEST_F(PathHelpersTest, DeleteStaysInsideTheDataFolders)
{
    const std::string asset = (data_ / "local" / "asset").string();
    EXPECT_FALSE(DeletePathAt("", asset, DeletionBounds())) << "nothing registered: everything is refused";
    EXPECT_TRUE(fs::exists(asset));

    const DeletionBounds data({data_.string()});
    EXPECT_FALSE(DeletePathAt("", (outside_ / "keep.txt").string(), data));
    EXPECT_FALSE(DeletePathAt(data_.string(), "../outside/keep.txt", data));
    EXPECT_FALSE(DeletePathAt("", data_.string(), data)) << "never the root itself";
    EXPECT_FALSE(DeletePathAt("", "local/asset", data)) << "relative without a base";
    EXPECT_TRUE(fs::exists(outside_ / "keep.txt"));

    // A link inside the data folder is deleted as a link; what it points at stays.
    fs::create_directory_symlink(outside_, data_ / "link");
    EXPECT_FALSE(DeletePathAt(data_.string(), "link/keep.txt", data)) << "the file really lies outside";
    EXPECT_TRUE(DeletePathAt(data_.string(), "link", data));
    EXPECT_FALSE(fs::exists(fs::symlink_status(data_ / "link")));
    EXPECT_TRUE(fs::exists(outside_ / "keep.txt"));

    EXPECT_TRUE(DeletePathAt(data_.string(), "local/asset/config.txt", data));
    EXPECT_TRUE(DeletePathAt(data_.string(), "local", data));
    EXPECT_FALSE(fs::exists(data_ / "local"));
    EXPECT_FALSE(DeletePathAt(data_.string(), "local", data)) << "already gone";

    EXPECT_TRUE(DeletePathAt("", (outside_ / "keep.txt").string(), DeletionBounds::Anywhere()));
    EXPECT_FALSE(DeletePathAt("", "/", DeletionBounds::Anywhere())) << "never the file-system root";
}
