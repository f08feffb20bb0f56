// Packages and asset folders as users make them, through the real tool and daemon: file names that differ
// only in case, one configuration file per installed asset, a package whose files fail its checksum,
// symbolic links in an asset folder, configuration files named in any case, and syntax errors, whose
// message must lead the user to the file and the line.
#include "E2EFixture.h"

#include "engine/ConfigFileBound.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string kCased = "<kuid:900003:1>";
const std::string kCasedFolder = "UserData/local/kuid 900003 1";

class PackageE2E : public DaemonRootTest
{
protected:
    // An asset folder "work/cased" with files and folders whose names differ only in case, installed.
    void InstallCasedAsset()
    {
        root_.WriteFile("work/cased/config.txt", "kuid " + kCased + "\nusername \"Cased\"\nkind \"scenery\"\n");
        root_.WriteFile("work/cased/Case.txt", "upper file");
        root_.WriteFile("work/cased/case.txt", "lower file");
        root_.WriteFile("work/cased/Sub/a.txt", "upper folder");
        root_.WriteFile("work/cased/sub/a.txt", "lower folder");
        RunResult install = Run({"installfrompath", "cased"});
        ASSERT_EQ(install.out, "+ " + kCased + " : Asset " + kCased + " was installed.\n" + kOK);
    }
    void ExpectCasedFiles(const std::string& folder) const
    {
        EXPECT_EQ(root_.ReadFile(folder + "/Case.txt"), "upper file");
        EXPECT_EQ(root_.ReadFile(folder + "/case.txt"), "lower file");
        EXPECT_EQ(root_.ReadFile(folder + "/Sub/a.txt"), "upper folder");
        EXPECT_EQ(root_.ReadFile(folder + "/sub/a.txt"), "lower folder");
    }
};

TEST_F(PackageE2E, CaseOnlyNamesSurviveAPackageAndOneConfigIsInstalled)
{
    InstallCasedAsset();
    ExpectCasedFiles(kCasedFolder);
    ASSERT_EQ(Run({"createcdp", "cased.cdp", kCased}).out, kOK);
    ASSERT_EQ(Run({"delete", kCased}).exitCode, 0);

    RunResult install = Run({"installcdp", "cased.cdp"});
    EXPECT_EQ(install.out, "+ " + kCased + " : Asset " + kCased + " was installed.\n" + kOK);
    ExpectCasedFiles(kCasedFolder);
    // One configuration file, the one the package installed.
    EXPECT_TRUE(root_.Exists(kCasedFolder + "/config.chump"));
    EXPECT_FALSE(root_.Exists(kCasedFolder + "/config.txt"));

    // An edit folder holding both: the commit says which one it took.
    RunResult edit = Run({"edit", kCased});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string editFolder = "UserData/editing/kuid 900003 1";
    root_.WriteFile(editFolder + "/config.txt", "kuid " + kCased + "\nusername \"Stub\"\n");
    RunResult commit = Run({"commit", kCased});
    EXPECT_EQ(commit.exitCode, 0) << commit.out;
    EXPECT_NE(commit.out.find("! " + kCased + " : The folder of asset " + kCased +
                              " holds both config.chump and config.txt: config.chump was used, config.txt was not."),
              std::string::npos)
        << commit.out;
    EXPECT_NE(commit.out.find("OK (0 Errors, 1 Warnings)"), std::string::npos) << commit.out;
}

