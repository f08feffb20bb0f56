// The driver over real content folders: which folders are validated, which configuration file is read,
// when the daemon's folder check is asked, and the task that carries the job to the main thread.
#include "ValidationTestSupport.h"

#include "assetdb/ContentFolders.h"
#include "core/CoreThreads.h"
#include "core/MainThreadWork.h"
#include "core/SoupText.h"

#include <atomic>
#include <thread>

namespace validation_test {
namespace {

std::atomic<int> g_folderChecks{0};
bool CountFolderCheck(std::string_view, const Orvo::File::Path&, ResultsLog&)
{
    ++g_folderChecks;
    return true;
}

const std::string kClean = Head("scenery") + kMesh;

class DriverTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        ASSERT_TRUE(SetInstallationPath(Orvo::File::Path(root_ + "/install")));
        UsePlugins([](TETLib::ValidationPlugins& plugins) {
            TETLib::AssetDatabaseServices services;
            services.isValidUserId = AlwaysValidUserId;
            plugins.SetAssetDatabaseServices(services);
        });
        g_folderChecks = 0;
        local_ = root_ + "/install/UserData/local/asset/";
        fs::create_directories(local_);
        ASSERT_TRUE(Orvo::File::WriteFile(local_ + "box.im", "mesh"));
    }
    std::vector<std::string> Run(const std::string& source, const std::string& folder)
    {
        ResultsLog log;
        passed_ = TETLib::ValidateAssetFolder(Manager(), log, Orvo::PString(source), Orvo::File::Path(folder),
                                              CountFolderCheck);
        return Lines(log);
    }
    std::string local_;
};

TEST_F(DriverTest, FoldersAndConfigurationFiles)
{
    // Outside the content folders: not a pass.
    WriteFile("elsewhere/config.txt", kClean);
    EXPECT_EQ(Run("", root_ + "/elsewhere/"),
              std::vector<std::string>{"- $tet_asset_outside_content_folders FILE_PATH=" + root_ + "/elsewhere/"});
    EXPECT_FALSE(passed_);

    // No configuration.
    EXPECT_EQ(Run("local", local_), std::vector<std::string>{"- $vad_unable_read_config_at FILE_PATH=" + local_});
    EXPECT_FALSE(passed_);

    // "config.chump" is read before "config.txt".
    ASSERT_TRUE(Orvo::File::WriteFile(local_ + "config.txt", "kuid <kuid:900001:500>\n"));
    TDBTagRef clean;
    ASSERT_TRUE(ReadSoupText(kClean, "clean", clean));
    ASSERT_TRUE(SaveConfigFile(clean, {}, local_ + "config.chump"));
    EXPECT_EQ(Run("local", local_), std::vector<std::string>{});
    EXPECT_TRUE(passed_);
    EXPECT_EQ(g_folderChecks, 1);

    // A configuration that does not read says where.
    fs::remove(local_ + "config.chump");
    ASSERT_TRUE(Orvo::File::WriteFile(local_ + "config.txt", "kuid <kuid:900001:500>\nusername \"open\n"));
    const std::vector<std::string> unreadable = Run("local", local_);
    ASSERT_EQ(unreadable.size(), 1u);
    EXPECT_EQ(
        unreadable[0].rfind("- $tet_config_unreadable FILE=" + local_ + "config.txt REASON='config.txt' line 2", 0), 0u)
        << unreadable[0];
    EXPECT_EQ(g_folderChecks, 1);  // not asked after an error

    // Warnings alone still go to the daemon's check.
    ASSERT_TRUE(Orvo::File::WriteFile(local_ + "config.txt", kClean + "description \"\"\n"));
    EXPECT_EQ(Run("local", local_).size(), 1u);
    EXPECT_TRUE(passed_);
    EXPECT_EQ(g_folderChecks, 2);

    // Packed and package content is not validated.
    ASSERT_TRUE(Orvo::File::WriteFile(local_ + "config.txt", "kind \"nothing we know\"\n"));
    fs::create_directories(root_ + "/install/UserData/packages/p");
    EXPECT_EQ(Run("packages", root_ + "/install/UserData/packages/p/"), std::vector<std::string>{});
    EXPECT_TRUE(passed_);
    ASSERT_TRUE(Orvo::File::WriteFile(root_ + "/install/UserData/local.oa", "packed"));
    EXPECT_EQ(Run("local", local_), std::vector<std::string>{});
    EXPECT_TRUE(passed_);
}

TEST_F(DriverTest, TheTaskRunsOnTheMainThreadFromAnyThread)
{
    ASSERT_TRUE(Orvo::File::WriteFile(local_ + "config.txt", kClean));
    SetMainThread();
    const Orvo::PString source("local");
    const Orvo::File::Path folder(local_);
    ResultsLog log;
    // On the main thread itself it runs at once.
    const TETLib::AssetFolderCheck check = CountFolderCheck;
    TETLib::ValidateAssetTask here(Manager(), source, folder, log, check);
    EXPECT_TRUE(TETLib::ValidateAssetTask::Start(here));
    EXPECT_EQ(here.GetStartThread(), CurrentThreadId());

    // From another thread it waits for the main thread to run it.
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::thread other([&] {
        TETLib::ValidateAssetTask task(Manager(), source, folder, log, check);
        result = TETLib::ValidateAssetTask::Start(task);
        done = true;
    });
    for (int i = 0; i < 6000 && !done; ++i)
    {
        WaitForMainThreadWork(10);
        MainThreadUpdate();
    }
    other.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(log.GetResultCount(), 0u);
}

}  // namespace
}  // namespace validation_test
