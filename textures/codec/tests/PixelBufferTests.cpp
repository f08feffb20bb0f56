#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "textures/codec/BlockBuffer.h"
#include "textures/codec/CodecBuffer.h"
#include "textures/codec/HalfFloat.h"
#include "textures/codec/PixelBuffer.h"

namespace {

using BufferPtr = std::unique_ptr<CodecBuffer>;

BufferPtr Make(uint32_t type, uint32_t w, uint32_t h, uint32_t pitch = 0, void* data = nullptr)
{
    return BufferPtr(CreateCodecBuffer(type, w, h, pitch, data));
}

// The first `n` values of a small array, to compare as one list.
template <class T, size_t N>
std::vector<int> Values(const T (&a)[N], size_t n = N)
{
    return std::vector<int>(a, a + n);
}

constexpr ValueForm kForms[] = {ValueForm::Double, ValueForm::Float, ValueForm::Half,
                                ValueForm::U32,    ValueForm::U16,   ValueForm::U8};

}  // namespace

TEST(PixelBuffer, FactoryRefusesUnknownTypes)
{
    for (uint32_t t = 0; t <= 27; ++t) EXPECT_EQ(Make(t, 5, 5) == nullptr, t == 0 || t == 22 || t == 27) << t;
    EXPECT_EQ(FormatToBufferType(15), 0u);  // block formats have no pixel buffer
}

TEST(PixelBuffer, PitchRules)
{
    EXPECT_EQ(Make(2, 5, 2)->Pitch(), 16u);      // 24-bit rows padded to words, as the size rule says
    EXPECT_EQ(Make(2, 5, 2, 15)->Pitch(), 15u);  // an explicit pitch is kept
    EXPECT_EQ(Make(1, 5, 2, 3)->Pitch(), 20u);   // raised to the row size
    BufferPtr blocks = Make(19, 5, 5, 999);
    EXPECT_EQ(blocks->Pitch(), 16u);  // recomputed from the blocks whatever was passed
    EXPECT_EQ(Make(26, 9, 9)->Pitch(), 256u);
}

