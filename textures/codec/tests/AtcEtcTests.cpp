#include <gtest/gtest.h>

#include <cstring>

#include "TestImages.h"
#include "textures/codec/AtcBlock.h"
#include "textures/codec/EtcBlock.h"

#include <android/ETC1/etc1.h>

using testimg::Argb;

namespace {

// ATC colour decoding written from the published layout, independent of the library's decoder.
void ReferenceAtcDecode(const uint8_t* b, uint32_t out[16])
{
    const unsigned c0 = b[0] | b[1] << 8, c1 = b[2] | b[3] << 8;
    auto e5 = [](unsigned v) { return int((v << 3) | (v >> 2)); };
    auto e6 = [](unsigned v) { return int((v << 2) | (v >> 4)); };
    const int a[3] = {e5((c0 >> 10) & 31), e5((c0 >> 5) & 31), e5(c0 & 31)};
    const int d[3] = {e5(c1 >> 11), e6((c1 >> 5) & 63), e5(c1 & 31)};
    int pal[4][3];
    for (int c = 0; c < 3; ++c)
    {
        if (c0 & 0x8000)
        {
            pal[0][c] = 0;
            pal[1][c] = std::max(a[c] - d[c] / 4, 0);
            pal[2][c] = a[c];
        }
        else
        {
            pal[0][c] = a[c];
            pal[1][c] = (5 * a[c] + 3 * d[c]) / 8;
            pal[2][c] = (3 * a[c] + 5 * d[c]) / 8;
        }
        pal[3][c] = d[c];
    }
    const uint32_t idx = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
    for (int i = 0; i < 16; ++i)
    {
        const int* p = pal[(idx >> (2 * i)) & 3];
        out[i] = Argb(255, p[0], p[1], p[2]);
    }
}

std::vector<uint32_t> ReferenceAtcImage(const std::vector<uint8_t>& blocks, int w, int h, int blockBytes)
{
    std::vector<uint32_t> img(size_t(w) * h);
    const int bx = (w + 3) / 4;
    for (int y = 0; y < h; y += 4)
        for (int x = 0; x < w; x += 4)
        {
            uint32_t t[16];
            ReferenceAtcDecode(blocks.data() + size_t((y / 4) * bx + x / 4) * blockBytes + (blockBytes - 8), t);
            for (int r = 0; r < 4 && y + r < h; ++r)
                for (int c = 0; c < 4 && x + c < w; ++c) img[size_t(y + r) * w + x + c] = t[r * 4 + c];
        }
    return img;
}

}  // namespace

TEST(Atc, FlatBlockGoesToColourOne)
{
    uint32_t texels[16];
    for (uint32_t& t : texels) t = 0xFF4080C0u;
    uint8_t block[8];
    AtcCompressColor(texels, block);
    const uint32_t idx = block[4] | block[5] << 8 | block[6] << 16 | uint32_t(block[7]) << 24;
    EXPECT_EQ(idx, 0xFFFFFFFFu);  // every texel index 3
    EXPECT_EQ(block[1] & 0x80, 0);
    EXPECT_EQ(uint16_t(block[2] | block[3] << 8), EncodeAtcColor565({0x40, 0x80, 0xC0}));
}

TEST(Atc, BlackModeForDarkNextToSaturatedColour)
{
    uint32_t texels[16];
    for (int i = 0; i < 16; ++i) texels[i] = i < 6 ? 0xFF020202u : i < 11 ? 0xFFE01010u : 0xFF10E010u;
    uint8_t block[8];
    AtcCompressColor(texels, block);
    EXPECT_TRUE(block[1] & 0x80);
    uint32_t out[16];
    AtcDecompressColor(block, out);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i] & 0xFFFFFF, 0u);
}

