// LOD mesh resources and their instances: loading and reloading, equal materials merged across levels,
// the level drawn at each measure, the "collision" level, cull-listed points, the animation switch, and
// the lighting and skinning of a locked instance.
#include "engine/SceneGraph.h"
#include "engine/ViewPoint.h"
#include "render/VelmarIndexedMeshLODInstance.h"
#include "render/tests/MeshResourceSupport.h"

#include <cstring>

using namespace Orvo;

namespace {

std::string Mesh(const std::string& value, const std::string& file)
{
    return "mesh " + value + "\n{\n  name \"" + file + "\"\n}\n";
}

class LODInstances : public MeshResourceTest
{
protected:
    void SetUp() override
    {
        MeshResourceTest::SetUp();
        Write("hi.im", BuildIndexedMesh(IndexedMeshSpec()));
        Write("lo.im", BuildIndexedMesh(IndexedMeshSpec()));
        IndexedMeshSpec odd;
        odd.material.opacity = 0.5f;
        Write("odd.im", BuildIndexedMesh(odd));
    }
    // Each description under a name of its own: the resource system keeps what it loaded by name.
    std::unique_ptr<VelmarIndexedMeshLODInstance> LODInstance(const std::string& text)
    {
        const std::string name = "tree" + std::to_string(++made_) + ".lm";
        Write(name + ".txt", "version 1.00\n" + text);
        resource_ = Load(name);
        if (!resource_) return nullptr;
        return std::unique_ptr<VelmarIndexedMeshLODInstance>(
            dynamic_cast<VelmarIndexedMeshLODInstance*>(resource_->CreateMeshInstance()));
    }
    AutoReference<VelmarGeometryBaseResource> resource_;
    int made_ = 0;
};

}  // namespace

TEST_F(LODInstances, AMissingFileFailsAndAReloadMakesANewDefinition)
{
    AutoReference<VelmarIndexedMeshLODResource> resource(
        new VelmarIndexedMeshLODResource(PString("a.lm"), database_.get()));
    resource->SetRenderKernel(&kernel_);
    EXPECT_EQ(resource->Load("a.lm"), 1);
    EXPECT_EQ(resource->GetMeshLoadResult(), 2);
    EXPECT_EQ(resource->GetDefinition(), nullptr);
    EXPECT_EQ(resource->CreateMeshInstance(), nullptr);
    EXPECT_EQ(resource->CalculateDataSize(), 0u);
    EXPECT_FALSE(resource->LoadAll());  // answered without a definition
    EXPECT_EQ(resource->IsAllLoaded(), 5);
    Write("a.lm", BuildLODMesh(LODMeshSpec()));
    ASSERT_EQ(resource->Load("a.lm"), 0);
    VelmarIndexedMeshDefinition* first = resource->GetDefinition();
    ASSERT_NE(first, nullptr);
    std::unique_ptr<VelmarIndexedMeshInstance> instance(resource->CreateMeshInstance());
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->GetID(), 21u);
    ASSERT_EQ(resource->Load("a.lm"), 0);
    EXPECT_NE(resource->GetDefinition(), first);
    EXPECT_EQ(instance->GetDefinition(), first);  // kept for the instance that uses it
    EXPECT_GT(resource->CalculateDataSize(), 0u);

    // A text description that fails keeps what it read, and makes no instance.
    Write("bad.lm.txt", "version 1.00\n" + Mesh("0", "hi.im") + Mesh("10", "none.im"));
    AutoReference<VelmarGeometryBaseResource> bad = Get("bad.lm");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->Lock(), 1);
    EXPECT_NE(bad->GetDefinition(), nullptr);
    EXPECT_EQ(bad->CreateMeshInstance(), nullptr);
}

TEST_F(LODInstances, EqualMaterialsOfLevelsBecomeOne)
{
    auto instance = LODInstance(Mesh("0", "hi.im") + Mesh("10", "lo.im") + Mesh("20", "odd.im"));
    ASSERT_TRUE(instance);
    const std::vector<MeshChunkGroup>& levels = instance->GetLevels();
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[1].materials[0].Get(), levels[0].materials[0].Get());
    EXPECT_NE(levels[2].materials[0].Get(), levels[0].materials[0].Get());  // another opacity
    EXPECT_EQ(resource_->IsAllLoaded(), 0);
}

