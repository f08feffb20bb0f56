#include "textures/TextureCompress.h"

#include "engine/TextureFormat.h"
#include "textures/KaiserMipChain.h"
#include "textures/TextureTargets.h"
#include "textures/codec/CodecTexture.h"

#include <gtest/gtest.h>
#include <nvtt/nvtt.h>
#include <squish.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

using Orvo::Bitmap;

namespace {

// A textured test image: smooth ramps, hard edges and noise; alpha a ramp with a transparent corner.
std::unique_ptr<Bitmap> TestImage(uint32_t w, uint32_t h, uint32_t format = Bitmap::FormatARGB32)
{
    auto b = std::make_unique<Bitmap>(w, h, format);
    std::mt19937 rng(7);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
        {
            uint8_t* p = b->Row(y) + x * 4;
            p[0] = uint8_t(x * 255 / std::max(1u, w - 1));
            p[1] = uint8_t(((x / 8 + y / 8) % 2) ? 200 : 40);
            p[2] = uint8_t(std::clamp<int>(128 + int(90 * std::sin(y * 0.2)) + int(rng() % 21) - 10, 0, 255));
            p[3] = (x < w / 4 && y < h / 4) ? 0 : uint8_t(255 - y * 128 / h);
        }
    return b;
}

// PSNR of the RGB channels (or of alpha alone) of a DXT level against its BGRA source, decoded by libsquish,
// an independent decoder.
double DxtPsnr(const Bitmap& source, const uint8_t* blocks, bool dxt5, bool alphaOnly)
{
    const int w = int(source.GetWidth()), h = int(source.GetHeight());
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    squish::DecompressImage(rgba.data(), w, h, blocks, dxt5 ? squish::kDxt5 : squish::kDxt1);
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const uint8_t* s = source.Row(uint32_t(y)) + x * 4;
            const uint8_t* d = &rgba[(size_t(y) * w + x) * 4];
            const int pairs[4][2] = {{s[2], d[0]}, {s[1], d[1]}, {s[0], d[2]}, {s[3], d[3]}};
            for (int c = alphaOnly ? 3 : 0; c < (alphaOnly ? 4 : 3); ++c, ++n)
                sum += double(pairs[c][0] - pairs[c][1]) * (pairs[c][0] - pairs[c][1]);
        }
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / n));
}

// The alpha of the first texel of a DXT1 block, as libsquish decodes it.
int FirstTexelAlpha(const uint8_t* block)
{
    uint8_t rgba[64];
    squish::Decompress(rgba, block, squish::kDxt1);
    return rgba[3];
}

// nvtt's own Quality_Fastest DXT output of level 0, the quality floor of the front end.
std::vector<uint8_t> NvttFastest(const Bitmap& image, nvtt::Format format)
{
    struct Sink : nvtt::OutputHandler
    {
        void beginImage(int, int, int, int, int, int) override {}
        bool writeData(const void* d, int n) override
        {
            bytes.insert(bytes.end(), (const uint8_t*)d, (const uint8_t*)d + n);
            return true;
        }
        std::vector<uint8_t> bytes;
    } sink;
    nvtt::InputOptions in;
    in.setTextureLayout(nvtt::TextureType_2D, int(image.GetWidth()), int(image.GetHeight()));
    in.setMipmapGeneration(false);
    in.setMipmapData(image.GetData(), int(image.GetWidth()), int(image.GetHeight()));
    nvtt::CompressionOptions c;
    c.setFormat(format);
    c.setQuality(nvtt::Quality_Fastest);
    nvtt::OutputOptions out;
    out.setOutputHandler(&sink);
    out.setOutputHeader(false);
    nvtt::Compressor().process(in, c, out);
    return sink.bytes;
}

std::vector<uint8_t> LevelBytes(const TextureCompress& t, size_t i)
{
    const Bitmap* l = t.GetLevel(i);
    return std::vector<uint8_t>(l->GetData(), l->GetData() + l->GetDataSize());
}

// A private temporary folder used as TMPDIR while a test runs, so leftovers can be seen.
struct TempDirScope
{
    TempDirScope() : path((std::filesystem::temp_directory_path() / "velmar-tc-XXXXXX").string())
    {
        if (!mkdtemp(path.data())) path.clear();
        const char* old = std::getenv("TMPDIR");
        saved = old ? old : "";
        setenv("TMPDIR", path.c_str(), 1);
    }
    ~TempDirScope()
    {
        if (saved.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", saved.c_str(), 1);
        std::filesystem::remove_all(path);
    }
    size_t Entries() const
    {
        return size_t(std::distance(std::filesystem::directory_iterator(path), std::filesystem::directory_iterator()));
    }
    std::string path, saved;
};

}  // namespace

