#include "textures/codec/FastDxtBlock.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

int Quantise5(int v) { return (v + 4 - (v >> 5)) >> 3; }
int Quantise6(int v) { return (v + 2 - (v >> 6)) >> 2; }

void StoreBlock(uint16_t c0, uint16_t c1, uint32_t indices, uint8_t block[8])
{
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &indices, 4);
}

// Position class of a texel: 0 far minus side, 1 near minus, 2 near plus, 3 far plus.
inline int Side(float p, float twoThirds)
{
    const bool plus = p >= 0.0f;
    const bool far = std::fabs(p) > twoThirds;
    return (plus ? 2 : 0) + (far == plus ? 1 : 0);
}

// The SSE form, or (x87Form) the plain floating-point form: strictly positive deviations select
// the sign sums, the direction is normalised exactly, and equal words give every texel one index.
namespace {

float HorizontalSum(__m128 v)
{
    v = _mm_add_ps(v, _mm_movehl_ps(v, v));
    return _mm_cvtss_f32(_mm_add_ss(v, _mm_shuffle_ps(v, v, 1)));
}

}  // namespace

// Direction of the SSE form, four texels per vector (lane sums, then the lanes added).
void FastColorDirectionSSE(const uint32_t texels[16], float ch[3][16], float mean[3], float dir[3])
{
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    const __m128 half = _mm_set1_ps(0.5f);
    __m128 s0 = _mm_setzero_ps(), s1 = s0, s2 = s0;
    for (int g = 0; g < 16; g += 4)
    {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + g));
        const __m128 b = _mm_cvtepi32_ps(_mm_and_si128(t, lowByte));
        const __m128 gr = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, 8), lowByte));
        const __m128 r = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, 16), lowByte));
        const __m128 bp = _mm_mul_ps(_mm_add_ps(b, gr), half);
        _mm_storeu_ps(ch[0] + g, bp), _mm_storeu_ps(ch[1] + g, gr), _mm_storeu_ps(ch[2] + g, r);
        s0 = _mm_add_ps(s0, bp), s1 = _mm_add_ps(s1, gr), s2 = _mm_add_ps(s2, r);
    }
    mean[0] = HorizontalSum(s0) * (1.0f / 16.0f);
    mean[1] = HorizontalSum(s1) * (1.0f / 16.0f);
    mean[2] = HorizontalSum(s2) * (1.0f / 16.0f);
    const __m128 m0 = _mm_set1_ps(mean[0]), m1 = _mm_set1_ps(mean[1]), m2 = _mm_set1_ps(mean[2]);
    const __m128 signMask = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    __m128 a0 = zero, a1 = zero, a2 = zero, sb = zero, sr = zero, sx = zero;
    for (int g = 0; g < 16; g += 4)
    {
        const __m128 d0 = _mm_sub_ps(_mm_loadu_ps(ch[0] + g), m0), d1 = _mm_sub_ps(_mm_loadu_ps(ch[1] + g), m1),
                     d2 = _mm_sub_ps(_mm_loadu_ps(ch[2] + g), m2);
        a0 = _mm_add_ps(a0, _mm_andnot_ps(signMask, d0));
        a1 = _mm_add_ps(a1, _mm_andnot_ps(signMask, d1));
        a2 = _mm_add_ps(a2, _mm_andnot_ps(signMask, d2));
        const __m128 p0 = _mm_cmpge_ps(d0, zero), p2 = _mm_cmpge_ps(d2, zero);
        sb = _mm_add_ps(sb, _mm_and_ps(p0, d1));
        sr = _mm_add_ps(sr, _mm_and_ps(p2, d1));
        sx = _mm_add_ps(sx, _mm_and_ps(p2, d0));
    }
    dir[0] = HorizontalSum(a0) * (1.0f / 16.0f);
    dir[1] = HorizontalSum(a1) * (1.0f / 16.0f);
    dir[2] = HorizontalSum(a2) * (1.0f / 16.0f);
    const float SB = HorizontalSum(sb), SR = HorizontalSum(sr), SX = HorizontalSum(sx);
    if (SB != 0.0f || SR != 0.0f)
    {
        if (SB < 0.0f) dir[0] = -dir[0];
        if (SR < 0.0f) dir[2] = -dir[2];
    }
    else if (SX < 0.0f)
    {
        dir[0] = -dir[0];
    }
}