TEST_F(LODInstances, TheLevelDrawnAtEachMeasure)
{
    // Switch distances 0, 10 and 50; drawn from a measure of 5 on (the render cut-off).
    auto instance = LODInstance(Mesh("0", "hi.im") + Mesh("10", "lo.im") + Mesh("50", "odd.im") + "renderCutOff 5\n");
    ASSERT_TRUE(instance);
    Camera camera;
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};
    const Vector3 centre = instance->GetGlobalBoundingSphere().centre;
    const struct
    {
        float distance;
        bool locked;
        float opacity;
        bool drawn;
        uint32_t level;
    } cases[] = {
        {2, false, 1, false, 0},  // below the render cut-off
        {5, false, 1, true, 0},   // exactly at it
        {10, false, 1, true, 1},  {49, false, 1, true, 1},
        {50, false, 1, true, 2},  {50, true, 1, true, 0},  // locked at level 0
        {50, false, 0, false, 0},                          // opacity 0: not drawn, the drawn level left as it was
    };
    for (const auto& c : cases)
    {
        instance->SetLevelLocked(false);
        if (c.locked) instance->LockLevel(0);
        instance->SetOpacity(c.opacity);
        camera.SetPosition(centre + Vector3(0, 0, c.distance));
        ViewPoint view(viewport);
        instance->Cull(view, Matrix4());
        EXPECT_FLOAT_EQ(instance->GetCurrentMeasure(), c.distance);
        EXPECT_EQ(view.GetQueued().size(), c.drawn ? 1u : 0u) << c.distance;
        EXPECT_EQ(instance->GetDrawLevel(), c.level) << c.distance << (c.locked ? " locked" : "");
        if (!c.drawn) continue;
        const size_t draws = GetDisplay()->GetDrawCalls();
        Matrix4 m;
        instance->Render(GetDisplay(), viewport, m);
        EXPECT_EQ(GetDisplay()->GetDrawCalls(), draws + 1);
    }
}

TEST_F(LODInstances, TheCollisionLevelIsSelected)
{
    const struct
    {
        std::string text;
        uint32_t selected;
    } cases[] = {
        {Mesh("0", "hi.im") + Mesh("10", "lo.im") + Mesh("a.lamp", "odd.im"), 1},  // the last switch level
        {Mesh("0", "hi.im") + Mesh("10", "lo.im") + Mesh("collision", "odd.im"), 2},
        {Mesh("0", "hi.im") + Mesh("10", "lo.im") + Mesh("collision", "hi.im"), 0},
    };
    for (const auto& c : cases)
    {
        auto instance = LODInstance(c.text);
        ASSERT_TRUE(instance) << c.text;
        EXPECT_EQ(instance->GetSelectedLevel(), c.selected) << c.text;
        EXPECT_TRUE(instance->GetChunks().SharesStorageWith(instance->GetLevels()[c.selected].chunks));
        instance->SelectLOD(7);  // no such level: nothing changes
        EXPECT_EQ(instance->GetSelectedLevel(), c.selected);
        instance->SelectLOD(0);
        EXPECT_TRUE(instance->GetChunks().SharesStorageWith(instance->GetLevels()[0].chunks));
    }
}