TEST(Atc, HueSaturationAndQuantisation)
{
    EXPECT_FALSE(HuesDiffer(350, 10));
    EXPECT_TRUE(HuesDiffer(0, 90));
    EXPECT_FALSE(HuesDiffer(-1, 200));
    int h, s;
    ColorHueSaturation({255, 0, 0}, &h, &s);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 100);
    ColorHueSaturation({0, 0, 255}, &h, &s);
    EXPECT_EQ(h, 240);
    ColorHueSaturation({255, 0, 128}, &h, &s);
    EXPECT_EQ(h, 330);  // negative hue wraps
    ColorHueSaturation({7, 7, 7}, &h, &s);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(ColorBrightness({38, 0, 0}), 14);
    // Only the truncated code and its lowest-bit neighbour are tried: 250 truncates to 31 (255) but
    // 30 (247) is nearer; 252 is 3 from 255 and 5 from 247, so 31 stays.
    EXPECT_EQ(EncodeAtcColor565({250, 0, 0}) >> 11, 30);
    EXPECT_EQ(EncodeAtcColor565({252, 0, 0}) >> 11, 31);
    EXPECT_EQ(EncodeAtcColor565({132, 0, 0}) >> 11, 16);
    EXPECT_EQ(EncodeAtcColor555({255, 255, 255}, true), 0xFFFF);
}

TEST(Atc, ThresholdsAndBlockError)
{
    int lum[16];
    for (int i = 0; i < 16; ++i) lum[i] = i * 10;
    const uint32_t idx = AtcAssignByThresholds(lum, 30, 80, 120);
    EXPECT_EQ(idx & 0xFF, 0u);             // 0, 10, 20, 30: not above t1
    EXPECT_EQ((idx >> (2 * 4)) & 3, 1u);   // 40
    EXPECT_EQ((idx >> (2 * 9)) & 3, 2u);   // 90
    EXPECT_EQ((idx >> (2 * 12)) & 3, 3u);  // 120 reaches t3
    AtcRgb rgb[16];
    for (AtcRgb& c : rgb) c = {0, 0, 0};
    rgb[5] = {8, 0, 0};
    EXPECT_EQ(AtcBlockError(rgb, 0, 0, 0), 64);
    EXPECT_EQ(AtcBlockError(rgb, 0x8000, 0, 0), 64);  // black mode: index 0 is black
}

TEST(Atc, DecodesLikeTheReferenceAndStaysClose)
{
    const int w = 36, h = 20;
    for (const std::vector<uint32_t>& img : {testimg::Textured(w, h), testimg::Gradient(w, h), testimg::CutOut(w, h)})
    {
        for (int32_t format : {CF_ATC_RGB, CF_ATC_RGBA_Explicit, CF_ATC_RGBA_Interpolated})
        {
            CodecResult r;
            const std::vector<uint8_t> blocks = testimg::Compress(img, w, h, format, nullptr, &r);
            ASSERT_EQ(r, CODEC_OK);
            const int blockBytes = format == CF_ATC_RGB ? 8 : 16;
            const std::vector<uint32_t> reference = ReferenceAtcImage(blocks, w, h, blockBytes);
            const std::vector<uint32_t> ours = testimg::Decompress(blocks, w, h, format);
            EXPECT_EQ(testimg::Psnr(reference, ours), 99.0) << format;
            EXPECT_GE(testimg::Psnr(img, reference), 30.0) << format;
            if (format != CF_ATC_RGB)
            {
                EXPECT_GE(testimg::Psnr(img, ours, 8), format == CF_ATC_RGBA_Explicit ? 30 : 35);
            }
            else
            {
                for (uint32_t p : ours) ASSERT_EQ(p >> 24, 255u);
            }
        }
    }
}

TEST(Etc, FlatBlockIsDifferentialAndFarApartHalvesIndividual)
{
    uint32_t texels[16], out[16];
    uint8_t block[8];
    for (uint32_t& t : texels) t = 0xFF5080A0u;
    EtcCompressColor(texels, block);
    EXPECT_EQ(block[3] & 2, 2);  // differential, every delta zero
    EXPECT_EQ((block[0] | block[1] | block[2]) & 7, 0);
    EtcDecompressColor(block, out);
    EXPECT_LE(testimg::MaxRgbDifference(out, texels), 8);

    for (int i = 0; i < 16; ++i) texels[i] = (i % 4) < 2 ? 0xFF000000u : 0xFFFFFFFFu;
    EtcCompressColor(texels, block);
    EXPECT_EQ(block[3] & 3, 0);  // individual, the split left/right
    EtcDecompressColor(block, out);
    EXPECT_LE(testimg::MaxRgbDifference(out, texels), 8);
}

