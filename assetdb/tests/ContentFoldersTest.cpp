#include "TestSupport.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResourceDatabaseTable.h"

#include "core/PathHelpers.h"
#include "engine/File.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class ContentFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SetInstallationPath(Orvo::File::Path(root_.path))); }
    void TearDown() override
    {
        UnmountContentFolders();
        FlushResourceDatabaseCache();
        SetResourceDatabaseFactory(nullptr);
    }
    std::string P(const std::string& rel) const { return root_.P(rel); }

    TempFolder root_;
};

struct Split
{
    bool ok;
    std::string source;
    std::string rest;
};

Split DoSplit(const std::string& path)
{
    Orvo::File::Path p(path);
    Orvo::PString source("unchanged");
    bool ok = SplitContentPath(p, source);
    return {ok, source.str(), p.str()};
}

int g_created = 0;
ContentResourceDatabase* CountingFactory(const Orvo::PString& name, const Orvo::File::Path& folder)
{
    ++g_created;
    if (name == "refuse") return nullptr;
    return new ContentResourceDatabase(name, folder);
}

}  // namespace

TEST_F(ContentFoldersTest, ContentFolderOfEachSource)
{
    EXPECT_EQ(GetContentFolder("local").str(), P("UserData/local"));
    EXPECT_EQ(GetContentFolder("Packages").str(), P("UserData/packages"));
    for (const char* loc : {"cache", "original", "backups", "editing", "settings"})
        EXPECT_EQ(GetContentFolder(loc).str(), P(std::string("UserData/") + loc));
    EXPECT_EQ(GetContentFolder("base").str(), P("Base"));
    EXPECT_EQ(GetContentFolder("data").str(), P("Data"));
    EXPECT_EQ(GetContentFolder("builtin").str(), P("builtin"));
    EXPECT_EQ(GetContentFolder("scripts").str(), P("scripts"));
    for (const char* bad : {"", ".", "..", "../etc", "a/b", "a\\b", "x:y"})
        EXPECT_TRUE(GetContentFolder(bad).IsEmpty()) << bad;
    EXPECT_EQ(GetUserDataPath().str(), P("UserData"));
}

TEST_F(ContentFoldersTest, SplitContentPathOnEachSource)
{
    const struct
    {
        std::string path, source, rest;
    } inside[] = {
        {P("UserData/local/kuid 1 2/config.txt"), "local", "kuid 1 2/config.txt"},
        {P("userdata/EDITING/kuid 3 4/x.tga"), "editing", "kuid 3 4/x.tga"},  // the folders' case does not matter
        {P("builtin/pack1/asset/mesh.im"), "builtin", "pack1/asset/mesh.im"},
        {P("Base/a/b.txt"), "base", "a/b.txt"},
        {P("Data\\w\\v.txt"), "data", "w/v.txt"},
    };
    for (const auto& c : inside)
    {
        Split s = DoSplit(c.path);
        EXPECT_TRUE(s.ok) << c.path;
        EXPECT_EQ(s.source, c.source) << c.path;
        EXPECT_EQ(s.rest, c.rest) << c.path;
    }

    // A relative path is taken from the working folder.
    std::filesystem::create_directories(P("UserData"));
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(P("UserData"));
    Split s = DoSplit("local/a/b.txt");
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.source, "local");
    EXPECT_EQ(s.rest, "a/b.txt");

    for (const std::string& outside : {P("Database/x.txt"), P("UserData/other/x"), P("scripts/a.gs"),
                                       P("Data/../etc/passwd"), std::string("/etc/passwd"), std::string("relative/x")})
    {
        s = DoSplit(outside);
        EXPECT_FALSE(s.ok) << outside;
        EXPECT_EQ(s.source, "unchanged") << outside;
        EXPECT_EQ(s.rest, Orvo::File::Path(outside).str()) << outside;
    }
}

