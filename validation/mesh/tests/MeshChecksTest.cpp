// The mesh source as this program has it: progressive meshes get their finding, and an asset whose meshes
// or animations cannot be loaded here is told so, once. (An indexed mesh, and a progressive one from 2.9:
// the corpus, tests/e2e/ValidationCorpusE2ETest.cpp.)
#include "validation/mesh/MeshChecks.h"
#include "validation/tests/ValidationTestSupport.h"

namespace validation_test {
namespace {

std::string Table(const std::string& entry) { return "mesh-table\n{\n  default\n  {\n" + entry + "  }\n}\n"; }

class MeshChecksTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        TETLib::RegisterMeshChecks();
        for (const char* f : {"body.im", "old.pm", "wave.kin", "lod.lm", "lod.lm.txt", "brick.texture"})
            WriteFile(std::string("asset/") + f, "x");
        WriteFile("asset/brick.texture.txt", "");
    }
    void TearDown() override
    {
        TETLib::SetTextureFolderCheck(nullptr);
        TETLib::SetMeshSource(nullptr);
        ValidationTest::TearDown();
    }
};

TEST_F(MeshChecksTest, ProgressiveMeshesAndMeshesNotChecked)
{
    const std::string unchecked = "; $tet_mesh_checks_unavailable";
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
    } cases[] = {
        {"a LOD mesh and an animation, said once",
         Head("scenery") + Table("    mesh \"lod.lm\"\n    anim \"wave.kin\"\n    auto-create 1\n"),
         {unchecked}},
        {"a LOD description",
         Head("scenery") + Table("    mesh \"lod.lm.txt\"\n    auto-create 1\n"),
         {"- $tet_container_nomeshext CONT_NAME=default FILENAME=lod.lm.txt TAG_NAME=mesh", unchecked}},
        {"a progressive mesh before 2.9",
         Head("scenery", "2.89") + Table("    mesh \"old.pm\"\n    auto-create 1\n"),
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9", "! $tet_dm_unsupportedformat", unchecked}},
        {"no mesh at all", Head("texture") + "texture \"brick.texture\"\n", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.config), c.findings) << c.name;
}

}  // namespace
}  // namespace validation_test
