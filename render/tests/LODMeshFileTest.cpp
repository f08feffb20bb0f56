// The LOD mesh file: hand-made files, their mutations, and the writer checked byte for byte.
#include "engine/File.h"
#include "engine/Particle.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VelmarIndexedMeshLODDefinition.h"
#include "render/tests/MeshTestSupport.h"

#include <cmath>

using namespace Orvo;

namespace {

class LODMeshFile : public MeshTest
{
protected:
    int Load(const Bytes& b, VelmarIndexedMeshLODDefinition& def)
    {
        def.SetFileData(b.data.data(), b.data.size(), "meshes/tree.lm");
        return def.LoadHeldLODM(&display_, &manager_, nullptr, 0xFFFFFFFFu);
    }
    int Load(const Bytes& b)
    {
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        return Load(b, def);
    }
    // What SaveLODM writes for the definition.
    std::vector<uint8_t> Save(VelmarIndexedMeshLODDefinition& def, int* result = nullptr)
    {
        const std::string path = folder_ / "out.lm";
        File file;
        EXPECT_EQ(file.Open(path, File::ModeWrite), 0);
        const int r = def.SaveLODM(file);
        if (result) *result = r;
        file.Close();
        std::string bytes;
        File::ReadFile(path, bytes);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    ScratchFolder folder_;
};

}  // namespace

TEST_F(LODMeshFile, SmallestFileLoadsAndIsWrittenBackByteForByte)
{
    const Bytes file = BuildLODMesh(LODMeshSpec());
    VelmarIndexedMeshLODDefinition def{MeshOptions()};
    ASSERT_EQ(Load(file, def), 0);
    EXPECT_EQ(def.GetName(), "tree.lm");
    EXPECT_EQ(def.GetSwitchDistances(), std::vector<float>{0.0f});
    EXPECT_EQ(def.GetLevelCount(), 1u);
    EXPECT_EQ(def.GetCalcPoint(), 1u);
    EXPECT_EQ(def.GetOffset(), 0.5f);
    EXPECT_EQ(def.GetMultiplier(), 1.5f);
    EXPECT_EQ(def.GetRenderCutOff(), 2000.0f);
    ASSERT_EQ(def.GetLevels().size(), 1u);
    EXPECT_EQ(def.GetLevels()[0].vertexCount, 3u);
    EXPECT_EQ(def.GetChunkCount(), 1u);  // the last switch-distance level
    EXPECT_EQ(def.GetBoundsHigh(), Vector3(1, 1, 0));
    // The LOD form keeps a power below 10 as it is.
    EXPECT_EQ(def.GetChunkMaterial(0)->GetDisplayMaterial().power, 40.0f);
    EXPECT_EQ(Save(def), file.data);
}

TEST_F(LODMeshFile, BonesHierarchiesAndCullNamesAreWrittenBack)
{
    for (const char* kind : {"bones", "hierarchy"})
    {
        LODMeshSpec spec;
        spec.distances = {0.0f, 50.0f};
        (std::string(kind) == "bones" ? spec.bones : spec.rbot) = true;
        if (spec.bones) spec.geom.weights = 2;
        spec.attachments = {"a.lamp:Cull"};
        const Bytes file = BuildLODMesh(spec);
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        ASSERT_EQ(Load(file, def), 0) << kind;
        ASSERT_NE(def.GetSkeletonRoot(), nullptr) << kind;
        EXPECT_NE(def.GetSkeletonRoot()->FindByName(PString("arm")), nullptr);
        EXPECT_EQ(def.GetAttachmentName(0), "a.lamp");
        EXPECT_EQ(def.GetCullList(), std::vector<PString>{PString("a.lamp")});
        EXPECT_EQ(Save(def), file.data) << kind;
        if (spec.bones)
        {
            // Both bones weigh vertex 0 by half, in order.
            const VertexItemPtr w = def.GetLevels()[1].chunks[0]->GetItem(ItemBlendWeight4);
            ASSERT_TRUE(w);
            float weights[2];
            std::memcpy(weights, w.address, 8);
            EXPECT_EQ(weights[0], 0.5f);
            EXPECT_EQ(weights[1], 0.5f);
        }
    }
}

TEST_F(LODMeshFile, Mutations)
{
    const struct
    {
        const char* what;
        void (*change)(LODMeshSpec&);
        int result;
    } cases[] = {
        {"equal distances",
         [](LODMeshSpec& s) {
             s.distances = {100, 100};
         },
         0},
        {"decreasing distances",
         [](LODMeshSpec& s) {
             s.distances = {100, 50};
         },
         3},
        {"a distance that is not a number", [](LODMeshSpec& s) { s.distances = {NAN}; }, 3},
        {"-1 without an attachment record",
         [](LODMeshSpec& s) {
             s.distances = {0, -1};
         },
         3},
        {"-1 named by an attachment record",
         [](LODMeshSpec& s) {
             s.distances = {0, -1};
             s.attachmentMeshes = {{1, "a.lamp"}};
         },
         0},
        {"a real distance after -1",
         [](LODMeshSpec& s) {
             s.distances = {-1, 0};
             s.attachmentMeshes = {{0, "a.lamp"}};
         },
         3},
        {"only -1 levels",
         [](LODMeshSpec& s) {
             s.distances = {-1};
             s.attachmentMeshes = {{0, "a.lamp"}};
         },
         3},
        {"INFO 101", [](LODMeshSpec& s) { s.infoVersion = 101; }, 4},
        {"MESH 99", [](LODMeshSpec& s) { s.meshVersion = 99; }, 4},
        {"MATL 102", [](LODMeshSpec& s) { s.material.version = 102; }, 4},
        {"GEOM 202", [](LODMeshSpec& s) { s.geom.version = 202; }, 4},
        {"GEOM 100", [](LODMeshSpec& s) { s.geom.version = 100; }, 4},
        {"GEOM 102: weights, no name", [](LODMeshSpec& s) { s.geom.version = 102; }, 0},
        {"GEOM 103: a name", [](LODMeshSpec& s) { s.geom.version = 103; }, 0},
        {"an index out of range",
         [](LODMeshSpec& s) {
             s.geom.indices = {0, 1, 3};
         },
         3},
        {"an empty LODB", [](LODMeshSpec& s) { s.emptyLODB = true; }, 0},
        {"unknown material", [](LODMeshSpec& s) { s.material.name = "x.m.tbumptex"; }, 7},
        {"material the display cannot have", [](LODMeshSpec& s) { s.material.name = "x.m.tbump"; }, 6},
    };
    for (const auto& c : cases)
    {
        LODMeshSpec spec;
        c.change(spec);
        EXPECT_EQ(Load(BuildLODMesh(spec)), c.result) << c.what;
    }

    // Byte-level changes of the smallest file. Offsets: 8 the form tag; the MESH chunk's LCHK material
    // index is found by searching.
    const Bytes good = BuildLODMesh(LODMeshSpec());
    Bytes idxm = good;
    std::memcpy(idxm.data.data() + 8, "IDXM", 4);
    EXPECT_EQ(Load(idxm), 3) << "form IDXM";
    Bytes material = good;
    for (size_t at = 0; at + 20 <= material.data.size(); ++at)
        if (std::memcmp(material.data.data() + at, "LCHK", 4) == 0) material.data[at + 16] = 1;
    EXPECT_EQ(Load(material), 3) << "a material index beyond the table";

    // An extra byte inside a LODB (whose length counts it).
    LODMeshSpec withLODB;
    withLODB.emptyLODB = true;
    Bytes extra = BuildLODMesh(withLODB);
    for (size_t at = 0; at + 4 <= extra.data.size(); ++at)
        if (std::memcmp(extra.data.data() + at, "LODB", 4) == 0)
        {
            extra.data[at + 4] = 5;  // length 4 (version) + 1
            extra.data.insert(extra.data.begin() + long(at + 12), 0);
            break;
        }
    // Lengths of the chunks that hold it grow by one too: MESH and the form.
    auto grow = [&](const char* tag) {
        for (size_t at = 0; at + 8 <= extra.data.size(); ++at)
            if (std::memcmp(extra.data.data() + at, tag, 4) == 0)
            {
                extra.data[at + 4]++;
                return;
            }
    };
    grow("MESH");
    extra.data[4]++;
    EXPECT_EQ(Load(extra), 3) << "an extra byte in the LODB";
}

TEST_F(LODMeshFile, FreshDefinitionSavesNothing)
{
    VelmarIndexedMeshLODDefinition fresh{MeshOptions()};
    EXPECT_EQ(fresh.GetMultiplier(), 1.0f);
    EXPECT_EQ(fresh.GetOffset(), 0.0f);
    EXPECT_EQ(fresh.GetCalcPoint(), 0u);
    int result = 0;
    EXPECT_TRUE(Save(fresh, &result).empty());
    EXPECT_EQ(result, 1);
}

TEST_F(LODMeshFile, TruncationsAndByteFlipsNeverReadPastTheData)
{
    LODMeshSpec spec;
    spec.distances = {0.0f, 50.0f};
    spec.bones = true;
    spec.geom.weights = 2;
    spec.attachments = {"a.x"};
    spec.attachmentMeshes = {{1, "a.x"}};
    const Bytes whole = BuildLODMesh(spec);
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
            Load(changed);
        }
}
