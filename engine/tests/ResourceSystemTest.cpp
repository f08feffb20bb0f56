// Resource types, the resource system's choice of type, its loading and its cache.
#include "engine/ResourceSystem.h"
#include "engine/File.h"
#include "engine/PluginType.h"
#include "engine/Resource.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceTypeBase.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace Orvo;

namespace {

// Records which load ran on which file, and fails files whose text is "bad".
class RecordingResource : public Resource
{
public:
    using Resource::Resource;
    int Load(const std::string& fileName) override { return Read("Load", fileName); }
    int LoadTxt(const std::string& fileName) override { return Read("LoadTxt", fileName); }
    std::string how;

private:
    int Read(const char* kind, const std::string& fileName)
    {
        std::string text;
        how = std::string(kind) + " " + fileName;
        return File::ReadFile(GetFilePath(fileName), text) && text != "bad" ? LoadOk : LoadFailed;
    }
};

class ResourceLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PluginBase::UnregisterAll();
        const UId category("4C414E80-BBDA-11d4-9AD7-0001025364B8");
        for (const char* ext : {"txt", "lm", "lm.txt", "im", "convert-tex.txt"})
            PluginBase::RegisterPluginType(new ResourceType<RecordingResource>(
                PString(ext), UId("8FCC40D7-8BDD-4d14-B528-65692F5DF710"), category));
        ASSERT_TRUE(File::Subst("meshsrc", folder_.path.c_str(), true));
    }
    void TearDown() override
    {
        File::Subst("meshsrc", nullptr, false);
        PluginBase::UnregisterAll();
    }
    void Write(const std::string& name, const std::string& text) { ASSERT_TRUE(File::WriteFile(folder_ / name, text)); }

    ScratchFolder folder_;
    ResourceSystem system_;
};

std::string ExtensionOf(std::string_view name)
{
    AutoReference<ResourceTypeBase> type;
    ResourceTypeBase* found = ResourceSystem::FindType(name);
    type = found;
    if (found) found->Release();
    return type ? type->GetExtension().str() : "(none)";
}

}  // namespace

TEST_F(ResourceLookup, PicksTheLongestMatchingExtension)
{
    const struct
    {
        const char* name;
        const char* extension;
    } cases[] = {
        {"tree.lm.txt", "lm.txt"},
        {"TREE.LM.TXT", "lm.txt"},
        {"notes.txt", "txt"},
        {"tree.lm", "lm"},
        {"a.convert-tex.txt", "convert-tex.txt"},
        {"convert-tex.txt", "convert-tex.txt"},
        {"x.texture.txt", "txt"},
        {"film", "(none)"},
        {"xlm", "(none)"},
        {"a.pm", "(none)"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExtensionOf(c.name), c.extension) << c.name;
}

TEST_F(ResourceLookup, LoadsThroughTheDatabaseAndCaches)
{
    Write("a.lm", "binary");
    Write("b.lm.txt", "text");
    Write("c.convert-tex.txt", "text");
    Write("d.lm", "bad");
    ResourceDatabase database{PString("meshsrc"), &system_};

    const struct
    {
        const char* name;
        const char* how;  // empty: no resource
        int result;
    } cases[] = {
        {"a.lm", "Load a.lm", 0},
        {"b.lm", "LoadTxt b.lm.txt", 0},  // only the text form exists
        {"b.lm.txt", "LoadTxt b.lm.txt", 0},
        {"c.convert-tex", "LoadTxt c.convert-tex.txt", 0},
        {"d.lm", "Load d.lm", 1},
        {"missing.lm", "", 0},
        {"a.unknown", "", 0},
    };
    for (const auto& c : cases)
    {
        AutoReference<Resource> r;
        Resource* got = database.Get(c.name);
        r = got;
        if (got) got->Release();
        if (*c.how == '\0')
        {
            EXPECT_FALSE(r) << c.name;
            continue;
        }
        ASSERT_TRUE(r) << c.name;
        EXPECT_EQ(static_cast<RecordingResource*>(r.Get())->how, c.how);
        EXPECT_EQ(r->GetLoadResult(), c.result) << c.name;
        EXPECT_EQ(r->IsAllLoaded(), c.result == 0 ? Resource::StateLoaded : Resource::StateFailed);
        EXPECT_EQ(r->GetDatabase(), &database);
    }

    // A loaded resource comes from the cache; a failed one is made anew on the next request.
    Resource* first = system_.Get("A.LM", &database);
    Resource* again = system_.Get("a.lm", &database);
    EXPECT_EQ(first, again);
    Resource* failed = system_.Get("d.lm", &database);
    Resource* failedAgain = system_.Get("d.lm", &database);
    EXPECT_NE(failed, failedAgain);
    for (Resource* r : {first, again, failed, failedAgain}) r->Release();
    EXPECT_EQ(system_.DumpUnusedResourcesFromCache(), 4u);  // a, b.lm, b.lm.txt, c
    EXPECT_EQ(system_.CachedCount(), 0u);
}

TEST_F(ResourceLookup, NoLoadModeLeavesLoadingToLock)
{
    Write("c.convert-tex.txt", "text");
    ResourceDatabase database{PString("meshsrc"), &system_};
    Resource* r = database.Get("c.convert-tex", ResourceSystem::GetNoLoad);
    ASSERT_NE(r, nullptr);
    EXPECT_FALSE(r->HasLoadStarted());
    EXPECT_EQ(r->IsAllLoaded(), Resource::StateLoading);
    EXPECT_EQ(r->Lock(), 0);
    EXPECT_EQ(static_cast<RecordingResource*>(r)->how, "LoadTxt c.convert-tex.txt");
    EXPECT_EQ(r->GetType()->GetExtension(), "convert-tex.txt");
    r->Release();
}

TEST(ResourceNames, ConvertResourceName)
{
    EXPECT_EQ(Resource::ConvertResourceName("./a\\b\\c.im"), "a/b/c.im");
    EXPECT_EQ(Resource::ConvertResourceName("c.im"), "c.im");
}

// A database resolves through the system it was given, and its end drops what that system keeps of it;
// a database without a system makes nothing.
TEST_F(ResourceLookup, DatabasesResolveThroughTheirOwnSystem)
{
    Write("a.lm", "binary");
    ResourceSystem other;
    {
        ResourceDatabase database{PString("meshsrc"), &other};
        EXPECT_EQ(database.GetSystem(), &other);
        Resource* got = database.Get("a.lm");
        ASSERT_NE(got, nullptr);
        got->Release();
        EXPECT_EQ(other.CachedCount(), 1u);
        EXPECT_EQ(system_.CachedCount(), 0u);
    }
    EXPECT_EQ(other.CachedCount(), 0u);
    ResourceDatabase names{PString("meshsrc"), nullptr};
    EXPECT_EQ(names.Get("a.lm"), nullptr);
    EXPECT_EQ(names.GetFileName("a.lm"), "meshsrc:a.lm");
}
