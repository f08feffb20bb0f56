#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "TestImages.h"
#include "textures/codec/DxtcCodec.h"
#include "textures/codec/HalfFloat.h"
#include "textures/codec/TextureCodec.h"

namespace {

std::atomic<int> g_calls{0};
std::atomic<int> g_stopAfter{-1};

uint8_t CountingCallback(float percent, uint32_t user1, uint32_t user2)
{
    EXPECT_EQ(user1, 11u);
    EXPECT_EQ(user2, 22u);
    EXPECT_GE(percent, 0.0f);
    EXPECT_LT(percent, 100.0f);
    const int n = g_calls.fetch_add(1);
    return g_stopAfter >= 0 && n >= g_stopAfter ? 1 : 0;
}

}  // namespace

TEST(CodecObjects, FactoryAndUnknownParameters)
{
    EXPECT_EQ(CreateTextureCodec(1), nullptr);
    EXPECT_EQ(CreateTextureCodec(19), nullptr);
    for (uint32_t t = 2; t <= 18; ++t)
    {
        std::unique_ptr<TextureCodec> c(CreateTextureCodec(t));
        ASSERT_NE(c, nullptr);
        EXPECT_FALSE(c->SetParameter("NoSuchThing", int32_t(1))) << t;
        int32_t v = 1;
        EXPECT_FALSE(c->SetParameter("UseSSE", int32_t(0))) << t;  // takes effect, answers false
        EXPECT_TRUE(c->GetParameter("UseSSE", &v));
        EXPECT_EQ(v, 0) << t;
    }
}

TEST(CodecObjects, NormalMapZReconstruction)
{
    EXPECT_EQ(Ati2nCodec::ReconstructZByte(128, 128), 254);
    EXPECT_EQ(Ati2nCodec::ReconstructZByte(255, 128), 128);
    EXPECT_EQ(Ati2nCodec::ReconstructZByte(0, 0), 128);
    EXPECT_FLOAT_EQ(Ati2nCodec::ReconstructZFloat(0.5f, 0.5f), 1.0f);
}