TEST(TextureCompressTest, LevelChainsAndSizes)
{
    struct Case
    {
        const char* name;
        const char* targets;
        uint32_t format, width, height;
        bool mips;
        std::vector<std::array<uint32_t, 3>> levels;  // width, height, bytes
    } cases[] = {
        {"uncompressed 4x1", "dxtc", 3, 4, 1, true, {{4, 1, 16}, {2, 1, 8}, {1, 1, 4}}},
        {"uncompressed 1x1", "dxtc", 1, 1, 1, true, {{1, 1, 4}}},
        {"uncompressed without mips", "dxtc", 1, 8, 8, false, {{8, 8, 256}}},
        {"etc1 6x6", "etc1", 28, 6, 6, true, {{6, 6, 32}, {3, 3, 8}, {1, 1, 8}}},
        {"atc 8x4", "atc", 27, 8, 4, true, {{8, 4, 32}, {4, 2, 16}, {2, 1, 16}, {1, 1, 16}}},
        {"dxt1 8x8", "dxtc", 10, 8, 8, true, {{8, 8, 32}, {4, 4, 8}, {2, 2, 8}, {1, 1, 8}}},
        {"dxt5 12x4 no mips", "dxtc", 12, 12, 4, false, {{12, 4, 48}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto image = TestImage(c.width, c.height);
        TextureCompress t;
        ASSERT_TRUE(t.Compress(*image, ParseTextureTargetList(c.targets), c.format, false, true, false, c.mips))
            << t.GetLastError();
        ASSERT_EQ(t.GetLevelCount(), c.levels.size());
        for (size_t i = 0; i < c.levels.size(); ++i)
        {
            EXPECT_EQ(t.GetLevel(i)->GetWidth(), c.levels[i][0]);
            EXPECT_EQ(t.GetLevel(i)->GetHeight(), c.levels[i][1]);
            EXPECT_EQ(t.GetLevel(i)->GetDataSize(), c.levels[i][2]);
            EXPECT_FALSE(t.GetLevel(i)->IsAlias());
        }
    }
}

TEST(TextureCompressTest, RefusalsNameTheirReason)
{
    struct Case
    {
        const char* name;
        const char* targets;
        uint32_t format;
        uint32_t pixelFormat;
        const char* reason;
    } cases[] = {
        {"24-bit image", "dxtc", 10, Bitmap::FormatRGB24, "not a 32-bit image"},
        {"atc with pvrtc", "atc;pvrtc", 24, Bitmap::FormatARGB32, "cannot be served in one texture"},
        {"atc with ios", "ios;atc", 25, Bitmap::FormatARGB32, "cannot be served in one texture"},
        {"dxt without dxtc", "etc1", 10, Bitmap::FormatARGB32, "need the target"},
        {"unknown format", "dxtc", 99, Bitmap::FormatARGB32, "unknown texture format"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Bitmap image(16, 16, c.pixelFormat);
        TextureCompress t;
        EXPECT_FALSE(t.Compress(image, ParseTextureTargetList(c.targets), c.format, false, true, false, true));
        EXPECT_NE(t.GetLastError().find(c.reason), std::string::npos) << t.GetLastError();
    }
}

TEST(TextureCompressTest, AtcLevelsAreTheCodecsOutput)
{
    // With "dxtc" or "etc1" in the list as well, an ATC format is still encoded as ATC (it used to go to the
    // DXT or ETC1 encoder and be recorded under the ATC id).
    for (const char* targets : {"atc", "dxtc;atc", "etc1;atc"})
    {
        SCOPED_TRACE(targets);
        auto image = TestImage(32, 16);
        TextureCompress t;
        ASSERT_TRUE(t.Compress(*image, ParseTextureTargetList(targets), 26, true, true, false, false));
        auto fresh = TestImage(32, 16);
        CodecTextureDesc src{kCodecTextureDescSize, 32, 16, 0, CF_ARGB8888, uint32_t(fresh->GetDataSize()),
                             fresh->GetData()};
        std::vector<uint8_t> direct(32 * 16);
        CodecTextureDesc dst{kCodecTextureDescSize,   32,           16, 0, CF_ATC_RGBA_Explicit,
                             uint32_t(direct.size()), direct.data()};
        ASSERT_EQ(ConvertCodecTexture(&src, &dst, nullptr, nullptr, 0, 0), CODEC_OK);
        EXPECT_EQ(LevelBytes(t, 0), direct);
    }
}

TEST(TextureCompressTest, GreenInversionStepsByPixelSize)
{
    // A 24-bit image is walked 3 bytes at a time: the inversion used to step 4 and run past its end.
    for (uint32_t format : {Bitmap::FormatRGB24, Bitmap::FormatARGB32})
    {
        const uint32_t bpp = Bitmap::BytesPerPixel(format);
        std::vector<uint8_t> bytes(3 * bpp + 4, 0xAA);  // a guard beyond the image
        Bitmap image;
        ASSERT_TRUE(image.Init(3, 1, 0, format, bytes.data(), 3 * bpp));
        std::memset(bytes.data(), 0, bpp);             // pixel 0: no normal, stays zero
        std::memset(bytes.data() + bpp, 10, 2 * bpp);  // pixels 1 and 2
        InvertNormalMapGreen(image);
        EXPECT_EQ(bytes[1], 0);
        EXPECT_EQ(bytes[bpp + 1], 245);
        EXPECT_EQ(bytes[2 * bpp + 1], 245);
        EXPECT_EQ(bytes[2 * bpp], 10);
        EXPECT_EQ(bytes[3 * bpp], 0xAA);
    }
}

TEST(TextureCompressTest, DxtIsStableAndAtLeastNvttFastest)
{
    auto image = TestImage(128, 64);
    const Bitmap& source = *image;
    for (uint32_t format : {10u, 12u})
    {
        SCOPED_TRACE(format);
        auto a = TestImage(128, 64), b = TestImage(128, 64);
        TextureCompress first, second;
        ASSERT_TRUE(first.Compress(*a, ParseTextureTargetList("dxtc"), format, false, true, false, true));
        ASSERT_TRUE(second.Compress(*b, ParseTextureTargetList("dxtc"), format, false, true, false, true));
        ASSERT_EQ(first.GetLevelCount(), 8u);
        for (size_t i = 0; i < first.GetLevelCount(); ++i) EXPECT_EQ(LevelBytes(first, i), LevelBytes(second, i));
        const bool dxt5 = format == 12;
        auto opaque = TestImage(128, 64);
        if (!dxt5)
            for (uint32_t y = 0; y < 64; ++y)
                for (uint32_t x = 0; x < 128; ++x) opaque->Row(y)[x * 4 + 3] = 255;
        const Bitmap& ref = dxt5 ? source : *opaque;
        const double ours = DxtPsnr(ref, first.GetLevel(0)->GetData(), dxt5, false);
        const double nvtt =
            DxtPsnr(ref, NvttFastest(ref, dxt5 ? nvtt::Format_DXT5 : nvtt::Format_DXT1).data(), dxt5, false);
        EXPECT_GE(ours, nvtt);
        EXPECT_GT(ours, 30.0);
        if (dxt5)
        {
            EXPECT_GT(DxtPsnr(ref, first.GetLevel(0)->GetData(), true, true), 40.0);
        }
    }
    // DXT1 with 1-bit alpha keeps the transparent corner transparent.
    auto masked = TestImage(16, 16);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) masked->Row(y)[x * 4 + 3] = (x < 4 && y < 4) ? 0 : 255;
    TextureCompress t;
    ASSERT_TRUE(t.Compress(*masked, ParseTextureTargetList("dxtc"), 10, true, true, false, false));
    EXPECT_EQ(FirstTexelAlpha(t.GetLevel(0)->GetData()), 0);
    EXPECT_EQ(FirstTexelAlpha(t.GetLevel(0)->GetData() + 8), 255);
}

TEST(TextureCompressTest, DxtLevelsAreTheKaiserChainEncoded)
{
    // Level 0 is the picture itself and each further level the Kaiser chain's, with the texture's wrap mode,
    // each encoded with the front end's codec options.
    for (bool wrap : {true, false})
    {
        SCOPED_TRACE(wrap ? "repeat" : "clamp");
        auto image = TestImage(64, 32);
        TextureCompress t;
        ASSERT_TRUE(t.Compress(*image, ParseTextureTargetList("dxtc"), 12, true, wrap, false, true));
        const auto source = TestImage(64, 32);
        std::vector<const Bitmap*> levels = {source.get()};
        const auto chain = MakeKaiserMipChain(*source, wrap);
        for (const auto& level : chain) levels.push_back(level.get());
        ASSERT_EQ(t.GetLevelCount(), levels.size());
        CodecOptions options{};
        options.size = kCodecOptionsSize;
        options.alphaThreshold = 128;
        for (size_t i = 0; i < levels.size(); ++i)
        {
            const Bitmap& l = *levels[i];
            CodecTextureDesc src{kCodecTextureDescSize,
                                 l.GetWidth(),
                                 l.GetHeight(),
                                 l.GetPitch(),
                                 CF_ARGB8888,
                                 uint32_t(l.GetDataSize()),
                                 const_cast<uint8_t*>(l.GetData())};
            CodecTextureDesc dst{kCodecTextureDescSize, l.GetWidth(), l.GetHeight(), 0, CF_DXT5, 0, nullptr};
            std::vector<uint8_t> blocks(CodecTextureSize(&dst));
            dst.dataSize = uint32_t(blocks.size());
            dst.data = blocks.data();
            ASSERT_EQ(ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0), CODEC_OK);
            EXPECT_EQ(LevelBytes(t, i), blocks) << "level " << i;
        }
    }
}

TEST(TextureCompressTest, NormalMapLevelsStayUnitLength)
{
    // Normal maps keep nvtt's renormalised chain: two directions 60 degrees apart, pixel by pixel, average to
    // a vector of length cos 30 = 0.87 unless the levels are renormalised.
    Bitmap image(32, 32, Bitmap::FormatXRGB32);
    const double a = 30.0 * M_PI / 180.0;
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 32; ++x)
        {
            const double nx = ((x + y) % 2 ? 1 : -1) * std::sin(a), nz = std::cos(a);
            uint8_t* p = image.Row(y) + x * 4;
            p[2] = uint8_t(std::lround((nx * 0.5 + 0.5) * 255)), p[1] = 128,
            p[0] = uint8_t(std::lround((nz * 0.5 + 0.5) * 255));
            p[3] = 255;
        }
    TextureCompress t;
    ASSERT_TRUE(t.Compress(image, ParseTextureTargetList("dxtc"), 10, false, true, true, true));
    ASSERT_GE(t.GetLevelCount(), 2u);
    std::vector<uint8_t> rgba(16 * 16 * 4);
    squish::DecompressImage(rgba.data(), 16, 16, t.GetLevel(1)->GetData(), squish::kDxt1);
    double length = 0;
    for (size_t i = 0; i < 16 * 16; ++i)
    {
        const double v[3] = {rgba[4 * i] / 127.5 - 1, rgba[4 * i + 1] / 127.5 - 1, rgba[4 * i + 2] / 127.5 - 1};
        length += std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / (16 * 16);
    }
    EXPECT_GT(length, 0.95);
}

