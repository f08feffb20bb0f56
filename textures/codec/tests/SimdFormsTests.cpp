// The hot routines exist once per instruction set (SSE2, AVX2, AVX-512); every form must give the SSE2
// form's bytes, block by block on random and image blocks, and whole conversions must come out the same
// at every level the codecs may run at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "TestImages.h"
#include "textures/codec/AlphaBlock.h"
#include "textures/codec/CodecBuffer.h"
#include "textures/codec/DxtColorBlock.h"
#include "textures/codec/EtcBlock.h"
#include "textures/codec/FastDxtBlock.h"
#include "textures/codec/SimdLevel.h"

namespace {

const SimdLevel kHigherLevels[] = {SimdLevel::Avx2, SimdLevel::Avx512};

// Random blocks of several kinds: full-range noise, two extremes, narrow ranges (ties), few levels,
// one channel varying, near-flat.
std::vector<uint32_t> RandomBlocks(int blocks, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> texels(size_t(blocks) * 16);
    for (int b = 0; b < blocks; ++b)
    {
        const uint32_t base = rng();
        for (int i = 0; i < 16; ++i)
        {
            uint32_t t = 0;
            switch (b % 6)
            {
            case 0: t = rng(); break;
            case 1: t = rng() % 2 ? 0xFFFFFFFFu : 0xFF000000u; break;
            case 2: t = base + (rng() % 3) * 0x010101u; break;
            case 3: t = (rng() % 4) * 0x55555555u; break;
            case 4: t = (base & 0xFFFF00FFu) | (rng() % 256) << 8; break;
            default: t = i == int(base % 16) ? base ^ 0x030303u : base;
            }
            texels[size_t(b) * 16 + i] = t;
        }
    }
    return texels;
}

// The 4x4 blocks of an image, one after another.
std::vector<uint32_t> ImageBlocks(const std::vector<uint32_t>& img, int w, int h)
{
    std::vector<uint32_t> texels;
    for (int y = 0; y + 4 <= h; y += 4)
        for (int x = 0; x + 4 <= w; x += 4)
            for (int i = 0; i < 16; ++i) texels.push_back(img[size_t(y + i / 4) * w + x + i % 4]);
    return texels;
}

std::vector<uint32_t> TestBlocks()
{
    std::vector<uint32_t> all = RandomBlocks(6000, 17);
    const int n = 64;
    for (const std::vector<uint32_t>& img :
         {testimg::Textured(n, n), testimg::Gradient(n, n), testimg::NormalMap(n, n), testimg::Noise(n, n)})
    {
        const std::vector<uint32_t> blocks = ImageBlocks(img, n, n);
        all.insert(all.end(), blocks.begin(), blocks.end());
    }
    return all;
}

template <typename Encode>
void ExpectSameAsSse2(const char* what, int bytes, Encode encode)
{
    static const std::vector<uint32_t> blocks = TestBlocks();
    for (SimdLevel level : kHigherLevels)
    {
        if (ProcessorSimdLevel() < level)
        {
            std::printf("%s: %s form not run, the processor lacks it\n", what, SimdLevelName(level));
            continue;
        }
        for (size_t b = 0; b < blocks.size(); b += 16)
        {
            uint8_t expected[16] = {}, got[16] = {};
            encode(SimdLevel::Sse2, &blocks[b], expected);
            encode(level, &blocks[b], got);
            ASSERT_EQ(std::memcmp(expected, got, size_t(bytes)), 0)
                << what << " " << SimdLevelName(level) << " block " << b / 16;
        }
    }
}

}  // namespace

TEST(SimdForms, FastColourEncoder)
{
    ExpectSameAsSse2("FastColorSSE2", 8, [](SimdLevel level, const uint32_t* texels, uint8_t* block) {
        FastColorSSE2Form(level, texels, block);
    });
}

TEST(SimdForms, FastColourBlocksInBatchesAsOneByOne)
{
    // Rows of 20 blocks: one full batch of 16 and a short one of 4, through the codec's block loop.
    const int w = 80, h = 12;
    const std::vector<uint32_t> img = testimg::Textured(w, h, 8);
    const CodecOptions options = testimg::Options(2, true);
    const std::vector<uint8_t> blocks = testimg::Compress(img, w, h, CF_DXT1, &options);
    const std::vector<uint32_t> texels = ImageBlocks(img, w, h);
    for (size_t b = 0; b < texels.size() / 16; ++b)
    {
        uint8_t one[8];
        FastColorSSE2(&texels[16 * b], one);
        ASSERT_EQ(std::memcmp(one, &blocks[8 * b], 8), 0) << "block " << b;
    }
}

TEST(SimdForms, QualityColourEncoder)
{
    // The 3-colour and 4-colour fits, channel weights, DXT1 alpha, and the wider neighbour search.
    const float weights[3] = {0.3f, 0.55f, 0.15f};
    for (int variant = 0; variant < 4; ++variant)
    {
        ExpectSameAsSse2("CompressColorB", 8,
                         [variant, &weights](SimdLevel level, const uint32_t* texels, uint8_t* block) {
                             DxtColorRequest request;
                             request.allowThreeColor = variant != 1;
                             request.weights = variant == 2 ? weights : nullptr;
                             request.transparency = variant == 3;
                             request.alphaThreshold = 128.0f;
                             DxtColorSettings settings;
                             settings.refinementSteps = uint8_t(variant == 1 ? 2 : 1);
                             LimitCodecSimdLevel(level);
                             CompressColorB(texels, request, settings, block);
                             LimitCodecSimdLevel(SimdLevel::Avx512);
                         });
    }
}