TEST(ConvertPaths, CopyAndLayoutConversion)
{
    const int w = 9, h = 7;
    std::vector<uint32_t> src = testimg::Noise(w, h);
    std::vector<uint32_t> copy(src.size());
    CodecTextureDesc s = testimg::Desc(w, h, CF_ARGB8888, src.data(), w * h * 4);
    CodecTextureDesc d = testimg::Desc(w, h, CF_ARGB8888, copy.data(), w * h * 4);
    EXPECT_EQ(ConvertCodecTexture(&s, &d, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_EQ(copy, src);
    // Through every other uncompressed layout that keeps four 8-bit-exact channels, and back.
    for (int32_t format : {CF_ARGB16161616, CF_ARGB16161616F, CF_ARGB32323232F})
    {
        std::vector<uint8_t> mid(CodecTextureSizeForFormat(format, w, h, 0));
        CodecTextureDesc m = testimg::Desc(w, h, format, mid.data(), uint32_t(mid.size()));
        std::fill(copy.begin(), copy.end(), 0u);
        ASSERT_EQ(ConvertCodecTexture(&s, &m, nullptr, nullptr, 0, 0), CODEC_OK);
        ASSERT_EQ(ConvertCodecTexture(&m, &d, nullptr, nullptr, 0, 0), CODEC_OK);
        EXPECT_EQ(copy, src) << format;
    }
}

TEST(ConvertPaths, ProgressAndStop)
{
    const int w = 16, h = 24;
    const std::vector<uint32_t> img = testimg::Gradient(w, h);
    std::vector<uint32_t> src = img;
    std::vector<uint8_t> out(CodecTextureSizeForFormat(CF_DXT5, w, h, 0));
    CodecTextureDesc s = testimg::Desc(w, h, CF_ARGB8888, src.data(), w * h * 4);
    CodecTextureDesc d = testimg::Desc(w, h, CF_DXT5, out.data(), uint32_t(out.size()));
    for (bool single : {true, false})
    {
        CodecOptions o = testimg::Options(0, single);
        g_calls = 0;
        g_stopAfter = -1;
        EXPECT_EQ(ConvertCodecTexture(&s, &d, &o, CountingCallback, 11, 22), CODEC_OK);
        if (single)
        {
            EXPECT_EQ(g_calls.load(), 6);  // one call per block row
        }
        g_calls = 0;
        g_stopAfter = 0;
        EXPECT_EQ(ConvertCodecTexture(&s, &d, &o, CountingCallback, 11, 22), CODEC_STOPPED);
    }
    g_stopAfter = -1;
}

TEST(ConvertPaths, OptionsRecordSizeDecidesWhetherParametersApply)
{
    const int w = 8, h = 8;
    std::vector<uint32_t> img = testimg::CutOut(w, h);
    int transparent = 0;
    for (uint32_t p : img) transparent += (p >> 24) == 0;
    EXPECT_GT(transparent, 0);
    for (uint32_t speed : {0u, 1u, 2u})
    {  // the fast paths keep DXT1 alpha too
        CodecOptions alpha = testimg::Options(speed, true);
        alpha.dxt1UseAlpha = 1;
        const std::vector<uint32_t> out =
            testimg::Decompress(testimg::Compress(img, w, h, CF_DXT1, &alpha), w, h, CF_DXT1);
        for (size_t i = 0; i < img.size(); ++i) EXPECT_EQ(out[i] >> 24, img[i] >> 24 ? 255u : 0u) << speed;
    }
    CodecOptions old = testimg::Options(0, true);
    old.dxt1UseAlpha = 1;
    old.size = 52;  // an older record: no parameter is applied, so alpha stays off
    for (uint32_t p : testimg::Decompress(testimg::Compress(img, w, h, CF_DXT1, &old), w, h, CF_DXT1))
        EXPECT_EQ(p >> 24, 255u);
}

TEST(ConvertPaths, SwizzledFormatsCarryTheirChannels)
{
    const int w = 16, h = 16;
    const std::vector<uint32_t> img = testimg::Textured(w, h);
    struct Swz
    {
        int32_t format;
        int carried;  // Psnr mask of the source channels kept
    };
    for (Swz s : {Swz{CF_DXT5_xGBR, 7}, Swz{CF_DXT5_RxBG, 7}, Swz{CF_DXT5_RBxG, 7}, Swz{CF_DXT5_xRBG, 7},
                  Swz{CF_DXT5_RGxB, 7}, Swz{CF_DXT5_xGxR, 6}})
    {
        for (uint32_t speed : {0u, 1u})
        {
            CodecOptions o = testimg::Options(speed, true);
            const std::vector<uint32_t> out =
                testimg::Decompress(testimg::Compress(img, w, h, s.format, &o), w, h, s.format);
            EXPECT_GE(testimg::Psnr(img, out, s.carried), 30.0) << s.format;
            for (uint32_t p : out) ASSERT_EQ(p >> 24, 255u);
            if (s.format == CF_DXT5_xGxR)
            {
                for (uint32_t p : out) ASSERT_EQ(p & 0xFF, 0u);  // blue is not carried
            }
        }
    }
    const std::vector<uint32_t> normals = testimg::NormalMap(w, h);
    const std::vector<uint32_t> out =
        testimg::Decompress(testimg::Compress(normals, w, h, CF_ATI2N_DXT5), w, h, CF_ATI2N_DXT5);
    EXPECT_GE(testimg::Psnr(normals, out, 6), 35.0);
    EXPECT_GE(testimg::Psnr(normals, out, 1), 28.0);  // blue rebuilt from x and y
}

TEST(ConvertPaths, FloatingPointMaskIsRestored)
{
    const int previous = fegetexcept();
    feenableexcept(FE_OVERFLOW | FE_INVALID);
    float big[4] = {1e10f, std::nanf(""), 0.5f, 1.0f};
    uint16_t half[4];
    CodecTextureDesc s = testimg::Desc(1, 1, CF_ARGB32323232F, big, 16);
    CodecTextureDesc d = testimg::Desc(1, 1, CF_ARGB16161616F, half, 8);
    EXPECT_EQ(ConvertCodecTexture(&s, &d, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_EQ(fegetexcept(), FE_OVERFLOW | FE_INVALID);
    fedisableexcept(FE_ALL_EXCEPT);
    feenableexcept(previous);
    EXPECT_EQ(half[0], 0x7C00);
    EXPECT_EQ(half[2], FloatToHalf(0.5f));
}
