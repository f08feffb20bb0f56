// Thread scaling of ConvertCodecTexture: one 2048x2048 image of mixed content (smooth, noisy, flat and
// hard-edged tiles, so that slices differ in cost as real textures do) compressed on 1 thread and on
// 2, 4, ... up to the processor count, best of a few runs each, beside the speed-up the uneven slices
// allow at best; then many small images, where the cost of handing work to the threads shows.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "textures/codec/CodecTexture.h"
#include "textures/codec/ConvertTexture.h"

namespace {

uint32_t Argb(int a, int r, int g, int b)
{
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

std::vector<uint32_t> MixedImage(int w, int h)
{
    std::vector<uint32_t> img(size_t(w) * h);
    std::mt19937 rng(2048);
    const int tile = 128;
    for (int ty = 0; ty < h; ty += tile)
    {
        for (int tx = 0; tx < w; tx += tile)
        {
            const int kind = int(rng() % 5);
            const int base[3] = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
            const float f = 0.02f + float(rng() % 100) / 1000.0f;
            for (int y = ty; y < std::min(ty + tile, h); ++y)
            {
                for (int x = tx; x < std::min(tx + tile, w); ++x)
                {
                    uint32_t& p = img[size_t(y) * w + x];
                    const int u = x - tx, v = y - ty;
                    switch (kind)
                    {
                    case 0:  // smooth gradient
                        p = Argb(255, base[0] + u / 2, base[1] + v / 2, base[2] - (u + v) / 4);
                        break;
                    case 1:  // noise
                        p = Argb(int(rng() % 256), int(rng() % 256), int(rng() % 256), int(rng() % 256));
                        break;
                    case 2:  // flat
                        p = Argb(255, base[0], base[1], base[2]);
                        break;
                    case 3:
                    {  // texture: waves with grain
                        const float s = std::sin(u * f + 1.7f * std::sin(v * f));
                        const int grain = int(rng() % 17) - 8;
                        p = Argb(200 + int(55 * s), base[0] + int(60 * s) + grain, base[1] + grain,
                                 base[2] - int(60 * s) + grain);
                        break;
                    }
                    default:  // hard-edged shapes with cut-out alpha
                        p = ((u / 16 + v / 16) & 1) != 0 ? Argb(255, base[0], base[1], base[2])
                                                         : Argb(0, 255 - base[0], 255 - base[1], 255 - base[2]);
                    }
                }
            }
        }
    }
    return img;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The best speed-up n slices allow: the sum of the slices' single-thread times over the longest one
// (slices of uneven content take uneven times, and the call waits for the slowest).
double SliceBound(const CodecTextureDesc& src, const CodecTextureDesc& dst, const CodecOptions& options, uint32_t n,
                  int repeats)
{
    CodecOptions single = options;
    single.disableMultithreading = 1;
    auto* from = static_cast<uint8_t*>(src.data);
    auto* to = static_cast<uint8_t*>(dst.data);
    double sum = 0.0, longest = 0.0;
    for (uint32_t rows : SliceRows(dst.height, n, 4))
    {
        if (rows == 0) continue;
        CodecTextureDesc s = src, d = dst;
        s.height = d.height = rows;
        s.data = from, d.data = to;
        s.dataSize = CodecTextureSize(&s), d.dataSize = CodecTextureSize(&d);
        double best = 1e30;
        for (int r = 0; r < repeats; ++r)
        {
            const auto t0 = std::chrono::steady_clock::now();
            ConvertCodecTexture(&s, &d, &single, nullptr, 0, 0);
            best = std::min(best, Seconds(t0));
        }
        sum += best, longest = std::max(longest, best);
        from += s.dataSize, to += d.dataSize;
    }
    return sum / longest;
}

struct Mode
{
    const char* format;
    int32_t codecFormat;
    uint32_t speed;
    const char* mode;
};

}  // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const uint32_t cores = GetProcessorCount();
    double startLoad = 0.0;
    getloadavg(&startLoad, 1);
    const int w = 2048, h = 2048;
    std::vector<uint32_t> image = MixedImage(w, h);
    std::vector<uint32_t> threadCounts = {1};
    for (uint32_t n = 2; n < cores; n *= 2) threadCounts.push_back(n);
    if (cores > 1) threadCounts.push_back(std::min(cores, kMaxCompressionWorkers));

    std::printf("processors,%u\n", cores);
    std::printf("format,mode,threads,mpix_per_s,speed_up,slice_bound\n");
    const Mode modes[] = {{"DXT1", CF_DXT1, 0, "quality"},
                          {"DXT1", CF_DXT1, 2, "fast-sse2"},
                          {"DXT5", CF_DXT5, 0, "quality"},
                          {"ATC_RGB", CF_ATC_RGB, 0, "default"},
                          {"ETC1", CF_ETC_RGB, 0, "codec-library"}};
    for (const Mode& m : modes)
    {
        std::vector<uint8_t> out(CodecTextureSizeForFormat(m.codecFormat, w, h, 0));
        const CodecTextureDesc src{kCodecTextureDescSize,      uint32_t(w), uint32_t(h), 0, CF_ARGB8888,
                                   uint32_t(image.size() * 4), image.data()};
        const CodecTextureDesc dst{kCodecTextureDescSize, uint32_t(w),          uint32_t(h), 0,
                                   m.codecFormat,         uint32_t(out.size()), out.data()};
        CodecOptions options{};
        options.size = kCodecOptionsSize;
        options.compressionSpeed = m.speed;
        options.alphaThreshold = 128;
        double single = 0.0;
        for (uint32_t n : threadCounts)
        {
            double best = 1e30;
            for (int r = 0; r < repeats; ++r)
            {
                const auto t0 = std::chrono::steady_clock::now();
                const CodecResult result = n == 1 ? (options.disableMultithreading = 1,
                                                     ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0))
                                                  : CompressTextureThreaded(src, dst, &options, nullptr, 0, 0,
                                                                            FormatToCodecType(m.codecFormat), n);
                best = std::min(best, Seconds(t0));
                if (result != CODEC_OK)
                {
                    std::fprintf(stderr, "%s %s: result %u\n", m.format, m.mode, unsigned(result));
                    return 1;
                }
            }
            const double mpix = double(w) * h / best / 1e6;
            if (n == 1) single = mpix;
            std::printf("%s,%s,%u,%.2f,%.2f,%.2f\n", m.format, m.mode, n, mpix, mpix / single,
                        n == 1 ? 1.0 : SliceBound(src, dst, options, n, repeats));
        }
    }

