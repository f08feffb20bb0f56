// Skinned meshes: software skinning by hand-computed bone frames, the hardware path when the display has
// the capability, one update a frame, chunks no bone moves, and chunks taken over from another instance.
#include "engine/Display.h"
#include "engine/ScaledBone.h"
#include "render/VelmarDynamicIndexedMeshInstance.h"
#include "render/tests/MeshResourceSupport.h"

#include <cmath>
#include <cstring>

using namespace Orvo;

namespace {

// Chunk 0 is skinned by "root" (at the origin) and its child "arm" (at (0, 1, 0)): vertex 0 follows root
// with the offset (1, 0, 0), vertex 1 follows arm with the offset (1, 0, 0), vertex 2 lies half on each
// bone's origin. Chunk 1, five units aside, has no influences. An influence on vertex 4,000,000,000 names
// no vertex (and makes nothing of that size).
Bytes SkinnedMesh()
{
    IndexedMeshSpec spec;
    spec.infoVersion = 102;
    spec.influencesPerVertex = 2;
    spec.bonesPerChunk = 2;
    spec.chunkCount = 2;
    spec.chunks.assign(2, TriangleGeom{});
    spec.chunks[0].weights = 2;
    spec.chunks[1].shift[0] = 5;
    return BuildIndexedMesh(spec, [](Bytes& b) {
        const size_t m = b.Begin("INFL", 100);
        b.U32(2);
        b.Str("root").Str("").Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).U32(1);
        b.U32(0).U32(3);
        b.U32(0).Floats({1.0f, 1, 0, 0}).U32(2).Floats({0.5f, 0, 0, 0}).U32(4000000000u).Floats({1.0f, 0, 0, 0});
        b.Str("arm").Str("root").Floats({0, 1, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).U32(1);
        b.U32(0).U32(2);
        b.U32(1).Floats({1.0f, 1, 0, 0}).U32(2).Floats({0.5f, 0, 0, 0});
        b.End(m);
    });
}

Vector3 Position(GeometryChunk* chunk, uint32_t v)
{
    const VertexItemPtr p = chunk->GetItem(ItemPosition);
    Vector3 out;
    std::memcpy(&out, p.address + size_t(v) * p.stride, 12);
    return out;
}

void ExpectNear(const Vector3& a, const Vector3& b, const char* what)
{
    EXPECT_NEAR(a.x, b.x, 1e-5f) << what;
    EXPECT_NEAR(a.y, b.y, 1e-5f) << what;
    EXPECT_NEAR(a.z, b.z, 1e-5f) << what;
}

class Skinning : public MeshResourceTest
{
protected:
    std::unique_ptr<VelmarDynamicIndexedMeshInstance> Skinned(const char* name)
    {
        resource_ = Load(name);
        if (!resource_) return nullptr;
        return std::unique_ptr<VelmarDynamicIndexedMeshInstance>(
            dynamic_cast<VelmarDynamicIndexedMeshInstance*>(resource_->CreateMeshInstance()));
    }
    void RenderFrame(VelmarIndexedMeshInstance& instance)
    {
        ViewPort viewport{GetDisplay()->GetCurrentFrame(), nullptr};
        Matrix4 m;
        instance.Render(GetDisplay(), viewport, m);
    }
    AutoReference<VelmarGeometryBaseResource> resource_;
};

}  // namespace

TEST_F(Skinning, SoftwareSkinningFollowsTheBones)
{
    Write("skin.im", SkinnedMesh());
    auto instance = Skinned("skin.im");
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->GetID(), 18u);
    ASSERT_NE(instance->GetSkeleton(), nullptr);
    RenderFrame(*instance);
    GeometryChunk* chunk = instance->GetChunk(0);
    ExpectNear(Position(chunk, 0), {1, 0, 0}, "bind pose, vertex 0");
    ExpectNear(Position(chunk, 1), {1, 1, 0}, "bind pose, vertex 1");
    ExpectNear(Position(chunk, 2), {0, 0.5f, 0}, "bind pose, vertex 2");

    // The root turns a quarter about z (x goes to y) and rises by 2.
    Particle* root = instance->GetSkeleton();
    root->SetOrientation(Quaternion(0, 0, std::sqrt(0.5f), std::sqrt(0.5f)));
    root->SetPosition({0, 0, 2});
    const uint64_t updates = instance->GetUpdateCount();
    RenderFrame(*instance);  // the same frame: no second update
    EXPECT_EQ(instance->GetUpdateCount(), updates);
    ExpectNear(Position(chunk, 0), {1, 0, 0}, "same frame");
    GetDisplay()->NextFrame();
    RenderFrame(*instance);
    EXPECT_EQ(instance->GetUpdateCount(), updates + 1);
    ExpectNear(Position(chunk, 0), {0, 1, 2}, "turned, vertex 0");
    ExpectNear(Position(chunk, 1), {-1, 1, 2}, "turned, vertex 1");
    ExpectNear(Position(chunk, 2), {-0.5f, 0, 2}, "turned, vertex 2");

    // The chunk no bone moves keeps its place; the definition and other instances keep theirs.
    ExpectNear(Position(instance->GetChunk(1), 0), {5, 0, 0}, "static chunk");
    ExpectNear(Position(resource_->GetDefinition()->GetChunk(0), 0), {0, 0, 0}, "definition");
    std::unique_ptr<Particle> copy(instance->CreateInstance());
    auto* second = dynamic_cast<VelmarDynamicIndexedMeshInstance*>(copy.get());
    ASSERT_NE(second, nullptr);
    second->GetSkeleton()->SetOrientation(Quaternion());
    second->GetSkeleton()->SetPosition({0, 0, 0});
    RenderFrame(*second);
    ExpectNear(Position(second->GetChunk(0), 0), {1, 0, 0}, "the copy follows its own skeleton");
    ExpectNear(Position(chunk, 0), {0, 1, 2}, "the first instance unchanged");
}

