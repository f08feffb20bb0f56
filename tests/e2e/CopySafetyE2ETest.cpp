// What the daemon makes of the files it copies from users' folders: the modes a copy keeps, the folders on the
// way it trusts, the configuration it installs when the folder changes while it is copied, and the folder
// trees it refuses to walk or walks once. The second user is user nobody, in a child process.
#include "OtherUserRoot.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

namespace e2e {
namespace {

namespace fs = std::filesystem;

void WriteMode(const std::string& path, const std::string& text, mode_t mode)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

// Files and folders below `folder` (itself too) with a mode bit a copy may not keep (set-user-ID, set-group-ID,
// sticky, group or other write), or not owned by this user: "path 04755" each.
std::vector<std::string> UnsafeModes(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    if (!fs::exists(folder, ec)) return found;
    auto check = [&](const fs::path& p) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
        if ((st.st_mode & 07777 & ~0755u) != 0 || st.st_uid != geteuid())
        {
            char mode[16];
            std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(st.st_mode & 07777));
            found.push_back(p.string() + mode);
        }
    };
    check(folder);
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) check(e.path());
    return found;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st
    {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

class CopySafetyE2E : public OtherUserRootTest
{
protected:
    std::string LocalFolder(const std::string& spaced) const { return root_.Path("UserData/local/" + spaced); }
};

// A set-user-ID program, a set-group-ID one, a file everyone may write and a sticky folder everyone may write,
// in the other user's folder: every copy the daemon makes of them (the install, the edit copy, the commit, the
// backup, the device package) is the owner's, with the owner's bits and reading and running for others only.
TEST_F(CopySafetyE2E, CopiesKeepOnlyTheOwnersModeBits)
{
    const std::string asset = other_ + "/asset";
    WriteMode(asset + "/config.txt", "kuid <kuid:900781:1>\nusername \"Modes\"\nkind \"scenery\"\n", 0644);
    WriteMode(asset + "/tool.bin", "#!/bin/sh\nid\n", 04755);
    WriteMode(asset + "/group.bin", "#!/bin/sh\nid\n", 02755);
    WriteMode(asset + "/open.txt", "anyone writes\n", 0666);
    WriteMode(asset + "/drop/inner.txt", "inner\n", 0664);
    ASSERT_EQ(chmod((asset + "/drop").c_str(), 01777), 0);
    ASSERT_NO_FATAL_FAILURE(GiveToNobody(false));

    const RunResult install = Run({"installfrompath", asset});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    const std::string local = LocalFolder("kuid 900781 1");
    EXPECT_EQ(UnsafeModes(local), std::vector<std::string>());
    // The owner's own bits stay: a program stays one.
    EXPECT_EQ(ModeOf(local + "/tool.bin"), 0755u);
    EXPECT_EQ(ModeOf(local + "/open.txt"), 0644u);

    // The edit copy; then a commit of an edit folder whose files the owner gave such bits.
    const RunResult edit = Run({"edit", "<kuid:900781:1>"});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string editing = root_.Path("UserData/editing/kuid 900781 1");
    EXPECT_EQ(UnsafeModes(editing), std::vector<std::string>());
    ASSERT_EQ(chmod((editing + "/tool.bin").c_str(), 06777), 0);
    ASSERT_EQ(chmod((editing + "/drop").c_str(), 01777), 0);
    const RunResult commit = Run({"commit", "<kuid:900781:1>"});
    ASSERT_EQ(commit.exitCode, 0) << commit.out;
    EXPECT_EQ(UnsafeModes(local), std::vector<std::string>());

    // A backup of an installed copy that has such bits (put there by hand) has none of them.
    ASSERT_EQ(chmod((local + "/tool.bin").c_str(), 04777), 0);
    const RunResult again = Run({"installfrompath", asset});
    ASSERT_EQ(again.exitCode, 0) << again.out;
    ASSERT_TRUE(fs::exists(root_.Path("UserData/backups")));
    EXPECT_EQ(UnsafeModes(root_.Path("UserData/backups")), std::vector<std::string>());

    const RunResult exported = Run({"export-package", "", "modes", "<kuid:900781:1>"});
    ASSERT_EQ(exported.exitCode, 0) << exported.out;
    ASSERT_TRUE(fs::exists(root_.Path("UserData/packages/modes")));
    EXPECT_EQ(UnsafeModes(root_.Path("UserData/packages/modes")), std::vector<std::string>());
}

// The owner and nobody share a group, and a folder of the owner's that the group may write: a link nobody plants
// there to the owner's private asset (in a folder only the owner may enter) is never followed, named or met in
// a walk.
TEST_F(CopySafetyE2E, ALinkInAFolderTheOwnersGroupMayWriteIsNotFollowed)
{
    const std::string secret = "SECRET-of-the-owner";
    root_.WriteFile("private/asset/config.txt", "kuid <kuid:900779:1>\nusername \"Private\"\nkind \"scenery\"\n");
    root_.WriteFile("private/asset/secret.txt", secret);
    ASSERT_EQ(chmod(root_.Path("private").c_str(), 0700), 0);
    const std::string shared = other_ + "/shared";
    fs::create_directories(shared + "/theirs");
    std::ofstream(shared + "/theirs/config.txt") << "kuid <kuid:900779:2>\nusername \"Shared\"\nkind \"scenery\"\n";
    ASSERT_EQ(chown(shared.c_str(), 0, getegid()), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0770), 0);
    const std::string target = root_.Path("private/asset");
    ASSERT_EQ(AsNobody([&] { return symlink(target.c_str(), (shared + "/evil").c_str()) == 0 ? 0 : 1; }, getegid()), 0);

    const RunResult named = Run({"installfrompath", shared + "/evil"});
    EXPECT_NE(named.exitCode, 0) << named.out;
    EXPECT_NE(named.out.find("symbolic link"), std::string::npos) << named.out;
    const RunResult walked = Run({"installfrompath", shared});
    EXPECT_NE(walked.out.find("evil"), std::string::npos) << walked.out;
    EXPECT_EQ(Run({"status", "<kuid:900779:2>"}).exitCode, 0) << walked.out;
    EXPECT_NE(Run({"status", "<kuid:900779:1>"}).exitCode, 0) << "the owner's private asset was installed";
    EXPECT_EQ(FilesHolding(root_.Path("UserData"), secret), std::vector<std::string>());
}

