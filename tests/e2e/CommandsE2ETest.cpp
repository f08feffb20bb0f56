// The command words as a user meets them, through the real tool and daemon: fixed answers, the life of an
// installed asset, queries, keywords, maintenance and the script words. (Refused parameters: the bad-input
// table of UserSessionE2ETest.cpp.)
// Relative paths are typed from a working folder of their own, so they must resolve against it.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

namespace e2e {
namespace {

using CommandsE2E = DaemonRootTest;

TEST_F(CommandsE2E, FixedWords)
{
    RunResult v = Run({"VERSION"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, std::string("Build 61388\n") + kOK);
    const std::pair<const char*, int> fixed[] = {{"installedversion", 114},       {"installedversionhi", 1},
                                                 {"installedversionlo", 114},     {"installedbuildnumber", 204},
                                                 {"installedbuildnumberhi", 239}, {"installedbuildnumberlo", 204}};
    for (const auto& [word, code] : fixed)
    {
        RunResult r = Run({word});
        EXPECT_EQ(r.exitCode, code) << word;
        EXPECT_EQ(r.out, kOK) << word;
    }
}

TEST_F(CommandsE2E, GeneratedKUIDsFollowTheNextContentIdHint)
{
    EXPECT_EQ(Run({"setnextcontentid", "5000"}).exitCode, 0);
    RunResult first = Run({"generatekuid"});
    EXPECT_EQ(first.exitCode, 0);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(first.out, m, std::regex("^<KUID2:(-?[0-9]+):([0-9]+):0>\n")));
    EXPECT_EQ(m[2].str(), "5000");

    RunResult builds = Run({"listbuilds", "Builds.txt"});
    EXPECT_EQ(builds.exitCode, 0);
    ASSERT_TRUE(root_.Exists("work/Builds.txt"));
    EXPECT_EQ(Lines(root_.ReadFile("work/Builds.txt")).size(), 1u);
}

TEST_F(CommandsE2E, InstallEditCommitRevertDelete)
{
    RunResult install = Run({"installfrompath", InstallRoot::SamplesDir()});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    const std::string kuid = "<kuid:900001:100>";

    RunResult status = Run({"status", "900001:100"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(Lines(status.out)[0], "+ " + kuid + " : eIadlmf : BD : Sample Signal Box");

    RunResult edit = Run({"edit", "<KUID:900001:100>"});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string prefix = "+ " + kuid + " : ";
    ASSERT_EQ(Lines(edit.out)[0].rfind(prefix, 0), 0u) << edit.out;
    const std::string folder = Lines(edit.out)[0].substr(prefix.size());
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].substr(prefix.size(), 7), "EIadlmf");

    std::string config = ReadWholeFile(folder + "/config.txt");
    const size_t at = config.find("Sample Signal Box");
    ASSERT_NE(at, std::string::npos);
    config.replace(at, 17, "Edited Signal Box");
    std::ofstream(folder + "/config.txt", std::ios::binary | std::ios::trunc) << config;
    EXPECT_EQ(Run({"commit", kuid}).exitCode, 0);

    RunResult print = Run({"printconfig", kuid});
    EXPECT_EQ(print.exitCode, 0);
    std::vector<std::string> lines = Lines(print.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "+ Start of " + kuid + " dump");
    EXPECT_NE(print.out.find("username\t\"Edited Signal Box\"\n"), std::string::npos);
    EXPECT_NE(print.out.find("+ End of " + kuid + " dump\n" + kOK), std::string::npos);

    EXPECT_EQ(Run({"edit", kuid}).exitCode, 0);
    EXPECT_EQ(Run({"revert", kuid}).exitCode, 0);
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].substr(prefix.size(), 7), "eIadlmf");

    EXPECT_EQ(Run({"delete", kuid}).exitCode, 0);
    RunResult gone = Run({"status", kuid});
    EXPECT_EQ(gone.exitCode, 255);
    EXPECT_EQ(gone.out, "- " + kuid + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Run({"printconfig", kuid}).out, "- " + kuid + " : Asset is not local.\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(CommandsE2E, QueriesAndKeywords)
{
    root_.WriteFile("work/mine/a/config.txt",
                    "kuid <kuid:77:1>\nkind \"scenery\"\nusername \"A\"\ncategory-class \"BD\"\nauthor \"Zed\"\n");
    root_.WriteFile("work/mine/b/config.txt",
                    "kuid <kuid:77:2>\nkind \"scenery\"\nusername \"B\"\ncategory-class \"TV\"\nauthor \"Zed\"\n");
    root_.WriteFile("work/mine/c/config.txt",
                    "kuid <kuid:78:1>\nkind \"mesh\"\nusername \"C\"\ncategory-class \"MESH\"\nauthor \"Amy\"\n");
    ASSERT_EQ(Run({"installfrompath", "mine"}).exitCode, 0);

    EXPECT_EQ(Run({"authors"}).out, std::string("Amy\nZed\n") + kOK);
    // Three installed here and the built-in sample of the root.
    EXPECT_EQ(Run({"countbuiltins"}).out, std::string("4\n") + kOK);
    RunResult bd = Run({"searchbycategory", "bd|tv"});
    EXPECT_EQ(bd.exitCode, 0);
    std::vector<std::string> found = Lines(bd.out);
    ASSERT_EQ(found.size(), 5u) << bd.out;
    EXPECT_EQ(found[0], "+ 3 : assets matching the specified criteria");
    std::set<std::string> listed;
    for (size_t i = 1; i < 4; ++i)
    {
        const std::string prefix = "+ #" + std::to_string(i - 1) + " : ";
        ASSERT_EQ(found[i].rfind(prefix, 0), 0u) << found[i];
        listed.insert(found[i].substr(prefix.size()));
    }
    EXPECT_EQ(listed, (std::set<std::string>{"<kuid:77:1>", "<kuid:77:2>", "<kuid:44000:1001>"}));
    RunResult none = Run({"searchbycategory", "-a", "zz"});
    EXPECT_EQ(none.exitCode, 255);
    EXPECT_EQ(none.out, "- NULLKUID : No asset matches the search.\nOK (1 Errors, 0 Warnings)\n");

    root_.WriteFile("work/KeywordsDump.dat", "<kuid:77:2>\t\"oak;green\"\n");
    EXPECT_EQ(Run({"importkeywords"}).exitCode, 0);
    // The import says OK once the daemon has stored the keywords: a backup right after holds them.
    EXPECT_EQ(Run({"backupkeywords", "Backup.TXT"}).exitCode, 0);
    std::vector<std::string> kept = Lines(root_.ReadFile("work/Backup.TXT"));
    EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()),
              (std::set<std::string>{"<kuid:77:1>\t\"\"", "<kuid:77:2>\t\"oak;green\"", "<kuid:78:1>\t\"\"",
                                     "<kuid:44000:1001>\t\"\""}));
    EXPECT_EQ(Run({"backupkeywords"}).exitCode, 0);
    EXPECT_TRUE(root_.Exists("work/KeywordsBackup.dat"));
}

