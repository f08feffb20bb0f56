// The normaliser of old configurations and its builders, on configurations written as text: the tree it
// leaves, compared in the text form. Meshes come from a source of the test's own that knows only which
// attachment points each file has.
#include "core/SoupText.h"
#include "validation/tests/ValidationTestSupport.h"
#include "validation/upgrade/ConfigNormaliser.h"
#include "validation/upgrade/OldAssetBuilders.h"

namespace validation_test {
namespace {

class PointsMesh : public TETLib::ValidationMesh
{
public:
    PointsMesh(std::string path, std::set<std::string> points, std::vector<std::string>& animations)
        : path_(std::move(path)), points_(std::move(points)), animations_(animations)
    {}
    const std::string& GetFilePath() const override { return path_; }
    bool HasAttachmentPoint(std::string_view name) const override { return points_.count(std::string(name)) != 0; }
    bool LoadAnimation(const Orvo::File::Path& file) override
    {
        animations_.push_back(file.str());
        return true;
    }

private:
    std::string path_;
    std::set<std::string> points_;
    std::vector<std::string>& animations_;
};

// Meshes by their path relative to the asset folder; any other file does not load.
class PointsMeshSource : public TETLib::MeshSource
{
public:
    TETLib::ValidationMesh* LoadMeshForOwner(const Orvo::File::Path&, TETLib::Container&) override { return nullptr; }
    std::unique_ptr<TETLib::ValidationMesh> LoadMesh(TETLib::DataManager& manager,
                                                     const Orvo::File::Path& file) override
    {
        const std::string relative = file.RelativeTo(manager.GetAssetFolder()).str();
        loaded.push_back(relative);
        auto it = meshes.find(relative);
        if (it == meshes.end()) return nullptr;
        return std::make_unique<PointsMesh>(file.str(), it->second, animations);
    }
    std::map<std::string, std::set<std::string>> meshes;
    std::vector<std::string> loaded;
    std::vector<std::string> animations;
};

std::string Canon(const std::string& text)
{
    TDBTagRef tree;
    EXPECT_TRUE(ReadSoupText(text, "expected", tree)) << text;
    std::string out;
    WriteSoupText(tree, out);
    return out;
}

class NormaliserTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        UsePlugins([this](TETLib::ValidationPlugins& plugins) { plugins.SetMeshSource(&meshes_); });
        Manager().SetCurrentAsset(Orvo::PString(), AssetFolder());
    }
    // The configuration after the normaliser's entry, for an asset of that build (the build as the kind
    // check records it).
    std::string Upgraded(const std::string& config, float build = 2.8f)
    {
        TDBTagRef tree;
        EXPECT_TRUE(ReadSoupText(config, "config", tree)) << config;
        Manager().SetAssetBuild(build + 0.001f);
        TETLib::UpgradeOldAssetConfig(Manager(), tree);
        std::string out;
        WriteSoupText(tree, out);
        return out;
    }

    PointsMeshSource meshes_;
};

// What every normalised configuration gains at its end: the defaults of its categories.
const std::string kDefaults = "category-era \"1800s\"\ncategory-class \"ZX\"\ncategory-region \"00\"\n";
// A normalised configuration: the text, the defaults of its categories and the build it was raised to.
std::string Norm(const std::string& text) { return text + kDefaults + "velmar-build 2.9\n"; }
// An entry of an attached-track container.
std::string Track(const std::string& name, const std::string& kuid, const std::string& a, const std::string& b,
                  int adjoining)
{
    return name + " {\ntrack " + kuid + "\nvertices {\n0 \"" + a + "\"\n1 \"" + b + "\"\n}\nuseadjoiningtracktype " +
           std::to_string(adjoining) + "\n}\n";
}