TEST_F(LODInstances, CullListedPointsAndTheAnimationSwitch)
{
    // Offset 0.5, multiplier 1.5, animation cut-off 10, render cut-off 2000, attachment cut-off 300; the
    // measure from the centre of the sphere.
    LODMeshSpec spec;
    spec.calcPoint = 0;
    spec.bones = true;
    spec.attachments = {"a.lamp:Cull"};
    Write("rig.lm", BuildLODMesh(spec));
    resource_ = Load("rig.lm");
    ASSERT_TRUE(resource_);
    std::unique_ptr<VelmarIndexedMeshInstance> made(resource_->CreateMeshInstance());
    auto* rig = dynamic_cast<VelmarDynamicIndexedMeshLODInstance*>(made.get());
    ASSERT_NE(rig, nullptr);
    EXPECT_EQ(rig->GetID(), 22u);

    // Animated parts: a direct child named "b." and what hangs below it.
    Particle door, hinge;
    door.SetName(PString("b.door"));
    door.AddChild(&hinge);
    rig->AddChild(&door);
    const struct
    {
        float measure;
        bool beyond;  // flags bit 1 after the update
    } steps[] = {{12, true}, {10.2f, true}, {9, false}, {10.2f, false}, {11, true}};
    for (const auto& s : steps)
    {
        rig->FindLOD(Sphere{{0, 0, (s.measure - 0.5f) / 1.5f}, 0}, nullptr);
        rig->UpdateAnimation(GetDisplay()->GetCurrentFrame());
        EXPECT_EQ(bool(rig->GetAnimationFlags() & VelmarDynamicIndexedMeshLODInstance::kBeyondAnimation), s.beyond)
            << s.measure;
        EXPECT_EQ(bool(hinge.GetFlags() & VelmarIndexedMeshLODInstance::kFarBit), s.beyond) << s.measure;
    }
    rig->RemoveChild(&door);

    // The cull-listed point is marked while the measure is beyond the attachment cut-off.
    ASSERT_EQ(rig->GetCullAttachments().size(), 1u);
    Particle* lamp = rig->GetCullAttachments()[0];
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->GetName(), "a.lamp");
    Camera camera;
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};
    for (float distance : {1000.0f, 10.0f})
    {
        camera.SetPosition(rig->GetGlobalBoundingSphere().centre + Vector3(distance, 0, 0));
        ViewPoint view(viewport);
        rig->Cull(view, Matrix4());
        EXPECT_EQ(bool(lamp->GetFlags() & VelmarIndexedMeshLODInstance::kFarBit), distance > 200) << distance;
    }
}

TEST_F(LODInstances, ALockedInstanceLightsTheSelectorsLevelAndSkinsTheDrawnOne)
{
    // Two software-skinned levels (switch distances 0 and 10) whose bones weigh different vertices: vertex 0
    // in level 0, vertex 1 in level 1. Skinned, a weighed vertex lands at (0, 1.5, 0).
    LODMeshSpec spec;
    spec.distances = {0.0f, 10.0f};
    spec.bones = true;
    spec.boneVertices = {0, 1};
    Write("locked.lm", BuildLODMesh(spec));
    resource_ = Load("locked.lm");
    ASSERT_TRUE(resource_);
    std::unique_ptr<VelmarIndexedMeshInstance> made(resource_->CreateMeshInstance());
    auto* rig = dynamic_cast<VelmarDynamicIndexedMeshLODInstance*>(made.get());
    ASSERT_NE(rig, nullptr);
    ASSERT_FALSE(rig->GetLevels()[0].skinning);
    SceneLight sun;
    kernel_.GetSceneGraph().AddLight(&sun);

    // Culled far away: the selector chooses level 1. Then level 0 is locked.
    Camera camera;
    camera.SetPosition(rig->GetGlobalBoundingSphere().centre + Vector3(0, 0, 500));
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), &camera};
    ViewPoint view(viewport);
    rig->Cull(view, Matrix4());
    ASSERT_EQ(rig->GetCurrentIndex(), 1u);
    rig->LockLevel(0);
    rig->SetUpdateLighting(true);
    Matrix4 m;
    rig->Render(GetDisplay(), viewport, m);

    // The selector's level is the one lit; the lights are the instance's.
    EXPECT_FALSE(rig->IsLevelDirty(1));
    EXPECT_TRUE(rig->IsLevelDirty(0));
    EXPECT_EQ(rig->GetDirtyLevelCount(), 1u);
    EXPECT_EQ(rig->GetLights(), (std::vector<const Particle*>{&sun}));
    // The drawn level is skinned with its own influences: its vertex 0 moves, its vertex 1 stays.
    GeometryChunk* drawn = rig->GetLevels()[0].chunks[0].Get();
    const VertexItemPtr p = drawn->GetItem(ItemPosition);
    Vector3 v0, v1;
    std::memcpy(&v0, p.address, 12);
    std::memcpy(&v1, p.address + p.stride, 12);
    EXPECT_NEAR(v0.y, 1.5f, 1e-5f);
    EXPECT_NEAR(v0.x, 0.0f, 1e-5f);
    EXPECT_NEAR(v1.x, 1.0f, 1e-5f);
    EXPECT_NEAR(v1.y, 0.0f, 1e-5f);
    kernel_.GetSceneGraph().RemoveLight(&sun);
}
