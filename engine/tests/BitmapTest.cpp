#include "engine/Bitmap.h"
#include "engine/File.h"

#include "ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using Orvo::Bitmap;

namespace {

// A 5 x 3 image whose every pixel differs: blue = x, green = y, red = 40 x + 7 y, alpha = 255 - 13 x.
std::unique_ptr<Bitmap> Pattern(uint32_t format)
{
    auto b = std::make_unique<Bitmap>(5, 3, format);
    const uint32_t bpp = Bitmap::BytesPerPixel(format);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x)
        {
            uint8_t* p = b->Row(y) + x * bpp;
            p[0] = uint8_t(x * 50);
            p[1] = uint8_t(y * 100);
            p[2] = uint8_t(40 * x + 7 * y);
            if (bpp == 4) p[3] = format == Bitmap::FormatARGB32 ? uint8_t(255 - 13 * x) : 0xFF;
        }
    return b;
}

int MaxDifference(const Bitmap& a, const Bitmap& b)
{
    int worst = 0;
    for (uint32_t y = 0; y < a.GetHeight(); ++y)
        for (uint32_t i = 0; i < a.GetWidth() * 4; ++i) worst = std::max(worst, std::abs(a.Row(y)[i] - b.Row(y)[i]));
    return worst;
}

std::string Bytes(std::initializer_list<int> v)
{
    std::string s;
    for (int c : v) s.push_back(char(c));
    return s;
}

// TGA header: type, width, height, bits, descriptor (bit 5: top-left origin).
std::string TgaHeader(int type, int w, int h, int bits, int descriptor)
{
    return Bytes({0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, w & 255, w >> 8, h & 255, h >> 8, bits, descriptor});
}

std::string BmpFile(int w, int h, int bits, const std::string& pixels)
{
    auto le32 = [](uint32_t v) { return Bytes({int(v & 255), int(v >> 8 & 255), int(v >> 16 & 255), int(v >> 24)}); };
    std::string s = "BM" + le32(uint32_t(54 + pixels.size())) + le32(0) + le32(54);
    s += le32(40) + le32(uint32_t(w)) + le32(uint32_t(h)) + Bytes({1, 0, bits, 0}) + le32(0) +
         le32(uint32_t(pixels.size())) + le32(2835) + le32(2835) + le32(0) + le32(0);
    return s + pixels;
}

std::unique_ptr<Bitmap> FromBytes(const std::string& s, Orvo::String& reason)
{
    return Bitmap::LoadFromMemory(reinterpret_cast<const uint8_t*>(s.data()), s.size(), "test", reason);
}

}  // namespace

TEST(BitmapTest, SavedFilesReadBack)
{
    ScratchFolder dir;
    ASSERT_TRUE(dir.IsValid());
    struct Case
    {
        const char* name;
        uint32_t format;
        int tolerance;
    } cases[] = {
        {"a.png", Bitmap::FormatARGB32, 0},  {"b.png", Bitmap::FormatXRGB32, 0}, {"c.tga", Bitmap::FormatARGB32, 0},
        {"d.tga", Bitmap::FormatXRGB32, 0},  {"e.bmp", Bitmap::FormatARGB32, 0}, {"f.bmp", Bitmap::FormatXRGB32, 0},
        {"g.jpg", Bitmap::FormatXRGB32, 48},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto image = Pattern(c.format);
        Orvo::String reason;
        ASSERT_TRUE(image->Save(dir / c.name, &reason)) << reason.c_str();
        auto back = Bitmap::Load(dir / c.name, reason);
        ASSERT_TRUE(back) << reason.c_str();
        EXPECT_EQ(back->GetFormat(), c.format);
        ASSERT_EQ(back->GetWidth(), 5u);
        ASSERT_EQ(back->GetHeight(), 3u);
        EXPECT_LE(MaxDifference(*image, *back), c.tolerance);
    }
    // Only the saved files are left: no part files beside them.
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path)) files += e.is_regular_file();
    EXPECT_EQ(files, std::size(cases));
}