// Two asset folders whose configurations another process keeps swapping while one of them is installed again
// and again: an install that reports success installed the configuration of the KUID it names, in its folder,
// and so it stays after a restart.
TEST_F(CopySafetyE2E, AConfigurationSwappedWhileItIsCopiedIsNeverInstalledUnderTheWrongKUID)
{
    // At least this many installs, and on until one got through (the bound only ends a run that never does).
    constexpr int kInstalls = 40;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    constexpr int kFiles = 300;
    const std::string x = other_ + "/x", y = other_ + "/y";
    const std::map<std::string, std::string> names = {{"<kuid:900782:1>", "Ex"}, {"<kuid:900782:2>", "Why"}};
    int n = 0;
    for (const auto& [kuid, name] : names)
    {
        const std::string folder = n++ == 0 ? x : y;
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt") << "kuid " << kuid << "\nusername \"" << name << "\"\nkind \"scenery\"\n";
        for (int i = 0; i < kFiles; ++i) std::ofstream(folder + "/f" + std::to_string(i) + ".txt") << name << i << "\n";
    }
    const std::string a = x + "/config.txt", b = y + "/config.txt", aside = other_ + "/config.aside";
    // Bursts of swaps for half a second, then pauses each longer than the last (up to 5 s), so that before long
    // one outlasts an install however busy the machine is. The child keeps its own copies of these two.
    using Clock = std::chrono::steady_clock;
    Clock::time_point burstEnd = Clock::now() + std::chrono::milliseconds(500);
    unsigned pauses = 0;
    RacingChild swapper([&](unsigned) {
        rename(a.c_str(), aside.c_str());
        rename(b.c_str(), a.c_str());
        rename(aside.c_str(), b.c_str());
        if (Clock::now() < burstEnd) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5000u, 50u << std::min(pauses++, 7u))));
        burstEnd = Clock::now() + std::chrono::milliseconds(500);
    });
    ASSERT_TRUE(swapper.Started());

    // The configuration each KUID that was reported installed must have.
    auto expectOwnConfig = [&](const std::string& kuid, const char* when) {
        const RunResult printed = Run({"printconfig", kuid});
        ASSERT_EQ(printed.exitCode, 0) << printed.out;
        for (const auto& [other, name] : names)
            EXPECT_EQ(printed.out.find("\"" + name + "\"") != std::string::npos, other == kuid)
                << when << ": " << kuid << " holds the configuration of " << other << "\n"
                << printed.out;
    };
    std::set<std::string> installed;
    int failed = 0, tried = 0;
    for (; tried < kInstalls || (installed.empty() && std::chrono::steady_clock::now() < giveUp); ++tried)
    {
        const RunResult r = Run({"installfrompath", x});
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.out.find("OK (0 Errors") != std::string::npos, r.exitCode == 0) << r.out;
        if (r.exitCode != 0)
        {
            ++failed;
            continue;
        }
        for (const auto& [kuid, name] : names)
            for (const std::string& line : Lines(r.out))
                if (line.find(kuid) != std::string::npos && line.find("was installed") != std::string::npos)
                {
                    installed.insert(kuid);
                    expectOwnConfig(kuid, "after its install");
                }
    }
    ASSERT_TRUE(swapper.Stop());
    EXPECT_FALSE(installed.empty()) << "no install got through at all";
    std::printf("%d of %d installs failed while the configurations were being swapped\n", failed, tried);

    root_.StopProcesses();
    ASSERT_TRUE(root_.StartDaemon());
    for (const std::string& kuid : installed) expectOwnConfig(kuid, "after a restart");
}

