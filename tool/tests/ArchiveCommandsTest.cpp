// createcdp and export-package up to the daemon, and the parts of the archive install that need none.
#include "CommandTestSupport.h"

#include "assetdb/ContentArchive.h"
#include "assetdb/VADAssetInfo.h"
#include "tool/ArchiveInstall.h"

#include <filesystem>

namespace {

TEST(ArchiveCommandsTest, CreateCDPChecksEveryKUIDBeforeWriting)
{
    TempFolder dir;
    const std::string out = dir.Sub("out.cdp");

    CommandRun invalid = RunWords({"createcdp", out, "not-a-kuid", "<kuid:1:2>"});
    EXPECT_EQ(invalid.exit, -1);
    EXPECT_EQ(invalid.Texts(), std::vector<std::string>{"Invalid AssetID."});

    // Not strict: a KUID without its closing bracket still names the asset.
    CommandRun notLocal = RunWords({"createcdp", out, "<KUID:1:2"});
    EXPECT_EQ(notLocal.exit, -1);
    ASSERT_EQ(notLocal.results.size(), 1u);
    EXPECT_EQ(notLocal.results[0].text.str(), "Asset is not local.");
    ASSERT_TRUE(notLocal.results[0].source);
    EXPECT_EQ(notLocal.results[0].source->GetName().str(), "AssetID");
    EXPECT_EQ(notLocal.results[0].source.GetValueText(), "<kuid:1:2>");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(ArchiveCommandsTest, CreateCDPWithoutAssetsWritesAnEmptyArchive)
{
    TempFolder dir;
    const std::string out = dir.Sub("Empty.CDP");
    CommandRun r = RunWords({"createcdp", out});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(r.results.empty());
    ContentArchive archive;
    Orvo::String result;
    ASSERT_TRUE(archive.Load(result, "", out)) << result.str();
    EXPECT_EQ(archive.GetAssetCount(), 0u);

    // A folder that is not there: the save's own text goes to the error stream.
    testing::internal::CaptureStderr();
    CommandRun missing = RunWords({"createcdp", dir.Sub("no/such/folder/x.cdp")});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(missing.exit, -1);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(err.back(), '\n');
}

TEST(ArchiveCommandsTest, PackageNamesOfEightLowerCaseLettersPass)
{
    // The name checks pass and the request itself fails for want of a daemon.
    for (const char* name : {"abcdefgh", "a", "sub/ok2"})
    {
        CommandRun r = RunWords({"export-package", "dxtc", name, "dep", "<kuid:1:2>"});
        EXPECT_EQ(r.exit, -1) << name;
        for (const std::string& t : r.Texts())
        {
            EXPECT_EQ(t.find("package name"), std::string::npos) << t;
            EXPECT_EQ(t.find("Missing AssetID"), std::string::npos) << t;
        }
    }
}

TEST(ArchiveInstallTest, CommitOptionFollowsTheChecksumAndOption8)
{
    EXPECT_EQ(ArchiveInstallCommitOption(0), 0u);
    EXPECT_EQ(ArchiveInstallCommitOption(kArchiveInstallCommit), 0u);
    EXPECT_EQ(ArchiveInstallCommitOption(kArchiveInstallDSIDMatches), 6u);
    EXPECT_EQ(ArchiveInstallCommitOption(kArchiveInstallOption8), 8u);
    EXPECT_EQ(ArchiveInstallCommitOption(kArchiveInstallDSIDMatches | kArchiveInstallOption8 | 2), 14u);
}

TEST(ArchiveInstallTest, PromptKeysByPrecedence)
{
    EXPECT_STREQ(ChooseArchivePromptKeys(VAD_INFO_BUILTIN | VAD_INFO_DLS_ITEM, VAD_INFO2_OPEN_FOR_EDIT).prompt,
                 "$vad_prompt_openforedit");
    EXPECT_STREQ(ChooseArchivePromptKeys(VAD_INFO_BUILTIN | VAD_INFO_DLS_ITEM, 0).log, "$vad_prompt_builtin_log");
    EXPECT_STREQ(ChooseArchivePromptKeys(VAD_INFO_DLS_ITEM | VAD_INFO_INSTALLED, VAD_INFO2_ARCHIVED).prompt,
                 "$vad_prompt_dls_item");
    EXPECT_STREQ(ChooseArchivePromptKeys(VAD_INFO_INSTALLED | VAD_INFO_ON_DLS, 0).log, "$vad_prompt_alreadyinstalled_log");
}

TEST(ArchiveInstallTest, FailuresPostOneErrorNamingTheAsset)
{
    // No daemon: the asset cannot be created.
    TDBTagRef entry = TDBTagRef::NewContainer();
    entry.SetChildKUID("kuid", KUID(12, 34, 0));
    entry.SetChildString("username", "X");
    ResultsLog log;
    EXPECT_TRUE(InstallAssetFromArchive(entry, log, kArchiveInstallCommit, 0, nullptr).IsNull());
    ASSERT_EQ(log.GetResultCount(), 1u);
    const ResultsLog::Result r = log.GetResults()[0];
    EXPECT_EQ(r.kind, kResultError);
    ASSERT_TRUE(r.source);
    EXPECT_EQ(r.source.GetValueText(), "<kuid:12:34>");
    EXPECT_EQ(r.source->GetName().str(), "");

    // An entry without a KUID is refused before anything is asked of the daemon.
    ResultsLog none;
    EXPECT_TRUE(InstallAssetFromArchive(TDBTagRef::NewContainer(), none, 0, 0, nullptr).IsNull());
    EXPECT_EQ(none.ErrorCount(), 1u);
}

} // namespace
