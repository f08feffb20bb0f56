// The tool started as VelmarUtil starts, with the program's plug-ins found through its exported
// OrvoGetPlugins: the placeholder materials of every family, the caches they draw through, and the
// resource types the export adds.
#include "engine/MaterialManager.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/RenderingCache.h"
#include "engine/ResourceSystem.h"
#include "engine/ResourceTypeBase.h"
#include "render/materials/VelmarAlphaBlendCache.h"
#include "render/materials/VelmarBumpColorMaterial.h"
#include "render/materials/VelmarBumpMaterial.h"
#include "render/materials/VelmarColorOneTextureVSMaterial.h"
#include "render/materials/VelmarGlossRustMaterial.h"
#include "render/materials/VelmarGroundBaseMaterial.h"
#include "render/materials/VelmarNoFogMaterial.h"
#include "tool/Tool.h"
#include "validation/DummyLoadMaterials.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

namespace {

// Start-up as the tool runs it, without a daemon, in this program's folder; the working folder is put
// back afterwards.
class ToolFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        tool_ = std::make_unique<Tool>();
        ::testing::internal::CaptureStderr();
        const uint8_t started = tool_->Initialise(int(std::size(argv_)) - 1, const_cast<char**>(argv_));
        ::testing::internal::GetCapturedStderr();  // "- Failed to open asset database"
        ASSERT_EQ(started, 0);
    }
    void TearDown() override
    {
        tool_.reset();
        Orvo::PluginBase::UnregisterAll();
        ASSERT_EQ(chdir(cwd_), 0);
    }

    Orvo::RenderKernel& Kernel() { return *tool_->Engine().renderKernel; }

    const char* argv_[5] = {"VelmarUtil", "version", "-nostartvaddaemon", "closevaddaemon", nullptr};
    char cwd_[4096] = {};
    std::unique_ptr<Tool> tool_;
};

TEST_F(ToolFrameTest, PlaceholdersAreMaterialsOfTheirFamilies)
{
    using namespace Orvo;
    const std::function<bool(Material*)> kinds[TETLib::kDummyLoadMaterialCount] = {
        [](Material* m) { return dynamic_cast<VelmarBumpMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarBumpColorMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarBumpGlossColMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarBumpEnvMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarColorOneTextureMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarColorOneTextureVSMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarOneTexNoAlphaMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarBumpGlossMaterial*>(m) != nullptr; },
        [](Material* m) { return dynamic_cast<VelmarGlossRustMaterial*>(m) != nullptr; },
        [](Material* m) { return typeid(*m) == typeid(Material); },  // the engine's own types
        [](Material* m) { return typeid(*m) == typeid(Material); },
        [](Material* m) { return dynamic_cast<VelmarNoFogMaterial*>(m) != nullptr; },
        [](Material* m) { return typeid(*m) == typeid(Material); },
        [](Material* m) { return typeid(*m) == typeid(Material); },
    };
    ASSERT_TRUE(TETLib::DummyLoadMaterialsRegistered());
    for (size_t i = 0; i < TETLib::kDummyLoadMaterialCount; ++i)
    {
        Material* m = TETLib::GetDummyLoadMaterial(i);
        ASSERT_NE(m, nullptr) << i;
        EXPECT_EQ(m->GetName().str(), TETLib::kDummyLoadMaterialNames[i]);
        EXPECT_TRUE(kinds[i](m)) << TETLib::kDummyLoadMaterialNames[i];
        // Every placeholder is loaded, so that a mesh whose textures are missing still loads.
        EXPECT_EQ(m->IsLoaded(), Material::ResultOk) << TETLib::kDummyLoadMaterialNames[i];
    }
    // The sorted and unsorted caches first, then the engine's own.
    const RenderingCacheManager& caches = Kernel().GetRenderingCacheManager();
    EXPECT_NE(dynamic_cast<VelmarAlphaBlendCache*>(caches.FindCache(AlphaBlendCache::AlphaBlendCacheID())), nullptr);
    EXPECT_NE(caches.FindCache(AlphaBlendCacheUnsorted::AlphaBlendCacheUnsortedID()), nullptr);
    EXPECT_NE(caches.FindCache(UnsortedAlphaBlendCache::UnsortedAlphaBlendCacheID()), nullptr);
}

TEST_F(ToolFrameTest, TheExportAddsTheCompressingTextureType)
{
    Orvo::ResourceTypeBase* type = Orvo::ResourceSystem::FindType("wall.convert-tex.txt");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->GetTypeId(), Orvo::UId("A6805E60-4C54-1278-1111-00010251467D"));
    EXPECT_EQ(type->GetCategoryId(), Orvo::UId("4C414E80-BBDA-11d4-9AD7-0001025364B8"));
    type->Release();
    EXPECT_EQ(Orvo::PluginBase::ListPluginTypes(Orvo::MaterialPlugin::FamilyId()).size(), 11u + 4);
}

}  // namespace
