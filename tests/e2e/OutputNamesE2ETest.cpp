// Every file written for the user is the one the system finds for the name as given, or one made under exactly that
// name; a file the program holds, by any name, is written through the stream it was given or refused as its own.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kAsset[] = "<kuid:44000:1001>";

using OutputNamesE2E = DaemonRootTest;

// Each route by which a command writes a file the user names (its output's extension first, "@" for its name), by
// each spelling: a name differing only in case from a file that is there, a ".." after a link, and a link to
// nothing. The file that is there stays as it was, and the output is where the system puts it; so too a compiled
// texture, and a package the daemon writes.
TEST_F(OutputNamesE2E, EveryOutputIsTheFileTheSystemFindsForItsName)
{
    const std::string work = root_.Path("work/");
    fs::create_directories(work + "other/dir");
    fs::create_directory_symlink("other/dir", work + "lnk");
    const std::vector<std::vector<std::string>> commands = {
        {".txt", "listbuilds", "@"}, {".cdp", "createcdp", "@", kAsset}, {".dat", "backupkeywords", "@"}};
    const struct
    {
        const char *typed, *kept, *made;  // the output's name, a file of the user's that stays, where the output is
    } spellings[] = {{"NOTES", "notes", "NOTES"}, {"lnk/../victim", "victim", "other/victim"}, {"dl", "Made", "made"}};
    for (const auto& command : commands)
        for (const auto& spelling : spellings)
        {
            const std::string ext = command[0], made = work + spelling.made + ext, kept = spelling.kept + ext;
            SCOPED_TRACE(spelling.typed + ext);
            root_.WriteFile("work/" + kept, "the user's own\n");
            fs::remove(made);
            fs::remove(work + "dl" + ext);
            fs::create_symlink("made" + ext, work + "dl" + ext);
            std::vector<std::string> args(command.begin() + 1, command.end());
            std::replace(args.begin(), args.end(), std::string("@"), spelling.typed + ext);
            EXPECT_EQ(Run(args).exitCode, 0);
            EXPECT_EQ(root_.ReadFile("work/" + kept), "the user's own\n");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(made)) && fs::is_symlink(work + "dl" + ext));
        }

    const std::string tex = "UserData/editing/tex/";
    root_.WriteFile(tex + "a.texture.txt", "Primary=a.tga\n");
    ASSERT_TRUE(WritePicture(root_.Path(tex + "a.tga"), 16));
    root_.WriteFile(tex + "A.texture", "the user's own\n");
    EXPECT_EQ(Run({"compresstexture", root_.Path(tex)}).exitCode, 0);
    EXPECT_TRUE(root_.ReadFile(tex + "A.texture") == "the user's own\n" &&
                fs::is_regular_file(root_.Path(tex + "a.texture")));

    const std::string package = "UserData/packages/mypack/";
    ASSERT_EQ(Run({"export-package", "etc1", "mypack", kAsset}).exitCode, 0);
    fs::remove(root_.Path(package + "mypack.cdp"));
    root_.WriteFile(package + "MyPack.cdp", "the user's own\n");
    EXPECT_EQ(Run({"export-package", "etc1", "mypack", kAsset}).exitCode, 0);
    EXPECT_EQ(root_.ReadFile(package + "MyPack.cdp"), "the user's own\n");
    EXPECT_TRUE(fs::is_regular_file(root_.Path(package + "mypack.cdp")));
}

// Names of the files the program holds that are not spelled as its descriptors: a descriptor the shell gives, through
// a link to /dev/fd, is appended to where it stands; a link to any descriptor of the tool's own (the pipe its signal
// handling reads, its link to the daemon) is refused and ends no process; the daemon refuses its database, journal,
// lock and log by every name, there or not, and starts again on a database that is whole.
TEST_F(OutputNamesE2E, AnOutputThatReachesAFileTheProgramHoldsIsJudgedByThatFile)
{
    const std::string work = root_.Path("work/");
    ASSERT_EQ(Run({"listbuilds", "builds.txt"}).exitCode, 0);
    root_.WriteFile("work/e.txt", "earlier lines\n");
    const std::string given = "ln -s /dev/fd/3 l3; \"$0\" listbuilds l3 3>>e.txt";
    EXPECT_EQ(RunningProgram("/bin/sh", {"-c", given, root_.Tool()}, RunOptions::In(work)).Wait().exitCode, 0);
    EXPECT_EQ(root_.ReadFile("work/e.txt"), "earlier lines\n" + root_.ReadFile("work/builds.txt"));
    // Run with no descriptor but 0, 1 and 2 given: every other one is the tool's own, or none.
    const std::string alone = "i=3; while [ $i -lt 32 ]; do eval \"exec $i>&-\"; i=$((i+1)); done; "
                              "exec \"$0\" listbuilds \"$1\"";
    bool ownRefused = false;
    for (int fd = 3; fd < 12; ++fd)
    {
        const std::string link = "p" + std::to_string(fd);
        fs::create_symlink("/proc/self/fd/" + std::to_string(fd), work + link);
        const RunResult r = RunningProgram("/bin/bash", {"-c", alone, root_.Tool(), link}, RunOptions::In(work)).Wait();
        EXPECT_EQ(r.exitCode, 255) << link << r.out << r.err;
        ownRefused = ownRefused || r.out.find("': it is a file the program opened for itself\n") != std::string::npos;
    }
    EXPECT_TRUE(ownRefused);

    ASSERT_EQ(Run({"export-package", "etc1", "mypack", kAsset}).exitCode, 0);
    const std::string real = fs::canonical(root_.Root()).string(), daemon = std::to_string(root_.DaemonPid());
    std::string databaseFd;
    // The daemon may close a descriptor as it is listed (the link of the command that just ended): that one is not it.
    std::error_code gone;
    for (const auto& e : fs::directory_iterator("/proc/" + daemon + "/fd"))
        if (fs::read_symlink(e.path(), gone).string() == real + "/assets.tdx")
            databaseFd = e.path().filename().string();
    ASSERT_FALSE(databaseFd.empty());
    const std::string manifest = root_.Path("UserData/packages/mypack/package.txt");
    const std::pair<std::string, std::string> targets[] = {
        {"/proc/self/fd/" + databaseFd, ""},  // the tool may refuse it first, as a descriptor of its own
        {real + "/assets.tdx", "it is the asset database"},
        {real + "/assets.tdx-journal", "it is the asset database's journal"},
        {real + "/assets.tdx.lock", "it is the asset database daemon's lock"},
        {real + "/UserData/settings/vaddaemon.log", "it is the asset database daemon's log"},
    };
    for (const auto& [target, why] : targets)
    {
        fs::remove(manifest);
        fs::create_symlink(target, manifest);
        const RunResult r = Run({"export-package", "etc1", "mypack", kAsset});
        EXPECT_EQ(r.exitCode, 255) << target;
        EXPECT_NE(r.out.find("package.txt' cannot be written: " + why), std::string::npos) << target << r.out;
    }
    EXPECT_FALSE(fs::exists(real + "/assets.tdx-journal"));
    EXPECT_EQ(root_.ReadFile("UserData/settings/vaddaemon.log").find("texture-targets"), std::string::npos);
    ASSERT_EQ(Run({"closevaddaemon"}).exitCode, 0);
    EXPECT_EQ(Run({"status", kAsset}).exitCode, 0);
}

}  // namespace
}  // namespace e2e
