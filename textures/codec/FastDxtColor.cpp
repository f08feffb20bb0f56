// FastColorSSE2 (the colour encoder of CompressionSpeed 2) with one block per vector lane: 4 blocks at once in
// SSE2, 8 in AVX2, 16 in AVX-512, the form chosen at run time. All forms give the same blocks.
#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "textures/codec/FastDxtBlock.h"
#include "textures/codec/SimdLevel.h"

namespace {

struct Rgb
{
    int r, g, b;
};

Rgb Unpack565(uint16_t w)
{
    const int r = w >> 11, g = (w >> 5) & 63, b = w & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

int Quantise5(int v) { return (v + 4 - (v >> 5)) >> 3; }
int Quantise6(int v) { return (v + 2 - (v >> 6)) >> 2; }

// For every 8-bit value the pair of codes (e0 | e1 << 8) whose one-third interpolant (2 e0 + e1 + 1) / 3
// comes closest: a nearly flat block is better served by that interpolant than by its own quantised colour.
template <int Bits>
std::array<int32_t, 256> MakeMatchedPairs()
{
    std::array<int32_t, 256> table{};
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
                if (err < best) best = err, table[v] = a | b << 8;
            }
    }
    return table;
}
alignas(64) const std::array<int32_t, 256> kMatched5 = MakeMatchedPairs<5>();
alignas(64) const std::array<int32_t, 256> kMatched6 = MakeMatchedPairs<6>();
const int32_t* const kPairs5 = kMatched5.data();
const int32_t* const kPairs6 = kMatched6.data();

void StoreBlock(uint16_t c0, uint16_t c1, uint32_t indices, uint8_t block[8])
{
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &indices, 4);
}

