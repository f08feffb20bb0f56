// The life of an installation root around its daemon: a root removed or laid out anew while its daemon
// runs (the `rm -rf build` and rebuild of a newcomer) gets a fresh daemon at the next command, and a root
// the daemon cannot write makes the tool say why at once.
#include "E2EFixture.h"

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string kSignalBox = "<kuid:900001:100>";
const std::string kPlatform = "<kuid:900001:101>";

// What `rm -rf build` and a rebuild do to a staged installation: the whole root goes, and a root holding
// only the executables comes back at the same path (the same files, as hard links keep them).
void Rebuild(const InstallRoot& root)
{
    const fs::path aside = root.Root() + ".bin";
    fs::rename(root.Path("bin"), aside);
    fs::remove_all(root.Root());
    fs::create_directory(root.Root());
    fs::rename(aside, root.Path("bin"));
}

// The same root folder, emptied of everything but the executables.
void RemoveContent(const InstallRoot& root)
{
    for (const fs::directory_entry& e : fs::directory_iterator(root.Root()))
        if (e.path().filename() != "bin") fs::remove_all(e.path());
}

}  // namespace

TEST(RootLifeE2E, ARemovedOrRebuiltRootGetsAFreshDaemonAtTheNextCommand)
{
    const struct
    {
        const char* name;
        std::function<void(const InstallRoot&)> lose;
    } cases[] = {{"rebuilt", Rebuild}, {"emptied", RemoveContent}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        InstallRoot root;
        RunResult first = root.Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"});
        ASSERT_EQ(first.exitCode, 0) << first.out;
        const int oldDaemon = root.DaemonPid();
        ASSERT_GT(oldDaemon, 0);

        c.lose(root);

        // At once, before the old daemon may have noticed by itself.
        RunResult install = root.Run({"installfrompath", InstallRoot::SamplesDir() + "/platform-mesh"});
        EXPECT_EQ(install.exitCode, 0) << install.out << install.err;
        EXPECT_EQ(install.out, "+ " + kPlatform + " : Asset " + kPlatform + " was installed.\n" + kOK);
        EXPECT_TRUE(root.Exists("UserData/local/kuid 900001 101/config.txt"));
        EXPECT_TRUE(root.Exists("assets.tdx"));

        RunResult vanished = root.Run({"status", kSignalBox});
        EXPECT_EQ(vanished.out, "- " + kSignalBox + " : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n");
        RunResult listed = root.Run({"searchbycategory", ""});
        EXPECT_EQ(listed.out.find("900001:100"), std::string::npos) << listed.out;
        EXPECT_NE(listed.out.find("900001:101"), std::string::npos) << listed.out;

        // The new root has a daemon of its own, and the old one has ended.
        const int newDaemon = root.DaemonPid();
        EXPECT_GT(newDaemon, 0);
        EXPECT_NE(newDaemon, oldDaemon);
        EXPECT_TRUE(Eventually([&] { return !Platform::IsProcessAlive(oldDaemon); })) << "daemon " << oldDaemon;
    }
}

// A read-only root: the daemon cannot make (or open) its lock file, and the tool prints the daemon's own
// reason instead of waiting for it. The root is made read-only by a bind mount in a mount namespace of the
// run's own, so that even root cannot write it.
TEST(RootLifeE2E, AReadOnlyRootMakesTheToolSayWhyTheDaemonCannotStart)
{
    InstallRoot root;
    const std::string r = "'" + root.Root() + "'";
    auto inReadOnlyRoot = [&](const std::string& command) {
        const std::string readOnly = "mount --bind " + r + " " + r + " && mount -o remount,bind,ro " + r + " || exit " +
                                     std::to_string(kMountRefused) + "\n";
        return RunInMountNamespace(readOnly + command, {}, RunOptions::In(root.Root()));
    };
    // A container may refuse new mount namespaces, or the bind mount.
    const RunResult probe = inReadOnlyRoot("! touch " + r + "/probe 2>/dev/null");
    if (CannotMakeMountNamespace(probe)) GTEST_SKIP() << "a read-only bind mount cannot be made here: " << probe.err;
    ASSERT_EQ(probe.exitCode, 0) << "the root could be written below its read-only bind mount\n" << probe.err;

    // A fresh root: nothing can be created.
    RunResult fresh = inReadOnlyRoot("exec '" + root.Tool() + "' version");
    EXPECT_EQ(fresh.exitCode, 255);
    EXPECT_EQ(fresh.out, "");
    EXPECT_EQ(fresh.err, "- Failed to open asset database\n- The asset database daemon could not start: '" +
                             root.Path("assets.tdx.lock") +
                             "' cannot be created: Read-only file system\n- Init failed\n");

    // A root that was used before and has gone read-only since: its files are there but cannot be written.
    ASSERT_EQ(root.Run({"version"}).exitCode, 0);
    ASSERT_EQ(root.Run({"closevaddaemon"}).exitCode, 0);
    ASSERT_TRUE(Eventually([&] { return !root.DaemonRunning(); }));
    RunResult used = inReadOnlyRoot("exec '" + root.Tool() + "' status '" + kSignalBox + "'");
    EXPECT_EQ(used.exitCode, 255);
    EXPECT_EQ(used.err, "- Failed to open asset database\n- The asset database daemon could not start: '" +
                            root.Path("assets.tdx.lock") +
                            "' cannot be opened: Read-only file system\n- Init failed\n");
    EXPECT_FALSE(root.DaemonRunning());
}

// A lock file that is a second name of another file of the user's: the root is served, that file kept as it was.
TEST(RootLifeE2E, ALockFileWithASecondNameIsLockedButNeverWritten)
{
    InstallRoot root;
    root.WriteFile("victim.txt", "the user's own text\n");
    ASSERT_EQ(chmod(root.Path("victim.txt").c_str(), 0600), 0);
    ASSERT_EQ(link(root.Path("victim.txt").c_str(), root.Path("assets.tdx.lock").c_str()), 0);
    EXPECT_EQ(root.Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
    EXPECT_EQ(root.ReadFile("victim.txt"), "the user's own text\n");
}

}  // namespace e2e
