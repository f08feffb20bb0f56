#include "textures/TextureFormatChoice.h"

#include "engine/Options.h"
#include "engine/TextureDescription.h"
#include "textures/TextureTargets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case
{
    const char* name;
    const char* targets;
    const char* options;
    uint8_t alphaHint;
    uint32_t kind;
    uint32_t width, height;
    TextureFormatPick expected;
    bool normalMap = false;
    bool force = false;
};

}  // namespace

TEST(TextureFormatChoiceTest, FormatDecision)
{
    const Case cases[] = {
        {"dxt1 opaque", "velmar;dxtc", "-Compression=auto", 0, 4, 512, 512, {10, false}},
        {"dxt5 full alpha", "velmar;dxtc", "-Compression=auto", 1, 4, 512, 512, {12, true}},
        {"dxt1 1-bit alpha", "velmar;dxtc", "-Compression=auto", 2, 4, 512, 512, {10, true}},
        {"normal map mask becomes full", "velmar;dxtc", "-Compression=auto", 2, 4, 512, 512, {12, true}, true},
        {"small opaque", "dxtc", "-Compression=auto", 0, 4, 48, 48, {3, false}},
        {"small alpha", "dxtc", "-Compression=auto", 1, 4, 48, 48, {1, true}},
        {"not a multiple of 4", "dxtc", "-Compression=auto", 0, 4, 102, 64, {3, false}},
        {"kind dxt3", "dxtc", "-Compression=auto", 0, 2, 64, 64, {11, true}},
        {"kind none", "dxtc", "-Compression=auto", 1, 0, 64, 64, {1, true}},
        {"atc opaque", "atc", "-Compression=auto", 0, 4, 64, 64, {25, false}},
        {"atc kind 1 alpha", "atc;dxtc", "-Compression=auto", 1, 1, 64, 64, {26, true}},
        {"etc1 opaque", "etc1", "-Compression=auto", 0, 4, 8, 8, {28, false}},
        {"etc1 alpha", "etc1", "-Compression=auto", 1, 4, 8, 8, {1, true}},
        {"pvrtc opaque", "pvrtc", "-Compression=auto", 0, 4, 64, 64, {23, false}},
        {"ios alpha", "ios", "-Compression=auto", 1, 4, 64, 64, {24, true}},
        {"table slots", "dxtc", "-Compression=DXT1,dxt3,DXT5", 2, 4, 64, 64, {11, true}},
        {"unknown value keeps its slot", "dxtc", "-Compression=bogus,dxt1a,dxt5", 0, 4, 64, 64, {1, true}},
        {"no hint", "dxtc", "-Compression=auto", kAlphaHintNone, 4, 64, 64, {1, true}},
        {"forced table beats kind", "dxtc", "-Compression=dxt5 -forceOptions", 0, 1, 64, 64, {12, true}, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const PStringArray targets = ParseTextureTargetList(c.targets);
        Orvo::Options options(c.options);
        TextureFormatInputs in;
        in.targets = &targets;
        in.options = &options;
        in.alphaHint = c.alphaHint;
        in.compressionKind = c.kind;
        in.normalMapHint = c.normalMap;
        in.forceOptions = c.force;
        in.width = c.width;
        in.height = c.height;
        EXPECT_EQ(ChooseTextureFormat(in), c.expected);
    }
}

TEST(TextureFormatChoiceTest, SizeLimits)
{
    struct SizeCase
    {
        const char* name;
        const char* targets;
        const char* description;
        uint32_t kind, width, height, expectWidth, expectHeight;
    } cases[] = {
        {"android dxtc", "android;dxtc", "", 4, 2048, 1024, 512, 256},
        {"android velmar bias -1", "android;velmar;dxtc", "AndroidVelmarMaxTextureBias=-1", 4, 2048, 1024, 256, 128},
        {"android bias +1", "android;velmar", "AndroidVelmarMaxTextureBias=1", 4, 2048, 2048, 512, 512},
        // A shift by 40 was undefined; it is now bounded and the limits stay within 1..16384.
        {"huge bias", "android;velmar", "AndroidVelmarMaxTextureBias=40", 4, 4096, 4096, 4096, 4096},
        {"huge negative bias", "android;velmar", "AndroidVelmarMaxTextureBias=-40", 4, 64, 32, 1, 1},
        {"size cap", "android;qkbl;dxtc", "AndroidQKBLMaxTextureSize=128", 4, 1024, 512, 128, 64},
        {"zero size ignored", "android;pilot", "AndroidPilotMaxTextureSize=0", 4, 1024, 512, 256, 128},
        {"no family, no keys", "android", "AndroidVelmarMaxTextureBias=-3", 4, 1024, 1024, 256, 256},
        {"pvrtc squares", "pvrtc", "", 4, 256, 64, 64, 64},
        {"pvrtc uncompressed keeps shape", "pvrtc", "", 0, 256, 64, 256, 64},
        // Sides a power of two apart are squared by halving the larger; other pictures become the square of
        // the largest power of two not above their smaller side (halving both sides would end at 1 x 1).
        {"pvrtc halving squares", "pvrtc", "", 4, 2048, 1024, 1024, 1024},
        // PVRTC1 takes power-of-two squares only: a side that is none comes down to the next power of two.
        {"pvrtc halving squares, odd", "pvrtc", "", 4, 300, 75, 64, 64},
        {"pvrtc square, no power of two", "pvrtc", "", 4, 300, 300, 256, 256},
        {"pvrtc odd square", "pvrtc", "", 4, 1023, 1023, 512, 512},
        {"pvrtc uncompressed square keeps its size", "pvrtc", "", 0, 300, 300, 300, 300},
        {"pvrtc below 8 keeps its size", "pvrtc", "", 4, 6, 6, 6, 6},
        {"pvrtc limit no power of two", "android;velmar;pvrtc", "AndroidVelmarMaxTextureSize=200", 4, 512, 512, 128,
         128},
        {"pvrtc 4:3", "pvrtc", "", 4, 2048, 1536, 1024, 1024},
        {"pvrtc 4:3 upright", "pvrtc", "", 4, 768, 1024, 512, 512},
        {"pvrtc 16:9", "pvrtc", "", 4, 2560, 1440, 1024, 1024},
        {"ios 4:3 within its limits", "ios", "", 4, 1024, 768, 256, 256},
        {"ios 16:9 within its limits", "ios", "", 4, 2560, 1440, 256, 256},
        {"ios small 3:2", "ios", "", 4, 96, 64, 64, 64},
        {"desktop", "velmar;dxtc", "", 4, 4096, 1024, 2048, 512},
    };
    for (const SizeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const PStringArray targets = ParseTextureTargetList(c.targets);
        Orvo::TextureDescription d;
        std::string error;
        ASSERT_TRUE(d.Parse(c.description, error));
        TextureSizeLimits limits = TargetSizeLimits(targets);
        ApplyAndroidLimits(targets, d.Texture(), limits);
        uint32_t w = c.width, h = c.height;
        FitTextureSize(targets, c.kind, limits, w, h);
        EXPECT_EQ(w, c.expectWidth);
        EXPECT_EQ(h, c.expectHeight);
    }
}

TEST(TextureFormatChoiceTest, TargetListText)
{
    // Names are lower-cased, aliased and trimmed of blanks (only blanks); unknown names pass as they are; an
    // empty name ends the list.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"Velmar; DXTC", {"velmar", "dxtc"}},
        {"S3TC;etc", {"dxtc", "etc1"}},
        {"  atc  ;ETC1;pvrtc;s3tc;dxtc", {"atc", "etc1", "pvrtc", "dxtc", "dxtc"}},
        {"\tios ;Made-Up", {"\tios", "made-up"}},
        {"", {}},
        {";dxtc", {}},
        {"   ;dxtc", {}},
        {"dxtc;;etc1", {"dxtc"}},
        {"dxtc;", {"dxtc"}},
    };
    for (const auto& [text, names] : cases)
    {
        std::vector<std::string> parsed;
        for (const Orvo::PString& name : ParseTextureTargetList(text)) parsed.push_back(name.str());
        EXPECT_EQ(parsed, names) << text;
    }
    const PStringArray list = ParseTextureTargetList("S3TC;etc");
    EXPECT_EQ(FormatTextureTargetList(list), "dxtc; etc1");
    EXPECT_EQ(ParseTextureTargetList(FormatTextureTargetList(list)), list);
    EXPECT_TRUE(TextureTargetListHas(list, "DXTC"));
    EXPECT_FALSE(TextureTargetListHas(list, "atc"));
    EXPECT_FALSE(TextureTargetListHas(PStringArray(), "dxtc"));
}