// One colour: its own quantised value in both fields, or the one-third interpolant of a matched pair when
// that lands closer (most colours are not on the 5:6:5 grid).
void EncodeFlatColor(uint32_t texel, uint8_t block[8])
{
    const Rgb c = {int((texel >> 16) & 255), int((texel >> 8) & 255), int(texel & 255)};
    const uint16_t q =
        uint16_t(std::min(Quantise5(c.r), 31) << 11 | std::min(Quantise6(c.g), 63) << 5 | std::min(Quantise5(c.b), 31));
    const uint16_t m0 = uint16_t((kPairs5[c.r] & 255) << 11 | (kPairs6[c.g] & 255) << 5 | (kPairs5[c.b] & 255));
    const uint16_t m1 = uint16_t((kPairs5[c.r] >> 8) << 11 | (kPairs6[c.g] >> 8) << 5 | (kPairs5[c.b] >> 8));
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
void PackFastColor(uint16_t c0, uint16_t c1, uint32_t positions, uint8_t block[8])
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

// ---- SSE2: four blocks per vector ----

namespace sse2 {
namespace {

constexpr int kLanes = 4;
using F = __m128;
using I = __m128i;

F Set1F(float x) { return _mm_set1_ps(x); }
F Add(F a, F b) { return _mm_add_ps(a, b); }
F Sub(F a, F b) { return _mm_sub_ps(a, b); }
F Mul(F a, F b) { return _mm_mul_ps(a, b); }
F Div(F a, F b) { return _mm_div_ps(a, b); }
F Min(F a, F b) { return _mm_min_ps(a, b); }
F Max(F a, F b) { return _mm_max_ps(a, b); }
I Less(F a, F b) { return _mm_castps_si128(_mm_cmplt_ps(a, b)); }
I LessEq(F a, F b) { return _mm_castps_si128(_mm_cmple_ps(a, b)); }
I Equal(F a, F b) { return _mm_castps_si128(_mm_cmpeq_ps(a, b)); }
F Select(I m, F a, F b)
{
    const F mask = _mm_castsi128_ps(m);
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}
I ToInt(F a) { return _mm_cvttps_epi32(a); }
F ToFloat(I a) { return _mm_cvtepi32_ps(a); }
I Set1I(int32_t x) { return _mm_set1_epi32(x); }
I Add(I a, I b) { return _mm_add_epi32(a, b); }
I And(I a, I b) { return _mm_and_si128(a, b); }
I Or(I a, I b) { return _mm_or_si128(a, b); }
I AndNot(I a, I b) { return _mm_andnot_si128(a, b); }
template <int N>
I Sll(I a)
{
    return _mm_slli_epi32(a, N);
}
template <int N>
I Srl(I a)
{
    return _mm_srli_epi32(a, N);
}
I SllBy(I a, int n) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(n)); }
I Equal(I a, I b) { return _mm_cmpeq_epi32(a, b); }
I Select(I m, I a, I b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }
I MaddSmall(I a, int k) { return _mm_madd_epi16(a, _mm_set1_epi32(k)); }
bool Any(I m) { return _mm_movemask_epi8(m) != 0; }
I Lookup(const int32_t table[256], I index)
{
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<I*>(i), index);
    return _mm_setr_epi32(table[i[0]], table[i[1]], table[i[2]], table[i[3]]);
}
void Store(I a, int32_t out[]) { _mm_storeu_si128(reinterpret_cast<I*>(out), a); }
void LoadTexels(const uint32_t* const* blocks, I texel[16])
{
    // 4 x 4 transposes of the four blocks' texels.
    for (int g = 0; g < 16; g += 4)
    {
        I r[4];
        for (int l = 0; l < 4; ++l) r[l] = _mm_loadu_si128(reinterpret_cast<const I*>(blocks[l] + g));
        const I t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
        const I t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
        texel[g] = _mm_unpacklo_epi64(t0, t2), texel[g + 1] = _mm_unpackhi_epi64(t0, t2);
        texel[g + 2] = _mm_unpacklo_epi64(t1, t3), texel[g + 3] = _mm_unpackhi_epi64(t1, t3);
    }
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace sse2

// ---- AVX2: eight blocks per vector ----

VELMAR_TARGET_BEGIN("avx2")

namespace avx2 {
namespace {

constexpr int kLanes = 8;
using F = __m256;
using I = __m256i;

F Set1F(float x) { return _mm256_set1_ps(x); }
F Add(F a, F b) { return _mm256_add_ps(a, b); }
F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
F Div(F a, F b) { return _mm256_div_ps(a, b); }
F Min(F a, F b) { return _mm256_min_ps(a, b); }
F Max(F a, F b) { return _mm256_max_ps(a, b); }
I Less(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LT_OS)); }
I LessEq(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_LE_OS)); }
I Equal(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_EQ_OQ)); }
F Select(I m, F a, F b) { return _mm256_blendv_ps(b, a, _mm256_castsi256_ps(m)); }
I ToInt(F a) { return _mm256_cvttps_epi32(a); }
F ToFloat(I a) { return _mm256_cvtepi32_ps(a); }
I Set1I(int32_t x) { return _mm256_set1_epi32(x); }
I Add(I a, I b) { return _mm256_add_epi32(a, b); }
I And(I a, I b) { return _mm256_and_si256(a, b); }
I Or(I a, I b) { return _mm256_or_si256(a, b); }
I AndNot(I a, I b) { return _mm256_andnot_si256(a, b); }
template <int N>
I Sll(I a)
{
    return _mm256_slli_epi32(a, N);
}
template <int N>
I Srl(I a)
{
    return _mm256_srli_epi32(a, N);
}
I SllBy(I a, int n) { return _mm256_sll_epi32(a, _mm_cvtsi32_si128(n)); }
I Equal(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
I Select(I m, I a, I b) { return _mm256_blendv_epi8(b, a, m); }
I MaddSmall(I a, int k) { return _mm256_madd_epi16(a, _mm256_set1_epi32(k)); }
bool Any(I m) { return !_mm256_testz_si256(m, m); }
I Lookup(const int32_t table[256], I index) { return _mm256_i32gather_epi32(table, index, 4); }
void Store(I a, int32_t out[]) { _mm256_storeu_si256(reinterpret_cast<I*>(out), a); }
void LoadTexels(const uint32_t* const* blocks, I texel[16])
{
    // 8 x 8 transposes of the eight blocks' texels, half a block at a time.
    for (int g = 0; g < 16; g += 8)
    {
        I r[8];
        for (int l = 0; l < 8; ++l) r[l] = _mm256_loadu_si256(reinterpret_cast<const I*>(blocks[l] + g));
        I t[8], u[8];
        for (int k = 0; k < 4; ++k)
            t[2 * k] = _mm256_unpacklo_epi32(r[2 * k], r[2 * k + 1]),
                  t[2 * k + 1] = _mm256_unpackhi_epi32(r[2 * k], r[2 * k + 1]);
        for (int k = 0; k < 2; ++k)
        {
            u[4 * k] = _mm256_unpacklo_epi64(t[4 * k], t[4 * k + 2]);
            u[4 * k + 1] = _mm256_unpackhi_epi64(t[4 * k], t[4 * k + 2]);
            u[4 * k + 2] = _mm256_unpacklo_epi64(t[4 * k + 1], t[4 * k + 3]);
            u[4 * k + 3] = _mm256_unpackhi_epi64(t[4 * k + 1], t[4 * k + 3]);
        }
        // u[c] holds texels c of blocks 0-3 (low half: texel c, high half: texel c + 4); same for blocks
        // 4-7 in u[4 + c].
        for (int c = 0; c < 4; ++c)
        {
            texel[g + c] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x20);
            texel[g + c + 4] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x31);
        }
    }
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace avx2

