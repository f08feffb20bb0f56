// A command that reads many files in one run writes no output over any of them, whichever comes first: the output is
// refused naming both, its item fails, the others are done, and the summary counts the failure.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace e2e {
namespace {

namespace fs = std::filesystem;
using KeptInputsE2E = DaemonRootTest;

TEST_F(KeptInputsE2E, NoOutputIsWrittenOverAFileTheRunReads)
{
    // compresstexture: a.texture.txt over a.tga (64 pixels), b.texture.txt over b.png (128: converted before a, or
    // 32: after), and b.texture a second name of what a's conversion reads or writes.
    for (const auto& [input, bSide] :
         std::vector<std::pair<std::string, uint32_t>>{{"a.texture.txt", 128}, {"a.tga", 32}, {"a.texture", 32}})
    {
        SCOPED_TRACE(input);
        const std::string tree = "UserData/editing/kept-" + input, folder = root_.Path(tree) + "/";
        root_.WriteFile(tree + "/a.texture.txt", "Primary=a.tga\n");
        root_.WriteFile(tree + "/b.texture.txt", "Primary=b.png\n");
        ASSERT_TRUE(WritePicture(folder + "a.tga", 64) && WritePicture(folder + "b.png", bSide));
        root_.WriteFile(tree + "/a.texture", "earlier");
        const std::string before = ReadWholeFile(folder + input);
        fs::create_hard_link(folder + input, folder + "b.texture");

        const RunResult r = Run({"compresstexture", folder});
        EXPECT_EQ(r.exitCode, 255);
        const std::string refused = "- NULLKUID : Unable to write output file '" + folder +
                                    "b.texture'\n; NULLKUID : the file cannot be written: it is '" + folder + input +
                                    "'";
        EXPECT_TRUE(r.out.starts_with(refused) && r.out.ends_with("\nOK (1 Errors, 0 Warnings)\n")) << r.out;
        EXPECT_TRUE(IsCompiledTexture(folder + "a.texture")) << "a is converted";
        EXPECT_TRUE(input == "a.texture" || ReadWholeFile(folder + input) == before) << "the input is as it was";
        EXPECT_EQ(Run({"compresstexture", folder}).out, r.out);  // the next run finds the same and fails the same
    }

    // dlsparsefolder: the archive of asset 1, exported first, is a second name of a file of asset 2's folder.
    for (const char* asset : {"1", "2"})
    {
        root_.WriteFile(std::string("work/up/a") + asset + "/config.txt",
                        std::string("kuid <kuid:760:") + asset + ">\nkind \"scenery\"\ncategory-class \"BD\"\n" +
                            "username \"A" + asset + "\"\n");
        root_.WriteFile(std::string("work/up/a") + asset + "/data.bin", std::string("the data of a") + asset);
    }
    const std::string type = "UserData/dls-parse/VELMAR2010-Builtin/buildingsstructures/";
    const std::string archive = root_.Path(type + "760_1.cdp"), source = root_.Path("work/up/a2/data.bin");
    fs::create_directories(root_.Path(type));
    fs::create_hard_link(source, archive);

    const RunResult r = Run({"dlsparsefolder", root_.Path("work/up")});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "- <kuid:760:1> : Failed to save asset cdp : Unable to write archive file: " + archive +
                         " (it is '" + source + "', a file of the asset folder '" + root_.Path("work/up/a2") +
                         "' this export reads)\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(root_.ReadFile("work/up/a2/data.bin"), "the data of a2") << "the source is as it was";
    EXPECT_EQ(root_.ReadFile(type + "760_2.cdp").rfind("ACS$", 0), 0u) << "the other asset is exported";
}

}  // namespace
}  // namespace e2e
