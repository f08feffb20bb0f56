#pragma once
// Small synthetic images for the codec tests, and helpers to run conversions and measure them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "textures/codec/CodecTexture.h"

namespace testimg {

inline uint32_t Argb(int a, int r, int g, int b)
{
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

inline std::vector<uint32_t> Gradient(int w, int h)
{
    std::vector<uint32_t> img(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[size_t(y) * w + x] = Argb(255, x * 255 / std::max(w - 1, 1), y * 255 / std::max(h - 1, 1),
                                          (x + y) * 255 / std::max(w + h - 2, 1));
    return img;
}

// Smooth colour fields with some texture: closer to real content than pure noise.
inline std::vector<uint32_t> Textured(int w, int h, uint32_t seed = 3)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> img(size_t(w) * h);
    const float fx = float(rng() % 100) / 900.0f + 0.05f, fy = float(rng() % 100) / 900.0f + 0.04f;
    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            const float v =
                0.5f + 0.35f * std::sin(x * fx + 1.3f * std::sin(y * fy)) + float(int(rng() % 21) - 10) / 255.0f;
            const float u = 0.5f + 0.4f * std::cos(y * fy * 1.7f - x * 0.03f);
            auto c = [](float f) { return std::min(std::max(int(f * 255.0f), 0), 255); };
            img[size_t(y) * w + x] = Argb(c(u), c(v), c(0.2f + 0.6f * v * u), c(u * 0.9f));
        }
    }
    return img;
}

inline std::vector<uint32_t> Noise(int w, int h, uint32_t seed = 9)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> img(size_t(w) * h);
    for (uint32_t& p : img) p = rng();
    return img;
}

// Opaque texels with a cut-out disc of alpha 0.
inline std::vector<uint32_t> CutOut(int w, int h)
{
    std::vector<uint32_t> img = Gradient(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const int dx = x - w / 2, dy = y - h / 2;
            if (dx * dx + dy * dy < w * h / 10) img[size_t(y) * w + x] &= 0x00FFFFFFu;
        }
    return img;
}

// Unit normals encoded as x, y in red and green.
inline std::vector<uint32_t> NormalMap(int w, int h)
{
    std::vector<uint32_t> img(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const float nx = 0.6f * std::sin(x * 0.2f), ny = 0.6f * std::cos(y * 0.15f);
            const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
            img[size_t(y) * w + x] = Argb(255, int((nx + 1) * 127.5f), int((ny + 1) * 127.5f), int((nz + 1) * 127.5f));
        }
    return img;
}

inline CodecTextureDesc Desc(uint32_t w, uint32_t h, int32_t format, void* data, uint32_t dataSize, uint32_t pitch = 0)
{
    return CodecTextureDesc{kCodecTextureDescSize, w, h, pitch, format, dataSize, data};
}

// An options record of the current version at a compression speed, on one thread or on all.
inline CodecOptions Options(uint32_t speed, bool single)
{
    CodecOptions o{};
    o.size = kCodecOptionsSize;
    o.compressionSpeed = speed;
    o.disableMultithreading = single ? 1 : 0;
    o.alphaThreshold = 128;
    return o;
}

// Compresses an ARGB8888 image (single thread unless told otherwise) and returns the blocks.
inline std::vector<uint8_t> Compress(std::vector<uint32_t> img, int w, int h, int32_t format,
                                     const CodecOptions* options = nullptr, CodecResult* result = nullptr)
{
    const CodecTextureDesc src = Desc(w, h, CF_ARGB8888, img.data(), uint32_t(img.size() * 4));
    std::vector<uint8_t> out(CodecTextureSizeForFormat(format, w, h, 0));
    const CodecTextureDesc dst = Desc(w, h, format, out.data(), uint32_t(out.size()));
    const CodecOptions single = Options(0, true);
    const CodecResult r = ConvertCodecTexture(&src, &dst, options ? options : &single, nullptr, 0, 0);
    if (result) *result = r;
    return out;
}

inline std::vector<uint32_t> Decompress(const std::vector<uint8_t>& blocks, int w, int h, int32_t format)
{
    std::vector<uint8_t> in = blocks;
    std::vector<uint32_t> out(size_t(w) * h);
    const CodecTextureDesc src = Desc(w, h, format, in.data(), uint32_t(in.size()));
    const CodecTextureDesc dst = Desc(w, h, CF_ARGB8888, out.data(), uint32_t(out.size() * 4));
    ConvertCodecTexture(&src, &dst, nullptr, nullptr, 0, 0);
    return out;
}

// PSNR over the chosen channels (bit masks of 0xAARRGGBB bytes: 1 blue, 2 green, 4 red, 8 alpha).
inline double Psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int channels = 7)
{
    double se = 0.0;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 4; ++c)
            if (channels & (1 << c))
            {
                const int d = int((a[i] >> (8 * c)) & 255) - int((b[i] >> (8 * c)) & 255);
                se += d * d;
                ++n;
            }
    if (se == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * n / se);
}

// The largest difference of any red, green or blue byte between two 4x4 blocks of texels.
inline int MaxRgbDifference(const uint32_t* a, const uint32_t* b)
{
    int worst = 0;
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int((a[i] >> (8 * c)) & 255) - int((b[i] >> (8 * c)) & 255)));
    return worst;
}

}  // namespace testimg
