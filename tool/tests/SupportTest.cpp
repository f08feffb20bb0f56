// Argument paths, the asset-folder walk, the keyword files, the status line, and the pure rules of the
// query and maintenance words. (Paths typed in another case: tests/e2e/UserSessionE2ETest.cpp.)
#include "CommandTestSupport.h"

#include "assetdb/VADAssetInfo.h"
#include "tool/AssetStatus.h"
#include "tool/Maintenance.h"
#include "tool/Query.h"
#include "tool/Support.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

TEST(ResolveArgumentPathTest, RelativeToStartDirectoryAbsoluteUnchanged)
{
    EXPECT_EQ(ResolveArgumentPathFrom("/home/user", "Keywords.dat").str(), "/home/user/Keywords.dat");
    EXPECT_EQ(ResolveArgumentPathFrom("/home/user/", "sub\\File.CDP").str(), "/home/user/sub/File.CDP");
    EXPECT_EQ(ResolveArgumentPathFrom("/home/user", "/abs/x.cdp").str(), "/abs/x.cdp");
    EXPECT_EQ(ResolveArgumentPathFrom("/home/user", "C:\\content\\x.cdp").str(), "C:/content/x.cdp");

    EngineObjects engine{};
    ToolContext tool(nullptr, engine);
    tool.SetStartDirectory("/started/here");
    EXPECT_EQ(ResolveArgumentPath(tool, "a.txt").str(), "/started/here/a.txt");
}

std::vector<std::string> g_handedOver;
// Records each folder; the daemon stand-in refuses folders named "two".
bool Record(const Orvo::File::Path& folder, ResultsLog&, uint32_t, uint8_t)
{
    g_handedOver.push_back(folder.str());
    return folder.GetFileName().str() != "two";
}

TEST(InstallFromFolderTreeTest, HandsOverEachAssetFolderOnce)
{
    TempFolder t;
    t.Write("both/config.txt", "kind \"scenery\"\n");
    t.Write("both/config.chump", "x");
    t.Write("both/inner/config.txt", "kind \"scenery\"\n");  // below an asset: not walked
    t.Write("group/one/config.chump", "x");
    t.Write("group/two/CONFIG.TXT", "kind \"mesh\"\n");  // names match without regard to case
    t.Write("group/readme.txt", "not an asset");
    t.Write("empty/.keep", "");
    g_handedOver.clear();
    ResultsLog log;
    uint32_t refused = 99;
    EXPECT_EQ(WalkAssetFolderTree(Orvo::File::Path(t.Path()), log, 0, 0, nullptr, Record, &refused), 3u);
    std::vector<std::string> expected = {t.Sub("both"), t.Sub("group/one"), t.Sub("group/two")};
    EXPECT_EQ(g_handedOver, expected);
    EXPECT_EQ(refused, 1u);

    EXPECT_EQ(WalkAssetFolderTree(Orvo::File::Path(), log, 0, 0, nullptr, Record), 0u);
    EXPECT_EQ(WalkAssetFolderTree(Orvo::File::Path(t.Sub("group/readme.txt")), log, 0, 0, nullptr, Record), 0u);
}

TEST(InstallFromFolderTreeTest, CancelStopsTheWalkAndLoopsEnd)
{
    TempFolder t;
    t.Write("a/config.txt", "");
    t.Write("b/config.txt", "");
    InstallCancel cancel;
    cancel.stop = 1;
    g_handedOver.clear();
    ResultsLog log;
    EXPECT_EQ(WalkAssetFolderTree(Orvo::File::Path(t.Path()), log, 0, 0, &cancel, Record), 1u);

    // A link back to a parent folder must not recurse for ever: the folder it leads to was walked already, and
    // is not walked again (nor down to the depth bound, which would warn).
    TempFolder loop;
    std::filesystem::create_directories(loop.Sub("x"));
    std::filesystem::create_directory_symlink(loop.Path(), loop.Sub("x/back"));
    EXPECT_EQ(WalkAssetFolderTree(Orvo::File::Path(loop.Path()), log, 0, 0, nullptr, Record), 0u);
    EXPECT_EQ(log.WarningCount(), 0u);
}