TEST(BitmapTest, HandMadeTgaAndBmpFilesDecode)
{
    // Each fixture is a 2 x 2 image; expected pixels in BGRA, top row first.
    const std::string bgrRows = Bytes({1, 2, 3, 4, 5, 6}) + Bytes({7, 8, 9, 10, 11, 12});
    struct Case
    {
        const char* name;
        std::string file;
        std::vector<int> top;  // B, G, R, A of the top-left and top-right pixels
        uint32_t format;
    } cases[] = {
        // 24-bit raw, bottom-left origin: the first row in the file is the bottom one.
        {"tga 24 raw bottom-up",
         TgaHeader(2, 2, 2, 24, 0) + bgrRows,
         {7, 8, 9, 255, 10, 11, 12, 255},
         Bitmap::FormatXRGB32},
        // 32-bit raw, top-left origin.
        {"tga 32 raw top-down",
         TgaHeader(2, 2, 2, 32, 0x28) + Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 0, 0, 0, 0}),
         {1, 2, 3, 4, 5, 6, 7, 8},
         Bitmap::FormatARGB32},
        // 24-bit RLE: one run of 3 pixels, then one raw pixel; bottom-left origin.
        {"tga 24 rle",
         TgaHeader(10, 2, 2, 24, 0) + Bytes({0x82, 1, 2, 3, 0x00, 4, 5, 6}),
         {1, 2, 3, 255, 4, 5, 6, 255},
         Bitmap::FormatXRGB32},
        // 8-bit grey, top-left origin.
        {"tga 8 grey",
         TgaHeader(3, 2, 2, 8, 0x20) + Bytes({10, 20, 30, 40}),
         {10, 10, 10, 255, 20, 20, 20, 255},
         Bitmap::FormatXRGB32},
        // 24-bit BMP, rows bottom-up, each padded to 8 bytes.
        {"bmp 24 bottom-up",
         BmpFile(2, 2, 24, Bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0})),
         {7, 8, 9, 255, 10, 11, 12, 255},
         Bitmap::FormatXRGB32},
        // 32-bit BMP with a negative height: rows top-down.
        {"bmp 32 top-down",
         BmpFile(2, -2, 32, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9, 0, 0, 0, 0})),
         {1, 2, 3, 4, 5, 6, 7, 8},
         Bitmap::FormatARGB32},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Orvo::String reason;
        auto b = FromBytes(c.file, reason);
        ASSERT_TRUE(b) << reason.c_str();
        EXPECT_EQ(b->GetFormat(), c.format);
        std::vector<int> top(b->Row(0), b->Row(0) + 8);
        EXPECT_EQ(top, c.top);
    }
}

