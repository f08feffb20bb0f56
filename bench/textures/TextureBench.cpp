// Texture compression benchmark: compresses a corpus of real textures with our codec library, our ETC1
// codec and the peers (libsquish, stb_dxt, NVIDIA Texture Tools 2.0.8, android-libetc1), decodes every
// output with one independent decoder per format (libsquish for DXT, android-libetc1 for ETC1, a decoder
// of our own written from the published layout for ATC), and prints speed and PSNR as CSV, then the
// ratios to the peers.
#include <android/ETC1/etc1.h>
#include <dlfcn.h>
#include <squish.h>
#include <stb/stb_dxt.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/textures/AtcDecoder.h"
#include "bench/textures/BeforeModule.h"
#include "bench/textures/NvttPeer.h"
#include "bench/textures/PngCorpus.h"
#include "textures/Etc1Codec.h"
#include "textures/codec/CodecTexture.h"
#include "textures/codec/ConvertTexture.h"
#include "textures/codec/SimdLevel.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// One encoder under test: compresses `input` (RGBA) and decodes the result into `decoded` (RGBA) with the
// format's independent decoder. Returns the seconds spent compressing only, or a negative value on failure.
using Codec = std::function<double(const RgbaImage& input, std::vector<uint8_t>& decoded)>;

struct Row
{
    std::string encoder, format, mode;
    int threads = 1;
    double mpixPerSecond = 0.0;
    double rgbPsnr = 0.0;
    double alphaPsnr = -1.0;  // negative: the format has no alpha
    bool failed = false;
};

std::vector<uint8_t> ToBgra(const RgbaImage& img)
{
    std::vector<uint8_t> bgra(img.rgba.size());
    for (size_t i = 0; i < bgra.size(); i += 4)
    {
        bgra[i] = img.rgba[i + 2];
        bgra[i + 1] = img.rgba[i + 1];
        bgra[i + 2] = img.rgba[i];
        bgra[i + 3] = img.rgba[i + 3];
    }
    return bgra;
}

std::vector<uint8_t> ToRgb(const RgbaImage& img)
{
    std::vector<uint8_t> rgb(img.rgba.size() / 4 * 3);
    for (size_t i = 0, j = 0; i < img.rgba.size(); i += 4, j += 3) std::memcpy(&rgb[j], &img.rgba[i], 3);
    return rgb;
}

RgbaImage Opaque(const RgbaImage& img)
{
    RgbaImage o = img;
    for (size_t i = 3; i < o.rgba.size(); i += 4) o.rgba[i] = 255;
    return o;
}

size_t BlockBytes(const RgbaImage& img, int bytesPerBlock)
{
    return static_cast<size_t>(img.width / 4) * (img.height / 4) * bytesPerBlock;
}

// ---- independent decoders ----

void DecodeSquish(const std::vector<uint8_t>& blocks, const RgbaImage& img, int flags, std::vector<uint8_t>& out)
{
    out.assign(img.rgba.size(), 0);
    squish::DecompressImage(out.data(), img.width, img.height, blocks.data(), flags);
}

void DecodeEtc1(const std::vector<uint8_t>& blocks, const RgbaImage& img, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(img.width) * img.height * 3);
    etc1_decode_image(blocks.data(), rgb.data(), img.width, img.height, 3, img.width * 3);
    out.assign(img.rgba.size(), 255);
    for (size_t i = 0, j = 0; j < rgb.size(); i += 4, j += 3) std::memcpy(&out[i], &rgb[j], 3);
}

// BC4 (channels 1: red) and BC5 (channels 2: red, then green): each channel is an interpolated block of
// the DXT5 alpha layout. Debian's libsquish 1.15 decodes BC4/BC5 as colour blocks, so each block is put
// in the alpha place of a DXT5 block and read back through libsquish's alpha decoder.
void DecodeInterpolatedChannels(const std::vector<uint8_t>& blocks, const RgbaImage& img, int channels,
                                std::vector<uint8_t>& out)
{
    out.assign(img.rgba.size(), 0);
    const uint8_t* block = blocks.data();
    for (int by = 0; by < img.height; by += 4)
        for (int bx = 0; bx < img.width; bx += 4)
            for (int c = 0; c < channels; ++c, block += 8)
            {
                uint8_t dxt5[16] = {};
                std::memcpy(dxt5, block, 8);
                uint8_t texels[64];
                squish::Decompress(texels, dxt5, squish::kDxt5);
                for (int i = 0; i < 16; ++i)
                    out[(size_t(by + i / 4) * img.width + bx + i % 4) * 4 + c] = texels[4 * i + 3];
            }
}

// ---- our codec library and ETC1 codec, now and before ----

// How one of our runs is made: which build (ours, or the older tree's module), at which instruction set
// level, and whether the upper halves of the AVX registers are left in use just before the call (as any
// AVX code of the caller would leave them).
struct Variant
{
    BeforeConvertFn beforeConvert = nullptr;  // set: the older tree's library
    BeforeEtc1Fn beforeEtc1 = nullptr;        // set: the older tree's ETC1 codec
    SimdLevel level = SimdLevel::Avx512;      // ours: the highest level the codecs may use
    bool dirty = false;
};

// Leaves the upper halves of ymm15 in use; the asm is invisible to the compiler's own vzeroupper insertion.
__attribute__((target("avx"))) void DirtyUpperHalves()
{
    asm volatile("vpcmpeqd %%ymm15, %%ymm15, %%ymm15" ::: "xmm15");
}

void PrepareCall(const Variant& v)
{
    if (v.beforeConvert == nullptr && v.beforeEtc1 == nullptr) LimitCodecSimdLevel(v.level);
    if (v.dirty && ProcessorSimdLevel() >= SimdLevel::Avx2) DirtyUpperHalves();
}