TEST_F(CommandsE2E, ARemarkAfterAKUIDsNumbersLeavesTheKUIDAsItIs)
{
    // An asset's "kuid" and the package's first KUID are read leniently: what follows the numbers is ignored.
    root_.WriteFile("work/remark/config.txt", "kuid <kuid:523:870101>x\nkind \"scenery\"\nusername \"Remark\"\n");
    RunResult install = Run({"installfrompath", "remark"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    RunResult status = Run({"status", "<kuid:523:870101>"});
    EXPECT_EQ(status.exitCode, 0) << status.out;
    EXPECT_NE(status.out.find(" : Remark\n"), std::string::npos) << status.out;
    RunResult cdp = Run({"createcdp", "out.cdp", "<kuid:523:870101>junk"});
    EXPECT_EQ(cdp.exitCode, 0) << cdp.out;
    EXPECT_TRUE(root_.Exists("work/out.cdp"));
    // A number too long for its field is no end of the KUID: the text names no asset at all.
    RunResult tooLong = Run({"createcdp", "long.cdp", "<kuid:523:870101:99999999999>"});
    EXPECT_EQ(tooLong.exitCode, 255) << tooLong.out;
    EXPECT_NE(tooLong.out.find("Invalid AssetID."), std::string::npos) << tooLong.out;
    EXPECT_FALSE(root_.Exists("work/long.cdp"));
}

TEST_F(CommandsE2E, ASearchTooDeepSaysHowDeepItGoes)
{
    // 66 folders, the last holding an asset that lies below the deepest folder a search looks into.
    std::string tree = "deep";
    for (int i = 0; i < 66; ++i) tree += "/d";
    root_.WriteFile("work/" + tree + "/config.txt", "kuid <kuid:77:9>\nkind \"scenery\"\nusername \"Deep\"\n");
    const std::string deepest = root_.Path("work/" + tree.substr(0, 4 + 2 * 64));
    const std::string warning = "! NULLKUID : Folder tree too deep, not searched further: '" + deepest +
                                "' lies 64 folders below the folder given, the deepest a search goes; the folders in "
                                "it are not searched.\n";
    const RunResult install = Run({"installfrompath", "deep"});
    EXPECT_EQ(install.exitCode, 255);
    EXPECT_EQ(install.out.rfind(warning, 0), 0u) << install.out;
    const RunResult exported = Run({"dlsparsefolder", "deep"});
    EXPECT_NE(exported.out.find(warning), std::string::npos) << exported.out;
}

TEST_F(CommandsE2E, MaintenanceWords)
{
    RunResult repair = Run({"repairdatabase"});
    EXPECT_EQ(repair.exitCode, 0);
    EXPECT_EQ(repair.out, std::string("Repairing asset database (this may take some time)\n") + kOK);
    EXPECT_EQ(Run({"repairdatabase", "PATCHER"}).out, kOK);
    EXPECT_EQ(Run({"repairdatabase", "EXTENDED"}).out,
              std::string("Repairing asset database (this may take some time)\n") + kOK);
    EXPECT_EQ(Run({"flagrepairdatabase", "extended"}).exitCode, 0);
    EXPECT_EQ(Run({"patch-finalise", "success", "1", "2", "119"}).exitCode, 0);
}

TEST_F(CommandsE2E, CompileAndEncrypt)
{
    root_.WriteFile("work/Good.gs", "class Good\n{\n  void f() { }\n};\n");
    root_.WriteFile("work/Bad.gs", "class Bad\n{\n  void f() {\n};\n");
    RunResult good = Run({"compile", "Good.gs"});
    EXPECT_EQ(good.exitCode, 0) << good.out;
    EXPECT_TRUE(root_.Exists("work/Good.gsl"));

    RunResult bad = Run({"compile", "Bad.gs"});
    EXPECT_EQ(bad.exitCode, 255);
    EXPECT_FALSE(root_.Exists("work/Bad.gsl"));
    int errors = 0;
    for (const std::string& line : Lines(bad.out))
        if (line.find("Bad.gs(") != std::string::npos) ++errors;
    EXPECT_EQ(errors, 1) << bad.out;
    EXPECT_NE(bad.out.find("- NULLKUID : The script was not compiled: 1 error.\nOK (1 Errors"), std::string::npos)
        << bad.out;

    EXPECT_EQ(Run({"encrypt", "Good.gs"}).exitCode, 0);
    EXPECT_TRUE(root_.Exists("work/Good.gse"));
}

}  // namespace
}  // namespace e2e
