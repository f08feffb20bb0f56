// The indexed mesh file: hand-made files, each mutation's result, and what a good file loads to.
#include "engine/Particle.h"
#include "render/VelmarIndexedMeshDefinition.h"
#include "render/tests/MeshTestSupport.h"

#include <cmath>
#include <cstring>

using namespace Orvo;

namespace {

class IndexedMeshFile : public MeshTest
{
protected:
    int Load(const Bytes& b, VelmarIndexedMeshDefinition& def, bool withManager = true)
    {
        def.SetFileData(b.data.data(), b.data.size(), "meshes/hull.im");
        return def.LoadIDXM(&display_, withManager ? &manager_ : nullptr, resource_, 0xFFFFFFFFu);
    }
    int Load(const Bytes& b, bool withManager = true)
    {
        VelmarIndexedMeshDefinition def{MeshOptions()};
        return Load(b, def, withManager);
    }
};

// The smallest valid file: a form holding an INFO chunk that announces no chunks.
Bytes Smallest()
{
    IndexedMeshSpec spec;
    spec.chunkCount = 0;
    spec.chunks.clear();
    return BuildIndexedMesh(spec);
}

}  // namespace

TEST_F(IndexedMeshFile, SmallestFileLoadsEmpty)
{
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(Smallest(), def), 0);
    EXPECT_EQ(def.GetChunkCount(), 0u);
    EXPECT_EQ(def.GetTotalVertices(), 0u);
    EXPECT_EQ(def.GetTotalFaces(), 0u);
    EXPECT_EQ(def.GetBoundsLow(), Vector3());
    EXPECT_EQ(def.GetBoundsHigh(), Vector3());
    EXPECT_EQ(def.GetPosition(), Vector3(1, 2, 3));
    EXPECT_TRUE(def.GetOrientedBox().IsZero());
}

TEST_F(IndexedMeshFile, SmallestFileMutations)
{
    // Offsets: 0 "OIRF", 4 form length, 8 "IDXM", 12 "INFO", 16 length, 20 version, 24 seven floats,
    // 52 chunk count.
    const struct
    {
        const char* what;
        size_t offset;
        uint32_t value;  // written as a u32 at the offset
        int result;
    } cases[] = {
        {"form tag", 0, 0x4752494F /* "OIRG" */, 3},
        {"file type", 8, 0x4E584449 /* "IDXN" */, 3},
        {"INFO tag", 12, 0x4F464E4A, 3},
        {"INFO version 99", 20, 99, 4},
        {"INFO version 105", 20, 105, 4},
        {"INFO version 104 without its floats", 20, 104, 3},
        {"chunk count 1025", 52, 1025, 3},
        {"chunk count 1024 with no chunks", 52, 1024, 3},
        {"form length beyond the data", 4, 49, 3},
        {"form length huge", 4, 0xFFFFFFF0u, 3},
        {"form length short", 4, 40, 3},
    };
    for (const auto& c : cases)
    {
        Bytes b = Smallest();
        for (int i = 0; i < 4; ++i) b.data[c.offset + i] = uint8_t(c.value >> (8 * i));
        EXPECT_EQ(Load(b), c.result) << c.what;
    }
    EXPECT_EQ(Load(Bytes()), 2) << "an empty file";
    EXPECT_EQ(Load(Smallest(), false), 5) << "no material manager";
}