    // The machine's own ceiling: n independent single-thread compressions of the whole image at once,
    // no slicing and no pool. On a shared or virtual machine this is well below n.
    std::printf("\nindependent single-thread compressions at once,threads,speed_up\n");
    {
        CodecOptions options{};
        options.size = kCodecOptionsSize;
        options.disableMultithreading = 1;
        options.alphaThreshold = 128;
        double one = 0.0;
        for (uint32_t n : threadCounts)
        {
            std::vector<std::vector<uint8_t>> outs(
                n, std::vector<uint8_t>(CodecTextureSizeForFormat(CF_ETC_RGB, w, h, 0)));
            double best = 1e30;
            for (int r = 0; r < repeats; ++r)
            {
                const auto t0 = std::chrono::steady_clock::now();
                std::vector<std::thread> threads;
                for (uint32_t i = 0; i < n; ++i)
                {
                    threads.emplace_back([&, i] {
                        const CodecTextureDesc src{kCodecTextureDescSize,      uint32_t(w), uint32_t(h), 0, CF_ARGB8888,
                                                   uint32_t(image.size() * 4), image.data()};
                        const CodecTextureDesc dst{kCodecTextureDescSize,    uint32_t(w),   uint32_t(h), 0, CF_ETC_RGB,
                                                   uint32_t(outs[i].size()), outs[i].data()};
                        ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0);
                    });
                }
                for (std::thread& t : threads) t.join();
                best = std::min(best, Seconds(t0));
            }
            const double rate = n / best;
            if (n == 1) one = rate;
            std::printf("ETC1 codec-library,%u,%.2f\n", n, rate / one);
        }
    }

    // Many small images through the public entry: the per-call cost of the threads.
    const int sw = 64, sh = 64, calls = 2000;
    std::vector<uint32_t> small(image.begin(), image.begin() + sw * sh);
    std::vector<uint8_t> out(CodecTextureSizeForFormat(CF_DXT1, sw, sh, 0));
    const CodecTextureDesc src{kCodecTextureDescSize, sw, sh, 0, CF_ARGB8888, uint32_t(small.size() * 4), small.data()};
    const CodecTextureDesc dst{kCodecTextureDescSize, sw, sh, 0, CF_DXT1, uint32_t(out.size()), out.data()};
    std::printf("\nsmall images,threads,calls_per_s\n");
    for (uint32_t single : {1u, 0u})
    {
        CodecOptions options{};
        options.size = kCodecOptionsSize;
        options.compressionSpeed = 2;
        options.disableMultithreading = single;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0);
        std::printf("DXT1 fast-sse2 64x64,%u,%.0f\n", single != 0 ? 1u : cores, calls / Seconds(t0));
    }
    double endLoad = 0.0;
    getloadavg(&endLoad, 1);
    std::printf("\nload average at start / end,%.2f / %.2f%s\n", startLoad, endLoad,
                std::max(startLoad, endLoad) >= 1.0 ? " (other work on the machine lowers the speed-ups)" : "");
    return 0;
}