Codec Library(int32_t format, uint32_t speed, bool multithreaded, Variant variant = {})
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        std::vector<uint8_t> bgra = ToBgra(img);  // ARGB8888 words: bytes B, G, R, A
        CodecTextureDesc src{kCodecTextureDescSize, uint32_t(img.width),   uint32_t(img.height), 0,
                             CF_ARGB8888,           uint32_t(bgra.size()), bgra.data()};
        CodecTextureDesc dst{kCodecTextureDescSize, uint32_t(img.width), uint32_t(img.height), 0, format, 0, nullptr};
        std::vector<uint8_t> blocks(CodecTextureSize(&dst));
        dst.dataSize = uint32_t(blocks.size());
        dst.data = blocks.data();
        CodecOptions options{};
        options.size = kCodecOptionsSize;
        options.disableMultithreading = multithreaded ? 0 : 1;
        options.compressionSpeed = speed;
        const Clock::time_point t0 = Clock::now();
        PrepareCall(variant);
        const CodecResult result = variant.beforeConvert != nullptr
                                       ? CodecResult(variant.beforeConvert(&src, &dst, &options))
                                       : ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0);
        const double seconds = Since(t0);
        LimitCodecSimdLevel(SimdLevel::Avx512);
        if (result != CODEC_OK) return -1.0;
        switch (format)
        {
        case CF_DXT1: DecodeSquish(blocks, img, squish::kDxt1, decoded); break;
        case CF_DXT5: DecodeSquish(blocks, img, squish::kDxt5, decoded); break;
        case CF_ETC_RGB: DecodeEtc1(blocks, img, decoded); break;
        case CF_BC4: DecodeInterpolatedChannels(blocks, img, 1, decoded); break;
        case CF_BC5: DecodeInterpolatedChannels(blocks, img, 2, decoded); break;
        case CF_ATC_RGB:
        case CF_ATC_RGBA_Interpolated:
            decoded.assign(img.rgba.size(), 0);
            DecodeAtcImage(blocks.data(), img.width, img.height, format == CF_ATC_RGBA_Interpolated, decoded.data());
            break;
        default: return -1.0;
        }
        return seconds;
    };
}

Codec Etc1Ours(Etc1Mode mode, Variant variant = {})
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        const std::vector<uint8_t> rgb = ToRgb(img);
        std::vector<uint8_t> blocks(Etc1CompressedSize(img.width, img.height));
        const Clock::time_point t0 = Clock::now();
        PrepareCall(variant);
        bool ok;
        if (variant.beforeEtc1 != nullptr)
        {
            ok = variant.beforeEtc1(rgb.data(), rgb.size(), img.width, img.height, blocks.data(), blocks.size()) == 0;
        }
        else if (mode == Etc1Mode::Fast)
        {
            std::unique_ptr<uint8_t[]> out;
            int across = 0, down = 0;
            ok = CompressImageETC1(rgb.data(), rgb.size(), img.width, img.height, out, across, down);
            if (ok) std::memcpy(blocks.data(), out.get(), blocks.size());
        }
        else
        {
            ok = CompressImageETC1WithMode(mode, rgb.data(), rgb.size(), img.width, img.height, blocks.data(),
                                           blocks.size());
        }
        const double seconds = Since(t0);
        LimitCodecSimdLevel(SimdLevel::Avx512);
        if (!ok) return -1.0;
        DecodeEtc1(blocks, img, decoded);
        return seconds;
    };
}

// ---- peers ----

Codec Squish(int format, int fit)
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        std::vector<uint8_t> blocks(BlockBytes(img, format == squish::kDxt1 ? 8 : 16));
        const Clock::time_point t0 = Clock::now();
        squish::CompressImage(img.rgba.data(), img.width, img.height, blocks.data(), format | fit);
        const double seconds = Since(t0);
        DecodeSquish(blocks, img, format, decoded);
        return seconds;
    };
}

Codec Stb(bool alpha, int mode)
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        const int bytes = alpha ? 16 : 8;
        std::vector<uint8_t> blocks(BlockBytes(img, bytes));
        const Clock::time_point t0 = Clock::now();
        uint8_t* out = blocks.data();
        for (int by = 0; by < img.height; by += 4)
            for (int bx = 0; bx < img.width; bx += 4, out += bytes)
            {
                uint8_t texels[64];
                for (int y = 0; y < 4; ++y)
                    std::memcpy(texels + y * 16, &img.rgba[(size_t(by + y) * img.width + bx) * 4], 16);
                stb_compress_dxt_block(out, texels, alpha ? 1 : 0, mode);
            }
        const double seconds = Since(t0);
        DecodeSquish(blocks, img, alpha ? squish::kDxt5 : squish::kDxt1, decoded);
        return seconds;
    };
}

Codec SquishChannels(int channels)
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        std::vector<uint8_t> blocks(BlockBytes(img, 8 * channels));
        const Clock::time_point t0 = Clock::now();
        squish::CompressImage(img.rgba.data(), img.width, img.height, blocks.data(),
                              channels == 1 ? squish::kBc4 : squish::kBc5);
        const double seconds = Since(t0);
        DecodeInterpolatedChannels(blocks, img, channels, decoded);
        return seconds;
    };
}

Codec StbChannels(int channels)
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        std::vector<uint8_t> blocks(BlockBytes(img, 8 * channels));
        const Clock::time_point t0 = Clock::now();
        uint8_t* out = blocks.data();
        for (int by = 0; by < img.height; by += 4)
            for (int bx = 0; bx < img.width; bx += 4, out += 8 * channels)
            {
                uint8_t texels[32];
                for (int i = 0; i < 16; ++i)
                    for (int c = 0; c < channels; ++c)
                        texels[i * channels + c] = img.rgba[(size_t(by + i / 4) * img.width + bx + i % 4) * 4 + c];
                if (channels == 1)
                    stb_compress_bc4_block(out, texels);
                else
                    stb_compress_bc5_block(out, texels);
            }
        const double seconds = Since(t0);
        DecodeInterpolatedChannels(blocks, img, channels, decoded);
        return seconds;
    };
}

Codec Nvtt(NvttPeerCompressFn compress, bool alpha, int quality)
{
    return [=](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        const std::vector<uint8_t> bgra = ToBgra(img);
        std::vector<uint8_t> blocks(BlockBytes(img, alpha ? 16 : 8));
        const Clock::time_point t0 = Clock::now();
        const int r =
            compress(bgra.data(), img.width, img.height, alpha ? 1 : 0, quality, blocks.data(), blocks.size());
        const double seconds = Since(t0);
        if (r != 0) return -1.0;
        DecodeSquish(blocks, img, alpha ? squish::kDxt5 : squish::kDxt1, decoded);
        return seconds;
    };
}