TEST_F(IndexedMeshFile, TriangleLoadsWithItsValues)
{
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(IndexedMeshSpec()), def), 0);
    ASSERT_EQ(def.GetChunkCount(), 1u);
    EXPECT_EQ(def.GetTotalVertices(), 3u);
    EXPECT_EQ(def.GetTotalFaces(), 1u);
    EXPECT_EQ(def.GetBoundsLow(), Vector3(0, 0, 0));
    EXPECT_EQ(def.GetBoundsHigh(), Vector3(1, 1, 0));
    EXPECT_NEAR(def.GetTextureDetailBias(), 1.0f, 1e-5f);
    EXPECT_EQ(def.GetChunkName(0), "tri");
    EXPECT_TRUE(def.GetOrientedBox().Contains(Vector3(0.5f, 0.25f, 0.0f), 1e-5f));

    const Material* m = def.GetChunkMaterial(0);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetName(), "hull.m.onetex");
    EXPECT_EQ(m->GetType(), "onetex");
    EXPECT_EQ(m->GetFlags() & 1, 1);
    EXPECT_EQ(m->GetOpacity(), 0.75f);
    const DisplayMaterial& d = m->GetDisplayMaterial();
    EXPECT_EQ(d.ambient, Color(0.1f, 0.2f, 0.3f, 1.0f));
    EXPECT_EQ(d.specular, Color(0.7f, 0.8f, 0.9f, 1.0f));
    EXPECT_EQ(d.emissive, Color(0.5f, 0.25f, 0.125f, 0.5f));  // all four halved
    EXPECT_EQ(d.power, 40.0f);
    ASSERT_EQ(m->GetNumProperties(), 1u);
    EXPECT_EQ(m->GetProperty(0)->name, "Shine");
    EXPECT_EQ(m->GetProperty(0)->value, "2");

    // The texture is resolved against the mesh's folder when loading completes; it does not exist.
    def.FinishMaterials(resource_);
    ASSERT_EQ(def.GetMissingTextures().size(), 1u);
    EXPECT_EQ(def.GetMissingTextures()[0].texture, "meshes/hull.texture");

    GeometryChunk* c = def.GetChunk(0);
    float uv[3][2];
    ASSERT_TRUE(def.CopyChunkTextureSet(0, 0, reinterpret_cast<uint8_t*>(uv), 8));
    EXPECT_EQ(uv[1][0], 1.0f);
    EXPECT_EQ(c->GetIndexArray()[2], 2);
    uint32_t colour = 0;
    std::memcpy(&colour, c->GetItem(ItemColour).address, 4);
    EXPECT_EQ(colour, 0xFFFFFFFFu);  // the colour argument
    EXPECT_EQ(def.CheckChunks(&display_), 0);
}

TEST_F(IndexedMeshFile, TriangleMutations)
{
    const struct
    {
        const char* what;
        void (*change)(IndexedMeshSpec&);
        int result;
        uint32_t chunks;  // when loaded
    } cases[] = {
        {"index equal to the vertex count",
         [](IndexedMeshSpec& s) {
             s.chunks[0].indices = {0, 1, 3};
         },
         3, 0},
        {"GEOM 100", [](IndexedMeshSpec& s) { s.chunks[0].version = 100; }, 4, 0},
        {"GEOM 202", [](IndexedMeshSpec& s) { s.chunks[0].version = 202; }, 4, 0},
        {"GEOM 101", [](IndexedMeshSpec& s) { s.chunks[0].version = 101; }, 0, 1},
        {"GEOM 104 with colours", [](IndexedMeshSpec& s) { s.chunks[0].version = 104; }, 0, 1},
        {"GEOM 150 with two texture sets",
         [](IndexedMeshSpec& s) {
             s.chunks[0].version = 150;
             s.chunks[0].textureSets = 2;
         },
         0, 1},
        {"GEOM 150 with nine texture sets",
         [](IndexedMeshSpec& s) {
             s.chunks[0].version = 150;
             s.chunks[0].textureSets = 9;
         },
         3, 0},
        {"GEOM 201 with tangents",
         [](IndexedMeshSpec& s) {
             s.chunks[0].version = 201;
             s.chunks[0].extra = 1;
         },
         0, 1},
        {"MATL 101", [](IndexedMeshSpec& s) { s.material.version = 101; }, 4, 0},
        {"MATL 104", [](IndexedMeshSpec& s) { s.material.version = 104; }, 4, 0},
        {"vertex count 262145", [](IndexedMeshSpec& s) { s.chunks[0].vertices = 262145; }, 3, 0},
        {"vertex count 4 with data for 3",
         [](IndexedMeshSpec& s) {
             s.chunks[0].vertices = 4;
             s.chunks.push_back({});
         },
         3, 0},
        {"primitive flags 3", [](IndexedMeshSpec& s) { s.chunks[0].primitive = 3; }, 3, 0},
        {"five weights", [](IndexedMeshSpec& s) { s.chunks[0].weights = 5; }, 3, 0},
        {"no indices: the chunk is dropped", [](IndexedMeshSpec& s) { s.chunks[0].indices.clear(); }, 0, 0},
        {"no faces: the chunk is dropped",
         [](IndexedMeshSpec& s) {
             s.chunks[0].faces = 0;
             s.chunks.push_back({});
             s.chunkCount = 2;
         },
         0, 1},
        {"unknown material", [](IndexedMeshSpec& s) { s.material.name = "hull.m.tbumptex"; }, 7, 0},
        {"material the display cannot have", [](IndexedMeshSpec& s) { s.material.name = "hull.m.tbump"; }, 6, 0},
        {"undecorated material", [](IndexedMeshSpec& s) { s.material.name = "hull"; }, 7, 0},
        {"pair count 1025",
         [](IndexedMeshSpec& s) {
             s.material.pairs.assign(1025, {"a", "b"});
         },
         3, 0},
        {"CHNK 101", [](IndexedMeshSpec& s) { s.chunkVersion = 101; }, 4, 0},
        {"INFO 104", [](IndexedMeshSpec& s) { s.infoVersion = 104; }, 0, 1},
    };
    for (const auto& c : cases)
    {
        IndexedMeshSpec spec;
        c.change(spec);
        VelmarIndexedMeshDefinition def{MeshOptions()};
        EXPECT_EQ(Load(BuildIndexedMesh(spec), def), c.result) << c.what;
        if (c.result == 0)
        {
            EXPECT_EQ(def.GetChunkCount(), c.chunks) << c.what;
        }
    }
}

