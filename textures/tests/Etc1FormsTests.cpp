// The fast-mode block encoder exists once per instruction set; every form must give the SSE2 form's words
// on any block, and whole images must come out the same at every level the codecs may run at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "textures/Etc1Block.h"
#include "textures/codec/SimdLevel.h"
#include "textures/tests/Etc1TestImages.h"

using namespace etc1test;

namespace {

struct Form
{
    const char* name;
    SimdLevel level;
    Etc1FastEncoderFn encode;
};

const Form kForms[] = {{"AVX2", SimdLevel::Avx2, CompressBlockETC1FastAvx2},
                       {"AVX-512", SimdLevel::Avx512, CompressBlockETC1FastAvx512}};

// Random blocks of several kinds: full-range noise, two extremes (clamping on every modifier), narrow
// ranges near the ends and the middle (ties between modifiers and codewords), few levels.
Image RandomBlocks(int blocks, uint32_t seed)
{
    std::mt19937 rng(seed);
    Image img(static_cast<size_t>(blocks) * 48);
    for (int b = 0; b < blocks; ++b)
    {
        const int kind = b % 5;
        const int centre = static_cast<int>(rng() % 256);
        for (int i = 0; i < 48; ++i)
        {
            int v = 0;
            switch (kind)
            {
            case 0: v = static_cast<int>(rng() % 256); break;
            case 1: v = rng() % 2 ? 255 : 0; break;
            case 2: v = centre + static_cast<int>(rng() % 9) - 4; break;
            case 3: v = static_cast<int>(rng() % 4) * 85; break;
            default: v = (i % 3 == 0 ? 250 : 5) + static_cast<int>(rng() % 6) - 3;
            }
            img[static_cast<size_t>(b) * 48 + i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
    }
    return img;
}

}  // namespace

TEST(Etc1Forms, EveryFormGivesTheSse2Words)
{
    const int w = 68, h = 36;  // a partial block column and row at the edges
    const Image images[] = {Gradient(w, h), Noise(w, h, 5, 40), Noise(w, h, 6, 6), Edges(w, h),
                            Uniform(w, h, 254, 1, 128)};
    const Image random = RandomBlocks(20000, 21);
    for (const Form& form : kForms)
    {
        if (ProcessorSimdLevel() < form.level)
        {
            std::printf("%s form not run: the processor lacks it\n", form.name);
            continue;
        }
        for (const Image& img : images)
        {
            const Etc1Source source{img.data(), w, h};
            for (int y = 0; y < h; y += 4)
                for (int x = 0; x < w; x += 4)
                    ASSERT_EQ(form.encode(source, x, y), CompressBlockETC1FastSse2(source, x, y))
                        << form.name << " at " << x << "," << y;
        }
        // The random blocks as one column 4 pixels wide.
        const Etc1Source column{random.data(), 4, static_cast<int>(random.size() / 12)};
        for (int y = 0; y < column.height; y += 4)
            ASSERT_EQ(form.encode(column, 0, y), CompressBlockETC1FastSse2(column, 0, y))
                << form.name << " block " << y / 4;
    }
    if (ProcessorSimdLevel() == SimdLevel::Sse2) GTEST_SKIP() << "only the SSE2 form runs on this processor";
}

TEST(Etc1Forms, ImagesAreTheSameAtEveryLevel)
{
    const int w = 61, h = 47;
    const Image img = Noise(w, h, 9, 25);
    std::vector<uint8_t> reference(Etc1CompressedSize(w, h)), out(reference.size());
    LimitCodecSimdLevel(SimdLevel::Sse2);
    ASSERT_TRUE(
        CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), w, h, reference.data(), reference.size()));
    for (SimdLevel level : {SimdLevel::Avx2, SimdLevel::Avx512})
    {
        LimitCodecSimdLevel(level);
        ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), w, h, out.data(), out.size()));
        EXPECT_EQ(out, reference) << SimdLevelName(level);
    }
    LimitCodecSimdLevel(SimdLevel::Avx512);
}

TEST(Etc1Forms, RepeatedBlocksTakeTheirNeighboursWords)
{
    // Blocks like their left neighbour are not encoded again; the image must still be every block's own.
    const int w = 40, h = 8;
    Image img = Noise(w, h, 4, 30);
    for (int y = 0; y < h; ++y)
        for (int x = 4; x < 28; ++x)
            for (int c = 0; c < 3; ++c)
                img[(static_cast<size_t>(y) * w + x) * 3 + c] = img[(static_cast<size_t>(y) * w + x % 4) * 3 + c];
    std::vector<uint8_t> blocks(Etc1CompressedSize(w, h));
    ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), w, h, blocks.data(), blocks.size()));
    const Etc1Source source{img.data(), w, h};
    for (int y = 0; y < h; y += 4)
        for (int x = 0; x < w; x += 4)
        {
            const Etc1BlockWords words = CompressBlockETC1Fast(source, x, y);
            const uint8_t* b = &blocks[(static_cast<size_t>(y / 4) * (w / 4) + x / 4) * 8];
            EXPECT_EQ(words.word1, uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                << x << "," << y;
            EXPECT_EQ(words.word2, uint32_t(b[4]) << 24 | uint32_t(b[5]) << 16 | uint32_t(b[6]) << 8 | b[7])
                << x << "," << y;
        }
}
