// Descriptor checks and size rules; also built with AddressSanitizer to prove that no accepted
// descriptor makes the library touch memory outside the caller's buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "TestImages.h"
#include "textures/codec/CodecTexture.h"

using testimg::Desc;

namespace {

// A heap block of exactly the descriptor's size followed by guard bytes that must stay untouched.
struct Guarded
{
    explicit Guarded(size_t size, uint8_t fill = 0x5A) : bytes(size + kGuard, fill), size(size)
    {
        std::memset(bytes.data() + size, 0xC3, kGuard);
    }
    bool GuardIntact() const
    {
        for (size_t i = size; i < bytes.size(); ++i)
            if (bytes[i] != 0xC3) return false;
        return true;
    }
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> bytes;
    size_t size;
};

}  // namespace

TEST(CodecSize, SizeRules)
{
    EXPECT_EQ(CodecTextureSizeForFormat(CF_DXT1, 5, 3, 0), 16u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_DXT5, 5, 3, 0), 32u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_ETC_RGB, 1, 1, 0), 8u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_ATC_RGBA_Interpolated, 1, 1, 0), 16u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_RGB888, 5, 2, 0), 32u);  // rows padded to 16 bytes
    EXPECT_EQ(CodecTextureSizeForFormat(CF_RGB888, 5, 2, 15), 30u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_ARGB32323232F, 3, 2, 0), 96u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_BC4, 8, 8, 0), 32u);
    EXPECT_EQ(CodecTextureSizeForFormat(37, 4, 4, 0), 0u);
    EXPECT_EQ(CompressedTextureSize(1, 4, 4), 0u);
    EXPECT_EQ(CompressedTextureSize(19, 4, 4), 0u);
    EXPECT_EQ(FormatToCodecType(CF_BC5), 13u);
    EXPECT_EQ(FormatToCodecType(0), 0u);
    CodecTextureDesc d = Desc(4, 4, 37, nullptr, 0);
    EXPECT_EQ(CodecTextureSize(&d), 0u);
    EXPECT_EQ(CodecTextureSize(nullptr), 0u);
}

TEST(CodecSize, SizesBeyond32BitsAreRefusedNotWrapped)
{
    EXPECT_EQ(CodecTextureSizeForFormat(CF_ARGB8888, 65536, 65536, 0), 0u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_ARGB32323232F, 0x10000000, 2, 0), 0u);
    EXPECT_EQ(CodecTextureSizeForFormat(CF_R8, 0x10000, 0x10000, 0x10000), 0u);
    EXPECT_EQ(CompressedTextureSize(4, 0xFFFFFFFFu, 4), 0u);  // width rounding up must not wrap to 0
    EXPECT_EQ(CompressedTextureSize(2, 0xFFFFFFFDu, 0xFFFFFFFDu), 0u);
    // A descriptor whose size wraps would otherwise pass the dataSize test with a tiny buffer.
    uint8_t small[16];
    CodecTextureDesc src = Desc(65536, 65536, CF_ARGB8888, small, sizeof small);
    CodecTextureDesc dst = Desc(65536, 65536, CF_DXT1, small, sizeof small);
    EXPECT_EQ(ValidateCodecTexture(&src, true), CODEC_BAD_SOURCE);
    EXPECT_EQ(ConvertCodecTexture(&src, &dst, nullptr, nullptr, 0, 0), CODEC_BAD_SOURCE);
}

