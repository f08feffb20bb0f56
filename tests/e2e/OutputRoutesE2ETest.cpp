// Outputs that are files a command reads, and outputs that are the process's own streams. A compile knows the
// files it reads from its arguments, whether or not the rest of them make sense, and writes over none of them by
// any route; an output that is standard output or error (by its name in /dev or /proc, or by the file behind it)
// is written through that stream after what it holds, never by replacing or rewinding the file.
#include "E2EFixture.h"
#include "SecondUser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kScript[] = "class A\n{\n  void f() { }\n};\n";

class OutputRoutesE2E : public DaemonRootTest
{
protected:
    // Runs the sh `script` in the working folder, with the tool as its $0.
    RunResult Shell(const std::string& script) const
    {
        return RunningProgram("/bin/sh", {"-c", script, root_.Tool()}, RunOptions::In(root_.Path("work"))).Wait();
    }
};

// Every argument error of the kind, and the files a compile reads that a log may be named as: the source,
// a second name given where a source goes, a file the source includes (with and without an argument error), and
// the source by a second name. Each route writes its files differently: a plain file of the user's own is
// replaced, a name too long for a temporary name beside it is written in place, and so is a file of a folder the
// user (nobody) may not write into.
TEST_F(OutputRoutesE2E, NoCompileWritesItsLogOverAFileItReadsWhateverItsArguments)
{
    struct Route
    {
        const char* what;
        std::string folder;  // absolute
        std::string stem;    // before every file name
        const InstallRoot* root;
        bool asNobody;
    };
    InstallRoot theirs;  // the other user's installation: their daemon, started by their own command
    std::vector<Route> routes = {{"replaced", root_.Path("work/own"), "", &root_, false},
                                 {"long names", root_.Path("work/long"), std::string(246, 'n'), &root_, false}};
    if (geteuid() == 0 && fs::exists("/usr/bin/setpriv"))
    {
        // Everything of their installation is theirs but its programs (second names of the staged ones).
        for (const char* mine : {"", "UserData", "builtin"})
            ASSERT_EQ(chown(theirs.Path(mine).c_str(), kNobody, kNobodyGroup), 0);
        for (const auto& e : fs::recursive_directory_iterator(theirs.Path("builtin")))
            ASSERT_EQ(lchown(e.path().c_str(), kNobody, kNobodyGroup), 0);
        routes.push_back({"a folder nobody may not write into", theirs.Path("shut"), "", &theirs, true});
    }
    const auto run = [](const Route& route, std::vector<std::string> args) {
        if (!route.asNobody) return RunningProgram(route.root->Tool(), args, RunOptions::In(route.folder)).Wait();
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", route.root->Tool()});
        return RunningProgram("/usr/bin/setpriv", args, RunOptions::In(route.folder)).Wait();
    };
    for (const Route& route : routes)
    {
        SCOPED_TRACE(route.what);
        const auto name = [&](const char* n) { return route.stem + n + ".gs"; };
        fs::create_directories(route.folder);
        ASSERT_EQ(chmod(route.folder.c_str(), 0755), 0);
        std::vector<std::pair<std::string, std::string>> files = {
            {name("r"), kScript}, {name("x"), kScript}, {name("i"), kScript},
            {name("m"), "include \"" + name("i") + "\"\nclass B\n{\n};\n"}};
        for (const auto& [file, text] : files)
        {
            std::ofstream(route.folder + "/" + file, std::ios::binary) << text;
            ASSERT_EQ(chmod((route.folder + "/" + file).c_str(), 0666), 0);  // one they may write
        }
        ASSERT_EQ(link((route.folder + "/" + name("m")).c_str(), (route.folder + "/" + name("l")).c_str()), 0);
        const std::vector<std::vector<std::string>> cases = {
            {name("r"), "-x", "-b" + name("r")},       {name("r"), name("x"), "-b" + name("r")},
            {name("r"), "-o", "-b" + name("r")},       {name("r"), name("x"), "-b" + name("x")},
            {name("m"), "-x", "-b" + name("i")},       {name("m"), "-b" + name("i")},
            {name("m"), "-x", "-b" + name("l")},
        };
        for (const std::vector<std::string>& args : cases)
        {
            std::vector<std::string> all = {"compile"};
            all.insert(all.end(), args.begin(), args.end());
            const RunResult r = run(route, all);
            std::string shown;  // the arguments without the long stem
            for (std::string a : args)
                if (const size_t at = a.find(route.stem); !route.stem.empty() && at != std::string::npos)
                    shown += a.erase(at, route.stem.size()) + " ";
                else
                    shown += a + " ";
            SCOPED_TRACE(shown);
            EXPECT_EQ(r.exitCode, 255) << r.out << r.err;
            EXPECT_NE(r.out.find("the build log would overwrite the source file '" + args.back().substr(2) + "'"),
                      std::string::npos)
                << r.out << r.err;
            for (const auto& [file, text] : files) EXPECT_EQ(ReadWholeFile(route.folder + "/" + file), text) << file;
        }
    }
    if (routes.size() == 3) (void)run(routes.back(), {"closevaddaemon"});
}

