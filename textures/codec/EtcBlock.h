#pragma once
// The ETC1 colour block of the codec library: an average-colour and a combined-quantisation
// encoder, the one with the lower perceptual error kept.
#include <cstdint>
#include <cstdio>

// rgb: an image of 3 bytes per pixel (R, G, B), rows packed. Encodes the 4x4 block at (bx, by).
void EtcBlockEncoder(const uint8_t* rgb, int width, int height, int bx, int by, uint32_t* word1, uint32_t* word2);
void EncodeEtcAverage(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2);
void EncodeEtcCombined(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2);
// Writes the 16 decoded pixels (R, G, B) of the block into an image of the given width at (bx, by).
void DecodeEtcBlock(uint32_t word1, uint32_t word2, uint8_t* rgb, int width, int bx, int by);
double EtcBlockError(const uint8_t* source, const uint8_t* decoded, int width, int bx, int by);

// Forms that no codec uses: the combined encoder with unweighted errors and its own 4-bit rule; the
// modifiers of one half (halfWidth x halfHeight at x0, y0) for one table row, named by its group of
// four values (row k is group 2k), giving the error and the two bit planes (pixel c, r of the half at
// bit 4c + r); the unweighted block error.
void EncodeEtcCombinedUnweighted(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2);
float AssignEtcHalfModifiers(const uint8_t* rgb, int width, int x0, int y0, int halfWidth, int halfHeight,
                             const int base[3], int group, bool perceptual, uint32_t* msb, uint32_t* lsb);
double EtcBlockErrorUnweighted(const uint8_t* source, const uint8_t* decoded, int width, int bx, int by);
// Big-endian words on a C stream, one byte at a time; false at end of file or on an error.
bool WriteBigEndian16(std::FILE* f, uint16_t v);
bool WriteBigEndian32(std::FILE* f, uint32_t v);
bool ReadBigEndian16(std::FILE* f, uint16_t* v);
bool ReadBigEndian32(std::FILE* f, uint32_t* v);

// Texel blocks are 16 words 0xAARRGGBB; decoding leaves the alpha byte as it was.
void EtcCompressColor(const uint32_t texels[16], uint8_t block[8]);
void EtcDecompressColor(const uint8_t block[8], uint32_t texels[16]);
