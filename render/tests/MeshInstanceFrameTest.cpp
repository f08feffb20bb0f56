// What a mesh instance does in a frame, as the recording display sees it: the texture levels culling asks
// for, the direct (lit) drawing of its chunks, the lights it gathers from the scene, textures rebuilt from
// images, the strongest light of a skinned instance and the loading priority its materials get.
#include "engine/Bitmap.h"
#include "engine/OneTextureMaterial.h"
#include "engine/SceneGraph.h"
#include "engine/TextureFormat.h"
#include "engine/TextureManager.h"
#include "engine/ViewPoint.h"
#include "render/VelmarDynamicIndexedMeshInstance.h"
#include "render/tests/MeshResourceSupport.h"

#include <cmath>
#include <cstring>

using namespace Orvo;

namespace {

// Meshes whose material is the engine's one-texture material (type "tlit"), so that it holds textures.
class InstanceFrame : public MeshResourceTest
{
protected:
    void SetUp() override
    {
        MeshResourceTest::SetUp();
        PluginBase::RegisterPluginType(
            new OneTextureMaterialPlugin(PString("tlit"), UId("5D0C4E5A-7A31-4C7B-9E52-0A1B2C3D4E5F")));
    }
    // A mesh of `chunks` triangles with a "tlit" material and no texture files, loaded, instanced, and its
    // material given the built-in texture 1.
    std::unique_ptr<VelmarIndexedMeshInstance> Lit(uint32_t chunks = 1)
    {
        IndexedMeshSpec spec;
        spec.material.name = "hull.m.tlit";
        spec.material.textures.clear();
        spec.chunkCount = chunks;
        spec.chunks.assign(chunks, TriangleGeom{});
        Write("lit.im", BuildIndexedMesh(spec));
        resource_ = Load("lit.im");
        if (!resource_) return nullptr;
        auto instance = Instance(*resource_);
        DisplayTexture* shared = SharedTextureCollection::GetTexture(1, Textures());
        instance->GetMaterial(0)->SetTexture(OneTextureMaterial::kColourTexture, shared, 1.0f);
        shared->Release();
        return instance;
    }
    TextureManager* Textures() { return kernel_.GetMaterialManager().GetTextureManager(); }
    std::vector<std::string> RecordSince(size_t from)
    {
        const std::vector<std::string>& all = GetDisplay()->GetRecord();
        return std::vector<std::string>(all.begin() + long(from), all.end());
    }

    Orvo::RenderKernel& Kernel() { return kernel_; }
    AutoReference<VelmarGeometryBaseResource> resource_;
};

}  // namespace

TEST_F(InstanceFrame, CullingAsksForTheTextureLevelOfTheDistance)
{
    auto instance = Lit();
    ASSERT_TRUE(instance);
    const float bias = instance->GetTextureDetailBias();
    ASSERT_GT(bias, 0.0f);
    DisplayTexture* texture = instance->GetMaterial(0)->GetTexture(0);
    ASSERT_NE(texture, nullptr);
    const Sphere sphere = instance->GetGlobalBoundingSphere();
    Camera camera;
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};
    // Distances from the sphere's surface in units of the bias: level floor(log2(d / bias)), 0 up to the
    // bias, at most 14.
    const struct
    {
        float distance;
        int level;
    } cases[] = {{0.5f, 0}, {1.0f, 0}, {2.5f, 1}, {40.0f, 5}, {1e6f, 14}, {-3.0f, 0}};
    for (const auto& c : cases)
    {
        camera.SetPosition(sphere.centre + Vector3(0, 0, sphere.radius + c.distance * bias));
        ViewPoint view(viewport);
        EXPECT_EQ(view.CalcWantedMipLevelsForCull(*instance, bias), c.level) << c.distance;
        const size_t from = GetDisplay()->GetRecord().size();
        const int before = texture->GetWantedLevel();
        instance->Cull(view, Matrix4());
        EXPECT_EQ(texture->GetWantedLevel(), c.level) << c.distance;
        // A change of level is recorded; the same level again is not.
        const std::vector<std::string> expected =
            before == c.level ? std::vector<std::string>()
                              : std::vector<std::string>{"texture shared texture 1 level " + std::to_string(c.level)};
        EXPECT_EQ(RecordSince(from), expected) << c.distance;
        EXPECT_EQ(view.GetQueued().size(), 1u);
    }
    // Without a texture detail bias every distance wants the finest level.
    ViewPoint view(viewport);
    EXPECT_EQ(view.CalcWantedMipLevelsForCull(*instance, 0.0f), 0);
    // Opacity 0: culled, but neither queued nor asking for textures.
    camera.SetPosition(sphere.centre + Vector3(0, 0, sphere.radius + 8 * bias));
    instance->SetOpacity(0.0f);
    instance->Cull(view, Matrix4());
    EXPECT_TRUE(view.GetQueued().empty());
    EXPECT_EQ(texture->GetWantedLevel(), 0);
    EXPECT_EQ(instance->GetLastCulledFrame(), viewport.frame);
}

