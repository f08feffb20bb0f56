// "validate" end to end: the tool asks the daemon, the daemon hands the job to a command host (the tool
// run as "vadcommandhost"), the validation library checks the asset folder and its findings come back
// into the command's summary. Assets are written here, installed from a folder, some opened for editing.
// (That every kind we define validates clean is shown by the sample corpus: ValidationCorpusE2ETest.cpp.)
#include "E2EFixture.h"
#include "ValidationSamples.h"

#include "core/ConfigFile.h"
#include "core/SoupText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string Kuid(int content) { return "<kuid:930001:" + std::to_string(content) + ">"; }

// "@" in a text stands for the asset's KUID.
std::string WithKuid(std::string text, const std::string& kuid)
{
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, kuid);
    return text;
}

// A finding written as "- $key NAME=value ..." ("-" an error, "!" a warning, ";" a message; "@" as a value
// for the asset's KUID), as the summary prints it for `kuid`.
std::string Finding(const std::string& spec, const std::string& kuid)
{
    std::istringstream in(spec);
    std::string severity, key, param;
    in >> severity >> key;
    std::map<std::string, std::string> params;
    while (in >> param)
    {
        const size_t eq = param.find('=');
        params[param.substr(0, eq)] = WithKuid(param.substr(eq + 1), kuid);
    }
    return severity + " " + kuid + " : " + InterfaceText(key, params);
}

const std::string kMesh = "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n}\n";

