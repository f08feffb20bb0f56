#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <utility>

#include "textures/codec/HalfFloat.h"

TEST(HalfFloat, ExactValuesEdgesAndRounding)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, uint16_t> cases[] = {
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {65504.0f, 0x7BFF},               // largest finite
        {std::ldexp(1.0f, -24), 0x0001},  // smallest subnormal
        {std::ldexp(1.0f, -14), 0x0400},  // smallest normal
        {-0.0f, 0x0000},
        {-1e-30f, 0x0000},  // underflow loses the sign
        {inf, 0x7C00},
        {-inf, 0xFC00},
        // Ties go up.
        {std::ldexp(1.0f, -25), 0x0001},                        // half of the smallest subnormal
        {std::nextafter(std::ldexp(1.0f, -25), 0.0f), 0x0000},  // just below it
        {1.0f + std::ldexp(1.0f, -11), 0x3C01},                 // tie between 1 and 1+2^-10
        {1.0f + std::ldexp(1.0f, -12), 0x3C00},
        {2.0f - std::ldexp(1.0f, -12), 0x4000},  // carry into the exponent
        // 65488..65519 round to 65504, not to infinity; 65520 is the tie that overflows.
        {65488.0f, 0x7BFF},
        {65500.0f, 0x7BFF},
        {65519.0f, 0x7BFF},
        {65520.0f, 0x7C00},
        {-65500.0f, 0xFBFF},
        {1e10f, 0x7C00},
        // The same near the top of the other slow-path exponent ranges: 32752 is below the carry.
        {32760.0f, 0x7800},
        {32750.0f, 0x77FF},
    };
    for (const auto& [in, half] : cases) EXPECT_EQ(FloatToHalf(in), half) << in;
}

TEST(HalfFloat, NaNsStayNaNsAndDecodingKeepsClassAndSign)
{
    EXPECT_EQ(FloatToHalf(std::bit_cast<float>(0x7FC00000u)), 0x7E00);
    // Payload only in the low mantissa bits: still a NaN.
    EXPECT_EQ(FloatToHalf(std::bit_cast<float>(0x7F800001u)), 0x7C01);
    EXPECT_EQ(FloatToHalf(std::bit_cast<float>(0xFF800001u)), 0xFC01);
    EXPECT_TRUE(std::isnan(HalfToFloat(0x7E00)));
    EXPECT_EQ(HalfToFloat(0x7C00), std::numeric_limits<float>::infinity());
    EXPECT_EQ(HalfToFloat(0x3C00), 1.0f);
    EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));
    EXPECT_TRUE(std::signbit(HalfToFloat(0x8000)));
}

// With the exact encodings above, this also pins every finite decoding to its own rounding interval.
TEST(HalfFloat, EveryFiniteHalfRoundTrips)
{
    for (uint32_t h = 0; h < 0x10000; ++h)
    {
        if ((h & 0x7C00) == 0x7C00 || h == 0x8000) continue;  // inf/NaN; -0 becomes +0
        ASSERT_EQ(FloatToHalf(HalfToFloat(uint16_t(h))), h) << std::hex << h;
    }
}
