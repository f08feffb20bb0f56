#pragma once
// Synthetic RGB images and helpers shared by the ETC1 tests.
#include <android/ETC1/etc1.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace etc1test {

using Image = std::vector<uint8_t>;

inline Image Uniform(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    Image img(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < img.size(); i += 3)
    {
        img[i] = r;
        img[i + 1] = g;
        img[i + 2] = b;
    }
    return img;
}

// Smooth colour ramps with a gentle wave: the common case of photographic textures.
inline Image Gradient(int w, int h)
{
    Image img(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            uint8_t* p = &img[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y) * 0.05));
        }
    return img;
}

// Texture-like noise: a base colour per 8 x 8 tile with random detail on top.
inline Image Noise(int w, int h, unsigned seed, int amplitude)
{
    std::mt19937 rng(seed);
    Image img(static_cast<size_t>(w) * h * 3);
    std::vector<int> tile(static_cast<size_t>((w + 7) / 8) * ((h + 7) / 8) * 3);
    for (int& t : tile) t = static_cast<int>(rng() % 256);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
            {
                const int base = tile[(static_cast<size_t>(y / 8) * ((w + 7) / 8) + x / 8) * 3 + c];
                const int v = base + static_cast<int>(rng() % (2 * amplitude + 1)) - amplitude;
                img[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
    return img;
}

// Hard edges: coloured stripes and a checkerboard.
inline Image Edges(int w, int h)
{
    Image img(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            uint8_t* p = &img[(static_cast<size_t>(y) * w + x) * 3];
            const bool check = ((x / 3) + (y / 5)) % 2 == 0;
            p[0] = check ? 230 : 20;
            p[1] = static_cast<uint8_t>((x / 6) % 2 ? 200 : 60);
            p[2] = static_cast<uint8_t>(check ? 40 : 180);
        }
    return img;
}

// Decodes with android-libetc1 (an independent decoder) and returns the RGB PSNR in dB.
inline double DecodedPsnr(const Image& source, const uint8_t* blocks, int w, int h)
{
    Image decoded(source.size());
    if (etc1_decode_image(blocks, decoded.data(), w, h, 3, w * 3) != 0) return 0.0;
    double se = 0.0;
    for (size_t i = 0; i < source.size(); ++i)
    {
        const double d = double(source[i]) - double(decoded[i]);
        se += d * d;
    }
    if (se == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(source.size()) / se);
}

}  // namespace etc1test
