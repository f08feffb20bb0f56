// The worker pool on its own, and compression cut into slices over it: the same bytes as one thread
// for any number of slices, from any number of callers at once, in a forked child and up to exit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cfenv>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TestImages.h"
#include "textures/codec/ConvertTexture.h"
#include "textures/codec/WorkerPool.h"

namespace {

// DXT1 with its alpha, so that cut-out blocks take their own path too.
CodecOptions Options(uint32_t speed, bool single)
{
    CodecOptions o = testimg::Options(speed, single);
    o.dxt1UseAlpha = 1;
    return o;
}

std::vector<uint8_t> CompressSliced(std::vector<uint32_t> img, int w, int h, int32_t format, uint32_t speed,
                                    uint32_t workers, CodecResult* result = nullptr)
{
    const CodecTextureDesc src = testimg::Desc(w, h, CF_ARGB8888, img.data(), uint32_t(img.size() * 4));
    std::vector<uint8_t> out(CodecTextureSizeForFormat(format, w, h, 0), 0xEE);
    const CodecTextureDesc dst = testimg::Desc(w, h, format, out.data(), uint32_t(out.size()));
    const CodecOptions o = Options(speed, false);
    const CodecResult r = CompressTextureThreaded(src, dst, &o, nullptr, 0, 0, FormatToCodecType(format), workers);
    if (result) *result = r;
    return out;
}

struct Job
{
    int32_t format;
    uint32_t speed;
};
const Job kJobs[] = {{CF_DXT1, 0},   {CF_DXT1, 2},      {CF_DXT3, 1},
                     {CF_DXT5, 0},   {CF_DXT5_xGxR, 2}, {CF_ATI1N, 0},
                     {CF_ATI2N, 1},  {CF_ATC_RGB, 0},   {CF_ATC_RGBA_Interpolated, 0},
                     {CF_ETC_RGB, 0}};

// Counts the runs of each task index.
struct Recorder
{
    explicit Recorder(uint32_t n) : hits(n) {}
    void operator()(uint32_t i) { hits[i].fetch_add(1); }
    bool AllOnce() const
    {
        for (const auto& h : hits)
            if (h.load() != 1) return false;
        return true;
    }
    std::vector<std::atomic<int>> hits;
};

}  // namespace

TEST(SliceRows, EvenSharesRoundedUpToBlockRows)
{
    EXPECT_EQ(SliceRows(100, 8, 4), (std::vector<uint32_t>{12, 12, 12, 12, 16, 12, 12, 12}));
    EXPECT_EQ(SliceRows(3, 8, 4), (std::vector<uint32_t>{0, 0, 0, 0, 0, 3, 0, 0}));
    EXPECT_EQ(SliceRows(7, 1, 4), (std::vector<uint32_t>{7}));
    for (uint32_t h : {1u, 5u, 64u, 257u, 2048u})
    {
        for (uint32_t n : {2u, 7u, 64u})
        {
            const std::vector<uint32_t> rows = SliceRows(h, n, 4);
            uint32_t sum = 0;
            for (uint32_t i = 0; i < n; ++i)
            {
                if (i + 1 < n)
                {
                    EXPECT_EQ(rows[i] % 4, 0u) << h << "/" << n;  // only the last may end inside a block
                }
                sum += rows[i];
            }
            EXPECT_EQ(sum, h);
        }
    }
}

