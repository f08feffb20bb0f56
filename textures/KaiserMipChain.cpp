#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include "textures/KaiserMipChain.h"

#include "textures/codec/SimdLevel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using Orvo::Bitmap;

namespace {

constexpr float kPi = 3.1415926535897932384626433833f;
constexpr float kFilterWidth = 3.0f;
constexpr float kKaiserAlpha = 4.0f;
constexpr float kKaiserStretch = 1.0f;
constexpr int kSamplesPerTap = 32;
constexpr float kGamma = 2.2f;

// The zeroth-order modified Bessel function by its series, to a relative 1e-6.
float Bessel0(float x)
{
    const float half = 0.5f * x;
    float sum = 1.0f, power = 1.0f, term = 1.0f;
    for (int k = 1; term > sum * 1e-6f && k < 1000; ++k)
    {
        power = power * (half / float(k));
        term = power * power;
        sum = sum + term;
    }
    return sum;
}

float Sinc(float x)
{
    if (std::fabs(x) < 0.0001f) return 1.0f + x * x * (-1.0f / 6.0f + x * x * 1.0f / 120.0f);
    return std::sin(x) / x;
}

float Kaiser(float x)
{
    static const float bessel0OfAlpha = Bessel0(kKaiserAlpha);
    const float sincValue = Sinc(kPi * x * kKaiserStretch);
    const float t = x / kFilterWidth;
    if ((1.0f - t * t) >= 0.0f) return sincValue * Bessel0(kKaiserAlpha * std::sqrt(1.0f - t * t)) / bessel0OfAlpha;
    return 0.0f;
}

// The filter averaged over one source pixel [x, x + 1), in units of the target's pixels (scale).
float SampleBox(float x, float scale, int samples)
{
    float sum = 0;
    const float perSample = 1.0f / float(samples);
    for (int s = 0; s < samples; ++s) sum += Kaiser((x + (float(s) + 0.5f) * perSample) * scale);
    return float(sum * perSample);
}

// The weights of one side's resampling from src to dst pixels: output i takes source pixels
// left[i] .. left[i] + window - 1. When every output has the same weights (an even side halved, the
// common case) only the first row is kept.
struct Kernel
{
    uint32_t length = 0;
    int window = 0;
    bool uniform = false;
    std::vector<int> left;
    std::vector<float> weights;

    const float* Row(uint32_t i) const { return &weights[uniform ? 0 : size_t(i) * size_t(window)]; }
};

Kernel MakeKernel(uint32_t src, uint32_t dst)
{
    Kernel k;
    float scale = float(dst) / float(src);
    const float inverse = 1.0f / scale;
    int samples = kSamplesPerTap;
    if (scale > 1.0f) samples = 1, scale = 1.0f;
    const float width = kFilterWidth * inverse;
    k.length = dst;
    k.window = int(std::ceil(width * 2.0f)) + 1;
    k.uniform = src == 2 * dst;
    k.left.resize(dst);
    const uint32_t rows = k.uniform ? 1 : dst;
    k.weights.resize(size_t(rows) * size_t(k.window));
    for (uint32_t i = 0; i < dst; ++i)
    {
        const float centre = (0.5f + float(i)) * inverse;
        k.left[i] = int(std::floor(centre - width));
        if (i >= rows) continue;
        float* w = &k.weights[size_t(i) * size_t(k.window)];
        float total = 0.0f;
        for (int j = 0; j < k.window; ++j)
        {
            w[j] = SampleBox(float(k.left[i] + j) - centre, scale, samples);
            total += w[j];
        }
        for (int j = 0; j < k.window; ++j) w[j] /= total;
    }
    return k;
}

// out[i] = out[i] + w * s[i] (or w * s[i] when `first`), lane by lane: a multiply and an add, never fused, in
// every form, so all forms give the same values.
template <bool first>
void ScaleAddPlain(float* out, const float* s, float w, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) out[i] = first ? w * s[i] : out[i] + w * s[i];
}

template <bool first>
__attribute__((target("avx2"))) void ScaleAddAvx2(float* out, const float* s, float w, uint32_t n)
{
    const __m256 vw = _mm256_set1_ps(w);
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8)
    {
        const __m256 product = _mm256_mul_ps(vw, _mm256_loadu_ps(s + i));
        _mm256_storeu_ps(out + i, first ? product : _mm256_add_ps(_mm256_loadu_ps(out + i), product));
    }
    ScaleAddPlain<first>(out + i, s + i, w, n - i);
}

