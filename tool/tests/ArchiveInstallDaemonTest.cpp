// InstallAssetFromArchive against a real daemon: replacing installed assets with and without the
// prompt's consent, and entries whose files cannot be written. (New assets: see the end-to-end tests.)
#include "CommandTestSupport.h"
#include "ToolTestRoot.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/InterfaceTextDB.h"
#include "tool/ArchiveInstall.h"

#include <filesystem>

namespace {

class ScriptedPrompt : public ArchiveInstallPrompt
{
public:
    explicit ScriptedPrompt(int answer) : answer_(answer) {}
    int Ask(const Orvo::String& promptText, const Orvo::String& logText, const KUID& kuid, ResultsLog&) override
    {
        ++asked;
        prompt = promptText.str();
        log = logText.str();
        this->kuid = kuid;
        return answer_;
    }
    int asked = 0;
    std::string prompt, log;
    KUID kuid;

private:
    int answer_;
};

class ArchiveInstallDaemonTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root_ = ToolTestRoot();
        if (!ToolTestRootHasDaemon()) GTEST_SKIP() << "the staged daemon is not built";
        connection_.SetRoot(root_);
        connection_.SetConnectIntervalMs(50);
        VADConnectionSettings s;
        s.Reset();
        ASSERT_TRUE(connection_.Open(s).Ok());
    }
    void TearDown() override
    {
        if (connection_.Connected()) connection_.CloseDaemon(0);
        connection_.Close();
    }

    VADConnection connection_;
    VADClient client_{connection_};

    // Installs a folder holding one config and returns the daemon's archive entry of it.
    TDBTagRef InstalledEntry(const KUID& kuid, const std::string& name)
    {
        const std::string folder = root_ + "/work/" + name;
        std::filesystem::create_directories(folder);
        TDBTagRef config = TDBTagRef::NewContainer();
        config.SetChildKUID("kuid", kuid);
        config.SetChildString("kind", "scenery");
        config.SetChildString("username", name);
        EXPECT_TRUE(SaveConfigFile(config, "", folder + "/config.txt"));
        ResultsLog log;
        KUID installed;
        EXPECT_TRUE(client_.InstallFromFolder(installed, Orvo::File::Path(folder), &log));
        EXPECT_EQ(installed, kuid);
        TDBTagRef entry;
        EXPECT_TRUE(client_.GetAssetArchiveEntry(entry, kuid, &log, 3));
        return entry;
    }
    std::string UserName(const KUID& kuid)
    {
        TDBTagRef config;
        (void)client_.GetAssetConfig(config, kuid, 0);  // a null tree has no name, which the tests see
        return config.GetChildString("username").str();
    }
    VADAssetInfo Info(const KUID& kuid)
    {
        VADAssetInfo info;
        (void)client_.GetAssetInfo(kuid, info);  // an empty record is not valid, which the tests see
        return info;
    }

    std::string root_;
};

TEST_F(ArchiveInstallDaemonTest, ReplacingAnInstalledAssetNeedsThePromptsConsent)
{
    const KUID kuid(777, 1, 0);
    TDBTagRef entry = InstalledEntry(kuid, "first");
    entry.SetChildString("username", "replaced");

    ScriptedPrompt no(1);
    ResultsLog quiet;
    EXPECT_TRUE(InstallAssetFromArchive(client_, entry, quiet, kArchiveInstallCommit, 0, &no).IsNull());
    EXPECT_EQ(no.asked, 1);
    EXPECT_EQ(no.prompt, GetInterfaceString("$vad_prompt_alreadyinstalled").str());
    EXPECT_EQ(no.log, GetInterfaceString("$vad_prompt_alreadyinstalled_log").str());
    EXPECT_EQ(no.kuid, kuid);
    EXPECT_EQ(quiet.GetResultCount(), 0u);
    EXPECT_EQ(UserName(kuid), "first");

    ScriptedPrompt yes(kArchivePromptReplace);
    ResultsLog log;
    EXPECT_EQ(InstallAssetFromArchive(client_, entry, log, kArchiveInstallCommit, 0, &yes), kuid);
    ASSERT_EQ(log.GetResultCount(), 1u);
    EXPECT_EQ(log.GetResults()[0].kind, kResultSuccess);
    EXPECT_EQ(UserName(kuid), "replaced");
    EXPECT_TRUE(Info(kuid).IsInstalled());
    EXPECT_FALSE(Info(kuid).IsOpenForEdit());
}

TEST_F(ArchiveInstallDaemonTest, UnwritableFilesLeaveNothingInstalled)
{
    TDBTagRef entry = InstalledEntry(KUID(777, 4, 0), "base");
    const KUID bad(777, 5, 0);
    entry.SetChildKUID("kuid", bad);
    entry.GetChildContainer("files").SetChildBinary("..", "x", 1);

    ResultsLog log;
    EXPECT_TRUE(InstallAssetFromArchive(client_, entry, log, kArchiveInstallCommit, 0, nullptr).IsNull());
    ASSERT_EQ(log.GetResultCount(), 1u);
    EXPECT_EQ(log.GetResults()[0].kind, kResultError);
    EXPECT_EQ(log.GetResults()[0].source.GetValueText(), "<kuid:777:5>");
    EXPECT_FALSE(Info(bad).IsInstalled());
    EXPECT_FALSE(std::filesystem::exists(root_ + "/UserData/local/kuid 777 5"));
}

}  // namespace