TEST_F(IndexedMeshFile, MaterialVersionsAndSubstitutes)
{
    IndexedMeshSpec spec;
    spec.material.version = 102;
    VelmarIndexedMeshDefinition v102{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(spec), v102), 0);
    EXPECT_EQ(v102.GetChunkMaterial(0)->GetDisplayMaterial().specular, Color(0, 0, 0, 0));
    EXPECT_EQ(v102.GetChunkMaterial(0)->GetDisplayMaterial().power, 10.0f);

    spec.material.version = 103;
    spec.material.power = 2.0f;
    VelmarIndexedMeshDefinition v103{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(spec), v103), 0);
    EXPECT_EQ(v103.GetChunkMaterial(0)->GetDisplayMaterial().power, 10.0f);

    // An unknown material: refused, or, when substitutes are allowed, the registered material of its
    // type, keeping the requested name; the name is kept among the missing materials either way.
    auto* placeholder = new Material(PString("VelmarDummyLoad.m.tbumptex"), PString("tbumptex"));
    manager_.RegisterMaterial(placeholder);
    spec.material.name = "hull.m.tbumptex";
    VelmarIndexedMeshDefinition refused{MeshOptions()};
    EXPECT_EQ(Load(BuildIndexedMesh(spec), refused), 7);
    resource_->SetAllowSubstitutes(true);
    VelmarIndexedMeshDefinition substituted{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(spec), substituted), 0);
    const Material* m = substituted.GetChunkMaterial(0);
    EXPECT_EQ(m->GetType(), "tbumptex");
    EXPECT_EQ(m->GetRequestName(), "hull.m.tbumptex");
    EXPECT_NE(m, placeholder);
    EXPECT_EQ(resource_->GetMissingMaterials().size(), 2u);

    // Without a material manager at all each chunk gets a null material of its name.
    VelmarIndexedMeshDefinition none{MeshOptions()};
    Bytes b = BuildIndexedMesh(IndexedMeshSpec());
    none.SetFileData(b.data.data(), b.data.size(), "x");
    EXPECT_EQ(none.LoadIDXM(&display_, nullptr, resource_, 0), 5);
}