TEST(SimdForms, QualityColourEncoderFromFloats)
{
    // The float entry sorts and merges its colours its own way before the shared fit; the 3-colour fit with
    // transparent texels and channel weights too.
    const float weights[3] = {0.2f, 0.7f, 0.1f};
    for (int variant = 0; variant < 3; ++variant)
    {
        ExpectSameAsSse2("CompressColorF", 8,
                         [variant, &weights](SimdLevel level, const uint32_t* texels, uint8_t* block) {
                             float f[64];
                             for (int i = 0; i < 16; ++i)
                                 for (int c = 0; c < 4; ++c)
                                     f[4 * i + c] = float((texels[i] >> (c == 3 ? 24 : 16 - 8 * c)) & 255) / 255.0f;
                             DxtColorRequest request;
                             request.allowThreeColor = true;
                             request.weights = variant == 1 ? weights : nullptr;
                             request.transparency = variant == 2;
                             request.alphaThreshold = 0.5f;
                             LimitCodecSimdLevel(level);
                             CompressColorF(f, request, DxtColorSettings(), block);
                             LimitCodecSimdLevel(SimdLevel::Avx512);
                         });
    }
}

TEST(SimdForms, InterpolatedAlphaEncoder)
{
    // Each channel of the test blocks as 16 alphas, as bytes and as floats.
    for (int shift : {24, 16, 8})
    {
        ExpectSameAsSse2("CompressInterpolatedAlpha", 8,
                         [shift](SimdLevel level, const uint32_t* texels, uint8_t* block) {
                             uint8_t alpha[16];
                             float values[16];
                             for (int i = 0; i < 16; ++i)
                                 alpha[i] = uint8_t(texels[i] >> shift), values[i] = float(alpha[i]) / 250.0f;
                             LimitCodecSimdLevel(level);
                             if (shift == 8)
                                 CompressInterpolatedAlphaF(values, true, block);
                             else
                                 CompressInterpolatedAlpha(alpha, true, block);
                             LimitCodecSimdLevel(SimdLevel::Avx512);
                         });
    }
}

TEST(SimdForms, EtcBlockEncoder)
{
    ExpectSameAsSse2("EtcCompressColor", 8, [](SimdLevel level, const uint32_t* texels, uint8_t* block) {
        LimitCodecSimdLevel(level);
        EtcCompressColor(texels, block);
        LimitCodecSimdLevel(SimdLevel::Avx512);
    });
}

TEST(SimdForms, ValueConversions)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> u8(999);
    std::vector<uint16_t> u16(999);
    std::vector<float> reals(999);
    for (size_t i = 0; i < reals.size(); ++i)
    {
        u8[i] = uint8_t(rng()), u16[i] = uint16_t(rng());
        reals[i] = float(int(rng() % 3000) - 1000) / 1000.0f;
    }
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              0.998039f,
                              1.0f / 510.0f,
                              -0.0f};
    std::copy(std::begin(specials), std::end(specials), reals.begin());
    struct Pair
    {
        ValueForm from, to;
        const void* src;
    } pairs[] = {{ValueForm::U8, ValueForm::Float, u8.data()},
                 {ValueForm::U16, ValueForm::Float, u16.data()},
                 {ValueForm::Float, ValueForm::U8, reals.data()},
                 {ValueForm::Float, ValueForm::U16, reals.data()}};
    for (const Pair& p : pairs)
    {
        const size_t bytes = reals.size() * ValueFormBytes(p.to);
        std::vector<uint8_t> expected(bytes), got(bytes);
        ConvertValues(p.from, p.src, p.to, expected.data(), reals.size());
        for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512})
        {
            if (ProcessorSimdLevel() < level) continue;
            ConvertValuesForm(level, p.from, p.src, p.to, got.data(), reals.size());
            EXPECT_EQ(got, expected) << SimdLevelName(level) << " " << int(p.from) << " to " << int(p.to);
        }
    }
}

TEST(SimdForms, ConversionsAreTheSameAtEveryLevel)
{
    const int w = 37, h = 29;  // partial blocks at the right and bottom
    std::vector<uint32_t> img = testimg::Textured(w, h, 5);
    const std::vector<uint32_t> cut = testimg::CutOut(w, h);
    for (size_t i = 0; i < img.size(); i += 7) img[i] = cut[i];
    const int32_t formats[] = {
        CF_DXT1, CF_DXT3, CF_DXT5, CF_DXT5_xGBR, CF_ATI1N, CF_ATI2N, CF_ATC_RGB, CF_ATC_RGBA_Interpolated, CF_ETC_RGB};
    for (int32_t format : formats)
    {
        for (uint32_t speed : {0u, 1u, 2u})
        {
            const CodecOptions options = testimg::Options(speed, false);
            LimitCodecSimdLevel(SimdLevel::Sse2);
            const std::vector<uint8_t> reference = testimg::Compress(img, w, h, format, &options);
            for (SimdLevel level : kHigherLevels)
            {
                LimitCodecSimdLevel(level);
                EXPECT_EQ(testimg::Compress(img, w, h, format, &options), reference)
                    << "format " << format << " speed " << speed << " " << SimdLevelName(level);
            }
        }
    }
    LimitCodecSimdLevel(SimdLevel::Avx512);
}
