// Outputs that lead to what a command reads, and outputs written in place on a full disk. A name that leads to
// a source through a second name or a link is refused as the source's own name is, with nothing written; a
// file written in place keeps every byte when its new contents do not fit.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kScript[] = "class A\n{\n  void f() { }\n};\n";

class OutputInPlaceE2E : public DaemonRootTest
{
protected:
    std::string Work(const std::string& name) const { return root_.Path("work/" + name); }
    void Link(const std::string& from, const std::string& to) const
    {
        ASSERT_EQ(::link(Work(from).c_str(), Work(to).c_str()), 0) << to;
    }
    // An installed asset with `files` files of `bytes` bytes each besides its config, named `prefix` and a number.
    void InstallAsset(int id, int files, size_t bytes, const std::string& prefix = "f")
    {
        const std::string folder = "work/assets/a" + std::to_string(id);
        root_.WriteFile(folder + "/config.txt", "kuid <kuid:900079:" + std::to_string(id) +
                                                    ">\nkind \"scenery\"\nusername \"A" + std::to_string(id) + "\"\n");
        for (int i = 0; i < files; ++i)
        {
            std::string filler(bytes, '\0');
            for (size_t b = 0; b < bytes; ++b) filler[b] = static_cast<char>((b * 131 + i * 7 + id) % 251);
            root_.WriteFile(folder + "/" + prefix + std::to_string(i) + ".bin", filler);
        }
        const RunResult r = Run({"installfrompath", "assets/a" + std::to_string(id)});
        ASSERT_EQ(r.exitCode, 0) << r.out;
    }
    static bool Says(const RunResult& r, const std::string& text) { return r.out.find(text) != std::string::npos; }
};

TEST_F(OutputInPlaceE2E, AnOutputThatIsASourceUnderAnotherNameIsRefusedAndNothingIsWritten)
{
    for (const char* name : {"a.gs", "b.gs", "e.gs", "s.gs"}) root_.WriteFile(std::string("work/") + name, kScript);
    Link("a.gs", "a.log");
    Link("b.gs", "out.gsl");
    Link("e.gs", "e.gse");
    ASSERT_EQ(::symlink("s.gs", Work("s.gse").c_str()), 0);

    const RunResult log = Run({"compile", "a.gs", "-ba.log"});
    EXPECT_EQ(log.exitCode, 255);
    EXPECT_NE(log.out.find("the build log would overwrite the source file 'a.log'"), std::string::npos) << log.out;
    const RunResult library = Run({"compile", "b.gs", "-oout.gsl"});
    EXPECT_EQ(library.exitCode, 255);
    EXPECT_NE(library.out.find("the library would overwrite the source file 'out.gsl'"), std::string::npos)
        << library.out;
    for (const char* name : {"e", "s"})
    {
        const RunResult encrypt = Run({"encrypt", std::string(name) + ".gs"});
        EXPECT_EQ(encrypt.exitCode, 255);
        EXPECT_NE(encrypt.out.find("it would overwrite the source file '" + Work(std::string(name) + ".gs") + "'"),
                  std::string::npos)
            << encrypt.out;
    }
    for (const char* name : {"a.gs", "b.gs", "e.gs", "s.gs"})
        EXPECT_EQ(root_.ReadFile(std::string("work/") + name), kScript) << name;

    // An archive whose name leads to a file of an asset it packs: the asset's files stay as they are.
    InstallAsset(1, 1, 100);
    const std::string installed = root_.Path("UserData/local/kuid 900079 1/");
    const std::string config = root_.ReadFile("UserData/local/kuid 900079 1/config.txt");
    ASSERT_EQ(::link((installed + "config.txt").c_str(), Work("config.cdp").c_str()), 0);
    ASSERT_EQ(::symlink((installed + "f0.bin").c_str(), Work("data.cdp").c_str()), 0);
    const std::string data = root_.ReadFile("UserData/local/kuid 900079 1/f0.bin");
    for (const char* out : {"config.cdp", "data.cdp"})
    {
        const RunResult cdp = Run({"createcdp", out, "<kuid:900079:1>"});
        EXPECT_EQ(cdp.exitCode, 255) << cdp.out;
        EXPECT_NE(cdp.out.find("(the archive would be written over it)"), std::string::npos) << cdp.out;
    }
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900079 1/config.txt"), config);
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900079 1/f0.bin"), data);
}