// The kernel's folders are refused at once (a walk of /proc/self would follow its links round the system).
TEST_F(CopySafetyE2E, InstallingFromTheKernelsFoldersIsRefusedAtOnce)
{
    for (const char* folder : {"/proc/self", "/sys", "/dev"})
    {
        RunOptions options = RunOptions::In(root_.Path("work"));
        options.timeoutMs = 20000;
        const RunResult r = root_.Run({"installfrompath", folder}, options);
        EXPECT_FALSE(r.timedOut) << folder;
        EXPECT_NE(r.exitCode, 0) << folder << "\n" << r.out;
        EXPECT_NE(r.out.find("/proc, /sys or /dev"), std::string::npos) << r.out;
    }
}

// A file whose name no asset file may have is left out by name with a warning, the rest installed; a tree
// deeper than a copy goes says so with the bound, not as a link loop.
TEST_F(CopySafetyE2E, AnOddNameIsLeftOutByNameAndATooDeepTreeSaysTheBound)
{
    const std::string asset = root_.Path("work/odd");
    WriteMode(asset + "/config.txt", "kuid <kuid:900783:1>\nusername \"Odd\"\nkind \"scenery\"\n", 0644);
    WriteMode(asset + "/back\\slash.txt", "odd\n", 0644);
    WriteMode(asset + "/plain.txt", "plain\n", 0644);
    const RunResult odd = Run({"installfrompath", "odd"});
    EXPECT_EQ(odd.exitCode, 0) << odd.out;
    EXPECT_NE(odd.out.find("back\\slash.txt"), std::string::npos) << odd.out;
    EXPECT_NE(odd.out.find("OK (0 Errors, 1 Warnings)"), std::string::npos) << odd.out;
    EXPECT_EQ(FilesBelow(LocalFolder("kuid 900783 1")), (std::vector<std::string>{"config.txt", "plain.txt"}));

    const std::string deep = root_.Path("work/deep");
    WriteMode(deep + "/config.txt", "kuid <kuid:900783:2>\nusername \"Deep\"\nkind \"scenery\"\n", 0644);
    std::string path = deep;
    for (int i = 0; i < 300; ++i) path += "/d";
    fs::create_directories(path);
    const RunResult tooDeep = Run({"installfrompath", "deep"});
    EXPECT_NE(tooDeep.exitCode, 0) << tooDeep.out;
    EXPECT_EQ(tooDeep.out.find("symbolic links"), std::string::npos) << tooDeep.out;
    EXPECT_NE(tooDeep.out.find("more than 256 folders deep"), std::string::npos) << tooDeep.out;
}

// The owner's own links back to folders of the tree: each folder is walked once (by its own name rather than
// through a link), each asset installed once.
TEST_F(CopySafetyE2E, AFolderReachedTwiceIsWalkedOnce)
{
    const std::string tree = root_.Path("work/tree");
    WriteMode(tree + "/asset/config.txt", "kuid <kuid:900784:1>\nusername \"Once\"\nkind \"scenery\"\n", 0644);
    fs::create_directory_symlink(".", tree + "/self");
    fs::create_directory_symlink("asset", tree + "/alias");
    const RunResult r = Run({"installfrompath", "tree"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    size_t installs = 0;
    for (const std::string& line : Lines(r.out)) installs += line.find("was installed") != std::string::npos ? 1 : 0;
    EXPECT_EQ(installs, 1u) << r.out;
}

}  // namespace
}  // namespace e2e
