// FastColorSSE2 (the colour encoder of CompressionSpeed 2): integer vector kernels in SSE2, AVX2 and
// AVX-512, chosen at run time, around shared scalar steps. All forms give the same blocks.
#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "textures/codec/FastDxtBlock.h"
#include "textures/codec/SimdLevel.h"

namespace {

// ---- scalar steps shared by the forms ----
// They are inlined into every form, so that the AVX forms never call SSE code with the upper halves of the
// vector registers in use (which costs a transition each time). Integer steps give the same results
// anywhere; the floating-point ones are plain IEEE single and double operations, and no form is built with
// fused multiply-add, so they round alike in every form as well.
#define VELMAR_SHARED inline __attribute__((always_inline))

// Sums over the 16 texels: b, g, r, then bb, gg, rr, bg, br, gr.
struct FastMoments
{
    int32_t sum[9];
};

// Integer projection weights (blue, green, red) along the block's principal axis.
struct FastAxis
{
    int32_t weight[3];
};

// The four palette colours of two 5:6:5 words along the line from the first to the second, each as blue,
// green, red.
struct FastPalette
{
    int32_t entry[4][3];
};

struct Rgb
{
    int r, g, b;
};

VELMAR_SHARED Rgb Unpack565(uint16_t w)
{
    const int r = w >> 11, g = (w >> 5) & 63, b = w & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

int Quantise5(int v) { return (v + 4 - (v >> 5)) >> 3; }
int Quantise6(int v) { return (v + 2 - (v >> 6)) >> 2; }

// Nearest code of the 5- and 6-bit grids (bit-replicated expansion) for a whole 0..255 value.
VELMAR_SHARED int Nearest5(int v) { return (v * 31 + 127) / 255; }
VELMAR_SHARED int Nearest6(int v) { return (v * 63 + 127) / 255; }

VELMAR_SHARED uint16_t TexelTo565(uint32_t t)
{
    return uint16_t(Nearest5(int((t >> 16) & 255)) << 11 | Nearest6(int((t >> 8) & 255)) << 5 | Nearest5(int(t & 255)));
}

VELMAR_SHARED void BuildFastPalette(uint16_t c0, uint16_t c1, FastPalette& p)
{
    const Rgb a = Unpack565(c0), b = Unpack565(c1);
    // Entries along the line: c0, (2 c0 + c1 + 1) / 3, (c0 + 2 c1 + 1) / 3, c1; x / 3 as (x * 21846) >> 16,
    // exact for x below 768.
    auto third = [](int x) { return (x * 21846) >> 16; };
    const int ca[3] = {a.b, a.g, a.r}, cb[3] = {b.b, b.g, b.r};
    for (int c = 0; c < 3; ++c)
    {
        p.entry[0][c] = ca[c];
        p.entry[1][c] = third(2 * ca[c] + cb[c] + 1);
        p.entry[2][c] = third(ca[c] + 2 * cb[c] + 1);
        p.entry[3][c] = cb[c];
    }
}

// The principal axis of the colours by a few power-iteration steps on the exact covariance, as integer
// weights whose sizes add up to at most 1024 (so projections stay within 32 bits).
VELMAR_SHARED FastAxis FastProjectionAxis(const FastMoments& m)
{
    // 16 x covariance, exact: 16 x sum(xy) - sum(x) sum(y).
    const int64_t s[3] = {m.sum[0], m.sum[1], m.sum[2]};
    auto cov = [&](int products, int x, int y) { return float(16 * int64_t(m.sum[products]) - s[x] * s[y]); };
    const float bb = cov(3, 0, 0), gg = cov(4, 1, 1), rr = cov(5, 2, 2), bg = cov(6, 0, 1), br = cov(7, 0, 2),
                gr = cov(8, 1, 2);
    float v[3] = {rr, gr, br};  // red, green, blue
    if (gg > rr && gg >= bb)
        v[0] = gr, v[1] = gg, v[2] = bg;
    else if (bb > rr && bb > gg)
        v[0] = br, v[1] = bg, v[2] = bb;
    // Two steps of the power iteration; the entries stay far below the float range without scaling between
    // them (16 x covariances are below 2^24, so two products of three stay below 2^80).
    for (int it = 0; it < 2; ++it)
    {
        const float x = rr * v[0] + gr * v[1] + br * v[2];
        const float y = gr * v[0] + gg * v[1] + bg * v[2];
        const float z = br * v[0] + bg * v[1] + bb * v[2];
        v[0] = x, v[1] = y, v[2] = z;
    }
    const float total = std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]);
    if (!(total > 0.0f)) return {{1, 1, 1}};  // no spread along this axis: any direction serves
    const float scale = 1024.0f / total;
    auto round = [](float x) { return int32_t(x + (x < 0.0f ? -0.5f : 0.5f)); };
    FastAxis a;
    a.weight[0] = round(v[2] * scale);
    a.weight[1] = round(v[1] * scale);
    a.weight[2] = round(v[0] * scale);
    return a;
}

