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

TEST(InterpolatedAlpha, HandWorkedBlocksOfBothEncoders)
{
    using Encoder = void (*)(const uint8_t*, uint8_t*);
    const Encoder quality = [](const uint8_t* a, uint8_t* b) { CompressInterpolatedAlpha(a, true, b); };
    const Encoder fast = [](const uint8_t* a, uint8_t* b) { FastInterpolatedAlpha(a, b); };
    // A flat block takes the eight-value mode with a one-step pair, or equal endpoints in the fast encoder;
    // a flat opaque block wraps into the six-value mode (256 keeps its low byte). Every one decodes exactly.
    const struct
    {
        Encoder encode;
        int flat;  // the value of every texel; -1: 0 and 255 only
        uint8_t alpha0, alpha1;
        int index;  // of every texel; -1: not checked
    } cases[] = {{quality, 100, 101, 100, 1},
                 {quality, 255, 0, 255, -1},
                 {quality, -1, 255, 0, -1},
                 {fast, -1, 255, 0, -1},
                 {fast, 77, 77, 77, 0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << (c.encode == fast ? "fast " : "quality ") << c.flat);
        uint8_t alpha[16], block[8], out[16];
        for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(c.flat >= 0 ? c.flat : (i % 3) ? 255 : 0);
        c.encode(alpha, block);
        EXPECT_EQ(block[0], c.alpha0);
        EXPECT_EQ(block[1], c.alpha1);
        for (int i = 0; c.index >= 0 && i < 16; ++i) EXPECT_EQ(IndexOf(block, i), uint32_t(c.index));
        DecompressInterpolatedAlpha(block, out);
        EXPECT_EQ(0, std::memcmp(alpha, out, 16));
    }
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
    uint8_t alpha[16], back[16];
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(16 + i * 14);
    FastInterpolatedAlpha(alpha, block);
    DecompressInterpolatedAlpha(block, back);
    for (int i = 0; i < 16; ++i) EXPECT_LE(std::abs(int(back[i]) - int(alpha[i])), 16);
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
