// Text descriptions: meshes ("imtxt") and LOD meshes ("lm.txt"), read through a content resource
// database over a scratch folder; progressive files; the resource database itself.
#include "engine/File.h"
#include "engine/ResourceDatabase.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VelmarIndexedMeshLODDefinition.h"
#include "render/VelmarProgressiveMeshDefinition.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshTestSupport.h"

#include <filesystem>
#include <string>

using namespace Orvo;

namespace {

std::string Mesh(const std::string& value, const std::string& file, const std::string& more = "")
{
    return "mesh " + value + "\n{\n  name \"" + file + "\"\n" + more + "}\n";
}

// One triangle as a text mesh.
std::string TriangleText(const std::string& material = "hull.m.onetex", const std::string& indices = "0,1,2")
{
    return "version 1.00\nposition 1,2,3\nchunk\n{\n  name \"tri\"\n  material\n  {\n    name \"" + material +
           "\"\n    power 0.25\n  }\n  positions 0,0,0,1,0,0,0,1,0\n  normals 0,0,1,0,0,1,0,0,1\n"
           "  texture0 0,0,1,0,0,1\n  indices " +
           indices + "\n  faceNormals 0,0,1\n}\n";
}

class TextDescription : public MeshTest
{
protected:
    void SetUp() override
    {
        MeshTest::SetUp();
        database_ = std::make_unique<VelmarResourceDatabase>(PString("lodsrc"), folder_.path, nullptr);
        lod_ = new VelmarGeometryBaseResource(PString("tree.lm"), database_.get());
        lod_->AddRef();
        Write("hi.im", BuildIndexedMesh(IndexedMeshSpec()));
        Write("lo.im", BuildIndexedMesh(IndexedMeshSpec()));
        Write("lamp.im", BuildIndexedMesh(IndexedMeshSpec()));
        Write("tri.imtxt", TriangleText());
        IndexedMeshSpec withPoint;
        Write("pointed.im", BuildIndexedMesh(withPoint, [](Bytes& b) {
                  const size_t m = b.Begin("ATCH", 100);
                  b.U32(1).Str("a.x").Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
                  b.End(m);
              }));
    }
    void TearDown() override
    {
        lod_->Release();
        database_.reset();
        MeshTest::TearDown();
    }
    void Write(const std::string& name, const Bytes& b)
    {
        ASSERT_TRUE(File::WriteFile(folder_ / name, std::string(b.data.begin(), b.data.end())));
    }
    void Write(const std::string& name, const std::string& text) { ASSERT_TRUE(File::WriteFile(folder_ / name, text)); }
    int ReadLOD(const std::string& text, VelmarIndexedMeshLODDefinition& def)
    {
        Write("tree.lm.txt", text);
        return def.ReadLODDescription(&display_, &manager_, lod_, "tree.lm.txt", 0xFFFFFFFFu);
    }

    ScratchFolder folder_;
    std::unique_ptr<VelmarResourceDatabase> database_;
    VelmarGeometryBaseResource* lod_ = nullptr;
};

}  // namespace

