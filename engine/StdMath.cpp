#include "engine/StdMath.h"

#include <array>
#include <cmath>
#include <cstring>

namespace Orvo {
namespace {

// Entry i holds the mantissa of 1 / sqrt(m) scaled into [1, 2) for the mantissa m in the middle of the
// bucket i: an odd exponent (bit 8 of i set) needs 2 / sqrt(m), an even one sqrt(2) / sqrt(m).
std::array<uint32_t, 512> MakeTable()
{
    std::array<uint32_t, 512> table{};
    for (int i = 0; i < 512; ++i)
    {
        const double m = 1.0 + ((i & 0xFF) + 0.5) / 256.0;
        double r = ((i & 0x100) ? 2.0 : 1.4142135623730951) / std::sqrt(m);
        double mantissa = (r - 1.0) * 8388608.0;
        if (mantissa < 0) mantissa = 0;
        if (mantissa > 8388607.0) mantissa = 8388607.0;
        table[i] = static_cast<uint32_t>(mantissa + 0.5);
    }
    return table;
}

}  // namespace

const std::array<uint32_t, 512>& StdMath::SqrtLUT()
{
    static const std::array<uint32_t, 512> table = MakeTable();
    return table;
}

float StdMath::InvSqrtEstimate(float s)
{
    const std::array<uint32_t, 512>& table = SqrtLUT();
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    const uint32_t exponent = (bits >> 23) & 0xFF;
    const uint32_t r = (((380u - exponent) << 22) & 0xFF800000u) | table[(bits >> 15) & 0x1FF];
    float out;
    std::memcpy(&out, &r, 4);
    return out;
}

float StdMath::InvSqrt(float s)
{
    float r = InvSqrtEstimate(s);
    r = r * (1.5f - 0.5f * s * r * r);
    r = r * (1.5f - 0.5f * s * r * r);
    return r;
}

}  // namespace Orvo
