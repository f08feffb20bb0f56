#pragma once
// The ETC1 colour block of the codec library: an average-colour and a combined-quantisation
// encoder, the one with the lower perceptual error kept.
#include <cstdint>

// Fills the process-wide modifier table (it is constant; kept as a call for the codec's start-up).
void InitEtcModifierTable();

// rgb: an image of 3 bytes per pixel (R, G, B), rows packed. Encodes the 4x4 block at (bx, by).
void EtcBlockEncoder(const uint8_t* rgb, int width, int height, int bx, int by, uint32_t* word1, uint32_t* word2);
void EncodeEtcAverage(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2);
void EncodeEtcCombined(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2);
// Writes the 16 decoded pixels (R, G, B) of the block into an image of the given width at (bx, by).
void DecodeEtcBlock(uint32_t word1, uint32_t word2, uint8_t* rgb, int width, int bx, int by);
double EtcBlockError(const uint8_t* source, const uint8_t* decoded, int width, int bx, int by);

// Texel blocks are 16 words 0xAARRGGBB; decoding leaves the alpha byte as it was.
void EtcCompressColor(const uint32_t texels[16], uint8_t block[8]);
void EtcDecompressColor(const uint8_t block[8], uint32_t texels[16]);