template <bool first>
__attribute__((target("avx512f"))) void ScaleAddAvx512(float* out, const float* s, float w, uint32_t n)
{
    const __m512 vw = _mm512_set1_ps(w);
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16)
    {
        const __m512 product = _mm512_mul_ps(vw, _mm512_loadu_ps(s + i));
        _mm512_storeu_ps(out + i, first ? product : _mm512_add_ps(_mm512_loadu_ps(out + i), product));
    }
    ScaleAddPlain<first>(out + i, s + i, w, n - i);
}

template <bool first>
void ScaleAdd(float* out, const float* s, float w, uint32_t n)
{
    switch (CodecSimdLevel())
    {
    case SimdLevel::Avx512: ScaleAddAvx512<first>(out, s, w, n); break;
    case SimdLevel::Avx2: ScaleAddAvx2<first>(out, s, w, n); break;
    default: ScaleAddPlain<first>(out, s, w, n);
    }
}

int WrapIndex(int x, int size, bool repeat)
{
    if (repeat) return x >= 0 ? x % size : (x + 1) % size + size - 1;
    return std::min(std::max(x, 0), size - 1);
}

// Four channel planes of one image in linear light (alpha as it stands), in 0..1 units.
struct Planes
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<float> data;

    // Every value is written before it is read, so the storage is kept between levels and never cleared.
    void Allocate(uint32_t w, uint32_t h)
    {
        width = w, height = h;
        if (data.size() < size_t(w) * h * 4) data.resize(size_t(w) * h * 4);
    }
    float* Row(int channel, uint32_t y) { return &data[(size_t(channel) * height + y) * width]; }
    const float* Row(int channel, uint32_t y) const { return &data[(size_t(channel) * height + y) * width]; }
};

// One source row of one channel resampled across into `out` (kernel.length values). `padded` holds the
// row's values at indices -pad .. width + pad - 1 (offset by pad), wrapped or clamped beyond the edges.
void FilterAcross(const Kernel& kernel, const float* padded, int pad, uint32_t width, bool repeat, float* scratch,
                  float* out)
{
    const int window = kernel.window;
    const uint32_t n = kernel.length;
    const int first = kernel.left[0] + pad;  // index in padded of output 0's first tap
    const uint32_t span = n + uint32_t(window) / 2 + 1;
    if (kernel.uniform && first >= 0 && size_t(first) + 2 * size_t(span) <= size_t(width) + 2 * size_t(pad))
    {
        // out[i] = sum over j of w[j] * p[2i + left + j], taken apart into even and odd source pixels so
        // that every tap reads contiguous values; the taps are added in order, as the general form does.
        const float* w = kernel.Row(0);
        float* even = scratch;
        float* odd = scratch + span;
        for (uint32_t m = 0; m < span; ++m)
        {
            even[m] = padded[first + 2 * int(m)];
            odd[m] = padded[first + 2 * int(m) + 1];
        }
        ScaleAdd<true>(out, even, w[0], n);
        for (int j = 1; j < window; ++j)
            if (w[j] != 0.0f)  // adds nothing to a sum of finite values
                ScaleAdd<false>(out, (j % 2 == 0 ? even : odd) + j / 2, w[j], n);
        return;
    }
    for (uint32_t i = 0; i < kernel.length; ++i)
    {
        const float* w = kernel.Row(i);
        float sum = 0.0f;
        for (int j = 0; j < window; ++j) sum += w[j] * padded[WrapIndex(kernel.left[i] + j, int(width), repeat) + pad];
        out[i] = sum;
    }
}

// Resamples the planes (already resampled across) down each column into dst.
void FilterDown(const Kernel& kernel, const Planes& src, bool repeat, Planes& dst)
{
    std::vector<const float*> rows(size_t(kernel.window));
    for (int c = 0; c < 4; ++c)
        for (uint32_t y = 0; y < kernel.length; ++y)
        {
            const float* w = kernel.Row(y);
            for (int j = 0; j < kernel.window; ++j)
                rows[size_t(j)] = src.Row(c, uint32_t(WrapIndex(kernel.left[y] + j, int(src.height), repeat)));
            float* out = dst.Row(c, y);
            ScaleAdd<true>(out, rows[0], w[0], src.width);
            for (int j = 1; j < kernel.window; ++j)
                if (w[j] != 0.0f) ScaleAdd<false>(out, rows[size_t(j)], w[j], src.width);
        }
}

