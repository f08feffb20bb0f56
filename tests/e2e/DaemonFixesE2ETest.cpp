// Asset configurations as users write them, through the real tool and daemon: file names in any case,
// and a configuration with a syntax error, whose message must lead the user to the file and the line.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace e2e {
namespace {

using DaemonFixesE2E = DaemonRootTest;

TEST_F(DaemonFixesE2E, ConfigurationsInAnyCaseInstallAndSyntaxErrorsNameFileAndLine)
{
    const std::string kuid = "<kuid:900002:1>";
    root_.WriteFile("work/upper/CONFIG.TXT", "kuid " + kuid + "\nusername \"Upper Case\"\nkind \"scenery\"\n");
    RunResult install = Run({"installfrompath", "upper"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].rfind("+ " + kuid + " : ", 0), 0u);

    // The line of the item whose brace is never closed.
    root_.WriteFile("work/broken/config.txt", "kuid <kuid:900002:2>\nusername \"Broken\"\nmesh-table {\n");
    RunResult broken = Run({"installfrompath", "broken"});
    EXPECT_EQ(broken.exitCode, 255);
    EXPECT_NE(broken.out.find("'" + root_.Path("work/broken/config.txt") + "' line 3"), std::string::npos)
        << broken.out;
    EXPECT_NE(broken.out.find("(1 Errors, 0 Warnings)"), std::string::npos) << broken.out;

    // A commit of an edit whose configuration was broken names the edited file.
    RunResult edit = Run({"edit", kuid});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string prefix = "+ " + kuid + " : ";
    const std::string folder = Lines(edit.out)[0].substr(prefix.size());
    std::ofstream(folder + "/CONFIG.TXT", std::ios::trunc) << "kuid " << kuid << "\nusername \"Never closed\n";
    RunResult commit = Run({"commit", kuid});
    EXPECT_EQ(commit.exitCode, 255);
    EXPECT_NE(commit.out.find("'" + folder + "/CONFIG.TXT' line 2"), std::string::npos) << commit.out;
    EXPECT_NE(Run({"printconfig", kuid}).out.find("\"Upper Case\""), std::string::npos);
}

}  // namespace
}  // namespace e2e