TEST_F(IndexedMeshFile, SkeletonInfluencesAndAttachments)
{
    // A SKEL with a root holding one child, then an ATCH with one point.
    auto tail = [](Bytes& b) {
        const size_t skel = b.Begin("SKEL", 100);
        const size_t root = b.Begin("BONE", 100);
        b.Str("root").Floats({0, 0, 0}).Floats({0, 0, 0, 1}).U32(1);
        const size_t child = b.Begin("BONE", 102);
        b.Str("arm").Floats({1, 0, 0}).Floats({0, 0, 0, 1}).U32(0);
        b.End(child);
        b.End(root);
        b.End(skel);
        const size_t atch = b.Begin("ATCH", 100);
        b.U32(1).Str("a.lamp").Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).Floats({4, 5, 6});
        b.End(atch);
    };
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(IndexedMeshSpec(), tail), def), 0);
    ASSERT_NE(def.GetSkeletonRoot(), nullptr);
    EXPECT_EQ(def.GetSkeletonRoot()->GetName(), "root");
    ASSERT_NE(def.GetSkeletonRoot()->FindByName(PString("arm")), nullptr);
    ASSERT_EQ(def.GetAttachments().size(), 1u);
    EXPECT_EQ(def.GetAttachmentPosition(0), Vector3(4, 5, 6));
    ParticleStructure instance;
    def.MountAttachmentPoints(instance);
    EXPECT_EQ(instance.GetAttachmentPoints().size(), 1u);

    const struct
    {
        const char* what;
        void (*tail)(Bytes&);
        int result;
    } cases[] = {
        {"INFL of version 101", [](Bytes& b) { b.End(b.Begin("INFL", 101)); }, 3},
        {"INFL announcing 1024 definitions",
         [](Bytes& b) {
             size_t m = b.Begin("INFL", 100);
             b.U32(1024).Str("bone").Str("").Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}).U32(0);
             b.End(m);
         },
         3},
        {"ATCH of version 101", [](Bytes& b) { b.End(b.Begin("ATCH", 101)); }, 4},
        {"ATCH with a huge count",
         [](Bytes& b) {
             size_t m = b.Begin("ATCH", 100);
             b.U32(0x40000000);
             b.End(m);
         },
         3},
        {"an unknown chunk", [](Bytes& b) { b.End(b.Begin("JUNK", 100)); }, 3},
        {"BONE of version 2",
         [](Bytes& b) {
             size_t s = b.Begin("SKEL", 100);
             size_t r = b.Begin("BONE", 2);
             b.Str("r").Floats({0, 0, 0, 0, 0, 0, 1}).U32(0);
             b.End(r);
             b.End(s);
         },
         4},
        {"bones nested 300 deep",
         [](Bytes& b) {
             size_t s = b.Begin("SKEL", 100);
             std::vector<size_t> open;
             for (int i = 0; i < 300; ++i)
             {
                 open.push_back(b.Begin("BONE", 100));
                 b.Str("b").Floats({0, 0, 0, 0, 0, 0, 1}).U32(i + 1 < 300 ? 1 : 0);
             }
             for (auto it = open.rbegin(); it != open.rend(); ++it) b.End(*it);
             b.End(s);
         },
         3},
    };
    for (const auto& c : cases) EXPECT_EQ(Load(BuildIndexedMesh(IndexedMeshSpec(), c.tail)), c.result) << c.what;
}

