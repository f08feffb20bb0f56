// A name alone never makes a file a leftover of the program's: a user's files named as a temporary or as an export's
// folder are installed, kept and left as any file is, and only what a process recorded as made by itself goes after
// it has been killed.
#include "E2EFixture.h"

#include "platform/OwnWorkRecords.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kKuid[] = "<kuid:900401:1>";
constexpr char kEditing[] = "UserData/editing/kuid 900401 1/", kLocal[] = "UserData/local/kuid 900401 1/";

// The names in a folder that start with `prefix`.
std::vector<std::string> NamesStarting(const std::string& folder, const std::string& prefix)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (const std::string n = e.path().filename(); n.starts_with(prefix)) names.push_back(n);
    return names;
}

using OwnWorkE2E = DaemonRootTest;

TEST_F(OwnWorkE2E, ANameAloneNeverMakesAFileALeftover)
{
    root_.WriteFile("work/wall/config.txt", "kuid " + std::string(kKuid) + "\nusername \"Wall\"\nkind \"scenery\"\n");
    ASSERT_TRUE(WritePicture(root_.Path("work/wall/wall.tga"), 64));
    root_.WriteFile("work/wall/wall.texture.txt", "Primary=wall.tga\n");
    ASSERT_EQ(Run({"installfrompath", "wall"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);

    // A commit installs the user's files named as a temporary of a process that is gone, as any file.
    const std::string notes = "three hours of notes\n", take = "a take\n";
    root_.WriteFile(kEditing + std::string("notes.part-99999-1"), notes);
    root_.WriteFile(kEditing + std::string("rec/take.part-40000-2"), take);
    const RunResult committed = Run({"commit", kKuid});
    EXPECT_EQ(committed.exitCode, 0);
    EXPECT_EQ(committed.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("notes.part-99999-1")), notes);
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("rec/take.part-40000-2")), take);
    // The tool's register of its own work went with it; those of the daemon and its command host stand while they
    // run.
    const std::string registers = root_.Path("UserData/cache/own-work");
    for (const std::string& name : NamesStarting(registers, ""))
        EXPECT_EQ(Platform::OwnWorkRegisterNameOf(Platform::OwnWorkRegisterProcess(name)), name);

    // An export whose package folder's name with ".export-partial" is a user's folder makes its package elsewhere and
    // leaves that folder as it is, also across a restart of the daemon.
    root_.WriteFile("UserData/packages/mine.export-partial/keep.txt", "kept\n");
    const RunResult exported = Run({"export-package", "Velmar;DXTC", "mine", kKuid});
    EXPECT_EQ(exported.exitCode, 0) << exported.out;
    EXPECT_EQ(exported.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_TRUE(root_.Exists("UserData/packages/mine/mine.cdp") && root_.Exists("UserData/packages/mine/package.txt"));
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");

    // A daemon killed once it has made the folder of a package (one of its own name, the usual one being the user's)
    // leaves it; the next start removes it, and only it.
    root_.StopProcesses();
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");
    ASSERT_TRUE(root_.StartDaemon({"-crashat=exporting"}));
    const std::string killedDaemon = std::to_string(root_.DaemonPid()) + "-";
    const RunResult killed = Run({"export-package", "Velmar;DXTC", "mine", kKuid});
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(NamesStarting(root_.Path("UserData/packages"), ".vadexport-").size(), 1u);
    EXPECT_EQ(NamesStarting(registers, killedDaemon).size(), 1u);
    EXPECT_EQ(Run({"status", kKuid}).exitCode, 0);  // starts a daemon
    EXPECT_EQ(NamesStarting(root_.Path("UserData/packages"), ".vadexport-"), std::vector<std::string>{});
    EXPECT_EQ(NamesStarting(registers, killedDaemon), std::vector<std::string>{});
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");
    EXPECT_EQ(FilesBelow(root_.Path("UserData/packages/mine.export-partial")), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(root_.Exists("UserData/packages/mine/mine.cdp"));
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("notes.part-99999-1")), notes);
}

// A process id that no running process has.
int GonePid()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

