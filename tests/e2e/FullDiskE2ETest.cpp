// A full disk: UserData on a small tmpfs (mounted in a mount namespace of the run's own, with the tool and the
// daemon it starts inside it), and "installfrompath" of a folder of assets that do not all fit. Each asset gets
// one verdict, installed or not, and a write error names the file that was being written, never the folder the
// asset came from.
#include "E2EFixture.h"

#include "engine/Bitmap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Runs `commands` (sh) in a mount namespace of their own whose UserData is a tmpfs of `size`; "$R" is the root.
// The daemon the tool starts there is closed at the end, while its UserData is still mounted.
RunResult OnSmallDisk(const InstallRoot& root, const std::string& size, const std::string& commands)
{
    const std::string script = "R=\"$1\"\n"
                               "mount -t tmpfs -o size=" +
                               size + " tmpfs \"$R/UserData\" || exit " + std::to_string(kMountRefused) + "\n" +
                               commands +
                               "\n\"$R/bin/VelmarUtil\" closevaddaemon >/dev/null 2>&1\n"
                               "exit 0\n";
    RunOptions options = RunOptions::In(root.Path("work"));
    options.timeoutMs = 120000;
    return RunInMountNamespace(script, {root.Root()}, options);
}

// The verdicts said about each asset: "installed" (also a warning that it is installed with uncompiled
// textures) or "not installed".
std::map<std::string, std::vector<std::string>> Verdicts(const std::string& out)
{
    static const std::regex installed(R"(^[+!] (<kuid:[0-9:]+>) : Asset \1 (was installed\.|is installed with .*)$)");
    static const std::regex failed(R"(^- (<kuid:[0-9:]+>) : Asset \1 could not be installed: .*$)");
    std::map<std::string, std::vector<std::string>> verdicts;
    std::smatch m;
    for (const std::string& line : Lines(out))
    {
        if (std::regex_match(line, m, installed))
            verdicts[m[1]].push_back("installed");
        else if (std::regex_match(line, m, failed))
            verdicts[m[1]].push_back("not installed");
    }
    return verdicts;
}

class FullDiskE2E : public testing::Test
{
protected:
    void SetUp() override { fs::create_directories(root_.Path("work")); }
    // An asset folder below "work/assets"; `bytes` of filler in "terrain.bin" when not 0, and the sample brick
    // texture (description and picture) when `textured`.
    void Asset(const std::string& name, int id, size_t bytes, bool textured)
    {
        const std::string folder = "work/assets/" + name;
        root_.WriteFile(folder + "/config.txt", "kuid <kuid:900078:" + std::to_string(id) + ">\nkind \"texture\"\n" +
                                                    "username \"" + name + "\"\nvelmar-build 3.7\n" +
                                                    "category-class \"TX\"\n" +
                                                    (textured ? "texture \"brick.texture\"\n" : ""));
        if (bytes != 0) root_.WriteFile(folder + "/terrain.bin", std::string(bytes, 't'));
        if (textured)
            for (const char* file : {"brick.tga", "brick.texture.txt"})
                fs::copy_file(InstallRoot::SamplesDir() + "/brick-texture/" + file, root_.Path(folder + "/" + file));
    }

    InstallRoot root_;
};

