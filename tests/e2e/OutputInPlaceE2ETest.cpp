// Outputs that lead to what a command reads or to its other output, and outputs written in place on a full disk.
// A name that leads to a source through a second name or a link is refused as the source's own name is, with
// nothing written, whether the source would be replaced or written in place; a file written in place keeps every
// byte when its new contents do not fit, also where the file system cannot reserve room.
#include "E2EFixture.h"
#include "SecondUser.h"

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
    // An installed asset <kuid:USER:ID> with `files` files of `bytes` bytes each besides its config, named
    // `prefix` with their number and ".bin".
    void InstallAsset(int id, int files, size_t bytes, int user = 900079, const std::string& prefix = "f")
    {
        const std::string folder = "work/assets/a" + std::to_string(user) + "-" + std::to_string(id);
        root_.WriteFile(folder + "/config.txt", "kuid <kuid:" + std::to_string(user) + ":" + std::to_string(id) +
                                                    ">\nkind \"scenery\"\nusername \"A" + std::to_string(id) + "\"\n");
        for (int i = 0; i < files; ++i)
        {
            std::string filler(bytes, '\0');
            for (size_t b = 0; b < bytes; ++b) filler[b] = static_cast<char>((b * 131 + i * 7 + id) % 251);
            root_.WriteFile(folder + "/" + prefix + std::to_string(i) + ".bin", filler);
        }
        const RunResult r = Run({"installfrompath", folder.substr(5)});
        ASSERT_EQ(r.exitCode, 0) << r.out;
    }
    static bool Says(const RunResult& r, const std::string& text) { return r.out.find(text) != std::string::npos; }
    // In a mount namespace of its own, `mount` makes a file system at work/small, the archive of `before` is made
    // there with a second name, the disk filled to `freeKiB` KiB free, and the archive of `after` made over it: it
    // fails for want of room, and both names keep the old archive byte for byte.
    void ExpectLeftAsItWas(const std::string& mount, int freeKiB, const std::string& before, const std::string& after)
    {
        fs::create_directories(Work("small"));
        const std::string script = "R=\"$1\"\n"
                                   "cd \"$R/work\"\n" +
                                   mount + " || exit " + std::to_string(kMountRefused) +
                                   "\n"
                                   "\"$R/bin/VelmarUtil\" createcdp small/arc.cdp " +
                                   before +
                                   " >/dev/null || exit 3\n"
                                   "ln small/arc.cdp small/arc-link.cdp\n"
                                   "cp small/arc.cdp before.cdp\n"
                                   "dd if=/dev/zero of=small/filler bs=1k 2>/dev/null\n"
                                   "truncate -s -" +
                                   std::to_string(freeKiB) +
                                   "k small/filler\n"
                                   "\"$R/bin/VelmarUtil\" createcdp small/arc.cdp " +
                                   after +
                                   "\n"
                                   "echo \"exit $?\"\n"
                                   "cmp small/arc.cdp before.cdp && cmp small/arc-link.cdp before.cdp && echo same\n"
                                   "stat -c 'links %h' small/arc.cdp\n"
                                   "ls -A small\n"
                                   "exit 0\n";
        RunOptions options = RunOptions::In(Work(""));
        options.timeoutMs = 120000;
        const RunResult r = RunInMountNamespace(script, {root_.Root()}, options);
        if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a small file system here: " << r.err;
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_TRUE(Says(r, "No space left on device")) << r.out;
        EXPECT_TRUE(Says(r, "\nexit 255\nsame\nlinks 2\n")) << r.out;
        EXPECT_FALSE(Says(r, ".part-")) << r.out;
    }
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