// Least-squares endpoints for the current indices. sums: sum(w0), sum(w0^2), sum(w0 b), sum(w0 g),
// sum(w0 r) with w0 the weight of color0 in thirds (w1 = 3 - w0).
VELMAR_SHARED bool FastRefitEndpoints(const FastMoments& m, const int32_t sums[5], uint16_t& c0, uint16_t& c1)
{
    const int64_t w = sums[0], ww = sums[1];
    const int64_t A = ww, B = 3 * w - ww, C = 144 - 6 * w + ww;
    const int64_t det = A * C - B * B;
    if (det == 0) return false;
    const double scale = 3.0 / double(det);
    int code0[3], code1[3];
    for (int c = 0; c < 3; ++c)
    {
        const int64_t ax = sums[2 + c], bx = 3 * int64_t(m.sum[c]) - ax;
        const double e0 = double(ax * C - bx * B) * scale;
        const double e1 = double(bx * A - ax * B) * scale;
        const int v0 = int(std::clamp(e0, 0.0, 255.0) + 0.5), v1 = int(std::clamp(e1, 0.0, 255.0) + 0.5);
        code0[c] = c == 1 ? Nearest6(v0) : Nearest5(v0);
        code1[c] = c == 1 ? Nearest6(v1) : Nearest5(v1);
    }
    c0 = uint16_t(code0[2] << 11 | code0[1] << 5 | code0[0]);
    c1 = uint16_t(code1[2] << 11 | code1[1] << 5 | code1[0]);
    return true;
}

// For every 8-bit value the pair of codes whose one-third interpolant (2 e0 + e1 + 1) / 3 comes
// closest: a nearly flat block is better served by that interpolant than by its own quantised colour.
struct SingleMatch
{
    uint8_t e0, e1;
};
template <int Bits>
std::array<SingleMatch, 256> MakeSingleMatch()
{
    std::array<SingleMatch, 256> table{};
    constexpr int top = (1 << Bits) - 1;
    for (int v = 0; v < 256; ++v)
    {
        int best = 1 << 30;
        for (int a = 0; a <= top; ++a)
            for (int b = 0; b <= top; ++b)
            {
                const int ea = Bits == 5 ? (a << 3) | (a >> 2) : (a << 2) | (a >> 4);
                const int eb = Bits == 5 ? (b << 3) | (b >> 2) : (b << 2) | (b >> 4);
                const int err = std::abs((2 * ea + eb + 1) / 3 - v) * 256 + std::abs(ea - eb);  // prefer close codes
                if (err < best) best = err, table[v] = {uint8_t(a), uint8_t(b)};
            }
    }
    return table;
}
const std::array<SingleMatch, 256> kMatch5 = MakeSingleMatch<5>();
const std::array<SingleMatch, 256> kMatch6 = MakeSingleMatch<6>();

VELMAR_SHARED void MatchedPair(int r, int g, int b, uint16_t& m0, uint16_t& m1)
{
    m0 = uint16_t(kMatch5[r].e0 << 11 | kMatch6[g].e0 << 5 | kMatch5[b].e0);
    m1 = uint16_t(kMatch5[r].e1 << 11 | kMatch6[g].e1 << 5 | kMatch5[b].e1);
}

VELMAR_SHARED void MeanAsInterpolant(const FastMoments& m, uint16_t& m0, uint16_t& m1)
{
    MatchedPair((m.sum[2] + 8) >> 4, (m.sum[1] + 8) >> 4, (m.sum[0] + 8) >> 4, m0, m1);
}

VELMAR_SHARED void StoreBlock(uint16_t c0, uint16_t c1, uint32_t indices, uint8_t block[8])
{
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &indices, 4);
}

