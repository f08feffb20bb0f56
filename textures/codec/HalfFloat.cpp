#include "textures/codec/HalfFloat.h"

#include <array>
#include <bit>
#include <cfenv>

namespace {

float ExactHalf(uint16_t h)
{
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    const uint32_t exp = (h >> 10) & 0x1F;
    uint32_t mant = h & 0x3FF;
    uint32_t bits;
    if (exp == 0)
    {
        if (mant == 0)
        {
            bits = sign;
        }
        else
        {  // subnormal: normalise into a float
            int e = -1;
            do
            {
                ++e;
                mant <<= 1;
            } while ((mant & 0x400) == 0);
            bits = sign | uint32_t(127 - 15 - e) << 23 | (mant & 0x3FF) << 13;
        }
    }
    else if (exp == 31)
    {
        bits = sign | 0x7F800000u | mant << 13;
    }
    else
    {
        bits = sign | (exp + 112) << 23 | mant << 13;
    }
    return std::bit_cast<float>(bits);
}

const std::array<float, 65536>& HalfTable()
{
    static const std::array<float, 65536> table = [] {
        std::array<float, 65536> t{};
        for (uint32_t h = 0; h < 65536; ++h) t[h] = ExactHalf(uint16_t(h));
        return t;
    }();
    return table;
}

constexpr std::array<uint16_t, 512> kBaseTable = [] {
    std::array<uint16_t, 512> t{};
    for (int e = 113; e <= 141; ++e)
    {
        t[e] = uint16_t((e - 112) << 10);
        t[e + 256] = uint16_t(((e - 112) << 10) | 0x8000);
    }
    return t;
}();

}  // namespace

float HalfToFloat(uint16_t h) { return HalfTable()[h]; }

uint16_t FloatToHalfSlow(uint32_t bits)
{
    const uint32_t E = (bits >> 23) & 255;
    const int e = int(E) - 112;
    const uint32_t sign = (bits >> 16) & 0x8000;
    uint32_t m = bits & 0x7FFFFF;
    if (e < 1)
    {
        if (e < -10) return 0;
        uint32_t t = (m | 0x800000) >> (1 - e);
        if (t & 0x1000) t += 0x2000;
        return uint16_t((t >> 13) | sign);
    }
    if (E == 255)
    {
        if (m == 0) return uint16_t(sign | 0x7C00);
        uint32_t t = m >> 13;
        if (t == 0) t = 1;
        return uint16_t(t | sign | 0x7C00);
    }
    int ee = e;
    if (bits & 0x1000)
    {
        m += 0x2000;
        if (m > 0x7FFFFF)
        {  // a real carry out of the 23-bit mantissa
            m = 0;
            ee = int(E) - 111;
        }
    }
    // Values that round to 65504 or below stay finite; only a mantissa carry past the largest
    // exponent (or a larger exponent) overflows to infinity.
    if (ee < 31) return uint16_t((m >> 13) | uint32_t(ee) << 10 | sign);
    std::feraiseexcept(FE_OVERFLOW);
    return uint16_t(sign | 0x7C00);
}

uint16_t FloatToHalf(float v)
{
    if (v == 0.0f) return 0;
    const uint32_t bits = std::bit_cast<uint32_t>(v);
    const uint16_t base = kBaseTable[bits >> 23];
    if (base != 0) return uint16_t(base + (((bits & 0x7FFFFF) + 0x1000) >> 13));
    return FloatToHalfSlow(bits);
}
