#include <gtest/gtest.h>

#include <cstring>

#include "textures/codec/AlphaBlock.h"

namespace {

uint32_t IndexOf(const uint8_t block[8], int texel)
{
    uint64_t v;
    std::memcpy(&v, block, 8);
    return uint32_t((v >> (16 + 3 * texel)) & 7);
}

}  // namespace

TEST(InterpolatedAlpha, FlatBlockTakesTheEightValueModeWithAOneStepPair)
{
    uint8_t alpha[16], block[8];
    std::memset(alpha, 100, 16);
    CompressInterpolatedAlpha(alpha, true, block);
    EXPECT_EQ(block[0], 101);
    EXPECT_EQ(block[1], 100);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(IndexOf(block, i), 1u);
}

TEST(InterpolatedAlpha, OpaqueBlockWrapsIntoTheSixValueMode)
{
    uint8_t alpha[16], block[8], out[16];
    std::memset(alpha, 255, 16);
    CompressInterpolatedAlpha(alpha, true, block);
    EXPECT_EQ(block[0], 0);  // 256 keeps its low byte
    EXPECT_EQ(block[1], 255);
    DecompressInterpolatedAlpha(block, out);
    for (uint8_t a : out) EXPECT_EQ(a, 255);
}

TEST(InterpolatedAlpha, ZeroAndFullOnlyAreExact)
{
    uint8_t alpha[16], block[8], out[16];
    for (int i = 0; i < 16; ++i) alpha[i] = (i % 3) ? 255 : 0;
    CompressInterpolatedAlpha(alpha, true, block);
    EXPECT_EQ(block[0], 255);
    EXPECT_EQ(block[1], 0);
    DecompressInterpolatedAlpha(block, out);
    EXPECT_EQ(0, std::memcmp(alpha, out, 16));
}

TEST(InterpolatedAlpha, SixValueModeServesExtremesByItsFixedEntries)
{
    float values[16];
    for (int i = 0; i < 16; ++i) values[i] = (i & 1) ? 1.0f : 0.002f;
    const AlphaFit fit = CompressAlphaEndpoints(values, 6, true);
    EXPECT_EQ(fit.alpha0, 128);
    EXPECT_EQ(fit.alpha1, 129);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(fit.indices[i], (i & 1) ? 7 : 6);
}

TEST(InterpolatedAlpha, PaletteOfBothModes)
{
    uint8_t p[8];
    BuildAlphaPalette(200, 10, p);
    EXPECT_EQ(p[2], (6 * 200 + 10 + 3) / 7);
    EXPECT_EQ(p[7], (200 + 6 * 10 + 3) / 7);
    BuildAlphaPalette(10, 200, p);
    EXPECT_EQ(p[2], (4 * 10 + 200 + 2) / 5);
    EXPECT_EQ(p[6], 0);
    EXPECT_EQ(p[7], 255);
}

TEST(InterpolatedAlpha, RampsStayClose)
{
    for (bool sse2 : {false, true})
    {
        for (int lo : {0, 37, 120})
        {
            uint8_t alpha[16], block[8], out[16];
            for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(lo + i * (255 - lo) / 15);
            CompressInterpolatedAlpha(alpha, sse2, block);
            DecompressInterpolatedAlpha(block, out);
            for (int i = 0; i < 16; ++i) EXPECT_LE(std::abs(int(out[i]) - int(alpha[i])), 12) << lo << " " << i;
        }
    }
    float ramp[16], out[16];
    uint8_t block[8];
    for (int i = 0; i < 16; ++i) ramp[i] = float(i) / 15.0f;
    CompressInterpolatedAlphaF(ramp, true, block);
    DecompressInterpolatedAlphaF(block, out);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(out[i], ramp[i], 0.05f);  // 8 levels over 16 steps
}

TEST(ExplicitAlpha, RoundingForms)
{
    uint8_t alpha[16] = {0, 15, 255, 145, 128, 8}, block[8], out[16];
    CompressExplicitAlpha(alpha, ExplicitRounding::Always7, block);
    EXPECT_EQ(block[0], 0x10);  // 0 -> 0, 15 -> 1
    EXPECT_EQ(block[1] & 15, 15);
    EXPECT_EQ(block[1] >> 4, 8);  // 145 with +7
    CompressExplicitAlpha(alpha, ExplicitRounding::SevenOrEight, block);
    EXPECT_EQ(block[1] >> 4, 9);  // 145 with +8: nearer 145 / 17
    DecompressExplicitAlpha(block, out);
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out[3], 153);
    CompressExplicitAlphaTruncated(alpha, block);
    EXPECT_EQ(block[0], 0x00);  // 15 truncates to 0
    EXPECT_EQ(block[1] & 15, 15);
    const float reals[16] = {2.0f, -1.0f, 0.5f};
    CompressExplicitAlphaF(reals, block);
    EXPECT_EQ(block[0], 0x0F);  // clamped, not wrapped
    EXPECT_EQ(block[1] & 15, 8);
}

TEST(FastAlpha, ExtremesAndFlatBlocks)
{
    uint8_t alpha[16], block[8], out[16];
    for (int i = 0; i < 16; ++i) alpha[i] = (i % 2) ? 255 : 0;
    FastInterpolatedAlpha(alpha, block);
    EXPECT_EQ(block[0], 255);
    EXPECT_EQ(block[1], 0);
    DecompressInterpolatedAlpha(block, out);
    EXPECT_EQ(0, std::memcmp(alpha, out, 16));
    std::memset(alpha, 77, 16);
    FastInterpolatedAlpha(alpha, block);
    EXPECT_EQ(block[0], 77);
    EXPECT_EQ(block[1], 77);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(IndexOf(block, i), 0u);
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(16 + i * 14);
    FastInterpolatedAlpha(alpha, block);
    DecompressInterpolatedAlpha(block, out);
    for (int i = 0; i < 16; ++i) EXPECT_LE(std::abs(int(out[i]) - int(alpha[i])), 16);
}