Codec AndroidEtc1()
{
    return [](const RgbaImage& img, std::vector<uint8_t>& decoded) -> double {
        const std::vector<uint8_t> rgb = ToRgb(img);
        std::vector<uint8_t> blocks(etc1_get_encoded_data_size(img.width, img.height));
        const Clock::time_point t0 = Clock::now();
        const int r = etc1_encode_image(rgb.data(), img.width, img.height, 3, img.width * 3, blocks.data());
        const double seconds = Since(t0);
        if (r != 0) return -1.0;
        DecodeEtc1(blocks, img, decoded);
        return seconds;
    };
}

NvttPeerCompressFn LoadNvttPeer()
{
    // Next to the executable first, then where the build put it.
    std::string path = VELMAR_NVTT_PEER_PATH;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0)
    {
        self[n] = 0;
        std::string dir(self);
        dir = dir.substr(0, dir.rfind('/') + 1);
        if (access((dir + "libvelmar_nvtt_peer.so").c_str(), R_OK) == 0) path = dir + "libvelmar_nvtt_peer.so";
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (!module)
    {
        std::fprintf(stderr, "nvtt peer not loaded: %s\n", dlerror());
        return nullptr;
    }
    return reinterpret_cast<NvttPeerCompressFn>(dlsym(module, "VelmarNvttPeerCompress"));
}

struct BeforeModule
{
    BeforeConvertFn convert = nullptr;
    BeforeEtc1Fn etc1 = nullptr;
};

BeforeModule LoadBeforeModule()
{
    BeforeModule m;
#ifdef VELMAR_BEFORE_MODULE_PATH
    void* module = dlopen(VELMAR_BEFORE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (!module)
    {
        std::fprintf(stderr, "before module not loaded: %s\n", dlerror());
        return m;
    }
    m.convert = reinterpret_cast<BeforeConvertFn>(dlsym(module, "VelmarBeforeConvert"));
    m.etc1 = reinterpret_cast<BeforeEtc1Fn>(dlsym(module, "VelmarBeforeEtc1"));
#endif
    return m;
}

// ---- thread scaling ----

// The machine's own ceiling for one mode: n independent single-thread compressions of the whole image at
// once (no slicing, no pool), in Mpix/s over all of them; best of `repeats`.
double CeilingMpix(const RgbaImage& img, int32_t format, uint32_t speed, int n, int repeats)
{
    const std::vector<uint8_t> bgra = ToBgra(img);
    CodecTextureDesc dst{kCodecTextureDescSize, uint32_t(img.width), uint32_t(img.height), 0, format, 0, nullptr};
    const size_t bytes = CodecTextureSize(&dst);
    std::vector<std::vector<uint8_t>> sources(static_cast<size_t>(n), bgra);
    std::vector<std::vector<uint8_t>> outs(static_cast<size_t>(n), std::vector<uint8_t>(bytes));
    CodecOptions options{};
    options.size = kCodecOptionsSize;
    options.disableMultithreading = 1;
    options.compressionSpeed = speed;
    double best = 1e30;
    for (int r = 0; r < repeats; ++r)
    {
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> workers;
        for (int i = 0; i < n; ++i)
            workers.emplace_back([&, i] {
                const CodecTextureDesc s{kCodecTextureDescSize,
                                         uint32_t(img.width),
                                         uint32_t(img.height),
                                         0,
                                         CF_ARGB8888,
                                         uint32_t(sources[size_t(i)].size()),
                                         sources[size_t(i)].data()};
                CodecTextureDesc d = dst;
                d.dataSize = uint32_t(bytes);
                d.data = outs[size_t(i)].data();
                ++ready;
                while (!go.load()) std::this_thread::yield();
                ConvertCodecTexture(&s, &d, &options, nullptr, 0, 0);
            });
        while (ready.load() < n) std::this_thread::yield();
        const Clock::time_point t0 = Clock::now();
        go = true;
        for (std::thread& t : workers) t.join();
        best = std::min(best, Since(t0));
    }
    return double(n) * img.width * img.height / best / 1e6;
}

// The best speed-up the slicing rule allows on one image: the sum of the slices' single-thread times over
// the longest one (one slice per thread, and the call waits for the slowest).
double SliceBound(const RgbaImage& img, int32_t format, uint32_t speed, uint32_t n)
{
    std::vector<uint8_t> bgra = ToBgra(img);
    CodecTextureDesc dst{kCodecTextureDescSize, uint32_t(img.width), uint32_t(img.height), 0, format, 0, nullptr};
    std::vector<uint8_t> out(CodecTextureSize(&dst));
    CodecOptions options{};
    options.size = kCodecOptionsSize;
    options.disableMultithreading = 1;
    options.compressionSpeed = speed;
    uint8_t* from = bgra.data();
    uint8_t* to = out.data();
    double sum = 0.0, longest = 0.0;
    for (uint32_t rows : SliceRows(uint32_t(img.height), n, 4))
    {
        if (rows == 0) continue;
        CodecTextureDesc s{kCodecTextureDescSize, uint32_t(img.width), rows, 0, CF_ARGB8888, 0, from};
        CodecTextureDesc d{kCodecTextureDescSize, uint32_t(img.width), rows, 0, format, 0, to};
        s.dataSize = CodecTextureSize(&s), d.dataSize = CodecTextureSize(&d);
        double best = 1e30;
        for (int r = 0; r < 3; ++r)
        {
            const Clock::time_point t0 = Clock::now();
            ConvertCodecTexture(&s, &d, &options, nullptr, 0, 0);
            best = std::min(best, Since(t0));
        }
        sum += best, longest = std::max(longest, best);
        from += s.dataSize, to += d.dataSize;
    }
    return sum / longest;
}

// Calls per second of one small compression through the public entry, on one thread or spread.
double SmallCallsPerSecond(const RgbaImage& img, bool single)
{
    std::vector<uint8_t> bgra = ToBgra(img);
    const CodecTextureDesc src{kCodecTextureDescSize, uint32_t(img.width),   uint32_t(img.height), 0,
                               CF_ARGB8888,           uint32_t(bgra.size()), bgra.data()};
    std::vector<uint8_t> out(CodecTextureSizeForFormat(CF_DXT1, uint32_t(img.width), uint32_t(img.height), 0));
    const CodecTextureDesc dst{kCodecTextureDescSize, uint32_t(img.width), uint32_t(img.height), 0, CF_DXT1,
                               uint32_t(out.size()),  out.data()};
    CodecOptions options{};
    options.size = kCodecOptionsSize;
    options.compressionSpeed = 2;
    options.disableMultithreading = single ? 1 : 0;
    double best = 0.0;
    for (int r = 0; r < 3; ++r)
    {
        const int calls = 2000;
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < calls; ++i) ConvertCodecTexture(&src, &dst, &options, nullptr, 0, 0);
        best = std::max(best, calls / Since(t0));
    }
    return best;
}

