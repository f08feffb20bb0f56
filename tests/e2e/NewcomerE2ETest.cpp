// What a new user meets first on real content, through the real tool and daemon: device packages for PVRTC
// from pictures of any size, a converter's own reason when it fails, and a package of installed assets whose
// compiled textures are installed as they are.
#include "E2EFixture.h"

#include "engine/Bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace e2e {
namespace {

namespace fs = std::filesystem;

uint32_t U32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const uint8_t*>(s.data() + at);
    return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}

// Width, height and format of a compiled texture (its "TXHD" chunk, the first); zeros when it is none.
struct Header
{
    uint32_t width = 0, height = 0, format = 0;
};
Header ReadHeader(const std::string& file)
{
    Header h;
    if (file.size() >= 36 && file.compare(0, 4, "OIRF") == 0 && file.compare(12, 4, "TXHD") == 0)
        h = {U32(file, 24), U32(file, 28), U32(file, 32)};
    return h;
}

class NewcomerE2E : public DaemonRootTest
{
protected:
    // An installed asset of kind "texture" from work/<name>, with one description per picture (w x h, opaque).
    void InstallTextured(const std::string& kuid, const std::string& name,
                         const std::vector<std::tuple<std::string, uint32_t, uint32_t>>& pictures)
    {
        const std::string src = "work/" + name;
        root_.WriteFile(src + "/config.txt", "kuid " + kuid +
                                                 "\nkind \"texture\"\nusername \"Newcomer\"\nvelmar-build 3.7\n"
                                                 "category-class \"TX\"\ntexture \"" +
                                                 std::get<0>(pictures.front()) + ".texture\"\n");
        for (const auto& [texture, w, h] : pictures)
        {
            Orvo::Bitmap b(w, h, Orvo::Bitmap::FormatXRGB32);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                {
                    uint8_t* p = b.Row(y) + x * 4;
                    p[0] = uint8_t(x * 3), p[1] = uint8_t(y * 5), p[2] = uint8_t((x / 8 + y / 8) % 2 ? 200 : 40);
                    p[3] = 255;
                }
            ASSERT_TRUE(b.Save(root_.Path(src + "/" + texture + ".png")));
            root_.WriteFile(src + "/" + texture + ".texture.txt", "Primary=" + texture + ".png\n");
        }
        const RunResult r = Run({"installfrompath", name});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        ASSERT_EQ(r.out, "+ " + kuid + " : Asset " + kuid + " was installed.\n" + kOK);
    }
};

// PVRTC1 takes power-of-two squares only: a square picture whose side is none, and one that halving squares at
// a side that is none, are compiled at the largest power of two below, and the package is made.
TEST_F(NewcomerE2E, PvrtcAndIosPackagesTakePicturesWhoseSidesAreNoPowersOfTwo)
{
    if (!root_.Exists("bin/PVRTexToolCLI"))
        GTEST_SKIP() << "PVRTexToolCLI is not staged (build-aux/deps.sh fetches it)";
    InstallTextured("<kuid:900034:1>", "odd", {{"square", 300, 300}, {"wide", 200, 100}, {"tall", 96, 160}});
    struct Case
    {
        const char* targets;
        const char* package;
        uint32_t square, wide, tall;
    } cases[] = {{"pvrtc", "oddpvrtc", 256, 64, 64}, {"ios", "oddios", 256, 64, 64}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.targets);
        const RunResult r = Run({"export-package", c.targets, c.package, "<kuid:900034:1>"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, kOK);
        const std::string copy = std::string("UserData/packages/") + c.package + "/kuid 900034 1/";
        for (const auto& [texture, side] :
             std::vector<std::pair<std::string, uint32_t>>{{"square", c.square}, {"wide", c.wide}, {"tall", c.tall}})
        {
            const Header h = ReadHeader(root_.ReadFile(copy + texture + ".texture"));
            EXPECT_EQ(h.format, 23u) << texture;
            EXPECT_EQ(h.width, side) << texture;
            EXPECT_EQ(h.height, side) << texture;
        }
    }
}

// A converter that fails is reported with its own words, after a first line that names the asset and the texture
// (by its path inside the asset, not the package's working folder); the package is not made.
TEST_F(NewcomerE2E, AFailingConverterSaysWhyNamingTheAssetAndTheTexture)
{
    InstallTextured("<kuid:900034:2>", "refused", {{"roof", 64, 64}});
    // A stand-in converter that refuses every picture in words of its own, on both of its streams. The staged
    // file is a link to the build's: it is replaced, not written through.
    fs::remove(root_.Path("bin/PVRTexToolCLI"));
    root_.WriteFile("bin/PVRTexToolCLI", "#!/bin/sh\necho 'Loading the picture'\n"
                                         "echo 'Error: this picture is refused here.' >&2\nexit 3\n");
    ASSERT_EQ(::chmod(root_.Path("bin/PVRTexToolCLI").c_str(), 0755), 0);

    const RunResult r = Run({"export-package", "pvrtc", "nopkg", "<kuid:900034:2>"});
    EXPECT_EQ(r.exitCode, 255);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "- <kuid:900034:2> : Unable to write output file 'roof.texture'");
    EXPECT_EQ(lines[1], "; <kuid:900034:2> : PVRTexToolCLI failed with exit code 3: Loading the picture; "
                        "Error: this picture is refused here.");
    EXPECT_NE(r.out.find("was not exported: its textures could not be converted for 'pvrtc'"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("export-partial"), std::string::npos) << r.out;
    EXPECT_FALSE(root_.Exists("UserData/packages/nopkg"));
}