// 8-bit colour from linear light: the largest k with int(255 * v^(1/2.2)) >= k, found through the
// thresholds where that value steps up (so each value costs a table look-up rather than a power).
class GammaEncoder
{
public:
    GammaEncoder()
    {
        const float exponent = 1.0f / kGamma;
        auto code = [&](float v) {
            const float s = 255.0f * std::pow(v, exponent);
            return s >= 255.0f ? 255 : s > 0.0f ? int(s) : 0;
        };
        threshold_[0] = 0.0f;
        for (int k = 1; k <= 255; ++k)
        {
            // The smallest float in [0, 1] whose code is at least k, by bisection over the bit patterns.
            uint32_t lo = 0, hi = 0x3F800000u;
            while (lo < hi)
            {
                const uint32_t mid = lo + (hi - lo) / 2;
                float v;
                std::memcpy(&v, &mid, 4);
                if (code(v) >= k)
                    hi = mid;
                else
                    lo = mid + 1;
            }
            std::memcpy(&threshold_[k], &lo, 4);
        }
        // Bucket b holds the code of the smallest value whose bits >> 15 are b; a bucket spans less than
        // the distance between two thresholds, so one step up at most follows.
        firstBucket_ = Bits(threshold_[1]) >> 15;
        const uint32_t last = Bits(threshold_[255]) >> 15;
        bucket_.resize(last - firstBucket_ + 1);
        int k = 0;
        for (uint32_t b = firstBucket_; b <= last; ++b)
        {
            const uint32_t bits = b << 15;
            float v;
            std::memcpy(&v, &bits, 4);
            while (k < 255 && v >= threshold_[k + 1]) ++k;
            bucket_[b - firstBucket_] = k;
            // How many thresholds the bucket holds past its start: the vector form takes one step at most.
            const uint32_t end = (b + 1) << 15;
            float next;
            std::memcpy(&next, &end, 4);
            int steps = 0;
            while (k + steps < 255 && threshold_[k + steps + 1] < next) ++steps;
            oneStep_ = oneStep_ && steps <= 1;
        }
    }

    uint8_t Encode(float v) const
    {
        if (!(v >= threshold_[1])) return 0;
        if (v >= threshold_[255]) return 255;
        int k = bucket_[(Bits(v) >> 15) - firstBucket_];
        while (k < 255 && v >= threshold_[k + 1]) ++k;
        return uint8_t(k);
    }

    // One row of planes to blue, green, red, alpha bytes.
    void EncodeRow(const float* b, const float* g, const float* r, const float* a, uint8_t* out, uint32_t n) const
    {
        uint32_t x = 0;
        if (oneStep_ && CodecSimdLevel() == SimdLevel::Avx512) x = EncodeRowAvx512(b, g, r, a, out, n);
        for (; x < n; ++x)
        {
            out[4 * x] = Encode(b[x]);
            out[4 * x + 1] = Encode(g[x]);
            out[4 * x + 2] = Encode(r[x]);
            out[4 * x + 3] = EncodeAlpha(a[x]);
        }
    }