// ---- measuring ----

double Psnr(double squaredError, double samples)
{
    if (samples == 0.0) return -1.0;
    if (squaredError == 0.0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * samples / squaredError);
}

struct Entry
{
    std::string encoder, format, mode;
    Codec codec;
    bool opaqueInput;  // formats without alpha are fed (and judged on) opaque images
    bool alpha;
    int colourChannels = 3;  // judged colour channels: red, green, blue, or the first one or two of them
};

Row Measure(const Entry& e, const std::vector<RgbaImage>& images, int threads, int repeats)
{
    Row row{e.encoder, e.format, e.mode, threads};
    double seconds = 0.0, seRgb = 0.0, seAlpha = 0.0, pixels = 0.0;
    std::vector<uint8_t> decoded;
    for (const RgbaImage& original : images)
    {
        const RgbaImage input = e.opaqueInput ? Opaque(original) : original;
        double best = -1.0;
        for (int r = 0; r < repeats; ++r)
        {
            const double s = e.codec(input, decoded);
            if (s < 0.0)
            {
                row.failed = true;
                return row;
            }
            if (best < 0.0 || s < best) best = s;
        }
        seconds += best;
        pixels += double(input.width) * input.height;
        for (size_t i = 0; i < input.rgba.size(); i += 4)
        {
            for (int c = 0; c < e.colourChannels; ++c)
            {
                const double d = double(input.rgba[i + c]) - decoded[i + c];
                seRgb += d * d;
            }
            const double d = double(input.rgba[i + 3]) - decoded[i + 3];
            seAlpha += d * d;
        }
    }
    row.mpixPerSecond = seconds > 0.0 ? pixels / seconds / 1e6 : 0.0;
    row.rgbPsnr = Psnr(seRgb, pixels * e.colourChannels);
    row.alphaPsnr = e.alpha ? Psnr(seAlpha, pixels) : -1.0;
    return row;
}

double Median(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2.0;
}

void PrintRow(const Row& r)
{
    if (r.failed)
    {
        std::printf("%s,%s,%s,%d,failed,,\n", r.encoder.c_str(), r.format.c_str(), r.mode.c_str(), r.threads);
    }
    else if (r.alphaPsnr >= 0.0)
    {
        std::printf("%s,%s,%s,%d,%.3f,%.3f,%.3f\n", r.encoder.c_str(), r.format.c_str(), r.mode.c_str(), r.threads,
                    r.mpixPerSecond, r.rgbPsnr, r.alphaPsnr);
    }
    else
    {
        std::printf("%s,%s,%s,%d,%.3f,%.3f,\n", r.encoder.c_str(), r.format.c_str(), r.mode.c_str(), r.threads,
                    r.mpixPerSecond, r.rgbPsnr);
    }
    std::fflush(stdout);
}

std::string Key(const std::string& encoder, const std::string& format, const std::string& mode, int threads = 1)
{
    return encoder + "/" + format + "/" + mode + "/" + std::to_string(threads);
}

class Ratios
{
public:
    explicit Ratios(const std::map<std::string, Row>& rows) : rows_(rows) {}

    void PsnrAtLeast(const std::string& what, const std::string& ours, const std::string& peer)
    {
        const Row *a = Find(ours), *b = Find(peer);
        if (!a || !b) return;
        const double d = a->rgbPsnr - b->rgbPsnr;
        std::printf("ratio,%s rgb psnr minus %s,%+.3f dB,>= 0,%s\n", what.c_str(), Name(*b).c_str(), d,
                    d >= 0.0 ? "met" : "missed");
    }
    void SpeedAtLeast(const std::string& what, const std::string& ours, const std::string& peer, double target)
    {
        const Row *a = Find(ours), *b = Find(peer);
        if (!a || !b || b->mpixPerSecond <= 0.0) return;
        const double r = a->mpixPerSecond / b->mpixPerSecond;
        std::printf("ratio,%s speed / %s,%.2f,>= %.2f,%s\n", what.c_str(), Name(*b).c_str(), r, target,
                    r >= target ? "met" : "missed");
    }
    void SpeedInfo(const std::string& what, const std::string& ours, const std::string& peer)
    {
        const Row *a = Find(ours), *b = Find(peer);
        if (!a || !b || b->mpixPerSecond <= 0.0) return;
        std::printf("ratio,%s speed / %s,%.2f,(no target),info\n", what.c_str(), Name(*b).c_str(),
                    a->mpixPerSecond / b->mpixPerSecond);
    }
    void PsnrInfo(const std::string& what, const std::string& ours, const std::string& other)
    {
        const Row *a = Find(ours), *b = Find(other);
        if (!a || !b) return;
        std::printf("ratio,%s rgb psnr minus %s,%+.3f dB,(no peer),info\n", what.c_str(), Name(*b).c_str(),
                    a->rgbPsnr - b->rgbPsnr);
    }
    void ThreadScaling(const std::string& what, const std::string& single, const std::string& multi, int threads)
    {
        const Row *a = Find(single), *b = Find(multi);
        if (!a || !b || a->mpixPerSecond <= 0.0) return;
        const double r = b->mpixPerSecond / a->mpixPerSecond;
        const double target = 0.7 * threads;
        std::printf("ratio,%s speed-up %d threads / 1 thread,%.2f,>= %.2f,%s\n", what.c_str(), threads, r, target,
                    r >= target ? "met" : "missed");
    }

