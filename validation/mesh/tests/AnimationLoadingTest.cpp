// Animations loaded onto the meshes validation loads, as the asset's findings, beside what the corpus's
// mutated copies show (tests/e2e/ValidationCorpusE2ETest.cpp: a bone the mesh lacks, a file cut short or
// of any bytes, a mesh without bones, an animation before its mesh): the bones of a LOD mesh, bones named
// in another case, a file missing or a folder, the report once per configuration and not for an alias;
// what a loaded mesh then holds (its named parts, the animation's frame count), and a mesh that did not
// load.
#include "engine/Animation.h"
#include "engine/Particle.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "validation/mesh/MeshData.h"
#include "validation/mesh/tests/MeshValidationTest.h"

namespace validation_test {
namespace {

class AnimationLoadingTest : public MeshValidationTest
{
protected:
    // An indexed mesh whose chunk follows the bone "arm" of a skeleton "frame" - "arm".
    void BonyMesh(const std::string& name)
    {
        std::string text = Grid(1, 1);
        text += meshtext::Bones({{"frame", ""}, {"arm", "frame"}});
        Mesh(name, text);
    }
    // An animation of 40 frames moving the bones given.
    void Animation(const std::string& name, const std::vector<std::string>& bones)
    {
        Orvo::Animation a;
        a.frameCount = 40;
        a.framesPerSecond = 20.0f;
        for (const std::string& bone : bones)
            a.tracks.push_back({Orvo::PString(bone), {{0, {}, {}}, {39, {0, 0, 1}, {0, 0, 0.70710677f, 0.70710677f}}}});
        ASSERT_TRUE(a.Save(AssetFolder() + name));
    }

    struct Case
    {
        const char* name;
        std::function<void()> files;
        std::string entry;
        std::vector<std::string> findings;
    };
    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases)
        {
            fs::remove_all(AssetFolder());
            fs::create_directories(AssetFolder());
            c.files();
            EXPECT_EQ(Validate(Head("scenery") + Table(c.entry)), c.findings) << c.name;
        }
    }
};

const std::string kAnimated = "    mesh \"body.im\"\n    auto-create 1\n    anim \"wave.kin\"\n";

}  // namespace

TEST_F(AnimationLoadingTest, WhatAnAnimationFindsOnItsMesh)
{
    Check({
        {"an animation moving the mesh's bones",
         [&] {
             BonyMesh("body.im");
             Animation("wave.kin", {"frame", "arm"});
         },
         kAnimated,
         {}},
        {"a LOD mesh's bones",
         [&] {
             const std::string bones = meshtext::Bones({{"frame", ""}, {"arm", "frame"}});
             LODMesh("body.lm", {Grid(20, 10, {"a.light"}) + bones, Grid(15, 10, {"a.light"}) + bones});
             Animation("wave.kin", {"arm"});
         },
         "    mesh \"body.lm\"\n    auto-create 1\n    anim \"wave.kin\"\n",
         {}},
        {"bones compared in their case",
         [&] {
             BonyMesh("body.im");
             Animation("wave.kin", {"Arm"});
         },
         kAnimated,
         {"- $tet_mesh_animationfailedskeleton FILE=wave.kin REASON=it moves the bone \"Arm\", which its mesh lacks"}},
        {"an animation file that is not there",
         [&] { BonyMesh("body.im"); },
         kAnimated,
         {"- $tet_mesh_animationfailedres FILE=wave.kin REASON=there is no such file",
          "- $tet_val_file_dne FILE=wave.kin"}},
        {"a folder named like the animation",
         [&] {
             BonyMesh("body.im");
             fs::create_directories(AssetFolder() + "wave.kin");
         },
         kAnimated,
         {"- $tet_mesh_animationfailedres FILE=wave.kin REASON=it is not a file"}},
    });
}

TEST_F(AnimationLoadingTest, AnAnimationBeforeAnyMeshIsReportedOncePerConfiguration)
{
    BonyMesh("body.im");
    Animation("wave.kin", {"arm"});
    const std::string first = "    anim \"wave.kin\"\n    mesh \"body.im\"\n    auto-create 1\n";
    const std::string table = "mesh-table\n{\n  a\n  {\n" + first + "  }\n  b\n  {\n" + first + "  }\n}\n";
    const std::vector<std::string> once = {"- $tet_dm_animationfailed ANIM_NAME=wave.kin"};
    EXPECT_EQ(Validate(Head("scenery") + table), once);
    // The next configuration reports it again.
    EXPECT_EQ(Validate(Head("scenery") + table), once);
    // Not in an alias.
    const std::vector<std::string> alias = Validate(Head("scenery") + table + "alias <kuid:900001:1>\n");
    EXPECT_EQ(std::count(alias.begin(), alias.end(), once[0]), 0);
}

TEST_F(AnimationLoadingTest, ALoadedMeshHoldsItsPartsAndAnimations)
{
    BonyMesh("body.im");
    Animation("wave.kin", {"frame", "arm"});
    Manager().SetCurrentAsset(Orvo::PString(), AssetFolder());

    TETLib::MeshData mesh(Manager());
    ASSERT_TRUE(mesh.Load(Orvo::File::Path(AssetFolder() + "body.im"), nullptr));
    ASSERT_TRUE(mesh.IsAnimatable());
    EXPECT_EQ(mesh.GetTypeName(), Orvo::PString("some name"));
    EXPECT_EQ(mesh.GetMeshInstance(), mesh.GetInstance());
    ASSERT_NE(mesh.GetDefinitionInfo(), nullptr);
    EXPECT_EQ(mesh.GetDefinitionInfo()->GetChunkCount(), 1u);
    EXPECT_EQ(mesh.GetPartRecordCount(), 0u);
    // One named part a particle of the instance's tree: the instance and its skeleton's two bones.
    std::vector<std::string> parts;
    for (const TETLib::MeshNamedPart& p : mesh.GetNamedParts()) parts.push_back(p.name.str());
    EXPECT_EQ(mesh.GetNamedPartCount(), parts.size());
    EXPECT_EQ(std::count(parts.begin(), parts.end(), "frame"), 1);
    EXPECT_EQ(std::count(parts.begin(), parts.end(), "arm"), 1);
    EXPECT_EQ(mesh.GetNamedParts().front().particle, mesh.GetInstance());

    ASSERT_TRUE(mesh.LoadAnimation(Orvo::File::Path(AssetFolder() + "wave.kin")));
    ASSERT_EQ(mesh.GetAnimations().size(), 1u);
    EXPECT_EQ(mesh.GetAnimations()[0].value, 40u);
    ASSERT_NE(mesh.GetSkeletonModifier(), nullptr);
    EXPECT_EQ(mesh.GetSkeletonModifier()->GetObserved(), &mesh);
    EXPECT_EQ(mesh.GetSkeletonModifier()->GetAnimations().size(), 1u);
    EXPECT_TRUE(errors_.GetMessages().empty());

    // A mesh that did not load takes no animation, and says why without an owner.
    TETLib::MeshData missing(Manager());
    EXPECT_FALSE(missing.Load(Orvo::File::Path(AssetFolder() + "gone.im"), nullptr));
    EXPECT_FALSE(missing.LoadAnimation(Orvo::File::Path(AssetFolder() + "wave.kin")));
    ASSERT_EQ(errors_.GetMessages().size(), 1u);
    EXPECT_EQ(errors_.GetMessages()[0]->text.str(), "$tet_mesh_animationfailedmesh FILE=wave.kin");
}

}  // namespace validation_test
