// Which file an output name leads to. Every file written for the user is the one the system finds for the name as
// given, or a new one made under exactly that name where the system would make it; and an output that reaches a
// file the program holds, by any name, is written through the stream it was given or refused as the program's own.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kScript[] = "class A\n{\n};\n";
constexpr char kAsset[] = "<kuid:44000:1001>";

class OutputNamesE2E : public DaemonRootTest
{
protected:
    std::string Work(const std::string& name) const { return root_.Path("work/" + name); }
    bool IsLink(const std::string& name) const
    {
        struct stat st;
        return ::lstat(Work(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
};

// Each command that writes a file the user names, by each spelling: a name differing only in case from a file that
// is there, a ".." after a link, a link to nothing, and a relative name typed in a folder reached through a link.
// The file that is there stays as it was, and the output is where the system puts it.
TEST_F(OutputNamesE2E, EveryOutputIsTheFileTheSystemFindsForItsName)
{
    fs::create_directories(Work("other/dir"));
    ASSERT_EQ(::symlink("other/dir", Work("lnk").c_str()), 0);
    root_.WriteFile("work/s.gs", kScript);
    const std::string source = Work("s.gs");
    const struct
    {
        const char* ext;
        std::function<std::vector<std::string>(const std::string&)> args;
    } commands[] = {
        {".txt",
         [](const std::string& out) {
             return std::vector<std::string>{"listbuilds", out};
         }},
        {".cdp",
         [](const std::string& out) {
             return std::vector<std::string>{"createcdp", out, kAsset};
         }},
        {".dat",
         [](const std::string& out) {
             return std::vector<std::string>{"backupkeywords", out};
         }},
        {".gsl",
         [&](const std::string& out) {
             return std::vector<std::string>{"compile", source, "-o" + out};
         }},
        {".log",
         [&](const std::string& out) {
             return std::vector<std::string>{"compile", source, "-b" + out};
         }},
    };
    const struct
    {
        const char* in;     // the folder the tool is started in, below work/
        const char* typed;  // the output's name, before its extension
        const char* kept;   // a file of the user's that stays as it was
        const char* made;   // where the output is
    } spellings[] = {
        {"", "NOTES", "notes", "NOTES"},
        {"", "lnk/../victim", "victim", "other/victim"},
        {"", "dl", "", "made"},
        {"lnk", "../Rel", "other/rel", "other/Rel"},
    };
    for (const auto& command : commands)
        for (const auto& spelling : spellings)
        {
            const std::string ext = command.ext, made = spelling.made + ext;
            const std::string kept = *spelling.kept ? spelling.kept + ext : "";
            const std::vector<std::string> args = command.args(spelling.typed + ext);
            SCOPED_TRACE(args[0] + " " + args[args.size() - (ext == ".cdp" ? 2 : 1)] + " in work/" + spelling.in);
            if (!kept.empty()) root_.WriteFile("work/" + kept, "the user's own\n");
            fs::remove(Work(made));
            fs::remove(Work("dl" + ext));
            ASSERT_EQ(::symlink(("made" + ext).c_str(), Work("dl" + ext).c_str()), 0);
            const RunResult r = root_.Run(args, RunOptions::In(Work(spelling.in)));
            EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
            EXPECT_TRUE(kept.empty() || root_.ReadFile("work/" + kept) == "the user's own\n") << kept;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Work(made)))) << made;
            EXPECT_TRUE(IsLink("dl" + ext));
        }

    // A compiled texture beside its description, where a file named in another case is there.
    const std::string tex = "UserData/editing/tex/";
    root_.WriteFile(tex + "a.texture.txt", "Primary=a.tga\n");
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 24, 0};
    tga += std::string(16 * 16 * 3, '\x40');
    root_.WriteFile(tex + "a.tga", tga);
    root_.WriteFile(tex + "A.texture", "the user's own\n");
    const RunResult texture = Run({"compresstexture", root_.Path(tex)});
    EXPECT_EQ(texture.exitCode, 0) << texture.out;
    EXPECT_EQ(root_.ReadFile(tex + "A.texture"), "the user's own\n");
    EXPECT_TRUE(fs::is_regular_file(root_.Path(tex + "a.texture")));

    // A device package exported again, written by the daemon into the folder that stands, holding an archive of the
    // user's named in another case.
    ASSERT_EQ(Run({"export-package", "etc1", "mypack", kAsset}).exitCode, 0);
    const std::string package = root_.Path("UserData/packages/mypack/");
    fs::remove(package + "mypack.cdp");
    root_.WriteFile("UserData/packages/mypack/MyPack.cdp", "the user's own\n");
    const RunResult exported = Run({"export-package", "etc1", "mypack", kAsset});
    EXPECT_EQ(exported.exitCode, 0) << exported.out;
    EXPECT_EQ(root_.ReadFile("UserData/packages/mypack/MyPack.cdp"), "the user's own\n");
    EXPECT_TRUE(fs::is_regular_file(package + "mypack.cdp"));
}

