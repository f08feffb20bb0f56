#pragma once
// The quality encoder of the 8-byte DXT colour block: a line fit through the block's distinct
// colours, a line search with refitting, 5:6:5 quantisation, optional neighbour search, and index
// assignment against the palette exactly as the decoder rebuilds it.
#include <cstdint>

struct DxtColorSettings
{
    bool useSSE2 = true;           // round to nearest-even in the line errors (else floor(x + 0.5))
    bool use3DRefinement = false;  // search all six endpoint channels at once
    uint8_t refinementSteps = 1;   // code steps each way (at most 8 are used)
    int32_t compressionSpeed = 0;  // 0 lets DXT1 try the 3-colour palette
};

struct DxtColorRequest
{
    const float* weights = nullptr;  // R, G, B channel weights of the errors, or null (all alike)
    bool allowThreeColor = false;    // DXT1 only
    bool transparency = false;       // DXT1 alpha: texels with alpha below the threshold become index 3
    float alphaThreshold = 0.0f;     // in the units of the texels' alpha
};

// texels: 16 words 0xAARRGGBB. Writes color0, color1 and the index word (little-endian).
void CompressColorB(const uint32_t texels[16], const DxtColorRequest& request, const DxtColorSettings& settings,
                    uint8_t block[8]);
// texels: 16 x (R, G, B, A) in 0..1.
void CompressColorF(const float texels[64], const DxtColorRequest& request, const DxtColorSettings& settings,
                    uint8_t block[8]);

// Decoding: with threeColorMode (DXT1) a block whose color0 <= color1 uses the 3-colour palette and
// index 3 gives transparent black; otherwise always the 4-colour palette.
void DecompressColorB(const uint8_t block[8], bool threeColorMode, uint32_t texels[16]);
void DecompressColorF(const uint8_t block[8], bool threeColorMode, float texels[64]);

// Index assignment for colours prepared by the caller: per texel B, G, R and a fourth value that is 0
// when the texel does not take part; endpoints (B, G, R codes) in decoder order. Returns the error.
float AssignPreparedColorIndices(const float colours[64], const int end0[3], const int end1[3], const int bits[3],
                                 int paletteSize, const float* weights, bool transparency, uint8_t indices[16]);