    static uint8_t EncodeAlpha(float a)
    {
        const float s = 255.0f * a;
        return s >= 255.0f ? 255 : s > 0.0f ? uint8_t(int(s)) : 0;
    }

private:
    __attribute__((target("avx512f"))) __m512i CodesAvx512(__m512 v) const
    {
        const __mmask16 low = _mm512_cmp_ps_mask(v, _mm512_set1_ps(threshold_[1]), _CMP_NGE_UQ);
        const __mmask16 high = _mm512_cmp_ps_mask(v, _mm512_set1_ps(threshold_[255]), _CMP_GE_OQ);
        const __mmask16 mid = __mmask16(~(low | high));
        const __m512i bucket =
            _mm512_sub_epi32(_mm512_srli_epi32(_mm512_castps_si512(v), 15), _mm512_set1_epi32(int(firstBucket_)));
        __m512i k = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), mid, bucket, bucket_.data(), 4);
        const __m512i one = _mm512_set1_epi32(1);
        const __m512 next = _mm512_mask_i32gather_ps(_mm512_setzero_ps(), mid, _mm512_add_epi32(k, one), threshold_, 4);
        k = _mm512_mask_add_epi32(k, _mm512_mask_cmp_ps_mask(mid, v, next, _CMP_GE_OQ), k, one);
        return _mm512_mask_mov_epi32(k, high, _mm512_set1_epi32(255));
    }

    __attribute__((target("avx512f"))) uint32_t EncodeRowAvx512(const float* b, const float* g, const float* r,
                                                                const float* a, uint8_t* out, uint32_t n) const
    {
        uint32_t x = 0;
        for (; x + 16 <= n; x += 16)
        {
            const __m512 s = _mm512_mul_ps(_mm512_set1_ps(255.0f), _mm512_loadu_ps(a + x));
            __m512i alpha = _mm512_cvttps_epi32(s);
            alpha = _mm512_mask_mov_epi32(alpha, _mm512_cmp_ps_mask(s, _mm512_set1_ps(255.0f), _CMP_GE_OQ),
                                          _mm512_set1_epi32(255));
            alpha = _mm512_mask_mov_epi32(alpha, _mm512_cmp_ps_mask(s, _mm512_setzero_ps(), _CMP_NGT_UQ),
                                          _mm512_setzero_si512());
            __m512i pixel = CodesAvx512(_mm512_loadu_ps(b + x));
            pixel = _mm512_or_si512(pixel, _mm512_slli_epi32(CodesAvx512(_mm512_loadu_ps(g + x)), 8));
            pixel = _mm512_or_si512(pixel, _mm512_slli_epi32(CodesAvx512(_mm512_loadu_ps(r + x)), 16));
            pixel = _mm512_or_si512(pixel, _mm512_slli_epi32(alpha, 24));
            _mm512_storeu_si512(out + 4 * x, pixel);
        }
        return x;
    }

    static uint32_t Bits(float v)
    {
        uint32_t b;
        std::memcpy(&b, &v, 4);
        return b;
    }
    float threshold_[256];
    uint32_t firstBucket_ = 0;
    std::vector<int32_t> bucket_;
    bool oneStep_ = true;
};

// Level 0's pixels in linear light, sixteen at a time; returns how many pixels it did.
__attribute__((target("avx512f"))) uint32_t ToLinearAvx512(const uint8_t* row, const float* linear, float* blue,
                                                           float* green, float* red, float* alpha, uint32_t n)
{
    const __m512i byte = _mm512_set1_epi32(0xFF);
    uint32_t x = 0;
    for (; x + 16 <= n; x += 16)
    {
        const __m512i px = _mm512_loadu_si512(row + 4 * x);
        _mm512_storeu_ps(blue + x, _mm512_i32gather_ps(_mm512_and_si512(px, byte), linear, 4));
        _mm512_storeu_ps(green + x, _mm512_i32gather_ps(_mm512_and_si512(_mm512_srli_epi32(px, 8), byte), linear, 4));
        _mm512_storeu_ps(red + x, _mm512_i32gather_ps(_mm512_and_si512(_mm512_srli_epi32(px, 16), byte), linear, 4));
        _mm512_storeu_ps(alpha + x,
                         _mm512_div_ps(_mm512_cvtepi32_ps(_mm512_srli_epi32(px, 24)), _mm512_set1_ps(255.0f)));
    }
    return x;
}

// Makes each level from the one before it.
class ChainBuilder
{
public:
    explicit ChainBuilder(bool repeat) : repeat_(repeat) {}

