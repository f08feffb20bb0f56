// Images too small to repay threads are compressed on the caller's thread, in the same slices: the same
// bytes and the same progress reports as when the slices are spread over the pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "TestImages.h"
#include "textures/codec/ConvertTexture.h"

namespace {

std::mutex g_mutex;
std::vector<std::thread::id> g_reporters;
std::vector<float> g_percents;

uint8_t Record(float percent, uint32_t, uint32_t)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_reporters.push_back(std::this_thread::get_id());
    g_percents.push_back(percent);
    return 0;
}

}  // namespace

TEST(CallerThread, WhatRepaysThreads)
{
    const CodecOptions fast = testimg::Options(2, false), quality = testimg::Options(0, false);
    struct Case
    {
        uint32_t codecType, side;
        const CodecOptions* options;
        bool repays;
    } cases[] = {
        {2, 64, &fast, false},    {2, 1024, &fast, true},  {4, 128, &fast, false}, {2, 64, &quality, true},
        {2, 16, &quality, false}, {18, 64, nullptr, true}, {14, 64, &fast, true},  {11, 32, &fast, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RepaysThreads(c.codecType, c.options, c.side, c.side), c.repays) << c.codecType << " " << c.side;
}

TEST(CallerThread, SmallImagesStayOnTheCallersThreadWithTheSameSlices)
{
    const int w = 48, h = 40;
    std::vector<uint32_t> img = testimg::Textured(w, h);
    const CodecTextureDesc src = testimg::Desc(w, h, CF_ARGB8888, img.data(), uint32_t(img.size() * 4));
    const CodecOptions options = testimg::Options(2, false);
    std::vector<uint8_t> spread(CodecTextureSizeForFormat(CF_DXT5, w, h, 0)), here(spread.size());
    const CodecTextureDesc spreadDst = testimg::Desc(w, h, CF_DXT5, spread.data(), uint32_t(spread.size()));
    const CodecTextureDesc hereDst = testimg::Desc(w, h, CF_DXT5, here.data(), uint32_t(here.size()));
    ASSERT_EQ(CompressTextureThreaded(src, spreadDst, &options, Record, 0, 0, 4, 5), CODEC_OK);
    std::vector<float> spreadPercents = g_percents;
    g_percents.clear();
    g_reporters.clear();
    ASSERT_EQ(CompressTextureThreaded(src, hereDst, &options, Record, 0, 0, 4, 5, true), CODEC_OK);
    EXPECT_EQ(here, spread);
    std::sort(spreadPercents.begin(), spreadPercents.end());
    std::vector<float> herePercents = g_percents;
    std::sort(herePercents.begin(), herePercents.end());
    EXPECT_EQ(herePercents, spreadPercents);
    for (std::thread::id id : g_reporters) EXPECT_EQ(id, std::this_thread::get_id());
    // The public entry makes the same choice for an image this small.
    std::vector<uint8_t> viaEntry(spread.size());
    g_reporters.clear();
    const CodecTextureDesc entryDst = testimg::Desc(w, h, CF_DXT5, viaEntry.data(), uint32_t(viaEntry.size()));
    ASSERT_EQ(ConvertCodecTexture(&src, &entryDst, &options, Record, 0, 0), CODEC_OK);
    EXPECT_EQ(viaEntry, spread);
    for (std::thread::id id : g_reporters) EXPECT_EQ(id, std::this_thread::get_id());
}
