#include "bench/textures/AtcDecoder.h"

#include <cstddef>

namespace {

struct Rgb
{
    int r, g, b;
};

int Expand5(int v) { return (v << 3) | (v >> 2); }
int Expand6(int v) { return (v << 2) | (v >> 4); }

// Colour block: color0 (bit 15 the mode, then 5:5:5), color1 (5:6:5), 2 bits per texel in row-major order.
void DecodeColourBlock(const uint8_t* block, uint8_t out[16][4])
{
    const int color0 = block[0] | (block[1] << 8);
    const int color1 = block[2] | (block[3] << 8);
    const uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) | (uint32_t(block[7]) << 24);
    const Rgb c0{Expand5((color0 >> 10) & 31), Expand5((color0 >> 5) & 31), Expand5(color0 & 31)};
    const Rgb c3{Expand5((color1 >> 11) & 31), Expand6((color1 >> 5) & 63), Expand5(color1 & 31)};
    Rgb palette[4];
    if (color0 & 0x8000)
    {
        auto sub = [](int a, int b) { return a - (b >> 2) < 0 ? 0 : a - (b >> 2); };
        palette[0] = {0, 0, 0};
        palette[1] = {sub(c0.r, c3.r), sub(c0.g, c3.g), sub(c0.b, c3.b)};
        palette[2] = c0;
        palette[3] = c3;
    }
    else
    {
        palette[0] = c0;
        palette[1] = {(5 * c0.r + 3 * c3.r) >> 3, (5 * c0.g + 3 * c3.g) >> 3, (5 * c0.b + 3 * c3.b) >> 3};
        palette[2] = {(3 * c0.r + 5 * c3.r) >> 3, (3 * c0.g + 5 * c3.g) >> 3, (3 * c0.b + 5 * c3.b) >> 3};
        palette[3] = c3;
    }
    for (int i = 0; i < 16; ++i)
    {
        const Rgb& p = palette[(indices >> (2 * i)) & 3];
        out[i][0] = static_cast<uint8_t>(p.r);
        out[i][1] = static_cast<uint8_t>(p.g);
        out[i][2] = static_cast<uint8_t>(p.b);
        out[i][3] = 255;
    }
}

// Interpolated alpha block (the DXT5 layout): two 8-bit endpoints, then 3-bit indices, texel 0 lowest.
void DecodeAlphaBlock(const uint8_t* block, uint8_t out[16][4])
{
    const int a0 = block[0], a1 = block[1];
    int palette[8] = {a0, a1};
    if (a0 > a1)
    {
        for (int k = 1; k < 7; ++k) palette[k + 1] = ((7 - k) * a0 + k * a1) / 7;
    }
    else
    {
        for (int k = 1; k < 5; ++k) palette[k + 1] = ((5 - k) * a0 + k * a1) / 5;
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) bits |= uint64_t(block[2 + k]) << (8 * k);
    for (int i = 0; i < 16; ++i) out[i][3] = static_cast<uint8_t>(palette[(bits >> (3 * i)) & 7]);
}

}  // namespace

void DecodeAtcImage(const uint8_t* blocks, int width, int height, bool interpolatedAlpha, uint8_t* rgba)
{
    const int blockBytes = interpolatedAlpha ? 16 : 8;
    for (int by = 0; by < height / 4; ++by)
        for (int bx = 0; bx < width / 4; ++bx)
        {
            const uint8_t* block = blocks + (static_cast<size_t>(by) * (width / 4) + bx) * blockBytes;
            uint8_t texels[16][4];
            DecodeColourBlock(block + (interpolatedAlpha ? 8 : 0), texels);
            if (interpolatedAlpha) DecodeAlphaBlock(block, texels);
            for (int i = 0; i < 16; ++i)
            {
                uint8_t* p = rgba + ((static_cast<size_t>(by) * 4 + i / 4) * width + bx * 4 + i % 4) * 4;
                for (int c = 0; c < 4; ++c) p[c] = texels[i][c];
            }
        }
}
