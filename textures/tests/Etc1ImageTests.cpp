// Whole-image checks of the ETC1 codec: quality through an independent decoder (which reads the blocks in
// row-major order), padding, refusal of bad input, running out of memory, and concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "textures/Etc1Codec.h"
#include "textures/tests/Etc1TestImages.h"

using namespace etc1test;

// Lets a test make the codec's nothrow allocations fail.
static std::atomic<bool> gFailNothrowArrays{false};

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    if (gFailNothrowArrays.load()) return nullptr;
    try
    {
        return ::operator new[](size);  // paired with the ordinary delete[]
    }
    catch (...)
    {
        return nullptr;
    }
}

namespace {

struct Encoded
{
    bool ok = false;
    std::unique_ptr<uint8_t[]> blocks;
    int across = -1;
    int down = -1;
};

Encoded Encode(const Image& img, int w, int h)
{
    Encoded e;
    e.ok = CompressImageETC1(img.data(), img.size(), w, h, e.blocks, e.across, e.down);
    return e;
}

double AndroidEncoderPsnr(const Image& img, int w, int h)
{
    std::vector<uint8_t> blocks(etc1_get_encoded_data_size(w, h));
    if (etc1_encode_image(img.data(), w, h, 3, w * 3, blocks.data()) != 0) return 0.0;
    return DecodedPsnr(img, blocks.data(), w, h);
}

}  // namespace

TEST(Etc1Image, QualityAtLeastTheAndroidEncoder)
{
    struct Case
    {
        const char* name;
        Image img;
        double floor;
    };
    const int w = 64, h = 64;
    const Case cases[] = {
        {"gradient", Gradient(w, h), 36.0}, {"noise", Noise(w, h, 1, 12), 32.5}, {"edges", Edges(w, h), 12.9}};
    for (const Case& c : cases)
    {
        const Encoded e = Encode(c.img, w, h);
        ASSERT_TRUE(e.ok) << c.name;
        const double ours = DecodedPsnr(c.img, e.blocks.get(), w, h);
        EXPECT_GE(ours, c.floor) << c.name;
        EXPECT_GE(ours, AndroidEncoderPsnr(c.img, w, h)) << c.name;
    }
}

TEST(Etc1Image, FurtherModesImproveOnTheFastMode)
{
    const int w = 16, h = 8;
    const Image img = Noise(w, h, 5, 20);
    const size_t size = Etc1CompressedSize(w, h);
    std::vector<uint8_t> fast(size), near(size), wide(size), perceptual(size);
    ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), w, h, fast.data(), size));
    ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::NearSearch, img.data(), img.size(), w, h, near.data(), size));
    ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::WideSearch, img.data(), img.size(), w, h, wide.data(), size));
    ASSERT_TRUE(CompressImageETC1WithMode(Etc1Mode::Perceptual, img.data(), img.size(), w, h, perceptual.data(), size));
    const double psnrFast = DecodedPsnr(img, fast.data(), w, h);
    EXPECT_GE(DecodedPsnr(img, near.data(), w, h), psnrFast);
    EXPECT_GE(DecodedPsnr(img, wide.data(), w, h), DecodedPsnr(img, near.data(), w, h));
    EXPECT_GT(DecodedPsnr(img, perceptual.data(), w, h), psnrFast - 1.5);

    // The image entry and the fast mode through the mode entry give the same bytes.
    const Encoded e = Encode(img, w, h);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(0, std::memcmp(e.blocks.get(), fast.data(), size));
}

TEST(Etc1Image, OddSizesArePaddedWithTheLastColumnAndRow)
{
    const Image img = Noise(5, 3, 9, 30);
    testing::internal::CaptureStdout();
    const Encoded e = Encode(img, 5, 3);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.across, 2);
    EXPECT_EQ(e.down, 1);
    EXPECT_EQ(printed,
              " Width = 5 is not divisible by four...  expanding image in x-dir...  Height = 3 is not divisible "
              "by four...  expanding image in y-dir...Active pixels: 5x3. Expanded image: 8x4\n");

    Image padded(8 * 4 * 3);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            std::memcpy(&padded[(y * 8 + x) * 3], &img[(std::min(y, 2) * 5 + std::min(x, 4)) * 3], 3);
    const Encoded p = Encode(padded, 8, 4);
    EXPECT_EQ(0, std::memcmp(e.blocks.get(), p.blocks.get(), 16));

    testing::internal::CaptureStdout();
    Encode(Uniform(4, 8, 1, 2, 3), 4, 8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Etc1Image, BadInputIsRefusedWithoutWriting)
{
    const Image img = Gradient(8, 8);
    Encoded e;
    e.across = e.down = 77;
    EXPECT_FALSE(CompressImageETC1(nullptr, 192, 8, 8, e.blocks, e.across, e.down));
    EXPECT_FALSE(CompressImageETC1(img.data(), img.size(), 0, 8, e.blocks, e.across, e.down));
    EXPECT_FALSE(CompressImageETC1(img.data(), img.size(), 8, -4, e.blocks, e.across, e.down));
    EXPECT_FALSE(CompressImageETC1(img.data(), img.size() - 1, 8, 8, e.blocks, e.across, e.down));
    EXPECT_FALSE(CompressImageETC1(img.data(), img.size(), kEtc1MaxSide + 1, 1, e.blocks, e.across, e.down));
    EXPECT_FALSE(e.blocks);
    EXPECT_EQ(e.across, 77);
    EXPECT_EQ(e.down, 77);
    EXPECT_EQ(Etc1CompressedSize(0, 4), 0u);
    EXPECT_EQ(Etc1CompressedSize(1, 1), 8u);
    EXPECT_EQ(Etc1CompressedSize(6, 6), 32u);

    // A destination one byte short is refused; a right-sized one is filled exactly, guard bytes intact.
    std::vector<uint8_t> out(32 + 16, 0xA5);
    EXPECT_FALSE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), 8, 8, out.data() + 8, 31));
    EXPECT_FALSE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), 8, 8, nullptr, 32));
    EXPECT_FALSE(
        CompressImageETC1WithMode(static_cast<Etc1Mode>(99), img.data(), img.size(), 8, 8, out.data() + 8, 32));
    for (uint8_t b : out) EXPECT_EQ(b, 0xA5);
    EXPECT_TRUE(CompressImageETC1WithMode(Etc1Mode::Fast, img.data(), img.size(), 8, 8, out.data() + 8, 32));
    for (int i = 0; i < 8; ++i)
    {
        EXPECT_EQ(out[i], 0xA5);
        EXPECT_EQ(out[40 + i], 0xA5);
    }
}

TEST(Etc1Image, RunningOutOfMemoryFailsTheCallOnly)
{
    const Image img = Gradient(8, 8);
    Encoded e;
    gFailNothrowArrays = true;
    const bool ok = CompressImageETC1(img.data(), img.size(), 8, 8, e.blocks, e.across, e.down);
    gFailNothrowArrays = false;
    EXPECT_FALSE(ok);
    EXPECT_FALSE(e.blocks);
    EXPECT_TRUE(Encode(img, 8, 8).ok);
}

TEST(Etc1Image, ConcurrentCallsGiveIdenticalBlocks)
{
    const int w = 64, h = 32;
    const Image img = Noise(w, h, 11, 40);
    const Encoded reference = Encode(img, w, h);
    ASSERT_TRUE(reference.ok);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int n = 0; n < 5; ++n)
            {
                const Encoded e = Encode(img, w, h);
                if (!e.ok || std::memcmp(e.blocks.get(), reference.blocks.get(), Etc1CompressedSize(w, h)) != 0)
                    ++mismatches;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}
