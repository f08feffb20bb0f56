// Block-level checks of the ETC1 encoders: hand-worked blocks, quantiser edges, the vector searches
// against the plain one, and the decoder against android-libetc1's. (The searching and perceptual modes
// against the fast one: Etc1ImageTests.cpp; their exact words: Etc1SearchTests.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "textures/Etc1Block.h"
#include "textures/tests/Etc1TestImages.h"

using namespace etc1test;

namespace {

Etc1BlockWords EncodeOne(Etc1BlockWords (*encode)(const Etc1Source&, int, int), const Image& img)
{
    return encode(Etc1Source{img.data(), 4, 4}, 0, 0);
}

// A 4 x 4 block whose left two columns are `left` and right two columns are `right`.
Image LeftRight(Etc1Colour left, Etc1Colour right)
{
    Image img(48);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) img[(y * 4 + x) * 3 + c] = static_cast<uint8_t>(x < 2 ? left.c[c] : right.c[c]);
    return img;
}

bool Differential(Etc1BlockWords w) { return (w.word1 & 2u) != 0; }
bool Flipped(Etc1BlockWords w) { return (w.word1 & 1u) != 0; }
int RedDifference(Etc1BlockWords w)
{
    const int d = static_cast<int>((w.word1 >> 24) & 7u);
    return d >= 4 ? d - 8 : d;
}

}  // namespace

TEST(Etc1Block, HandWorkedFastBlocks)
{
    // Grey 128: average rounding gives 16 (132) and error 48 with codeword 1; the combined colour 15 (123)
    // plus the +5 modifier of codeword 1 hits 128 exactly, so the combined candidate wins.
    // Black and white halves: 0 | 15 per channel, codewords 0, individual, unflipped; black pixels take -8
    // (index 3), white ones +2 (index 0).
    // Blue 50 quantises to 6 (49); codeword 0's -2 gives 47 at error 9 per pixel, which no other modifier or
    // codeword beats, so the block decodes 3 away although codeword 0's smallest modifier is 2. Both
    // candidates quantise alike and the earlier (average) one is kept.
    const struct
    {
        Image img;
        uint32_t word1, word2;
    } cases[] = {{Uniform(4, 4, 128, 128, 128), 0x78787826u, 0x00000000u},
                 {LeftRight({{0, 0, 0}}, {{255, 255, 255}}), 0x0F0F0F00u, 0x00FF00FFu},
                 {Uniform(4, 4, 0, 0, 50), 0x00003002u, 0xFFFF0000u}};
    for (const auto& c : cases)
    {
        const Etc1BlockWords w = EncodeOne(CompressBlockETC1Fast, c.img);
        EXPECT_EQ(w.word1, c.word1) << std::hex << c.word1;
        EXPECT_EQ(w.word2, c.word2) << std::hex << c.word1;
    }
    uint8_t decoded[48];
    DecodeBlockETC1(Etc1BlockWords{0x00003002u, 0xFFFF0000u}, decoded);
    EXPECT_EQ(decoded[2], 47);
}

TEST(Etc1Block, UniformBlocksAreUnflippedDifferentialWithZeroDifferences)
{
    const Image img = Uniform(4, 4, 37, 201, 90);
    for (auto encode : {CompressBlockETC1Fast, CompressBlockETC1Perceptual, CompressBlockETC1NearSearch,
                        CompressBlockETC1NearSearchPerceptual})
    {
        const Etc1BlockWords w = EncodeOne(encode, img);
        EXPECT_TRUE(Differential(w));
        EXPECT_FALSE(Flipped(w));
        EXPECT_EQ(w.word1 & 0x07070700u, 0u) << std::hex << w.word1;
        uint8_t decoded[48];
        DecodeBlockETC1(w, decoded);
        for (int i = 0; i < 48; ++i) EXPECT_NEAR(decoded[i], img[i], 5);
    }
}