TEST_F(TextDescription, LODDescriptions)
{
    const std::string v = "version 1.00\n";
    const struct
    {
        const char* what;
        std::string text;
        int result;
        size_t levels;
        size_t distances;
    } cases[] = {
        {"three levels", v + Mesh("0", "hi.im") + Mesh("100", "lo.im") + Mesh("250", "lamp.im"), 0, 3, 3},
        {"an equal distance", v + Mesh("0", "hi.im") + Mesh("100", "lo.im") + Mesh("100", "lamp.im"), 3, 0, 0},
        {"a smaller distance", v + Mesh("100", "hi.im") + Mesh("50", "lo.im"), 3, 0, 0},
        {"a minus sign is not a number", v + Mesh("-5", "hi.im"), 3, 0, 0},
        {"an attachment on a level's file", v + Mesh("0", "hi.im") + Mesh("100", "lo.im") + Mesh("a.lamp", "lo.im"), 0,
         2, 2},
        {"an attachment on a new file", v + Mesh("0", "hi.im") + Mesh("a.lamp", "lamp.im", "animated 1\n"), 0, 2, 1},
        {"attachment names differing in case",
         v + Mesh("0", "hi.im") + Mesh("a.Lamp", "lamp.im") + Mesh("a.lamp", "lo.im"), 3, 0, 0},
        {"a level after an attachment", v + Mesh("0", "hi.im") + Mesh("a.lamp", "lamp.im") + Mesh("100", "lo.im"), 3, 0,
         0},
        {"a level without a name", v + "mesh 0\n{\n}\n", 3, 0, 0},
        {"no mesh", v + "offset 1\n", 3, 0, 0},
        {"version 2.00", "version 2.00\n" + Mesh("0", "hi.im"), 4, 0, 0},
        {"no version", Mesh("0", "hi.im"), 4, 0, 0},
        {"a missing level file", v + Mesh("0", "none.im"), 2, 0, 0},
        {"a level with other attachment points", v + Mesh("0", "hi.im") + Mesh("100", "pointed.im"), 3, 0, 0},
        {"a text mesh level", v + Mesh("0", "tri.imtxt"), 0, 1, 1},
    };
    for (const auto& c : cases)
    {
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        EXPECT_EQ(ReadLOD(c.text, def), c.result) << c.what;
        if (c.result != 0) continue;
        EXPECT_EQ(def.GetLevels().size(), c.levels) << c.what;
        EXPECT_EQ(def.GetSwitchDistances().size(), c.distances) << c.what;
        EXPECT_EQ(def.GetLevelCount(), c.levels) << c.what;
    }

    VelmarIndexedMeshLODDefinition attached{MeshOptions()};
    ASSERT_EQ(
        ReadLOD(v + Mesh("0", "hi.im") + Mesh("100", "lo.im") + Mesh("A.Lamp", "lo.im", "animated true\n"), attached),
        0);
    ASSERT_EQ(attached.GetAttachmentMeshes().size(), 1u);
    EXPECT_EQ(attached.GetAttachmentMeshes()[0].name, "a.lamp");
    EXPECT_EQ(attached.GetAttachmentMeshes()[0].level, 1u);
    EXPECT_TRUE(attached.GetAttachmentMeshes()[0].animated);
    EXPECT_EQ(attached.GetLoadedFiles(), (std::vector<std::string>{"hi.im", "lo.im"}));
}

TEST_F(TextDescription, LODDistanceRules)
{
    const std::string levels = "version 1.00\n" + Mesh("0", "hi.im");
    const struct
    {
        std::string keys;
        uint32_t calcPoint;
        float multiplier;
        float renderCutOff;
    } cases[] = {
        {"", 0, 1.0f, 0.0f},
        {"calcPoint \"NEAR\"\n", 1, 1.0f, 0.0f},
        {"calcPoint far\n", 2, 1.0f, 0.0f},
        {"calcPoint middle\n", 0, 1.0f, 0.0f},
        {"multiplier 2.5\nrenderCutOff 900\n", 0, 2.5f, 900.0f},
    };
    for (const auto& c : cases)
    {
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        ASSERT_EQ(ReadLOD(levels + c.keys, def), 0) << c.keys;
        EXPECT_EQ(def.GetCalcPoint(), c.calcPoint) << c.keys;
        EXPECT_EQ(def.GetMultiplier(), c.multiplier) << c.keys;
        EXPECT_EQ(def.GetRenderCutOff(), c.renderCutOff) << c.keys;
        EXPECT_EQ(def.GetOffset(), 0.0f);
        EXPECT_EQ(def.GetAnimationCutOff(), 0.0f);
        EXPECT_EQ(def.GetAttachmentCutOff(), 0.0f);
    }
}

TEST_F(TextDescription, LODMeshNamesAreReadFromTheDescriptionsFolder)
{
    std::filesystem::create_directories(folder_ / "sub/parts");
    Write("sub/only.im", BuildIndexedMesh(IndexedMeshSpec()));
    Write("sub/parts/tri.imtxt", TriangleText());
    ResourceDatabase paths{PString(), nullptr};  // serves full paths, as validation loads meshes
    const struct
    {
        const char* what;
        bool byPath;
        const char* mesh;
        int result;
    } cases[] = {
        {"beside the description", false, "only.im", 0},
        {"beside it, by path", true, "only.im", 0},
        {"a text mesh in a folder below", false, "parts\\tri.imtxt", 0},
        {"folding back inside", false, "parts/../only.im", 0},
        {"from the root", false, "/hi.im", 0},
        {"through a substitution", true, "lodsrc:hi.im", 0},
        {"climbing out", false, "../hi.im", 2},
        {"climbing out, by path", true, "parts/../../hi.im", 2},
    };
    for (const auto& c : cases)
    {
        Write("sub/x.lm.txt", "version 1.00\n" + Mesh("0", c.mesh));
        const std::string name = c.byPath ? folder_ / "sub/x.lm" : "sub/x.lm";
        auto* lod = new VelmarGeometryBaseResource(PString(name), c.byPath ? &paths : database_.get());
        lod->AddRef();
        VelmarIndexedMeshLODDefinition def{MeshOptions()};
        EXPECT_EQ(def.ReadLODDescription(&display_, &manager_, lod, name + ".txt", 0xFFFFFFFFu), c.result) << c.what;
        lod->Release();
    }
}

