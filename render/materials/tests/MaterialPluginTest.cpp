// The material plug-ins: capability tests and fallback chains, the resources they prepare once, and a
// set-up that fails half-way.
#include "render/materials/VelmarAlphaBlendCache.h"
#include "render/materials/VelmarBumpMaterial.h"
#include "render/materials/tests/MaterialTestSupport.h"

#include <algorithm>

using namespace Orvo;

namespace {

struct FallbackCase
{
    std::vector<uint32_t> capabilities;
    uint32_t stages;
    const char* requested;
    const char* made;  // the type of the material made
};

TEST_F(MaterialTest, DisplaysWithoutACapabilityFallBackAlongTheChain)
{
    const FallbackCase cases[] = {
        {{1, 17, 21}, 8, "a.m.tbumpglosscol", "tbumpglosscol"},
        {{}, 8, "a.m.tbumpglosscol", "tgroundonetex"},  // down to the plain ground material
        {{17}, 8, "a.m.tbumpglosscol", "tgroundonetexvs"},
        {{21}, 8, "a.m.tbumptex", "onetex"},  // one capability without the other is refused
        {{17}, 8, "a.m.tbumptex", "onetex"},
        {{1}, 8, "a.m.tbumpgloss", "tglossrust"},
        {{}, 8, "a.m.tbumpgloss", "onetex"},
        {{}, 8, "a.m.tbumpenv", "tonetexnoalpha"},
        {{}, 2, "a.m.tmpfx", "tmpfx"},  // two texture stages are enough
        {{}, 1, "a.m.tmpfx", "onetex"},
        {{}, 8, "a.m.nofogtex", "nofogtex"},
    };
    for (const FallbackCase& c : cases)
    {
        for (uint32_t cap : {1u, 17u, 21u})
            Display().SetCapability(cap, std::find(c.capabilities.begin(), c.capabilities.end(), cap) !=
                                             c.capabilities.end());
        Display().SetTextureStageCount(c.stages);
        int result = -1;
        Material* made = Manager().CreateMaterial(PString(c.requested), &result);
        ASSERT_NE(made, nullptr) << c.requested;
        EXPECT_EQ(result, MaterialManager::Made);
        EXPECT_EQ(made->GetType().str(), c.made) << c.requested;
        EXPECT_EQ(made->GetName().str(), c.requested);
        made->Release();
    }
}

TEST_F(MaterialTest, PluginsReportTheirFallbackAndLeaveItAloneWhenSupported)
{
    Display().SetCapability(21, true);
    Display().SetCapability(17, false);
    PluginType* found = PluginBase::LookupPluginType(MaterialPlugin::FamilyId(), PString("tbumpcoltex"));
    auto* plugin = dynamic_cast<MaterialPlugin*>(found);
    ASSERT_NE(plugin, nullptr);
    PString fallback("unchanged");
    EXPECT_FALSE(plugin->IsSupported(&Display(), fallback));
    EXPECT_EQ(fallback.str(), "tgroundonetexvs");
    Display().SetCapability(17, true);
    fallback = PString("unchanged");
    EXPECT_TRUE(plugin->IsSupported(&Display(), fallback));
    EXPECT_EQ(fallback.str(), "unchanged");
    EXPECT_FALSE(plugin->IsSupported(nullptr, fallback));
    found->Release();
}

TEST_F(MaterialTest, GlossRustSetUpFailingAtItsThirdStepLeavesNoResources)
{
    // The engine base makes its own set-up first; the gloss-rust plug-in's third set-up is the fourth.
    Display().SetFailTextureStageSetupAfter(3);
    int result = -1;
    EXPECT_EQ(Manager().CreateMaterial(PString("a.m.tglossrust"), &result), nullptr);
    EXPECT_EQ(result, MaterialManager::CannotMake);
    const std::vector<std::string> record = Taken();
    EXPECT_EQ(Starting(record, "create stage setup").size(), 3u);
    EXPECT_EQ(Starting(record, "release stage setup"),
              (std::vector<std::string>{"release stage setup 2", "release stage setup 3"}));
    EXPECT_EQ(Display().GetTextureStageSetupCount(), 1u);  // the base's alone

    // Nothing half-made stays behind: a later request makes all four.
    Display().SetFailTextureStageSetupAfter(-1);
    auto* rust = MakeAs<Material>("a.m.tglossrust");
    ASSERT_NE(rust, nullptr);
    EXPECT_EQ(Display().GetTextureStageSetupCount(), 5u);
}

TEST_F(MaterialTest, MultiPFXSecondSetUpFailingReleasesTheFirst)
{
    Display().SetFailTextureStageSetupAfter(1);
    EXPECT_EQ(Manager().CreateMaterial(PString("a.m.tmpfx")), nullptr);
    EXPECT_EQ(Display().GetTextureStageSetupCount(), 0u);
    Display().SetFailTextureStageSetupAfter(-1);
    EXPECT_NE(MakeAs<Material>("a.m.tmpfx"), nullptr);
    EXPECT_EQ(Display().GetTextureStageSetupCount(), 2u);
}

TEST_F(MaterialTest, ASecondMaterialReusesCachesProgramsAndSetUps)
{
    for (const char* type : {"tbumptex", "tbumpgloss", "tgroundonetexvs", "tglossrust", "tmpfx", "tgroundonetex"})
    {
        const std::string first = std::string("a.m.") + type, second = std::string("b.m.") + type;
        ASSERT_NE(MakeAs<Material>(first.c_str()), nullptr) << type;
        const size_t setups = Display().GetTextureStageSetupCount();
        const size_t caches = kernel_->GetRenderingCacheManager().GetCaches().size();
        Taken();
        ASSERT_NE(MakeAs<Material>(second.c_str()), nullptr) << type;
        EXPECT_EQ(Display().GetTextureStageSetupCount(), setups) << type;
        EXPECT_EQ(kernel_->GetRenderingCacheManager().GetCaches().size(), caches) << type;
        EXPECT_TRUE(Taken().empty()) << type;
    }
    auto* a = dynamic_cast<VelmarBumpMaterial*>(held_[0].Get());
    auto* b = dynamic_cast<VelmarBumpMaterial*>(held_[1].Get());
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->GetPrograms().parallelProgram, b->GetPrograms().parallelProgram);
    EXPECT_EQ(a->GetAlphaBlendCache(), b->GetAlphaBlendCache());
}