TEST(Etc1Block, NearSearchEntryLimits)
{
    // Red 82 quantises to 10 and red 140 to 17: halves 7 apart fail the entry test, -7 passes.
    const Etc1BlockWords apart = EncodeOne(CompressBlockETC1NearSearch, LeftRight({{82, 0, 0}}, {{140, 0, 0}}));
    EXPECT_FALSE(Differential(apart));
    EXPECT_FALSE(Flipped(apart));
    const Etc1BlockWords back = EncodeOne(CompressBlockETC1NearSearch, LeftRight({{140, 0, 0}}, {{82, 0, 0}}));
    EXPECT_TRUE(Differential(back));
    EXPECT_FALSE(Flipped(back));

    // 5 apart (red 82 -> 10, red 123 -> 15): still differential, colours pulled within reach.
    const Etc1BlockWords five = EncodeOne(CompressBlockETC1NearSearch, LeftRight({{82, 0, 0}}, {{123, 0, 0}}));
    EXPECT_TRUE(Differential(five));
    EXPECT_LE(RedDifference(five), 3);
    EXPECT_GE(RedDifference(five), 0);
    // The fast mode has no search and falls back to the individual mode here.
    EXPECT_FALSE(Differential(EncodeOne(CompressBlockETC1Fast, LeftRight({{82, 0, 0}}, {{123, 0, 0}}))));
}

TEST(Etc1Block, BlocksOutsideTheImageReadItsEdges)
{
    // A 2 x 1 image: every block position, even outside, reads only the two pixels.
    const uint8_t img[6] = {10, 20, 30, 200, 210, 220};
    const Etc1Source source{img, 2, 1};
    const Etc1BlockWords inside = CompressBlockETC1Fast(source, 0, 0);
    Image padded(48);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) std::memcpy(&padded[(y * 4 + x) * 3], img + (x == 0 ? 0 : 3), 3);
    EXPECT_EQ(inside, EncodeOne(CompressBlockETC1Fast, padded));
    EXPECT_EQ(CompressBlockETC1Fast(source, 4, 8), EncodeOne(CompressBlockETC1Fast, Uniform(4, 4, 200, 210, 220)));
    EXPECT_EQ(CompressBlockETC1Fast(source, -4, 0), EncodeOne(CompressBlockETC1Fast, Uniform(4, 4, 10, 20, 30)));
    EXPECT_EQ(CompressBlockETC1Fast(Etc1Source{nullptr, 0, 0}, 0, 0),
              EncodeOne(CompressBlockETC1Fast, Uniform(4, 4, 0, 0, 0)));
}

TEST(Etc1Quantise, RoundingAndCombinedChoice)
{
    // Average 127.5 is 15.5 on the 5-bit grid: rounds away from zero to 16.
    EXPECT_EQ(QuantiseRound5({{1020, 1020, 1020}}), (Etc1Colour{{16, 16, 16}}));
    EXPECT_EQ(QuantiseRound4({{1020, 0, 2040}}), (Etc1Colour{{8, 0, 15}}));
    // Grey 128: the lower colour errs alike in all channels (cost 0); raising all ties and loses.
    EXPECT_EQ(QuantiseCombined5({{1024, 1024, 1024}}), (Etc1Colour{{15, 15, 15}}));
    // The 4-bit re-decision: the lower colour's squared error of exactly 192 stays low, above it raises.
    EXPECT_EQ(QuantiseCombined4({{64, 64, 64}}), (Etc1Colour{{0, 0, 0}}));
    EXPECT_EQ(QuantiseCombined4({{65, 65, 65}}), (Etc1Colour{{1, 1, 1}}));
    // The perceptual form has no such rule.
    EXPECT_EQ(QuantiseCombinedPerceptual4({{65, 65, 65}}), (Etc1Colour{{0, 0, 0}}));
    // Raising all three channels makes their errors alike (56/8 each), which beats the lower steps.
    EXPECT_EQ(QuantiseCombined5({{1000, 1064, 1000}}), (Etc1Colour{{16, 17, 16}}));
    // Raising only red evens out the errors here.
    EXPECT_EQ(QuantiseCombined5({{1048, 1000, 1000}}), (Etc1Colour{{16, 15, 15}}));
    // The top of the grid cannot be raised.
    EXPECT_EQ(QuantiseCombined5({{2040, 2040, 2040}}), (Etc1Colour{{31, 31, 31}}));
}