TEST_F(Skinning, HardwareSkinningUpdatesThePaletteMatrices)
{
    GetDisplay()->SetCapability(Display::CapHardwareSkinning, true);
    Write("skin.im", SkinnedMesh());
    auto instance = Skinned("skin.im");
    ASSERT_TRUE(instance);
    ASSERT_TRUE(resource_->GetDefinition()->IsHardwareSkinned());
    GeometryChunk* chunk = instance->GetChunk(0);
    ASSERT_EQ(chunk->GetInfluencePalette().size(), 2u);
    EXPECT_EQ(resource_->GetDefinition()->GetChunk(0)->GetInfluenceMatrix(0), nullptr);
    const Matrix4* rootMatrix = chunk->GetInfluenceMatrix(0);
    const Matrix4* armMatrix = chunk->GetInfluenceMatrix(1);
    ASSERT_TRUE(rootMatrix && armMatrix);
    RenderFrame(*instance);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(armMatrix->m[r][c], r == c ? 1.0f : 0.0f, 1e-6f);

    instance->GetSkeleton()->SetPosition({0, 0, 2});
    GetDisplay()->NextFrame();
    RenderFrame(*instance);
    for (const Matrix4* m : {rootMatrix, armMatrix})
    {
        EXPECT_NEAR(m->m[3][2], 2.0f, 1e-6f);
        EXPECT_NEAR(m->m[0][0], 1.0f, 1e-6f);
    }
    ExpectNear(Position(chunk, 1), {1, 0, 0}, "positions are left to the display");
}

// The skeleton of SkinnedMesh made of scaled bones (type 23): "root" at the origin, "arm" at (0, 1, 0).
struct ScaledSkeleton
{
    ScaledSkeleton()
    {
        root.SetName(PString("root"));
        arm.SetName(PString("arm"));
        arm.SetFramePosition({0, 1, 0});
        root.AddChild(&arm);
    }
    ~ScaledSkeleton() { root.RemoveChild(&arm); }
    ScaledBone root, arm;
};

TEST_F(Skinning, ScaledBonesScaleWhatTheyWeighOnBothPaths)
{
    for (const bool hardware : {false, true})
    {
        SCOPED_TRACE(hardware ? "hardware" : "software");
        GetDisplay()->SetCapability(Display::CapHardwareSkinning, hardware);
        Write(hardware ? "hard.im" : "soft.im", SkinnedMesh());
        auto instance = Skinned(hardware ? "hard.im" : "soft.im");
        ASSERT_TRUE(instance);
        ASSERT_EQ(resource_->GetDefinition()->IsHardwareSkinned(), hardware);
        ScaledSkeleton skeleton;
        EXPECT_EQ(skeleton.root.GetID(), 23u);
        instance->Bind(&skeleton.root);
        // The root's scale stretches its own vertex along its axes; its child, the arm, is placed by the
        // unscaled root. The arm's scale counts only while it is not disabled.
        skeleton.root.SetScale({2, 3, 4});
        skeleton.arm.SetScale({5, 5, 5});
        skeleton.arm.SetScaleDisabled(1);
        const struct
        {
            uint8_t armDisabled;
            Vector3 vertex0, vertex1;
        } steps[] = {{1, {2, 0, 0}, {1, 1, 0}}, {0, {2, 0, 0}, {5, 1, 0}}};
        for (const auto& s : steps)
        {
            skeleton.arm.SetScaleDisabled(s.armDisabled);
            GetDisplay()->NextFrame();
            RenderFrame(*instance);
            GeometryChunk* chunk = instance->GetChunk(0);
            if (!hardware)
            {
                ExpectNear(Position(chunk, 0), s.vertex0, "vertex 0");
                ExpectNear(Position(chunk, 1), s.vertex1, "vertex 1");
                ExpectNear(Position(chunk, 2), {0, 0.5f, 0}, "vertex 2, on the bones' origins");
                continue;
            }
            // The palette matrices carry the bind-pose vertices (vertex 0 at (1, 0, 0), vertex 1 at (1, 1, 0))
            // to the same places.
            ASSERT_TRUE(chunk->GetInfluenceMatrix(0) && chunk->GetInfluenceMatrix(1));
            ExpectNear(chunk->GetInfluenceMatrix(0)->TransformPoint({1, 0, 0}), s.vertex0, "vertex 0");
            ExpectNear(chunk->GetInfluenceMatrix(1)->TransformPoint({1, 1, 0}), s.vertex1, "vertex 1");
            EXPECT_NEAR(chunk->GetInfluenceMatrix(0)->m[1][1], 3.0f, 1e-6f);
        }
        instance->Bind(instance->GetSkeleton());
    }
}

