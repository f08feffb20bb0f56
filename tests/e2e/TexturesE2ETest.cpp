// Texture conversion through the real tool and daemon: "compresstexture" on a folder tree of descriptions
// over PNG, TGA, BMP and JPEG images drawn here, the compiled files decoded by libsquish, faulty textures
// beside good ones, textures compiled as assets are installed and committed, and package export for device
// targets through the command host's texture-convert job.
#include "E2EFixture.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "engine/Bitmap.h"
#include "platform/Process.h"

#include <gtest/gtest.h>
#include <squish.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The compiled texture's header and level 0, read from the container by hand.
struct Compiled
{
    uint32_t width = 0, height = 0, format = 0, images = 0, levels = 0;
    std::vector<std::string> levelData;
};

uint32_t U32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const uint8_t*>(s.data() + at);
    return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
}

bool ReadCompiled(const std::string& file, Compiled& out)
{
    if (file.size() < 12 || file.compare(0, 4, "OIRF") != 0 || file.compare(8, 4, "MMTF") != 0) return false;
    size_t at = 12;
    while (at + 12 <= file.size())
    {
        const std::string tag = file.substr(at, 4);
        const size_t end = at + 8 + U32(file, at + 4);
        if (end > file.size()) return false;
        const size_t body = at + 12;
        if (tag == "TXHD")
        {
            out.width = U32(file, body);
            out.height = U32(file, body + 4);
            out.format = U32(file, body + 8);
            out.images = U32(file, body + 12);
            out.levels = U32(file, body + 16);
        }
        else if (tag == "TXLV")
        {
            out.levelData.push_back(file.substr(body + 20, U32(file, body + 16)));
        }
        at = end;
    }
    return at == file.size() && !out.levelData.empty();
}

// An image drawn here: colour ramps, a checker and a soft circle; alpha as asked.
std::unique_ptr<Orvo::Bitmap> Draw(uint32_t w, uint32_t h, int alphaKind)
{
    auto b = std::make_unique<Orvo::Bitmap>(w, h, alphaKind ? Orvo::Bitmap::FormatARGB32 : Orvo::Bitmap::FormatXRGB32);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = b->Row(y) + x * 4;
            const double d = std::hypot(double(x) - w / 2.0, double(y) - h / 2.0) / (w / 2.0);
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(((x / 16 + y / 16) % 2) ? 170 : 70);
            p[2] = uint8_t(std::clamp(255.0 * (1.0 - d), 0.0, 255.0));
            p[3] = alphaKind == 1 ? uint8_t(y * 255 / (h - 1)) : alphaKind == 2 ? (d < 0.5 ? 0 : 255) : 255;
        }
    return b;
}

// PSNR of the colour (and alpha) of a DXT level decoded by libsquish against the source image.
double Psnr(const Orvo::Bitmap& source, const std::string& blocks, int flags, bool withAlpha)
{
    const uint32_t w = source.GetWidth(), h = source.GetHeight();
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    squish::DecompressImage(rgba.data(), int(w), int(h), blocks.data(), flags);
    double sum = 0;
    size_t n = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
        {
            const uint8_t* s = source.Row(y) + x * 4;
            const uint8_t* d = &rgba[(size_t(y) * w + x) * 4];
            const int pairs[4][2] = {{s[2], d[0]}, {s[1], d[1]}, {s[0], d[2]}, {s[3], d[3]}};
            // A transparent texel's colour is not kept (DXT1 decodes it black): only its alpha counts.
            for (int c = (withAlpha && s[3] == 0) ? 3 : 0; c < (withAlpha ? 4 : 3); ++c, ++n)
                sum += double(pairs[c][0] - pairs[c][1]) * (pairs[c][0] - pairs[c][1]);
        }
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / n));
}

