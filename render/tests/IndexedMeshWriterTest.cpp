// The indexed mesh writer: a file in the layout it writes comes back byte for byte; a text description
// saved and read again keeps its chunks and points; what it cannot write is refused.
#include "engine/ConfigParser.h"
#include "engine/Particle.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VelmarIndexedMeshDefinition.h"
#include "render/tests/MeshTestSupport.h"

using namespace Orvo;

namespace {

class IndexedMeshWriter : public MeshTest
{
protected:
    int Load(const std::vector<uint8_t>& bytes, VelmarIndexedMeshDefinition& def)
    {
        def.SetFileData(bytes.data(), bytes.size(), "meshes/hull.im");
        const int result = def.LoadIDXM(&display_, &manager_, resource_, 0xFFFFFFFFu);
        def.FinishMaterials(resource_);  // the textures, as the resource's load completion hands them over
        return result;
    }
    std::vector<uint8_t> Save(VelmarIndexedMeshDefinition& def, int& result)
    {
        const std::string path = folder_ / "out.im";
        File file;
        EXPECT_EQ(file.Open(path, File::ModeWrite), 0);
        result = def.SaveIDXM(file);
        file.Close();
        std::string bytes;
        File::ReadFile(path, bytes);
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }

    ScratchFolder folder_;
};

}  // namespace

TEST_F(IndexedMeshWriter, FileOfItsOwnLayoutIsWrittenBackByteForByte)
{
    IndexedMeshSpec spec;
    spec.infoVersion = 102;
    spec.chunkCount = 2;
    spec.chunks.push_back(TriangleGeom{});
    spec.chunks[1].name = "second";
    spec.chunks[1].shift[2] = 4.0f;
    const Bytes file = BuildIndexedMesh(spec, [](Bytes& b) {
        const size_t m = b.Begin("ATCH", 100);
        b.U32(2).Str("a.track0a").Floats({1, 0, 0, 0, 1, 0, 0, 0, 1}).Floats({0, 0, 5});
        b.Str("a.track0b").Floats({0, 1, 0, -1, 0, 0, 0, 0, 1}).Floats({0, 0, -5});
        b.End(m);
    });
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(file.data, def), 0);
    int result = -1;
    EXPECT_EQ(Save(def, result), file.data);
    EXPECT_EQ(result, 0);
}

TEST_F(IndexedMeshWriter, SkeletonsWhoseBonesWeighNothingAreWrittenBack)
{
    // A SKEL of a root with two children (one of them with a child of its own), bytes made by hand.
    IndexedMeshSpec spec;
    spec.infoVersion = 102;
    const Bytes file = BuildIndexedMesh(spec, [](Bytes& b) {
        const size_t skel = b.Begin("SKEL", 100);
        const size_t root = b.Begin("BONE", 100);
        b.Str("frame").Floats({0, 0, 0}).Floats({0, 0, 0, 1}).U32(2);
        const size_t arm = b.Begin("BONE", 100);
        b.Str("arm").Floats({1, 0, 0}).Floats({0, 0, 0.70710677f, 0.70710677f}).U32(1);
        const size_t tip = b.Begin("BONE", 100);
        b.Str("tip").Floats({2, 0, 0}).Floats({0, 0, 0, 1}).U32(0);
        b.End(tip);
        b.End(arm);
        const size_t counter = b.Begin("BONE", 100);
        b.Str("counterweight").Floats({-1, 0, 0}).Floats({0, 0, 0, 1}).U32(0);
        b.End(counter);
        b.End(root);
        b.End(skel);
    });
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(file.data, def), 0);
    int result = -1;
    EXPECT_EQ(Save(def, result), file.data);
    EXPECT_EQ(result, 0);

    // Bones of a text description that weigh no vertices: the mesh comes back with its skeleton.
    const std::string text = "version 1.00\nchunk\n{\n  name \"arm\"\n  material\n  {\n    name \"a.m.notex\"\n  }\n"
                             "  positions 0,0,0,1,0,0,0,1,0\n  indices 0,1,2\n  faceNormals 0,0,1\n}\n"
                             "influence\n{\n  name \"frame\"\n  position 0,0,0\n  orientation 0,0,0,1\n}\n"
                             "influence\n{\n  name \"arm\"\n  parent \"frame\"\n  position 1,0,0\n"
                             "  orientation 0,0,0,1\n}\n";
    ConfigParser parser;
    ASSERT_EQ(parser.ParseText(text, "lever.imtxt"), 0);
    VelmarIndexedMeshDefinition source{MeshOptions()};
    ASSERT_EQ(source.LoadFromGeometryConfig(&display_, &manager_, nullptr, *parser.GetRoot(), 0xFFFFFFFFu), 0);
    source.FinishMaterials(nullptr);
    const std::vector<uint8_t> bytes = Save(source, result);
    ASSERT_EQ(result, 0);
    VelmarIndexedMeshDefinition back{MeshOptions()};
    ASSERT_EQ(Load(bytes, back), 0);
    ASSERT_NE(back.GetSkeletonRoot(), nullptr);
    EXPECT_EQ(back.GetSkeletonRoot()->GetName(), "frame");
    const Particle* arm = back.GetSkeletonRoot()->FindByName(PString("arm"));
    ASSERT_NE(dynamic_cast<const ParticleBone*>(arm), nullptr);
    EXPECT_EQ(static_cast<const ParticleBone*>(arm)->GetFrame().position, Vector3(1, 0, 0));
}