std::string Head(const std::string& kind, const std::string& build = "3.7")
{
    return "kuid @\nkind \"" + kind + "\"\nvelmar-build " + build + "\nusername \"Case\"\ncategory-class \"BD\"\n";
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

TEST_F(ValidateE2E, FindingsComeBackThroughTheDaemon)
{
    const struct
    {
        const char* folder;
        std::string config;  // "@" for the KUID
        std::map<std::string, std::string> files;
        std::vector<std::string> findings;
    } cases[] = {
        // The asset as a whole.
        {"future", Head("scenery", "3.71") + "frobnicate 1\n", {}, {"- $tet_future_asset"}},
        {"water", Head("WATER") + "frobnicate 1\n", {}, {"! $tet_obsolete_water"}},
        // A build named by a tag this system does not define counts as no build at all: too old to validate.
        {"no build, no kind",
         "kuid @\ntrain-build 3.5\nusername \"Old\"\n",
         {},
         {"- $vad_upload_asset_obsolete ASSET_KUID=@ LOWEST_VELMARBUILD=2.8"}},
        {"unknown kind", Head("hovercraft"), {}, {"- $tet_container_nokindspecification"}},
        {"alias", Head("scenery") + kMesh + "alias <kuid:930001:1>\n", {}, {"! $tet_container_alias"}},
        // The upload rule lets 2.8 itself through to the validation, which calls it obsolete.
        {"upload 2.8", Head("scenery", "2.8") + kMesh, {}, {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9"}},
        {"upload 2.79",
         Head("scenery", "2.79") + kMesh,
         {},
         {"- $vad_upload_asset_obsolete ASSET_KUID=@ LOWEST_VELMARBUILD=2.8"}},
        // The walk, in the order of the findings.
        {"walk",
         "\"$(ASSET_KUID)\" 1\n" + Head("scenery", "3.4") +
             "light 2\nmesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create yes\n  }\n}\n"
             ".cache\n{\n  x 1\n}\ngizmo\n{\n}\n",
         {},
         {"- $tet_container_nodefinition TAG_NAME=$(ASSET_KUID) CONT_NAME=scenery",
          "- $tet_container_obsoletetag TAG_NAME=light CONT_NAME=scenery",
          "! $tet_container_notboolean TAG_NAME=auto-create CONT_NAME=default",
          "- $tet_container_nodefinition TAG_NAME=.cache CONT_NAME=scenery", "- $tet_container_oldcontainer",
          "- $tet_container_nodefinition TAG_NAME=gizmo CONT_NAME=scenery"}},
        {"missing below build",
         "kuid @\nkind \"scenery\"\nvelmar-build 3.4\nusername \"A\"\n" + kMesh,
         {},
         {"! $tet_container_missingtag TAG_NAME=category-class"}},
        {"missing at build",
         "kuid @\nkind \"scenery\"\nvelmar-build 3.5\ncategory-class \"BD\"\n",
         {},
         {"- $tet_container_missingtag TAG_NAME=username", "- $tet_container_missingcontainer CONT_NAME=mesh-table"}},
        // Writers and rules.
        {"writers",
         "kuid @\nkind \"scenery-trackside\"\nvelmar-build 3.7\nusername \"\"\ndescription \"\"\n"
         "category-class \"nope\"\ncategory-region \"XX\"\ntrackside 100.01\n"
         "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n"
         "  default\n  {\n    mesh \"gone.im\"\n    effects\n    {\n      0\n      {\n        kind \"corona\"\n"
         "        att \"a.0\"\n        color 1,1\n      }\n    }\n  }\n}\n",
         {},
         {"- $tet_mesh_load_mesh FILE=gone.im",
          "- $tet_container_emptystringerr TAG_NAME=username CONT_NAME=scenery-trackside",
          "! $tet_container_emptystringwarn TAG_NAME=description CONT_NAME=scenery-trackside",
          "- $tet_container_emptycombobox TAG_NAME=category-class CONT_NAME=scenery-trackside",
          "- $tet_container_emptylistbox TAG_NAME=category-region CONT_NAME=scenery-trackside",
          "- $tet_val_notwithinrange TAG_NAME=trackside MIN=-100.00 MAX=100.00", "- $tet_val_file_dne FILE=gone.im",
          "- $tet_val_arraywrongsize TAG_NAME=color NUM_0=3 NUM_1=2",
          "- $tet_val_duplicatecontainername TAG_NAME=default CONT_NAME=mesh-table"}},
        {"old vector",
         Head("scenery", "3.39") +
             "mesh-table\n{\n  default\n  {\n    mesh \"gone.im\"\n    auto-create 1\n    effects\n    {\n"
             "      0\n      {\n        kind \"corona\"\n        att \"a.0\"\n        color 1,1\n      }\n    }\n"
             "  }\n}\n",
         {},
         {"- $tet_mesh_load_mesh FILE=gone.im", "! $tet_val_file_dne FILE=gone.im"}},
        {"paired",
         Head("buildable") + kMesh + "queues\n{\n  q\n  {\n    size 4\n    initial-count 2\n  }\n}\n",
         {},
         {"- $tet_val_mustbepaired TAG_0=initial-count TAG_1=product-kuid"}},
        {"script in plain source",
         Head("behavior") + "script \"rules\"\nclass \"R\"\n",
         {{"rules.gs", "class R { };\n"}},
         {}},
        {"script missing",
         Head("behavior") + "script \"Gone\"\nclass \"R\"\n",
         {},
         {"- $tet_val_scriptfiledne FILE=gone"}},
        {"texture image, old",
         Head("texture", "3.48") + "texture \"brick.tga\"\n",
         {{"brick.tga", "image"}},
         {"! $tet_val_texturefilewrongformat FILE=brick.tga"}},
        {"texture image",
         Head("texture", "3.49") + "texture \"brick.tga\"\n",
         {{"brick.tga", "image"}},
         {"- $tet_val_texturefilewrongformat FILE=brick.tga"}},
    };
    std::vector<std::string> kuids;
    for (const auto& c : cases)
    {
        kuids.push_back(Kuid(200 + int(kuids.size())));
        std::map<std::string, std::string> files = c.files;
        files["body.im"] = SampleMesh();
        Write(c.folder, WithKuid(c.config, kuids.back()), files);
    }
    const auto blocks = InstallAndValidate(kuids);
    for (size_t i = 0; i < blocks.size() && i < std::size(cases); ++i)
    {
        std::vector<std::string> expected;
        for (const std::string& f : cases[i].findings) expected.push_back(Finding(f, kuids[i]));
        EXPECT_EQ(blocks[i], expected) << cases[i].folder;
    }
}

TEST_F(ValidateE2E, EditFoldersAndConfigurationFiles)
{
    const std::string edited = Kuid(300);
    const std::string chump = Kuid(301);
    Write("edited", WithKuid(Head("scenery") + kMesh, edited), {{"body.im", SampleMesh()}});
    // Both forms: the binary one is read, the text one (an unknown tag) is not.
    Write("chump", WithKuid(Head("scenery") + kMesh + "frobnicate 1\n", chump), {{"body.im", SampleMesh()}});
    TDBTagRef clean;
    ASSERT_TRUE(ReadSoupText(WithKuid(Head("scenery") + kMesh, chump), "clean", clean));
    ASSERT_TRUE(SaveConfigFile(clean, {}, root_.Path("work/assets/chump/config.chump")));
    const auto first = InstallAndValidate({edited, chump});
    EXPECT_EQ(first, (std::vector<std::vector<std::string>>{{}, {}}));

    // Open for editing, the edit folder is validated: a finding made there, then no configuration at all.
    RunResult edit = Run({"edit", edited});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string prefix = "+ " + edited + " : ";
    ASSERT_EQ(Lines(edit.out)[0].rfind(prefix, 0), 0u) << edit.out;
    const std::string folder = Lines(edit.out)[0].substr(prefix.size());
    root_.WriteFile(fs::path(folder).lexically_relative(root_.Root()).string() + "/config.txt",
                    WithKuid(Head("scenery") + kMesh + "frobnicate 1\n", edited));
    EXPECT_EQ(ValidateAll({edited})[0],
              (std::vector<std::string>{
                  Finding("- $tet_container_nodefinition TAG_NAME=frobnicate CONT_NAME=scenery", edited)}));
    fs::remove(folder + "/config.txt");
    const auto none = ValidateAll({edited});
    ASSERT_EQ(none[0].size(), 1u);
    const std::string unreadable =
        "- " + edited + " : " + InterfaceText("$vad_unable_read_config_at", {{"FILE_PATH", folder}});
    EXPECT_EQ(none[0][0].rfind(unreadable, 0), 0u) << none[0][0];

    RunResult unknown = Run({"validate", Kuid(99)});
    EXPECT_EQ(unknown.exitCode, 255);
    EXPECT_EQ(unknown.out, "- " + Kuid(99) + " : Unknown AssetID\nOK (1 Errors, 0 Warnings)\n");
}

// The verdict is kept for the asset named on the command line: "status" shows it faulty after a validation
// with errors and not after a clean one. It is the verdict on the asset's active copy: a clean validation of
// its edit folder leaves it as it was.
TEST_F(ValidateE2E, TheVerdictIsKeptForTheAssetValidated)
{
    const std::string clean = Kuid(400), broken = Kuid(401);
    Write("clean", WithKuid(Head("scenery") + kMesh, clean), {{"body.im", SampleMesh()}});
    Write("broken", WithKuid(Head("hovercraft"), broken), {});
    const auto blocks = InstallAndValidate({clean, broken});
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_TRUE(blocks[0].empty());
    EXPECT_FALSE(blocks[1].empty());
    // The seventh letter of the status line: F faulty, f not.
    auto faulty = [&](const std::string& kuid) {
        const std::string line = Lines(Run({"status", kuid}).out)[0];
        const std::string prefix = "+ " + kuid + " : ";
        return line.rfind(prefix, 0) == 0 && line.size() >= prefix.size() + 7 ? line[prefix.size() + 6] : '?';
    };
    EXPECT_EQ(faulty(clean), 'f');
    EXPECT_EQ(faulty(broken), 'F');

    // Opened for editing and mended there: the edit folder validates clean, the installed copy is still faulty.
    RunResult edit = Run({"edit", broken});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string prefix = "+ " + broken + " : ";
    ASSERT_EQ(Lines(edit.out)[0].rfind(prefix, 0), 0u) << edit.out;
    const std::string folder = fs::path(Lines(edit.out)[0].substr(prefix.size())).lexically_relative(root_.Root());
    root_.WriteFile(folder + "/config.txt", WithKuid(Head("scenery") + kMesh, broken));
    root_.WriteFile(folder + "/body.im", SampleMesh());
    EXPECT_EQ(ValidateAll({broken})[0], std::vector<std::string>{});
    EXPECT_EQ(faulty(broken), 'F');
}

TEST_F(ValidateE2E, BrokenTemplatesSayWhatIsWrong)
{
    const std::string k = Kuid(400);
    root_.WriteFile(
        "bin/TETData/inheritance.txt",
        ReadWholeFile(root_.Path("bin/TETData/inheritance.txt")) +
            "loop-a\n{\n  inherit\n  {\n    loop-b\n  }\n}\nloop-b\n{\n  inherit\n  {\n    loop-a\n  }\n}\n");
    Write("looped", WithKuid(Head("scenery") + kMesh, k), {{"body.im", SampleMesh()}});
    EXPECT_EQ(InstallAndValidate({k})[0],
              std::vector<std::string>{"- " + k +
                                       " : The validation templates inherit in a circle: loop-a -> loop-b -> loop-a."});
}

}  // namespace
}  // namespace e2e