TEST(CodecValidate, EveryResultCodeInOrder)
{
    std::vector<uint8_t> a(64 * 4), b(64 * 4);
    CodecTextureDesc src = Desc(8, 8, CF_ARGB8888, a.data(), 256);
    CodecTextureDesc dst = Desc(8, 8, CF_DXT5, b.data(), 64);
    EXPECT_EQ(ConvertCodecTexture(nullptr, &dst, nullptr, nullptr, 0, 0), CODEC_BAD_SOURCE);
    EXPECT_EQ(ConvertCodecTexture(&src, nullptr, nullptr, nullptr, 0, 0), CODEC_BAD_DESTINATION);

    auto check = [&](auto mutate, CodecResult asSource, CodecResult asDestination) {
        CodecTextureDesc s = src, d = dst;
        mutate(s);
        EXPECT_EQ(ConvertCodecTexture(&s, &dst, nullptr, nullptr, 0, 0), asSource);
        mutate(d);
        EXPECT_EQ(ConvertCodecTexture(&src, &d, nullptr, nullptr, 0, 0), asDestination);
    };
    check([](CodecTextureDesc& d) { d.size = 32; }, CODEC_BAD_SOURCE, CODEC_BAD_DESTINATION);
    check([](CodecTextureDesc& d) { d.width = 0; }, CODEC_BAD_SOURCE, CODEC_BAD_DESTINATION);
    check([](CodecTextureDesc& d) { d.height = 0; }, CODEC_BAD_SOURCE, CODEC_BAD_DESTINATION);
    check([](CodecTextureDesc& d) { d.format = 0; }, CODEC_BAD_SOURCE_FORMAT, CODEC_BAD_DESTINATION_FORMAT);
    check([](CodecTextureDesc& d) { d.format = 37; }, CODEC_BAD_SOURCE_FORMAT, CODEC_BAD_DESTINATION_FORMAT);
    check([](CodecTextureDesc& d) { d.data = nullptr; }, CODEC_BAD_SOURCE, CODEC_BAD_DESTINATION);
    check([](CodecTextureDesc& d) { d.dataSize -= 1; }, CODEC_BAD_SOURCE, CODEC_BAD_DESTINATION);
    // Format checks come before the data checks.
    check([](CodecTextureDesc& d) { d.format = 99, d.data = nullptr; }, CODEC_BAD_SOURCE_FORMAT,
          CODEC_BAD_DESTINATION_FORMAT);

    CodecTextureDesc narrow = Desc(4, 8, CF_DXT5, b.data(), 32);
    EXPECT_EQ(ConvertCodecTexture(&src, &narrow, nullptr, nullptr, 0, 0), CODEC_SIZE_MISMATCH);
}

TEST(CodecValidate, PitchBelowTheRowIsRefusedForEveryLayout)
{
    std::vector<uint8_t> data(4096);
    for (int32_t format = 1; format <= 14; ++format)
    {
        const uint32_t row = CodecTextureSizeForFormat(format, 4, 1, 0);
        const uint32_t minimum = format == CF_RGB888 ? 12 : row;  // an explicit 24-bit pitch needs no padding
        CodecTextureDesc d = Desc(4, 4, format, data.data(), uint32_t(data.size()), minimum - 1);
        EXPECT_EQ(ValidateCodecTexture(&d, true), CODEC_BAD_SOURCE_FORMAT) << format;
        EXPECT_EQ(ValidateCodecTexture(&d, false), CODEC_BAD_DESTINATION_FORMAT) << format;
        d.pitch = minimum;
        EXPECT_EQ(ValidateCodecTexture(&d, true), CODEC_OK) << format;
        d.pitch = 0;
        EXPECT_EQ(ValidateCodecTexture(&d, false), CODEC_OK) << format;
    }
    // Pitch means nothing for block formats.
    CodecTextureDesc blocks = Desc(4, 4, CF_DXT1, data.data(), 8, 1);
    EXPECT_EQ(ValidateCodecTexture(&blocks, true), CODEC_OK);
}