VELMAR_TARGET_END

// ---- AVX-512: sixteen blocks per vector ----

VELMAR_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vl")

namespace avx512 {
namespace {

constexpr int kLanes = 16;
using F = __m512;
using I = __m512i;

F Set1F(float x) { return _mm512_set1_ps(x); }
F Add(F a, F b) { return _mm512_add_ps(a, b); }
F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
F Div(F a, F b) { return _mm512_div_ps(a, b); }
F Min(F a, F b) { return _mm512_min_ps(a, b); }
F Max(F a, F b) { return _mm512_max_ps(a, b); }
I Less(F a, F b) { return _mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_LT_OS)); }
I LessEq(F a, F b) { return _mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_LE_OS)); }
I Equal(F a, F b) { return _mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ)); }
F Select(I m, F a, F b) { return _mm512_mask_blend_ps(_mm512_movepi32_mask(m), b, a); }
I ToInt(F a) { return _mm512_cvttps_epi32(a); }
F ToFloat(I a) { return _mm512_cvtepi32_ps(a); }
I Set1I(int32_t x) { return _mm512_set1_epi32(x); }
I Add(I a, I b) { return _mm512_add_epi32(a, b); }
I And(I a, I b) { return _mm512_and_si512(a, b); }
I Or(I a, I b) { return _mm512_or_si512(a, b); }
I AndNot(I a, I b) { return _mm512_andnot_si512(a, b); }
template <int N>
I Sll(I a)
{
    return _mm512_slli_epi32(a, N);
}
template <int N>
I Srl(I a)
{
    return _mm512_srli_epi32(a, N);
}
I SllBy(I a, int n) { return _mm512_sll_epi32(a, _mm_cvtsi32_si128(n)); }
I Equal(I a, I b) { return _mm512_movm_epi32(_mm512_cmpeq_epi32_mask(a, b)); }
I Select(I m, I a, I b) { return _mm512_mask_blend_epi32(_mm512_movepi32_mask(m), b, a); }
I MaddSmall(I a, int k) { return _mm512_madd_epi16(a, _mm512_set1_epi32(k)); }
bool Any(I m) { return _mm512_movepi32_mask(m) != 0; }
I Lookup(const int32_t table[256], I index) { return _mm512_i32gather_epi32(index, table, 4); }
void Store(I a, int32_t out[]) { _mm512_storeu_si512(out, a); }
void LoadTexels(const uint32_t* const* blocks, I texel[16])
{
    // A 16 x 16 transpose of the sixteen blocks' texels: within 128-bit lanes first, then of the lanes.
    I r[16], t[16], u[16];
    for (int l = 0; l < 16; ++l) r[l] = _mm512_loadu_si512(blocks[l]);
    for (int k = 0; k < 8; ++k)
        t[2 * k] = _mm512_unpacklo_epi32(r[2 * k], r[2 * k + 1]),
              t[2 * k + 1] = _mm512_unpackhi_epi32(r[2 * k], r[2 * k + 1]);
    for (int k = 0; k < 4; ++k)
    {
        u[4 * k] = _mm512_unpacklo_epi64(t[4 * k], t[4 * k + 2]);
        u[4 * k + 1] = _mm512_unpackhi_epi64(t[4 * k], t[4 * k + 2]);
        u[4 * k + 2] = _mm512_unpacklo_epi64(t[4 * k + 1], t[4 * k + 3]);
        u[4 * k + 3] = _mm512_unpackhi_epi64(t[4 * k + 1], t[4 * k + 3]);
    }
    // Lane q of u[4k + c] holds texel 4q + c of blocks 4k .. 4k + 3.
    for (int c = 0; c < 4; ++c)
    {
        const I v0 = _mm512_shuffle_i32x4(u[c], u[4 + c], _MM_SHUFFLE(2, 0, 2, 0));
        const I v1 = _mm512_shuffle_i32x4(u[c], u[4 + c], _MM_SHUFFLE(3, 1, 3, 1));
        const I v2 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], _MM_SHUFFLE(2, 0, 2, 0));
        const I v3 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], _MM_SHUFFLE(3, 1, 3, 1));
        texel[c] = _mm512_shuffle_i32x4(v0, v2, _MM_SHUFFLE(2, 0, 2, 0));
        texel[8 + c] = _mm512_shuffle_i32x4(v0, v2, _MM_SHUFFLE(3, 1, 3, 1));
        texel[4 + c] = _mm512_shuffle_i32x4(v1, v3, _MM_SHUFFLE(2, 0, 2, 0));
        texel[12 + c] = _mm512_shuffle_i32x4(v1, v3, _MM_SHUFFLE(3, 1, 3, 1));
    }
}