TEST_F(NormaliserTest, GateAndGeneralSteps)
{
    const struct
    {
        const char* name;
        std::string config;
        float build;
        std::string expected;
    } cases[] = {
        {"2.8 is normalised", "kind \"scenery\"\nvelmar-build 2.8\n", 2.8f, Norm("kind \"scenery\"\n")},
        {"no build counts as 1.3", "kind \"scenery\"\n", 1.3f, Norm("kind \"scenery\"\n")},
        {"2.9 is not", "kind \"scenery\"\nvelmar-build 2.9\ncategory-region \"\"\nrem \"x\"\n", 2.9f,
         "kind \"scenery\"\nvelmar-build 2.9\nrem \"x\"\n"},
        {"3.49 loses empty categories", "category-region \"\"\ncategory-era \"\"\nkind \"scenery\"\n", 3.49f,
         "kind \"scenery\"\n"},
        {"3.5 keeps them", "category-region \"\"\ncategory-era \"\"\n", 3.5f,
         "category-region \"\"\ncategory-era \"\"\n"},
        {"name becomes username", "kind \"scenery\"\nname \"Old shed\"\n", 1.3f,
         Norm("kind \"scenery\"\nusername \"Old shed\"\n")},
        {"regions joined, index 0 may be missing",
         "kind \"scenery\"\ncategory-region-1 \"au\"\ncategory-region-2 \"nz\"\ncategory-era-0 "
         "\"1950\"\ncategory-era-1 \"1960s\"\ncategory-class \"BI\"\n",
         1.3f,
         "kind \"scenery\"\ncategory-class \"BI\"\ncategory-region \"AU;NZ\"\ncategory-era "
         "\"1950s;1960s\"\nvelmar-build 2.9\n"},
        {"the first gap from index 1 ends the list",
         "kind \"scenery\"\ncategory-region-2 \"nz\"\ncategory-region \"World trees\"\n", 1.3f,
         Norm("kind \"scenery\"\ncategory-region-2 \"nz\"\n")},
        {"colours of two fields go, of three stay", "kind \"scenery\"\nrgb 1,2\n", 1.3f, Norm("kind \"scenery\"\n")},
        {"...of three stay", "kind \"scenery\"\nrgb 1,2,3\n", 1.3f, Norm("kind \"scenery\"\nrgb 1,2,3\n")},
        {"textures lose their colour always and gain their texture",
         "kind \"texture\"\nrgb 1,2,3\nasset-filename \"brick\"\nlight 1\n", 1.3f,
         Norm("kind \"texture\"\nusername \"brick\"\ntexture \"brick.texture\"\n")},
        {"old names and stray lines",
         "kind \"scenery\"\nscriptlibrary \"lib\"\nauteur \"A\"\nauthor \"B\"\norganization \"O\"\nrem \"x\"\nname-de "
         "\"Haus\"\ntrain-build 2.4\nlicense \"\"\n",
         1.3f,
         "kind \"scenery\"\nscript \"lib\"\n" + kDefaults + "author \"A\"\norganisation \"O\"\nvelmar-build 2.9\n"},
        {"the words of an unquoted description, and names no tag has",
         "kind \"scenery\"\n'quoted' 1\n___ 1\n42 1\nb4 1\nasset-thing 1\nusername \"U\"\ndescription \"A shed\"\nwith "
         "\"x\"\nthree \"x\"\nwindows\nauthor \"A\"\nsub {\n}\n",
         1.3f, Norm("kind \"scenery\"\nb4 1\nusername \"U\"\ndescription \"A shed\"\nauthor \"A\"\nsub {\n}\n")},
        {"a name cut at its line break", "kind \"scenery\"\nusername \"Two\nlines\"\n", 1.3f,
         "kind \"scenery\"\n" + kDefaults + "username \"Two\"\nvelmar-build 2.9\n"},
        {"a map without a region KUID", "kind \"map\"\nregion \"somewhere\"\n", 1.3f, Norm("kind \"map\"\n")},
        {"others lose their region", "kind \"scenery\"\nregion <kuid:1:2>\n", 1.3f, Norm("kind \"scenery\"\n")},
        {"old sound lists", "kind \"scenery\"\nsoundscript {\nbell {\nsound {\nbell.wav\nloud \"horn.wav\"\n}\n}\n}\n",
         1.3f, Norm("kind \"scenery\"\nsoundscript {\nbell {\nsound {\n0 \"bell.wav\"\nloud \"horn.wav\"\n}\n}\n}\n")},
        {"icons become thumbnails", "kind \"behavior\"\nicon-texture \"icon.tga\"\n", 1.3f,
         Norm("kind \"behavior\"\nthumbnails {\n0 {\nimage \"icon.tga\"\nwidth 64\nheight 64\n}\n}\n")},
        {"an interior's camera joins its list",
         "kind \"interior\"\ncamera 1,2,3\ncameralist {\ncamera0 0,0,0,0,0\ncamera1 1,1,1,0,0\n}\n", 1.3f,
         Norm("kind \"interior\"\ncameralist {\ncamera0 0,0,0,0,0\ncamera1 1,1,1,0,0\ncamera2 "
              "1.0,2.0,3.0,0.0,0.0\n}\ncameradefault 0\n")},
        {"speed boards lose their function", "kind \"mospeedboard\"\nfunction \"x\"\n", 1.3f,
         Norm("kind \"mospeedboard\"\n")},
        {"signals keep theirs", "kind \"mosignal\"\ntrackside 2\nfunction \"x\"\n", 1.3f,
         Norm("kind \"mosignal\"\ntrackside 2\nfunction \"x\"\n")},
    };
    for (const auto& c : cases) EXPECT_EQ(Upgraded(c.config, c.build), Canon(c.expected)) << c.name;
}