TEST_F(PackageE2E, PackageWhoseFilesFailItsChecksumInstallsWithAWarning)
{
    InstallCasedAsset();
    ASSERT_EQ(Run({"createcdp", "cased.cdp", kCased}).out, kOK);
    std::string bytes = root_.ReadFile("work/cased.cdp");
    // One byte of a file's data changed after the package was made (LZSS keeps short texts as literals).
    const size_t at = bytes.find("upper file");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'U';
    root_.WriteFile("work/damaged.cdp", bytes);
    ASSERT_EQ(Run({"delete", kCased}).exitCode, 0);

    RunResult install = Run({"installcdp", "damaged.cdp"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    EXPECT_EQ(install.out, "! " + kCased + " : The files of asset " + kCased +
                               " do not match the package's checksum (DSID): the package may be damaged.\n+ " + kCased +
                               " : Asset " + kCased + " was installed.\nOK (0 Errors, 1 Warnings)\n");
    EXPECT_EQ(root_.ReadFile(kCasedFolder + "/Case.txt"), "Upper file");
}

TEST_F(PackageE2E, SymbolicLinksLeftOutAreReported)
{
    const std::string kuid = "<kuid:900003:2>";
    root_.WriteFile("work/linked/config.txt", "kuid " + kuid + "\nusername \"Linked\"\nkind \"scenery\"\n");
    root_.WriteFile("work/linked/real.txt", "real");
    root_.WriteFile("work/outside/secret.txt", "secret");
    fs::create_symlink("real.txt", root_.Path("work/linked/link.txt"));
    fs::create_directory_symlink(root_.Path("work/outside"), root_.Path("work/linked/folderlink"));

    RunResult install = Run({"installfrompath", "linked"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    const std::string local = "UserData/local/kuid 900003 2";
    for (const char* link : {"folderlink", "link.txt"})
        EXPECT_NE(install.out.find("! " + kuid + " : '" + root_.Path(std::string("work/linked/") + link) +
                                   "' is a symbolic link or special file; it was left out."),
                  std::string::npos)
            << install.out;
    EXPECT_NE(install.out.find("OK (0 Errors, 2 Warnings)"), std::string::npos) << install.out;
    EXPECT_TRUE(root_.Exists(local + "/real.txt"));
    EXPECT_FALSE(root_.Exists(local + "/link.txt"));

    // A link put into the installed folder by hand is left out of a package, and said so.
    fs::create_directory_symlink(root_.Path("work/outside"), root_.Path(local + "/handmade"));
    RunResult create = Run({"createcdp", "linked.cdp", kuid});
    EXPECT_EQ(create.exitCode, 0) << create.out;
    EXPECT_EQ(create.out, "! " + kuid + " : '" + root_.Path(local + "/handmade") +
                              "' is a symbolic link or special file; it was left out.\nOK (0 Errors, 1 Warnings)\n");
    EXPECT_EQ(root_.ReadFile("work/linked.cdp").find("secret"), std::string::npos);
}

TEST_F(PackageE2E, ConfigurationsInAnyCaseInstallAndSyntaxErrorsNameFileAndLine)
{
    const std::string kuid = "<kuid:900002:1>";
    root_.WriteFile("work/upper/CONFIG.TXT", "kuid " + kuid + "\nusername \"Upper Case\"\nkind \"scenery\"\n");
    RunResult install = Run({"installfrompath", "upper"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].rfind("+ " + kuid + " : ", 0), 0u);

    // The line of the item whose brace is never closed; the line with text after a closing quote.
    const std::pair<std::string, std::string> broken[] = {
        {"kuid <kuid:900002:2>\nusername \"Broken\"\nmesh-table {\n", "line 3"},
        {"kuid <kuid:900002:3>\nusername \"Big \"Red\" Loco\"\nkind \"scenery\"\n",
         "line 2: text after the closing quote"},
    };
    for (const auto& [config, where] : broken)
    {
        root_.WriteFile("work/broken/config.txt", config);
        RunResult r = Run({"installfrompath", "broken"});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_NE(r.out.find("'" + root_.Path("work/broken/config.txt") + "' " + where), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("(1 Errors, 0 Warnings)"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(root_.Exists("UserData/local/kuid 900002 3"));

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

// A configuration past the bound is refused before it is read, wherever the tool or the daemon meets one,
// with a message naming the file and the bound.
TEST_F(PackageE2E, ConfigurationFilesPastTheBoundAreRefusedNamingTheFileAndTheBound)
{
    // Real content: a table of parts, as a large mesh's configuration holds, just past the bound.
    std::string big = "kuid <kuid:900004:1>\nusername \"Too Big\"\nkind \"scenery\"\nmesh-table\n{\n";
    for (int i = 0; big.size() <= Orvo::kMaxConfigFileBytes; ++i)
        big += "  part-" + std::to_string(i) + "\n  {\n    mesh \"part.im\"\n    auto-create 1\n  }\n";
    big += "}\n";
    root_.WriteFile("work/big/config.txt", big);
    const std::string bound =
        "' is larger than 32 MiB (33554432 bytes), the most a configuration file may hold; it was "
        "not read";

    RunResult install = Run({"installfrompath", "big"});
    EXPECT_EQ(install.exitCode, 255);
    EXPECT_NE(install.out.find("'" + root_.Path("work/big/config.txt") + bound), std::string::npos) << install.out;
    EXPECT_FALSE(root_.Exists("UserData/local/kuid 900004 1"));

    root_.WriteFile("work/Consists.txt", big);
    RunResult consists = Run({"importconsists", "Consists.txt"});
    EXPECT_EQ(consists.exitCode, 255);
    EXPECT_EQ(consists.out, Failed("'" + root_.Path("work/Consists.txt") + bound + "."));

    // An edit whose configuration grew past the bound is not committed and stays open.
    InstallCasedAsset();
    ASSERT_EQ(Run({"edit", kCased}).exitCode, 0);
    const std::string edit = "UserData/editing/kuid 900003 1/config.txt";
    root_.WriteFile(edit, "kuid " + kCased + "\n" + big.substr(big.find('\n') + 1));
    RunResult commit = Run({"commit", kCased});
    EXPECT_EQ(commit.exitCode, 255);
    EXPECT_NE(commit.out.find("'" + root_.Path(edit) + bound), std::string::npos) << commit.out;
    EXPECT_EQ(Lines(Run({"status", kCased}).out)[0].rfind("+ " + kCased + " : EI", 0), 0u);
}

}  // namespace
}  // namespace e2e