TEST(CodecValidate, Format2PaddedRowsAgreeWithTheBuffer)
{
    // 5x2 pixels of 3 bytes: rows of 15 bytes padded to 16, and the second row starts at 16.
    Guarded src(32);
    std::memset(src.bytes.data(), 0, 32);
    src.bytes[16] = 10, src.bytes[17] = 20, src.bytes[18] = 30;  // row 1, pixel 0 (B, G, R)
    std::vector<uint32_t> out(10);
    CodecTextureDesc s = Desc(5, 2, CF_RGB888, src.bytes.data(), 32);
    CodecTextureDesc d = Desc(5, 2, CF_ARGB8888, out.data(), 40);
    ASSERT_EQ(ConvertCodecTexture(&s, &d, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_EQ(out[5], 0xFF1E140Au);
    s.dataSize = 31;
    EXPECT_EQ(ConvertCodecTexture(&s, &d, nullptr, nullptr, 0, 0), CODEC_BAD_SOURCE);
    // And the other way: the padded rows are written where the size rule counts them.
    Guarded back(32, 0);
    CodecTextureDesc b = Desc(5, 2, CF_RGB888, back.bytes.data(), 32);
    ASSERT_EQ(ConvertCodecTexture(&d, &b, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_EQ(back.bytes[16], 10);
    EXPECT_EQ(back.bytes[18], 30);
    EXPECT_TRUE(back.GuardIntact());
}

// Every format both ways over odd sizes, through buffers of exactly the required size.
TEST(CodecValidate, NothingWrittenOutsideTheDestination)
{
    const uint32_t w = 7, h = 5;
    std::vector<uint32_t> pixels(w * h);
    for (uint32_t i = 0; i < pixels.size(); ++i) pixels[i] = 0x80000000u | i * 0x010305u;
    for (int32_t format = 2; format <= 36; ++format)
    {
        const CodecOptions single = testimg::Options(uint32_t(format % 3), format % 2);
        Guarded packed(CodecTextureSizeForFormat(format, w, h, 0));
        CodecTextureDesc s = Desc(w, h, CF_ARGB8888, pixels.data(), w * h * 4);
        CodecTextureDesc d = Desc(w, h, format, packed.bytes.data(), uint32_t(packed.size));
        ASSERT_EQ(ConvertCodecTexture(&s, &d, &single, nullptr, 0, 0), CODEC_OK) << format;
        EXPECT_TRUE(packed.GuardIntact()) << format;

        Guarded unpacked(w * h * 4);
        CodecTextureDesc u = Desc(w, h, CF_ARGB8888, unpacked.bytes.data(), uint32_t(unpacked.size));
        ASSERT_EQ(ConvertCodecTexture(&d, &u, nullptr, nullptr, 0, 0), CODEC_OK) << format;
        EXPECT_TRUE(unpacked.GuardIntact()) << format;

        // Decompressing into a pitched layout leaves the row padding alone.
        if (format >= 15)
        {
            Guarded pitched(40 * h);
            CodecTextureDesc p = Desc(w, h, CF_ARGB8888, pitched.bytes.data(), uint32_t(pitched.size), 40);
            ASSERT_EQ(ConvertCodecTexture(&d, &p, nullptr, nullptr, 0, 0), CODEC_OK) << format;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = w * 4; x < 40; ++x) ASSERT_EQ(pitched.bytes[y * 40 + x], 0x5A) << format;
            EXPECT_TRUE(pitched.GuardIntact());
        }
    }
}

TEST(CodecValidate, TranscodeBetweenBlockFormats)
{
    const uint32_t w = 6, h = 6;
    std::vector<uint32_t> pixels(w * h, 0xFF336699u);
    Guarded dxt1(CodecTextureSizeForFormat(CF_DXT1, w, h, 0));
    CodecTextureDesc s = Desc(w, h, CF_ARGB8888, pixels.data(), w * h * 4);
    CodecTextureDesc a = Desc(w, h, CF_DXT1, dxt1.bytes.data(), uint32_t(dxt1.size));
    ASSERT_EQ(ConvertCodecTexture(&s, &a, nullptr, nullptr, 0, 0), CODEC_OK);
    Guarded dxt5(CodecTextureSizeForFormat(CF_DXT5, w, h, 0));
    CodecTextureDesc b = Desc(w, h, CF_DXT5, dxt5.bytes.data(), uint32_t(dxt5.size));
    EXPECT_EQ(ConvertCodecTexture(&a, &b, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_TRUE(dxt5.GuardIntact());
    // Same codec, different format number: there is no buffer type to convert through.
    Guarded bc1(dxt1.size);
    CodecTextureDesc c = Desc(w, h, CF_BC1, bc1.bytes.data(), uint32_t(bc1.size));
    EXPECT_EQ(ConvertCodecTexture(&a, &c, nullptr, nullptr, 0, 0), CODEC_FAILED);
    // Same format with another pitch: no buffer type either, and nothing is written.
    c.format = CF_DXT1;
    c.pitch = 77;
    std::memset(bc1.bytes.data(), 0xA5, bc1.size);
    EXPECT_EQ(ConvertCodecTexture(&a, &c, nullptr, nullptr, 0, 0), CODEC_FAILED);
    EXPECT_EQ(std::vector<uint8_t>(bc1.bytes.begin(), bc1.bytes.begin() + long(bc1.size)),
              std::vector<uint8_t>(bc1.size, 0xA5));
    // Same format and pitch: a plain copy.
    a.pitch = c.pitch;
    EXPECT_EQ(ConvertCodecTexture(&a, &c, nullptr, nullptr, 0, 0), CODEC_OK);
    EXPECT_EQ(0, std::memcmp(bc1.bytes.data(), dxt1.bytes.data(), dxt1.size));
    EXPECT_TRUE(bc1.GuardIntact());
}
