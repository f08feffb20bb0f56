// createcdp without assets, and the parts of the archive install that need no daemon.
#include "CommandTestSupport.h"

#include "assetdb/ContentArchive.h"
#include "assetdb/VADAssetInfo.h"
#include "tool/ArchiveInstall.h"

#include <filesystem>

namespace {

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
    EXPECT_STREQ(ChooseArchivePromptKeys(VAD_INFO_INSTALLED | VAD_INFO_ON_DLS, 0).log,
                 "$vad_prompt_alreadyinstalled_log");
}

}  // namespace