TEST_F(FullDiskE2E, InstallFromPathGivesEachAssetOneVerdictAndNamesTheFileItCouldNotWrite)
{
    Asset("a-small", 1, 0, false);
    Asset("b-large", 2, 2 << 20, false);          // larger than the disk
    Asset("c-large-textured", 3, 2 << 20, true);  // ... and its textures cannot be copied to be compiled
    Asset("d-textured", 4, 0, true);
    const std::string local = root_.Path("UserData/local/");
    const RunResult r = OnSmallDisk(root_, "1m",
                                    "\"$R/bin/VelmarUtil\" installfrompath assets\n"
                                    "echo \"exit $?\"\n"
                                    "echo '== left'; ls -A \"$R/UserData/local\" \"$R/UserData/local/kuid 900078 4\"");
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a small tmpfs in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

    const std::map<std::string, std::vector<std::string>> expected = {
        {"<kuid:900078:1>", {"installed"}},
        {"<kuid:900078:2>", {"not installed"}},
        {"<kuid:900078:3>", {"not installed"}},
        {"<kuid:900078:4>", {"installed"}},
    };
    EXPECT_EQ(Verdicts(r.out), expected) << r.out;
    EXPECT_NE(r.out.find("OK (2 Errors, 1 Warnings)\nexit "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("was not installed"), std::string::npos) << r.out;

    // The errors name the files written below UserData, not the asset's own folder.
    for (const int id : {2, 3})
    {
        const std::string kuid = "<kuid:900078:" + std::to_string(id) + ">";
        EXPECT_NE(r.out.find("- " + kuid + " : Asset " + kuid + " could not be installed: writing '" + local +
                             ".vadtmp-kuid 900078 " + std::to_string(id) +
                             "/terrain.bin' failed: No space left on device\n"),
                  std::string::npos)
            << r.out;
    }
    const std::regex copyForTextures(
        "(?:^|\n)! <kuid:900078:3> : The textures of asset <kuid:900078:3> were not compiled: "
        "the copy to compile them in could not be made \\(writing '" +
        root_.Path("UserData/cache/textures-") +
        "[0-9]+-[0-9]+\\.staging/[0-9]+/terrain\\.bin' failed: No space left on device\\)\\.\n");
    EXPECT_TRUE(std::regex_search(r.out, copyForTextures)) << r.out;
    EXPECT_EQ(r.out.find("'" + root_.Path("work/assets")), std::string::npos) << r.out;

    // What was installed is whole, with its compiled texture; nothing half-written is left.
    const std::string left = r.out.substr(r.out.find("== left"));
    for (const char* name : {"kuid 900078 1\n", "kuid 900078 4\n", "brick.texture\n"})
        EXPECT_NE(left.find(name), std::string::npos) << name << left;
    for (const char* name : {"kuid 900078 2", "kuid 900078 3", ".vad"})
        EXPECT_EQ(left.find(name), std::string::npos) << name << left;
}

// A compiled texture larger than the disk: the texture-convert job's write error names the file it was writing
// (in the copy it compiles), and the asset, installed without it, is said to be installed once.
TEST_F(FullDiskE2E, ATextureThatCannotBeWrittenIsNamedWhereItWasBeingWritten)
{
    Asset("wall", 5, 0, false);
    const std::string folder = "work/assets/wall";
    root_.WriteFile(folder + "/config.txt", root_.ReadFile(folder + "/config.txt") + "texture \"wall.texture\"\n");
    // A picture that packs small and compiles to more than the disk holds.
    Orvo::Bitmap picture(1024, 1024, Orvo::Bitmap::FormatARGB32);
    for (uint32_t y = 0; y < 1024; ++y)
        for (uint32_t x = 0; x < 1024; ++x)
        {
            uint8_t* p = picture.Row(y) + x * 4;
            p[0] = uint8_t(x / 4);
            p[1] = 90;
            p[2] = 160;
            p[3] = uint8_t(y / 4);
        }
    ASSERT_TRUE(picture.Save(root_.Path(folder + "/wall.png")));
    root_.WriteFile(folder + "/wall.texture.txt", "Primary=wall.png\n");

    const RunResult r = OnSmallDisk(root_, "512k", "\"$R/bin/VelmarUtil\" installfrompath assets");
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a small tmpfs in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

    const std::string kuid = "<kuid:900078:5>";
    EXPECT_EQ(Verdicts(r.out), (std::map<std::string, std::vector<std::string>>{{kuid, {"installed", "installed"}}}))
        << r.out;
    const std::string copy = root_.Path("UserData/cache/textures-") + "[0-9]+-[0-9]+\\.staging/0/wall\\.texture";
    const std::regex written("^! " + kuid + " : Unable to write output file '" + copy + "'\n; " + kuid +
                             " : the file cannot be written: .*'" + copy + "': No space left on device\n! " + kuid +
                             " : Asset " + kuid + " is installed with textures that could not be compiled\\.\n\\+ " +
                             kuid + " : Asset " + kuid + " was installed\\.\nOK \\(0 Errors, 2 Warnings\\)\n$");
    EXPECT_TRUE(std::regex_match(r.out, written)) << r.out;
}

}  // namespace
}  // namespace e2e