// A package made from installed assets carries their compiled textures; installed again, a texture that is
// current for its description and pictures is installed as it is, not compiled again.
TEST_F(NewcomerE2E, APackageOfInstalledAssetsKeepsItsCurrentCompiledTextures)
{
    const std::string kuid = "<kuid:900034:3>";
    InstallTextured(kuid, "kept", {{"roof", 256, 128}, {"wall", 64, 64}});
    const std::string local = "UserData/local/kuid 900034 3/";
    const std::string wall = root_.ReadFile(local + "wall.texture");
    ASSERT_EQ(ReadHeader(wall).format, 10u);
    // A byte of a level changed behind the compiler's back shows whether the texture was made again.
    std::string roof = root_.ReadFile(local + "roof.texture");
    ASSERT_EQ(ReadHeader(roof).format, 10u);
    roof[roof.size() / 2] = char(roof[roof.size() / 2] ^ 0x5a);
    root_.WriteFile(local + "roof.texture", roof);

    ASSERT_EQ(Run({"createcdp", "kept.cdp", kuid}).exitCode, 0);
    ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
    EXPECT_FALSE(root_.Exists(local + "roof.texture"));
    const RunResult r = Run({"installcdp", "kept.cdp"});
    EXPECT_EQ(r.out, "+ " + kuid + " : Asset " + kuid + " was installed.\n" + kOK);
    EXPECT_EQ(root_.ReadFile(local + "roof.texture"), roof) << "the package's compiled texture is installed as it is";
    EXPECT_EQ(root_.ReadFile(local + "wall.texture"), wall);

    // A picture changed in the installed asset makes its texture stale: a commit compiles it again.
    ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
    const std::string editing = "UserData/editing/kuid 900034 3/";
    Orvo::Bitmap b(256, 128, Orvo::Bitmap::FormatXRGB32);
    for (uint32_t y = 0; y < 128; ++y)
        for (uint32_t x = 0; x < 256; ++x) b.Row(y)[x * 4 + 1] = uint8_t(x), b.Row(y)[x * 4 + 3] = 255;
    ASSERT_TRUE(b.Save(root_.Path(editing + "roof.png")));
    EXPECT_EQ(Run({"commit", kuid}).out, kOK);
    const std::string remade = root_.ReadFile(local + "roof.texture");
    EXPECT_NE(remade, roof);
    EXPECT_EQ(ReadHeader(remade).width, 256u);
    EXPECT_EQ(root_.ReadFile(local + "wall.texture"), wall);
    EXPECT_EQ(Run({"validate", kuid}).out, kOK);
}

// Two exports to one package at once: the second is refused at once and says why, in words of its own; the
// first is not disturbed, and once it is over the name is free again.
TEST_F(NewcomerE2E, ASecondExportOfAPackageBeingMadeIsRefusedAtOnce)
{
    InstallTextured("<kuid:900034:4>", "twice", {{"roof", 64, 64}});
    // The first export holds in a stand-in converter until the test lets it go.
    const std::string started = root_.Path("work/converter-started"), release = root_.Path("work/converter-release");
    fs::remove(root_.Path("bin/PVRTexToolCLI"));
    // It waits two minutes at most, so that it ends even when the test does not let it go.
    root_.WriteFile("bin/PVRTexToolCLI", "#!/bin/sh\ntouch '" + started + "'\nn=0\nwhile [ ! -e '" + release +
                                             "' ] && [ $n -lt 2400 ]; do sleep 0.05; n=$((n + 1)); done\n"
                                             "echo 'Error: let go.' >&2\nexit 1\n");
    ASSERT_EQ(::chmod(root_.Path("bin/PVRTexToolCLI").c_str(), 0755), 0);
    std::unique_ptr<RunningProgram> first =
        root_.Start({"export-package", "pvrtc", "samename", "<kuid:900034:4>"}, RunOptions::In(root_.Path("work")));
    ASSERT_TRUE(Eventually([&] { return fs::exists(started); }, 1200)) << "the first export never converted";

    const RunResult second = Run({"export-package", "dxtc", "samename", "<kuid:900034:4>"});
    EXPECT_EQ(second.exitCode, 255);
    EXPECT_EQ(second.out, Failed("The package 'samename' is being made by another request; try again when that "
                                 "one is done."));

    root_.WriteFile("work/converter-release", "");
    const RunResult one = first->Wait();
    EXPECT_EQ(one.exitCode, 255) << "the stand-in converter fails the first export";
    EXPECT_NE(one.out.find("Error: let go."), std::string::npos) << one.out;
    for (const char* word : {"subst", "export-partial"}) EXPECT_EQ(one.out.find(word), std::string::npos) << one.out;

    const RunResult third = Run({"export-package", "dxtc", "samename", "<kuid:900034:4>"});
    EXPECT_EQ(third.exitCode, 0) << third.out;
    EXPECT_TRUE(root_.Exists("UserData/packages/samename/samename.cdp"));
}

}  // namespace
}  // namespace e2e
