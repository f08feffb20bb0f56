// The mesh resources through the engine's resource system, their instances, rays against them (with and
// without the background-built collision tree), face queries and the LOD check of validation.
#include "engine/Display.h"
#include "engine/ResourceTypeBase.h"
#include "render/MeshCollisionGeometry.h"
#include "render/MeshDataAccess.h"
#include "render/OverlappedResource.h"
#include "render/VLAxisBoxTree.h"
#include "render/tests/MeshResourceSupport.h"

#include <cstring>

using namespace Orvo;

namespace {

// One triangle (0,0,0), (1,0,0), (0,1,0); two-sided unless `oneSided`.
Bytes Triangle(bool oneSided = false)
{
    IndexedMeshSpec spec;
    spec.material.flag = oneSided ? 0 : 1;
    return BuildIndexedMesh(spec);
}

// A chunk made by the engine's own material: positions as given, indices as given.
AutoReference<GeometryChunk> MakeChunk(uint32_t typeCode, const std::vector<Vector3>& positions,
                                       const std::vector<uint16_t>& indices)
{
    Material material(PString("x.m.notex"), PString("notex"));
    AutoReference<GeometryChunk> chunk(material.CreateGeometryChunk(uint32_t(positions.size()),
                                                                    uint32_t(indices.size()), uint32_t(indices.size()),
                                                                    0, typeCode, StandardChunkHint()));
    const VertexItemPtr p = chunk->GetItem(ItemPosition);
    for (size_t v = 0; v < positions.size(); ++v) std::memcpy(p.address + v * p.stride, &positions[v], 12);
    if (!indices.empty()) std::memcpy(chunk->GetIndexArray(), indices.data(), 2 * indices.size());
    return chunk;
}

struct RayCase
{
    const char* what;
    bool oneSided;
    Vector3 origin;
    Vector3 direction;
    float distance;  // the farthest the caller accepts
    bool hit;
};

}  // namespace

TEST_F(MeshResourceTest, TriangleThroughTheResourceSystemAnswersRays)
{
    Write("tri.im", Triangle());
    Write("one.im", Triangle(true));
    const RayCase cases[] = {
        {"from the front", false, {0.25f, 0.25f, 5}, {0, 0, -1}, 100, true},
        {"the caller's distance is exactly the hit's", false, {0.25f, 0.25f, 5}, {0, 0, -1}, 5, false},
        {"two-sided, from behind", false, {0.25f, 0.25f, -5}, {0, 0, 1}, 100, true},
        {"one-sided, from behind", true, {0.25f, 0.25f, -5}, {0, 0, 1}, 100, false},
        {"one-sided, from the front", true, {0.25f, 0.25f, 5}, {0, 0, -1}, 100, true},
        {"outside the triangle", false, {0.75f, 0.75f, 5}, {0, 0, -1}, 100, false},
        {"behind the origin", false, {0.25f, 0.25f, 5}, {0, 0, 1}, 100, false},
    };
    for (const RayCase& c : cases)
    {
        AutoReference<VelmarGeometryBaseResource> resource = Load(c.oneSided ? "one.im" : "tri.im");
        ASSERT_TRUE(resource) << c.what;
        ASSERT_NE(dynamic_cast<VelmarIndexedMeshResource*>(resource.Get()), nullptr);
        auto instance = Instance(*resource);
        ASSERT_TRUE(instance);
        float distance = c.distance;
        ConstFaceDescriptor face{nullptr, 9, 9};
        EXPECT_EQ(instance->TestCollisionGeometry(Ray{c.origin, c.direction}, distance, face), c.hit) << c.what;
        if (!c.hit) continue;
        EXPECT_FLOAT_EQ(distance, 5.0f) << c.what;
        EXPECT_EQ(face.geometry, instance.get());
        EXPECT_EQ(face.triangle, 0u);
        EXPECT_EQ(face.chunk, 0u);
    }
}

