// Outputs that are files a command reads, and outputs that are the tool's own streams. A compile knows the files
// it reads from its arguments, whether or not the rest of them make sense; an output that is standard output or
// error is written through that stream after what it holds, never by replacing or rewinding the file.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

class OutputRoutesE2E : public DaemonRootTest
{};

// Each argument error, with the log named as a file the compile reads: the source, another name given where a
// source goes, a file the source includes (also with no argument error), the source by a second name. The files
// of the user's own are replaced; those with names too long for a temporary name beside them are written in place.
TEST_F(OutputRoutesE2E, NoCompileWritesItsLogOverAFileItReadsWhateverItsArguments)
{
    for (const std::string& stem : {std::string(), std::string(246, 'n')})
    {
        const auto name = [&](const char* n) { return stem + n + ".gs"; };
        const std::vector<std::pair<std::string, std::string>> files = {
            {name("r"), "class A\n{\n};\n"},
            {name("x"), "class X\n{\n};\n"},
            {name("i"), "class I\n{\n};\n"},
            {name("m"), "include \"" + name("i") + "\"\nclass B\n{\n};\n"}};
        for (const auto& [file, text] : files) root_.WriteFile("work/" + file, text);
        ASSERT_EQ(link(root_.Path("work/" + name("m")).c_str(), root_.Path("work/" + name("l")).c_str()), 0);
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{name("r"), "-x", "-b" + name("r")},
                                                   {name("r"), name("x"), "-b" + name("r")},
                                                   {name("r"), "-o", "-b" + name("r")},
                                                   {name("r"), name("x"), "-b" + name("x")},
                                                   {name("m"), "-x", "-b" + name("i")},
                                                   {name("m"), "-b" + name("i")},
                                                   {name("m"), "-x", "-b" + name("l")}})
        {
            SCOPED_TRACE(args[1].substr(0, 8) + " " + args.back().substr(args.back().size() - 4));
            std::vector<std::string> all = {"compile"};
            all.insert(all.end(), args.begin(), args.end());
            const RunResult r = Run(all);
            EXPECT_EQ(r.exitCode, 255);
            EXPECT_NE(r.out.find("the build log would overwrite the source file '" + args.back().substr(2) + "'"),
                      std::string::npos)
                << r.out << r.err;
            for (const auto& [file, text] : files) EXPECT_EQ(root_.ReadFile("work/" + file), text);
        }
    }
}

// `>>` keeps appending and `>` keeps the tool's own lines, onto a file with one name or two, by a name in /dev or
// /proc or the file's own name, also for an output written at offsets; a batch run keeps every line's output; a
// pipe is written as before; a batch file the stream appends to is still refused as an output.
TEST_F(OutputRoutesE2E, AnOutputThatIsOneOfTheToolsStreamsIsWrittenThroughIt)
{
    ASSERT_EQ(Run({"listbuilds", "builds.txt"}).exitCode, 0);
    ASSERT_EQ(Run({"createcdp", "fresh.cdp", "<kuid:44000:1001>"}).exitCode, 0);
    const std::string builds = root_.ReadFile("work/builds.txt"), list = builds + kOK;
    const std::string archive = root_.ReadFile("work/fresh.cdp");
    const std::string jobs = "\"echo\" \"one\"\n\"listbuilds\" \"/dev/stdout\"\n\"echo\" \"three\"\n";
    root_.WriteFile("work/jb.txt", jobs);
    root_.WriteFile("work/own.txt", jobs);
    const std::string one = "one \n" + std::string(kOK) + "\n", three = "three \n" + std::string(kOK) + "\n";
    const struct
    {
        std::string script, file, holds;
    } cases[] = {
        {"echo PRE > a; \"$0\" listbuilds /dev/stdout >> a", "a", "PRE\n" + list},
        {"echo PRE > b; ln b b2; \"$0\" listbuilds /dev/stdout >> b", "b2", "PRE\n" + list},
        {"\"$0\" listbuilds /dev/stdout > c", "c", list},
        {"echo a longer old text > d; ln d d2; \"$0\" listbuilds /dev/stdout > d", "d2", list},
        {"echo PRE > e; \"$0\" listbuilds e >> e", "e", "PRE\n" + list},
        {"echo PRE > f; \"$0\" listbuilds /dev/stderr >> f 2>&1", "f", "PRE\n" + list},
        {"echo PRE > g; \"$0\" listbuilds /proc/self/fd/3 3>> g >/dev/null", "g", "PRE\n" + builds},
        {"ln -s /dev/stdout s.cdp; \"$0\" createcdp s.cdp '<kuid:44000:1001>' > h", "h", archive + kOK},
        {"\"$0\" @jb.txt > all.log", "all.log", one + list + "\n" + three},
        {"\"$0\" listbuilds /dev/stdout | cat > piped", "piped", list},
        {"\"$0\" @own.txt >> own.txt", "own.txt",
         jobs + one +
             "- NULLKUID : Failed to open output file.\n; NULLKUID : '/dev/stdout': it is the batch file "
             "being run\nOK (1 Errors, 0 Warnings)\n\n" +
             three},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.script);
        const RunResult r = RunningProgram("/bin/sh", {"-c", c.script + "; echo \"exit $?\"", root_.Tool()},
                                           RunOptions::In(root_.Path("work")))
                                .Wait();
        EXPECT_EQ(r.out, c.file == "own.txt" ? "exit 255\n" : "exit 0\n") << r.err;
        EXPECT_EQ(root_.ReadFile("work/" + c.file), c.holds);
    }
}

}  // namespace
}  // namespace e2e
