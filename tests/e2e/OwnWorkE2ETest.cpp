// A name alone never makes a file a leftover of the program's: a user's files named as a temporary or as an export's
// folder are installed, kept and left as any file is, and only what a process recorded as made by itself goes after
// it has been killed.
#include "E2EFixture.h"

#include "platform/OwnWorkRecords.h"
#include "platform/tests/EndedProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;
using PlatformTest::EndedProcessId;

constexpr char kKuid[] = "<kuid:900401:1>";
constexpr char kEditing[] = "UserData/editing/kuid 900401 1/", kLocal[] = "UserData/local/kuid 900401 1/";

using OwnWorkE2E = DaemonRootTest;

// Files and folders of the user's named as temporaries or as an export's folder: a commit installs them, an export
// and the daemon's restarts leave them. What a killed process recorded as its own goes at the next start: an export's
// folder of a killed daemon, the private folder of a command host its converter killed.
TEST_F(OwnWorkE2E, ANameAloneNeverMakesAFileALeftover)
{
    root_.WriteFile("work/wall/config.txt", "kuid " + std::string(kKuid) + "\nusername \"Wall\"\nkind \"scenery\"\n");
    ASSERT_TRUE(WritePicture(root_.Path("work/wall/wall.tga"), 64));
    root_.WriteFile("work/wall/wall.texture.txt", "Primary=wall.tga\n");
    ASSERT_EQ(Run({"installfrompath", "wall"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);

    // A commit installs the user's files named as a temporary of a process that is gone, as any file, also one of
    // the name of a temporary of the texture it compiles, without a warning.
    const std::string notes = "three hours of notes\n", take = "a take\n", gone = std::to_string(EndedProcessId());
    const std::string named = "wall.texture.part-" + gone + "-7";
    root_.WriteFile(kEditing + std::string("notes.part-99999-1"), notes);
    root_.WriteFile(kEditing + std::string("rec/take.part-40000-2"), take);
    root_.WriteFile(kEditing + named, "half a texture");
    const RunResult committed = Run({"commit", kKuid});
    EXPECT_EQ(committed.exitCode, 0);
    EXPECT_EQ(committed.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("notes.part-99999-1")), notes);
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("rec/take.part-40000-2")), take);
    EXPECT_EQ(root_.ReadFile(kLocal + named), "half a texture");
    EXPECT_EQ(FilesBelow(root_.Path(kLocal)),
              (std::vector<std::string>{"config.txt", "notes.part-99999-1", "rec/take.part-40000-2", "wall.texture",
                                        named, "wall.texture.txt", "wall.tga"}));
    // The tool's register of its own work went with it; those of the daemon and its command host stand while they
    // run.
    const std::string registers = root_.Path("UserData/cache/own-work");
    for (const std::string& name : NamesIn(registers))
        EXPECT_EQ(Platform::OwnWorkRegisterNameOf(Platform::OwnWorkRegisterProcess(name)), name);

    // An export whose package folder's name with ".export-partial" is a user's folder makes its package elsewhere and
    // leaves that folder as it is, also across a restart of the daemon; so is an empty one of such a name, and a file
    // of the temporary's name in an edit folder open across it.
    root_.WriteFile("UserData/packages/mine.export-partial/keep.txt", "kept\n");
    fs::create_directories(root_.Path("UserData/packages/empty.export-partial"));
    ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
    root_.WriteFile(kEditing + std::string("wall.texture.part-") + gone + "-1", "x");
    const RunResult exported = Run({"export-package", "Velmar;DXTC", "mine", kKuid});
    EXPECT_EQ(exported.exitCode, 0) << exported.out;
    EXPECT_EQ(exported.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_TRUE(root_.Exists("UserData/packages/mine/mine.cdp") && root_.Exists("UserData/packages/mine/package.txt"));
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");

    // A converter that kills the command host running it (its parent) while the host's private folder is there,
    // beside a folder of the user's of such a name.
    const std::string handMade = "orvo_texturecompress_" + gone + "_abcdef";
    root_.WriteFile("UserData/cache/" + handMade + "/in.png", "x");
    fs::remove(root_.Path("bin/PVRTexToolCLI"));
    root_.WriteFile("bin/PVRTexToolCLI", "#!/bin/sh\nkill -9 $PPID\n");
    ASSERT_EQ(::chmod(root_.Path("bin/PVRTexToolCLI").c_str(), 0755), 0);
    const RunResult hostKilled = Run({"export-package", "pvrtc", "pack", kKuid});
    EXPECT_NE(hostKilled.exitCode, 0) << hostKilled.out;
    EXPECT_EQ(NamesIn(root_.Path("UserData/cache"), "orvo_texturecompress_").size(), 2u);

    // A daemon killed once it has made the folder of a package (one of its own name, the usual one being the user's)
    // leaves it; the next start removes it, and only it.
    root_.StopProcesses();
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");
    ASSERT_TRUE(root_.StartDaemon({"-crashat=exporting"}));
    const std::string killedDaemon = std::to_string(root_.DaemonPid()) + "-";
    const RunResult killed = Run({"export-package", "Velmar;DXTC", "mine", kKuid});
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(NamesIn(root_.Path("UserData/packages"), ".vadexport-").size(), 1u);
    EXPECT_EQ(NamesIn(registers, killedDaemon).size(), 1u);
    EXPECT_EQ(Run({"status", kKuid}).exitCode, 0);  // starts a daemon
    EXPECT_EQ(NamesIn(root_.Path("UserData/packages"), ".vadexport-"), std::vector<std::string>{});
    EXPECT_EQ(NamesIn(registers, killedDaemon), std::vector<std::string>{});
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/keep.txt"), "kept\n");
    EXPECT_EQ(FilesBelow(root_.Path("UserData/packages/mine.export-partial")), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(root_.Exists("UserData/packages/mine/mine.cdp"));
    EXPECT_EQ(root_.ReadFile(kLocal + std::string("notes.part-99999-1")), notes);
    EXPECT_TRUE(root_.Exists("UserData/packages/empty.export-partial"));
    EXPECT_TRUE(root_.Exists(kEditing + std::string("wall.texture.part-") + gone + "-1"));
    EXPECT_EQ(NamesIn(root_.Path("UserData/cache"), "orvo_texturecompress_"), std::vector<std::string>{handMade});
    EXPECT_TRUE(root_.Exists("UserData/cache/" + handMade + "/in.png"));
    EXPECT_FALSE(root_.Exists("UserData/packages/pack") || root_.Exists("UserData/packages/pack.export-partial"));
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

    const std::string gone = std::to_string(EndedProcessId()), live = std::to_string(getpid());
    // Each look-alike (a folder holding `below`, or a file where that is empty), whether or not a process of the id
    // in its name runs.
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
        {"UserData/cache/analytics.log.part-" + gone + "-1", ""},
        {"UserData/packages/q/q.cdp.part-" + gone + "-1", ""},
        {"UserData/packages/q/package.txt.part-" + live + "-2", ""},
        {"UserData/packages/q/.vadnew-kuid 1 2-" + gone + "-4", "config.txt"},
        {"UserData/packages/q/.vadold-kuid 1 3-" + gone + "-5", "config.txt"},  // not given the name "kuid 1 3"
        {"UserData/settings/a.part-b.part-" + gone + "-1", ""},
        {"UserData/dls-parse/new/scenery/a.cdp.part-" + gone + "-1", ""},
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
        EXPECT_FALSE(root_.Exists("UserData/packages/q/kuid 1 3"));
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
    EXPECT_EQ(NamesIn(root_.Path("UserData/local"), ".").size(), 4u);

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
        EXPECT_EQ(NamesIn(root_.Path("UserData/local"), ".vadold-kuid 900402 3-").size(), 1u);
        EXPECT_EQ(NamesIn(registers, killed).size(), 1u);
        ASSERT_EQ(Run({"status", three}).exitCode, 0);  // starts a daemon
        EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900402 3/v.txt"), "3b");
        EXPECT_EQ(NamesIn(root_.Path("UserData/local"), ".vadold-kuid 900402 3-"), std::vector<std::string>{});
        EXPECT_EQ(NamesIn(root_.Path("UserData/local"), ".").size(), 4u);
        EXPECT_EQ(NamesIn(registers, killed), std::vector<std::string>{});
        expectLookAlikes();
    }
    EXPECT_NE(root_.ReadFile("UserData/settings/vaddaemon.log").find("rolled back unrecorded copy of kuid 900402 3"),
              std::string::npos);
}

}  // namespace
}  // namespace e2e