TEST(Etc, UnweightedCombinedFourBitRule)
{
    // Left half grey g, right half 200: individual mode. For g = 93 the all-low 4-bit code (85) misses
    // by exactly 8 per channel, 192 in all, and stays low; for g = 94 it misses by 243 and goes high.
    for (int g : {93, 94})
    {
        uint8_t rgb[16 * 3];
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) std::memset(rgb + (y * 4 + x) * 3, x < 2 ? g : 200, 3);
        uint32_t w1, w2;
        EncodeEtcCombinedUnweighted(rgb, 4, 0, 0, &w1, &w2);
        EXPECT_EQ(w1 & 3, 0u);  // individual, not flipped
        EXPECT_EQ(w1 >> 28, g == 93 ? 5u : 6u);
        uint8_t decoded[16 * 3];
        DecodeEtcBlock(w1, w2, decoded, 4, 0, 0);
        EXPECT_LE(EtcBlockErrorUnweighted(rgb, decoded, 4, 0, 0), 16 * 3 * 9.0);
    }
}

TEST(Etc, HalfModifiersAndStreamHelpers)
{
    uint8_t rgb[16 * 3];
    for (int i = 0; i < 16; ++i) std::memset(rgb + 3 * i, (i % 2) ? 102 : 92, 3);
    const int base[3] = {100, 100, 100};
    uint32_t msb, lsb;
    // Row 0 (-8, -2, 2, 8): 102 takes +2 (index 0), 92 takes -8 (index 3).
    EXPECT_EQ(AssignEtcHalfModifiers(rgb, 4, 0, 0, 2, 4, base, 0, false, &msb, &lsb), 0.0f);
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 4; ++r)
        {
            const bool odd = (r * 4 + c) % 2;
            EXPECT_EQ((msb >> (4 * c + r)) & 1, odd ? 0u : 1u);
            EXPECT_EQ((lsb >> (4 * c + r)) & 1, odd ? 0u : 1u);
        }
    EXPECT_GT(AssignEtcHalfModifiers(rgb, 4, 0, 0, 2, 4, base, 2, true, &msb, &lsb), 0.0f);  // row 1: +-5
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(WriteBigEndian32(f, 0x01020304u));
    EXPECT_TRUE(WriteBigEndian16(f, 0xA0B0));
    std::rewind(f);
    EXPECT_EQ(std::fgetc(f), 1);
    std::rewind(f);
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    EXPECT_TRUE(ReadBigEndian32(f, &v32));
    EXPECT_TRUE(ReadBigEndian16(f, &v16));
    EXPECT_FALSE(ReadBigEndian16(f, &v16));
    EXPECT_EQ(v32, 0x01020304u);
    EXPECT_EQ(v16, 0xA0B0);
    std::fclose(f);
}

TEST(Etc, AgreesWithTheAndroidDecoder)
{
    const int w = 40, h = 24;
    for (const std::vector<uint32_t>& img : {testimg::Textured(w, h), testimg::Gradient(w, h), testimg::Noise(w, h)})
    {
        CodecResult r;
        const std::vector<uint8_t> blocks = testimg::Compress(img, w, h, CF_ETC_RGB, nullptr, &r);
        ASSERT_EQ(r, CODEC_OK);
        std::vector<uint8_t> rgb(size_t(w) * h * 3);
        ASSERT_EQ(etc1_decode_image(blocks.data(), rgb.data(), w, h, 3, w * 3), 0);
        std::vector<uint32_t> reference(size_t(w) * h);
        for (size_t i = 0; i < reference.size(); ++i)
            reference[i] = Argb(255, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        EXPECT_EQ(testimg::Psnr(reference, testimg::Decompress(blocks, w, h, CF_ETC_RGB)), 99.0);
        const bool noise = img == testimg::Noise(w, h);
        EXPECT_GE(testimg::Psnr(img, reference), noise ? 10.0 : 32.0);
    }
}
