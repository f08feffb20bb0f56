#pragma once
// Fast DXT colour encoders: a direction from mean absolute deviations, projection, and a few
// shrinking steps of the endpoints. Byte texels only, 4-colour blocks only, no weights.
#include <cstdint>

void FastColorSSE(const uint32_t texels[16], uint8_t block[8]);
// The same encoder in plain floating point (no codec uses it).
void FastColorX87(const uint32_t texels[16], uint8_t block[8]);
// The same plan; a block without any deviation becomes its rounded mean colour in both fields.
void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]);
