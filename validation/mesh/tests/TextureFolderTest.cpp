// The texture folder check through assets of our kinds: what the corpus's mutated copies do not show
// (tests/e2e/ValidationCorpusE2ETest.cpp): build gates, names in any case or outside the folder, descriptions
// the compiler cannot read, folders, links, the order of the findings, files left open.
#include "engine/Bitmap.h"
#include "validation/AssetHead.h"
#include "validation/mesh/MeshChecks.h"
#include "validation/mesh/TextureFolderCheck.h"
#include "validation/tests/ValidationTestSupport.h"

#include <dirent.h>

#include <functional>

namespace validation_test {
namespace {

class TextureFolderTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        UseOurTemplates();
        UsePlugins(TETLib::RegisterMeshChecks);
    }
    // An image of w x h pixels in the asset folder: a pattern, or one colour.
    void Image(const std::string& name, uint32_t w, uint32_t h, bool uniform = false)
    {
        Orvo::Bitmap image(w, h, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < h && !uniform; ++y)
            for (uint32_t x = 0; x < w; ++x) image.Row(y)[x * 4 + 1] = uint8_t(x * 16 + y);
        fs::create_directories(fs::path(AssetFolder() + name).parent_path());
        ASSERT_TRUE(image.Save(AssetFolder() + name));
    }
    // A texture asset whose own texture is well formed; `files` adds what the case is about.
    std::vector<std::string> ValidateTexture(const std::function<void()>& files, const std::string& build = "3.7")
    {
        fs::remove_all(AssetFolder());
        Image("brick.tga", 8, 8);
        WriteFile("asset/brick.texture.txt", "Primary=brick.tga\nTile=st\n");
        WriteFile("asset/brick.texture", "compiled");
        files();
        return Validate(Head("texture", build) + "texture \"brick.texture\"\n");
    }
};