class TexturesE2E : public DaemonRootTest
{
protected:
    // A texture description and its image in `folder` (relative to the root).
    void AddTexture(const std::string& folder, const std::string& name, const std::string& image, int alphaKind,
                    uint32_t w = 128, uint32_t h = 64)
    {
        fs::create_directories(root_.Path(folder));
        auto bmp = Draw(w, h, alphaKind);
        ASSERT_TRUE(bmp->Save(root_.Path(folder + "/" + image)));
        root_.WriteFile(folder + "/" + name + ".texture.txt", "Primary=" + image + "\nTile=st\n");
        images_[folder + "/" + name] = std::move(bmp);
    }
    std::map<std::string, std::unique_ptr<Orvo::Bitmap>> images_;
};

TEST_F(TexturesE2E, CompressTextureConvertsAFolderTree)
{
    const std::string tree = "UserData/editing/texture-work";
    AddTexture(tree, "body", "Body.png", 1);    // full alpha: DXT5
    AddTexture(tree, "roof", "roof.tga", 0);    // opaque: DXT1
    AddTexture(tree, "fence", "fence.png", 2);  // 1-bit alpha: DXT1 with alpha
    AddTexture(tree + "/sub", "wall", "wall.bmp", 0);
    AddTexture(tree + "/sub", "sky", "sky.jpg", 0, 64, 64);
    AddTexture(tree, "tiny", "tiny.png", 0, 16, 16);  // below 64 pixels: kept uncompressed
    root_.WriteFile(tree + "/notes.txt", "not a texture\n");
    const std::vector<std::string> before = FilesBelow(root_.Path(tree));

    RunResult r = Run({"compresstexture", root_.Path(tree)});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, kOK);

    struct Expect
    {
        const char* name;
        uint32_t format;
        int squishFlags;  // 0: uncompressed
        bool alpha;
    } expects[] = {{"body", 12, squish::kDxt5, true},     {"roof", 10, squish::kDxt1, false},
                   {"fence", 10, squish::kDxt1, true},    {"sub/wall", 10, squish::kDxt1, false},
                   {"sub/sky", 10, squish::kDxt1, false}, {"tiny", 3, 0, false}};
    std::map<std::string, std::string> compiled;
    for (const Expect& e : expects)
    {
        SCOPED_TRACE(e.name);
        const std::string rel = tree + "/" + e.name;
        const std::string file = root_.ReadFile(rel + ".texture");
        Compiled c;
        ASSERT_TRUE(ReadCompiled(file, c));
        const Orvo::Bitmap& source = *images_[rel];
        EXPECT_EQ(c.format, e.format);
        EXPECT_EQ(c.width, source.GetWidth());
        EXPECT_EQ(c.levels, c.levelData.size());
        EXPECT_EQ(c.levels, uint32_t(std::log2(std::max(c.width, c.height))) + 1);
        // Stated quality: DXT levels decode to at least 30 dB of their source (JPEG's own loss included).
        if (e.squishFlags != 0)
        {
            EXPECT_GT(Psnr(source, c.levelData[0], e.squishFlags, e.alpha), 30.0);
        }
        compiled[rel] = file;
    }
    // The descriptions are back under their own names; nothing else was left beside them.
    std::vector<std::string> after = FilesBelow(root_.Path(tree));
    std::vector<std::string> expected = before;
    for (const Expect& e : expects) expected.push_back(std::string(e.name) + ".texture");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(after, expected);
    // Nothing is left in the cache but the folder of the registers of own work (the tool's went with it).
    for (const std::string& name : NamesIn(root_.Path("UserData/cache"))) EXPECT_EQ(name, "own-work");

    // Another process gives the same bytes.
    RunResult again = Run({"compresstexture", root_.Path(tree)});
    EXPECT_EQ(again.out, kOK);
    for (const auto& [rel, file] : compiled) EXPECT_EQ(root_.ReadFile(rel + ".texture"), file) << rel;
}

// The output with its "- " blocks (a message and its "; " lines) sorted.
static std::string SortedFailures(const std::string& out)
{
    std::vector<std::string> blocks;
    std::string tail;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
    {
        if (line.rfind("- ", 0) == 0)
            blocks.push_back(line + "\n");
        else if (line.rfind("; ", 0) == 0 && !blocks.empty())
            blocks.back() += line + "\n";
        else
            tail += line + "\n";
    }
    std::sort(blocks.begin(), blocks.end());
    std::string sorted;
    for (const std::string& b : blocks) sorted += b;
    return sorted + tail;
}

