#pragma once
// The two 8-byte alpha layouts of the 16-byte block formats: explicit 4-bit alpha and interpolated
// alpha (two endpoints and 3-bit indices), with their encoders and decoders.
#include <cstdint>

// Rounding of the explicit-alpha quantiser: the DXTC byte path always adds 7, the other families 7
// below 128 and 8 from 128.
enum class ExplicitRounding
{
    Always7,
    SevenOrEight
};

void CompressExplicitAlpha(const uint8_t alpha[16], ExplicitRounding rounding, uint8_t block[8]);
void CompressExplicitAlphaF(const float alpha[16], uint8_t block[8]);
void CompressExplicitAlphaTruncated(const uint8_t alpha[16], uint8_t block[8]);
void DecompressExplicitAlpha(const uint8_t block[8], uint8_t alpha[16]);
void DecompressExplicitAlphaF(const uint8_t block[8], float alpha[16]);

void BuildAlphaPalette(uint8_t alpha0, uint8_t alpha1, uint8_t palette[8]);
void PackInterpolatedAlpha(int alpha0, int alpha1, const uint8_t indices[16], uint8_t block[8]);

struct AlphaFit
{
    int alpha0;
    int alpha1;
    uint8_t indices[16];
    float error;
};
// The endpoint search for one palette size (8, or 6 with the entries 0 and 255). values in 0..1.
AlphaFit CompressAlphaEndpoints(const float values[16], int paletteSize, bool useSSE2);

// Tries the 8-value and (unless that one is exact) the 6-value palette; the 6-value one only when
// strictly better.
void CompressInterpolatedAlpha(const uint8_t alpha[16], bool useSSE2, uint8_t block[8]);
void CompressInterpolatedAlphaF(const float alpha[16], bool useSSE2, uint8_t block[8]);
void DecompressInterpolatedAlpha(const uint8_t block[8], uint8_t alpha[16]);
void DecompressInterpolatedAlphaF(const uint8_t block[8], float alpha[16]);

// The min/max encoder of the fast paths (8-value palette only).
void FastInterpolatedAlpha(const uint8_t alpha[16], uint8_t block[8]);
