// A name alone never makes a file a leftover of the program's: a user's files named as a temporary or as an export's
// folder are installed, kept and left as any file is, and only what a process recorded as made by itself goes after
// it has been killed.
#include "E2EFixture.h"

#include "platform/OwnWorkRecords.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace e2e
