#pragma once
// Table-driven reciprocal square root: a first estimate from the float's exponent and a 512-entry table
// indexed by bits 15 to 23 of the float (the exponent's low bit and the mantissa's top eight bits),
// refined by Newton steps.
#include <array>
#include <cstdint>

namespace Orvo {

struct StdMath
{
    // The table (made on first use).
    static const std::array<uint32_t, 512>& SqrtLUT();

    // The estimate of 1 / sqrt(s) before refinement, for s > 0.
    static float InvSqrtEstimate(float s);
    // 1 / sqrt(s) after two Newton steps.
    static float InvSqrt(float s);
};

}  // namespace Orvo