    // a / b against a lower bound (none when target < 0).
    void SpeedRatio(const std::string& what, const std::string& a, const std::string& b, double target)
    {
        const Row *x = Find(a), *y = Find(b);
        if (!x || !y || y->mpixPerSecond <= 0.0) return;
        const double r = x->mpixPerSecond / y->mpixPerSecond;
        if (target < 0.0)
            std::printf("ratio,%s,%.2f,(no target),info\n", what.c_str(), r);
        else
            std::printf("ratio,%s,%.2f,>= %.2f,%s\n", what.c_str(), r, target, r >= target ? "met" : "missed");
    }
    // One row's speed or PSNR against a lower bound.
    void Absolute(const std::string& what, const std::string& key, bool speed, double target, const char* unit)
    {
        const Row* x = Find(key);
        if (!x) return;
        const double v = speed ? x->mpixPerSecond : x->rgbPsnr;
        std::printf("ratio,%s,%.3f %s,>= %.2f,%s\n", what.c_str(), v, unit, target, v >= target ? "met" : "missed");
    }

private:
    const Row* Find(const std::string& key) const
    {
        const auto it = rows_.find(key);
        return it == rows_.end() || it->second.failed ? nullptr : &it->second;
    }
    static std::string Name(const Row& r) { return r.encoder + " " + r.format + " " + r.mode; }
    const std::map<std::string, Row>& rows_;
};

void Usage()
{
    std::fprintf(stderr,
                 "usage: texture_bench [--max-mpix N] [--no-nvtt] [--slow] [--only TEXT] SOURCE...\n"
                 "  --only TEXT: only rows whose \"encoder format mode\" contains TEXT (e.g. ETC1, DXT5 quality)\n"
                 "  SOURCE: a folder searched for *.png, a .png file, or a file listing .png paths\n");
}

}  // namespace

