// The AVX-512 fast encoder takes two blocks at a time in the image loop, which also skips blocks that repeat
// the block above: every block must still get its own words.
#include <gtest/gtest.h>

#include <vector>

#include "textures/Etc1Block.h"
#include "textures/codec/SimdLevel.h"
#include "textures/tests/Etc1TestImages.h"

using namespace etc1test;

TEST(Etc1Pairs, PairsGiveEachBlocksOwnWords)
{
    if (ProcessorSimdLevel() < SimdLevel::Avx512) GTEST_SKIP() << "the processor lacks AVX-512";
    const int w = 64, h = 64;
    const Image images[] = {Noise(w, h, 11, 40), Edges(w, h), Gradient(w, h), Noise(w, h, 12, 3)};
    for (const Image& img : images)
    {
        const Etc1Source source{img.data(), w, h};
        // Every block with every other of its row and of the next row (different quantisations per lane).
        for (int y = 0; y + 4 < h; y += 4)
            for (int x0 = 0; x0 < w; x0 += 4)
                for (int x1 = 0; x1 < w; x1 += 12)
                {
                    const int xy[4] = {x0, y, x1, y + 4};
                    Etc1BlockWords words[2];
                    CompressBlockPairETC1FastAvx512(source, xy, words);
                    ASSERT_EQ(words[0], CompressBlockETC1FastSse2(source, x0, y)) << x0 << "," << y;
                    ASSERT_EQ(words[1], CompressBlockETC1FastSse2(source, x1, y + 4)) << x1 << "," << y + 4;
                }
    }
}

TEST(Etc1Pairs, RepeatsAboveAndLeftKeepEveryBlocksWords)
{
    // Rows of blocks copied downwards and sideways, with odd counts of blocks left to encode per row and a
    // partial block column and row at the edges.
    const int w = 70, h = 30;
    Image img = Noise(w, h, 4, 30);
    for (int y = 8; y < 20; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
            {
                const int sx = x >= 20 && x < 44 ? 20 + x % 4 : x;  // left repeats within the copied rows
                img[(static_cast<size_t>(y) * w + x) * 3 + c] = img[(static_cast<size_t>(y % 4 + 4) * w + sx) * 3 + c];
            }
    const Etc1Source source{img.data(), w, h};
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx512})
    {
        LimitCodecSimdLevel(level);
        std::vector<uint8_t> blocks(Etc1CompressedSize(w, h));
        ASSERT_TRUE(
            CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), w, h, blocks.data(), blocks.size()));
        for (int y = 0; y < h; y += 4)
            for (int x = 0; x < w; x += 4)
            {
                const Etc1BlockWords words = CompressBlockETC1FastSse2(source, x, y);
                const uint8_t* b = &blocks[(static_cast<size_t>(y / 4) * ((w + 3) / 4) + x / 4) * 8];
                ASSERT_EQ(words.word1, uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                    << SimdLevelName(level) << " " << x << "," << y;
                ASSERT_EQ(words.word2, uint32_t(b[4]) << 24 | uint32_t(b[5]) << 16 | uint32_t(b[6]) << 8 | b[7])
                    << SimdLevelName(level) << " " << x << "," << y;
            }
    }
    LimitCodecSimdLevel(SimdLevel::Avx512);
}
