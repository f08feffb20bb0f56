// The tool started as VelmarUtil starts, with the program's plug-ins found through its exported
// OrvoGetPlugins: the placeholder materials of every family, the caches they draw through, and the
// resource types the export adds.
#include "assetdb/ResultsLog.h"
#include "core/InterfaceTextDB.h"
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
#include "tool/HostJobs.h"
#include "tool/Tool.h"
#include "tool/frametest/StartedTool.h"
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
        tool_ = StartTool();
        ASSERT_NE(tool_, nullptr);
    }
    void TearDown() override
    {
        tool_.reset();
        Orvo::PluginBase::UnregisterAll();
        ASSERT_EQ(chdir(cwd_), 0);
    }

    Orvo::RenderKernel& Kernel() { return *tool_->Engine().renderKernel; }
    // The tool's validation data manager, which holds the placeholders.
    const TETLib::DataManager& Validation() { return *tool_->Context().Validation(); }

    char cwd_[4096] = {};
    std::unique_ptr<Tool> tool_;
};

// The run's validation library is the tool's own: the command host validates with the data manager start-up
// made (here an asset outside every content folder, which is refused with its finding), and a host given
// none refuses the job with an error rather than ending the program.
TEST_F(ToolFrameTest, TheCommandHostValidatesWithTheToolsDataManager)
{
    TETLib::DataManager* manager = tool_->Context().Validation();
    ASSERT_NE(manager, nullptr);
    VADJob job;
    job.command = VAD_CMDHOST_VALIDATE;
    job.source = "local";
    job.path = "/nowhere/asset/";
    VADHostReply reply;
    RunHostJob(tool_->Context().Client(), job, reply, manager);
    EXPECT_EQ(reply.answer, 0u);
    ASSERT_EQ(reply.results.size(), 1u);
    EXPECT_EQ(reply.results[0].kind, kResultError);
    EXPECT_EQ(reply.results[0].text, InterfaceTextDB::GetString("$tet_asset_outside_content_folders").str());

    RunHostJob(tool_->Context().Client(), job, reply, nullptr);
    EXPECT_EQ(reply.answer, 0u);
    ASSERT_EQ(reply.results.size(), 1u);
    EXPECT_EQ(reply.results[0].kind, kResultError);
    EXPECT_EQ(reply.results[0].text, "CommandHostValidate> validation is not available in this program");
}

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
    ASSERT_TRUE(TETLib::DummyLoadMaterialsRegistered(Validation()));
    for (size_t i = 0; i < TETLib::kDummyLoadMaterialCount; ++i)
    {
        Material* m = TETLib::GetDummyLoadMaterial(Validation(), i);
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

#include "engine/DisplayLight.h"
#include "engine/SceneGraph.h"
#include "engine/SceneLight.h"
#include "engine/ViewPoint.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshResourceSupport.h"

namespace {

// One frame of a one-triangle mesh with a bump material whose texture file is missing, loaded through the
// resource system of the started tool, instanced five units in front of the camera, in a scene of one
// parallel light, one spot light that reaches it and one that does not: the instance gathers the lights
// itself, and the display's record of the frame, line by line, shows what they lit.
TEST_F(ToolFrameTest, OneFrameOfABumpMappedTriangle)
{
    using namespace Orvo;
    ScratchFolder folder;
    ASSERT_TRUE(WriteBumpTriangleWithoutTexture(folder));
    VelmarResourceDatabase database(PString("framesrc"), folder.path, tool_->Engine().resourceSystem);
    AutoReference<VelmarGeometryBaseResource> resource = LoadMeshResource(database, "tri.im", &Kernel());
    ASSERT_TRUE(resource);
    ASSERT_EQ(resource->GetDefinition()->GetMissingTextures().size(), 1u);
    std::unique_ptr<VelmarIndexedMeshInstance> instance(resource->CreateMeshInstance());
    ASSERT_NE(instance, nullptr);
    ASSERT_NE(dynamic_cast<VelmarBumpMaterial*>(instance->GetMaterial(0)), nullptr);

    SceneLight sun(DisplayLight::Parallel), lamp(DisplayLight::Spot), far(DisplayLight::Spot);
    sun.GetLight().SetDirection({0, 0, 1});
    sun.GetLight().diffuse = {0.5f, 0.5f, 0.5f, 1};
    sun.GetLight().ambient = {0.25f, 0.25f, 0.25f, 1};
    lamp.SetPosition({0, 0, 2});  // the particle stands there; its light points along its frame's z
    lamp.GetLight().SetDirection({0, 0, 1});
    lamp.GetLight().coneAngle = 60;
    lamp.GetLight().radius = 4;
    far.SetPosition({50, 0, 5});
    far.GetLight().radius = 4;
    far.GetLight().diffuse = {5, 5, 5, 1};  // brighter, but out of reach
    SceneGraph& scene = Kernel().GetSceneGraph();
    scene.AddLight(&far);
    scene.AddLight(&sun);
    scene.AddLight(&lamp);

    Display& display = *Kernel().GetDisplay();
    Camera camera;
    ViewPort viewport{display.GetCurrentFrame(), &camera};
    ViewPoint viewPoint(viewport);
    Matrix4 placed;
    placed.m[3][2] = 5.0f;
    display.ClearRecord();
    // The frame: caches opened, the scene culled, what was queued drawn, the caches drawn.
    RenderingCacheManager& caches = Kernel().GetRenderingCacheManager();
    caches.BeginFrame();
    for (const auto& cache : caches.GetCaches()) cache->Enter(&display, &viewport, false);
    instance->Cull(viewPoint, placed);
    for (const auto& [particle, matrix] : viewPoint.GetQueued())
    {
        Matrix4 m = matrix;
        particle->Render(&display, viewport, m);
    }
    caches.Render(&display, &viewport);
    display.NextFrame();

    const std::vector<std::string> expected = {
        // Culling asks for the textures' level at the instance's distance (the bump map's stand-in).
        "texture shared texture 0 level 0",
        // The material's opacity (0.75) makes it blended: the sorted cache draws it, its one triangle sorted.
        "alpha test off",
        "alpha blend on",
        "depth write off",
        "blend function 4 5",
        "bind texture 1 shared texture 0",
        "cull off",  // the mesh file's two-sided flag
        "disable stage 0",
        "blend function 4 5",
        "alpha blend on",
        "transform [1 0 0 0, 0 1 0 0, 0 0 1 0, 0 0 5 1]",
        "VelmarBump_ParallelLight c7 = (0 0 1)",
        "VelmarBump_ParallelLight c13 = (0 0 -5)",
        "VelmarBumpMat_ParallelLight r0 = (0.2 0.25 0.3 1)",
        "VelmarBumpMat_ParallelLight r2 = (0.7 0.8 0.9 0.75)",
        "VelmarBumpMat_ParallelLight r1 = (0.525 0.3 0.2 1)",
        "enable VelmarBumpMat_ParallelLight",
        "draw primitives 1 with VelmarBump_ParallelLight",
        "disable VelmarBumpMat_ParallelLight",
        "alpha blend on",
        "blend function 4 1",
        "fog mode 0",
        "transform [1 0 0 0, 0 1 0 0, 0 0 1 0, 0 0 5 1]",
        "VelmarBump_SpotLight c7 = (0 0 1)",
        "VelmarBump_SpotLight c13 = (0 0 -5)",
        "VelmarBump_SpotLight c5 = (0 0 -3)",
        "VelmarBump_SpotLight c6 = (0.5 0.25 0)",
        "VelmarBumpMat_ParallelLight r0 = (0.4 0.5 0.6 1)",
        "VelmarBumpMat_ParallelLight r1 = (0 0 0 1)",
        "VelmarBumpMat_ParallelLight r2 = (0.7 0.8 0.9 0.75)",
        "enable VelmarBumpMat_ParallelLight",
        "draw primitives 1 with VelmarBump_SpotLight",
        "disable VelmarBumpMat_ParallelLight",
        "alpha blend on",
        "blend function 4 5",
        "fog mode 0",
        "reset stage 1",
        "reset stage 2",
        "cull on",
        "alpha blend on",
        "blend function 4 5",
        // The cache puts back what it found.
        "blend function 1 0",
        "alpha blend off",
        "alpha test off",
        "depth write on",
    };
    EXPECT_EQ(display.GetRecord(), expected);
    EXPECT_EQ(display.GetDrawCalls(), 2u);
    EXPECT_EQ(display.GetState(), DisplayState());
    // The lights the instance gathered: those that reach it, in the scene's order.
    EXPECT_EQ(instance->GetLights(), (std::vector<const Particle*>{&sun, &lamp}));
    ASSERT_EQ(instance->GetDisplayLights().Count(), 2u);
    EXPECT_EQ(instance->GetDisplayLights()[1], &lamp.GetLight());
    EXPECT_EQ(instance->GetLightingPasses(), 1u);
    EXPECT_TRUE(scene.RemoveLight(&far) && scene.RemoveLight(&sun) && scene.RemoveLight(&lamp));
}

}  // namespace