TEST(Etc1Search, VectorFormsMatchThePlainSearch)
{
    std::mt19937 rng(42);
    for (int n = 0; n < 3000; ++n)
    {
        Etc1Half half;
        const int centre = static_cast<int>(rng() % 256), spread = static_cast<int>(rng() % 256) + 1;
        for (auto& p : half.rgb)
            for (auto& v : p) v = static_cast<uint8_t>(std::clamp(centre + int(rng() % spread) - spread / 2, 0, 255));
        const Etc1Colour base{{int(rng() % 256), int(rng() % 256), int(rng() % 256)}};
        int cwScalar, cwSse2, cwAvx2;
        const uint32_t scalar = SearchEtc1CodewordScalar(half, base, cwScalar);
        EXPECT_EQ(SearchEtc1CodewordSse2(half, base, cwSse2), scalar);
        EXPECT_EQ(cwSse2, cwScalar);
        if (Etc1HaveAvx2())
        {
            EXPECT_EQ(SearchEtc1CodewordAvx2(half, base, cwAvx2), scalar);
            EXPECT_EQ(cwAvx2, cwScalar);
            const uint32_t perceptual = SearchEtc1CodewordPerceptualScalar(half, base, cwScalar);
            EXPECT_EQ(SearchEtc1CodewordPerceptualAvx2(half, base, cwAvx2), perceptual);
            EXPECT_EQ(cwAvx2, cwScalar);
        }
    }
}

TEST(Etc1Decode, AgreesWithAndroidDecoder)
{
    std::mt19937 rng(3);
    for (int n = 0; n < 2000; ++n)
    {
        Etc1BlockWords w{static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
        if (w.word1 & 2u)
        {
            // Keep the differential sums in range: outside it decoders disagree and encoders never go.
            for (int c = 0; c < 3; ++c)
            {
                const int shift = 27 - 8 * c;
                const int v = static_cast<int>((w.word1 >> shift) & 31u);
                int d = static_cast<int>((w.word1 >> (shift - 3)) & 7u);
                if (d >= 4) d -= 8;
                if (v + d < 0 || v + d > 31) w.word1 &= ~(7u << (shift - 3));
            }
        }
        const uint8_t bytes[8] = {uint8_t(w.word1 >> 24), uint8_t(w.word1 >> 16), uint8_t(w.word1 >> 8),
                                  uint8_t(w.word1),       uint8_t(w.word2 >> 24), uint8_t(w.word2 >> 16),
                                  uint8_t(w.word2 >> 8),  uint8_t(w.word2)};
        uint8_t ours[48], theirs[48];
        DecodeBlockETC1(w, ours);
        etc1_decode_block(bytes, theirs);
        ASSERT_EQ(0, std::memcmp(ours, theirs, 48)) << std::hex << w.word1 << " " << w.word2;
    }
}

TEST(Etc1Block, EveryPixelTakesTheFirstBestModifierOfItsHalf)
{
    std::mt19937 rng(11);
    constexpr int kPositionOfIndex[4] = {2, 3, 1, 0};
    for (int n = 0; n < 500; ++n)
    {
        Image img(48);
        const int centre = static_cast<int>(rng() % 256), spread = 1 + static_cast<int>(rng() % 160);
        for (auto& v : img) v = static_cast<uint8_t>(std::clamp(centre + int(rng() % spread) - spread / 2, 0, 255));
        const Etc1BlockWords w = EncodeOne(CompressBlockETC1Fast, img);
        // Base colours and codewords read back from word 1 independently of the encoder's own helpers.
        int base[2][3];
        for (int c = 0; c < 3; ++c)
        {
            if (Differential(w))
            {
                const int v = (w.word1 >> (27 - 8 * c)) & 31;
                int d = (w.word1 >> (24 - 8 * c)) & 7;
                d = d >= 4 ? d - 8 : d;
                base[0][c] = (v << 3) | (v >> 2);
                base[1][c] = ((v + d) << 3) | ((v + d) >> 2);
            }
            else
            {
                base[0][c] = ((w.word1 >> (28 - 8 * c)) & 15) * 17;
                base[1][c] = ((w.word1 >> (24 - 8 * c)) & 15) * 17;
            }
        }
        const int codeword[2] = {int(w.word1 >> 5) & 7, int(w.word1 >> 2) & 7};
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y)
            {
                const int h = Flipped(w) ? (y >= 2) : (x >= 2), i = x * 4 + y;
                const int index = int(((w.word2 >> (16 + i)) & 1) << 1 | ((w.word2 >> i) & 1));
                int errors[4];
                for (int j = 0; j < 4; ++j)
                {
                    errors[j] = 0;
                    for (int c = 0; c < 3; ++c)
                    {
                        const int d =
                            std::clamp(base[h][c] + kEtc1Modifiers[codeword[h]][j], 0, 255) - img[(y * 4 + x) * 3 + c];
                        errors[j] += d * d;
                    }
                }
                const int firstBest = int(std::min_element(errors, errors + 4) - errors);
                ASSERT_EQ(kPositionOfIndex[index], firstBest) << "block " << n << " pixel " << i;
            }
    }
}