// A source whose output is written in place rather than replaced (its name leaves no room for a temporary name
// beside it) is refused all the same; so is a second output of one compile on the first one's file.
TEST_F(OutputInPlaceE2E, AnOutputWrittenInPlaceOrTwiceIsStillRefusedAndNothingIsWritten)
{
    const std::string n(250, 'n'), e(250, 'e');
    for (const std::string& name : {n + ".gs", e + ".gs", std::string("r.gs")})
        root_.WriteFile("work/" + name, kScript);
    ASSERT_EQ(::symlink((e + ".gs").c_str(), Work(e + ".gse").c_str()), 0);

    const RunResult log = Run({"compile", n + ".gs", "-b" + n + ".gs"});
    EXPECT_EQ(log.exitCode, 255);
    EXPECT_TRUE(Says(log, "the build log would overwrite the source file '" + n + ".gs'")) << log.out;
    const RunResult encrypt = Run({"encrypt", e + ".gs"});
    EXPECT_EQ(encrypt.exitCode, 255);
    EXPECT_TRUE(Says(encrypt, "it would overwrite the source file '" + Work(e + ".gs") + "'")) << encrypt.out;
    for (const std::string& name : {n + ".gs", e + ".gs"}) EXPECT_EQ(root_.ReadFile("work/" + name), kScript);

    // The library and the log on one file, a new one and one with a second name: neither is written.
    root_.WriteFile("work/old.gsl", "old");
    Link("old.gsl", "old-link.gsl");
    for (const char* library : {"new.gsl", "old.gsl"})
    {
        const RunResult both = Run({"compile", "r.gs", std::string("-o") + library, std::string("-b") + library});
        EXPECT_EQ(both.exitCode, 255);
        EXPECT_TRUE(Says(both, std::string("the build log would overwrite the library '") + library + "'")) << both.out;
    }
    EXPECT_FALSE(root_.Exists("work/new.gsl"));
    EXPECT_EQ(root_.ReadFile("work/old.gsl"), "old");
    EXPECT_EQ(root_.ReadFile("work/r.gs"), kScript);

    // An archive through a link to an installed file whose name is as long.
    const std::string longName = std::string(245, 'f') + "0.bin";
    InstallAsset(1, 1, 100, 900077, std::string(245, 'f'));
    const std::string installed = "UserData/local/kuid 900077 1/" + longName;
    const std::string data = root_.ReadFile(installed);
    ASSERT_EQ(::symlink(root_.Path(installed).c_str(), Work("out.cdp").c_str()), 0);
    const RunResult cdp = Run({"createcdp", "out.cdp", "<kuid:900077:1>"});
    EXPECT_EQ(cdp.exitCode, 255) << cdp.out;
    EXPECT_TRUE(Says(cdp, "(the archive would be written over it)")) << cdp.out;
    EXPECT_EQ(root_.ReadFile(installed), data);
}

// User nobody, in a folder of theirs they may not write into, and on a source whose group is not theirs: the
// output is written in place, and refused where it is the source.
TEST_F(OutputInPlaceE2E, AnotherUsersOutputWrittenInPlaceIsRefusedWhereItIsTheSource)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as user nobody";
    InstallRoot nobodys;
    nobodys.WriteFile("work/shut/src.gs", kScript);
    nobodys.WriteFile("work/open/src.gs", kScript);
    ASSERT_TRUE(GiveRootToNobody(nobodys));
    ASSERT_EQ(chmod(nobodys.Path("work/shut").c_str(), 0555), 0);
    ASSERT_EQ(chown(nobodys.Path("work/open/src.gs").c_str(), kNobody, 0), 0);
    const RunResult log =
        RunAsNobody(nobodys, {"compile", "src.gs", "-bsrc.gs", "-o" + nobodys.Path("out.gsl")}, "work/shut");
    EXPECT_EQ(log.exitCode, 255) << log.err;
    EXPECT_TRUE(Says(log, "the build log would overwrite the source file 'src.gs'")) << log.out;
    const RunResult library = RunAsNobody(nobodys, {"compile", "src.gs", "-osrc.gs"}, "work/open");
    EXPECT_EQ(library.exitCode, 255) << library.err;
    EXPECT_TRUE(Says(library, "the library would overwrite the source file 'src.gs'")) << library.out;
    EXPECT_EQ(nobodys.ReadFile("work/shut/src.gs"), kScript);
    EXPECT_EQ(nobodys.ReadFile("work/open/src.gs"), kScript);
}