TEST_F(MeshResourceTest, TypesByExtensionAndLoadsWithoutAKernel)
{
    const struct
    {
        const char* name;
        const char* type;
    } cases[] = {{"a.im", "im"}, {"a.pm", "pm"}, {"a.lm", "lm"}, {"a.lm.txt", "lm.txt"}, {"a.txt", nullptr}};
    for (const auto& c : cases)
    {
        ResourceTypeBase* type = ResourceSystem::FindType(c.name);
        EXPECT_EQ(type ? type->GetExtension().str() : std::string("none"), c.type ? c.type : "none") << c.name;
        if (type) type->Release();
    }
    Write("tri.im", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Get("tri.im");
    ASSERT_TRUE(resource);
    resource->SetRenderKernel(nullptr);
    EXPECT_EQ(resource->Lock(), 1);
    EXPECT_EQ(resource->GetDefinition(), nullptr);
    EXPECT_EQ(resource->CreateMeshInstance(), nullptr);
}

TEST_F(MeshResourceTest, ProgressiveMeshesOwnTheirIndexArrays)
{
    Write("tri.pm", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Load("tri.pm");
    ASSERT_TRUE(resource);
    auto instance = Instance(*resource);
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->GetID(), 19u);
    EXPECT_TRUE(instance->GetChunk(0)->GetFlags() & GeometryChunk::FlagDynamicIndices);  // unless options say
    std::unique_ptr<Particle> copy(instance->CreateInstance());
    auto* second = dynamic_cast<VelmarIndexedMeshInstance*>(copy.get());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetID(), 19u);
    EXPECT_NE(second->GetChunk(0)->GetIndexArray(), instance->GetChunk(0)->GetIndexArray());
    EXPECT_FALSE(second->AddChunk(instance->GetChunk(0), instance->GetMaterial(0)));
}

TEST_F(MeshResourceTest, SizesAndTexturePolling)
{
    IndexedMeshSpec three;
    three.chunkCount = 3;
    three.chunks.assign(3, TriangleGeom{});
    Write("tri.im", Triangle());
    Write("three.im", BuildIndexedMesh(three));
    AutoReference<VelmarGeometryBaseResource> one = Load("tri.im"), more = Load("three.im");
    ASSERT_TRUE(one && more);
    EXPECT_EQ(one->CalculateSize(), more->CalculateSize());
    EXPECT_LT(one->CalculateDataSize(), more->CalculateDataSize());

    // Materials whose textures load slowly, or fail: the first not loaded decides. Each is asked once by
    // LoadAll and once a poll.
    struct Slow : Material
    {
        Slow(const char* name, int loadedAfter, int final)
            : Material(PString(name), PString("onetex")), polls(loadedAfter), final(final)
        {
            SetTextureDefinition(0, PString("late.texture"), 0.0f);
        }
        int IsLoaded() const override { return polls-- > 0 ? ResultNotLoaded : final; }
        mutable int polls;
        int final;
    };
    auto* definition = more->GetDefinition();
    ASSERT_NE(definition, nullptr);
    auto* slow = new Slow("slow", 3, Material::ResultOk);
    auto* failed = new Slow("failed", 0, 2);
    const_cast<MaterialArray&>(definition->GetMaterials())[1] = slow;
    const_cast<MaterialArray&>(definition->GetMaterials())[2] = failed;
    EXPECT_TRUE(more->LoadAll());
    EXPECT_EQ(more->IsAllLoaded(), 5);
    EXPECT_EQ(more->IsAllLoaded(), 5);
    EXPECT_EQ(more->IsAllLoaded(), 1);  // the slow one is loaded now: the failed one answers
}

TEST_F(MeshResourceTest, InstancesCopyShareAndDraw)
{
    Write("tri.im", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Load("tri.im");
    ASSERT_TRUE(resource);
    auto instance = Instance(*resource);
    std::unique_ptr<Particle> copyParticle(instance->CreateInstance());
    auto* copy = dynamic_cast<VelmarIndexedMeshInstance*>(copyParticle.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->GetChunks().SharesStorageWith(resource->GetDefinition()->GetChunks()));
    EXPECT_EQ(resource->GetInstanceCount(), 2);

    // A chunk this instance changes is its own; the definition keeps its chunk.
    GeometryChunk* shared = copy->GetChunk(0);
    copy->CloneChunk(0);
    EXPECT_NE(copy->GetChunk(0), shared);
    EXPECT_EQ(resource->GetDefinition()->GetChunk(0), shared);
    EXPECT_EQ(instance->GetChunk(0), shared);

    // A per-instance chunk added to one instance is copied, never shared.
    AutoReference<GeometryChunk> own = MakeChunk(0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2});
    own->SetFlags(own->GetFlags() | GeometryChunk::FlagPerInstance);
    ASSERT_TRUE(instance->AddChunk(own.Get(), instance->GetMaterial(0)));
    EXPECT_EQ(instance->GetChunkCount(), 2u);
    EXPECT_NE(instance->GetChunk(1), own.Get());
    EXPECT_EQ(resource->GetDefinition()->GetChunkCount(), 1u);

    // Culled and drawn while the opacity is above 0.
    ViewPort viewport{GetDisplay()->GetCurrentFrame(), nullptr};
    ViewPoint view(viewport);
    const size_t draws = GetDisplay()->GetDrawCalls();
    instance->Cull(view, Matrix4());
    ASSERT_EQ(view.GetQueued().size(), 1u);
    Matrix4 m;
    instance->Render(GetDisplay(), viewport, m);
    EXPECT_EQ(GetDisplay()->GetDrawCalls(), draws + 2);
    instance->SetOpacity(0.0f);
    view.Clear();
    instance->Cull(view, Matrix4());
    EXPECT_TRUE(view.GetQueued().empty());

    copyParticle.reset();
    EXPECT_EQ(resource->GetInstanceCount(), 1);
}