#include "textures/codec/FastDxtColorKernel.inc"

}  // namespace
}  // namespace avx512

VELMAR_TARGET_END

namespace {

using BatchFn = void (*)(const uint32_t* const* blocks, int32_t color0[], int32_t color1[], int32_t indices[],
                         int32_t flat[]);

struct BatchForm
{
    int lanes;
    BatchFn encode;
};

BatchForm FormOf(SimdLevel level)
{
    switch (level)
    {
    case SimdLevel::Avx512: return {avx512::kLanes, avx512::EncodeFastColours};
    case SimdLevel::Avx2: return {avx2::kLanes, avx2::EncodeFastColours};
    case SimdLevel::Sse2: break;
    }
    return {sse2::kLanes, sse2::EncodeFastColours};
}

}  // namespace

void FastColorSSE2Blocks(SimdLevel level, const uint32_t* const* texels, int count, uint8_t* const* blocks)
{
    const BatchForm form = FormOf(level);
    for (int first = 0; first < count; first += form.lanes)
    {
        // A short batch repeats its last block in the lanes it does not fill.
        const uint32_t* lanes[16];
        const int n = std::min(form.lanes, count - first);
        for (int l = 0; l < form.lanes; ++l) lanes[l] = texels[first + std::min(l, n - 1)];
        alignas(64) int32_t c0[16], c1[16], positions[16], flat[16];
        form.encode(lanes, c0, c1, positions, flat);
        for (int l = 0; l < n; ++l)
        {
            if (flat[l] != 0)
                EncodeFlatColor(lanes[l][0], blocks[first + l]);
            else
                PackFastColor(uint16_t(c0[l]), uint16_t(c1[l]), uint32_t(positions[l]), blocks[first + l]);
        }
    }
}

void FastColorSSE2Form(SimdLevel level, const uint32_t texels[16], uint8_t block[8])
{
    FastColorSSE2Blocks(level, &texels, 1, &block);
}

void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]) { FastColorSSE2Form(CodecSimdLevel(), texels, block); }