TEST_F(IndexedMeshFile, InfluenceGroupsKeepTheirEntriesAndDropEmptyOnes)
{
    auto tail = [](int entries) {
        return [entries](Bytes& b) {
            const size_t m = b.Begin("INFL", 100);
            b.U32(1).Str("root").Str("").Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
            b.U32(2).U32(0).U32(0);  // an empty group, then one of `entries`
            b.U32(0).U32(uint32_t(entries));
            b.U32(2).Floats({0.25f, 1, 2, 3}).U32(1).Floats({0.75f, 4, 5, 6});
            b.End(m);
        };
    };
    IndexedMeshSpec spec;
    spec.chunks[0].weights = 4;
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(spec, tail(2)), def), 0);
    ASSERT_EQ(def.GetInfluenceGroupCount(0), 1u);
    ASSERT_EQ(def.GetInfluenceGroupEntryCount(0, 0), 2u);
    InfluenceEntry e[2];
    ASSERT_TRUE(def.CopyInfluenceGroupEntries(0, 0, e));
    EXPECT_EQ(e[0].vertex, 2u);
    EXPECT_EQ(e[0].weight, 0.25f);
    EXPECT_EQ(std::vector<float>(e[0].extra, e[0].extra + 3), std::vector<float>({1, 2, 3}));
    EXPECT_EQ(e[1].vertex, 1u);
    EXPECT_EQ(std::vector<float>(e[1].extra, e[1].extra + 3), std::vector<float>({4, 5, 6}));
    // More entries announced than the chunk holds.
    EXPECT_EQ(Load(BuildIndexedMesh(spec, tail(3))), 3);
}

TEST_F(IndexedMeshFile, InfluencesFillTheBlendWeights)
{
    // Bones each weigh vertex 0 of the one chunk: the first four fill the four positions in order; at a
    // fifth the vertex keeps only the strongest of the five, alone at position 0 with the index word
    // slot x 3 + 0xFE00. An entry naming vertex 7 of the 3 is ignored.
    const struct
    {
        int bones;
        float weights[5];
        std::vector<float> kept;
        std::vector<uint8_t> indices;
    } cases[] = {
        {4, {0.1f, 0.2f, 0.3f, 0.4f}, {0.1f, 0.2f, 0.3f, 0.4f}, {0, 3, 6, 9}},   // all four, in order
        {5, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}, {0.5f, 0, 0, 0}, {12, 254, 0, 0}},   // the fifth is the strongest
        {5, {0.1f, 0.5f, 0.2f, 0.15f, 0.05f}, {0.5f, 0, 0, 0}, {3, 254, 0, 0}},  // one held before is
    };
    IndexedMeshSpec spec;
    spec.chunks[0].weights = 4;
    for (const auto& k : cases)
    {
        SCOPED_TRACE(k.weights[1]);
        auto tail = [&k](Bytes& b) {
            const size_t m = b.Begin("INFL", 100);
            b.U32(uint32_t(k.bones));
            for (int bone = 0; bone < k.bones; ++bone)
            {
                b.Str("bone" + std::to_string(bone)).Str(bone == 0 ? "" : "bone0");
                b.Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).U32(1);
                b.U32(0).U32(bone == 4 ? 2 : 1);
                b.U32(0).Floats({k.weights[bone], 0, 0, 0});
                if (bone == 4) b.U32(7).Floats({1, 0, 0, 0});
            }
            b.End(m);
        };
        VelmarIndexedMeshDefinition def{MeshOptions()};
        ASSERT_EQ(Load(BuildIndexedMesh(spec, tail), def), 0);
        ASSERT_NE(def.GetSkeletonRoot(), nullptr);
        EXPECT_EQ(def.GetSkeletonRoot()->GetChildren().size(), size_t(k.bones - 1));
        GeometryChunk* c = def.GetChunk(0);
        const VertexItemPtr w = c->GetItem(ItemBlendWeight4);
        const VertexItemPtr i = c->GetItem(ItemBlendIndices);
        ASSERT_TRUE(w && i);
        float weights[4];
        std::memcpy(weights, w.address, 16);
        EXPECT_EQ(std::vector<float>(weights, weights + 4), k.kept);
        EXPECT_EQ(std::vector<uint8_t>(i.address, i.address + 4), k.indices);
        EXPECT_EQ(c->GetInfluencePalette().size(), size_t(k.bones));
        EXPECT_EQ(def.GetChunkMaxInfluences(0), uint32_t(k.bones));
    }
}

