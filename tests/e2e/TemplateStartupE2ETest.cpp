// The tool with some or all of its validation data gone from bin/TETData: start-up goes on, the commands
// that do not validate work as before (in the tool and in the command host the daemon starts to compile an
// asset's textures), and "validate" reports what the templates lack as its own findings. Template files
// that are there but hold no definition are refused at every validation.
#include "E2EFixture.h"
#include "ValidationSamples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// What a root's validation data lacks: names in bin/TETData ("" is the folder itself).
struct Missing
{
    const char* name;
    std::vector<std::string> entries;
};

const Missing kMissing[] = {
    {"kind.txt", {"kind.txt"}},
    {"inheritance.txt", {"inheritance.txt"}},
    {"container.txt", {"container.txt"}},
    {"lists", {"lists"}},
    {"an empty folder", {"kind.txt", "inheritance.txt", "container.txt", "lists"}},
    {"no folder", {""}},
};

// A root whose daemon runs, without what `missing` names; the tool is run from its folder "work".
struct Root
{
    explicit Root(const Missing& missing)
    {
        for (const std::string& entry : missing.entries) fs::remove_all(root.Path("bin/TETData/" + entry));
        fs::create_directories(root.Path("work"));
        started = root.StartDaemon();
    }
    RunResult Run(const std::vector<std::string>& args) const
    {
        return root.Run(args, RunOptions::In(root.Path("work")));
    }

    InstallRoot root;
    bool started = false;
};

std::string Installed(const std::string& kuid) { return "+ " + kuid + " : Asset " + kuid + " was installed.\n"; }

const std::string kMesh = "mesh-table\n{\n  default\n  {\n    mesh \"body.im\"\n    auto-create 1\n  }\n}\n";

std::string Scenery(const std::string& kuid)
{
    return "kuid " + kuid + "\nkind \"scenery\"\nvelmar-build 3.7\nusername \"Shed\"\ncategory-class \"BD\"\n" + kMesh;
}

