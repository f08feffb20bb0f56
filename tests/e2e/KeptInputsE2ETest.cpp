// A command that reads many files in one run writes none of its outputs over any of them, whatever name leads
// there and whichever comes first: "compresstexture" over the descriptions and pictures of its folder tree,
// "dlsparsefolder" over the files of the asset folders it exports. The output is refused naming both, its item
// fails, the others are done, and the summary counts the failure.
#include "E2EFixture.h"

#include "engine/Bitmap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;

class KeptInputsE2E : public DaemonRootTest
{
protected:
    // A description `name`.texture.txt over a picture of `side` x `side` pixels: a larger picture is converted
    // earlier.
    void AddTexture(const std::string& folder, const std::string& name, const std::string& picture, uint32_t side)
    {
        fs::create_directories(root_.Path(folder));
        Orvo::Bitmap b(side, side, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < side; ++y)
            for (uint32_t x = 0; x < side; ++x)
                for (int c = 0; c < 4; ++c) b.Row(y)[x * 4 + c] = uint8_t(x * 7 + y * 3 + c * 50);
        ASSERT_TRUE(b.Save(root_.Path(folder + "/" + picture)));
        root_.WriteFile(folder + "/" + name + ".texture.txt", "Primary=" + picture + "\n");
    }
    bool IsCompiled(const std::string& relative) const { return root_.ReadFile(relative).rfind("OIRF", 0) == 0; }
};

TEST_F(KeptInputsE2E, NoOutputIsWrittenOverAFileTheRunReads)
{
    // compresstexture: a.texture.txt over a.tga, b.texture.txt over b.png, and b.texture is a second name (or a
    // link) of a file that a's conversion reads or writes. Larger pictures are converted first: b before a, or after.
    // "$" stands for the folder.
    struct TextureCase
    {
        const char* name;
        const char* input;  // what b.texture leads to
        bool link;          // a symbolic link rather than a second name
        uint32_t bSide;     // 128: b is converted before a (64), 32: after
        const char* why;
    } textures[] = {
        {"description, b first", "a.texture.txt", false, 128,
         "it is '$/a.texture.txt', the description of a texture this conversion compiles"},
        {"description, b last", "a.texture.txt", false, 32,
         "it is '$/a.texture.txt', the description of a texture this conversion compiles"},
        {"picture, b first", "a.tga", false, 128, "it is '$/a.tga', which the texture '$/a.texture.txt' is made from"},
        {"picture, b last", "a.tga", false, 32, "it is '$/a.tga', which the texture '$/a.texture.txt' is made from"},
        {"picture by a link", "a.tga", true, 128, "it is '$/a.tga', which the texture '$/a.texture.txt' is made from"},
        {"a's compiled texture", "a.texture", false, 32,
         "it is '$/a.texture' too, which the texture '$/a.texture.txt' is compiled into"},
    };
    int n = 0;
    for (const TextureCase& c : textures)
    {
        SCOPED_TRACE(c.name);
        const std::string tree = "UserData/editing/kept" + std::to_string(n++), folder = root_.Path(tree);
        AddTexture(tree, "a", "a.tga", 64);
        AddTexture(tree, "b", "b.png", c.bSide);
        root_.WriteFile(tree + "/a.texture", "earlier");
        const std::string input = root_.ReadFile(tree + "/" + c.input);
        if (c.link)
            fs::create_symlink(c.input, folder + "/b.texture");
        else
            fs::create_hard_link(folder + "/" + c.input, folder + "/b.texture");
        std::string why = c.why;
        for (size_t at = why.find('$'); at != std::string::npos; at = why.find('$', at + folder.size()))
            why.replace(at, 1, folder);

        const RunResult r = Run({"compresstexture", folder});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, "- NULLKUID : Unable to write output file '" + folder +
                             "/b.texture'\n; NULLKUID : the file cannot be written: " + why +
                             "\nOK (1 Errors, 0 Warnings)\n");
        EXPECT_TRUE(IsCompiled(tree + "/a.texture")) << "a is converted";
        if (std::string(c.input) != "a.texture")
        {
            EXPECT_TRUE(root_.ReadFile(tree + "/" + c.input) == input) << "the input is as it was";
        }
        // The next run finds the same files and fails the same way.
        EXPECT_EQ(Run({"compresstexture", folder}).out, r.out);
    }

    // dlsparsefolder: the archive of one asset is a second name of a file of another asset's folder, exported
    // after it (the archive would be written before the file is read) or before it (after).
    struct ExportCase
    {
        const char* name;
        const char* archive;  // the asset whose archive it is
        const char* source;   // the asset folder whose file it is
    } exports[] = {{"archive first", "1", "a2"}, {"archive last", "2", "a1"}};
    int user = 760;
    for (const ExportCase& c : exports)
    {
        SCOPED_TRACE(c.name);
        const std::string up = "work/up" + std::to_string(user), u = std::to_string(user);
        for (const char* asset : {"1", "2"})
        {
            root_.WriteFile(up + "/a" + asset + "/config.txt",
                            "kuid <kuid:" + u + ":" + asset +
                                ">\nkind \"scenery\"\ncategory-class \"BD\"\nusername \"A" + asset + "\"\n");
            root_.WriteFile(up + "/a" + asset + "/data.bin", std::string("the data of a") + asset);
        }
        const std::string type = "UserData/dls-parse/VELMAR2010-Builtin/buildingsstructures/";
        const std::string archive = root_.Path(type + u + "_" + c.archive + ".cdp");
        const std::string source = root_.Path(up + "/" + c.source + "/data.bin");
        fs::create_directories(root_.Path(type));
        fs::create_hard_link(source, archive);
        const std::string data = root_.ReadFile(up + "/" + c.source + "/data.bin");

        const RunResult r = Run({"dlsparsefolder", root_.Path(up)});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, "- <kuid:" + u + ":" + c.archive +
                             "> : Failed to save asset cdp : Unable to write archive file: " + archive + " (it is '" +
                             source + "', a file of the asset folder '" + root_.Path(up + "/" + c.source) +
                             "' this export reads)\nOK (1 Errors, 0 Warnings)\n");
        EXPECT_TRUE(root_.ReadFile(up + "/" + c.source + "/data.bin") == data) << "the source is as it was";
        const std::string other = type + u + "_" + (c.archive[0] == '1' ? "2" : "1") + ".cdp";
        EXPECT_EQ(root_.ReadFile(other).rfind("ACS$", 0), 0u) << "the other asset is exported";
        ++user;
    }
}

}  // namespace
}  // namespace e2e