TEST_F(IndexedMeshFile, EveryInfluenceBoneEndsUpInTheSkeleton)
{
    // A bone naming itself, two naming each other, one naming no bone: all hang in the one tree (the
    // sanitizer run would see a bone left out as a leak). 90 bones weigh one vertex: the palette slots
    // whose index byte cannot be written are left out.
    auto tail = [](Bytes& b) {
        const size_t m = b.Begin("INFL", 100);
        b.U32(90);
        for (int bone = 0; bone < 90; ++bone)
        {
            const std::string parent = bone == 0   ? ""
                                       : bone == 1 ? "b1"
                                       : bone == 2 ? "b3"
                                       : bone == 3 ? "b2"
                                       : bone == 4 ? "none"
                                                   : "b0";
            b.Str("b" + std::to_string(bone)).Str(parent).Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
            b.U32(1).U32(0).U32(1).U32(0).Floats({0.5f, 0, 0, 0});
        }
        b.End(m);
    };
    IndexedMeshSpec spec;
    spec.chunks[0].weights = 4;
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(BuildIndexedMesh(spec, tail), def), 0);
    size_t bones = 0;
    std::vector<const Particle*> pending{def.GetSkeletonRoot()};
    while (!pending.empty())
    {
        const Particle* p = pending.back();
        pending.pop_back();
        ++bones;
        for (const Particle* c : p->GetChildren()) pending.push_back(c);
    }
    EXPECT_EQ(bones, 90u);
    EXPECT_EQ(def.GetInfluenceParentName(4), "b0");  // named no bone: now the root's child
    EXPECT_EQ(def.GetChunk(0)->GetInfluencePalette().size(), 90u);
    const uint8_t* idx = def.GetChunk(0)->GetItem(ItemBlendIndices).address;
    for (int k = 0; k < 4; ++k) EXPECT_LE(idx[k], 254) << k;
}

TEST_F(IndexedMeshFile, HardwareSkinningFollowsTheDisplay)
{
    IndexedMeshSpec spec;
    spec.infoVersion = 102;
    spec.influencesPerVertex = 2;
    spec.bonesPerChunk = 20;
    spec.chunks[0].weights = 2;
    for (bool capable : {false, true})
    {
        display_.SetCapability(Display::CapHardwareSkinning, capable);
        VelmarIndexedMeshDefinition def{MeshOptions()};
        ASSERT_EQ(Load(BuildIndexedMesh(spec), def), 0);
        EXPECT_EQ(def.IsHardwareSkinned(), capable);
        EXPECT_EQ(def.GetBoneLimit(), capable ? 24u : 25u);
        // Hardware chunks start with the packed default weight, software chunks with float weights.
        const VertexItemPtr packed = def.GetChunk(0)->GetItem(ItemPackedWeights);
        EXPECT_EQ(bool(packed), capable);
        if (packed)
        {
            uint32_t word = 0;
            std::memcpy(&word, packed.address, 4);
            EXPECT_EQ(word, 0xFF000000u);
        }
    }
}

TEST_F(IndexedMeshFile, TruncationsAndByteFlipsNeverReadPastTheData)
{
    auto tail = [](Bytes& b) {
        const size_t m = b.Begin("INFL", 100);
        b.U32(1).Str("root").Str("").Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
        b.U32(1).U32(0).U32(1).U32(0).Floats({1, 0, 0, 0});
        b.End(m);
        const size_t a = b.Begin("ATCH", 100);
        b.U32(1).Str("a.x").Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).Floats({0, 0, 0});
        b.End(a);
    };
    IndexedMeshSpec spec;
    spec.chunks[0].weights = 1;
    const Bytes whole = BuildIndexedMesh(spec, tail);
    ASSERT_EQ(Load(whole), 0);
    for (size_t n = 0; n < whole.data.size(); ++n)
    {
        Bytes cut;
        cut.data.assign(whole.data.begin(), whole.data.begin() + long(n));
        EXPECT_NE(Load(cut), 0) << "cut at " << n;
    }
    for (size_t at = 0; at < whole.data.size(); ++at)
        for (uint8_t flip : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)})
        {
            Bytes changed = whole;
            changed.data[at] ^= flip;
            Load(changed);  // any result; the sanitizers watch the reading
        }
}