// Folders and files named as those the daemon works under, that it did not make: a daemon's restart, an install over
// the assets they are named after and a commit leave each as it is, and the daemon works under names of its own
// beside them. Where one stands where an edit folder is set aside, the close fails naming it and changes nothing. A
// daemon killed as it swaps a copy in (its old copy beside it under a name of its own) is put right at its next start
// all the same, as its register proves what it made and set aside.
TEST_F(OwnWorkE2E, TheDaemonsNamesAloneNeverMakeAFolderItsLeftover)
{
    const std::string two = "<kuid:900402:2>", three = "<kuid:900402:3>";
    auto version = [&](const std::string& kuid, const std::string& folder, const std::string& text) {
        root_.WriteFile("work/" + folder + "/config.txt", "kuid " + kuid + "\nusername \"" + folder + "\"\n");
        root_.WriteFile("work/" + folder + "/v.txt", text);
    };
    version(two, "two", "2a");
    version(three, "three", "3a");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);

    const std::string gone = std::to_string(GonePid());
    // Each look-alike (a folder holding `below`, or a file where that is empty).
    const std::vector<std::pair<std::string, std::string>> lookAlikes = {
        {"UserData/local/.vadtmp-kuid 900402 2", "keep.txt"},
        {"UserData/local/.vadold-kuid 900402 3", "keep.txt"},
        {"UserData/local/.vadtmp-kuid 1 2", "keep.txt"},
        {"UserData/local/.vadold-kuid 1 3", "keep.txt"},
        {"UserData/editing/.vadclosed-x", "keep.txt"},
        {"UserData/editing/.vadkeep-x", "keep.txt"},
        {"UserData/backups/.vaddel-x", "keep.txt"},
        {"UserData/backups/20200101-000000/.vadtmp-y", "keep.txt"},
        {"UserData/backups/uncommitted/20200101-000000/.vadtmp-y", "keep.txt"},
        {"UserData/cache/install-" + gone + "-1.crak", ""},
        {"UserData/cache/export-" + gone + "-2.crak", ""},
        {"UserData/cache/install-" + gone + "-3.staging", "0/keep.txt"},
        {"UserData/cache/textures-" + gone + "-4.staging", "0/keep.txt"},
    };
    auto file = [](const std::pair<std::string, std::string>& l) {
        return l.second.empty() ? l.first : l.first + "/" + l.second;
    };
    for (const auto& l : lookAlikes) root_.WriteFile(file(l), "the user's: " + l.first);
    auto expectLookAlikes = [&] {
        for (const auto& l : lookAlikes)
        {
            EXPECT_EQ(root_.ReadFile(file(l)), "the user's: " + l.first) << l.first;
            if (!l.second.empty())
            {
                EXPECT_EQ(FilesBelow(root_.Path(l.first)), std::vector<std::string>{l.second}) << l.first;
            }
        }
    };

    // A restart, installs over both assets, an edit and its commit.
    root_.StopProcesses();
    ASSERT_EQ(Run({"status", two}).exitCode, 0);
    expectLookAlikes();
    version(two, "two", "2b");
    version(three, "three", "3b");
    RunResult r = Run({"installfrompath", "."});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900402 2/v.txt"), "2b");
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900402 3/v.txt"), "3b");
    ASSERT_EQ(Run({"edit", two}).exitCode, 0);
    root_.WriteFile("UserData/editing/kuid 900402 2/v.txt", "2c");
    r = Run({"commit", two});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900402 2/v.txt"), "2c");
    expectLookAlikes();
    // Nothing of the daemon's own is left beside the assets: only the look-alikes are.
    EXPECT_EQ(NamesStarting(root_.Path("UserData/local"), ".").size(), 4u);

    // A folder of the name an edit folder is set aside under, that the daemon did not set aside: the commit fails
    // naming it, and the edit stays open with its folder.
    const std::string closed = "UserData/editing/.vadclosed-kuid 900402 3";
    root_.WriteFile(closed + "/keep.txt", "the user's");
    ASSERT_EQ(Run({"edit", three}).exitCode, 0);
    r = Run({"commit", three});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(
        r.out.find("'" + root_.Path(closed) +
                   "', where its edit folder is set aside while the edit is closed, "
                   "is not a folder the asset database set aside; it was left as it is, and nothing was changed."),
        std::string::npos)
        << r.out;
    EXPECT_EQ(root_.ReadFile(closed + "/keep.txt"), "the user's");
    EXPECT_TRUE(root_.Exists("UserData/editing/kuid 900402 3/config.txt"));
    std::filesystem::rename(root_.Path(closed), root_.Path("work/moved-away"));
    ASSERT_EQ(Run({"revert", three}).exitCode, 0);

    // Killed as it swaps a copy in, before and after the two names are exchanged: the next start gives the asset its
    // installed copy back and removes the rest, taken under names of its own beside the look-alikes.
    const std::string registers = root_.Path("UserData/cache/own-work");
    for (const char* point : {"swapping", "swapped"})
    {
        SCOPED_TRACE(point);
        root_.StopProcesses();
        ASSERT_TRUE(root_.StartDaemon({std::string("-crashat=") + point}));
        const std::string killed = std::to_string(root_.DaemonPid()) + "-";
        version(three, "three", std::string("3-") + point);
        EXPECT_NE(Run({"installfrompath", "three"}).exitCode, 0);
        EXPECT_EQ(NamesStarting(root_.Path("UserData/local"), ".vadold-kuid 900402 3-").size(), 1u);
        EXPECT_EQ(NamesStarting(registers, killed).size(), 1u);
        ASSERT_EQ(Run({"status", three}).exitCode, 0);  // starts a daemon
        EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900402 3/v.txt"), "3b");
        EXPECT_EQ(NamesStarting(root_.Path("UserData/local"), ".vadold-kuid 900402 3-"), std::vector<std::string>{});
        EXPECT_EQ(NamesStarting(root_.Path("UserData/local"), ".").size(), 4u);
        EXPECT_EQ(NamesStarting(registers, killed), std::vector<std::string>{});
        expectLookAlikes();
    }
    EXPECT_NE(root_.ReadFile("UserData/settings/vaddaemon.log").find("rolled back unrecorded copy of kuid 900402 3"),
              std::string::npos);
}

}  // namespace
}  // namespace e2e