TEST_F(InstanceFrame, DirectDrawingHandsEachChunkItsMatrixLightsAndProgram)
{
    auto instance = Lit(2);
    ASSERT_TRUE(instance);
    instance->SetOpacity(0.5f);
    // In the scene: a parallel light, a point light beside where the instance is drawn (x = 10) and one
    // where it would stand undrawn; fifteen more parallel lights overflow the list of 13.
    SceneGraph& scene = Kernel().GetSceneGraph();
    SceneLight sun(DisplayLight::Parallel), near(DisplayLight::Point), origin(DisplayLight::Point);
    near.SetPosition({10, 0, 1});
    near.GetLight().radius = 1;
    origin.SetPosition({0, 0, 1});
    origin.GetLight().radius = 1;
    scene.AddLight(&origin);
    scene.AddLight(&sun);
    scene.AddLight(&near);
    Matrix4 placed;
    placed.m[3][0] = 10.0f;
    Camera camera;
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};
    instance->UpdateLighting(GetDisplay(), viewport, placed, true);
    EXPECT_EQ(instance->GetLights(), (std::vector<const Particle*>{&sun, &near}));

    const size_t from = GetDisplay()->GetRecord().size();
    const size_t draws = GetDisplay()->GetDrawCalls();
    instance->RenderGeometry(GetDisplay(), viewport, placed, true);
    const std::string transform = "transform [1 0 0 0, 0 1 0 0, 0 0 1 0, 10 0 0 1]";
    EXPECT_EQ(RecordSince(from), (std::vector<std::string>{transform, "lighting 2 lights scale 0.5", "draw 1",
                                                           transform, "lighting 2 lights scale 0.5", "draw 1"}));
    EXPECT_EQ(GetDisplay()->GetDrawCalls(), draws + 2);
    // Unlit: no lighting state.
    const size_t unlit = GetDisplay()->GetRecord().size();
    instance->RenderGeometry(GetDisplay(), viewport, placed, false);
    EXPECT_EQ(RecordSince(unlit), (std::vector<std::string>{transform, "draw 1", transform, "draw 1"}));

    // At most 13 lights, in the scene's order.
    std::vector<std::unique_ptr<SceneLight>> more;
    for (int i = 0; i < 15; ++i) scene.AddLight(more.emplace_back(std::make_unique<SceneLight>()).get());
    instance->UpdateLighting(GetDisplay(), viewport, placed, true);
    EXPECT_EQ(instance->GetDisplayLights().Count(), LightList::kMaxLights);
    EXPECT_EQ(instance->GetLights()[2], more[0].get());
    EXPECT_EQ(instance->GetLightingPasses(), 2u);
    // A light taken out of the scene is let go at the next draw, before a material could read it.
    ASSERT_TRUE(scene.RemoveLight(&near));
    const auto draw = [&] {
        Matrix4 m = placed;
        instance->Render(GetDisplay(), viewport, m);
        Kernel().GetRenderingCacheManager().Render(GetDisplay(), &viewport);  // what the material cached
    };
    draw();
    EXPECT_EQ(instance->GetLightingPasses(), 3u);
    EXPECT_EQ(instance->GetLights()[1], more[0].get());
    draw();
    EXPECT_EQ(instance->GetLightingPasses(), 3u);  // nothing changed: not gathered again
    for (auto& light : more) scene.RemoveLight(light.get());
    scene.RemoveLight(&origin);
    scene.RemoveLight(&sun);
}

