// The normaliser's builders of old assets looking into real meshes through the mesh checks: the track
// ends of turntables and crossings and the name points of scenery become configuration entries, and an
// old asset so rewritten validates with nothing but its age to report.
#include "core/SoupText.h"
#include "engine/Animation.h"
#include "validation/mesh/tests/MeshValidationTest.h"
#include "validation/upgrade/ConfigNormaliser.h"

namespace validation_test {
namespace {

class MeshNormaliserTest : public MeshValidationTest
{
protected:
    void SetUp() override
    {
        MeshValidationTest::SetUp();
        UsePlugins(TETLib::RegisterConfigNormaliser);
        Mesh("base/base.im", Grid(1, 1, {"a.otrack0a", "a.otrack0b", "a.otrack1a", "a.otrack1b", "a.otrack2a"}));
        Mesh("deck/deck.im", Grid(1, 1, {"a.itrack0a", "a.itrack0b"}));
        // The gate turns on its bone: a real animation for it.
        Mesh("gate/gate.im",
             Grid(1, 1, {"a.road0a", "a.road0b", "a.track0a", "a.track0b"}) + meshtext::Bones({{"gate", ""}}));
        Orvo::Animation turn;
        turn.frameCount = 10;
        turn.framesPerSecond = 10.0f;
        turn.tracks.push_back({Orvo::PString("gate"), {{0, {}, {}}, {9, {}, {0.70710677f, 0, 0, 0.70710677f}}}});
        ASSERT_TRUE(turn.Save(AssetFolder() + "gate/anim.kin"));
        Mesh("shed.im", Grid(1, 1, {"a.name0", "a.name1", "a.name3"}));
    }
    TDBTagRef Upgraded(const std::string& config)
    {
        TDBTagRef tree;
        EXPECT_TRUE(ReadSoupText(config, "config", tree)) << config;
        Manager().SetCurrentAsset(Orvo::PString(), AssetFolder());
        Manager().SetAssetBuild(2.801f);
        TETLib::UpgradeOldAssetConfig(Manager(), tree);
        return tree;
    }
    static std::vector<std::string> Names(const TDBTagRef& container)
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < container.GetChildCount(); ++i) names.push_back(container.GetChildName(i).str());
        return names;
    }
};

const std::string kTurntable = "kind \"turntable\"\nasset-filename \"tt\"\nusername \"T\"\nmode0 \"base\"\n"
                               "mode1 \"deck\"\ntrack <kuid:900001:9>\n";
const std::string kCrossing = "kind \"mocrossing\"\nasset-filename \"x\"\nusername \"X\"\nmode0 \"gate\"\n"
                              "road <kuid:900001:5>\ntrack <kuid:900001:6>\n";

}  // namespace

TEST_F(MeshNormaliserTest, BuildersFindThePointsOfRealMeshes)
{
    const TDBTagRef turntable = Upgraded(kTurntable);
    EXPECT_EQ(Names(turntable.GetChildContainer("attached-track")),
              (std::vector<std::string>{"tracko1", "tracko2", "tracki1"}));
    EXPECT_EQ(turntable.GetChildContainer("attached-track")
                  .GetChildContainer("tracko2")
                  .GetChildContainer("vertices")
                  .GetChildString("1")
                  .str(),
              "a.otrack1b");

    const TDBTagRef crossing = Upgraded(kCrossing);
    EXPECT_EQ(Names(crossing.GetChildContainer("attached-track")), (std::vector<std::string>{"road1", "track1"}));

    // Name points without a gap: a.name3 is not reached.
    const TDBTagRef scenery = Upgraded("kind \"scenery\"\nasset-filename \"shed\"\nusername \"S\"\n");
    EXPECT_EQ(Names(scenery.GetChildContainer("mesh-table").GetChildContainer("default").GetChildContainer("effects")),
              (std::vector<std::string>{"0", "1"}));

    // A mesh that does not load has no points: no tracks, the mesh table as written.
    fs::remove(AssetFolder() + "deck/deck.im");
    Manager().PurgeLoadedMeshes();  // as after each validation: nothing cached stays
    EXPECT_FALSE(Upgraded(kTurntable).HasChild("attached-track"));
}

TEST_F(MeshNormaliserTest, RewrittenOldAssetsReportOnlyTheirAge)
{
    const std::string head = "kuid <kuid:900001:500>\nvelmar-build 2.8\ncategory-class \"BD\"\n";
    const std::string old = "! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9";
    EXPECT_EQ(Validate(head + kTurntable), std::vector<std::string>{old});
    // The crossing's animation is loaded onto its mesh and fits its bones.
    EXPECT_EQ(Validate(head + kCrossing), std::vector<std::string>{old});
    EXPECT_EQ(Validate(head + "kind \"scenery\"\nasset-filename \"shed\"\nusername \"S\"\n"),
              std::vector<std::string>{old});
}

}  // namespace validation_test
