// Several folders installed in one request (one store transaction): each as a single install would do it,
// and the folders of installed assets named for packing.
#include "DaemonHarness.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADProtocol.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class DaemonBatchInstallTest : public DaemonTest
{};

}  // namespace

TEST_F(DaemonBatchInstallTest, EachFolderAsASingleInstallWouldDoIt)
{
    const KUID a(555, 1, 0), b(555, 2, 0);
    WriteAssetFolder(inst.Path("src/a"), a, "First", "", 2, 100);
    WriteAssetFolder(inst.Path("src/b"), b, "Second");
    WriteAssetFolder(inst.Path("src/b2"), b, "Second again");  // the same asset later in the batch
    fs::create_directories(inst.Path("src/none"));
    fs::create_symlink(inst.Path("src/a/config.txt"), inst.Path("src/b/linked.txt"));
    StartAndOpen();

    ResultsLog log;
    std::vector<KUID> installed;
    ASSERT_TRUE(client.InstallFromFolders({inst.Path("src/a"), inst.Path("src/none"), inst.Path("src/b"),
                                           inst.Path("src/b2"), inst.Path("UserData/local")},
                                          installed, &log));
    EXPECT_EQ(installed, (std::vector<KUID>{a, KUID::Null(), b, b, KUID::Null()}));
    EXPECT_EQ(log.ErrorCount(), 2u);    // no configuration; the database's own folder
    EXPECT_GE(log.WarningCount(), 1u);  // the link left out

    // The second copy of b replaced the first, which went to a backup as a replacement does.
    VADAssetInfo info;
    ASSERT_TRUE(client.GetAssetInfo(b, info));
    EXPECT_EQ(info.username, "Second again");
    ASSERT_TRUE(client.GetAssetInfo(a, info));
    EXPECT_TRUE(info.IsInstalled());
    EXPECT_EQ(info.fileSize, fs::file_size(inst.Path("UserData/local/kuid 555 1/config.txt")) + 200);
    EXPECT_FALSE(fs::exists(inst.Path("UserData/local/kuid 555 2/linked.txt")));
    EXPECT_TRUE(fs::exists(inst.Path("UserData/backups")));

    // A restart finds every record matching its folder: nothing to read again.
    RestartAndOpen();
    ASSERT_TRUE(client.GetAssetInfo(b, info));
    EXPECT_EQ(info.username, "Second again");

    std::vector<std::pair<bool, std::string>> folders;
    ASSERT_TRUE(client.GetAssetFolders({a, KUID(555, 99, 0), b}, folders));
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0], std::make_pair(true, inst.Path("UserData/local/kuid 555 1")));
    EXPECT_FALSE(folders[1].first);
    EXPECT_TRUE(folders[2].first);
}

// Copies staged for an install in the cache folder lend their files to the installed copy (a second name,
// not a copy); a folder anywhere else is copied whatever the options say.
TEST_F(DaemonBatchInstallTest, OnlyCopiesStagedInTheCacheAreLinked)
{
    StartAndOpen();
    const struct
    {
        const char* folder;
        uint32_t options;
        bool linked;
    } rows[] = {
        {"UserData/cache/staged/a", kVADInstallStagedInCache | kVADInstallFavourite, true},
        {"UserData/cache/staged/b", kVADInstallFavourite, false},
        {"src/c", kVADInstallStagedInCache, false},
        {"UserData/cachex/d", kVADInstallStagedInCache, false},  // beside the cache, not in it
    };
    int content = 0;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.folder);
        const KUID k(557, ++content, 0);
        WriteAssetFolder(inst.Path(row.folder), k, "Asset", "", 1, 100);
        std::vector<KUID> installed;
        ASSERT_TRUE(client.InstallFromFolders({inst.Path(row.folder)}, installed, nullptr, row.options));
        ASSERT_EQ(installed, std::vector<KUID>{k});
        const std::string copy = inst.Path("UserData/local/" + k.ToSpacedString() + "/config.txt");
        EXPECT_EQ(fs::hard_link_count(copy), row.linked ? 2u : 1u);
        EXPECT_EQ(ReadFile(copy), ReadFile(inst.Path(row.folder) + "/config.txt"));
    }
}

// A copy in one of this daemon's own staging folders was made for that install alone: it is moved into place,
// not linked, and what is not a file or folder in it is left out. A copy anywhere else in the cache (another
// daemon's staging folder, deeper down, or without the option) is linked or copied as before and stays.
TEST_F(DaemonBatchInstallTest, CopiesInTheDaemonsOwnStagingFolderAreMovedIntoPlace)
{
    StartAndOpen();
    const std::string own = "UserData/cache/install-" + std::to_string(inst.DaemonPid()) + "-900.staging";
    const std::string other = "UserData/cache/install-" + std::to_string(inst.DaemonPid() + 1) + "-900.staging";
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const struct
    {
        std::string folder;
        uint32_t options;
        bool moved;
        unsigned links;  // of the installed copy's configuration
    } rows[] = {
        {own + "/0", kVADInstallStagedInCache, true, 1},
        {own + "/deeper/1", kVADInstallStagedInCache, false, 2},
        {other + "/2", kVADInstallStagedInCache, false, 2},
        {own + "/3", 0, false, 1},
    };
    int content = 0;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.folder);
        const KUID k(558, ++content, 0);
        const std::string from = inst.Path(row.folder);
        WriteAssetFolder(from, k, "Asset", "", 2, 100);
        fs::create_symlink(from + "/config.txt", from + "/data/link.txt");
        fs::permissions(from, fs::perms::owner_all);
        ResultsLog log;
        std::vector<KUID> installed;
        ASSERT_TRUE(client.InstallFromFolders({from}, installed, &log, row.options));
        ASSERT_EQ(installed, std::vector<KUID>{k});
        EXPECT_EQ(log.WarningCount(), 1u);  // the link left out
        const std::string copy = inst.Path("UserData/local/" + k.ToSpacedString());
        EXPECT_EQ(fs::exists(from), !row.moved);
        EXPECT_EQ(fs::hard_link_count(copy + "/config.txt"), row.links);
        EXPECT_FALSE(fs::exists(fs::symlink_status(copy + "/data/link.txt")));
        EXPECT_EQ(ReadFile(copy + "/data/file1.bin"), std::string(100, 'x'));
        VADAssetInfo info;
        ASSERT_TRUE(client.GetAssetInfo(k, info));
        EXPECT_EQ(info.fileSize, fs::file_size(copy + "/config.txt") + 200);
        // A moved copy's folder gets the mode a new folder gets, not the staging copy's own.
        if (row.moved)
        {
            struct stat st;
            ASSERT_EQ(::stat(copy.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0777 & ~mask);
        }
    }
    // No temporary folder is left beside the installed copies.
    for (const auto& e : fs::directory_iterator(inst.Path("UserData/local")))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}
