// The asset as a whole: configuration file, build, obsolete kinds, kind and its definition, alias.
#include "ValidationTestSupport.h"

namespace validation_test {
namespace {

using AssetHeadTest = ValidationTest;

TEST_F(AssetHeadTest, HeadFindingsByConfiguration)
{
    UseOurTemplates();
    WriteFile("asset/box.im", "mesh");
    const std::string mesh = "mesh-table\n{\n  default\n  {\n    mesh \"box.im\"\n    auto-create 1\n  }\n}\n";
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
        bool passed;
    } cases[] = {
        {"clean", Head("scenery") + mesh, {}, true},
        {"future", Head("scenery", "3.71") + "frobnicate 1\n", {"- $tet_future_asset"}, false},
        {"newest", Head("scenery", "3.7") + mesh, {}, true},
        {"water", Head("WaTeR") + "frobnicate 1\n", {"! $tet_obsolete_water"}, true},
        {"tintbay", Head("Tintbay-Skin"), {"! $tet_obsolete_tintbay"}, true},
        {"no build, no kind",
         "kuid <kuid:900001:500>\nusername \"Old\"\n",
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9", "- $tet_container_nokindtag"},
         false},
        {"no definition", Head("hovercraft"), {"- $tet_container_nokindspecification"}, false},
        {"alias", Head("scenery") + mesh + "alias <kuid:900001:501>\n", {"! $tet_container_alias"}, true},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Validate(c.config), c.findings) << c.name;
        EXPECT_EQ(passed_, c.passed) << c.name;
    }
}

}  // namespace
}  // namespace validation_test
