#include "script/compiler/GSCompilerMain.h"
#include "script/compiler/GSLibraryFile.h"
#include "script/compiler/GSScriptFile.h"

#include "GSTestFiles.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct Outcome
{
    int errors;
    std::string console;
};

// Runs the front end as the dispatcher does: program, an empty element, then the arguments.
Outcome Compile(std::vector<std::string> args)
{
    std::vector<const char*> argv = {"VelmarUtil", ""};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream console;
    int n = GSCompilerMain(static_cast<int>(argv.size()), argv.data(), console);
    return {n, console.str()};
}

GSLibrary ReadLibrary(const GSTempFolder& dir, const std::string& rel)
{
    GSLibrary lib;
    std::string why;
    EXPECT_TRUE(DecodeGSLibrary(dir.Read(rel), &lib, &why)) << why;
    return lib;
}

}  // namespace

TEST(GSCompiler, BalancedSourceWithIncludeWritesLibrary)
{
    GSTempFolder dir;
    dir.Write("src/main.gs", "include \"util.gs\"\nclass Main { void Outcome() { Util.Go(1); } };\n");
    dir.Write("src/util.gs", "class Util { void Go(int n) {} };\n");
    Outcome r = Compile({dir / "src/main.gs"});
    EXPECT_EQ(r.errors, 0) << r.console;
    EXPECT_NE(r.console.find("0 error(s)"), std::string::npos);

    GSLibrary lib = ReadLibrary(dir, "src/main.gsl");
    EXPECT_EQ(lib.sourceName, "main.gs");
    ASSERT_EQ(lib.includes.size(), 1u);
    EXPECT_EQ(lib.includes[0].name, "util.gs");
    // The included file's tokens come first, then the source's own (include statement included).
    ASSERT_FALSE(lib.tokens.empty());
    EXPECT_EQ(lib.tokens.front().unit, 1);
    EXPECT_EQ(lib.tokens.front().text, "class");
    EXPECT_EQ(lib.tokens.back().unit, 0);
    EXPECT_EQ(lib.tokens.back().text, ";");
    EXPECT_EQ(lib.tokens.back().line, 2u);
}

TEST(GSCompiler, MissingIncludeAndIncludeCycle)
{
    GSTempFolder dir;
    std::string m = dir.Write("m.gs", "x;\ninclude \"nothere.gs\"\n");
    Outcome r = Compile({m});
    EXPECT_EQ(r.errors, 1);
    EXPECT_NE(r.console.find(m + "(2) : cannot find include file 'nothere.gs'"), std::string::npos) << r.console;

    std::string a = dir.Write("a.gs", "include \"b.gs\"\n");
    dir.Write("b.gs", "\ninclude \"a.gs\"\n");
    r = Compile({a});
    EXPECT_EQ(r.errors, 1);
    EXPECT_NE(r.console.find(dir / "b.gs" + "(2) : include cycle: " + a + " -> " + dir / "b.gs" + " -> " + a),
              std::string::npos)
        << r.console;

    std::string self = dir.Write("self.gs", "include \"self.gs\"\n");
    EXPECT_EQ(Compile({self}).errors, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.gsl"));
}

TEST(GSCompiler, IncludeSearchOrderRepeatsAndEncodedIncludes)
{
    GSTempFolder dir;
    // d.gs is reached twice (through b and c): it is taken once. e.gs exists only encoded, in an -i folder.
    std::string a = dir.Write("a/a.gs", "include \"b.gs\"\ninclude \"c.gs\"\n");
    dir.Write("a/b.gs", "include \"d.gs\" b;\n");
    dir.Write("a/c.gs", "include \"d.gs\" include \"e.gs\" c;\n");
    dir.Write("a/d.gs", "d;\n");
    GSScriptFile e;
    e.SetText("e;\n");
    std::filesystem::create_directories(dir / "inc");
    ASSERT_TRUE(e.SaveAs("", dir / "inc/e.gse"));

    Outcome r = Compile({a, "-i" + dir / "inc", "-p" + dir / "out", "-oall.gsl"});
    ASSERT_EQ(r.errors, 0) << r.console;
    GSLibrary lib = ReadLibrary(dir, "out/all.gsl");
    std::vector<std::string> names;
    for (const GSLibraryInclude& inc : lib.includes) names.push_back(inc.name);
    EXPECT_EQ(names, (std::vector<std::string>{"d.gs", "b.gs", "../inc/e.gse", "c.gs"}));
    size_t dTokens = 0;
    for (const GSLibraryToken& t : lib.tokens) dTokens += t.text == "d" ? 1 : 0;
    EXPECT_EQ(dTokens, 1u);

    // Without the -i folder the encoded include is not found.
    EXPECT_EQ(Compile({a, "-s"}).errors, 1);
}

TEST(GSCompiler, OptionsLogSilenceAndDocumentation)
{
    GSTempFolder dir;
    std::string bad = dir.Write("bad.gs", "a 1x\n)\n");
    Outcome r = Compile({"-S", "-b" + dir / "build.log", bad});
    EXPECT_EQ(r.errors, 2);
    EXPECT_EQ(r.console, "");
    EXPECT_EQ(dir.Read("build.log"), "Compiling " + bad + "\n" + bad + "(1) : malformed number\n" + bad +
                                         "(2) : ')' has no matching opening bracket\n2 error(s)\n");

    r = Compile({"-d"});
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.console, GSCompilerDocumentation());
    EXPECT_EQ(Compile({"-d", "-s"}).console, GSCompilerDocumentation());

    EXPECT_EQ(Compile({}).errors, 1);
    r = Compile({"-x", "-b", bad});
    EXPECT_EQ(r.errors, 2);
    EXPECT_NE(r.console.find("compile(0) : unknown option '-x'"), std::string::npos);
    EXPECT_NE(r.console.find("compile(0) : option -b needs a path written right after it"), std::string::npos);
    EXPECT_EQ(Compile({bad, bad}).errors, 1);
    EXPECT_EQ(Compile({dir / "missing.gs"}).errors, 1);
}

TEST(GSCompiler, UnwritableOutputsCountAsErrors)
{
    GSTempFolder dir;
    std::string ok = dir.Write("ok.gs", "ok;\n");
    dir.Write("file", "not a folder");
    EXPECT_EQ(Compile({ok, "-p" + dir / "file"}).errors, 1);
    EXPECT_EQ(Compile({ok, "-s", "-b" + dir / "file/log.txt"}).errors, 1);
}

TEST(GSCompiler, IncludesWrittenOnWindowsAreFound)
{
    GSTempFolder dir;
    std::string m = dir.Write("m.gs", "include \"Lib\\\\Util.GS\"\n");
    dir.Write("lib/util.gs", "u;\n");
    Outcome r = Compile({m});
    ASSERT_EQ(r.errors, 0) << r.console;
    EXPECT_EQ(ReadLibrary(dir, "m.gsl").includes[0].name, "lib/util.gs");
}

TEST(GSCompiler, OutputsNeverOverwriteASource)
{
    GSTempFolder dir;
    const std::string text = "include \"inc.gs\"\nmain;\n";
    std::string m = dir.Write("m.gs", text);
    dir.Write("inc.gs", "inc;\n");
    EXPECT_EQ(Compile({m, "-o" + m}).errors, 1);
    EXPECT_EQ(Compile({m, "-p" + dir.Path().string(), "-oinc.gs"}).errors, 1);
    EXPECT_EQ(Compile({m, "-b" + m}).errors, 1);
    EXPECT_EQ(dir.Read("m.gs"), text);
    EXPECT_EQ(dir.Read("inc.gs"), "inc;\n");
}