TEST(TemplateStartupE2E, CommandsThatDoNotValidateWorkWithoutTheTemplates)
{
    const std::string kuid = "<kuid:930002:1>";
    for (const Missing& missing : kMissing)
    {
        SCOPED_TRACE(missing.name);
        Root r(missing);
        ASSERT_TRUE(r.started);

        RunResult echo = r.Run({"echo", "hi", "-nostartvaddaemon"});
        EXPECT_EQ(echo.exitCode, 0);
        EXPECT_EQ(echo.out, "hi -nostartvaddaemon \n" + std::string(kOK));
        EXPECT_EQ(echo.err, "");

        // The install hands the asset's texture to the command host the daemon starts, which compiles it.
        r.root.WriteFile("work/assets/roof/config.txt", "kuid " + kuid +
                                                            "\nkind \"texture\"\nusername \"Roof\"\nvelmar-build 3.7\n"
                                                            "category-class \"TX\"\ntexture \"roof.texture\"\n");
        r.root.WriteFile("work/assets/roof/roof.tga", PatternTga(64, 32));
        r.root.WriteFile("work/assets/roof/roof.texture.txt", "Primary=roof.tga\nTile=st\n");
        RunResult install = r.Run({"installfrompath", "assets"});
        EXPECT_EQ(install.exitCode, 0);
        EXPECT_EQ(install.out, Installed(kuid) + kOK);
        EXPECT_EQ(install.err, "");
        EXPECT_EQ(HostsRegistered(r.root), 1u);
        EXPECT_EQ(r.root.ReadFile("UserData/local/kuid 930002 1/roof.texture").substr(0, 4), "OIRF");

        RunResult status = r.Run({"status", kuid});
        EXPECT_EQ(status.exitCode, 0);
        EXPECT_EQ(Lines(status.out).at(0), "+ " + kuid + " : eIadlmf : TX : Roof");

        RunResult remove = r.Run({"delete", kuid});
        EXPECT_EQ(remove.exitCode, 0) << remove.out;
        EXPECT_EQ(r.Run({"status", kuid}).out, "- " + kuid + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");

        RunResult close = r.Run({"closevaddaemon"});
        EXPECT_EQ(close.exitCode, 0);
        EXPECT_EQ(close.out, kOK);
        EXPECT_EQ(close.err, "");
        EXPECT_TRUE(Eventually([&] { return !r.root.DaemonRunning(); }));
    }
}

TEST(TemplateStartupE2E, ValidateReportsWhatTheTemplatesLack)
{
    const std::string kuid = "<kuid:930002:2>";
    const auto error = [&](const std::string& key, const std::map<std::string, std::string>& params = {}) {
        return "- " + kuid + " : " + InterfaceText(key, params);
    };
    const std::vector<std::string> noKind = {error("$tet_container_nokindspecification")};
    // Without the bases the kind inherits, none of the asset's tags is defined for it.
    std::vector<std::string> noBases;
    for (const char* tag : {"kuid", "kind", "velmar-build", "username", "category-class", "mesh-table"})
        noBases.push_back(error("$tet_container_nodefinition", {{"TAG_NAME", tag}, {"CONT_NAME", "scenery"}}));
    const struct
    {
        const Missing& missing;
        std::vector<std::string> findings;
        const char* summary;
    } cases[] = {
        {kMissing[0], noKind, "OK (1 Errors, 0 Warnings)"},
        {kMissing[1], noBases, "OK (6 Errors, 0 Warnings)"},
        {kMissing[2],
         {error("$tet_container_nocontainerdefinition", {{"CONT_NAME", "mesh-table"}})},
         "OK (1 Errors, 0 Warnings)"},
        // A choice that no list offers is none.
        {kMissing[3],
         {error("$tet_container_emptycombobox", {{"TAG_NAME", "category-class"}, {"CONT_NAME", "scenery"}})},
         "OK (1 Errors, 0 Warnings)"},
        {kMissing[4], noKind, "OK (1 Errors, 0 Warnings)"},
        {kMissing[5], noKind, "OK (1 Errors, 0 Warnings)"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.missing.name);
        Root r(c.missing);
        ASSERT_TRUE(r.started);
        r.root.WriteFile("work/assets/shed/config.txt", Scenery(kuid));
        r.root.WriteFile("work/assets/shed/body.im", SampleMesh());
        RunResult install = r.Run({"installfrompath", "assets"});
        ASSERT_EQ(install.out, Installed(kuid) + kOK);
        RunResult validate = r.Run({"validate", kuid});
        EXPECT_EQ(validate.err, "");
        std::vector<std::string> lines = Lines(validate.out);
        ASSERT_FALSE(lines.empty()) << validate.out;
        EXPECT_EQ(lines.back(), c.summary) << validate.out;
        lines.pop_back();
        EXPECT_EQ(lines, c.findings) << validate.out;
    }
}

TEST(TemplateStartupE2E, TemplateFilesThatHoldNoDefinitionAreRefused)
{
    const std::string kuid = "<kuid:930002:3>";
    Root r(Missing{"nothing", {}});
    ASSERT_TRUE(r.started);
    r.root.WriteFile("bin/TETData/kind.txt", "");
    r.root.WriteFile("bin/TETData/inheritance.txt", "");
    fs::remove(r.root.Path("bin/TETData/container.txt"));
    r.root.WriteFile("work/assets/shed/config.txt", Scenery(kuid));
    r.root.WriteFile("work/assets/shed/body.im", SampleMesh());
    ASSERT_EQ(r.Run({"installfrompath", "assets"}).out, Installed(kuid) + kOK);
    RunResult validate = r.Run({"validate", kuid});
    EXPECT_EQ(validate.out,
              "- " + kuid + " : The validation templates hold no definitions.\nOK (1 Errors, 0 Warnings)\n");
    // Each validation says it again.
    EXPECT_EQ(r.Run({"validate", kuid}).out, validate.out);
}

}  // namespace
}  // namespace e2e
