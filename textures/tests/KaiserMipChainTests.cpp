// The Kaiser chain stands in for nvtt's own: level for level it must give nvtt's bytes, for even and odd
// sides, both wrap modes, with and without alpha, in every instruction set's form.
#include "textures/KaiserMipChain.h"

#include "textures/codec/SimdLevel.h"

#include <gtest/gtest.h>
#include <nvtt/nvtt.h>

#include <cmath>
#include <cstring>
#include <random>

using Orvo::Bitmap;

namespace {

// Ramps, a checkerboard with hard edges, noise and a partly transparent alpha: filters ring on all of it.
std::unique_ptr<Bitmap> Picture(uint32_t w, uint32_t h, uint32_t format, uint32_t seed)
{
    auto b = std::make_unique<Bitmap>(w, h, format);
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = b->Row(y) + x * 4;
            p[0] = uint8_t(x * 255 / std::max(1u, w - 1));
            p[1] = uint8_t(((x / 3 + y / 5) % 2) ? 230 : 12);
            p[2] =
                uint8_t(std::clamp<int>(128 + int(100 * std::sin(y * 0.7 + x * 0.1)) + int(rng() % 31) - 15, 0, 255));
            p[3] = format == Bitmap::FormatXRGB32 ? 255 : uint8_t((x * 7 + y * 13) % 256);
        }
    return b;
}

// nvtt's levels 1.. for a colour texture with its Kaiser filter, as the front end used to take them.
std::vector<std::unique_ptr<Bitmap>> NvttChain(const Bitmap& image, bool wrap)
{
    struct Sink : nvtt::OutputHandler
    {
        void beginImage(int, int w, int h, int, int, int) override
        {
            levels.push_back(std::make_unique<Bitmap>(uint32_t(w), uint32_t(h), Bitmap::FormatARGB32));
            written = 0;
        }
        bool writeData(const void* data, int size) override
        {
            Bitmap& level = *levels.back();
            if (written + size_t(size) > level.GetDataSize()) return false;
            std::memcpy(level.GetData() + written, data, size_t(size));
            written += size_t(size);
            return true;
        }
        std::vector<std::unique_ptr<Bitmap>> levels;
        size_t written = 0;
    } sink;
    nvtt::InputOptions input;
    input.setTextureLayout(nvtt::TextureType_2D, int(image.GetWidth()), int(image.GetHeight()));
    input.setMipmapGeneration(true, -1);
    input.setWrapMode(wrap ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
    input.setMipmapFilter(nvtt::MipmapFilter_Kaiser);
    input.setMipmapData(image.GetData(), int(image.GetWidth()), int(image.GetHeight()));
    nvtt::CompressionOptions compression;
    compression.setFormat(nvtt::Format_RGBA);
    compression.setPixelFormat(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    nvtt::OutputOptions output;
    output.setOutputHandler(&sink);
    output.setOutputHeader(false);
    EXPECT_TRUE(nvtt::Compressor().process(input, compression, output));
    if (!sink.levels.empty()) sink.levels.erase(sink.levels.begin());
    return std::move(sink.levels);
}

}  // namespace

TEST(KaiserMipChain, GivesNvttsLevelsByteForByte)
{
    struct Case
    {
        uint32_t w, h;
    } sizes[] = {{64, 64}, {128, 32}, {100, 36}, {20, 12}, {2, 16}, {4, 4}, {12, 4}, {3, 5}, {72, 40}};
    uint32_t seed = 1;
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512})
        for (const Case& c : sizes)
            for (uint32_t format : {Bitmap::FormatARGB32, Bitmap::FormatXRGB32})
                for (bool wrap : {true, false})
                {
                    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (wrap ? " repeat" : " clamp") +
                                 (format == Bitmap::FormatXRGB32 ? " opaque " : " alpha ") + SimdLevelName(level));
                    LimitCodecSimdLevel(level);
                    const auto image = Picture(c.w, c.h, format, seed++);
                    const auto ours = MakeKaiserMipChain(*image, wrap);
                    const auto theirs = NvttChain(*image, wrap);
                    ASSERT_EQ(ours.size(), theirs.size());
                    uint32_t w = c.w, h = c.h;
                    for (size_t i = 0; i < ours.size(); ++i)
                    {
                        w = std::max(w / 2, 1u), h = std::max(h / 2, 1u);
                        ASSERT_EQ(ours[i]->GetWidth(), w);
                        ASSERT_EQ(ours[i]->GetHeight(), h);
                        ASSERT_EQ(ours[i]->GetFormat(), format);
                        ASSERT_EQ(theirs[i]->GetWidth(), w);
                        for (uint32_t y = 0; y < h; ++y)
                            ASSERT_EQ(std::memcmp(ours[i]->Row(y), theirs[i]->Row(y), size_t(w) * 4), 0)
                                << "level " << i + 1 << " row " << y;
                    }
                    EXPECT_EQ(w, 1u);
                    EXPECT_EQ(h, 1u);
                }
    LimitCodecSimdLevel(SimdLevel::Avx512);
}

