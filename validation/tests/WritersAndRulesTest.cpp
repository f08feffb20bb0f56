// The export's writers and the named rules, each through an asset of one of our kinds: the finding's key
// and placeholders, and the build gates that change a finding's severity. (Findings of writers and rules
// that an asset shows through the tool: tests/e2e/ValidateE2ETest.cpp.)
#include "ValidationTestSupport.h"

namespace validation_test {
namespace {

std::string Mesh(const std::string& entries) { return "mesh-table\n{\n" + entries + "}\n"; }
std::string Entry(const std::string& name, const std::string& body) { return "  " + name + "\n  {\n" + body + "  }\n"; }
// A head without its category, for the cases about it.
std::string NoClass(const std::string& kind)
{
    return "kuid <kuid:900001:500>\nkind \"" + kind + "\"\nvelmar-build 3.7\nusername \"Sample\"\n";
}
const std::string kDefault = Entry("default", "    mesh \"box.im\"\n    auto-create 1\n");
// A mesh table whose entry has a corona of this colour.
std::string Corona(const std::string& color)
{
    return Mesh(Entry("default", "    mesh \"box.im\"\n    auto-create 1\n    effects\n    {\n      glow\n      {\n"
                                 "        kind \"corona\"\n        att \"a.glow\"\n        color " +
                                     color + "\n      }\n    }\n"));
}

class WritersAndRulesTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        for (const char* f : {"box.im", "brick.texture", "old.tga", "beh.gse", "other.gs"})
            WriteFile(std::string("asset/") + f, "x");
    }
};

