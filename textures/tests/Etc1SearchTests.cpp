// The searching encoders skip candidates by lower bounds and find pairs by first minima over runs; these
// blocks pin their results to those of a plain walk over every candidate pair and every colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "textures/Etc1Codec.h"

namespace {

// Word 1 and word 2 of the near, near perceptual, wide and wide perceptual searches, in that order.
void ExpectWords(const uint8_t (&img)[48], const uint32_t (&expected)[8], int block)
{
    using Encoder = Etc1BlockWords (*)(const Etc1Source&, int, int);
    const Encoder searches[4] = {CompressBlockETC1NearSearch, CompressBlockETC1NearSearchPerceptual,
                                 CompressBlockETC1WideSearch, CompressBlockETC1WideSearchPerceptual};
    for (int m = 0; m < 4; ++m)
    {
        const Etc1BlockWords w = searches[m](Etc1Source{img, 4, 4}, 0, 0);
        EXPECT_EQ(w.word1, expected[2 * m]) << std::hex << "block " << block << " mode " << m;
        EXPECT_EQ(w.word2, expected[2 * m + 1]) << std::hex << "block " << block << " mode " << m;
    }
}

}  // namespace

TEST(Etc1Search, NoisyBlocksMatchThePlainSearch)
{
    // Random blocks of growing spread; in these the wide search beats the near one.
    const int pinned[] = {0, 2, 29, 32};
    const uint32_t expected[][8] = {
        {0x69666600u, 0x81FF002Au, 0x69666600u, 0x81FF002Bu, 0x73747432u, 0x00FF00FFu, 0x6364641Au, 0x002F0020u},
        {0x98AC9B4Fu, 0x2D838496u, 0x98AC9B2Fu, 0x04CB37A7u, 0x99B89B4Du, 0x2D838496u, 0x98AC9B2Fu, 0x04CB37A7u},
        {0x8B8C9E53u, 0x1E8A105Du, 0x7B848F93u, 0x0E0A805Du, 0x8A969851u, 0x1E8A104Du, 0x79858891u, 0x0E0A805Du},
        {0x90909026u, 0x0000FFFFu, 0x90909026u, 0x0000FFFFu, 0x7878786Eu, 0x0000FFFFu, 0x7878786Eu, 0x0000FFFFu}};
    std::mt19937 rng(5);
    size_t next = 0;
    for (int n = 0; n <= 32; ++n)
    {
        uint8_t img[48];
        const int kind = n % 3;
        const int centre = static_cast<int>(rng() % 256);
        const int spread = 1 + static_cast<int>(rng() % (kind == 0 ? 40 : (kind == 1 ? 120 : 256)));
        for (auto& v : img) v = static_cast<uint8_t>(std::clamp(centre + int(rng() % spread) - spread / 2, 0, 255));
        if (n % 5 == 0)
            for (int i = 0; i < 48; i += 3)
                if ((i / 3) % 4 >= 2) img[i] = static_cast<uint8_t>(255 - img[i]);
        if (next < std::size(pinned) && pinned[next] == n) ExpectWords(img, expected[next++], n);
    }
}

TEST(Etc1Search, TwoColourBlocksMatchThePlainSearch)
{
    // Left and right halves around two colours: alike, apart, and 8 steps apart (the wide entry limit).
    const int left[6][3] = {{90, 120, 60}, {150, 40, 200}, {128, 128, 128},
                            {70, 160, 90}, {60, 60, 200},  {100, 100, 100}};
    const int right[6][3] = {{90, 120, 60},  {150, 40, 200}, {128, 128, 128},
                             {185, 95, 165}, {200, 60, 60},  {165, 165, 165}};
    const int spreads[6] = {12, 60, 200, 40, 20, 6};
    const uint32_t expected[6][8] = {
        {0x49693162u, 0x0000A300u, 0x50703802u, 0x0000A7E6u, 0x49693162u, 0x0000A300u, 0x50703802u, 0x0000A7E6u},
        {0xA43DCF47u, 0x2773050Au, 0x9D36B927u, 0x05C61D0Au, 0xA43DCF47u, 0x2773050Au, 0x9D36B927u, 0x05C61D0Au},
        {0x6B88884Cu, 0xFCC6C96Au, 0x6A88886Cu, 0xECCE6F22u, 0x6B88884Cu, 0xFCC6C96Au, 0x6A88886Cu, 0xECCE6F22u},
        {0x4A955A00u, 0x07143AFEu, 0x4A955A44u, 0x07143000u, 0x4A955A00u, 0x07143AFEu, 0x4A955A44u, 0x07143000u},
        {0x4C44C400u, 0xFFFF71FBu, 0x4C44C420u, 0xFFFBF328u, 0x4C44C400u, 0xFFFF71FBu, 0x4C44C420u, 0xFFFBF328u},
        {0x65656514u, 0x00FFFF00u, 0x65656514u, 0x00FFFF00u, 0x65656514u, 0x00FFFF00u, 0x65656514u, 0x00FFFF00u}};
    std::mt19937 rng(2024);
    for (int n = 0; n < 6; ++n)
    {
        uint8_t img[48];
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 3; ++c)
                {
                    const int v = (x < 2 ? left[n][c] : right[n][c]) + int(rng() % spreads[n]) - spreads[n] / 2;
                    img[(y * 4 + x) * 3 + c] = static_cast<uint8_t>(std::clamp(v, 0, 255));
                }
        ExpectWords(img, expected[n], n);
    }
}