int main(int argc, char** argv)
{
    // libsquish parallelises with OpenMP; its single-thread figures need one OpenMP thread, which can only
    // be set before the runtime starts.
    const char* omp = std::getenv("OMP_NUM_THREADS");
    if (!omp || std::strcmp(omp, "1") != 0)
    {
        setenv("OMP_NUM_THREADS", "1", 1);
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }

    double maxMpix = 0.0;
    // The library spreads over every processor when multithreading is on; that count is the N of the scaling.
    const int threads = static_cast<int>(GetProcessorCount());
    bool useNvtt = true, slow = false;
    std::string only;
    auto wanted = [&](const std::string& encoder, const std::string& format, const std::string& mode) {
        return only.empty() || (encoder + " " + format + " " + mode).find(only) != std::string::npos;
    };
    std::vector<std::string> sources;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--max-mpix" && i + 1 < argc)
        {
            maxMpix = std::atof(argv[++i]);
        }
        else if (a == "--no-nvtt")
        {
            useNvtt = false;
        }
        else if (a == "--slow")
        {
            slow = true;
        }
        else if (a == "--only" && i + 1 < argc)
        {
            only = argv[++i];
        }
        else if (!a.empty() && a[0] == '-')
        {
            Usage();
            return 2;
        }
        else
        {
            sources.push_back(a);
        }
    }
    if (sources.empty())
    {
        Usage();
        return 2;
    }
    double startLoad = 0.0;
    getloadavg(&startLoad, 1);
    const std::vector<RgbaImage> corpus = LoadCorpus(sources, static_cast<uint64_t>(maxMpix * 1e6));
    double corpusPixels = 0.0;
    for (const RgbaImage& img : corpus) corpusPixels += double(img.width) * img.height;
    if (corpus.empty())
    {
        std::fprintf(stderr, "no PNG images found\n");
        return 1;
    }
    std::fprintf(stderr, "corpus: %zu images, %.2f Mpix (cropped to whole blocks); threads for scaling: %d\n",
                 corpus.size(), corpusPixels / 1e6, threads);

    std::vector<Entry> entries = {
        {"velmar", "DXT1", "quality", Library(CF_DXT1, 0, false), true, false},
        {"velmar", "DXT1", "fast", Library(CF_DXT1, 1, false), true, false},
        {"velmar", "DXT1", "fast-sse2", Library(CF_DXT1, 2, false), true, false},
        {"velmar", "DXT5", "quality", Library(CF_DXT5, 0, false), false, true},
        {"velmar", "DXT5", "fast", Library(CF_DXT5, 1, false), false, true},
        {"velmar", "DXT5", "fast-sse2", Library(CF_DXT5, 2, false), false, true},
        {"velmar", "ATC_RGB", "default", Library(CF_ATC_RGB, 0, false), true, false},
        {"velmar", "ATC_RGBA_Interpolated", "default", Library(CF_ATC_RGBA_Interpolated, 0, false), false, true},
        {"velmar", "ETC1", "codec-library", Library(CF_ETC_RGB, 0, false), true, false},
        {"velmar-etc1", "ETC1", "fast", Etc1Ours(Etc1Mode::Fast), true, false},
        {"velmar-etc1", "ETC1", "perceptual", Etc1Ours(Etc1Mode::Perceptual), true, false},
        {"libsquish", "DXT1", "range-fit", Squish(squish::kDxt1, squish::kColourRangeFit), true, false},
        {"libsquish", "DXT1", "cluster-fit", Squish(squish::kDxt1, squish::kColourClusterFit), true, false},
        {"libsquish", "DXT1", "iterative-cluster-fit", Squish(squish::kDxt1, squish::kColourIterativeClusterFit), true,
         false},
        {"libsquish", "DXT5", "range-fit", Squish(squish::kDxt5, squish::kColourRangeFit), false, true},
        {"libsquish", "DXT5", "cluster-fit", Squish(squish::kDxt5, squish::kColourClusterFit), false, true},
        {"libsquish", "DXT5", "iterative-cluster-fit", Squish(squish::kDxt5, squish::kColourIterativeClusterFit), false,
         true},
        {"stb_dxt", "DXT1", "normal", Stb(false, STB_DXT_NORMAL), true, false},
        {"stb_dxt", "DXT1", "highqual", Stb(false, STB_DXT_HIGHQUAL), true, false},
        {"stb_dxt", "DXT5", "normal", Stb(true, STB_DXT_NORMAL), false, true},
        {"stb_dxt", "DXT5", "highqual", Stb(true, STB_DXT_HIGHQUAL), false, true},
        {"android-libetc1", "ETC1", "default", AndroidEtc1(), true, false},
        // One- and two-channel formats, judged on red (BC4) or red and green (BC5) alone.
        {"velmar", "BC4", "quality (red)", Library(CF_BC4, 0, false), true, false, 1},
        {"velmar", "BC4", "fast-sse2 (red)", Library(CF_BC4, 2, false), true, false, 1},
        {"velmar", "BC5", "quality (red+green)", Library(CF_BC5, 0, false), true, false, 2},
        {"velmar", "BC5", "fast-sse2 (red+green)", Library(CF_BC5, 2, false), true, false, 2},
        {"libsquish", "BC4", "default (red)", SquishChannels(1), true, false, 1},
        {"libsquish", "BC5", "default (red+green)", SquishChannels(2), true, false, 2},
        {"stb_dxt", "BC4", "default (red)", StbChannels(1), true, false, 1},
        {"stb_dxt", "BC5", "default (red+green)", StbChannels(2), true, false, 2},
    };
    if (useNvtt)
    {
        if (const NvttPeerCompressFn nvtt = LoadNvttPeer())
        {
            // Normal and Production of Debian's nvtt 2.0.8 read uninitialised memory: their output varies
            // from run to run and is no quality reference.
            const char* names[3] = {"fastest", "normal(unstable)", "production(unstable)"};
            for (int q = 0; q < 3; ++q)
                entries.push_back({"nvtt-2.0.8", "DXT1", names[q], Nvtt(nvtt, false, q), true, false});
            for (int q = 0; q < 3; ++q)
                entries.push_back({"nvtt-2.0.8", "DXT5", names[q], Nvtt(nvtt, true, q), false, true});
        }
    }

    // The same modes of ours at each lower instruction set level the processor has (the forms must agree;
    // the speeds show what each level gains), with the upper AVX halves left in use by the caller, and of the
    // older tree when its module is built (run.sh --before REV).
    struct KeyMode
    {
        const char* format;
        int32_t codecFormat;
        uint32_t speed;
        const char* mode;
        bool alpha;
    };
    const KeyMode keyModes[] = {
        {"DXT1", CF_DXT1, 0, "quality", false},   {"DXT1", CF_DXT1, 1, "fast", false},
        {"DXT1", CF_DXT1, 2, "fast-sse2", false}, {"DXT5", CF_DXT5, 0, "quality", true},
        {"DXT5", CF_DXT5, 2, "fast-sse2", true},  {"ETC1", CF_ETC_RGB, 0, "codec-library", false}};
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2})
    {
        if (level >= ProcessorSimdLevel()) continue;
        const std::string form = std::string(" [") + SimdLevelName(level) + " form]";
        Variant v;
        v.level = level;
        for (const KeyMode& k : keyModes)
            entries.push_back(
                {"velmar", k.format, k.mode + form, Library(k.codecFormat, k.speed, false, v), !k.alpha, k.alpha});
        entries.push_back({"velmar-etc1", "ETC1", "fast" + form, Etc1Ours(Etc1Mode::Fast, v), true, false});
    }
    Variant dirty;
    dirty.dirty = true;
    for (const KeyMode& k : keyModes)
        if (k.speed != 0)
            entries.push_back({"velmar", k.format, std::string(k.mode) + " (dirty AVX state)",
                               Library(k.codecFormat, k.speed, false, dirty), !k.alpha, k.alpha});
    entries.push_back({"velmar-etc1", "ETC1", "fast (dirty AVX state)", Etc1Ours(Etc1Mode::Fast, dirty), true, false});
    const BeforeModule before = LoadBeforeModule();
    if (before.convert != nullptr && before.etc1 != nullptr)
    {
        Variant v;
        v.beforeConvert = before.convert;
        v.beforeEtc1 = before.etc1;
        for (bool dirtyState : {false, true})
        {
            v.dirty = dirtyState;
            const std::string suffix = dirtyState ? " (dirty AVX state)" : "";
            for (const KeyMode& k : keyModes)
                if (!dirtyState || k.speed != 0)
                    entries.push_back({"velmar-before", k.format, k.mode + suffix,
                                       Library(k.codecFormat, k.speed, false, v), !k.alpha, k.alpha});
            entries.push_back(
                {"velmar-etc1-before", "ETC1", "fast" + suffix, Etc1Ours(Etc1Mode::Fast, v), true, false});
        }
    }

    std::map<std::string, Row> rows;
    std::printf("encoder,format,mode,threads,mpix_per_s,rgb_psnr,alpha_psnr\n");
    for (const Entry& e : entries)
    {
        if (!wanted(e.encoder, e.format, e.mode)) continue;
        // Our fast modes take well under a second for the corpus: best of three runs, so that the comparisons
        // between them (levels, dirty AVX state, before) are not one run's noise.
        const bool ours = e.encoder.rfind("velmar", 0) == 0;
        const bool fast = e.mode.find("fast") != std::string::npos && e.mode.find("perceptual") == std::string::npos;
        const Row row = Measure(e, corpus, 1, ours && fast ? 3 : 1);
        PrintRow(row);
        rows[Key(e.encoder, e.format, e.mode)] = row;
    }

    // Thread scaling of the codec library on one 2048 x 2048 image made of corpus textures. Each round runs,
    // back to back, one thread, all threads (ours, then the older tree's when built) and the machine's ceiling;
    // the rows give the median of the rounds, and the ratios to the ceiling are the medians of each round's
    // own ratio, so that other work on the machine weighs on both sides of a ratio alike.
    const std::vector<RgbaImage> atlas = {MakeAtlas(corpus, 2048, 2048)};
    const std::string atlasMode = " (2048x2048)";
    const int rounds = 5;
    struct Scaled
    {
        const char* format;
        int32_t codecFormat;
        uint32_t speed;
        const char* mode;
        bool alpha;
    };
    const Scaled scaled[] = {{"DXT1", CF_DXT1, 0, "quality", false},
                             {"DXT1", CF_DXT1, 2, "fast-sse2", false},
                             {"DXT5", CF_DXT5, 0, "quality", true},
                             {"ATC_RGB", CF_ATC_RGB, 0, "default", false},
                             {"ETC1", CF_ETC_RGB, 0, "codec-library", false}};
    // Per mode: the medians of the rounds' threaded speed over the ceiling, ours and the older tree's.
    std::map<std::string, std::pair<double, double>> toCeiling;
    for (const Scaled& s : scaled)
    {
        if (!wanted("velmar", s.format, s.mode)) continue;
        const std::string mode = s.mode + atlasMode;
        std::vector<Entry> runs = {
            {"velmar", s.format, mode, Library(s.codecFormat, s.speed, false), !s.alpha, s.alpha}};
        std::vector<int> runThreads = {1};
        if (threads > 1)
        {
            runs.push_back({"velmar", s.format, mode, Library(s.codecFormat, s.speed, true), !s.alpha, s.alpha});
            runThreads.push_back(threads);
            if (before.convert != nullptr)
            {
                Variant v;
                v.beforeConvert = before.convert;
                runs.push_back(
                    {"velmar-before", s.format, mode, Library(s.codecFormat, s.speed, true, v), !s.alpha, s.alpha});
                runThreads.push_back(threads);
            }
        }
        std::vector<std::vector<Row>> samples(runs.size());
        std::vector<double> ceilings;
        std::vector<std::vector<double>> overCeiling(runs.size());
        for (int round = 0; round < rounds; ++round)
        {
            for (size_t i = 0; i < runs.size(); ++i) samples[i].push_back(Measure(runs[i], atlas, runThreads[i], 1));
            if (threads == 1) continue;
            ceilings.push_back(CeilingMpix(atlas[0], s.codecFormat, s.speed, threads, 1));
            for (size_t i = 1; i < runs.size(); ++i)
                overCeiling[i].push_back(samples[i].back().mpixPerSecond / ceilings.back());
        }
        for (size_t i = 0; i < runs.size(); ++i)
        {
            std::vector<double> speeds;
            for (const Row& r : samples[i]) speeds.push_back(r.mpixPerSecond);
            Row row = samples[i].front();
            row.mpixPerSecond = Median(speeds);
            PrintRow(row);
            rows[Key(row.encoder, row.format, row.mode, row.threads)] = row;
        }
        if (threads > 1)
        {
            std::printf("slices,%s %s 2048x2048,best speed-up %d fixed slices allow (one a thread): %.2f\n", s.format,
                        s.mode, threads, SliceBound(atlas[0], s.codecFormat, s.speed, uint32_t(threads)));
            Row ceiling{"velmar", s.format, mode + " independent single-thread runs", threads};
            ceiling.mpixPerSecond = Median(ceilings);
            ceiling.rgbPsnr = samples[0].front().rgbPsnr;
            PrintRow(ceiling);
            rows[Key(ceiling.encoder, ceiling.format, ceiling.mode, threads)] = ceiling;
            toCeiling[s.format + std::string(" ") + s.mode] = {Median(overCeiling[1]),
                                                               overCeiling.size() > 2 ? Median(overCeiling[2]) : -1.0};
        }
    }
    // Small images, where handing slices to threads costs more than it saves: calls per second through the
    // public entry, spread over the processors and on the caller's thread alone.
    std::vector<std::pair<std::string, double>> smallCalls;
    if (threads > 1 && wanted("velmar", "DXT1", "fast-sse2"))
    {
        for (int side : {32, 64, 128, 256})
        {
            const RgbaImage small = MakeAtlas(corpus, side, side);
            const double spread = SmallCallsPerSecond(small, false), single = SmallCallsPerSecond(small, true);
            std::printf("small,DXT1 fast-sse2 %dx%d,calls/s spread %.0f single %.0f\n", side, side, spread, single);
            smallCalls.push_back({std::to_string(side) + "x" + std::to_string(side), spread / single});
        }
    }

    if (slow)
    {
        // The searching ETC1 modes are far slower; they run on a 128 x 128 image of corpus textures, beside
        // the fast mode on the same image.
        const std::vector<RgbaImage> sample = {MakeAtlas(corpus, 128, 128)};
        const std::pair<const char*, Etc1Mode> modes[] = {{"fast", Etc1Mode::Fast},
                                                          {"perceptual", Etc1Mode::Perceptual},
                                                          {"near-search", Etc1Mode::NearSearch},
                                                          {"near-search-perceptual", Etc1Mode::NearSearchPerceptual},
                                                          {"wide-search", Etc1Mode::WideSearch},
                                                          {"wide-search-perceptual", Etc1Mode::WideSearchPerceptual}};
        for (const auto& [name, mode] : modes)
            if (wanted("velmar-etc1", "ETC1", name))
                PrintRow(Measure({"velmar-etc1", "ETC1", std::string(name) + " (128x128)", Etc1Ours(mode), true, false},
                                 sample, 1, 1));
        if (wanted("android-libetc1", "ETC1", "default"))
            PrintRow(
                Measure({"android-libetc1", "ETC1", "default (128x128)", AndroidEtc1(), true, false}, sample, 1, 1));
    }

    std::printf("\nratio,what,value,target,verdict\n");
    // Other work on the machine distorts the figures, the thread scaling most.
    double endLoad = 0.0;
    getloadavg(&endLoad, 1);
    std::printf("ratio,load average at start / end,%.2f / %.2f,< %d,%s\n", startLoad, endLoad, threads,
                std::max(startLoad, endLoad) < threads ? "quiet enough" : "busy: figures distorted");
    Ratios ratios(rows);
    for (const char* format : {"DXT1", "DXT5"})
    {
        const std::string f = format;
        ratios.PsnrAtLeast(f + " quality", Key("velmar", f, "quality"), Key("libsquish", f, "iterative-cluster-fit"));
        ratios.SpeedAtLeast(f + " quality", Key("velmar", f, "quality"), Key("libsquish", f, "iterative-cluster-fit"),
                            2.0);
        for (const char* fast : {"fast", "fast-sse2"})
        {
            ratios.PsnrAtLeast(f + " " + fast, Key("velmar", f, fast), Key("libsquish", f, "range-fit"));
            ratios.SpeedAtLeast(f + " " + fast, Key("velmar", f, fast), Key("stb_dxt", f, "normal"), 1.0);
        }
    }
    ratios.PsnrAtLeast("ETC1 fast", Key("velmar-etc1", "ETC1", "fast"), Key("android-libetc1", "ETC1", "default"));
    ratios.SpeedAtLeast("ETC1 fast", Key("velmar-etc1", "ETC1", "fast"), Key("android-libetc1", "ETC1", "default"),
                        5.0);
    ratios.PsnrAtLeast("ETC1 codec-library", Key("velmar", "ETC1", "codec-library"),
                       Key("android-libetc1", "ETC1", "default"));
    ratios.SpeedAtLeast("ETC1 codec-library", Key("velmar", "ETC1", "codec-library"),
                        Key("android-libetc1", "ETC1", "default"), 1.0);
    ratios.PsnrInfo("ATC_RGB", Key("velmar", "ATC_RGB", "default"), Key("velmar", "DXT1", "quality"));
    ratios.PsnrInfo("ATC_RGB", Key("velmar", "ATC_RGB", "default"), Key("libsquish", "DXT1", "iterative-cluster-fit"));
    for (const char* format : {"BC4", "BC5"})
    {
        const std::string f = format, channels = f == "BC4" ? " (red)" : " (red+green)";
        for (const char* mode : {"quality", "fast-sse2"})
        {
            const std::string ours = Key("velmar", f, mode + channels);
            ratios.PsnrAtLeast(f + " " + mode, ours, Key("libsquish", f, "default" + channels));
            ratios.PsnrAtLeast(f + " " + mode, ours, Key("stb_dxt", f, "default" + channels));
            ratios.SpeedInfo(f + " " + mode, ours, Key("stb_dxt", f, "default" + channels));
        }
    }
    if (threads > 1)
    {
        for (const Scaled& s : scaled)
        {
            const std::string mode = s.mode + atlasMode;
            ratios.ThreadScaling(std::string(s.format) + " " + s.mode, Key("velmar", s.format, mode, 1),
                                 Key("velmar", s.format, mode, threads), threads);
            const auto it = toCeiling.find(std::string(s.format) + " " + s.mode);
            if (it == toCeiling.end()) continue;
            const std::string what = std::string(s.format) + " " + s.mode + " 2048x2048 " + std::to_string(threads) +
                                     " threads / the machine's ceiling (" + std::to_string(threads) +
                                     " independent single-thread runs; median of " + std::to_string(rounds) +
                                     " rounds)";
            const auto [now, older] = it->second;
            std::printf("ratio,%s,%.2f,>= 0.90,%s\n", what.c_str(), now, now >= 0.9 ? "met" : "missed");
            if (older >= 0.0) std::printf("ratio,%s (velmar-before),%.2f,(no target),info\n", what.c_str(), older);
            ratios.SpeedRatio(std::string(s.format) + " " + s.mode + " 2048x2048 " + std::to_string(threads) +
                                  " threads now / before",
                              Key("velmar", s.format, mode, threads), Key("velmar-before", s.format, mode, threads),
                              -1.0);
        }
        for (const auto& [size, ratio] : smallCalls)
            std::printf("ratio,DXT1 fast-sse2 %s calls/s spread / single thread,%.2f,>= 0.95,%s\n", size.c_str(), ratio,
                        ratio >= 0.95 ? "met" : "missed");
    }

    // The goals of this round of work: absolute figures (which a busy machine lowers), the clean entry, the
    // forms of each instruction set, and the older tree beside ours.
    ratios.Absolute("DXT1 fast-sse2 rgb psnr", Key("velmar", "DXT1", "fast-sse2"), false, 39.0, "dB");
    ratios.Absolute("DXT1 fast-sse2 speed", Key("velmar", "DXT1", "fast-sse2"), true, 130.0, "Mpix/s");
    ratios.Absolute("DXT1 quality rgb psnr", Key("velmar", "DXT1", "quality"), false, 39.85, "dB");
    ratios.Absolute("DXT1 quality speed", Key("velmar", "DXT1", "quality"), true, 8.0, "Mpix/s");
    ratios.Absolute("ETC1 fast rgb psnr", Key("velmar-etc1", "ETC1", "fast"), false, 36.0, "dB");
    ratios.Absolute("ETC1 fast speed", Key("velmar-etc1", "ETC1", "fast"), true, 150.0, "Mpix/s");
    const std::pair<std::string, std::string> fastModes[] = {{"velmar", "DXT1 fast"},
                                                             {"velmar", "DXT1 fast-sse2"},
                                                             {"velmar", "DXT5 fast-sse2"},
                                                             {"velmar-etc1", "ETC1 fast"}};
    for (const char* build : {"", "-before"})
    {
        for (const auto& [encoder, what] : fastModes)
        {
            const std::string e = encoder + build, format = what.substr(0, 4), mode = what.substr(5);
            ratios.SpeedRatio(what + " (" + e + ") speed with dirty AVX state / clean",
                              Key(e, format, mode + " (dirty AVX state)"), Key(e, format, mode),
                              *build == 0 ? 0.95 : -1.0);
        }
    }
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Avx2})
    {
        if (level >= ProcessorSimdLevel()) continue;
        const std::string form = std::string(" [") + SimdLevelName(level) + " form]";
        for (const KeyMode& k : keyModes)
            ratios.SpeedRatio(std::string(k.format) + " " + k.mode + " speed / its" + form,
                              Key("velmar", k.format, k.mode), Key("velmar", k.format, k.mode + form), -1.0);
        ratios.SpeedRatio("ETC1 fast speed / its" + form, Key("velmar-etc1", "ETC1", "fast"),
                          Key("velmar-etc1", "ETC1", "fast" + form), -1.0);
    }
    for (const KeyMode& k : keyModes)
    {
        const std::string what = std::string(k.format) + " " + k.mode;
        ratios.SpeedRatio(what + " speed now / before", Key("velmar", k.format, k.mode),
                          Key("velmar-before", k.format, k.mode), -1.0);
        ratios.PsnrInfo(what + " now", Key("velmar", k.format, k.mode), Key("velmar-before", k.format, k.mode));
    }
    ratios.SpeedRatio("ETC1 fast speed now / before", Key("velmar-etc1", "ETC1", "fast"),
                      Key("velmar-etc1-before", "ETC1", "fast"), -1.0);
    ratios.PsnrInfo("ETC1 fast now", Key("velmar-etc1", "ETC1", "fast"), Key("velmar-etc1-before", "ETC1", "fast"));
    return 0;
}
