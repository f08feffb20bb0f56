// Meshes loaded for validation, written by our own writers: what loading finds, the performance rules of
// LOD meshes, progressive meshes and animations, each as the asset's findings. (A missing mesh, a texture
// description naming a missing image, a compiled texture that does not load, a plain LOD mesh and
// progressive meshes on both sides of 2.9: the corpus, tests/e2e/ValidationCorpusE2ETest.cpp.)
#include "engine/Bitmap.h"
#include "engine/MaterialManager.h"
#include "validation/mesh/MeshData.h"
#include "validation/mesh/tests/MeshValidationTest.h"

#include <functional>

namespace validation_test {
namespace {

// A material type made as a plain material keeping its settings and texture names, as mesh files hold it.
class PlainPlugin : public Orvo::MaterialPlugin
{
public:
    PlainPlugin(const char* type, const char* id) : MaterialPlugin(Orvo::PString(type), Orvo::UId(id)) {}
    Orvo::Material* Create(const Orvo::PString& name, Orvo::Display*) override
    {
        return new Orvo::Material(name, GetName());
    }
};

class MeshLoadingTest : public MeshValidationTest
{
protected:
    void Image(const std::string& name)
    {
        Orvo::Bitmap image(16, 16, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < 16; ++y)
            for (uint32_t x = 0; x < 16; ++x) image.Row(y)[x * 4] = uint8_t(x * 16 + y);
        ASSERT_TRUE(image.Save(AssetFolder() + name));
    }

    struct Case
    {
        const char* name;
        std::function<void()> files;
        std::string config;
        std::vector<std::string> findings;
    };
    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases)
        {
            fs::remove_all(AssetFolder());
            fs::create_directories(AssetFolder());
            c.files();
            EXPECT_EQ(Validate(c.config), c.findings) << c.name;
        }
    }
};

const std::string kBody = "    mesh \"body.im\"\n    auto-create 1\n";
const std::string kLOD = "    mesh \"body.lm\"\n    auto-create 1\n";

}  // namespace

TEST_F(MeshLoadingTest, WhatLoadingFinds)
{
    auto textured = [this](const std::string& material, const std::string& texture) {
        Mesh("body.im", meshtext::GridMesh(2, 2, material, texture));
    };
    Check({
        // The mesh reader lower-cases texture names; the file is found whatever its case.
        {"an indexed mesh and its texture",
         [&] {
             textured("body.m.onetex", "Skin.tga");
             Image("Skin.tga");
         },
         Head("scenery") + Table(kBody),
         {}},
        {"a file that is no mesh",
         [&] { WriteFile("asset/body.im", "no mesh"); },
         Head("scenery") + Table(kBody),
         {"- $tet_mesh_initialise_mesh FILE=body.im"}},
        // Said once, though two entries load the mesh.
        {"a texture that is not there",
         [&] { textured("body.m.onetex", "Skin.tga"); },
         Head("scenery") + "mesh-table\n{\n  default\n  {\n" + kBody + "  }\n  other\n  {\n" + kBody + "  }\n}\n",
         {"- $tet_mesh_failedmaterial FILE=body.im MATERIAL=body.m.onetex TEXTURE=skin.tga"}},
        {"a material that cannot be made",
         [&] {
             // Written while the type has a plug-in, loaded without one: the placeholder of the type stands in.
             Orvo::PluginBase::RegisterPluginType(new PlainPlugin("tbumptex", "11111111-2222-3333-4444-555555555555"));
             textured("body.m.tbumptex", "skin.tga");
             Orvo::PluginBase::UnregisterAll();
             Orvo::MaterialManager::RegisterEngineMaterialTypes();
             Image("skin.tga");
         },
         Head("scenery") + Table(kBody),
         {"- $tet_mesh_failedmaterial FILE=body.im MATERIAL=body.m.tbumptex TEXTURE=skin.tga"}},
        {"a description not in the texture folder check's form",
         [&] {
             textured("body.m.onetex", "skin.txt");
             WriteFile("asset/skin.txt", "Alpha=a.tga\nPrimary=gone.tga\n");
         },
         Head("scenery") + Table(kBody),
         {"- $tet_mesh_load_texture IMG=gone.tga MESH=body.im TXTR=skin.txt"}},
    });
}

// Each start of the library loads meshes through a resource database of its own, and its end takes what the
// resource cache kept of them out of the cache: a process that starts the library again and again neither
// piles up cached meshes nor gets an earlier start's copy of a file that has changed since.
TEST_F(MeshLoadingTest, EachStartOfTheLibraryLoadsThroughADatabaseOfItsOwn)
{
    const size_t before = resources_.CachedCount();
    const Orvo::File::Path file(AssetFolder() + "body.im");
    Mesh("body.im", Grid(2, 2, {"a.first"}));
    {
        TETLib::MeshData mesh(Manager());
        ASSERT_TRUE(mesh.Load(file, nullptr));
        EXPECT_TRUE(mesh.HasAttachmentPoint("a.first"));
    }
    EXPECT_GT(resources_.CachedCount(), before);  // kept while its start of the library stands

    Mesh("body.im", Grid(2, 2, {"a.second"}));
    UseOurTemplates();  // the library started again
    EXPECT_EQ(resources_.CachedCount(), before);
    StartScene();
    TETLib::MeshData mesh(Manager());
    ASSERT_TRUE(mesh.Load(file, nullptr));
    EXPECT_TRUE(mesh.HasAttachmentPoint("a.second"));
    EXPECT_FALSE(mesh.HasAttachmentPoint("a.first"));
    EXPECT_TRUE(errors_.GetMessages().empty());
}