// Names of the files the program holds that are not spelled as its descriptors: a descriptor given by the shell
// through /proc/self/task/N/fd and through a link to /dev/fd is appended to where it stands; a link to any
// descriptor of the tool's own (the pipe its signal handling reads, its link to the daemon) is refused and ends no
// process; the daemon refuses its database, journal, lock and log by every name, there or not, and starts again
// on a database that is whole.
TEST_F(OutputNamesE2E, AnOutputThatReachesAFileTheProgramHoldsIsJudgedByThatFile)
{
    ASSERT_EQ(Run({"listbuilds", "builds.txt"}).exitCode, 0);
    const std::string builds = root_.ReadFile("work/builds.txt");
    for (const std::string& script : {std::string("exec \"$0\" listbuilds /proc/self/task/$$/fd/3 3>>e.txt"),
                                      std::string("ln -sf /dev/fd/3 l3; \"$0\" listbuilds l3 3>>e.txt")})
    {
        SCOPED_TRACE(script);
        root_.WriteFile("work/e.txt", "earlier lines\n");
        const RunResult r = RunningProgram("/bin/sh", {"-c", script, root_.Tool()}, RunOptions::In(Work(""))).Wait();
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(root_.ReadFile("work/e.txt"), "earlier lines\n" + builds);
    }
    // Run with no descriptor but 0, 1 and 2 given: every other one is the tool's own, or none.
    const std::string alone = "i=3; while [ $i -lt 32 ]; do eval \"exec $i>&-\"; i=$((i+1)); done; "
                              "exec \"$0\" listbuilds \"$1\"";
    bool ownRefused = false;
    for (int fd = 3; fd < 12; ++fd)
    {
        const std::string link = "p" + std::to_string(fd);
        ASSERT_EQ(::symlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), Work(link).c_str()), 0);
        const RunResult r =
            RunningProgram("/bin/bash", {"-c", alone, root_.Tool(), link}, RunOptions::In(Work(""))).Wait();
        EXPECT_EQ(r.exitCode, 255) << link << r.out << r.err;
        ownRefused = ownRefused || r.out.find("': it is a file the program opened for itself\n") != std::string::npos;
    }
    EXPECT_TRUE(ownRefused);

    ASSERT_EQ(Run({"export-package", "etc1", "mypack", kAsset}).exitCode, 0);
    const std::string real = fs::canonical(root_.Root()).string(), daemon = std::to_string(root_.DaemonPid());
    std::string databaseFd;
    for (const auto& e : fs::directory_iterator("/proc/" + daemon + "/fd"))
        if (fs::read_symlink(e.path()).string() == real + "/assets.tdx") databaseFd = e.path().filename().string();
    ASSERT_FALSE(databaseFd.empty());
    const std::string manifest = root_.Path("UserData/packages/mypack/package.txt");
    const struct
    {
        std::string target;
        const char* why;  // empty: the tool may refuse it first, as a descriptor of its own
    } targets[] = {
        {"/proc/self/fd/" + databaseFd, ""},
        {"/proc/" + daemon + "/fd/" + databaseFd, "it is the asset database"},
        {real + "/assets.tdx", "it is the asset database"},
        {real + "/assets.tdx-wal", "it is the asset database's journal"},
        {real + "/assets.tdx-journal", "it is the asset database's journal"},
        {real + "/assets.tdx.lock", "it is the asset database daemon's lock"},
        {real + "/UserData/settings/vaddaemon.log", "it is the asset database daemon's log"},
    };
    for (const auto& t : targets)
    {
        SCOPED_TRACE(t.target);
        fs::remove(manifest);
        fs::create_symlink(t.target, manifest);
        const RunResult r = Run({"export-package", "etc1", "mypack", kAsset});
        EXPECT_EQ(r.exitCode, 255) << r.out;
        EXPECT_NE(r.out.find(std::string("package.txt' cannot be written: ") + t.why), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(real + "/assets.tdx-journal"));
    EXPECT_EQ(root_.ReadFile("UserData/settings/vaddaemon.log").find("texture-targets"), std::string::npos);
    ASSERT_EQ(Run({"closevaddaemon"}).exitCode, 0);
    const RunResult again = Run({"status", kAsset});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
}

}  // namespace
}  // namespace e2e