TEST(TextureCompressTest, PvrtcNeedsASquareImageBeforeTheToolStarts)
{
    TempDirScope temp;
    ASSERT_FALSE(temp.path.empty());
    // A stand-in tool that only records that it was started.
    const std::string fake = temp.path + "/fake-tool";
    {
        std::ofstream f(fake);
        f << "#!/bin/sh\ntouch \"" << temp.path << "/started\"\nexit 1\n";
    }
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    auto image = TestImage(16, 8);
    TextureCompress t;
    t.SetPvrTexToolPath(fake);
    EXPECT_FALSE(t.Compress(*image, ParseTextureTargetList("pvrtc"), 23, false, true, false, true));
    EXPECT_NE(t.GetLastError().find("square"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(temp.path + "/started"));
    // A square one starts it; its failure is reported and nothing is left behind.
    auto square = TestImage(16, 16);
    EXPECT_FALSE(t.Compress(*square, ParseTextureTargetList("pvrtc"), 23, false, true, false, true));
    EXPECT_NE(t.GetLastError().find("exit code 1"), std::string::npos) << t.GetLastError();
    EXPECT_TRUE(std::filesystem::exists(temp.path + "/started"));
    EXPECT_EQ(temp.Entries(), 2u);  // the stand-in and its record only
    // No tool at all: a clean failure.
    t.SetPvrTexToolPath(temp.path + "/missing");
    EXPECT_FALSE(t.Compress(*square, ParseTextureTargetList("ios"), 24, true, true, false, true));
    EXPECT_NE(t.GetLastError().find("PVRTexToolCLI was not found"), std::string::npos);
}

TEST(TextureCompressTest, PvrtcThroughTheRealTool)
{
    const std::string tool = std::string(VELMAR_STAGE_DIR) + "/bin/PVRTexToolCLI";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "PVRTexToolCLI is not staged (build-aux/deps.sh fetches it)";
    TempDirScope temp;
    struct Case
    {
        uint32_t side, format;
        bool mips;
        size_t levels;
    } cases[] = {{4, 23, true, 4}, {64, 24, true, 7}, {32, 23, false, 1}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.side);
        auto image = TestImage(c.side, c.side);
        TextureCompress t;
        t.SetPvrTexToolPath(tool);
        ASSERT_TRUE(t.Compress(*image, ParseTextureTargetList("pvrtc"), c.format, c.format == 24, true, false, c.mips))
            << t.GetLastError();
        ASSERT_EQ(t.GetLevelCount(), c.levels);
        const uint32_t first = std::max(c.side, 8u);
        EXPECT_EQ(t.GetLevel(0)->GetWidth(), first);
        EXPECT_EQ(t.GetLevel(0)->GetDataSize(), std::max<size_t>(first * first / 2, 32));
        EXPECT_EQ(t.GetLevel(c.levels - 1)->GetDataSize(), c.mips ? 32u : first * first / 2);
    }
    EXPECT_EQ(temp.Entries(), 0u);
}