// A name too long for a temporary name beside it has its file written in place: a source is refused all the same.
// So is a compile's build log on its library file, one already there or a new one.
TEST_F(OutputInPlaceE2E, AnOutputWrittenInPlaceOrTwiceIsStillRefusedAndNothingIsWritten)
{
    const std::string n(250, 'n'), source = n + ".gs";
    root_.WriteFile("work/" + source, kScript);
    ASSERT_EQ(::symlink(source.c_str(), Work(n + ".gse").c_str()), 0);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"compile", source, "-o" + source}, {"compile", source, "-b" + source}, {"encrypt", source}})
    {
        const RunResult r = Run(args);
        EXPECT_TRUE(r.exitCode == 255 && Says(r, "would overwrite the source file '")) << r.out;
    }
    EXPECT_EQ(root_.ReadFile("work/" + source), kScript);
    // The library and the log on one file, a new one and one with a second name: neither is written.
    root_.WriteFile("work/old.gsl", "old");
    Link("old.gsl", "old-link.gsl");
    for (const std::string library : {"new.gsl", "old.gsl"})
    {
        const RunResult r = Run({"compile", source, "-o" + library, "-b" + library});
        EXPECT_TRUE(r.exitCode == 255 && Says(r, "the build log would overwrite the library '" + library + "'"))
            << r.out;
    }
    EXPECT_FALSE(root_.Exists("work/new.gsl"));
    EXPECT_EQ(root_.ReadFile("work/old.gsl"), "old");
    // An archive through a link to a file of the asset it packs, whose name is as long.
    InstallAsset(1, 1, 100, std::string(245, 'f'));
    const std::string installed = "UserData/local/kuid 900079 1/" + std::string(245, 'f') + "0.bin";
    const std::string data = root_.ReadFile(installed);
    ASSERT_EQ(::symlink(root_.Path(installed).c_str(), Work("out.cdp").c_str()), 0);
    const RunResult cdp = Run({"createcdp", "out.cdp", "<kuid:900079:1>"});
    EXPECT_TRUE(cdp.exitCode == 255 && Says(cdp, "(the archive would be written over it)")) << cdp.out;
    EXPECT_EQ(root_.ReadFile(installed), data);
}

// dlsparse writes each asset's archive and thumbnail beside the package it parses: one that would be written over
// the package fails with the reason, and so does the command; the package stays whole.
TEST_F(OutputInPlaceE2E, AnArchiveOfAParsedPackageIsNeverWrittenOverThePackage)
{
    InstallAsset(100, 1, 100);
    root_.WriteFile("work/assets/thumbed/config.txt", "kuid <kuid:900079:101>\nkind \"scenery\"\nusername \"T\"\n"
                                                      "thumbnails {\n 0 {\n  image \"t.jpg\"\n }\n}\n");
    root_.WriteFile("work/assets/thumbed/t.jpg", "\xFF\xD8\xFF a picture");
    ASSERT_EQ(Run({"installfrompath", "assets/thumbed"}).exitCode, 0);
    const std::string package = "kuid 900079 100.cdp", picture = "j/kuid 900079 101.jpg";
    ASSERT_EQ(Run({"createcdp", package, "<kuid:900079:100>", "<kuid:900079:101>"}).exitCode, 0);
    const std::string bytes = root_.ReadFile("work/" + package);
    root_.WriteFile("work/" + picture, bytes);
    for (const std::string& parsed : {package, picture})
    {
        for (const char* kuid : {"<kuid:900079:100>", "<kuid:900079:101>"})
            ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
        const RunResult r = Run({"dlsparse", parsed});
        EXPECT_TRUE(r.exitCode == 255 &&
                    Says(r, Work(parsed) + " (the " + (parsed == package ? "archive" : "thumbnail") +
                                " would be written over the package being parsed)"))
            << r.out;
        EXPECT_EQ(root_.ReadFile("work/" + parsed), bytes);
    }
}

// An archive with two names on a file system with too little room for the new one: the command fails with the
// reason and both names keep the old archive byte for byte.
TEST_F(OutputInPlaceE2E, AnArchiveWrittenInPlaceThatDoesNotFitIsLeftAsItWas)
{
    for (int id = 1; id <= 7; ++id) InstallAsset(id, 2, 32 << 10);
    fs::create_directories(Work("small"));
    const std::string script = "R=\"$1\"\n"
                               "mount -t tmpfs -o size=1m tmpfs \"$R/work/small\" || exit " +
                               std::to_string(kMountRefused) +
                               "\n"
                               "cd \"$R/work\"\n"
                               "\"$R/bin/VelmarUtil\" createcdp small/arc.cdp '<kuid:900079:1>' >/dev/null || exit 3\n"
                               "ln small/arc.cdp small/arc-link.cdp\n"
                               "cp small/arc.cdp before.cdp\n"
                               "dd if=/dev/zero of=small/filler bs=64k 2>/dev/null\n"
                               "truncate -s -192k small/filler\n"
                               "\"$R/bin/VelmarUtil\" createcdp small/arc.cdp '<kuid:900079:1>' '<kuid:900079:2>' "
                               "'<kuid:900079:3>' '<kuid:900079:4>' '<kuid:900079:5>' '<kuid:900079:6>' "
                               "'<kuid:900079:7>'\n"
                               "echo \"exit $?\"\n"
                               "cmp small/arc.cdp before.cdp && cmp small/arc-link.cdp before.cdp && echo same\n"
                               "stat -c 'links %h' small/arc.cdp\n"
                               "ls -A small\n"
                               "exit 0\n";
    RunOptions options = RunOptions::In(Work(""));
    options.timeoutMs = 120000;
    const RunResult r = RunInMountNamespace(script, {root_.Root()}, options);
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a small tmpfs in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nexit 255\nsame\nlinks 2\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(".part-"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace e2e