    // Level 1 from level 0's pixels: converted to linear light row by row as they are filtered across.
    void FirstLevel(const Bitmap& level0, Planes& out)
    {
        static const std::vector<float> linear = [] {
            std::vector<float> t(256);
            for (int i = 0; i < 256; ++i) t[size_t(i)] = std::pow(float(i) / 255.0f, kGamma);
            return t;
        }();
        const uint32_t w = level0.GetWidth(), h = level0.GetHeight();
        Prepare(w, h);
        std::vector<float> channels(size_t(w) * 3);
        for (uint32_t y = 0; y < h; ++y)
        {
            const uint8_t* row = level0.Row(y);
            float* blue = &line_[size_t(pad_)];
            float* green = channels.data();
            float* red = green + w;
            float* alpha = red + w;
            uint32_t x = CodecSimdLevel() == SimdLevel::Avx512
                             ? ToLinearAvx512(row, linear.data(), blue, green, red, alpha, w)
                             : 0;
            for (row += 4 * x; x < w; ++x, row += 4)
            {
                blue[x] = linear[row[0]];
                green[x] = linear[row[1]];
                red[x] = linear[row[2]];
                alpha[x] = float(row[3]) / 255.0f;
            }
            Across(0, y, w);
            for (int c = 1; c < 4; ++c)
            {
                std::memcpy(blue, channels.data() + size_t(c - 1) * w, w * sizeof(float));
                Across(c, y, w);
            }
        }
        Down(out);
    }

    void NextLevel(const Planes& in, Planes& out)
    {
        Prepare(in.width, in.height);
        for (int c = 0; c < 4; ++c)
            for (uint32_t y = 0; y < in.height; ++y)
            {
                std::memcpy(&line_[size_t(pad_)], in.Row(c, y), in.width * sizeof(float));
                Across(c, y, in.width);
            }
        Down(out);
    }

private:
    void Prepare(uint32_t w, uint32_t h)
    {
        across_ = MakeKernel(w, std::max(w / 2, 1u));
        down_ = MakeKernel(h, std::max(h / 2, 1u));
        pad_ = across_.window + 2;
        line_.assign(size_t(w) + 2 * size_t(pad_), 0.0f);
        scratch_.assign(2 * (size_t(across_.length) + size_t(across_.window)), 0.0f);
        tmp_.Allocate(across_.length, h);
    }

    void Across(int c, uint32_t y, uint32_t w)
    {
        for (int x = -pad_; x < 0; ++x) line_[size_t(x + pad_)] = line_[size_t(pad_ + WrapIndex(x, int(w), repeat_))];
        for (int x = int(w); x < int(w) + pad_; ++x)
            line_[size_t(x + pad_)] = line_[size_t(pad_ + WrapIndex(x, int(w), repeat_))];
        FilterAcross(across_, line_.data(), pad_, w, repeat_, scratch_.data(), tmp_.Row(c, y));
    }

    void Down(Planes& out)
    {
        out.Allocate(tmp_.width, down_.length);
        FilterDown(down_, tmp_, repeat_, out);
    }

    bool repeat_;
    Kernel across_, down_;
    int pad_ = 0;
    std::vector<float> line_, scratch_;
    Planes tmp_;
};

std::unique_ptr<Bitmap> ToBitmap(const Planes& p, uint32_t pixelFormat)
{
    static const GammaEncoder encoder;
    auto level = std::make_unique<Bitmap>(p.width, p.height, pixelFormat);
    if (!level->IsValid()) return nullptr;
    for (uint32_t y = 0; y < p.height; ++y)
    {
        uint8_t* out = level->Row(y);
        const float* b = p.Row(0, y);
        const float* g = p.Row(1, y);
        const float* r = p.Row(2, y);
        encoder.EncodeRow(b, g, r, p.Row(3, y), out, p.width);
    }
    return level;
}

}  // namespace

std::vector<std::unique_ptr<Bitmap>> MakeKaiserMipChain(const Bitmap& level0, bool wrap)
{
    std::vector<std::unique_ptr<Bitmap>> levels;
    const uint32_t format = level0.GetFormat();
    if ((format != Bitmap::FormatARGB32 && format != Bitmap::FormatXRGB32) || !level0.IsValid()) return levels;
    try
    {
        ChainBuilder builder(wrap);
        Planes current, next;
        uint32_t w = level0.GetWidth(), h = level0.GetHeight();
        bool first = true;
        while (w > 1 || h > 1)
        {
            if (first)
                builder.FirstLevel(level0, next);
            else
                builder.NextLevel(current, next);
            first = false;
            std::swap(current, next);
            std::unique_ptr<Bitmap> level = ToBitmap(current, format);
            if (!level) return {};
            levels.push_back(std::move(level));
            w = current.width, h = current.height;
        }
    }
    catch (const std::bad_alloc&)
    {
        levels.clear();
    }
    return levels;
}