TEST_F(TexturesE2E, FaultyTexturesFailAloneAndNothingIsHalfWritten)
{
    const std::string tree = "UserData/editing/faulty";
    AddTexture(tree, "good", "good.png", 0);
    AddTexture(tree, "damaged", "damaged.png", 0);
    const std::string png = root_.ReadFile(tree + "/damaged.png");
    root_.WriteFile(tree + "/damaged.png", png.substr(0, png.size() / 2));
    root_.WriteFile(tree + "/missing.texture.txt", "Primary=nothere.png\n");
    root_.WriteFile(tree + "/outside.texture.txt", "Primary=../../secret.png\n");
    // A primary image that is a FIFO is there, but it is no image file: said so, and never waited on.
    root_.WriteFile(tree + "/fifo.texture.txt", "Primary=wall.tga\n");
    ASSERT_EQ(mkfifo(root_.Path(tree + "/wall.tga").c_str(), 0600), 0);
    // A compiled texture from an earlier run survives a failed conversion unchanged.
    root_.WriteFile(tree + "/damaged.texture", "earlier compiled texture");

    RunResult r = Run({"compresstexture", "../UserData/editing/faulty"});
    EXPECT_EQ(r.exitCode, 255);
    const std::string folder = root_.Path(tree) + "/";
    // Textures are converted side by side: each failure is said whole, in the order they finish.
    EXPECT_EQ(SortedFailures(r.out),
              "- NULLKUID : The images of the texture '" + folder +
                  "damaged.texture.txt' in 'editing' could not "
                  "be loaded.\n; NULLKUID : the primary image cannot be read: " +
                  folder +
                  "damaged.png: damaged PNG: read beyond end of data\n"
                  "- NULLKUID : The images of the texture '" +
                  folder +
                  "fifo.texture.txt' in 'editing' could not be loaded.\n; NULLKUID : the primary image 'wall.tga' "
                  "is not a regular file\n"
                  "- NULLKUID : The images of the texture '" +
                  folder +
                  "missing.texture.txt' in 'editing' could "
                  "not be loaded.\n; NULLKUID : the primary image 'nothere.png' does not exist\n"
                  "- NULLKUID : The texture description '" +
                  folder +
                  "outside.texture.txt' in 'editing' could not "
                  "be loaded.\n; NULLKUID : \"Primary=../../secret.png\" names a file outside the texture's "
                  "folder\nOK (4 Errors, 0 Warnings)\n");
    EXPECT_TRUE(root_.Exists(tree + "/good.texture"));
    EXPECT_EQ(root_.ReadFile(tree + "/damaged.texture"), "earlier compiled texture");
    EXPECT_EQ(FilesBelow(root_.Path(tree)),
              (std::vector<std::string>{"damaged.png", "damaged.texture", "damaged.texture.txt", "fifo.texture.txt",
                                        "good.png", "good.texture", "good.texture.txt", "missing.texture.txt",
                                        "outside.texture.txt"}));

    // Outside every content folder.
    fs::create_directories(root_.Path("work/loose"));
    root_.WriteFile("work/loose/a.texture.txt", "Primary=a.png\n");
    EXPECT_EQ(Run({"compresstexture", "loose"}).out, "- NULLKUID : Unable to determine relative path for '" +
                                                         root_.Path("work/loose/a.texture.txt") +
                                                         "'\nOK (1 Errors, 0 Warnings)\n");
    // A folder of UserData that is none of its content folders is outside them too.
    root_.WriteFile("UserData/ctest/b.texture.txt", "Primary=b.png\n");
    EXPECT_EQ(Run({"compresstexture", root_.Path("UserData/ctest")}).out,
              "- NULLKUID : Unable to determine relative path for '" + root_.Path("UserData/ctest/b.texture.txt") +
                  "'\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(TexturesE2E, ExportPackageConvertsForDeviceTargets)
{
    // An asset with textures, installed from a folder drawn here, and one without.
    const std::string src = "work/textured";
    root_.WriteFile(src + "/config.txt", "kuid <kuid:900002:1>\nkind \"texture\"\nusername \"Drawn\"\n"
                                         "velmar-build 3.7\ncategory-class \"TX\"\ntexture \"a.texture\"\n");
    AddTexture(src, "a", "a.png", 0, 128, 128);
    AddTexture(src, "b", "b.tga", 1, 64, 64);
    ASSERT_EQ(Run({"installfrompath", root_.Path(src)}).exitCode, 0);
    ASSERT_EQ(Run({"installfrompath", InstallRoot::SamplesDir()}).exitCode, 0);

    struct Case
    {
        const char* targets;
        const char* package;
        uint32_t aFormat, bFormat, aSide;
    } cases[] = {
        {"dxtc", "pkgdxt", 10, 12, 128},     {"android;etc1", "pkgetc", 28, 1, 128},
        {"dxtc;atc", "pkgatc", 25, 27, 128}, {"android;dxtc;velmar", "pkgand", 10, 12, 128},
        {"ios", "pkgios", 23, 24, 128},
    };
    const bool pvrTool = root_.Exists("bin/PVRTexToolCLI");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.targets);
        if (c.aFormat == 23 && !pvrTool) continue;
        RunResult r = Run({"export-package", c.targets, c.package, "<kuid:900002:1>", "<kuid:900001:100>"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, kOK);
        const std::string copy = std::string("UserData/packages/") + c.package + "/kuid 900002 1/";
        Compiled a, b;
        ASSERT_TRUE(ReadCompiled(root_.ReadFile(copy + "a.texture"), a));
        ASSERT_TRUE(ReadCompiled(root_.ReadFile(copy + "b.texture"), b));
        EXPECT_EQ(a.format, c.aFormat);
        EXPECT_EQ(b.format, c.bFormat);
        EXPECT_EQ(a.width, c.aSide);
        EXPECT_TRUE(root_.Exists(std::string("UserData/packages/") + c.package + "/" + c.package + ".cdp"));
    }

    // Without PVRTexToolCLI an iOS export fails for the textured asset and leaves no package folder behind.
    fs::remove(root_.Path("bin/PVRTexToolCLI"));
    RunResult r = Run({"export-package", "ios", "pkgfail", "<kuid:900001:100>", "<kuid:900002:1>"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.out.find("PVRTexToolCLI was not found"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("was not exported: its textures could not be converted for 'ios'"), std::string::npos)
        << r.out;
    EXPECT_FALSE(root_.Exists("UserData/packages/pkgfail"));
    if (!pvrTool)
        GTEST_SKIP() << "PVRTexToolCLI is not staged (build-aux/deps.sh fetches it): the ios case did not run";
}

// The names of the staging folders left in the cache.
std::vector<std::string> StagingLeft(const std::string& cache)
{
    std::vector<std::string> left;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(cache, ec))
        if (e.path().extension() == ".staging") left.push_back(e.path().filename().string());
    return left;
}

// An asset's textures are compiled as it is installed from a folder, from a package (new and replacing) and
// as it is committed: the installed copy holds them, the user's folder is left as it was, validation is clean.
TEST_F(TexturesE2E, InstalledAssetsHoldTheirCompiledTextures)
{
    const std::string kuid = "<kuid:900002:7>";
    const std::string src = "work/assets/textured";
    root_.WriteFile(src + "/config.txt", "kuid " + kuid +
                                             "\nkind \"texture\"\nusername \"Drawn\"\nvelmar-build 3.7\n"
                                             "category-class \"TX\"\ntexture \"roof.texture\"\n");
    AddTexture(src, "roof", "roof.tga", 0);
    AddTexture(src, "body", "body.png", 1);
    AddTexture(src + "/sub", "wall", "wall.bmp", 0);
    AddTexture(src + "/sub", "sky", "sky.jpg", 0, 64, 64);
    const std::vector<std::string> sourceFiles = FilesBelow(root_.Path(src));
    const std::string local = "UserData/local/kuid 900002 7/";
    const std::string installed = "+ " + kuid + " : Asset " + kuid + " was installed.\n";
    std::vector<std::pair<std::string, uint32_t>> expects = {
        {"roof", 10}, {"body", 12}, {"sub/wall", 10}, {"sub/sky", 10}};
    auto expectCompiled = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const auto& [name, format] : expects)
        {
            Compiled c;
            ASSERT_TRUE(ReadCompiled(root_.ReadFile(local + name + ".texture"), c)) << name;
            EXPECT_EQ(c.format, format) << name;
        }
        EXPECT_EQ(Run({"validate", kuid}).out, kOK);
        EXPECT_EQ(StagingLeft(root_.Path("UserData/cache")), std::vector<std::string>{});
    };

    RunResult install = Run({"installfrompath", "assets"});
    EXPECT_EQ(install.exitCode, 0);
    EXPECT_EQ(install.out, installed + kOK);
    EXPECT_EQ(FilesBelow(root_.Path(src)), sourceFiles) << "nothing is written into the user's folder";
    expectCompiled("folder install");

    // A texture that cannot be compiled is a warning: the asset is installed, and validation names it.
    root_.WriteFile(src + "/bad.texture.txt", "Primary=nothere.png\n");
    install = Run({"installfrompath", "assets"});
    EXPECT_EQ(install.exitCode, 0);
    EXPECT_EQ(install.out,
              "! " + kuid + " : " +
                  InterfaceText("$vadtexture_lock_error",
                                {{"FILE_NAME", root_.Path(src + "/bad.texture.txt")}, {"ARCHIVE", "cache"}}) +
                  "\n; " + kuid + " : the primary image 'nothere.png' does not exist\n! " + kuid + " : Asset " + kuid +
                  " is installed with textures that could not be compiled.\n" + installed +
                  "OK (0 Errors, 2 Warnings)\n");
    // (validate reports what it finds and ends with 0 all the same.)
    RunResult faulty = Run({"validate", kuid});
    EXPECT_NE(faulty.out.find("OK (2 Errors, 0 Warnings)"), std::string::npos) << faulty.out;
    EXPECT_NE(faulty.out.find("- " + kuid + " : " +
                              InterfaceText("$tet_binary_texture_conversion_failed", {{"FILE", "bad.texture.txt"}})),
              std::string::npos)
        << faulty.out;
    EXPECT_TRUE(root_.Exists(local + "roof.texture"));

    // A commit compiles what the edit folder holds (nothing compiled by hand there).
    RunResult edit = Run({"edit", kuid});
    ASSERT_EQ(edit.exitCode, 0) << edit.out;
    const std::string editing = "UserData/editing/kuid 900002 7";
    fs::remove(root_.Path(editing + "/bad.texture.txt"));
    fs::remove(root_.Path(editing + "/roof.texture"));
    AddTexture(editing, "door", "door.png", 2);
    expects.push_back({"door", 10});
    EXPECT_EQ(Run({"commit", kuid}).out, kOK);
    expectCompiled("commit");

    // A package made where the textures were never compiled: installed as a new asset, then over itself.
    auto removeCompiled = [&] {
        for (const auto& e : expects) fs::remove(root_.Path(local + e.first + ".texture"));
    };
    removeCompiled();
    ASSERT_EQ(Run({"createcdp", "plain.cdp", kuid}).exitCode, 0);
    ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
    EXPECT_EQ(Run({"installcdp", "plain.cdp"}).out, installed + kOK);
    expectCompiled("package install, new asset");
    removeCompiled();
    EXPECT_EQ(Run({"installcdp", "plain.cdp"}).out, installed + kOK);
    expectCompiled("package install, replacing the asset");
}