TEST_F(TextDescription, TooManyMeshItemsAreRefused)
{
    std::string text = "version 1.00\n";
    for (int i = 0; i <= 1024; ++i) text += Mesh(std::to_string(i), "hi.im");
    VelmarIndexedMeshLODDefinition def{MeshOptions()};
    EXPECT_EQ(ReadLOD(text, def), 3);
}

TEST_F(TextDescription, TextLODSavedAndReadBack)
{
    VelmarIndexedMeshLODDefinition def{MeshOptions()};
    ASSERT_EQ(ReadLOD("version 1.00\n" + Mesh("0", "hi.im") + Mesh("80", "lo.im") + Mesh("a.lamp", "lamp.im") +
                          "offset 3\nattachmentCutOff 40\n",
                      def),
              0);
    EXPECT_EQ(def.GetOwnedLevelCount(), 3u);
    const std::string path = folder_ / "saved.lm";
    {
        File file;
        ASSERT_EQ(file.Open(path, File::ModeWrite), 0);
        ASSERT_EQ(def.SaveLODM(file), 0);
    }
    def.FinishOwnedLevels(lod_);
    EXPECT_EQ(def.GetOwnedLevelCount(), 0u);

    VelmarIndexedMeshLODDefinition back{MeshOptions()};
    ASSERT_EQ(back.LoadLODM(&display_, &manager_, lod_, "saved.lm", 0), 0);
    EXPECT_EQ(back.GetSwitchDistances(), def.GetSwitchDistances());
    EXPECT_EQ(back.GetLevels().size(), 3u);
    EXPECT_EQ(back.GetOffset(), 3.0f);
    EXPECT_EQ(back.GetAttachmentCutOff(), 40.0f);
    ASSERT_EQ(back.GetAttachmentMeshes().size(), 1u);
    EXPECT_EQ(back.GetAttachmentMeshes()[0].level, 2u);
    EXPECT_EQ(back.GetLevels()[2].chunkNames[0], "tri");
    EXPECT_EQ(back.GetChunkCount(), 1u);
}

TEST_F(TextDescription, TextMeshes)
{
    const struct
    {
        const char* what;
        std::string text;
        int result;
    } cases[] = {
        {"one triangle", TriangleText(), 0},
        {"no vertices", "version 1.00\nchunk\n{\n}\n", 3},
        {"an index beyond the vertices", TriangleText("hull.m.onetex", "0,1,3"), 3},
        {"positions that are not whole vectors", "chunk\n{\n  positions 0,0\n}\n", 3},
        {"an unknown material", TriangleText("hull.m.tbumptex"), 7},
        {"an unclosed brace", "chunk\n{\n", 3},
    };
    for (const auto& c : cases)
    {
        Write("x.imtxt", c.text);
        VelmarIndexedMeshDefinition def{MeshOptions()};
        EXPECT_EQ(def.LoadFromConfigText(&display_, &manager_, lod_, "x.imtxt", 0), c.result) << c.what;
    }
    VelmarIndexedMeshDefinition missing{MeshOptions()};
    EXPECT_EQ(missing.LoadFromConfigText(&display_, &manager_, lod_, "none.imtxt", 0), 2);
    VelmarIndexedMeshDefinition noManager{MeshOptions()};
    EXPECT_EQ(noManager.LoadFromConfigText(&display_, nullptr, lod_, "tri.imtxt", 0), 5);

    VelmarIndexedMeshDefinition def{MeshOptions()};
    ASSERT_EQ(def.LoadFromConfigText(&display_, &manager_, lod_, "tri.imtxt", 0), 0);
    EXPECT_EQ(def.GetChunkCount(), 1u);
    EXPECT_EQ(def.GetPosition(), Vector3(1, 2, 3));
    EXPECT_EQ(def.GetBoundsHigh(), Vector3(1, 1, 0));
    EXPECT_TRUE(def.GetOrientedBox().IsZero());
    EXPECT_EQ(def.GetChunkMaterial(0)->GetDisplayMaterial().power, 32.0f);  // x 128
    EXPECT_NEAR(def.GetTextureDetailBias(), 1.0f, 1e-5f);

    // Undecorated material names get names of their own.
    Write("plain.imtxt", TriangleText("paint"));
    VelmarIndexedMeshDefinition a{MeshOptions()}, b{MeshOptions()};
    ASSERT_EQ(a.LoadFromConfigText(&display_, &manager_, lod_, "plain.imtxt", 0), 0);
    ASSERT_EQ(b.LoadFromConfigText(&display_, &manager_, lod_, "plain.imtxt", 0), 0);
    EXPECT_NE(a.GetChunkMaterial(0)->GetName(), b.GetChunkMaterial(0)->GetName());
    EXPECT_EQ(a.GetChunkMaterial(0)->GetType(), "notex");
    EXPECT_EQ(a.GetChunkMaterial(0)->GetName().Find("*plain*"),
              int(std::string("VelmarIndexedMeshDefinition::CreateMaterial> ").size()));

    // No chunk limit on this path.
    std::string many = "version 1.00\n";
    const std::string one = TriangleText().substr(TriangleText().find("chunk"));
    for (int i = 0; i < 1100; ++i) many += one;
    Write("many.imtxt", many);
    VelmarIndexedMeshDefinition big{MeshOptions()};
    ASSERT_EQ(big.LoadFromConfigText(&display_, &manager_, lod_, "many.imtxt", 0), 0);
    EXPECT_EQ(big.GetChunkCount(), 1100u);
}