TEST_F(TextureFolderTest, FindingsOfCompiledTexturesDescriptionsAndImages)
{
    const struct
    {
        const char* name;
        std::function<void()> files;
        std::vector<std::string> findings;
        std::string build = "3.7";
    } cases[] = {
        {"well formed", [] {}, {}},
        {"a compiled texture without its description, in an old asset",
         [&] { WriteFile("asset/stale.texture", "x"); },
         {"! $tet_obsolete_asset LOWEST_VELMARBUILD=2.9", "! $tet_duplicatetexture FILE=stale.texture"},
         "2.8"},
        {"missing primary, named as written",
         [&] { WriteFile("asset/sub/wall.texture.txt", "Primary=Missing.TGA\n"); },
         {"- $tet_texture_missing_primary FILE=sub/wall.texture.txt TEXTURE=sub/Missing.TGA"}},
        {"missing primary, alpha there",
         [&] {
             Image("alpha.tga", 8, 8);
             WriteFile("asset/wall.texture.txt", "Primary=gone.tga\nAlpha=alpha.tga\n");
         },
         {"- $tet_texture_missing_primary FILE=wall.texture.txt TEXTURE=gone.tga"}},
        {"names in any case", [&] { WriteFile("asset/wall.texture.txt", "primary=BRICK.tga\nALPHA=Brick.TGA\n"); }, {}},
        {"uniform 8 x 8 from 3.6",
         [&] {
             Image("flat.tga", 8, 8, true);
             WriteFile("asset/wall.texture.txt", "Primary=flat.tga\n");
         },
         {"! $tet_texture_uniformcolor FILE=flat.tga"},
         "3.6"},
        {"an image that does not load stops the description",
         [&] {
             WriteFile("asset/bad.tga", "not an image");
             WriteFile("asset/wall.texture.txt", "Primary=bad.tga\nAlpha=gone.tga\n");
         },
         {"- $tet_texture_failedload FILE=bad.tga"}},
        {"an image outside the folder",
         [&] { WriteFile("asset/sub/wall.texture.txt", "Primary=../brick.tga\n"); },
         {"- $tet_texture_failedload FILE=sub/../brick.tga"}},
        {"a description the compiler cannot read",
         [&] { WriteFile("asset/wall.texture.txt", "Primary=brick.tga\n" + std::string(600, 'x') + "\n"); },
         {"- $tet_texture_failedload FILE=wall.texture.txt"}},
        // A folder is walked, then its own name is taken like a file's: where the compiler looks.
        {"folders named like texture files are walked, then taken as texture files",
         [&] {
             fs::create_directories(AssetFolder() + "odd.texture.txt/inner.texture");
             fs::create_directories(AssetFolder() + "leftover.convert-tex.txt");
         },
         {"- $tet_texture_failedload FILE=leftover.convert-tex.txt",
          "- $tet_duplicatetexture FILE=odd.texture.txt/inner.texture",
          "- $tet_texture_failedload FILE=odd.texture.txt"}},
        {"a folder named like a compiled texture with its description beside it",
         [&] {
             fs::create_directories(AssetFolder() + "wall.texture/parts");
             WriteFile("asset/wall.texture.txt", "Primary=brick.tga\n");
         },
         {}},
        {"a link back up the tree is not followed",
         [&] {
             WriteFile("asset/stale.texture", "x");
             fs::create_directory_symlink(AssetFolder(), AssetFolder() + "loop");
         },
         {"- $tet_duplicatetexture FILE=stale.texture"}},
        {"findings in the order of the names, folders among files",
         [&] {
             WriteFile("asset/b.texture", "x");
             WriteFile("asset/a/c.texture", "x");
             WriteFile("asset/a.convert-tex.txt", "x");
             WriteFile("asset/C.texture", "x");
         },
         {"- $tet_duplicatetexture FILE=C.texture", "- $tet_duplicatetexture FILE=a/c.texture",
          "- $tet_texture_failedload FILE=a.convert-tex.txt", "- $tet_duplicatetexture FILE=b.texture"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ValidateTexture(c.files, c.build), c.findings) << c.name;
}

TEST_F(TextureFolderTest, AnAssetNamingAMeshAssetIsNotAskedForDescriptions)
{
    // The mesh asset's compiled textures come without descriptions: a lone one is not reported, and its
    // own mesh file is not loaded here. The flag lasts for that configuration only.
    WriteFile("asset/stale.texture", "x");
    const std::string chunky = Head("chunky-track") + "chunky_mesh \"chunk.im\"\n";
    const std::vector<std::string> alone = {"- $tet_mesh_load_mesh FILE=chunk.im",
                                            "- $tet_duplicatetexture FILE=stale.texture"};
    EXPECT_EQ(Validate(chunky), alone);
    EXPECT_EQ(Validate(chunky + "mesh-asset <kuid:900001:7>\n"), std::vector<std::string>());
    EXPECT_EQ(Validate(chunky), alone);
}

size_t OpenFiles()
{
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/fd"))
    {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

TEST_F(TextureFolderTest, InstalledAssetsNeedTheirCompiledTexturesAndNoFileStaysOpen)
{
    Image("brick.tga", 8, 8);
    WriteFile("asset/config.txt", Head("texture") + "texture \"brick.texture\"\n");
    WriteFile("asset/brick.texture.txt", "Primary=brick.tga\n");
    WriteFile("asset/bad.tga", "not an image");
    WriteFile("asset/wall.texture.txt", "Primary=bad.tga\n");
    ResultsLog log;
    TETLib::Container root(Manager());
    ASSERT_TRUE(TETLib::CheckAssetHead(Orvo::PString("local"), AssetFolder() + "config.txt", log, root));
    errors_.ClearMessages();
    Manager().SetInstalledSource(true);

    const size_t before = OpenFiles();
    EXPECT_FALSE(TETLib::CheckTextureFolder(Manager(), AssetFolder(), AssetFolder()));
    EXPECT_EQ(OpenFiles(), before);
    std::vector<std::string> texts;
    for (const TETLib::ValidationMessage* m : errors_.GetMessages()) texts.push_back(m->text.str());
    EXPECT_EQ(texts, (std::vector<std::string>{"$tet_binary_texture_conversion_failed FILE=brick.texture.txt",
                                               "$tet_texture_failedload FILE=bad.tga"}));

    // An empty folder, or one that cannot be listed, passes.
    fs::create_directories(root_ + "/empty");
    EXPECT_TRUE(TETLib::CheckTextureFolder(Manager(), root_ + "/empty/", root_ + "/empty/"));
    EXPECT_TRUE(TETLib::CheckTextureFolder(Manager(), root_ + "/none/", root_ + "/none/"));
}

}  // namespace
}  // namespace validation_test
