#include "core/PathHelpers.h"
#include "core/ProcessFlags.h"
#include "core/tests/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class PathHelpersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.IsValid());
        m_top = m_folder.Path();
        m_data = m_top / "data";
        m_outside = m_top / "outside";
        fs::create_directories(m_data / "local" / "asset");
        fs::create_directories(m_outside);
        Touch(m_data / "local" / "asset" / "config.txt");
        Touch(m_outside / "keep.txt");
        AllowAnyPathFlag = 0;
        SetDataFolderRoots({});
    }
    void TearDown() override
    {
        AllowAnyPathFlag = 0;
        SetDataFolderRoots({});
    }
    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

    TestFolder m_folder{"velmar-paths"};
    fs::path m_top, m_data, m_outside;
};

} // namespace

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
    EXPECT_TRUE(CheckFileExists(m_data.string(), "local/asset/config.txt"));
    EXPECT_TRUE(CheckFileExists(m_data.string(), "LOCAL/Asset/CONFIG.TXT")) << "case-insensitive fallback";
    EXPECT_FALSE(CheckFileExists(m_data.string(), "local/asset/config.chump"));
    EXPECT_TRUE(CheckFileExists("/ignored", (m_outside / "keep.txt").string()));

    EXPECT_TRUE(CreateFolderAt(m_data.string(), "editing/a/b"));
    EXPECT_TRUE(fs::is_directory(m_data / "editing" / "a" / "b"));
    EXPECT_TRUE(CreateFolderAt(m_data.string(), "editing/a/b")) << "already there is fine";

    EXPECT_FALSE(RenameFileAt("", "relative.txt", (m_top / "x").string()));
    EXPECT_TRUE(RenameFileAt((m_data / "local" / "asset").string(), "config.txt", "config.bak"));
    EXPECT_TRUE(fs::exists(m_data / "local" / "asset" / "config.bak"));
    EXPECT_TRUE(RenameFileAt("", (m_data / "local/asset/config.bak").string(), (m_data / "local/asset/config.txt").string()));
}

TEST_F(PathHelpersTest, DeleteStaysInsideTheDataFolders)
{
    const std::string asset = (m_data / "local" / "asset").string();
    EXPECT_FALSE(DeletePathAt("", asset)) << "nothing registered: everything is refused";
    EXPECT_TRUE(fs::exists(asset));

    SetDataFolderRoots({m_data.string()});
    EXPECT_FALSE(DeletePathAt("", (m_outside / "keep.txt").string()));
    EXPECT_FALSE(DeletePathAt(m_data.string(), "../outside/keep.txt"));
    EXPECT_FALSE(DeletePathAt("", m_data.string())) << "never the root itself";
    EXPECT_FALSE(DeletePathAt("", "local/asset")) << "relative without a base";
    EXPECT_TRUE(fs::exists(m_outside / "keep.txt"));

    // A link inside the data folder is deleted as a link; what it points at stays.
    fs::create_directory_symlink(m_outside, m_data / "link");
    EXPECT_FALSE(DeletePathAt(m_data.string(), "link/keep.txt")) << "the file really lies outside";
    EXPECT_TRUE(DeletePathAt(m_data.string(), "link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_data / "link")));
    EXPECT_TRUE(fs::exists(m_outside / "keep.txt"));

    EXPECT_TRUE(DeletePathAt(m_data.string(), "local/asset/config.txt"));
    EXPECT_TRUE(DeletePathAt(m_data.string(), "local"));
    EXPECT_FALSE(fs::exists(m_data / "local"));
    EXPECT_FALSE(DeletePathAt(m_data.string(), "local")) << "already gone";

    AllowAnyPathFlag = 1;
    EXPECT_TRUE(DeletePathAt("", (m_outside / "keep.txt").string()));
    EXPECT_FALSE(DeletePathAt("", "/")) << "never the file-system root";
}
