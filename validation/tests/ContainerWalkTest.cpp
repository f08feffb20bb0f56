// The asset as a whole and the check walk against our templates: obsolete kinds, missing kind, compulsory
// tags and containers by build, obsolete tags by build, and the order of findings. (The findings of the
// head and the walk that an asset shows through the tool: tests/e2e/ValidateE2ETest.cpp.)
#include "ValidationTestSupport.h"

#include "validation/Tag.h"

namespace validation_test {
namespace {

class ContainerWalkTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        WriteFile("asset/box.im", "mesh");
    }
};

TEST_F(ContainerWalkTest, FindingsOfTheWalk)
{
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
        int passed = -1;  // whether the head let the asset pass (1) or stopped it (0); -1: not asked
    } cases[] = {
        {"clean", Head("scenery") + kMesh, {}, 1},
        // An asset too new stops at its error; an obsolete kind stops at its warning and passes.
        {"future", Head("scenery", "3.71") + "frobnicate 1\n", {"- $tet_future_asset"}, 0},
        {"water", Head("WaTeR") + "frobnicate 1\n", {"! $tet_obsolete_water"}, 1},
        {"tintbay", Head("Tintbay-Skin"), {"! $tet_obsolete_tintbay"}, 1},
        {"no build, no kind",
         "kuid <kuid:900001:500>\nusername \"Old\"\n",
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9", "- $tet_container_nokindtag"},
         0},
        {"compulsory tag missing at its build",
         Head("scenery", "3.5").substr(0, Head("scenery", "3.5").find("category")) + kMesh,
         {"- $tet_container_missingtag TAG_NAME=category-class"}},
        {"compulsory container missing below its build",
         Head("scenery", "2.8"),
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9", "! $tet_container_missingcontainer CONT_NAME=mesh-table"}},
        {"obsolete tag before its build", Head("scenery", "2.95") + kMesh + "light 1\n", {}},
        {"numbered region tag, old asset",
         Head("scenery", "2.8") + kMesh + "category-region-1 \"UK\"\n",
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9",
          "! $tet_container_obsoletetag CONT_NAME=scenery TAG_NAME=category-region-1"}},
        {"numbered region tag",
         Head("scenery", "3.0") + kMesh + "category-region-1 \"UK\"\n",
         {"- $tet_container_obsoletetag CONT_NAME=scenery TAG_NAME=category-region-1"}},
        {"language variants", Head("scenery") + kMesh + "username-de \"Stellwerk\"\ndescription-fr \"Poste\"\n", {}},
        {"rem in a very old asset",
         Head("scenery", "2.4") + kMesh + "rem \"x\"\n",
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9"}},
        {"rem",
         Head("scenery", "2.5") + kMesh + "rem \"x\"\n",
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9",
          "- $tet_container_nodefinition CONT_NAME=scenery TAG_NAME=rem"}},
        {"value where a container belongs",
         Head("scenery") + kMesh + "thumbnails 3\n",
         {"- $tet_container_nodefinition CONT_NAME=scenery TAG_NAME=thumbnails"}},
        {"container where a value belongs",
         Head("scenery") + kMesh + "description\n{\n}\n",
         {"- $tet_container_notacontainer TAG_NAME=description TYPE=string"}},
        {"extensions are the author's own",
         Head("scenery") + kMesh + "extensions\n{\n  anything \"goes\"\n  deep\n  {\n    x 1\n  }\n}\n",
         {}},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Validate(c.config), c.findings) << c.name;
        if (c.passed >= 0)
        {
            EXPECT_EQ(passed_, c.passed == 1) << c.name;
        }
    }
}

TEST_F(ContainerWalkTest, FindingsComeInWalkThenExportOrderWithKeyTagsFirst)
{
    // Read in file order (walk), then written with "kuid" and "username" first (export).
    const std::string config = "description \"\"\nfrobnicate 1\nkind \"scenery\"\nvelmar-build 3.7\n"
                               "category-class \"BD\"\n" +
                               kMesh + "username \"\"\nkuid <kuid:900001:500>\n";
    EXPECT_EQ(Validate(config), (std::vector<std::string>{
                                    "- $tet_container_nodefinition CONT_NAME=scenery TAG_NAME=frobnicate",
                                    "- $tet_container_emptystringerr CONT_NAME=scenery TAG_NAME=username",
                                    "! $tet_container_emptystringwarn CONT_NAME=scenery TAG_NAME=description",
                                }));
    EXPECT_FALSE(passed_);
}

TEST_F(ContainerWalkTest, EachConfigurationChildIsOneTagOwnedOnce)
{
    const long before = Manager().LiveTagCount();
    EXPECT_EQ(Validate(Head("scenery") + kMesh + "description \"one\"\ndescription \"two\"\n"),
              std::vector<std::string>{"- $tet_val_duplicatetagname CONT_NAME=scenery TAG_NAME=description"});
    EXPECT_EQ(Validate(Head("scenery") + "mesh-table\n{\n  default\n  {\n    mesh \"box.im\"\n    auto-create 1\n  }\n"
                                         "  default\n  {\n    mesh \"box.im\"\n  }\n}\n"),
              std::vector<std::string>{"- $tet_val_duplicatecontainername CONT_NAME=mesh-table TAG_NAME=default"});
    EXPECT_EQ(Manager().LiveTagCount(), before);
    EXPECT_EQ(Manager().LiveContainerCount(), 0);
}

}  // namespace
}  // namespace validation_test