// One colour: its own quantised value in both fields, or the one-third interpolant of a matched pair when
// that lands closer (most colours are not on the 5:6:5 grid).
VELMAR_SHARED void EncodeFlatColor(uint32_t texel, uint8_t block[8])
{
    const Rgb c = {int((texel >> 16) & 255), int((texel >> 8) & 255), int(texel & 255)};
    const uint16_t q =
        uint16_t(std::min(Quantise5(c.r), 31) << 11 | std::min(Quantise6(c.g), 63) << 5 | std::min(Quantise5(c.b), 31));
    uint16_t m0, m1;
    MatchedPair(c.r, c.g, c.b, m0, m1);
    auto distance = [&c](const Rgb& p) {
        return (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) + (p.b - c.b) * (p.b - c.b);
    };
    const Rgb a = Unpack565(m0), b = Unpack565(m1);
    const Rgb third = {(2 * a.r + b.r + 1) / 3, (2 * a.g + b.g + 1) / 3, (2 * a.b + b.b + 1) / 3};
    if (m0 == m1 || distance(Unpack565(q)) <= distance(third))
    {
        StoreBlock(q, q, 0, block);
    }
    else
    {
        // Index 2 is the interpolant next to color0; with the words swapped it is index 3.
        StoreBlock(std::max(m0, m1), std::min(m0, m1), m0 > m1 ? 0xAAAAAAAAu : 0xFFFFFFFFu, block);
    }
}

// The larger word first (4-colour mode). positions: 2 bits per texel, 0 at c0 up to 3 at c1, which become
// the decoder's indices (0, 2, 3, 1 for color0 = c0; reversed when the words are swapped). Equal words use
// index 0 throughout.
VELMAR_SHARED void PackFastColor(uint16_t c0, uint16_t c1, uint32_t positions, uint8_t block[8])
{
    if (c0 == c1)
    {
        StoreBlock(c0, c1, 0, block);
        return;
    }
    const bool swap = c0 < c1;
    if (swap) positions = ~positions;  // position 3 - q
    // Per 2-bit field (h, l): 00 -> 00, 01 -> 10, 10 -> 11, 11 -> 01, i.e. h' = h ^ l, l' = h.
    const uint32_t l = positions & 0x55555555u, h = (positions >> 1) & 0x55555555u;
    StoreBlock(swap ? c1 : c0, swap ? c0 : c1, (h ^ l) << 1 | h, block);
}

}  // namespace

// ---- SSE2: four vectors of four lanes ----

namespace sse2 {
namespace {

struct V
{
    __m128i v[4];
};

V Load(const uint32_t texels[16])
{
    V r;
    for (int k = 0; k < 4; ++k) r.v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + 4 * k));
    return r;
}
V Set1(int32_t x)
{
    const __m128i s = _mm_set1_epi32(x);
    return {{s, s, s, s}};
}
template <typename F>
V Map(V a, V b, F f)
{
    for (int k = 0; k < 4; ++k) a.v[k] = f(a.v[k], b.v[k]);
    return a;
}
V And(V a, int32_t m)
{
    return Map(a, Set1(m), [](__m128i x, __m128i y) { return _mm_and_si128(x, y); });
}
V Xor(V a, V b)
{
    return Map(a, b, [](__m128i x, __m128i y) { return _mm_xor_si128(x, y); });
}
V Add(V a, V b)
{
    return Map(a, b, [](__m128i x, __m128i y) { return _mm_add_epi32(x, y); });
}
V Sub16(V a, V b)
{
    return Map(a, b, [](__m128i x, __m128i y) { return _mm_sub_epi16(x, y); });
}
V Madd(V a, V b)
{
    return Map(a, b, [](__m128i x, __m128i y) { return _mm_madd_epi16(x, y); });
}
V Sub(V a, V b)
{
    return Map(a, b, [](__m128i x, __m128i y) { return _mm_sub_epi32(x, y); });
}
V Srl(V a, int n)
{
    for (__m128i& x : a.v) x = _mm_srli_epi32(x, n);
    return a;
}
V Sll(V a, int n)
{
    for (__m128i& x : a.v) x = _mm_slli_epi32(x, n);
    return a;
}
__m128i Min4(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}
__m128i Max4(__m128i a, __m128i b)
{
    const __m128i gt = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
}
template <typename F>
int32_t Reduce(V a, F f)
{
    __m128i x = f(f(a.v[0], a.v[1]), f(a.v[2], a.v[3]));
    x = f(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
    x = f(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(x);
}
V MinLanes(V a, V b) { return Map(a, b, Min4); }
int32_t MinOf(V a) { return Reduce(a, Min4); }
int32_t MaxOf(V a) { return Reduce(a, Max4); }
uint32_t LanesEqual(V a, int32_t x)
{
    const __m128i s = _mm_set1_epi32(x);
    uint32_t bits = 0;
    for (int k = 0; k < 4; ++k)
        bits |= uint32_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a.v[k], s)))) << (4 * k);
    return bits;
}
void SumLanes(const V* v, int n, int32_t* sums)
{
    for (int i = 0; i < n; ++i) sums[i] = Reduce(v[i], [](__m128i x, __m128i y) { return _mm_add_epi32(x, y); });
}
uint32_t PackPositions(V a)
{
    // 32-bit lanes to bytes (lane i in byte i), then pairs of fields joined in ever wider lanes.
    __m128i x = _mm_packus_epi16(_mm_packs_epi32(a.v[0], a.v[1]), _mm_packs_epi32(a.v[2], a.v[3]));
    x = _mm_or_si128(_mm_and_si128(x, _mm_set1_epi16(0x00FF)), _mm_srli_epi16(x, 6));
    x = _mm_or_si128(_mm_and_si128(x, _mm_set1_epi32(0xFFFF)), _mm_srli_epi32(x, 12));
    x = _mm_or_si128(_mm_and_si128(x, _mm_set1_epi64x(0xFFFFFFFF)), _mm_srli_epi64(x, 24));
    return uint32_t(_mm_cvtsi128_si32(x) & 0xFFFF) | uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(x, 8))) << 16;
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace sse2