TEST(PixelBuffer, EdgeReadsRepeatInsidePixels)
{
    std::vector<uint32_t> px(5 * 3);
    for (uint32_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | i;
    BufferPtr b = Make(1, 5, 3, 0, px.data());
    uint32_t out[16];
    ASSERT_TRUE(b->ReadBlock(ValueForm::U8, 4, 0, 4, 4, out));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(out[r * 4 + c], px[(r % 3) * 5 + 4]) << r << "," << c;
    EXPECT_FALSE(b->ReadBlock(ValueForm::U8, 5, 0, 4, 4, out));
    EXPECT_FALSE(b->ReadBlock(ValueForm::U8, 0, 3, 4, 4, out));
}

TEST(PixelBuffer, EdgeWritesStayInside)
{
    std::vector<uint32_t> px(6 * 6 + 4, 0x11111111u);  // trailing guard words
    BufferPtr b = Make(1, 5, 5, 24, px.data());
    uint32_t in[16];
    for (uint32_t& v : in) v = 0xAABBCCDDu;
    ASSERT_TRUE(b->WriteBlock(ValueForm::U8, 4, 4, 4, 4, in));
    EXPECT_EQ(px[4 * 6 + 4], 0xAABBCCDDu);
    EXPECT_EQ(px[4 * 6 + 5], 0x11111111u);  // pitch padding untouched
    for (size_t i = 30; i < px.size(); ++i) EXPECT_EQ(px[i], 0x11111111u);
}

TEST(PixelBuffer, ChannelOrderOfTheByteForm)
{
    float f[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    BufferPtr b = Make(15, 1, 1, 0, f);
    uint8_t out[4];
    ASSERT_TRUE(b->ReadBlock(ValueForm::U8, 0, 0, 1, 1, out));
    EXPECT_EQ(Values(out), (std::vector<int>{0, 128, 255, 255}));  // blue first
    uint8_t rgb[3] = {10, 20, 30};                                 // B, G, R
    BufferPtr b3 = Make(2, 1, 1, 0, rgb);
    ASSERT_TRUE(b3->ReadBlock(ValueForm::U8, 0, 0, 1, 1, out));
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[2], 30);
    EXPECT_EQ(out[3], 255);  // missing alpha reads full
}

TEST(PixelBuffer, Packed1010102Expansion)
{
    uint32_t word = 1023u << 20 | 512u << 10 | 0u | 2u << 30;
    BufferPtr b = Make(5, 1, 1, 0, &word);
    uint16_t out[4];
    ASSERT_TRUE(b->ReadBlock(ValueForm::U16, 0, 0, 1, 1, out));
    // Bit replication, so that writing it back gives 512 again.
    EXPECT_EQ(Values(out), (std::vector<int>{0xFFFF, 0x8020, 0, 0xAAAA}));
    ASSERT_TRUE(b->WriteBlock(ValueForm::U16, 0, 0, 1, 1, out));
    EXPECT_EQ(word, 1023u << 20 | 512u << 10 | 2u << 30);
}

TEST(PixelBuffer, ValueConversions)
{
    // Narrowing rounds to the nearest level: 0x1292 lies between 0x1212 (18) and 0x1313 (19).
    uint16_t u16[4] = {0x1292, 0x1293, 0xFFFF, 0xAAAA};
    uint8_t u8[4];
    ConvertValues(ValueForm::U16, u16, ValueForm::U8, u8, 4);
    EXPECT_EQ(Values(u8), (std::vector<int>{0x12, 0x13, 0xFF, 0xAA}));
    uint8_t b = 0xAB;
    uint32_t u32;
    ConvertValues(ValueForm::U8, &b, ValueForm::U32, &u32, 1);
    EXPECT_EQ(u32, 0xABABABABu);
    // Reals outside 0..1 are clamped, not wrapped into the low bits.
    const float reals[5] = {1.5f, -0.25f, 2.0f, std::nanf(""), 1.0f};
    ConvertValues(ValueForm::Float, reals, ValueForm::U8, u8, 3);
    EXPECT_EQ(Values(u8, 3), (std::vector<int>{255, 0, 255}));
    uint16_t w16[5];
    ConvertValues(ValueForm::Float, reals, ValueForm::U16, w16, 5);
    EXPECT_EQ(w16[0], 65535);
    EXPECT_EQ(w16[3], 0);
    uint32_t w32[5];
    ConvertValues(ValueForm::Float, reals, ValueForm::U32, w32, 5);
    EXPECT_EQ(w32[4], 0xFFFFFFFFu);
    EXPECT_EQ(w32[1], 0u);
}

// Every layout written and read back in every number form: levels the layout holds exactly come
// back unchanged, channels it lacks read 0 (alpha: full).
TEST(PixelBuffer, RoundTripEveryLayoutInEveryForm)
{
    for (uint32_t type = 1; type <= 17; ++type)
    {
        const PixelLayout* layout = FindPixelLayout(type);
        ASSERT_NE(layout, nullptr);
        const int step = 85;  // 0, 85, 170, 255: exact in every layout, the 2-bit alpha included
        uint8_t rgba[16][4];
        for (int i = 0; i < 16; ++i)
            for (int c = 0; c < 4; ++c) rgba[i][c] = uint8_t(step * ((i * 3 + c * 5 + i / 4) % (255 / step + 1)));
        for (ValueForm form : kForms)
        {
            BufferPtr b = Make(type, 4, 4);
            ASSERT_NE(b, nullptr);
            uint8_t bytes[64];
            for (int i = 0; i < 16; ++i)
                for (int c = 0; c < 4; ++c)
                {
                    const int slot = form == ValueForm::U8 && c != 1 && c != 3 ? 2 - c : c;
                    bytes[i * 4 + slot] = rgba[i][c];
                }
            double asForm[64];
            ConvertValues(ValueForm::U8, bytes, form, asForm, 64);
            ASSERT_TRUE(b->WriteBlock(form, 0, 0, 4, 4, asForm)) << type;
            uint8_t back[64];
            ASSERT_TRUE(b->ReadBlock(ValueForm::U8, 0, 0, 4, 4, back));
            for (int i = 0; i < 16; ++i)
            {
                for (int c = 0; c < 4; ++c)
                {
                    uint8_t expected = rgba[i][c];
                    if (c == 3 && layout->channels < 4) expected = 255;
                    if (c < 3 && c >= int(layout->channels)) expected = 0;
                    const int slot = c != 1 && c != 3 ? 2 - c : c;
                    EXPECT_EQ(back[i * 4 + slot], expected)
                        << "type " << type << " form " << int(form) << " texel " << i << " channel " << c;
                }
            }
        }
    }
}

TEST(PixelBuffer, ChannelReadsAndWrites)
{
    std::vector<uint32_t> px(16, 0xFF000000u);
    BufferPtr b = Make(1, 4, 4, 0, px.data());
    float ramp[16];
    for (int i = 0; i < 16; ++i) ramp[i] = float(i) / 15.0f;
    ASSERT_TRUE(b->WriteChannel(0, ValueForm::Float, 0, 0, 4, 4, ramp));
    EXPECT_EQ(px[15], 0xFFFF0000u);
    EXPECT_EQ(px[0], 0xFF000000u);
    uint8_t red[16];
    ASSERT_TRUE(b->ReadChannel(0, ValueForm::U8, 0, 0, 4, 4, red));
    EXPECT_EQ(red[5], 85);
    EXPECT_FALSE(b->ReadChannel(4, ValueForm::U8, 0, 0, 4, 4, red));
}

TEST(PixelBuffer, ConvertFromBetweenLayouts)
{
    std::vector<uint32_t> src(6 * 5);
    for (uint32_t i = 0; i < src.size(); ++i) src[i] = 0x80000000u | (i * 8) << 16 | (255 - i) << 8 | i;
    BufferPtr from = Make(1, 6, 5, 0, src.data());
    BufferPtr half = Make(12, 6, 5);
    half->ConvertFrom(*from);
    std::vector<uint32_t> back(6 * 5);
    BufferPtr to = Make(1, 6, 5, 0, back.data());
    to->ConvertFrom(*half);
    EXPECT_EQ(back, src);
    BufferPtr other = Make(1, 5, 5);
    std::vector<uint32_t> untouched = back;
    to->ConvertFrom(*other);  // sizes differ: nothing happens
    EXPECT_EQ(back, untouched);
}

TEST(BlockBuffer, CompressedBlockAccess)
{
    BufferPtr b = Make(19, 5, 5);
    uint8_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8}, out[8] = {};
    EXPECT_TRUE(b->WriteCompressedBlock(4, 4, in, 2));
    EXPECT_TRUE(b->ReadCompressedBlock(4, 4, out, 2));
    EXPECT_EQ(0, std::memcmp(in, out, 8));
    EXPECT_EQ(0, std::memcmp(b->Data() + 24, in, 8));
    EXPECT_FALSE(b->ReadCompressedBlock(5, 0, out, 2));  // outside
    EXPECT_FALSE(b->ReadCompressedBlock(0, 0, out, 4));  // wrong block size
    EXPECT_FALSE(b->ReadCompressedBlock(0, 0, nullptr, 2));
    uint8_t px[4];
    EXPECT_FALSE(b->ReadBlock(ValueForm::U8, 0, 0, 1, 1, px));  // block buffers hold no pixels
}
