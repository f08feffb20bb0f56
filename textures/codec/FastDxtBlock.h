#pragma once
// Fast DXT colour encoders: a direction from mean absolute deviations, projection, and a few
// shrinking steps of the endpoints. Byte texels only, 4-colour blocks only, no weights.
#include <cstdint>

#include "textures/codec/SimdLevel.h"

void FastColorSSE(const uint32_t texels[16], uint8_t block[8]);
// The same encoder in plain floating point (no codec uses it).
void FastColorX87(const uint32_t texels[16], uint8_t block[8]);
// The encoder of CompressionSpeed 2: principal axis, extreme texels, nearest palette entries and up to two
// least-squares refits, in exact whole-number arithmetic; a nearly flat block may take a matched pair's
// one-third interpolant, a flat one its colour. Runs in the form of the level the codecs use
// (CodecSimdLevel).
void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]);
// One form of it; all give the same blocks. A level above the processor's must not be asked for.
void FastColorSSE2Form(SimdLevel level, const uint32_t texels[16], uint8_t block[8]);
// Many blocks at once, as many per vector as the form's width: texels[i] (16 texels) into blocks[i].
void FastColorSSE2Blocks(SimdLevel level, const uint32_t* const* texels, int count, uint8_t* const* blocks);