// A description is loaded under "x.convert-tex.txt" while it is compiled: a file of the user's of that name is
// never renamed over, nor one description over another whose name differs only in case (the second fails).
TEST_F(TexturesE2E, AConversionNeverRenamesOverAFile)
{
    const std::string tree = "UserData/editing/renames", notes = "the user's own notes\n", upper = "Primary=wall.png\n";
    AddTexture(tree, "brick", "brick.png", 0);
    AddTexture(tree, "wall", "wall.png", 0);
    root_.WriteFile(tree + "/brick.convert-tex.txt", notes);
    root_.WriteFile(tree + "/wall.Texture.txt", upper);
    const std::string brick = root_.ReadFile(tree + "/brick.texture.txt"),
                      wall = root_.ReadFile(tree + "/wall.texture.txt");
    const RunResult r = Run({"compresstexture", root_.Path(tree)});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.out.find(" : 'brick.convert-tex.txt' already exists\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("' is converted under the same name, 'wall.convert-tex.txt'"), std::string::npos) << r.out;
    EXPECT_EQ(root_.ReadFile(tree + "/brick.convert-tex.txt"), notes);
    EXPECT_EQ(root_.ReadFile(tree + "/brick.texture.txt"), brick);
    EXPECT_EQ(root_.ReadFile(tree + "/wall.texture.txt"), wall);
    EXPECT_EQ(root_.ReadFile(tree + "/wall.Texture.txt"), upper);
    EXPECT_NE(root_.Exists(tree + "/wall.texture"), root_.Exists(tree + "/wall.Texture")) << "one of the two compiled";
}

// A compiled texture is written for the user as any output is: a second name and a private mode stay, and neither
// the batch file being run nor a picture the texture is made from is ever written over, by any name.
TEST_F(TexturesE2E, ACompiledTextureKeepsItsNamesAndNeverReplacesAnInput)
{
    const std::string tree = "UserData/editing/outputs";
    AddTexture(tree, "brick", "brick.png", 0);
    AddTexture(tree, "wall", "wall.png", 0);
    root_.WriteFile(tree + "/brick.texture", "old");
    fs::permissions(root_.Path(tree + "/brick.texture"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_hard_link(root_.Path(tree + "/brick.texture"), root_.Path("work/brick-link"));
    fs::create_hard_link(root_.Path(tree + "/wall.png"), root_.Path(tree + "/wall.texture"));
    const std::string picture = root_.ReadFile(tree + "/wall.png");
    RunResult r = Run({"compresstexture", root_.Path(tree)});
    EXPECT_EQ(r.exitCode, 255) << r.out;
    EXPECT_NE(r.out.find("it is '" + root_.Path(tree + "/wall.png") + "', which the texture is made from"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(root_.ReadFile(tree + "/wall.png"), picture);
    Compiled c;
    EXPECT_TRUE(ReadCompiled(root_.ReadFile("work/brick-link"), c)) << "both names show the compiled texture";
    EXPECT_EQ(fs::hard_link_count(root_.Path(tree + "/brick.texture")), 2u);
    EXPECT_EQ(fs::status(root_.Path(tree + "/brick.texture")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    // A batch file that the conversion would compile over.
    fs::remove(root_.Path(tree + "/wall.texture"));
    root_.WriteFile(tree + "/brick.texture", "compresstexture \"" + root_.Path(tree) + "\"\n");
    const std::string batch = root_.ReadFile(tree + "/brick.texture");
    r = Run({"@" + root_.Path(tree + "/brick.texture")});
    EXPECT_EQ(r.exitCode, 255) << r.out;
    EXPECT_NE(r.out.find("it is the batch file being run"), std::string::npos) << r.out;
    EXPECT_EQ(root_.ReadFile(tree + "/brick.texture"), batch);
}

// A conversion stopped by a signal gives the description it set aside its own name back before the tool ends; one
// killed leaves it aside, and the next conversion of the folder, by the tool or by a commit, gives it back, says so
// and compiles it. The picture is large enough that the set-aside state lasts a moment; when a run finishes before
// the signal, its assertions hold all the same, and the killed state is then made by hand.
TEST_F(TexturesE2E, AStoppedOrKilledConversionNeverLeavesTheDescriptionAside)
{
    const std::string kuid = "<kuid:900002:9>", editing = "UserData/editing/kuid 900002 9";
    const std::string own = editing + "/big.texture.txt", aside = editing + "/big.convert-tex.txt";
    root_.WriteFile("work/big/config.txt", "kuid " + kuid +
                                               "\nkind \"texture\"\nusername \"Big\"\nvelmar-build 3.7\n"
                                               "category-class \"TX\"\ntexture \"big.texture\"\n");
    AddTexture("work/big", "big", "big.tga", 0, 1024, 1024);
    const std::string text = root_.ReadFile("work/big/big.texture.txt");
    ASSERT_EQ(Run({"installfrompath", "big"}).exitCode, 0);
    auto convertUntil = [&](int signal) {
        std::unique_ptr<RunningProgram> tool =
            root_.Start({"compresstexture", root_.Path(editing)}, RunOptions::In(root_.Path("work")));
        while (!root_.Exists(aside) && Platform::IsProcessAlive(tool->Pid()))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(tool->Pid(), signal);
        return tool->Wait();
    };
    for (const std::string by : {"commit", "compresstexture"})
    {
        SCOPED_TRACE(by);
        ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
        {
            SCOPED_TRACE(signal);
            const RunResult r = convertUntil(signal);  // (a run the signal came too late for ends as it would)
            EXPECT_TRUE(r.exitCode == 128 + signal || r.exitCode == 0) << r.exitCode;
            EXPECT_TRUE(r.out.empty() || r.out == kOK) << r.out;
            EXPECT_EQ(root_.ReadFile(own), text);
            EXPECT_FALSE(root_.Exists(aside));
        }
        convertUntil(SIGKILL);
        if (root_.Exists(own)) fs::rename(root_.Path(own), root_.Path(aside));
        fs::remove(root_.Path(editing + "/big.texture"));

        const RunResult r = Run({by, by == "commit" ? kuid : root_.Path(editing)});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "! " + (by == "commit" ? kuid : std::string("NULLKUID")) + " : The texture description '" +
                             root_.Path(aside) +
                             "', left under that name by a conversion that was cut short, has its own name "
                             "'big.texture.txt' back\nOK (0 Errors, 1 Warnings)\n");
        const std::string folder = by == "commit" ? "UserData/local/kuid 900002 9" : editing;
        EXPECT_EQ(root_.ReadFile(folder + "/big.texture.txt"), text);
        EXPECT_FALSE(root_.Exists(folder + "/big.convert-tex.txt"));
        Compiled c;
        EXPECT_TRUE(ReadCompiled(root_.ReadFile(folder + "/big.texture"), c));
        EXPECT_EQ(c.width, 1024u);
    }
    EXPECT_EQ(Run({"commit", kuid}).out, kOK);
    EXPECT_EQ(Run({"validate", kuid}).out, kOK);

    // A package made from a copy holding only the description set aside: its install gives it its name back.
    const std::string local = "UserData/local/kuid 900002 9";
    fs::rename(root_.Path(local + "/big.texture.txt"), root_.Path(local + "/big.convert-tex.txt"));
    fs::remove(root_.Path(local + "/big.texture"));
    ASSERT_EQ(Run({"createcdp", "aside.cdp", kuid}).exitCode, 0);
    ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);
    const RunResult installed = Run({"installcdp", "aside.cdp"});
    EXPECT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(root_.ReadFile(local + "/big.texture.txt"), text);
    EXPECT_FALSE(root_.Exists(local + "/big.convert-tex.txt"));
    EXPECT_TRUE(root_.Exists(local + "/big.texture"));
}

// A device package holds the textures compiled for its targets instead of the pictures they were made from;
// two device types give two different archives. Targets no package can serve are refused before any work.
TEST_F(TexturesE2E, DevicePackagesHoldTheTexturesOfTheirDevice)
{
    const std::string kuid = "<kuid:900002:8>";
    const std::string src = "work/device/asset";
    root_.WriteFile(src + "/config.txt", "kuid " + kuid +
                                             "\nkind \"texture\"\nusername \"Device\"\nvelmar-build 3.7\n"
                                             "category-class \"TX\"\ntexture \"roof.texture\"\n"
                                             "preview \"Shared.png\"\n");
    AddTexture(src, "roof", "roof.png", 0, 128, 128);
    AddTexture(src, "wall", "wall.tga", 0, 256, 192);                           // 4:3, for PVRTC squared at 128 x 128
    root_.WriteFile(src + "/wall.texture.txt", "Primary=Wall.TGA\nTile=st\n");  // named in another case
    AddTexture(src, "shared", "shared.png", 0, 64, 64);  // the configuration names it too: it stays
    ASSERT_EQ(Run({"installfrompath", "device"}).exitCode, 0);

    struct Case
    {
        const char* targets;
        const char* package;
        uint32_t format, wallWidth, wallHeight;
    } cases[] = {
        {"dxtc", "pkgdxtc", 10, 256, 192}, {"android;etc1", "pkgetc", 28, 256, 192}, {"ios", "pkgios", 23, 128, 128}};
    std::map<std::string, std::string> archives, roofs;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.targets);
        RunResult r = Run({"export-package", c.targets, c.package, kuid});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, kOK);
        const std::string folder = std::string("UserData/packages/") + c.package + "/";
        archives[c.package] = root_.ReadFile(folder + c.package + ".cdp");
        ContentArchive archive;
        Orvo::String result;
        ASSERT_TRUE(archive.Load(result, "", root_.Path(folder + c.package + ".cdp"))) << result.c_str();
        ASSERT_EQ(archive.GetAssetCount(), 1u);
        const TDBTagRef entry = archive.GetAssetAt(0);
        EXPECT_EQ(KUID::ToText(entry.GetChildKUID("kuid")).str(), kuid);
        const TDBTagRef files = GetArchiveEntryFiles(entry);
        std::vector<std::string> names;
        for (size_t i = 0; i < files.GetChildCount(); ++i) names.push_back(files.GetChildName(i).str());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"roof.texture", "roof.texture.txt", "shared.png", "shared.texture",
                                                   "shared.texture.txt", "wall.texture", "wall.texture.txt"}));
        auto bytes = [&](const char* name) {
            const ACSRawDataCore* d = files.GetChild(name).GetData();
            return d ? std::string(reinterpret_cast<const char*>(d->GetBytes()), d->GetByteSize()) : std::string();
        };
        Compiled roof, wall;
        ASSERT_TRUE(ReadCompiled(bytes("roof.texture"), roof));
        ASSERT_TRUE(ReadCompiled(bytes("wall.texture"), wall));
        EXPECT_EQ(roof.format, c.format);
        EXPECT_EQ(wall.format, c.format);
        EXPECT_EQ(wall.width, c.wallWidth);
        EXPECT_EQ(wall.height, c.wallHeight);
        // The archive holds the package's device copy.
        EXPECT_EQ(bytes("roof.texture"), root_.ReadFile(folder + "kuid 900002 8/roof.texture"));
        EXPECT_FALSE(root_.Exists(folder + "kuid 900002 8/roof.png"));
        roofs[c.package] = bytes("roof.texture");
    }
    EXPECT_NE(archives["pkgdxtc"], archives["pkgetc"]);
    EXPECT_NE(roofs["pkgdxtc"], roofs["pkgetc"]);
    EXPECT_NE(roofs["pkgetc"], roofs["pkgios"]);
    // The installed asset keeps its pictures and its desktop textures.
    EXPECT_TRUE(root_.Exists("UserData/local/kuid 900002 8/roof.png"));
    Compiled desktop;
    ASSERT_TRUE(ReadCompiled(root_.ReadFile("UserData/local/kuid 900002 8/roof.texture"), desktop));
    EXPECT_EQ(desktop.format, 10u);

    for (const char* targets : {"atc;ios", "pvrtc;dxtc;ATC"})
    {
        SCOPED_TRACE(targets);
        const size_t hosts = HostsRegistered(root_);
        RunResult refused = Run({"export-package", targets, "pkgboth", kuid});
        EXPECT_EQ(refused.exitCode, 255);
        EXPECT_EQ(refused.out,
                  Failed(std::string("The texture targets \"atc\" and \"") + (targets[0] == 'a' ? "ios" : "pvrtc") +
                         "\" cannot be served by one package: a texture is either ATC or PVRTC. Export a "
                         "package for each."));
        EXPECT_FALSE(root_.Exists("UserData/packages/pkgboth"));
        EXPECT_EQ(HostsRegistered(root_), hosts);
    }
}

}  // namespace
}  // namespace e2e
