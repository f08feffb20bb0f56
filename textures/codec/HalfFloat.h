#pragma once
// IEEE 754 half-precision conversions, both directions table driven.
#include <cstdint>

float HalfToFloat(uint16_t h);
uint16_t FloatToHalf(float v);
uint16_t FloatToHalfSlow(uint32_t bits);  // the cases the exponent table does not cover