TEST_F(IndexedMeshWriter, TextDescriptionSavedAndReadAgain)
{
    const std::string text =
        "version 1.00\n"
        "chunk\n{\n  name \"box\"\n  material\n  {\n    name \"box.m.onetex\"\n"
        "    texture\n    {\n      stage 0\n      file \"Folder/Box.texture\"\n      value 1\n    }\n"
        "  }\n  positions 0,0,0,1,0,0,0,1,0,1,1,0\n  normals 0,0,1,0,0,1,0,0,1,0,0,1\n"
        "  texture0 0,0,1,0,0,1,1,1\n  indices 0,1,2,2,1,3\n  faceNormals 0,0,1,0,0,1\n}\n"
        "attachment\n{\n  name \"a.name0\"\n  position 1,2,3\n}\n";
    ConfigParser parser;
    ASSERT_EQ(parser.ParseText(text, "box.imtxt"), 0);
    VelmarIndexedMeshDefinition source{MeshOptions()};
    ASSERT_EQ(source.LoadFromGeometryConfig(&display_, &manager_, nullptr, *parser.GetRoot(), 0xFFFFFFFFu), 0);
    source.FinishMaterials(nullptr);
    int result = -1;
    const std::vector<uint8_t> bytes = Save(source, result);
    ASSERT_EQ(result, 0);

    VelmarIndexedMeshDefinition back{MeshOptions()};
    ASSERT_EQ(Load(bytes, back), 0);
    ASSERT_EQ(back.GetChunkCount(), 1u);
    EXPECT_EQ(back.GetChunkName(0), "box");
    EXPECT_EQ(back.GetChunkIndexCount(0), 6u);
    EXPECT_EQ(back.GetChunkPrimitiveCount(0), 2u);
    EXPECT_EQ(back.GetBoundsHigh(), Vector3(1, 1, 0));
    EXPECT_EQ(back.GetMaterialRequestName(0), "box.m.onetex");
    // Folders are dropped and the name lower-cased by the reader, which joins it to the mesh's folder.
    ASSERT_EQ(back.GetMaterialTextures(0).size(), 1u);
    EXPECT_EQ(back.GetMaterialTextures(0)[0].file, "meshes/box.texture");
    ASSERT_EQ(back.GetAttachments().size(), 1u);
    EXPECT_EQ(back.GetAttachments()[0].name, "a.name0");
    EXPECT_EQ(back.GetAttachments()[0].position, Vector3(1, 2, 3));
}

TEST_F(IndexedMeshWriter, RefusesWhatItCannotWrite)
{
    VelmarIndexedMeshDefinition empty{MeshOptions()};
    int result = -1;
    EXPECT_TRUE(Save(empty, result).empty());
    EXPECT_EQ(result, 1);

    IndexedMeshSpec spec;
    spec.chunks[0].weights = 1;
    const Bytes skinned = BuildIndexedMesh(spec, [](Bytes& b) {
        const size_t m = b.Begin("INFL", 100);
        b.U32(1).Str("root").Str("").Floats({0, 0, 0}).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1});
        b.U32(1).U32(0).U32(1).U32(0).Floats({1, 0, 0, 0});
        b.End(m);
    });
    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(Load(skinned.data, def), 0);
    EXPECT_TRUE(Save(def, result).empty());
    EXPECT_EQ(result, 1);
}
