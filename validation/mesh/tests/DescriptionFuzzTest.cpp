// Damaged texture descriptions, made by seeded random edits of good ones: whatever they hold, the texture
// folder check ends with findings of its own keys, each once, and a result that says whether it found
// anything. VELMAR_FUZZ_ITERATIONS runs a longer campaign, VELMAR_FUZZ_SEED another one.
#include "engine/Bitmap.h"
#include "validation/mesh/TextureFolderCheck.h"
#include "validation/tests/ValidationTestSupport.h"

#include <random>

namespace validation_test {
namespace {

const char* const kPieces[] = {"Primary=", "Alpha=", "primary = ", "brick.tga", "alpha.tga", "flat.tga", "odd.tga",
                               "gone.tga", "../",    "/",          "\\",        "\r",        "\n",       "\xE9",
                               "\xC3\xA9", ";",      "//",         "=",         "Tile=st",   "Hint=none"};

std::string Mutate(std::string text, std::mt19937& rng)
{
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const int edits = 1 + static_cast<int>(rng() % 5);
    for (int e = 0; e < edits; ++e)
    {
        switch (rng() % 6)
        {
        case 0:  // flip a byte
            if (!text.empty()) text[pick(text.size())] ^= static_cast<char>(1 + rng() % 255);
            break;
        case 1:  // cut the text short
            text.resize(pick(text.size() + 1));
            break;
        case 2:  // a piece of a description anywhere
            text.insert(pick(text.size() + 1), kPieces[pick(std::size(kPieces))]);
            break;
        case 3:  // a NUL byte anywhere
            text.insert(pick(text.size() + 1), 1, '\0');
            break;
        case 4:  // a long line
            text.insert(pick(text.size() + 1), std::string(400 + pick(300), 'x'));
            break;
        default:  // a whole line naming an image
            text += std::string(rng() % 2 ? "Primary=" : "Alpha=") + kPieces[3 + pick(5)] + "\n";
            break;
        }
    }
    return text;
}

using DescriptionFuzzTest = ValidationTest;

TEST_F(DescriptionFuzzTest, DamagedDescriptionsGiveTheirFindingsOnce)
{
    UseOurTemplates();
    const auto image = [&](const std::string& name, uint32_t w, uint32_t h, bool uniform) {
        Orvo::Bitmap bitmap(w, h, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < h && !uniform; ++y)
            for (uint32_t x = 0; x < w; ++x) bitmap.Row(y)[x * 4] = uint8_t(x + y);
        ASSERT_TRUE(bitmap.Save(AssetFolder() + name));
    };
    fs::create_directories(AssetFolder());
    image("brick.tga", 8, 8, false);
    image("alpha.tga", 16, 8, false);
    image("flat.tga", 16, 16, true);
    image("odd.tga", 12, 8, false);
    const std::string seeds[] = {"Primary=brick.tga\n", "Primary=brick.tga\r\nAlpha=alpha.tga\r\nTile=st\r\n",
                                 "; a wall\nPrimary=flat.tga\nAlpha=odd.tga\n"};
    const std::set<std::string> keys = {"$tet_non_ansi_texture",         "$tet_texture_failedload",
                                        "$tet_texture_missing_primary",  "$tet_texture_missing_alpha",
                                        "$tet_texture_notpower2",        "$tet_texture_uniformcolor",
                                        "$tet_primaryalpha_notsamesize", "$tet_binary_texture_conversion_failed"};
    Manager().SetInstalledSource(true);
    TETLib::ErrorHandler* handler = &errors_;

    const char* env = std::getenv("VELMAR_FUZZ_ITERATIONS");
    const int iterations = env != nullptr ? std::atoi(env) : 600;
    const char* seed = std::getenv("VELMAR_FUZZ_SEED");
    std::mt19937 rng(seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20260608u);
    for (int i = 0; i < iterations; ++i)
    {
        const std::string text = Mutate(seeds[rng() % std::size(seeds)], rng);
        ASSERT_TRUE(Orvo::File::WriteFile(AssetFolder() + "wall.texture.txt", text));
        handler->ClearMessages();
        const bool clean = TETLib::CheckTextureFolder(Manager(), AssetFolder(), AssetFolder());
        std::set<std::string> seen;
        for (const TETLib::ValidationMessage* m : handler->GetMessages())
        {
            const std::string line = m->text.str();
            ASSERT_TRUE(keys.count(line.substr(0, line.find(' ')))) << "iteration " << i << ": " << line;
            ASSERT_TRUE(seen.insert(line).second) << "iteration " << i << ": twice " << line;
        }
        // The compiled texture is never there, so an installed asset's description always has a finding.
        ASSERT_FALSE(clean) << "iteration " << i;
        ASSERT_FALSE(seen.empty()) << "iteration " << i;
    }
}

}  // namespace
}  // namespace validation_test
