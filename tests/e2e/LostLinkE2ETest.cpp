// A daemon that goes away in the middle of an install, through the real tool, daemon and command host: a
// command host whose daemon is gone makes nothing more, and the user is told which folders were not
// installed.
#include "E2EFixture.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <set>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// A package of `count` assets new to the database, <kuid:900200:1> and up, each with one file.
void WritePackage(const std::string& path, int count)
{
    ContentArchive archive;
    Orvo::String result;
    const std::string data(4096, 'x');
    for (int i = 1; i <= count; ++i)
    {
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("kuid", KUID(900200, i, 0));
        entry.SetChildString("username", "Package asset " + std::to_string(i));
        entry.SetChildString("kind", "scenery");
        entry.CreateChildContainer("files").SetChildBinary("data.bin", data.data(), data.size());
        entry.SetChildString("compression", "none");
        SetArchiveEntryDSID(entry);
        ASSERT_TRUE(archive.AddAsset(result, entry)) << result.c_str();
    }
    ASSERT_TRUE(archive.Save(result, Orvo::File::Path(path))) << result.c_str();
}

// The command hosts running for the root (the tool run as "vadcommandhost").
std::vector<int> CommandHosts(const InstallRoot& root)
{
    std::vector<int> hosts;
    for (int pid : Platform::FindProcessesByPath(root.Tool()))
        if (ReadWholeFile("/proc/" + std::to_string(pid) + "/cmdline").find("vadcommandhost") != std::string::npos)
            hosts.push_back(pid);
    return hosts;
}

// The staging folders in the cache ("install-<pid>-<n>.staging"); with `withCopies` only those holding a copy.
std::vector<std::string> StagingFolders(const InstallRoot& root, bool withCopies = false)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(root.Path("UserData/cache"), ec), end; !ec && it != end; it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (name.size() < 8 || name.compare(name.size() - 8, 8, ".staging") != 0) continue;
        std::error_code empty;
        if (!withCopies || !fs::is_empty(it->path(), empty)) found.push_back(name);
    }
    return found;
}

TEST(LostLinkE2E, ACommandHostWhoseDaemonIsGoneStopsAndMakesNothingMore)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    fs::create_directories(root.Path("work"));
    WritePackage(root.Path("work/many.cdp"), 1200);
    const int daemon = root.DaemonPid();
    ASSERT_GT(daemon, 0);

    std::unique_ptr<RunningProgram> install = root.Start({"installcdp", "many.cdp"}, RunOptions::In(root.Path("work")));
    // Caught while its command host stages the package's assets: the host is held, its daemon killed.
    ASSERT_TRUE(Eventually([&] { return !StagingFolders(root, true).empty(); }, 30000, 1));
    const std::vector<int> hosts = CommandHosts(root);
    ASSERT_EQ(hosts.size(), 1u);
    ASSERT_EQ(kill(hosts[0], SIGSTOP), 0);
    ASSERT_EQ(kill(daemon, SIGKILL), 0);
    EXPECT_NE(Platform::WaitForProcess(daemon, 10000), Platform::WaitResult::TimedOut);
    RunResult r = install->Wait();
    EXPECT_EQ(r.exitCode, 255) << r.out;
    EXPECT_EQ(r.out.find("OK (0 Errors"), std::string::npos) << r.out;

    // The next daemon clears what the killed one left; the old host, let go, must not make it again.
    ASSERT_TRUE(root.StartDaemon());
    ASSERT_TRUE(Eventually([&] { return StagingFolders(root).empty(); }));
    ASSERT_EQ(kill(hosts[0], SIGCONT), 0);
    ASSERT_TRUE(Eventually([&] { return !Platform::IsProcessAlive(hosts[0]); }, 1200));
    EXPECT_TRUE(StagingFolders(root).empty());
    // Nothing of the package reached the new daemon through the old host.
    SettingsReader client(root.Root());
    ASSERT_TRUE(client.Connected());
    VADAssetInfo info;
    EXPECT_FALSE(client.Client().GetAssetInfo(KUID(900200, 1200, 0), info) && info.IsInstalled());
}

// More folders than one request takes: the first request dies with its daemon (killed at a step of its
// install), the tool starts another daemon for the rest, and names every folder of the lost request.
TEST(LostLinkE2E, AfterALostLinkInstallFromPathNamesTheFoldersNotInstalled)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon({"-crashat=staged"}));
    const int count = 300;
    std::vector<std::string> folders;
    for (int i = 0; i < count; ++i)
    {
        char name[32];
        std::snprintf(name, sizeof name, "many/a%03d", i);
        root.WriteFile(std::string("work/") + name + "/config.txt", "kuid <kuid:900300:" + std::to_string(i + 1) +
                                                                        ">\nusername \"Folder " + std::to_string(i) +
                                                                        "\"\nkind \"scenery\"\n");
        folders.push_back(root.Path(std::string("work/") + name));
    }
    RunResult r = root.Run({"installfrompath", "many"},
                           RunOptions{{{"VELMAR_TEST_CONNECT_INTERVAL_MS", "50"}}, root.Path("work"), 120000});
    EXPECT_EQ(r.exitCode, 255) << r.out;
    EXPECT_EQ(r.out.find("OK (0 Errors"), std::string::npos);

    // The folders of the first request (256, in name order) are named; the rest were installed.
    std::set<std::string> named;
    const std::string prefix = "- NULLKUID : The asset folder '";
    for (const std::string& line : Lines(r.out))
        if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size() + 20)
            named.insert(line.substr(prefix.size(), line.size() - prefix.size() - 20));
    ASSERT_EQ(named.size(), 256u) << r.out;
    for (int i = 0; i < count; ++i)
    {
        const bool lost = i < 256;
        EXPECT_EQ(named.count(folders[i]), lost ? 1u : 0u) << folders[i];
        const std::string kuid = "<kuid:900300:" + std::to_string(i + 1) + ">";
        EXPECT_EQ(r.out.find("+ " + kuid + " : Asset " + kuid + " was installed.") != std::string::npos, !lost) << i;
    }
    EXPECT_NE(r.out.find("- NULLKUID : The asset folder '" + folders[0] + "' was not installed.\n"), std::string::npos)
        << r.out;
}

}  // namespace
}  // namespace e2e