TEST_F(InstanceFrame, TexturesRebuiltFromImagesInTheirDisplayFormats)
{
    auto instance = Lit();
    ASSERT_TRUE(instance);
    Material* material = instance->GetMaterial(0);
    DisplayTexture* shared = Textures()->GetSharedTexture(1);
    ASSERT_EQ(material->GetTexture(0), shared);
    Camera camera;
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};

    // From files: PNG with alpha (pixel format 2) and without (3).
    Bitmap argb(3, 2, Bitmap::FormatARGB32), xrgb(2, 2, Bitmap::FormatXRGB32);
    std::memset(argb.GetData(), 0x40, argb.GetDataSize());
    std::memset(xrgb.GetData(), 0x80, xrgb.GetDataSize());
    ASSERT_TRUE(argb.Save(folder_ / "alpha.png"));
    ASSERT_TRUE(xrgb.Save(folder_ / "plain.png"));
    size_t from = GetDisplay()->GetRecord().size();
    ASSERT_TRUE(instance->ReplaceTextureFromFile(GetDisplay(), viewport, 0, 0, folder_ / "alpha.png"));
    DisplayTexture* own = material->GetTexture(0);
    // The built-in texture stood in for every material: this one got its own, the built-in is unchanged.
    ASSERT_NE(own, shared);
    EXPECT_EQ(shared->GetImageFormat(), 0u);
    EXPECT_EQ(RecordSince(from),
              (std::vector<std::string>{"rebuild texture shared texture 1 3 x 2 format 1 (24 bytes)"}));
    EXPECT_EQ(own->GetImage(), std::vector<uint8_t>(24, 0x40));
    EXPECT_TRUE(own->IsLoaded());
    from = GetDisplay()->GetRecord().size();
    ASSERT_TRUE(instance->ReplaceTextureFromFile(GetDisplay(), viewport, 0, 0, folder_ / "plain.png"));
    EXPECT_EQ(material->GetTexture(0), own);  // its own now: rebuilt in place
    EXPECT_EQ(RecordSince(from),
              (std::vector<std::string>{"rebuild texture shared texture 1 2 x 2 format 3 (16 bytes)"}));

    // From images: 24-bit (1) and grey (4); a pitch wider than the row is not carried over.
    std::vector<uint8_t> rows = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    Bitmap rgb;
    ASSERT_TRUE(rgb.Init(2, 2, 8, Bitmap::FormatRGB24, rows.data(), rows.size()));
    from = GetDisplay()->GetRecord().size();
    ASSERT_TRUE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 0, rgb));
    EXPECT_EQ(own->GetImage(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    Bitmap grey(4, 1, Bitmap::FormatGrey8);
    ASSERT_TRUE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 0, grey));
    EXPECT_EQ(RecordSince(from),
              (std::vector<std::string>{"rebuild texture shared texture 1 2 x 2 format 5 (12 bytes)",
                                        "rebuild texture shared texture 1 4 x 1 format 8 (4 bytes)"}));
    EXPECT_EQ(own->GetImageFormat(), uint32_t(DFormatL8));

    // Refused, nothing rebuilt: raw data (5), an empty image, a file that is not there, no such material
    // or texture.
    std::vector<uint8_t> blocks(8);
    Bitmap raw;
    ASSERT_TRUE(raw.Init(4, 4, 0, Bitmap::FormatRaw, blocks.data(), blocks.size()));
    from = GetDisplay()->GetRecord().size();
    EXPECT_FALSE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 0, raw));
    EXPECT_FALSE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 0, Bitmap()));
    EXPECT_FALSE(instance->ReplaceTextureFromFile(GetDisplay(), viewport, 0, 0, folder_ / "none.png"));
    EXPECT_FALSE(instance->ReplaceTexture(GetDisplay(), viewport, 1, 0, grey));
    EXPECT_FALSE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 5, grey));
    EXPECT_FALSE(instance->ReplaceTexture(GetDisplay(), viewport, 0, 0x80000000u, grey));
    EXPECT_TRUE(RecordSince(from).empty());
    EXPECT_EQ(own->GetImageFormat(), uint32_t(DFormatL8));
}

TEST_F(InstanceFrame, MaterialsTakeTheResourcesLoadingPriority)
{
    IndexedMeshSpec spec;
    spec.material.name = "hull.m.tlit";
    spec.material.textures = {"hull.texture"};
    Write("hull.im", BuildIndexedMesh(spec));
    Write("hull.texture", std::string("not a texture"));
    AutoReference<VelmarGeometryBaseResource> resource = Get("hull.im");
    ASSERT_TRUE(resource);
    resource->SetLoadingPriority(3.5f);
    ASSERT_EQ(resource->Lock(), 0);
    Material* material = resource->GetDefinition()->GetMaterials()[0].Get();
    EXPECT_EQ(material->GetResourcePriority(), 3.5f);
    // The texture the material was given afterwards carries it too.
    ASSERT_NE(material->GetTexture(0), nullptr);
    EXPECT_EQ(material->GetTexture(0)->GetPriority(), 3.5f);
}

TEST(StrongestLight, TheBrightestSpotTheFirstOfEqualOnes)
{
    DisplayLight parallel(DisplayLight::Parallel), dim(DisplayLight::Spot), a(DisplayLight::Spot),
        b(DisplayLight::Spot), point(DisplayLight::Point);
    parallel.diffuse = {9, 9, 9, 1};  // brighter, but not a spot light
    point.diffuse = {9, 9, 9, 1};
    dim.diffuse = {0.1f, 0.1f, 0.1f, 1};
    a.diffuse = {1.0f, 0.5f, 0.0f, 1};
    b.diffuse = {0.0f, 0.5f, 1.0f, 0.5f};  // the same sum; alpha does not count
    LightList lights;
    for (const DisplayLight* l : {&parallel, &dim, &a, &point, &b}) lights.Add(l);
    EXPECT_EQ(VelmarDynamicIndexedMeshInstance::StrongestLight(&lights), &a);
    b.diffuse.b = 1.01f;
    EXPECT_EQ(VelmarDynamicIndexedMeshInstance::StrongestLight(&lights), &b);
    LightList none;
    none.Add(&parallel);
    EXPECT_EQ(VelmarDynamicIndexedMeshInstance::StrongestLight(&none), nullptr);
    EXPECT_EQ(VelmarDynamicIndexedMeshInstance::StrongestLight(nullptr), nullptr);
}