TEST_F(MeshLoadingTest, MissingMeshOfAnAliasIsNotReported)
{
    const std::vector<std::string> findings = Validate(Head("scenery") + Table(kBody) + "alias <kuid:900001:1>\n");
    EXPECT_EQ(std::count(findings.begin(), findings.end(), "- $tet_mesh_load_mesh FILE=body.im"), 0);
}

TEST_F(MeshLoadingTest, PerformanceRulesOfLODMeshes)
{
    Check({
        {"one plain level, for a traincar",
         [&] { LODMesh("body.lm", {Grid(2, 3)}); },
         Head("traincar") + Table(kLOD),
         {}},
        {"two levels with points, the lowest of 300 polygons",
         [&] {
             LODMesh("body.lm", {Grid(20, 10, {"a.light"}), Grid(15, 10, {"a.light"})});
         },
         Head("scenery") + Table(kLOD),
         {}},
        {"a lowest level of 298 polygons",
         [&] {
             LODMesh("body.lm", {Grid(20, 10, {"a.light"}), Grid(149, 1, {"a.light"})});
         },
         Head("scenery") + Table(kLOD),
         {"! $tet_lm_performance_low_poly FILE=body.lm"}},
    });
}

TEST_F(MeshLoadingTest, LargeTrackMeshesShouldHaveLevelsOfDetail)
{
    const std::string table =
        "mesh-table\n{\n  hi\n  {\n    mesh \"big.im\"\n    auto-create 1\n  }\n  lo\n  {\n    mesh \"small.im\"\n"
        "  }\n}\n";
    const std::string tree = "track\n{\n  track-lod-tree\n  {\n    mesh \"lo\"\n    high-detail\n    {\n"
                             "      low-detail\n      {\n        mesh \"hi\"\n      }\n    }\n  }\n}\n";
    auto meshes = [&](uint32_t across) {
        return [this, across] {
            Mesh("big.im", Grid(across, 20));  // 120 indices a column
            Mesh("small.im", Grid(1, 1));
        };
    };
    Check({
        {"3000 indices", meshes(25), Head("track") + table, {}},
        {"3120 indices", meshes(26), Head("track") + table, {"! $tet_mesh_should_have_lod FILE=big.im"}},
        {"3120 indices named by a LOD tree", meshes(26), Head("track") + table + tree, {}},
        {"3120 indices before 2.9",
         meshes(26),
         Head("track", "2.89") + table,
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9"}},
        {"3120 indices of another kind", meshes(26), Head("scenery") + table, {}},
    });
}

TEST_F(MeshLoadingTest, ProgressiveMeshesAndAnimations)
{
    auto body = [&] { Mesh("body.im", Grid(1, 1)); };
    auto bodyAnd = [&](const char* file) {
        return [this, file] {
            Mesh("body.im", Grid(1, 1));
            WriteFile(std::string("asset/") + file, "x");
        };
    };
    const std::string pm = "    mesh \"old.pm\"\n    auto-create 1\n";
    Check({
        {"a progressive mesh that is not there",
         body,
         Head("scenery") + Table(pm),
         {"- $tet_dm_unsupportedformat", "- $tet_mesh_load_mesh FILE=old.pm", "- $tet_val_file_dne FILE=old.pm"}},
        // Read onto its entry's mesh (AnimationLoadingTest.cpp has the animations that load).
        {"an animation on its entry's mesh",
         bodyAnd("wave.kin"),
         Head("scenery") + Table(kBody + "    anim \"wave.kin\"\n"),
         {"- $tet_mesh_animationfailedres FILE=wave.kin REASON=it is not an animation file"}},
        {"an animation file that is not there",
         body,
         Head("scenery") + Table(kBody + "    anim \"wave.kin\"\n"),
         {"- $tet_mesh_animationfailedres FILE=wave.kin REASON=there is no such file",
          "- $tet_val_file_dne FILE=wave.kin"}},
        // Named before the entry's mesh, the animation has no mesh to go onto (not the other entry's).
        {"animations before their meshes, said once",
         bodyAnd("wave.kin"),
         Head("scenery") +
             "mesh-table\n{\n  a\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n  b\n  {\n    anim \"wave.kin\"\n"
             "    mesh \"body.im\"\n  }\n  c\n  {\n    anim \"wave.kin\"\n    mesh \"body.im\"\n  }\n}\n",
         {"- $tet_dm_animationfailed ANIM_NAME=wave.kin"}},
    });
}

}  // namespace validation_test