TEST(KaiserMipChain, FlatPicturesOfEveryLevelKeepNvttsBytes)
{
    // A flat picture filters to its own linear value give or take a rounding, which is where the 8-bit output
    // steps: every level 0..255 in every channel, in every form (64 wide, so the 16-wide forms run).
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx512})
    {
        LimitCodecSimdLevel(level);
        for (int v = 0; v < 256; ++v)
        {
            SCOPED_TRACE(std::to_string(v) + " " + SimdLevelName(level));
            Bitmap image(64, 4, Bitmap::FormatARGB32);
            for (uint32_t y = 0; y < 4; ++y)
                for (uint32_t x = 0; x < 64; ++x)
                {
                    uint8_t* p = image.Row(y) + x * 4;
                    p[0] = uint8_t(v), p[1] = uint8_t(255 - v), p[2] = uint8_t(v ^ 0x55), p[3] = uint8_t(v);
                }
            const bool wrap = v % 2 == 0;
            const auto ours = MakeKaiserMipChain(image, wrap);
            const auto theirs = NvttChain(image, wrap);
            ASSERT_EQ(ours.size(), theirs.size());
            for (size_t i = 0; i < ours.size(); ++i)
                ASSERT_EQ(std::memcmp(ours[i]->GetData(), theirs[i]->GetData(), ours[i]->GetDataSize()), 0)
                    << "level " << i + 1;
        }
    }
    LimitCodecSimdLevel(SimdLevel::Avx512);
}

TEST(KaiserMipChain, NothingBelowOnePixelOrForOtherFormats)
{
    EXPECT_TRUE(MakeKaiserMipChain(*Picture(1, 1, Bitmap::FormatARGB32, 3), true).empty());
    EXPECT_TRUE(MakeKaiserMipChain(Bitmap(8, 8, Bitmap::FormatRGB24), true).empty());
    EXPECT_TRUE(MakeKaiserMipChain(Bitmap(), false).empty());
    // Rows with a pitch of their own are read row by row.
    const auto packed = Picture(16, 8, Bitmap::FormatARGB32, 4);
    std::vector<uint8_t> bytes(24 * 4 * 8, 0x5A);
    Bitmap padded;
    ASSERT_TRUE(padded.Init(16, 8, 24 * 4, Bitmap::FormatARGB32, bytes.data(), bytes.size()));
    for (uint32_t y = 0; y < 8; ++y) std::memcpy(padded.Row(y), packed->Row(y), 16 * 4);
    const auto a = MakeKaiserMipChain(*packed, true), b = MakeKaiserMipChain(padded, true);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 4u);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(std::memcmp(a[i]->GetData(), b[i]->GetData(), a[i]->GetDataSize()), 0) << i;
}