// The SSE form, or (x87Form) the plain floating-point form: strictly positive deviations select
// the sign sums, the direction is normalised exactly, and equal words give every texel one index.
void FastColor(const uint32_t texels[16], uint8_t block[8], bool x87Form)
{
    float ch[3][16];  // B' = (B + G) / 2, G, R
    float mean[3], dir[3];
    if (!x87Form)
    {
        FastColorDirectionSSE(texels, ch, mean, dir);
    }
    else
    {
        float sum[3] = {0, 0, 0};
        for (int i = 0; i < 16; ++i)
        {
            const uint32_t t = texels[i];
            const float b = float(t & 255), g = float((t >> 8) & 255), r = float((t >> 16) & 255);
            ch[0][i] = (b + g) * 0.5f;
            ch[1][i] = g;
            ch[2][i] = r;
            sum[0] += ch[0][i], sum[1] += g, sum[2] += r;
        }
        float mad[3] = {0, 0, 0};
        for (int c = 0; c < 3; ++c) mean[c] = sum[c] * (1.0f / 16.0f);
        float sb = 0.0f, sr = 0.0f, sx = 0.0f;
        for (int i = 0; i < 16; ++i)
        {
            const float d0 = ch[0][i] - mean[0], d1 = ch[1][i] - mean[1], d2 = ch[2][i] - mean[2];
            mad[0] += std::fabs(d0), mad[1] += std::fabs(d1), mad[2] += std::fabs(d2);
            if (d0 > 0.0f) sb += d1;
            if (d2 > 0.0f) sr += d1, sx += d0;
        }
        for (int c = 0; c < 3; ++c) dir[c] = mad[c] * (1.0f / 16.0f);
        if (sb != 0.0f || sr != 0.0f)
        {
            if (sb < 0.0f) dir[0] = -dir[0];
            if (sr < 0.0f) dir[2] = -dir[2];
        }
        else if (sx < 0.0f)
        {
            dir[0] = -dir[0];
        }
    }
    const float len2 = dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2];
    if (len2 > 0.0f)
    {
        float r;
        if (x87Form)
        {
            r = 1.0f / std::sqrt(len2);
        }
        else
        {
            r = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(len2)));  // estimate and one Newton step
            r = r * (3.0f - r * len2 * r) * 0.5f;
        }
        for (float& v : dir) v *= r;
    }
    else
    {
        dir[0] = dir[1] = dir[2] = 0.0f;
    }

    float t[16], tmin = 10000.0f, tmax = -10000.0f;
    for (int i = 0; i < 16; ++i)
    {
        t[i] = (ch[0][i] - mean[0]) * dir[0] + (ch[1][i] - mean[1]) * dir[1] + (ch[2][i] - mean[2]) * dir[2];
        tmin = std::min(tmin, t[i]);
        tmax = std::max(tmax, t[i]);
    }
    tmin = std::max(tmin, -10000.0f);
    tmax = std::min(tmax, 10000.0f);
    const float mid = (tmin + tmax) * 0.5f;
    for (float& v : t) v -= mid;
    float h = (tmax - tmin) * 0.5f, kept = h, previous = 10000000.0f;
    // Squared distances to the nearest palette point, four texels per vector (lane sums, then the
    // four lanes added pairwise).
    alignas(16) float at[16];
    const __m128 signMask = _mm_set1_ps(-0.0f);
    for (int g = 0; g < 16; g += 4) _mm_store_ps(at + g, _mm_andnot_ps(signMask, _mm_loadu_ps(t + g)));
    for (int iteration = 0; iteration < 256; ++iteration)
    {
        const __m128 vh = _mm_set1_ps(h), twoThirds = _mm_set1_ps(h * (2.0f / 3.0f)),
                     third = _mm_set1_ps(h * (1.0f / 3.0f));
        __m128 acc = _mm_setzero_ps();
        for (int g = 0; g < 16; g += 4)
        {
            const __m128 a = _mm_load_ps(at + g);
            const __m128 far = _mm_cmpgt_ps(a, twoThirds);
            const __m128 e = _mm_sub_ps(a, _mm_or_ps(_mm_and_ps(far, vh), _mm_andnot_ps(far, third)));
            acc = _mm_add_ps(acc, _mm_mul_ps(e, e));
        }
        alignas(16) float lane[4];
        _mm_store_ps(lane, acc);
        float s = (lane[0] + lane[1]) + (lane[2] + lane[3]);
        if (x87Form)
        {  // one running sum in texel order
            const float tw = h * (2.0f / 3.0f), th = h * (1.0f / 3.0f);
            s = 0.0f;
            for (int i = 0; i < 16; ++i)
            {
                const float e = at[i] - (at[i] > tw ? h : th);
                s += e * e;
            }
        }
        if (!(s < previous - 5.0f)) break;
        kept = h;
        previous = s;
        h *= 0.95f;
    }

    int code[2][3];  // [minus, plus] endpoint; R5, G6, B5
    for (int e = 0; e < 2; ++e)
    {
        const float pos = mid + (e == 0 ? -kept : kept);
        const float bp = mean[0] + pos * dir[0], g = mean[1] + pos * dir[1], r = mean[2] + pos * dir[2];
        const float b = 2.0f * bp - g;
        auto toByte = [](float v) { return std::min(std::max(int(v), 0), 255); };
        code[e][0] = Quantise5(toByte(r));
        code[e][1] = Quantise6(toByte(g));
        code[e][2] = Quantise5(toByte(b));
    }
    const uint16_t minus = uint16_t(code[0][0] << 11 | code[0][1] << 5 | code[0][2]);
    const uint16_t plus = uint16_t(code[1][0] << 11 | code[1][1] << 5 | code[1][2]);
    uint32_t indices = 0;
    if (minus != plus)
    {
        // Index of each side class when color0 is the plus endpoint, and when it is the minus one.
        static constexpr uint32_t kPlusFirst[4] = {1, 3, 2, 0};
        static constexpr uint32_t kMinusFirst[4] = {0, 2, 3, 1};
        const uint32_t* map = plus > minus ? kPlusFirst : kMinusFirst;
        const float twoThirds = kept * (2.0f / 3.0f);
        for (int i = 0; i < 16; ++i) indices |= map[Side(t[i], twoThirds)] << (2 * i);
    }
    StoreBlock(std::max(minus, plus), std::min(minus, plus), indices, block);
}

}  // namespace

void FastColorSSE(const uint32_t texels[16], uint8_t block[8]) { FastColor(texels, block, false); }
void FastColorX87(const uint32_t texels[16], uint8_t block[8]) { FastColor(texels, block, true); }