TEST(WorkUnitRows, WholeBlockRowsShrinkingToOneAndCoveringTheImage)
{
    EXPECT_EQ(WorkUnitRows(3, 8, 4), (std::vector<uint32_t>{3}));
    EXPECT_EQ(WorkUnitRows(0, 8, 4), (std::vector<uint32_t>{}));
    EXPECT_EQ(WorkUnitRows(40, 2, 4), (std::vector<uint32_t>{8, 4, 4, 4, 4, 4, 4, 4, 4}));
    const std::vector<uint32_t> large = WorkUnitRows(2048, 8, 4);
    EXPECT_EQ(large.front(), 64u);  // a 32nd of the 512 block rows
    EXPECT_EQ(large.back(), 4u);
    EXPECT_LT(large.size(), 120u);
    for (uint32_t h : {1u, 7u, 102u, 261u, 2048u, 4099u})
    {
        for (uint32_t n : {1u, 3u, 8u, 64u})
        {
            const std::vector<uint32_t> rows = WorkUnitRows(h, n, 4);
            uint32_t sum = 0;
            for (size_t i = 0; i < rows.size(); ++i)
            {
                EXPECT_TRUE(i + 1 == rows.size() || rows[i] % 4 == 0) << h << "/" << n;
                EXPECT_TRUE(i == 0 || rows[i] <= rows[i - 1]) << h << "/" << n;
                EXPECT_GT(rows[i], 0u);
                sum += rows[i];
            }
            EXPECT_EQ(sum, h);
        }
    }
}

TEST(WorkerPool, EveryTaskOnceAndThreadsReused)
{
    for (uint32_t count : {1u, 2u, 8u, 64u, 300u})
    {
        Recorder r(count);
        RunCodecTasks(count, r);
        EXPECT_TRUE(r.AllOnce()) << count;
    }
    const uint32_t threads = CodecPoolThreadCount();
    EXPECT_LE(threads, kMaxPoolThreads);
    for (int round = 0; round < 50; ++round)
    {
        Recorder r(64);
        RunCodecTasks(64, r);
        ASSERT_TRUE(r.AllOnce());
    }
    EXPECT_EQ(CodecPoolThreadCount(), threads);
}

TEST(WorkerPool, TasksRunInTheCallersFloatingPointEnvironment)
{
    // Ending on the usual mode shows the pool's threads went back to their own environment.
    for (int mode : {FE_UPWARD, FE_TOWARDZERO, fegetround()})
    {
        ASSERT_EQ(fesetround(mode), 0);
        std::vector<int> seen(32, -1);
        auto task = [&](uint32_t i) { seen[i] = fegetround(); };
        RunCodecTasks(32, task);
        EXPECT_EQ(fegetround(), mode);
        for (int s : seen) EXPECT_EQ(s, mode);
    }
}

TEST(SlicedCompression, SameBytesAsOneThreadForAnySliceCount)
{
    struct Size
    {
        int w, h;
    };
    // 102 rows end inside a block row; 261 rows are 66 block rows, more than 64 slices can share evenly.
    for (Size s : {Size{40, 102}, Size{13, 261}})
    {
        const std::vector<uint32_t> img = testimg::Textured(s.w, s.h, uint32_t(s.h));
        for (const Job& j : kJobs)
        {
            CodecOptions single = Options(j.speed, true);
            const std::vector<uint8_t> expected = testimg::Compress(img, s.w, s.h, j.format, &single);
            for (uint32_t n : {1u, 2u, 3u, 8u, 64u, 100u})
            {
                CodecResult r = CODEC_FAILED;
                EXPECT_EQ(CompressSliced(img, s.w, s.h, j.format, j.speed, n, &r), expected)
                    << j.format << " speed " << j.speed << " slices " << n;
                EXPECT_EQ(r, CODEC_OK);
            }
        }
    }
}

TEST(SlicedCompression, SameBytesUnderAnotherRoundingMode)
{
    const int w = 24, h = 48;
    const std::vector<uint32_t> img = testimg::Textured(w, h, 5);
    const int rounding = fegetround();
    ASSERT_EQ(fesetround(FE_UPWARD), 0);
    for (const Job& j : kJobs)
    {
        CodecOptions single = Options(j.speed, true);
        const std::vector<uint8_t> expected = testimg::Compress(img, w, h, j.format, &single);
        EXPECT_EQ(CompressSliced(img, w, h, j.format, j.speed, 6), expected) << j.format;
    }
    fesetround(rounding);
}