// ---- AVX2: two vectors of eight lanes ----

#pragma GCC push_options
#pragma GCC target("avx2")

namespace avx2 {
namespace {

struct V
{
    __m256i v[2];
};

V Load(const uint32_t texels[16])
{
    return {{_mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels)),
             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + 8))}};
}
V Set1(int32_t x)
{
    const __m256i s = _mm256_set1_epi32(x);
    return {{s, s}};
}
V And(V a, int32_t m)
{
    const __m256i s = _mm256_set1_epi32(m);
    return {{_mm256_and_si256(a.v[0], s), _mm256_and_si256(a.v[1], s)}};
}
V Xor(V a, V b) { return {{_mm256_xor_si256(a.v[0], b.v[0]), _mm256_xor_si256(a.v[1], b.v[1])}}; }
V Add(V a, V b) { return {{_mm256_add_epi32(a.v[0], b.v[0]), _mm256_add_epi32(a.v[1], b.v[1])}}; }
V Sub16(V a, V b) { return {{_mm256_sub_epi16(a.v[0], b.v[0]), _mm256_sub_epi16(a.v[1], b.v[1])}}; }
V Madd(V a, V b) { return {{_mm256_madd_epi16(a.v[0], b.v[0]), _mm256_madd_epi16(a.v[1], b.v[1])}}; }
V Sub(V a, V b) { return {{_mm256_sub_epi32(a.v[0], b.v[0]), _mm256_sub_epi32(a.v[1], b.v[1])}}; }
V MinLanes(V a, V b) { return {{_mm256_min_epi32(a.v[0], b.v[0]), _mm256_min_epi32(a.v[1], b.v[1])}}; }
V Srl(V a, int n) { return {{_mm256_srli_epi32(a.v[0], n), _mm256_srli_epi32(a.v[1], n)}}; }
V Sll(V a, int n) { return {{_mm256_slli_epi32(a.v[0], n), _mm256_slli_epi32(a.v[1], n)}}; }
template <typename F>
int32_t Horizontal(__m256i x, F f)
{
    __m128i y = f(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
    y = f(y, _mm_shuffle_epi32(y, _MM_SHUFFLE(1, 0, 3, 2)));
    y = f(y, _mm_shuffle_epi32(y, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(y);
}
int32_t MinOf(V a)
{
    return Horizontal(_mm256_min_epi32(a.v[0], a.v[1]), [](__m128i x, __m128i y) { return _mm_min_epi32(x, y); });
}
int32_t MaxOf(V a)
{
    return Horizontal(_mm256_max_epi32(a.v[0], a.v[1]), [](__m128i x, __m128i y) { return _mm_max_epi32(x, y); });
}
uint32_t LanesEqual(V a, int32_t x)
{
    const __m256i s = _mm256_set1_epi32(x);
    return uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a.v[0], s)))) |
           uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a.v[1], s)))) << 8;
}
void SumLanes(const V* v, int n, int32_t* sums)
{
    // Four sums at a time: horizontal adds leave [sum0..sum3] per 128-bit half, then the halves are added.
    for (int i = 0; i < n; i += 4)
    {
        __m256i x[4];
        for (int k = 0; k < 4; ++k)
            x[k] = i + k < n ? _mm256_add_epi32(v[i + k].v[0], v[i + k].v[1]) : _mm256_setzero_si256();
        const __m256i h = _mm256_hadd_epi32(_mm256_hadd_epi32(x[0], x[1]), _mm256_hadd_epi32(x[2], x[3]));
        alignas(16) int32_t four[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(four),
                        _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1)));
        for (int k = 0; k < 4 && i + k < n; ++k) sums[i + k] = four[k];
    }
}
uint32_t PackPositions(V a)
{
    // Each lane shifted to its place; the fields do not overlap, so adding them joins them.
    const __m256i x = _mm256_add_epi32(_mm256_sllv_epi32(a.v[0], _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14)),
                                       _mm256_sllv_epi32(a.v[1], _mm256_setr_epi32(16, 18, 20, 22, 24, 26, 28, 30)));
    int32_t sum;
    const V joined = {{x, _mm256_setzero_si256()}};
    SumLanes(&joined, 1, &sum);
    return uint32_t(sum);
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace avx2