TEST_F(TextDescription, ProgressiveFiles)
{
    auto pmin = [](uint32_t version, uint32_t words) {
        return [version, words](Bytes& b) {
            const size_t m = b.Begin("PMIN", version);
            b.U32(words).U32(1).U32(1).U32(1);
            for (uint32_t i = 0; i < words && i < 4; ++i) b.U32(0);
            b.U32(0).U32(0).U32(0).U32(words);  // block 2: one record
            b.U32(0).U32(1);                    // block 3: one record
            b.U32(1);                           // block 4
            b.End(m);
        };
    };
    const struct
    {
        const char* what;
        Bytes file;
        int result;
    } cases[] = {
        {"with PMIN", BuildIndexedMesh(IndexedMeshSpec(), pmin(101, 4)), 0},
        {"PMIN of version 100", BuildIndexedMesh(IndexedMeshSpec(), pmin(100, 4)), 4},
        {"PMIN announcing more than it holds", BuildIndexedMesh(IndexedMeshSpec(), pmin(101, 0x10000000)), 3},
        {"without PMIN", BuildIndexedMesh(IndexedMeshSpec()), 0},
    };
    for (const auto& c : cases)
    {
        VelmarProgressiveMeshDefinition def{MeshOptions()};
        def.SetFileData(c.file.data.data(), c.file.data.size(), "meshes/x.pm");
        EXPECT_EQ(def.LoadHeld(&display_, &manager_, nullptr, 0), c.result) << c.what;
        if (c.result == 0)
        {
            EXPECT_EQ(def.GetName(), "x.pm");
        }
    }

    // No chunk limit; never hardware skinning, whatever the display.
    display_.SetCapability(Display::CapHardwareSkinning, true);
    IndexedMeshSpec many;
    many.infoVersion = 102;
    many.influencesPerVertex = 1;
    many.chunkCount = 2000;
    TriangleGeom skinned;
    skinned.weights = 1;
    many.chunks.assign(2000, skinned);
    const Bytes big = BuildIndexedMesh(many);
    VelmarProgressiveMeshDefinition def{MeshOptions()};
    def.SetFileData(big.data.data(), big.data.size(), "big.pm");
    ASSERT_EQ(def.LoadHeld(&display_, &manager_, nullptr, 0), 0);
    EXPECT_EQ(def.GetChunkCount(), 2000u);
    EXPECT_FALSE(def.IsHardwareSkinned());
    EXPECT_EQ(def.GetTextureDetailBias(), 0.0f);
}

TEST_F(TextDescription, ResourceDatabaseServesTheArchiveBesideAFolder)
{
    ASSERT_TRUE(File::Md(folder_ / "pack"));
    ASSERT_TRUE(File::WriteFile(folder_ / "pack/a.im", "x"));
    {
        VelmarResourceDatabase db(PString("packsrc"), folder_ / "pack", nullptr);
        EXPECT_FALSE(db.IsArchive());
        EXPECT_EQ(db.GetSubstitutedPath(), folder_ / "pack/");
        EXPECT_TRUE(db.Exists("a.im"));
    }
    EXPECT_FALSE(File::HasSubst("packsrc"));
    ASSERT_TRUE(File::WriteFile(folder_ / "pack.oa", "archive"));
    VelmarResourceDatabase db(PString("packsrc"), folder_ / "pack", nullptr);
    EXPECT_TRUE(db.IsArchive());
    EXPECT_EQ(db.GetSubstitutedPath(), folder_ / "pack.oa");
    EXPECT_FALSE(db.Exists("a.im"));  // the folder's own files are not seen
}