// A plain sub-folder that the kernel's folders are mounted on is named and left out, like a link into them: /proc
// never ends. The mount is made in a child with a mount namespace of its own, so that it goes with the child.
TEST(InstallFromFolderTreeTest, AFolderTheKernelsFoldersAreMountedOnIsNotWalked)
{
    TempFolder t;
    t.Write("a/config.txt", "");
    std::filesystem::create_directories(t.Sub("b/proc"));
    constexpr int kCannotMount = 77;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("/proc", t.Sub("b/proc").c_str(), nullptr, MS_BIND, nullptr) != 0)
            ::_exit(kCannotMount);
        ResultsLog log;
        const uint32_t found = WalkAssetFolderTree(Orvo::File::Path(t.Path()), log, 0, 0, nullptr, Record);
        const std::vector<ResultsLog::Result> said = log.GetResults();
        ::_exit(found == 1 && said.size() == 1 && said[0].text.View().find(t.Sub("b/proc")) != std::string::npos ? 0
                                                                                                                 : 1);
    }
    // A walk of /proc would take long: the child is given a bound.
    int status = 0;
    for (int waited = 0; ::waitpid(child, &status, WNOHANG) == 0; ++waited)
    {
        if (waited == 600) ::kill(child, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(WIFEXITED(status)) << "the walk did not end";
    if (WEXITSTATUS(status) == kCannotMount) GTEST_SKIP() << "no mount namespace can be made here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(KeywordFilesTest, WithoutDaemonNothingIsWrittenAndFailuresAreReported)
{
    VADClient noDaemon;
    TempFolder t;
    ResultsLog log;
    Orvo::File::Path backup(t.Sub("KeywordsBackup.dat"));
    EXPECT_FALSE(BackupKeywords(noDaemon, "", backup, "txt", &log));
    EXPECT_FALSE(std::filesystem::exists(backup.str()));
    EXPECT_EQ(log.ErrorCount(), 1u);

    EXPECT_FALSE(ImportKeywords(noDaemon, "", Orvo::File::Path(t.Sub("missing.dat")), "txt", &log));
    EXPECT_EQ(log.ErrorCount(), 2u);
    // A dump whose children are not KUIDs sends nothing, so nothing can fail.
    t.Write("KeywordsDump.dat", "not-a-kuid\t\"x\"\n");
    EXPECT_TRUE(ImportKeywords(noDaemon, "", Orvo::File::Path(t.Sub("KeywordsDump.dat")), "txt", &log));
    t.Write("KeywordsDump.dat", "<kuid:1:2>\t\"steam\"\n");
    EXPECT_FALSE(ImportKeywords(noDaemon, "", Orvo::File::Path(t.Sub("KeywordsDump.dat")), "txt", &log));
}

TEST(AssetStatusLineTest, LetterCaseCarriesEachState)
{
    VADAssetInfo info;
    info.flags = VAD_INFO_INSTALLED | VAD_INFO_ON_DLS;
    info.category = Orvo::PString("TV");
    info.username = "Oak tree";
    EXPECT_EQ(FormatAssetStatusLine(KUID(448834, 100), info, false, false),
              "<kuid:448834:100> : eIaDlmf : TV : Oak tree");
    info.flags = VAD_INFO_INSTALLED | VAD_INFO_ON_DLS | VAD_INFO_LOCALLY_MODIFIED | VAD_INFO_BUILTIN;
    info.flags2 = VAD_INFO2_OPEN_FOR_EDIT | VAD_INFO2_ARCHIVED;
    EXPECT_EQ(FormatAssetStatusLine(KUID(-3, 7, 2), info, true, true), "<kuid2:-3:7:2> : EIADLMF : TV : Oak tree");
    EXPECT_EQ(FormatAssetStatusLine(KUID(1, 2), VADAssetInfo(), false, true), "<kuid:1:2> : eiadlmF :  : ");
}

const VADFilterElementString* CategoryOf(const VADFilterElementGroup& g)
{
    return dynamic_cast<const VADFilterElementString*>(g.GetChild(0));
}

CommandArgs Args(std::vector<std::string>& words)
{
    static std::vector<char*> argv;
    argv.clear();
    for (auto& w : words) argv.push_back(w.data());
    return MakeCommandArgs(int(argv.size()), argv.data());
}

TEST(SearchByCategoryTest, FilterIsUpperCasedAndLocalUnlessAll)
{
    std::vector<std::string> localWords = {"x", "searchbycategory", "cmp;mesh|bd"},
                             allWords = {"x", "searchbycategory", "-A", "mesh"};
    ResultsLog log;
    VADFilterElementGroup local, all;
    ASSERT_TRUE(BuildCategoryFilter(VADClient(), Args(localWords), local, log));
    ASSERT_EQ(local.GetChildCount(), 2u);
    EXPECT_EQ(CategoryOf(local)->GetValue(), "CMP;MESH|BD");
    EXPECT_EQ(local.GetChild(1)->GetField(), uint32_t(VAD_FIELD_LOCAL));
    ASSERT_TRUE(BuildCategoryFilter(VADClient(), Args(allWords), all, log));
    ASSERT_EQ(all.GetChildCount(), 1u);
    EXPECT_EQ(CategoryOf(all)->GetValue(), "MESH");
    EXPECT_EQ(log.ErrorCount(), 0u);
}

TEST(MaintenanceRulesTest, RepairModes)
{
    ResultsLog log;
    std::vector<std::string> none = {"x", "repairdatabase"}, ext = {"x", "repairdatabase", "EXTENDED"},
                             patch = {"x", "repairdatabase", "patcher"}, base = {"x", "r", "Base"},
                             empty = {"x", "r", ""};
    EXPECT_EQ(ChooseRepairMode(VADClient(), Args(none), log), 100u);
    EXPECT_EQ(ChooseRepairMode(VADClient(), Args(ext), log), 150u);
    EXPECT_EQ(ChooseRepairMode(VADClient(), Args(patch), log), 50u);
    EXPECT_EQ(ChooseRepairMode(VADClient(), Args(base), log), 20u);
    EXPECT_EQ(ChooseRepairMode(VADClient(), Args(empty), log), 100u);
    EXPECT_EQ(log.ErrorCount(), 0u);
}

TEST(MaintenanceRulesTest, PatchReport)
{
    std::string page, label;
    std::vector<std::string> ok = {"x", "patch-finalise", "Success", "3", "4", "119"};
    ASSERT_TRUE(BuildPatchReport(Args(ok), page, label));
    EXPECT_EQ(page, "patch-success");
    EXPECT_EQ(label, "from:3 to:4 min:1");
    ok[5] = "120";
    ASSERT_TRUE(BuildPatchReport(Args(ok), page, label));
    EXPECT_EQ(label, "from:3 to:4 min:2");
    ok[5] = "-119";
    ASSERT_TRUE(BuildPatchReport(Args(ok), page, label));
    EXPECT_EQ(label, "from:3 to:4 min:-1");

    std::vector<std::string> badStatus = {"x", "p", "done", "3", "4", "5"},
                             badFrom = {"x", "p", "failed", "v3", "4", "5"},
                             extra = {"x", "p", "cancelled", "3", "4", "5", "6"};
    EXPECT_FALSE(BuildPatchReport(Args(badStatus), page, label));
    EXPECT_FALSE(BuildPatchReport(Args(badFrom), page, label));
    EXPECT_FALSE(BuildPatchReport(Args(extra), page, label));
}

}  // namespace