TEST(SlicedCompression, ConcurrentCallersEachGetTheirOwnResult)
{
    const int w = 32, h = 64;
    std::vector<std::vector<uint32_t>> images;
    std::vector<std::vector<uint8_t>> expected;
    for (size_t i = 0; i < std::size(kJobs); ++i)
    {
        images.push_back(testimg::Textured(w, h, uint32_t(100 + i)));
        CodecOptions single = Options(kJobs[i].speed, true);
        expected.push_back(testimg::Compress(images[i], w, h, kJobs[i].format, &single));
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (size_t c = 0; c < std::size(kJobs); ++c)
    {
        callers.emplace_back([&, c] {
            for (int round = 0; round < 6; ++round)
            {
                const size_t i = (c + size_t(round)) % std::size(kJobs);
                std::vector<uint32_t> img = images[i];
                std::vector<uint8_t> out(expected[i].size());
                const CodecTextureDesc s = testimg::Desc(w, h, CF_ARGB8888, img.data(), uint32_t(img.size() * 4));
                const CodecTextureDesc d = testimg::Desc(w, h, kJobs[i].format, out.data(), uint32_t(out.size()));
                const CodecOptions o = Options(kJobs[i].speed, false);
                // Through the public entry (as many slices as processors) and with a fixed slice count.
                if (ConvertCodecTexture(&s, &d, &o, nullptr, 0, 0) != CODEC_OK || out != expected[i]) ++wrong;
                if (CompressSliced(img, w, h, kJobs[i].format, kJobs[i].speed, 5) != expected[i]) ++wrong;
            }
        });
    }
    for (std::thread& t : callers) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

namespace {
std::atomic<int> g_progressCalls{0};
uint8_t StopOnFirstCall(float, uint32_t, uint32_t)
{
    g_progressCalls.fetch_add(1);
    return 1;
}
}  // namespace

TEST(SlicedCompression, AStopOnEverySliceIsReportedAfterAllHaveEnded)
{
    const int w = 8, h = 64;
    std::vector<uint32_t> img = testimg::Gradient(w, h);
    std::vector<uint8_t> out(CodecTextureSizeForFormat(CF_DXT5, w, h, 0));
    const CodecTextureDesc s = testimg::Desc(w, h, CF_ARGB8888, img.data(), uint32_t(img.size() * 4));
    const CodecTextureDesc d = testimg::Desc(w, h, CF_DXT5, out.data(), uint32_t(out.size()));
    g_progressCalls = 0;
    EXPECT_EQ(CompressTextureThreaded(s, d, nullptr, StopOnFirstCall, 0, 0, FormatToCodecType(CF_DXT5), 4),
              CODEC_STOPPED);
    EXPECT_EQ(g_progressCalls.load(), 4);  // each slice asked once, none cut short by another
}

TEST(SlicedCompression, AForkedChildCompressesWithAFreshPool)
{
    const int w = 16, h = 64;
    const std::vector<uint32_t> img = testimg::Textured(w, h);
    CodecOptions single = Options(0, true);
    const std::vector<uint8_t> expected = testimg::Compress(img, w, h, CF_DXT5, &single);
    ASSERT_EQ(CompressSliced(img, w, h, CF_DXT5, 0, 4), expected);  // the parent's pool is running
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0)
    {
        alarm(20);  // a hang shows as a signal, not as a stuck test
        const bool same = CompressSliced(img, w, h, CF_DXT5, 0, 4) == expected && CodecPoolThreadCount() <= 3;
        _exit(same ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SlicedCompressionDeathTest, ExitWithTheThreadsIdleEndsCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::vector<uint32_t> img = testimg::Textured(16, 64);
            CompressSliced(img, 16, 64, CF_DXT1, 0, 16);
            std::exit(CodecPoolThreadCount() == 15 ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}