TEST_F(NormaliserTest, MeshTablesBogeysAndTracks)
{
    meshes_.meshes["shed.im"] = {"a.name0", "a.name1", "a.name3"};
    meshes_.meshes["base/base.im"] = {"a.otrack0a", "a.otrack0b", "a.otrack1a", "a.otrack1b", "a.otrack2a"};
    meshes_.meshes["deck/deck.im"] = {"a.itrack0a", "a.itrack0b"};
    meshes_.meshes["gate/gate.im"] = {"a.road0a", "a.road0b", "a.road1a", "a.road1b", "a.track0a"};
    const std::string table = "mesh-table {\ndefault {\nmesh \"x.im\"\n}\n}\n";
    const struct
    {
        const char* name;
        std::string config;
        std::string expected;
    } cases[] = {
        {"traincar", "kind \"traincar\"\nasset-filename \"loco\"\nusername \"L\"\n",
         Norm(
             "kind \"traincar\"\nusername \"L\"\nmesh-table {\ndefault {\nmesh \"loco_body/loco_body.pm\"\nauto-create "
             "1\n}\nshadow {\nmesh \"loco_shadow/loco_shadow.pm\"\nauto-create 0\n}\n}\nbogeys {\n}\n")},
        {"bogey, reversed bogey of index 1",
         "kind \"traincar\"\nbogey <kuid:1:2>\nbogey-1-r <kuid:1:3>\nbogey-0 <kuid:1:4>\n",
         Norm("kind \"traincar\"\nbogey-0 <kuid:1:4>\nbogeys {\n0 {\nbogey <kuid:1:2>\nreversed 0\n}\n1 {\nbogey "
              "<kuid:1:3>\nreversed 1\n}\n}\n")},
        {"bogeys of indices 0 and 2", "kind \"traincar\"\nbogey-0 <kuid:1:2>\nbogey-2 <kuid:1:3>\n",
         Norm("kind \"traincar\"\nbogey-2 <kuid:1:3>\nbogeys {\n0 {\nbogey <kuid:1:2>\nreversed 0\n}\n}\n")},
        {"bogey", "kind \"bogey\"\nasset-filename \"wheel\"\nusername \"W\"\nlight 1\n",
         Norm("kind \"bogey\"\nusername \"W\"\nmesh-table {\ndefault {\nmesh \"wheel.pm\"\nauto-create 1\n}\nshadow "
              "{\nmesh \"wheel_shadow/wheel_shadow.pm\"\nauto-create 0\n}\n}\n")},
        {"junction", "kind \"mojunction\"\nasset-filename \"j\"\nusername \"J\"\nmode0 \"Left\"\nmode1 \"\"\n",
         Norm("kind \"mojunction\"\nusername \"J\"\nmode1 \"\"\nmesh-table {\nleft {\nmesh "
              "\"Left/Left.im\"\nauto-create \"1\"\n}\n}\n")},
        {"interior attachments and mesh",
         "kind \"interior\"\nasset-filename \"cab\"\nusername \"C\"\nmesh \"cab.im\"\nattachment {\nlever {\nmesh "
         "\"lever.im\"\natt \"a.lever\"\n}\n}\ncameradefault 1\n",
         Norm("kind \"interior\"\nusername \"C\"\ncameradefault 1\nmesh-table {\nlever {\nmesh \"lever.im\"\natt "
              "\"a.lever\"\natt-parent \"default\"\n}\ndefault {\nmesh \"cab.im\"\nauto-create 1\n}\n}\n")},
        {"scenery with name points 0 and 1, a font size and a night mesh",
         "kind \"scenery\"\nasset-filename \"shed\"\nusername \"S\"\nauto-animation 1\nfontsize 0.5\nfontcolor "
         "\"\"\nnight \"lit\"\nbendy 1\n",
         Norm("kind \"scenery\"\nusername \"S\"\nmesh-table {\ndefault {\nauto-create 1\nmesh \"shed.im\"\nanim "
              "\"anim.kin\"\nanimation-loop-speed 1.0\neffects {\n0 {\nkind \"name\"\natt \"a.name0\"\nfontsize "
              "\"0.5\"\nname \"name\"\n}\n1 {\nkind \"name\"\natt \"a.name1\"\nfontsize \"0.5\"\nname "
              "\"name\"\n}\n}\n}\nnight {\nmesh \"lit/lit.im\"\nnight-mesh-base \"default\"\n}\n}\n")},
        {"scenery whose mesh does not load", "kind \"buildable\"\nasset-filename \"gone\"\nusername \"G\"\n",
         Norm("kind \"buildable\"\nusername \"G\"\nmesh-table {\ndefault {\nauto-create 1\nmesh \"gone.im\"\n}\n}\n")},
        {"turntable",
         "kind \"turntable\"\nasset-filename \"tt\"\nusername \"T\"\nmode0 \"base\"\nmode1 \"deck\"\ntrack "
         "<kuid:1:9>\n",
         Norm("kind \"turntable\"\nusername \"T\"\nmesh-table {\ndefault {\nmesh \"base/base.im\"\nauto-create 1\n}\n"
              "turntable {\nmesh \"deck/deck.im\"\n}\n}\nattached-track {\n" +
              Track("tracko1", "<kuid:1:9>", "a.otrack0a", "a.otrack0b", 0) +
              Track("tracko2", "<kuid:1:9>", "a.otrack1a", "a.otrack1b", 0) +
              Track("tracki1", "<kuid:1:9>", "a.itrack0a", "a.itrack0b", 0) + "}\n")},
        {"turntable keeps its attached tracks",
         "kind \"turntable\"\nasset-filename \"tt\"\nusername \"T\"\nmode0 \"base\"\nmode1 \"deck\"\ntrack "
         "<kuid:1:9>\nattached-track {\n}\n",
         Norm("kind \"turntable\"\nusername \"T\"\ntrack <kuid:1:9>\nattached-track {\n}\nmesh-table {\ndefault "
              "{\nmesh \"base/base.im\"\nauto-create 1\n}\nturntable {\nmesh \"deck/deck.im\"\n}\n}\n")},
        {"crossing",
         "kind \"mocrossing\"\nasset-filename \"x\"\nusername \"X\"\nmode0 \"gate\"\nroad <kuid:1:5>\ntrack "
         "<kuid:1:6>\n",
         Norm("kind \"mocrossing\"\nusername \"X\"\nmesh-table {\ndefault {\nmesh \"gate/gate.im\"\n"
              "anim \"gate/anim.kin\"\nauto-create 1\n}\n}\nattached-track {\n" +
              Track("road1", "<kuid:1:5>", "a.road0a", "a.road0b", 1) +
              Track("road2", "<kuid:1:5>", "a.road1a", "a.road1b", 1) + "}\n")},
        {"crossing with no mode and no mesh", "kind \"mocrossing\"\nasset-filename \"x\"\nusername \"X\"\n",
         Norm("kind \"mocrossing\"\nusername \"X\"\nmesh-table {\ndefault {\nmesh \"mode0.im\"\nanim "
              "\"anim.kin\"\nauto-create 1\n}\n}\n")},
        {"a mesh table already there", "kind \"scenery\"\nasset-filename \"shed\"\nusername \"S\"\n" + table,
         Norm("kind \"scenery\"\nusername \"S\"\n" + table)},
    };
    for (const auto& c : cases) EXPECT_EQ(Upgraded(c.config, 1.3f), Canon(c.expected)) << c.name;
    EXPECT_EQ(meshes_.animations, std::vector<std::string>{AssetFolder() + "gate/anim.kin"});
    EXPECT_EQ(meshes_.loaded, (std::vector<std::string>{"shed.im", "gone.im", "base/base.im", "deck/deck.im",
                                                        "base/base.im", "deck/deck.im", "gate/gate.im", "mode0.im"}));
}

TEST_F(NormaliserTest, TopLevelNamesIncludeInheritedOnes)
{
    for (const char* name : {"username", "description", "mesh-table", "bogeys", "trackside", "soundscript"})
        EXPECT_TRUE(TETLib::IsTopLevelTagName(Manager(), name)) << name;
    for (const char* name : {"Username", "asset-filename", "mesh", "by", "distance"})
        EXPECT_FALSE(TETLib::IsTopLevelTagName(Manager(), name)) << name;
}

}  // namespace
}  // namespace validation_test
