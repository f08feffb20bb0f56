// The engine's side of the materials: fallback chains of material plug-ins, registered materials and
// caches let go of, textures that wait for their load, and program texts that cannot be read.
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "engine/PluginType.h"
#include "engine/RenderingCache.h"
#include "engine/TextureManager.h"
#include "engine/VertexProgram.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

using namespace Orvo;

namespace {

// A type this display never draws, naming another as its fallback.
class Refusing : public MaterialPlugin
{
public:
    Refusing(const char* name, const char* fallback)
        : MaterialPlugin(PString(name), UId("11111111-2222-3333-4444-555555555555")), fallback_(fallback)
    {}
    Material* Create(const PString& name, Display*) override { return new Material(name, GetName()); }
    bool IsSupported(Display*, PString& fallback) override
    {
        fallback = PString(fallback_);
        return false;
    }

private:
    const char* fallback_;
};

// A type whose plug-in cannot make its material on this display: it answers null, or it throws.
class Failing : public MaterialPlugin
{
public:
    Failing(const char* name, bool throws)
        : MaterialPlugin(PString(name), UId("11111111-2222-3333-4444-555555555556")), throws_(throws)
    {}
    Material* Create(const PString&, Display*) override
    {
        if (throws_) throw std::bad_alloc();
        return nullptr;
    }

private:
    bool throws_;
};

TEST(MaterialFallbackTest, ChainsEndAtADrawableTypeOrAreRefused)
{
    PluginBase::UnregisterAll();
    MaterialManager::RegisterEngineMaterialTypes();
    for (auto [name, fallback] : {std::pair{"loopa", "loopb"}, std::pair{"loopb", "loopa"}, std::pair{"down", "onetex"},
                                  std::pair{"lost", "nosuchtype"}})
        PluginBase::RegisterPluginType(new Refusing(name, fallback));
    PluginBase::RegisterPluginType(new Failing("null", false));
    PluginBase::RegisterPluginType(new Failing("throws", true));
    Display display(Display::Kind::Null);
    MaterialManager manager(&display);
    // Placeholders serve bare type names ("m.<type>") that no plug-in makes.
    for (const char* type : {"null", "throws", "lost"})
        manager.RegisterMaterial(new Material(PString(std::string("stand-in.m.") + type), PString(type)));
    const struct
    {
        const char* name;
        int result;
        const char* type;
    } cases[] = {{"a.m.down", MaterialManager::Made, "onetex"},
                 {"a.m.loopa", MaterialManager::CannotMake, nullptr},  // a circle ends instead of turning
                 {"a.m.lost", MaterialManager::CannotMake, nullptr},
                 {"a.m.unknown", MaterialManager::UnknownType, nullptr},
                 {"a.m.null", MaterialManager::CannotMake, nullptr},
                 {"a.m.throws", MaterialManager::CannotMake, nullptr},
                 {"m.null", MaterialManager::Made, "null"},
                 {"m.throws", MaterialManager::Made, "throws"},
                 {"m.lost", MaterialManager::Made, "lost"},
                 {"m.loopa", MaterialManager::CannotMake, nullptr}};
    for (const auto& c : cases)
    {
        int result = -1;
        Material* made = manager.CreateMaterial(PString(c.name), &result);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(made != nullptr, c.type != nullptr) << c.name;
        if (made)
        {
            EXPECT_EQ(made->GetType().str(), c.type);
            made->Release();
        }
    }
    PluginBase::UnregisterAll();
}

TEST(MaterialManagerTest, RegisteredMaterialsAndCachesAreLetGoOfOnRequest)
{
    MaterialManager manager;
    Material* kept = new Material(PString("kept.m.onetex"), PString("onetex"));
    Material* dropped = new Material(PString("dropped.m.onetex"), PString("onetex"));
    dropped->AddRef();  // the test's own reference
    manager.RegisterMaterial(kept);
    manager.RegisterMaterial(dropped);
    manager.UnregisterMaterial(dropped);
    manager.UnregisterMaterial(dropped);  // no longer kept: nothing
    EXPECT_EQ(manager.Count(), 1u);
    EXPECT_EQ(manager.FindRegistered(PString("dropped.m.onetex")), nullptr);
    EXPECT_EQ(manager.FindRegistered(PString("kept.m.onetex")), kept);
    EXPECT_EQ(dropped->GetRefCount(), 1);
    dropped->Release();

    RenderingCacheManager caches;
    AutoReference<RenderingCache> first(new UnsortedAlphaBlendCache(1));
    AutoReference<RenderingCache> second(new UnsortedAlphaBlendCache(1));
    caches.AddCache(first.Get());
    caches.AddCache(second.Get());
    caches.RemoveCache(first.Get());
    caches.RemoveCache(first.Get());  // no longer kept: nothing
    ASSERT_EQ(caches.GetCaches().size(), 1u);
    EXPECT_EQ(caches.FindCache(UnsortedAlphaBlendCache::UnsortedAlphaBlendCacheID()), second.Get());
    EXPECT_EQ(first->GetRefCount(), 1);
}

TEST(TextureRequestTest, ATextureWaitsForItsLoadAndSaysWhenItFailed)
{
    ScratchFolder folder;
    ASSERT_TRUE(File::WriteFile(folder / "bad.texture", "not a texture"));
    Display display(Display::Kind::Null);
    TextureManager textures(&display);
    EXPECT_EQ(textures.RequestTexture(nullptr, folder / "none.texture", ""), nullptr);
    DisplayTexture* bad = textures.RequestTexture(nullptr, folder / "bad.texture", "");
    ASSERT_NE(bad, nullptr);
    EXPECT_FALSE(bad->IsLoaded());
    EXPECT_FALSE(bad->HasFailed());
    EXPECT_EQ(bad->GetPendingState(), DisplayTexture::PendingWaiting);
    bad->RequestLoad();
    EXPECT_FALSE(bad->IsLoaded());
    EXPECT_TRUE(bad->HasFailed());
    EXPECT_EQ(bad->GetPendingState(), DisplayTexture::PendingFailed);
    bad->Release();
    // The shared textures are always there and loaded.
    DisplayTexture* shared = SharedTextureCollection::GetTexture(0, &textures);
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(shared->IsLoaded());
    EXPECT_EQ(shared, textures.GetSharedTexture(0));
    shared->Release();
    EXPECT_EQ(SharedTextureCollection::GetTexture(8, &textures), nullptr);
}

TEST(VertexProgramTextTest, DeclarationsThatCannotBeReadAreRefused)
{
    PString set;
    std::vector<VertexProgramDeclaration> programs;
    for (const char* text :
         {"", "vertexProgram(S)\n{\n", "vertexProgram(S) x {\n program P(PNTA) = A;\n}",
          "vertexProgram(S)\n{\n program P(PNTA) = ;\n}", "vertexProgram(S)\n{\n prog P(PNTA) = A;\n}",
          "# vertexProgram(S)\n{\n program P(PNTA) = A;\n}"})
        EXPECT_FALSE(VertexProgramManager::ReadDeclarations(text, set, programs)) << text;
    ASSERT_TRUE(VertexProgramManager::ReadDeclarations("vertexProgram( S )\n{\n program P ( PNTA ) = A , B;\n}", set,
                                                       programs));
    EXPECT_EQ(set.str(), "S");
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].name.str(), "P");
    EXPECT_EQ(programs[0].features.size(), 2u);

    Display display(Display::Kind::Null);
    display.GetVertexProgramManager()->RegisterBuiltInPrograms(PString("BrokenSet"), "vertexProgram(BrokenSet)\n{\n");
    VertexProgram* found = nullptr;
    EXPECT_EQ(display.GetVertexProgramManager()->FindProgram(PString("BrokenSet"), PString("P"), found),
              VertexProgramManager::SetUnreadable);
    EXPECT_EQ(found, nullptr);
}

}  // namespace