// A package parsed for the download station whose name is that of an archive or thumbnail the parse writes beside
// it: that file fails with the reason, and so does the command; the package stays whole, the rest is written.
TEST_F(OutputInPlaceE2E, AnArchiveOfAParsedPackageIsNeverWrittenOverThePackage)
{
    InstallAsset(100, 1, 100, 900001);
    root_.WriteFile("work/assets/thumbed/config.txt", "kuid <kuid:900001:101>\nkind \"scenery\"\nusername \"T\"\n"
                                                      "thumbnails {\n 0 {\n  image \"t.jpg\"\n }\n}\n");
    root_.WriteFile("work/assets/thumbed/t.jpg", "\xFF\xD8\xFF a picture");
    ASSERT_EQ(Run({"installfrompath", "assets/thumbed"}).exitCode, 0);
    const std::string package = "kuid 900001 100.cdp", picture = "j/kuid 900001 101.jpg";
    ASSERT_EQ(Run({"createcdp", package, "<kuid:900001:100>", "<kuid:900001:101>"}).exitCode, 0);
    const std::string bytes = root_.ReadFile("work/" + package);
    root_.WriteFile("work/" + picture, bytes);
    for (const std::string& parsed : {package, picture})
    {
        for (const char* kuid : {"<kuid:900001:100>", "<kuid:900001:101>"})
            ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
        const RunResult parse = Run({"dlsparse", parsed});
        EXPECT_EQ(parse.exitCode, 255);
        EXPECT_TRUE(Says(parse, parsed == package
                                    ? "<kuid:900001:100> : Unable to write asset to CDP: Unable to write "
                                      "archive file: " +
                                          Work(package) +
                                          " (the archive would be written over the package being parsed)"
                                    : "<kuid:900001:101> : Unable to write the thumbnail: " + Work(picture) +
                                          " (the thumbnail would be written over the package being parsed)"))
            << parse.out;
        EXPECT_EQ(root_.ReadFile("work/" + parsed), bytes);
    }
    EXPECT_TRUE(root_.Exists("work/kuid 900001 101.cdp") && root_.Exists("work/j/kuid 900001 100.cdp"));
}

// An archive with two names on a file system with too little room for the new one: the command fails with the
// reason and both names keep the old archive byte for byte.
TEST_F(OutputInPlaceE2E, AnArchiveWrittenInPlaceThatDoesNotFitIsLeftAsItWas)
{
    for (int id = 1; id <= 7; ++id) InstallAsset(id, 2, 32 << 10);
    ExpectLeftAsItWas("mount -t tmpfs -o size=1m tmpfs small", 192, "'<kuid:900079:1>'",
                      "'<kuid:900079:1>' '<kuid:900079:2>' '<kuid:900079:3>' '<kuid:900079:4>' '<kuid:900079:5>' "
                      "'<kuid:900079:6>' '<kuid:900079:7>'");
}

// The same on a file system that cannot reserve room (ext4 without extents, as ext3, on a loop device): the new
// bytes past the old end go first, and when they do not fit the archive is cut back to its old size.
TEST_F(OutputInPlaceE2E, AnArchiveWrittenInPlaceWhereNoRoomCanBeReservedIsLeftAsItWas)
{
    for (int id = 1; id <= 3; ++id) InstallAsset(id, 1, 20 << 10);
    InstallAsset(4, 1, 400 << 10);
    ExpectLeftAsItWas("truncate -s 4M e.img && mkfs.ext4 -q -F -O ^extent,^64bit,^has_journal,^flex_bg -b 1024 e.img "
                      ">/dev/null 2>&1 && mount -o loop e.img small",
                      60, "'<kuid:900079:1>' '<kuid:900079:2>' '<kuid:900079:3>'",
                      "'<kuid:900079:4>' '<kuid:900079:1>'");
}

}  // namespace
}  // namespace e2e
