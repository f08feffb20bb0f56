// Blocks like the one before them take that block's bytes without being encoded again: a texture with runs
// of equal blocks must come out as if every block were encoded on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestImages.h"

TEST(RepeatedBlocks, RunsOfEqualBlocksEncodeAsEachBlockAlone)
{
    // Flat runs, runs of one textured block, and a cut-out block, in 4 x 4 blocks of 12 x 2.
    const int w = 48, h = 8;
    const std::vector<uint32_t> tile = testimg::Textured(4, 4, 2), cut = testimg::CutOut(4, 4);
    std::vector<uint32_t> img(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const int block = y / 4 * 12 + x / 4, i = (y % 4) * 4 + x % 4;
            img[size_t(y) * w + x] = block < 4    ? 0xFF336699u
                                     : block < 9  ? tile[size_t(i)]
                                     : block < 11 ? cut[size_t(i)]
                                                  : 0x80FFEEDDu;
        }
    for (int32_t format : {CF_DXT1, CF_DXT3, CF_DXT5, CF_ATI2N, CF_ATI2N_DXT5, CF_ATC_RGBA_Explicit, CF_ETC_RGB})
    {
        for (uint32_t speed : {0u, 1u, 2u})
        {
            CodecOptions options = testimg::Options(speed, true);
            options.dxt1UseAlpha = 1;
            const std::vector<uint8_t> whole = testimg::Compress(img, w, h, format, &options);
            const size_t bytes = whole.size() / 24;
            for (int b = 0; b < 24; ++b)
            {
                std::vector<uint32_t> alone(16);
                for (int i = 0; i < 16; ++i)
                    alone[size_t(i)] = img[size_t(b / 12 * 4 + i / 4) * w + b % 12 * 4 + i % 4];
                const std::vector<uint8_t> one = testimg::Compress(alone, 4, 4, format, &options);
                EXPECT_EQ(std::memcmp(one.data(), whole.data() + size_t(b) * bytes, bytes), 0)
                    << "format " << format << " speed " << speed << " block " << b;
            }
        }
    }
}
