#include "engine/LZSS.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using Orvo::LZSSCompress;

namespace {

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> packed, unpacked;
    EXPECT_TRUE(LZSSCompress::Compress(in.data(), in.size(), packed));
    EXPECT_TRUE(LZSSCompress::Decompress(packed.data(), packed.size(), unpacked));
    return unpacked;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list) v.push_back(static_cast<uint8_t>(b));
    return v;
}

}  // namespace

TEST(LZSSTest, RoundTripsEmptyRandomAndRepetitiveData)
{
    std::mt19937 rng(1234);
    EXPECT_TRUE(RoundTrip({}).empty());
    for (size_t size : {1u, 2u, 3u, 17u, 18u, 19u, 4095u, 4096u, 4097u, 70000u})
    {
        std::vector<uint8_t> random(size), runs(size), text(size);
        for (size_t i = 0; i < size; ++i)
        {
            random[i] = static_cast<uint8_t>(rng());
            runs[i] = static_cast<uint8_t>((i / 37) & 3);  // long runs and repeats at many distances
            text[i] = static_cast<uint8_t>("abcab cabbage "[(i * 7 + i / 13) % 14]);
        }
        EXPECT_EQ(RoundTrip(random), random) << size;
        EXPECT_EQ(RoundTrip(runs), runs) << size;
        EXPECT_EQ(RoundTrip(text), text) << size;
    }
}

TEST(LZSSTest, CompressesRepeatsAndWritesTheDocumentedLayout)
{
    std::vector<uint8_t> zeros(4000, 0);
    std::vector<uint8_t> packed;
    ASSERT_TRUE(LZSSCompress::Compress(zeros.data(), zeros.size(), packed));
    EXPECT_LT(packed.size(), zeros.size() / 5);
    uint32_t declared = 0;
    ASSERT_TRUE(LZSSCompress::ReadUncompressedSize(packed.data(), packed.size(), declared));
    EXPECT_EQ(declared, 4000u);

    // "aaaa": one literal, then a match of distance 1 and length 3 (word 0x0000), flag byte 0b10.
    std::vector<uint8_t> aaaa{'a', 'a', 'a', 'a'};
    ASSERT_TRUE(LZSSCompress::Compress(aaaa.data(), aaaa.size(), packed));
    EXPECT_EQ(packed, Bytes({4, 0, 0, 0, 0x02, 'a', 0x00, 0x00}));
}

TEST(LZSSTest, DecodesHandMadeBlocks)
{
    std::vector<uint8_t> out;
    // "abcabcabc": literals a b c, then a match distance 3 length 6 (word 0x3002).
    auto block = Bytes({9, 0, 0, 0, 0x08, 'a', 'b', 'c', 0x02, 0x30});
    ASSERT_TRUE(LZSSCompress::Decompress(block.data(), block.size(), out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabc");

    auto empty = Bytes({0, 0, 0, 0});
    ASSERT_TRUE(LZSSCompress::Decompress(empty.data(), empty.size(), out));
    EXPECT_TRUE(out.empty());
}

TEST(LZSSTest, RefusesMalformedBlocks)
{
    std::vector<uint8_t> out;
    const std::vector<std::vector<uint8_t>> bad = {
        Bytes({}),                                   // no header
        Bytes({1, 0, 0}),                            // short header
        Bytes({1, 0, 0, 0}),                         // no data for the declared byte
        Bytes({2, 0, 0, 0, 0x00, 'a'}),              // ends early
        Bytes({1, 0, 0, 0, 0x00, 'a', 'b'}),         // goes on after the output is complete
        Bytes({4, 0, 0, 0, 0x01, 0x00, 0x00}),       // match before the start of the output
        Bytes({4, 0, 0, 0, 0x02, 'a', 0x00, 0xF0}),  // match longer than the declared size
        Bytes({4, 0, 0, 0, 0x02, 'a', 0x00}),        // match word cut in half
        Bytes({0, 0, 0, 0, 0x00}),                   // empty output with trailing input
        Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x00, 'a'}),  // forged size far beyond the input
    };
    for (size_t i = 0; i < bad.size(); ++i)
    {
        EXPECT_FALSE(LZSSCompress::Decompress(bad[i].data(), bad[i].size(), out)) << i;
        EXPECT_TRUE(out.empty()) << i;
    }
    auto big = Bytes({0x10, 0, 0, 0, 0x00, 'a'});
    EXPECT_FALSE(LZSSCompress::Decompress(big.data(), big.size(), out, 8)) << "above the caller's limit";
}

TEST(LZSSTest, RandomMutationsNeverReadOutOfBounds)
{
    // Each mutated block either decodes to exactly its declared size or is refused; the heap copy of
    // exactly the block's size lets the sanitizer builds catch any read past it.
    std::mt19937 rng(99);
    std::vector<uint8_t> source(3000);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>((i % 91) ^ (i / 200));
    std::vector<uint8_t> packed;
    ASSERT_TRUE(LZSSCompress::Compress(source.data(), source.size(), packed));
    for (int round = 0; round < 3000; ++round)
    {
        std::vector<uint8_t> m = packed;
        int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; ++e) m[rng() % m.size()] = static_cast<uint8_t>(rng());
        if (rng() % 4 == 0) m.resize(rng() % m.size());
        std::vector<uint8_t> out;
        uint32_t declared = 0;
        if (LZSSCompress::Decompress(m.data(), m.size(), out))
        {
            ASSERT_TRUE(LZSSCompress::ReadUncompressedSize(m.data(), m.size(), declared));
            EXPECT_EQ(out.size(), declared);
        }
        else
        {
            EXPECT_TRUE(out.empty());
        }
    }
}