// An output that is one of the tool's own streams is written through it, after what it holds: `>>` keeps
// appending and `>` keeps the tool's own lines, onto a file with one name or two, by a name in /dev or /proc or
// the file's own name; a batch run keeps every line's output; a pipe is written as before; and a batch file
// that the stream appends to is still refused as an output, in the words used for it by any name.
TEST_F(OutputRoutesE2E, AnOutputThatIsOneOfTheToolsStreamsIsWrittenThroughIt)
{
    ASSERT_EQ(Run({"listbuilds", "builds.txt"}).exitCode, 0);
    const std::string list = root_.ReadFile("work/builds.txt");
    ASSERT_FALSE(list.empty());
    const std::string jobs = "\"echo\" \"one\"\n\"listbuilds\" \"/dev/stdout\"\n\"echo\" \"three\"\n";
    root_.WriteFile("work/jb.txt", jobs);
    root_.WriteFile("work/own.txt", jobs);
    const std::string pre = "PRE\n", lines = "one \n" + std::string(kOK) + "\n";
    const std::string three = "three \n" + std::string(kOK) + "\n";
    const struct
    {
        std::string script;
        std::string file;  // what it should hold afterwards
        std::string holds;
    } cases[] = {
        {"echo PRE > a.txt; \"$0\" listbuilds /dev/stdout >> a.txt", "a.txt", pre + list + kOK},
        {"echo PRE > b.txt; ln b.txt b2.txt; \"$0\" listbuilds /dev/stdout >> b.txt", "b2.txt", pre + list + kOK},
        {"\"$0\" listbuilds /dev/stdout > c.txt", "c.txt", list + kOK},
        {"echo a longer text than the list > d.txt; ln d.txt d2.txt; \"$0\" listbuilds /dev/stdout > d.txt", "d2.txt",
         list + kOK},
        {"echo PRE > e.txt; \"$0\" listbuilds e.txt >> e.txt", "e.txt", pre + list + kOK},
        {"echo PRE > f.txt; \"$0\" listbuilds /dev/stderr >> f.txt 2>&1", "f.txt", pre + list + kOK},
        {"echo PRE > g.txt; \"$0\" listbuilds /proc/self/fd/3 3>> g.txt >/dev/null", "g.txt", pre + list},
        {"\"$0\" @jb.txt > all.log", "all.log", lines + list + kOK + "\n" + three},
        {"\"$0\" listbuilds /dev/stdout | cat > piped.txt", "piped.txt", list + kOK},
        {"\"$0\" @own.txt >> own.txt", "own.txt",
         jobs + lines +
             "- NULLKUID : Failed to open output file.\n; NULLKUID : '/dev/stdout': it is the batch file being run\n"
             "OK (1 Errors, 0 Warnings)\n\n" +
             three},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.script);
        const RunResult r = Shell(c.script + "; echo \"exit $?\"");
        EXPECT_EQ(r.out, c.file == "own.txt" ? "exit 255\n" : "exit 0\n") << r.err;
        EXPECT_EQ(root_.ReadFile("work/" + c.file), c.holds);
    }
}

}  // namespace
}  // namespace e2e