#pragma GCC pop_options

// ---- AVX-512: one vector of sixteen lanes ----

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512dq,avx512vl")

namespace avx512 {
namespace {

struct V
{
    __m512i v;
};

V Load(const uint32_t texels[16]) { return {_mm512_loadu_si512(texels)}; }
V Set1(int32_t x) { return {_mm512_set1_epi32(x)}; }
V And(V a, int32_t m) { return {_mm512_and_si512(a.v, _mm512_set1_epi32(m))}; }
V Xor(V a, V b) { return {_mm512_xor_si512(a.v, b.v)}; }
V Add(V a, V b) { return {_mm512_add_epi32(a.v, b.v)}; }
V Sub16(V a, V b) { return {_mm512_sub_epi16(a.v, b.v)}; }
V Madd(V a, V b) { return {_mm512_madd_epi16(a.v, b.v)}; }
V Sub(V a, V b) { return {_mm512_sub_epi32(a.v, b.v)}; }
V MinLanes(V a, V b) { return {_mm512_min_epi32(a.v, b.v)}; }
V Srl(V a, int n) { return {_mm512_srli_epi32(a.v, unsigned(n))}; }
V Sll(V a, int n) { return {_mm512_slli_epi32(a.v, unsigned(n))}; }
int32_t MinOf(V a) { return _mm512_reduce_min_epi32(a.v); }
int32_t MaxOf(V a) { return _mm512_reduce_max_epi32(a.v); }
uint32_t LanesEqual(V a, int32_t x) { return _mm512_cmpeq_epi32_mask(a.v, _mm512_set1_epi32(x)); }
void SumLanes(const V* v, int n, int32_t* sums)
{
    // Halves added, then four sums at a time by horizontal adds as in the AVX2 form.
    for (int i = 0; i < n; i += 4)
    {
        __m256i x[4];
        for (int k = 0; k < 4; ++k)
            x[k] = i + k < n
                       ? _mm256_add_epi32(_mm512_castsi512_si256(v[i + k].v), _mm512_extracti64x4_epi64(v[i + k].v, 1))
                       : _mm256_setzero_si256();
        const __m256i h = _mm256_hadd_epi32(_mm256_hadd_epi32(x[0], x[1]), _mm256_hadd_epi32(x[2], x[3]));
        alignas(16) int32_t four[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(four),
                        _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1)));
        for (int k = 0; k < 4 && i + k < n; ++k) sums[i + k] = four[k];
    }
}
uint32_t PackPositions(V a)
{
    const __m512i shifts = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    return uint32_t(_mm512_reduce_or_epi32(_mm512_sllv_epi32(a.v, shifts)));
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace avx512

#pragma GCC pop_options

void FastColorSSE2Form(SimdLevel level, const uint32_t texels[16], uint8_t block[8])
{
    switch (level)
    {
    case SimdLevel::Avx512: avx512::EncodeFastColor(texels, block); return;
    case SimdLevel::Avx2: avx2::EncodeFastColor(texels, block); return;
    case SimdLevel::Sse2: break;
    }
    sse2::EncodeFastColor(texels, block);
}

void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]) { FastColorSSE2Form(CodecSimdLevel(), texels, block); }