TEST_F(MaterialTest, ACacheTheKernelHoldsIsSharedNotDuplicated)
{
    AutoReference<RenderingCache> sorted(new VelmarAlphaBlendCache());
    kernel_->GetRenderingCacheManager().AddCache(sorted.Get());
    auto* bump = MakeAs<VelmarBumpMaterial>("a.m.tbumptex");
    ASSERT_NE(bump, nullptr);
    EXPECT_EQ(bump->GetAlphaBlendCache(), sorted.Get());
    EXPECT_EQ(kernel_->GetRenderingCacheManager().GetCaches().size(), 3u);  // with a mask and a chunk cache
}

TEST_F(MaterialTest, ResourcesOfAnotherDisplayAreMadeAgainForTheNewOne)
{
    auto* first = MakeAs<VelmarBumpMaterial>("a.m.tbumptex");
    ASSERT_NE(first, nullptr);
    Display().ClearRecord();
    first->RenderChunk(&Display(), &viewport_, Triangle(*first), nullptr, identity_, -1);
    // A second kernel (its own display): the plug-in's programs are that display's, not the first's.
    RenderKernel other(nullptr, 1.0f);
    ASSERT_TRUE(other.Init(os_.get(), nullptr));
    Material* second = other.GetMaterialManager().CreateMaterial(PString("b.m.tbumptex"));
    ASSERT_NE(second, nullptr);
    second->RenderChunk(other.GetDisplay(), &viewport_, Triangle(*second), nullptr, identity_, -1);
    EXPECT_FALSE(Starting(other.GetDisplay()->GetRecord(), "VelmarBump_ParallelLight c7").empty());
    EXPECT_EQ(dynamic_cast<VelmarBumpMaterial*>(second)->GetAlphaBlendCache(),
              other.GetRenderingCacheManager().FindCache(AlphaBlendCache::AlphaBlendCacheID()));
    second->Release();
}

}  // namespace