TEST_F(WritersAndRulesTest, FindingsByWriterAndRule)
{
    const struct
    {
        const char* name;
        std::string config;
        std::vector<std::string> findings;
    } cases[] = {
        // Combo and list boxes from our lists, compared without regard to case.
        {"combo box from a list", NoClass("scenery") + kMesh + "category-class \"bd\"\n", {}},
        {"list box, one entry known", Head("scenery") + kMesh + "category-region \"XX;uk\"\n", {}},
        {"list box, none known, old asset",
         Head("scenery", "3.4") + kMesh + "category-region \"XX\"\n",
         {"! $tet_container_emptylistbox CONT_NAME=scenery TAG_NAME=category-region"}},
        // Combo boxes whose choices the asset itself defines.
        {"parent entry of the mesh table",
         Head("scenery") + Mesh(kDefault + Entry("lamp", "    mesh \"box.im\"\n    att-parent \"default\"\n")),
         {}},
        {"unknown parent entry",
         Head("scenery") + Mesh(kDefault + Entry("lamp", "    mesh \"box.im\"\n    att-parent \"ghost\"\n")),
         {"- $tet_container_notavalidpossibility2 CONT_NAME=mesh-table/lamp TAG_NAME=att-parent TAG_VAL=ghost"}},
        {"own parent",
         Head("scenery") + Mesh(kDefault + Entry("lamp", "    mesh \"box.im\"\n    att-parent \"lamp\"\n")),
         {"- $tet_val_notownparent"}},
        // Vectors: their size is checked from 3.49.
        {"vector of the wrong size, old asset", Head("scenery", "3.48") + Corona("1,2"), {}},
        {"vector written with blanks",
         Head("scenery") + Corona("\"1, 2, 3\""),
         {"- $tet_val_arraywrongsize NUM_0=3 NUM_1=5 TAG_NAME=color"}},
        // Ranges include their bounds.
        {"range, lower bound", Head("scenery-trackside") + kMesh + "trackside -100\n", {}},
        {"range, upper bound", Head("scenery-trackside") + kMesh + "trackside 100\n", {}},
        {"number rule on an empty value",
         Head("mospeedboard") + kMesh + "trackside 2\nspeedlimit \"\"\n",
         {"- $tet_val_emptyfield TAG_NAME=speedlimit"}},
        // Paired tags: none wanted, none missing.
        {"paired tags, none wanted",
         Head("buildable") + kMesh + "queues\n{\n  q\n  {\n    size 4\n    initial-count 0\n  }\n}\n",
         {}},
        // Files of the asset.
        {"wrong mesh extension",
         Head("scenery") + Mesh(Entry("default", "    mesh \"box.obj\"\n    auto-create 1\n")),
         {"- $tet_container_nomeshext CONT_NAME=default FILENAME=box.obj TAG_NAME=mesh",
          "- $tet_val_file_dne FILE=box.obj"}},
        {"script", Head("behavior") + "script \"beh\"\nclass \"Beh\"\n", {}},
        {"script in plain source", Head("behavior") + "script \"other.gse\"\nclass \"Beh\"\n", {}},
        // Textures by build.
        {"texture", Head("texture") + "texture \"brick.texture\"\n", {}},
        {"texture missing",
         Head("texture") + "texture \"gone.texture\"\n",
         {"- $tet_container_filenotfound CONT_NAME=texture FILENAME=gone.texture TAG_NAME=texture",
          "- $tet_val_texturefiledne FILE=gone.texture"}},
        {"no texture",
         Head("texture"),
         {"- $tet_container_missingtag TAG_NAME=texture", "- $tet_val_texturefilenotspecified"}},
        // A KUID tag that names nothing.
        {"null KUID", Head("traincar") + kMesh + "bogeys\n{\n  0\n  {\n    bogey \"\"\n  }\n}\n", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Validate(c.config), c.findings) << c.name;
}

TEST_F(WritersAndRulesTest, OneFailedTagHidesNoLaterFinding)
{
    // A failed number rule comes first in the export; the empty string after it, and the root's rules
    // after the export, are still checked.
    EXPECT_EQ(
        Validate(Head("scenery-trackside") + kMesh + "trackside 500\ndescription \"\"\ndescription \"b\"\n"),
        (std::vector<std::string>{"- $tet_val_notwithinrange MAX=100.00 MIN=-100.00 TAG_NAME=trackside",
                                  "! $tet_container_emptystringwarn CONT_NAME=scenery-trackside TAG_NAME=description",
                                  "- $tet_val_duplicatetagname CONT_NAME=scenery-trackside TAG_NAME=description"}));
}

TEST_F(WritersAndRulesTest, LongPathsAndLongListLines)
{
    // A list line far longer than any fixed buffer is one entry: its tail is no value of its own.
    const std::string tail(300, 'x');
    UseTemplates({{"lists/category-class.txt", "BD " + std::string(300, 'd') + tail + "\nLONG" + tail + " long\n"}});
    WriteFile("asset/box.im", "x");
    EXPECT_EQ(Validate(Head("scenery") + kMesh), std::vector<std::string>{});
    const std::string head = "kuid <kuid:900001:500>\nkind \"scenery\"\nvelmar-build 3.7\nusername \"S\"\n";
    EXPECT_EQ(Validate(head + "category-class \"LONG" + tail + "\"\n" + kMesh), std::vector<std::string>{});
    EXPECT_EQ(Validate(head + "category-class \"" + tail + "\"\n" + kMesh),
              std::vector<std::string>{"- $tet_container_emptycombobox CONT_NAME=scenery TAG_NAME=category-class"});

    // An asset folder whose path is longer than 260 characters.
    std::string deep = "asset";
    while (deep.size() < 400) deep += "/" + std::string(40, 'f');
    WriteFile(deep + "/box.im", "x");
    WriteFile(deep + "/config.txt", Head("scenery") + kMesh + "frob 1\n");
    ResultsLog log;
    TETLib::Container root(Manager());
    TETLib::ValidateConfig(root, Orvo::PString("local"), Orvo::File::Path(root_ + "/" + deep + "/config.txt"), log);
    EXPECT_EQ(Lines(log), std::vector<std::string>{"- $tet_container_nodefinition CONT_NAME=scenery TAG_NAME=frob"});
}

TEST_F(WritersAndRulesTest, UserTextStaysAsWrittenInFindings)
{
    EXPECT_EQ(Validate(Head("scenery") + kMesh + "\"$(CONT_NAME)\" 1\n"),
              std::vector<std::string>{"- $tet_container_nodefinition CONT_NAME=scenery TAG_NAME=$(CONT_NAME)"});
}

}  // namespace
}  // namespace validation_test
