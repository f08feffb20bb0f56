// "validate" end to end: the tool asks the daemon, the daemon hands the job to a command host (the tool
// run as "vadcommandhost"), the validation library checks the asset folder and its findings come back
// into the command's summary. Assets are written here, installed from a folder, some opened for editing.
#include "E2EFixture.h"
#include "ValidationSamples.h"

#include "core/ConfigFile.h"
#include "core/SoupText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The English text of an interface key with its placeholders filled, as the summary shows it.
std::string Text(const std::string& key, const std::map<std::string, std::string>& params = {})
{
    static const TDBTagRef texts = [] {
        TDBTagRef t;
        LoadConfigFile(t, {}, VELMAR_SOURCE_DIR "/data/InterfaceText.txt");
        return t;
    }();
    std::string text = texts.GetChildString(key, key).str();
    for (const auto& [name, value] : params)
    {
        const std::string macro = "$(" + name + ")";
        const size_t at = text.find(macro);
        if (at != std::string::npos) text.replace(at, macro.size(), value);
    }
    return text;
}

std::string Error(const std::string& kuid, const std::string& text) { return "- " + kuid + " : " + text; }
std::string Warning(const std::string& kuid, const std::string& text) { return "! " + kuid + " : " + text; }
// The results of an asset whose meshes were named but could not be loaded here end by saying so.
std::string Unchecked(const std::string& kuid) { return "; " + kuid + " : " + Text("$tet_mesh_checks_unavailable"); }

// The result lines of each command of a batch run, one list per summary.
std::vector<std::vector<std::string>> BatchBlocks(const std::string& out)
{
    std::vector<std::vector<std::string>> blocks(1);
    for (const std::string& line : Lines(out))
    {
        if (line.rfind("OK (", 0) == 0)
            blocks.emplace_back();
        else if (!line.empty())
            blocks.back().push_back(line);
    }
    blocks.pop_back();
    return blocks;
}

const std::string kMesh = "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n}\n";

std::string Head(const std::string& kuid, const std::string& kind, const std::string& build = "3.7")
{
    return "kuid " + kuid + "\nkind \"" + kind + "\"\nvelmar-build " + build +
           "\nusername \"Case\"\ncategory-class \"BD\"\n";
}

class ValidateE2E : public DaemonRootTest
{
protected:
    void Write(const std::string& folder, const std::string& config, const std::map<std::string, std::string>& files)
    {
        root_.WriteFile("work/assets/" + folder + "/config.txt", config);
        for (const auto& [name, text] : files) root_.WriteFile("work/assets/" + folder + "/" + name, text);
    }
    // Installs everything under work/assets, then validates the KUIDs in one batch run.
    std::vector<std::vector<std::string>> InstallAndValidate(const std::vector<std::string>& kuids)
    {
        RunResult install = Run({"installfrompath", "assets"});
        EXPECT_EQ(install.exitCode, 0) << install.out;
        return ValidateAll(kuids);
    }
    std::vector<std::vector<std::string>> ValidateAll(const std::vector<std::string>& kuids)
    {
        std::string batch;
        for (const std::string& k : kuids) batch += "validate \"" + k + "\"\n";
        root_.WriteFile("work/validate.txt", batch);
        RunResult r = Run({"@validate.txt"});
        std::vector<std::vector<std::string>> blocks = BatchBlocks(r.out);
        EXPECT_EQ(blocks.size(), kuids.size()) << r.out << r.err;
        return blocks;
    }
};