TEST_F(ContentFoldersTest, InitialiseCreatesUserDataAndMountsSubstitutions)
{
    std::filesystem::create_directories(P("Base/textures"));
    std::filesystem::create_directories(P("scripts"));
    ASSERT_TRUE(Orvo::File::WriteFile(P("Base/textures/t.txt"), "base file"));
    ASSERT_TRUE(Orvo::File::WriteFile(P("scripts/s.gs"), "script"));
    ASSERT_TRUE(InitialiseContentFolders());
    for (const char* loc : {"cache", "local", "original", "backups", "editing", "settings", "packages"})
        EXPECT_TRUE(std::filesystem::is_directory(P(std::string("UserData/") + loc))) << loc;
    std::string text;
    EXPECT_TRUE(Orvo::File::ReadFile("base:textures/t.txt", text));
    EXPECT_EQ(text, "base file");
    EXPECT_TRUE(Orvo::File::ReadFile("scripts:s.gs", text));
    EXPECT_EQ(GetResourceDatabaseUseCount("base"), 1);
    EXPECT_EQ(GetResourceDatabaseUseCount("data"), -1);  // no Data folder, nothing mounted

    // DeletePathAt may delete inside UserData, and nowhere else.
    ASSERT_TRUE(Orvo::File::WriteFile(P("UserData/cache/tmp.bin"), "x"));
    EXPECT_TRUE(DeletePathAt("", P("UserData/cache/tmp.bin"), UserDataDeletionBounds()));
    EXPECT_FALSE(DeletePathAt("", P("Base/textures/t.txt"), UserDataDeletionBounds()));
    ASSERT_EQ(UserDataDeletionBounds().Roots().size(), 1u);
    EXPECT_TRUE(DeletionBounds::Anywhere().Allows(P("Base/textures/t.txt")));
    EXPECT_FALSE(DeletionBounds().Allows(P("UserData/cache/x"))) << "bounds without folders allow nothing";

    UnmountContentFolders();
    EXPECT_FALSE(Orvo::File::HasSubst("scripts"));
    EXPECT_EQ(GetResourceDatabaseUseCount("base"), 0);
    FlushResourceDatabaseCache();
    EXPECT_EQ(GetResourceDatabaseUseCount("base"), -1);
    EXPECT_FALSE(Orvo::File::HasSubst("base"));
}

TEST_F(ContentFoldersTest, ResourceDatabasesAreSharedCountedAndPurged)
{
    std::filesystem::create_directories(P("Data"));
    bool found = false;
    ContentResourceDatabase* a = AcquireResourceDatabaseForSource("data", found);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(found);
    EXPECT_EQ(a->GetFolder().str(), P("Data"));
    EXPECT_TRUE(Orvo::File::HasSubst("data"));
    ContentResourceDatabase* b = AcquireResourceDatabase(Orvo::PString("DATA"), Orvo::File::Path("/elsewhere"));
    EXPECT_EQ(a, b);
    EXPECT_EQ(GetResourceDatabaseUseCount("data"), 2);

    {
        ResourceDatabaseHolder h1;
        h1.Adopt(a, true);  // takes over the first use
        ResourceDatabaseHolder h2 = h1;
        EXPECT_EQ(GetResourceDatabaseUseCount("data"), 3);
        EXPECT_EQ(h2.GetName().View(), "data");
        ReleaseHeldResourceDatabase(h2);
        ReleaseHeldResourceDatabase(h2);  // an empty holder: no effect
        EXPECT_EQ(GetResourceDatabaseUseCount("data"), 2);
        EXPECT_TRUE(h2.GetName().IsEmpty());
    }
    ReleaseResourceDatabase(b);
    ReleaseResourceDatabase(nullptr);
    EXPECT_EQ(GetResourceDatabaseUseCount("data"), 0);
    EXPECT_TRUE(Orvo::File::HasSubst("data"));  // stays until purged
    EXPECT_EQ(PurgeResourceDatabases(), 1u);
    EXPECT_FALSE(Orvo::File::HasSubst("data"));

    // An empty source needs nothing; an unsafe one gets nothing.
    EXPECT_EQ(AcquireResourceDatabaseForSource("", found), nullptr);
    EXPECT_TRUE(found);
    EXPECT_EQ(AcquireResourceDatabaseForSource("../x", found), nullptr);
    EXPECT_FALSE(found);
}

TEST_F(ContentFoldersTest, FactoryHookMakesTheDatabases)
{
    SetResourceDatabaseFactory(&CountingFactory);
    g_created = 0;
    bool found = false;
    ContentResourceDatabase* db = AcquireResourceDatabaseForSource("local", found);
    ASSERT_NE(db, nullptr);
    EXPECT_FALSE(Orvo::File::HasSubst("local"));  // the hook's database mounts nothing
    EXPECT_EQ(AcquireResourceDatabase(Orvo::PString("refuse"), Orvo::File::Path("/x")), nullptr);
    EXPECT_EQ(g_created, 2);
    EXPECT_EQ(GetResourceDatabaseUseCount("refuse"), -1);
    ReleaseResourceDatabase(db);
}
