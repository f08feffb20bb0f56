#pragma once
// The ATC colour block: a luminance-threshold search over 120 partitions of the block, a choice
// between the interpolating and the black palette mode, one refinement pass.
#include <cstdint>

struct AtcRgb
{
    int r, g, b;
};

uint16_t EncodeAtcColor555(const AtcRgb& c, bool blackMode);
uint16_t EncodeAtcColor565(const AtcRgb& c);
void BuildAtcPalette(uint16_t color0, uint16_t color1, AtcRgb palette[4]);
int ColorBrightness(const AtcRgb& c);
void ColorHueSaturation(const AtcRgb& c, int* hue, int* saturation);
bool HuesDiffer(int a, int b);
// Index 3 from t3 up, 2 above t2, 1 above t1, else 0, by each texel's luminance.
uint32_t AtcAssignByThresholds(const int luminance[16], int t1, int t2, int t3);
// Sum of squared R, G, B differences between the texels and the decoded block.
int AtcBlockError(const AtcRgb rgb[16], uint16_t color0, uint16_t color1, uint32_t indices);

// rgb: 16 texels R, G, B. Returns the index word.
uint32_t AtcBlockEncoder(const AtcRgb rgb[16], uint16_t* color0, uint16_t* color1);

// Texel blocks are 16 words 0xAARRGGBB; the colour operations leave the alpha byte as it was.
void AtcCompressColor(const uint32_t texels[16], uint8_t block[8]);
void AtcDecompressColor(const uint8_t block[8], uint32_t texels[16]);
void AtcCompressBlockExplicitAlpha(const uint32_t texels[16], uint8_t block[16]);
void AtcDecompressBlockExplicitAlpha(const uint8_t block[16], uint32_t texels[16]);
void AtcCompressBlockInterpolatedAlpha(const uint32_t texels[16], bool useSSE2, uint8_t block[16]);
void AtcDecompressBlockInterpolatedAlpha(const uint8_t block[16], uint32_t texels[16]);