TEST_F(ValidateE2E, EveryKindWeDefineValidatesClean)
{
    std::vector<std::string> kuids;
    for (const SampleAsset& a : CleanSamples(930001, 100))
    {
        Write(a.folder, a.config, a.files);
        kuids.push_back(a.kuid);
    }
    const std::vector<SampleAsset> samples = CleanSamples(930001, 100);
    const auto blocks = InstallAndValidate(kuids);
    for (size_t i = 0; i < blocks.size(); ++i)
    {
        const bool meshes = samples[i].config.find(".im\"") != std::string::npos;
        EXPECT_EQ(blocks[i], meshes ? std::vector<std::string>{Unchecked(kuids[i])} : std::vector<std::string>{})
            << kuids[i];
    }

    RunResult unknown = Run({"validate", "<kuid:930001:99>"});
    EXPECT_EQ(unknown.exitCode, 255);
    EXPECT_EQ(unknown.out, "- <kuid:930001:99> : Unknown AssetID\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(ValidateE2E, FindingsComeBackThroughTheDaemon)
{
    const std::map<std::string, std::string> body = {{"body.im", "mesh"}};
    struct Case
    {
        std::string folder;
        std::string config;
        std::map<std::string, std::string> files;
        std::vector<std::string> findings;
    };
    std::vector<Case> cases;
    int content = 200;
    auto add = [&](const std::string& folder, const std::function<std::string(const std::string&)>& config,
                   const std::function<std::vector<std::string>(const std::string&)>& findings,
                   std::map<std::string, std::string> files = {}) {
        const std::string k = SampleKuid(930001, content++);
        files.insert(body.begin(), body.end());
        cases.push_back({folder, config(k), files, findings(k)});
    };
    // The asset as a whole.
    add(
        "future", [](auto k) { return Head(k, "scenery", "3.71") + "frobnicate 1\n"; },
        [](auto k) { return std::vector<std::string>{Error(k, Text("$tet_future_asset"))}; });
    add(
        "water", [](auto k) { return Head(k, "WATER") + "frobnicate 1\n"; },
        [](auto k) { return std::vector<std::string>{Warning(k, Text("$tet_obsolete_water"))}; });
    // A build named by a tag this system does not define counts as no build at all: too old to validate.
    add(
        "no build, no kind", [](auto k) { return "kuid " + k + "\ntrain-build 3.5\nusername \"Old\"\n"; },
        [](auto k) {
            return std::vector<std::string>{
                Error(k, Text("$vad_upload_asset_obsolete", {{"ASSET_KUID", k}, {"LOWEST_VELMARBUILD", "2.8"}}))};
        });
    add(
        "unknown kind", [](auto k) { return Head(k, "hovercraft"); },
        [](auto k) { return std::vector<std::string>{Error(k, Text("$tet_container_nokindspecification"))}; });
    add(
        "alias", [](auto k) { return Head(k, "scenery") + kMesh + "alias <kuid:930001:1>\n"; },
        [](auto k) {
            return std::vector<std::string>{Warning(k, Text("$tet_container_alias")), Unchecked(k)};
        });
    // The upload rule lets 2.8 itself through to the validation, which calls it obsolete.
    add(
        "upload 2.8", [](auto k) { return Head(k, "scenery", "2.8") + kMesh; },
        [](auto k) {
            return std::vector<std::string>{Warning(k, Text("$tet_obsolete_asset", {{"LOWEST_VELMARBUILD", "2.9"}})),
                                            Unchecked(k)};
        });
    add(
        "upload 2.79", [](auto k) { return Head(k, "scenery", "2.79") + kMesh; },
        [](auto k) {
            return std::vector<std::string>{
                Error(k, Text("$vad_upload_asset_obsolete", {{"ASSET_KUID", k}, {"LOWEST_VELMARBUILD", "2.8"}}))};
        });
    // The walk, in the order of the findings.
    add(
        "walk",
        [](auto k) {
            return "\"$(ASSET_KUID)\" 1\n" + Head(k, "scenery", "3.4") + "light 2\n" +
                   "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create yes\n  }\n}\n" +
                   ".cache\n{\n  x 1\n}\ngizmo\n{\n}\n";
        },
        [](auto k) {
            const std::string s = "scenery";
            return std::vector<std::string>{
                Error(k, Text("$tet_container_nodefinition", {{"TAG_NAME", "$(ASSET_KUID)"}, {"CONT_NAME", s}})),
                Error(k, Text("$tet_container_obsoletetag", {{"TAG_NAME", "light"}, {"CONT_NAME", s}})),
                Warning(k, Text("$tet_container_notboolean", {{"TAG_NAME", "auto-create"}, {"CONT_NAME", "default"}})),
                Error(k, Text("$tet_container_nodefinition", {{"TAG_NAME", ".cache"}, {"CONT_NAME", s}})),
                Error(k, Text("$tet_container_oldcontainer")),
                Error(k, Text("$tet_container_nodefinition", {{"TAG_NAME", "gizmo"}, {"CONT_NAME", s}})),
                Unchecked(k),
            };
        });
    add(
        "missing below build",
        [](auto k) { return "kuid " + k + "\nkind \"scenery\"\nvelmar-build 3.4\nusername \"A\"\n" + kMesh; },
        [](auto k) {
            return std::vector<std::string>{
                Warning(k, Text("$tet_container_missingtag", {{"TAG_NAME", "category-class"}})), Unchecked(k)};
        });
    add(
        "missing at build",
        [](auto k) { return "kuid " + k + "\nkind \"scenery\"\nvelmar-build 3.5\ncategory-class \"BD\"\n"; },
        [](auto k) {
            return std::vector<std::string>{
                Error(k, Text("$tet_container_missingtag", {{"TAG_NAME", "username"}})),
                Error(k, Text("$tet_container_missingcontainer", {{"CONT_NAME", "mesh-table"}}))};
        });
    // Writers and rules.
    add(
        "writers",
        [](auto k) {
            return "kuid " + k + "\nkind \"scenery-trackside\"\nvelmar-build 3.7\nusername \"\"\ndescription \"\"\n" +
                   "category-class \"nope\"\ncategory-region \"XX\"\ntrackside 100.01\n" +
                   "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n"
                   "  default\n  {\n    mesh \"gone.im\"\n    effects\n    {\n      0\n      {\n        kind "
                   "\"corona\"\n"
                   "        att \"a.0\"\n        color 1,1\n      }\n    }\n  }\n}\n";
        },
        [](auto k) {
            const std::string s = "scenery-trackside";
            return std::vector<std::string>{
                Error(k, Text("$tet_container_emptystringerr", {{"TAG_NAME", "username"}, {"CONT_NAME", s}})),
                Warning(k, Text("$tet_container_emptystringwarn", {{"TAG_NAME", "description"}, {"CONT_NAME", s}})),
                Error(k, Text("$tet_container_emptycombobox", {{"TAG_NAME", "category-class"}, {"CONT_NAME", s}})),
                Error(k, Text("$tet_container_emptylistbox", {{"TAG_NAME", "category-region"}, {"CONT_NAME", s}})),
                Error(k, Text("$tet_val_notwithinrange",
                              {{"TAG_NAME", "trackside"}, {"MIN", "-100.00"}, {"MAX", "100.00"}})),
                Error(k, Text("$tet_val_file_dne", {{"FILE", "gone.im"}})),
                Error(k, Text("$tet_val_arraywrongsize", {{"TAG_NAME", "color"}, {"NUM_0", "3"}, {"NUM_1", "2"}})),
                Error(k,
                      Text("$tet_val_duplicatecontainername", {{"TAG_NAME", "default"}, {"CONT_NAME", "mesh-table"}})),
                Unchecked(k),
            };
        });
    add(
        "old vector",
        [](auto k) {
            return Head(k, "scenery", "3.39") +
                   "mesh-table\n{\n  default\n  {\n    mesh \"gone.im\"\n    auto-create 1\n    effects\n    {\n"
                   "      0\n      {\n        kind \"corona\"\n        att \"a.0\"\n        color 1,1\n      }\n    "
                   "}\n  }\n}\n";
        },
        [](auto k) {
            return std::vector<std::string>{Warning(k, Text("$tet_val_file_dne", {{"FILE", "gone.im"}})), Unchecked(k)};
        });
    add(
        "paired",
        [](auto k) {
            return Head(k, "buildable") + kMesh + "queues\n{\n  q\n  {\n    size 4\n    initial-count 2\n  }\n}\n";
        },
        [](auto k) {
            return std::vector<std::string>{
                Error(k, Text("$tet_val_mustbepaired", {{"TAG_0", "initial-count"}, {"TAG_1", "product-kuid"}})),
                Unchecked(k)};
        });
    add(
        "script in plain source", [](auto k) { return Head(k, "behavior") + "script \"rules\"\nclass \"R\"\n"; },
        [](auto) { return std::vector<std::string>{}; }, {{"rules.gs", "class R { };\n"}});
    add(
        "script missing", [](auto k) { return Head(k, "behavior") + "script \"Gone\"\nclass \"R\"\n"; },
        [](auto k) {
            return std::vector<std::string>{Error(k, Text("$tet_val_scriptfiledne", {{"FILE", "gone"}}))};
        });
    add(
        "texture image, old", [](auto k) { return Head(k, "texture", "3.48") + "texture \"brick.tga\"\n"; },
        [](auto k) {
            return std::vector<std::string>{
                Warning(k, Text("$tet_val_texturefilewrongformat", {{"FILE", "brick.tga"}}))};
        },
        {{"brick.tga", "image"}});
    add(
        "texture image", [](auto k) { return Head(k, "texture", "3.49") + "texture \"brick.tga\"\n"; },
        [](auto k) {
            return std::vector<std::string>{Error(k, Text("$tet_val_texturefilewrongformat", {{"FILE", "brick.tga"}}))};
        },
        {{"brick.tga", "image"}});

    std::vector<std::string> kuids;
    for (const Case& c : cases)
    {
        Write(c.folder, c.config, c.files);
        kuids.push_back(c.config.substr(c.config.find("<kuid:"),
                                        c.config.find('>', c.config.find("<kuid:")) - c.config.find("<kuid:") + 1));
    }
    const auto blocks = InstallAndValidate(kuids);
    for (size_t i = 0; i < blocks.size() && i < cases.size(); ++i)
        EXPECT_EQ(blocks[i], cases[i].findings) << cases[i].folder;
}

TEST_F(ValidateE2E, EditFoldersAndConfigurationFiles)
{
    const std::string edited = SampleKuid(930001, 300);
    const std::string chump = SampleKuid(930001, 301);
    Write("edited", Head(edited, "scenery") + kMesh, {{"body.im", "mesh"}});
    // Both forms: the binary one is read, the text one (an unknown tag) is not.
    Write("chump", Head(chump, "scenery") + kMesh + "frobnicate 1\n", {{"body.im", "mesh"}});
    TDBTagRef clean;
    ASSERT_TRUE(ReadSoupText(Head(chump, "scenery") + kMesh, "clean", clean));
    ASSERT_TRUE(SaveConfigFile(clean, {}, root_.Path("work/assets/chump/config.chump")));
    const auto first = InstallAndValidate({edited, chump});
    EXPECT_EQ(first, (std::vector<std::vector<std::string>>{{Unchecked(edited)}, {Unchecked(chump)}}));

    // Open for editing, the edit folder is validated: a finding made there, then no configuration at all.
    RunResult edit = Run({"edit", edited});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string prefix = "+ " + edited + " : ";
    ASSERT_EQ(Lines(edit.out)[0].rfind(prefix, 0), 0u) << edit.out;
    const std::string folder = Lines(edit.out)[0].substr(prefix.size());
    root_.WriteFile(fs::path(folder).lexically_relative(root_.Root()).string() + "/config.txt",
                    Head(edited, "scenery") + kMesh + "frobnicate 1\n");
    EXPECT_EQ(ValidateAll({edited})[0],
              (std::vector<std::string>{Error(edited, Text("$tet_container_nodefinition",
                                                           {{"TAG_NAME", "frobnicate"}, {"CONT_NAME", "scenery"}})),
                                        Unchecked(edited)}));
    fs::remove(folder + "/config.txt");
    const auto none = ValidateAll({edited});
    ASSERT_EQ(none[0].size(), 1u);
    EXPECT_EQ(none[0][0].rfind(Error(edited, Text("$vad_unable_read_config_at", {{"FILE_PATH", folder}})), 0), 0u)
        << none[0][0];
}

TEST_F(ValidateE2E, BrokenTemplatesSayWhatIsWrong)
{
    const std::string k = SampleKuid(930001, 400);
    root_.WriteFile(
        "bin/TETData/inheritance.txt",
        ReadWholeFile(root_.Path("bin/TETData/inheritance.txt")) +
            "loop-a\n{\n  inherit\n  {\n    loop-b\n  }\n}\nloop-b\n{\n  inherit\n  {\n    loop-a\n  }\n}\n");
    Write("looped", Head(k, "scenery") + kMesh, {{"body.im", "mesh"}});
    EXPECT_EQ(InstallAndValidate({k})[0],
              std::vector<std::string>{
                  Error(k, "The validation templates inherit in a circle: loop-a -> loop-b -> loop-a.")});
}

}  // namespace
}  // namespace e2e