TEST_F(Skinning, PaletteBytesAreRewrittenWithinTheirMapping)
{
    Material material(PString("x.m.notex"), PString("notex"));
    AutoReference<GeometryChunk> chunk(material.CreateGeometryChunk(
        2, 0, 0, 0, 0, StandardChunkHint(StandardChunkHint::UsageStatic, StandardChunkHint::Skinned)));
    const VertexItemPtr bytes = chunk->GetItem(ItemBlendIndices);
    ASSERT_TRUE(bytes);
    const uint8_t start[2][4] = {{0, 3, 12, 6}, {9, 254, 0, 0}};
    const struct
    {
        uint32_t first;
        std::vector<uint32_t> remap;
        bool result;
        uint8_t expected[2][4];
    } cases[] = {
        {0, {5, 7, 2, 1}, true, {{15, 21, 12, 6}, {3, 254, 0, 0}}},  // slot 4 is not mapped: the rest stays
        {1, {5, 7, 2, 1}, true, {{0, 3, 12, 6}, {3, 254, 0, 0}}},    // from the first new vertex on
        {0, {1}, true, {{3, 3, 12, 6}, {9, 254, 0, 0}}},             // a short mapping is never read past
        {0, {85}, false, {{0, 3, 12, 6}, {9, 254, 0, 0}}},           // 85 x 3 does not fit beside the mark
    };
    for (const auto& c : cases)
    {
        for (int v = 0; v < 2; ++v) std::memcpy(bytes.address + v * bytes.stride, start[v], 4);
        EXPECT_EQ(VelmarDynamicIndexedMeshInstance::RewritePaletteBytes(*chunk, c.first, c.remap), c.result);
        for (int v = 0; v < 2; ++v)
            EXPECT_EQ(std::vector<uint8_t>(bytes.address + v * bytes.stride, bytes.address + v * bytes.stride + 4),
                      std::vector<uint8_t>(c.expected[v], c.expected[v] + 4));
    }
}

TEST_F(Skinning, ChunksOfAnotherInstanceAreMappedToThisOnesBones)
{
    GetDisplay()->SetCapability(Display::CapHardwareSkinning, true);
    Write("skin.im", SkinnedMesh());
    auto mine = Skinned("skin.im");
    ASSERT_TRUE(mine);
    auto theirs = std::unique_ptr<Particle>(mine->CreateInstance());
    auto* other = dynamic_cast<VelmarDynamicIndexedMeshInstance*>(theirs.get());
    ASSERT_NE(other, nullptr);
    GeometryChunk* given = other->GetChunk(0);

    // A chunk with a palette and flag 0x40 at once is refused, and nothing changes.
    AutoReference<GeometryChunk> both(given->CreateInstance());
    both->SetFlags(both->GetFlags() | GeometryChunk::FlagNoInfluences);
    EXPECT_FALSE(mine->AddSkinnedChunk(both.Get(), mine->GetMaterial(0), other, 0));
    EXPECT_EQ(mine->GetChunkCount(), 2u);

    ASSERT_TRUE(mine->AddSkinnedChunk(given, mine->GetMaterial(0), other, 0));
    ASSERT_EQ(mine->GetChunkCount(), 3u);
    GeometryChunk* added = mine->GetChunk(2);
    ASSERT_EQ(added->GetInfluencePalette().size(), 2u);
    EXPECT_EQ(added->GetInfluenceMatrix(0), &mine->GetBones()[0].current);
    EXPECT_EQ(added->GetInfluenceMatrix(1), &mine->GetBones()[1].current);

    ASSERT_TRUE(mine->MergeSkinnedChunk(given, 0, other, 0));
    GeometryChunk* merged = mine->GetChunk(0);
    EXPECT_EQ(merged->GetNumVertices(), 6u);
    EXPECT_EQ(merged->GetInfluencePalette().size(), 2u);
    const VertexItemPtr bytes = merged->GetItem(ItemBlendIndices);
    EXPECT_EQ(std::memcmp(bytes.address, bytes.address + 3 * bytes.stride, 4), 0);  // vertex 3 as vertex 0
    EXPECT_FALSE(mine->MergeSkinnedChunk(given, 7, other, 0));
}