TEST_F(MeshResourceTest, ScaledInstancesTestTheScaledMesh)
{
    Write("tri.im", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Load("tri.im");
    auto instance = Instance(*resource);
    const struct
    {
        Vector3 scale;
        Vector3 origin;
        bool hit;
    } cases[] = {
        {{1, 1, 1}, {0.75f, 0.75f, 5}, false},
        {{2, 2, 1}, {0.75f, 0.75f, 5}, true},   // the triangle is twice as large
        {{2, 2, 0}, {0.25f, 0.25f, 5}, false},  // a zero scale never hits
    };
    for (const auto& c : cases)
    {
        instance->SetScale(c.scale);
        EXPECT_EQ(instance->IsScaled(), !(c.scale == Vector3(1, 1, 1)));
        float distance = 100;
        ConstFaceDescriptor face;
        EXPECT_EQ(instance->TestCollisionGeometry(Ray{c.origin, {0, 0, -1}}, distance, face), c.hit);
    }
}

TEST_F(MeshResourceTest, CollisionTreeIsBuiltInTheBackgroundOnly)
{
    // Chunk 0 lies aside; the ray hits chunk 1.
    IndexedMeshSpec spec;
    spec.chunkCount = 2;
    spec.chunks.assign(2, TriangleGeom{});
    spec.chunks[0].shift[0] = 10;
    Write("two.im", BuildIndexedMesh(spec));
    AutoReference<VelmarGeometryBaseResource> resource = Load("two.im");
    ASSERT_TRUE(resource);
    VelmarIndexedMeshDefinition* definition = resource->GetDefinition();
    EXPECT_EQ(definition->GetCollisionTree(nullptr), nullptr);  // no background request system
    EXPECT_EQ(definition->FinishCollisionTree(nullptr), nullptr);

    OverlappedResourceSystem system;
    EXPECT_EQ(definition->GetCollisionTree(&system), nullptr);  // asked for now
    const VLAxisBoxTree* tree = definition->FinishCollisionTree(&system);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(definition->GetCollisionTree(&system), tree);  // built once
    EXPECT_EQ(definition->GetCollisionTree(nullptr), tree);

    auto instance = Instance(*resource);
    float distance = 100;
    ConstFaceDescriptor face;
    ASSERT_TRUE(instance->TestCollisionGeometry(Ray{{0.25f, 0.25f, 5}, {0, 0, -1}}, distance, face));
    EXPECT_FLOAT_EQ(distance, 5.0f);
    EXPECT_EQ(face.chunk, 1u);  // the face hit, not the first one
    EXPECT_EQ(face.triangle, 0u);
    distance = 5;
    EXPECT_FALSE(instance->TestCollisionGeometry(Ray{{0.25f, 0.25f, 5}, {0, 0, -1}}, distance, face));
}

TEST_F(MeshResourceTest, FacesOfStripsAndFans)
{
    Write("tri.im", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Load("tri.im");
    auto instance = Instance(*resource);
    Material* material = instance->GetMaterial(0);
    const std::vector<Vector3> square{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    ASSERT_TRUE(instance->AddChunk(MakeChunk(1, square, {0, 1, 2, 3}).Get(), material));  // chunk 1: strip
    ASSERT_TRUE(instance->AddChunk(MakeChunk(1, square, {0, 1}).Get(), material));        // chunk 2: too short
    ASSERT_TRUE(instance->AddChunk(MakeChunk(2, square, {0, 1, 3, 2}).Get(), material));  // chunk 3: fan
    const struct
    {
        uint32_t chunk, triangle, corner;
        Vector3 expected;
    } cases[] = {
        {1, 0, 2, {0, 1, 1}},                              // strip triangle 0: indices 0, 1, 2
        {1, 1, 1, {1, 1, 1}},                              // odd strip triangle: corner 1 reads index t + 2
        {1, 1, 2, {0, 1, 1}},                              // ... and corner 2 index t + 1
        {1, 2, 0, {-7, -7, -7}},                           // no third triangle: unchanged
        {2, 0, 0, {-7, -7, -7}},                           // a strip of two indices has no triangle
        {3, 1, 0, {0, 0, 1}},                              // a fan turns around index 0
        {3, 1, 2, {0, 1, 1}},    {9, 0, 0, {-7, -7, -7}},  // no such chunk
    };
    for (const auto& c : cases)
    {
        Vector3 out(-7, -7, -7);
        instance->GetFaceVertex(out, ConstFaceDescriptor{instance.get(), c.triangle, c.chunk}, c.corner);
        EXPECT_EQ(out, c.expected) << c.chunk << "/" << c.triangle << "/" << c.corner;
    }
    Vector3 normal;
    instance->GetFaceNormal(normal, ConstFaceDescriptor{instance.get(), 1, 1});
    EXPECT_NEAR(normal.z, 1.0f, 1e-5f);  // the odd triangle keeps the strip's winding

    // Rays find the strip's second triangle, and pass over the short strip.
    float distance = 100;
    ConstFaceDescriptor face;
    ASSERT_TRUE(instance->TestCollisionGeometry(Ray{{0.75f, 0.75f, 5}, {0, 0, -1}}, distance, face));
    EXPECT_EQ(face.chunk, 1u);
    EXPECT_EQ(face.triangle, 1u);
    EXPECT_FLOAT_EQ(distance, 4.0f);
}

TEST_F(MeshResourceTest, MeshNeedsLODAboveThreeThousandIndices)
{
    Write("tri.im", Triangle());
    AutoReference<VelmarGeometryBaseResource> resource = Load("tri.im");
    auto instance = Instance(*resource);
    EXPECT_FALSE(MeshNeedsLOD(nullptr));
    EXPECT_FALSE(MeshNeedsLOD(instance.get()));
    EXPECT_EQ(MeshElementCount(instance.get()), 1u);
    const std::vector<Vector3> point{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    ASSERT_TRUE(
        instance->AddChunk(MakeChunk(0, point, std::vector<uint16_t>(3000, 0)).Get(), instance->GetMaterial(0)));
    EXPECT_FALSE(MeshNeedsLOD(instance.get()));
    ASSERT_TRUE(
        instance->AddChunk(MakeChunk(0, point, std::vector<uint16_t>(3001, 0)).Get(), instance->GetMaterial(0)));
    EXPECT_TRUE(MeshNeedsLOD(instance.get()));
}

TEST(MeshCollisionIds, EveryTriangleOfALongChunkHasAnId)
{
    // 21,850 triangles in one chunk: more than the tree's low id part counts in one block.
    std::vector<uint16_t> indices;
    for (int t = 0; t < 21850; ++t) indices.insert(indices.end(), {0, 1, 2});
    ChunkArray chunks;
    chunks.Create(2);
    chunks.Append(MakeChunk(0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, indices));
    chunks.Append(MakeChunk(1, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {0, 1, 2, 3}));
    MeshCollisionGeometry geometry(chunks, 2);
    const struct
    {
        uint64_t g;
        uint32_t chunk, triangle;
    } cases[] = {{0, 0, 0}, {21844, 0, 21844}, {21845, 0, 21845}, {21849, 0, 21849}, {21851, 1, 1}};
    for (const auto& c : cases)
    {
        const uint32_t id = MeshCollisionGeometry::EncodeId(c.g);
        EXPECT_EQ((id & 0xFFFFu) % 3, 0u);
        uint32_t chunk = 9, triangle = 9;
        ASSERT_TRUE(geometry.Decode(id, chunk, triangle)) << c.g;
        EXPECT_EQ(chunk, c.chunk);
        EXPECT_EQ(triangle, c.triangle);
        Vector3 a, b, d;
        EXPECT_TRUE(geometry.GetTriangle(id, a, b, d));
    }
    uint32_t chunk = 0, triangle = 0;
    EXPECT_FALSE(geometry.Decode(MeshCollisionGeometry::EncodeId(21852), chunk, triangle));
    EXPECT_FALSE(geometry.Decode(1, chunk, triangle));  // not a multiple of 3
}