TEST(BitmapTest, DamagedFilesAreRefusedWithAReason)
{
    ScratchFolder dir;
    auto image = Pattern(Bitmap::FormatARGB32);
    ASSERT_TRUE(image->Save(dir / "p.png"));
    ASSERT_TRUE(image->Save(dir / "j.jpg"));
    std::string png, jpg;
    ASSERT_TRUE(Orvo::File::ReadFile(dir / "p.png", png));
    ASSERT_TRUE(Orvo::File::ReadFile(dir / "j.jpg", jpg));
    std::string badCrc = png;
    badCrc[40] ^= 0x55;
    struct Case
    {
        const char* name;
        std::string file;
        const char* reason;
    } cases[] = {
        {"png cut short", png.substr(0, png.size() - 20), "damaged PNG"},
        {"png bit flip", badCrc, "damaged PNG"},
        {"jpeg cut short", jpg.substr(0, jpg.size() / 2), "damaged JPEG"},
        {"tga raw cut short", TgaHeader(2, 2, 2, 24, 0) + Bytes({1, 2, 3}), "ends inside the pixel data"},
        {"tga rle cut short", TgaHeader(10, 2, 2, 24, 0) + Bytes({0x81, 1, 2, 3}), "ends inside the run-length"},
        {"tga zero width", TgaHeader(2, 0, 2, 24, 0), "outside"},
        {"tga unknown type", TgaHeader(7, 2, 2, 24, 0) + std::string(12, '\0'), "unknown TGA image type"},
        {"bmp huge", BmpFile(100000, 100000, 24, ""), "outside"},
        {"bmp pixels missing", BmpFile(4, 4, 24, Bytes({1, 2, 3})), "ends inside the pixel data"},
        {"empty", "", "empty file"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Orvo::String reason;
        EXPECT_FALSE(FromBytes(c.file, reason));
        EXPECT_NE(reason.str().find(c.reason), std::string::npos) << reason.c_str();
    }
    Orvo::String reason;
    EXPECT_FALSE(Bitmap::Load(dir / "missing.png", reason));
    EXPECT_NE(reason.str().find("file not found"), std::string::npos);
}

TEST(BitmapTest, ScalingAndCopying)
{
    // Halving averages 2 x 2 pixels; 4 x 1 halves to 2 x 1 then 1 x 1.
    Bitmap row(4, 1, Bitmap::FormatARGB32);
    const uint8_t values[4] = {0, 100, 200, 255};
    for (int x = 0; x < 4; ++x) std::memset(row.Row(0) + x * 4, values[x], 4);
    auto half = row.Scale(2, 1);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->Row(0)[0], 50);
    EXPECT_EQ(half->Row(0)[4], 228);  // (200 + 255) / 2 rounded
    auto one = half->Scale(1, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->Row(0)[0], 139);  // (50 + 228) / 2
    // Growing samples bilinearly and keeps the corners.
    auto grown = row.ScaleArbitrary(8, 8);
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->Row(7)[0], 0);
    EXPECT_EQ(grown->Row(0)[7 * 4], 255);
    // Raw data cannot be scaled; aliasing and detaching.
    std::vector<uint8_t> blocks(8, 7);
    Bitmap raw;
    ASSERT_TRUE(raw.Init(4, 4, 0, Bitmap::FormatRaw, blocks.data(), blocks.size()));
    EXPECT_TRUE(raw.IsAlias());
    EXPECT_FALSE(raw.Scale(2, 2));
    raw.DetachAlias();
    blocks[0] = 0;
    EXPECT_FALSE(raw.IsAlias());
    EXPECT_EQ(raw.GetData()[0], 7);
    // 24-bit into format 3 gains 0xFF on top; into format 2 as well.
    Bitmap rgb(1, 1, Bitmap::FormatRGB24), x(2, 2, Bitmap::FormatXRGB32);
    std::memcpy(rgb.GetData(), "\x01\x02\x03", 3);
    ASSERT_TRUE(x.CopyImage(rgb, 1, 1));
    EXPECT_EQ(std::vector<int>(x.Row(1) + 4, x.Row(1) + 8), (std::vector<int>{1, 2, 3, 255}));
    EXPECT_EQ(x.Row(0)[0], 0);
    EXPECT_FALSE(Bitmap().Init(0, 4, 0, Bitmap::FormatARGB32, nullptr, 0));
    EXPECT_FALSE(Bitmap().Init(4, 4, 0, 6, nullptr, 0));  // no such pixel format
}

TEST(BitmapTest, GreyImagesCopyScaleAndSaveAsColour)
{
    Bitmap grey(2, 1, Bitmap::FormatGrey8);
    ASSERT_TRUE(grey.IsValid());
    EXPECT_EQ(grey.GetPitch(), 2u);
    grey.Row(0)[0] = 40;
    grey.Row(0)[1] = 200;
    // Grey into colour: equal blue, green and red, opaque.
    Bitmap argb(2, 1, Bitmap::FormatARGB32);
    ASSERT_TRUE(argb.CopyImage(grey, 0, 0));
    EXPECT_EQ(std::vector<int>(argb.Row(0), argb.Row(0) + 8), (std::vector<int>{40, 40, 40, 255, 200, 200, 200, 255}));
    // Colour into grey by luminance: pure blue, green and red, and white.
    Bitmap colours(4, 1, Bitmap::FormatRGB24), back(4, 1, Bitmap::FormatGrey8);
    std::memcpy(colours.GetData(), "\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 12);
    ASSERT_TRUE(back.CopyImage(colours, 0, 0));
    EXPECT_EQ(std::vector<int>(back.Row(0), back.Row(0) + 4), (std::vector<int>{29, 149, 77, 255}));
    auto half = grey.Scale(1, 1);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->GetFormat(), uint32_t(Bitmap::FormatGrey8));
    EXPECT_EQ(half->Row(0)[0], 120);
    // Saved as colour; read back as format 3 with the grey in every channel.
    ScratchFolder folder;
    ASSERT_TRUE(grey.Save(folder / "grey.png"));
    Orvo::String reason;
    auto loaded = Bitmap::Load(folder / "grey.png", reason);
    ASSERT_TRUE(loaded) << reason.c_str();
    EXPECT_EQ(loaded->GetFormat(), uint32_t(Bitmap::FormatXRGB32));
    EXPECT_EQ(std::vector<int>(loaded->Row(0) + 4, loaded->Row(0) + 7), (std::vector<int>{200, 200, 200}));
}
