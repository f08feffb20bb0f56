#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include "textures/codec/AlphaBlock.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "textures/codec/SimdLevel.h"

namespace {

uint64_t Load64(const uint8_t b[8])
{
    uint64_t v;
    std::memcpy(&v, b, 8);
    return v;
}
void Store64(uint64_t v, uint8_t b[8]) { std::memcpy(b, &v, 8); }

uint8_t QuantiseExplicit(uint32_t a, ExplicitRounding rounding)
{
    const uint32_t r = (rounding == ExplicitRounding::Always7 || a < 128) ? 7 : 8;
    const uint32_t v = (a + r - (a >> 4)) >> 4;
    return uint8_t(v > 15 ? 15 : v);
}

// Real alpha to byte, clamped (the block formats cannot hold values outside 0..1).
uint8_t RealToByte(float f)
{
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return uint8_t(int(f * 255.0f + 0.5f));
}

float Clamp01(float f) { return f > 0.0f ? (f < 1.0f ? f : 1.0f) : 0.0f; }

struct AlphaList
{
    float value[16];
    float weight[16];
    int count;
};

// Squared error of the endpoints (a, b) with n evenly spaced points over the listed values.
float LineError(const AlphaList& list, float a, float b, int n, bool sse2Form, float best)
{
    const float d = (b - a) / float(n - 1);
    float sum = 0.0f;
    for (int i = 0; i < list.count; ++i)
    {
        const float v = list.value[i];
        float q;
        if (v <= a)
        {
            q = a;
        }
        else if (v >= b)
        {
            q = b;
        }
        else if (sse2Form)
        {
            q = a + std::nearbyint((v - a) / d) * d;  // halves to even, as cvtps2dq rounds
            q = std::min(std::max(q, a), b);
        }
        else
        {
            q = a + std::floor((v - a + d * 0.5f) / d) * d;
        }
        const float e = v - q;
        sum += list.weight[i] * e * e;
        if (!sse2Form && sum > best) return best;
    }
    return sum;
}

int RoundToInt(float x) { return int(std::floor(255.0f * x + 0.5f)); }

// ---- the AVX2 and AVX-512 forms of the SSE2 form's line errors ----
// One candidate pair (a, b) per lane, each doing the SSE2 form's operations on the listed values in list
// order; where v <= a or v >= b the lane takes a or b as the plain code does. No fused multiply-add.

VELMAR_TARGET_BEGIN("avx2")

void LineErrorsAvx2(const AlphaList& list, const float* a, const float* b, int pairs, int n, float* out)
{
    const __m256 steps = _mm256_set1_ps(float(n - 1));
    for (int p = 0; p < pairs; p += 8)
    {
        // The last pairs padded with copies of the last one, so that no lane reads past the arrays.
        alignas(32) float pa[8], pb[8];
        for (int k = 0; k < 8; ++k) pa[k] = a[std::min(p + k, pairs - 1)], pb[k] = b[std::min(p + k, pairs - 1)];
        const __m256 va = _mm256_load_ps(pa), vb = _mm256_load_ps(pb);
        const __m256 d = _mm256_div_ps(_mm256_sub_ps(vb, va), steps);
        __m256 sum = _mm256_setzero_ps();
        for (int i = 0; i < list.count; ++i)
        {
            const __m256 v = _mm256_set1_ps(list.value[i]);
            __m256 q = _mm256_add_ps(
                va, _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtps_epi32(_mm256_div_ps(_mm256_sub_ps(v, va), d))), d));
            q = _mm256_min_ps(_mm256_max_ps(q, va), vb);
            q = _mm256_blendv_ps(q, vb, _mm256_cmp_ps(v, vb, _CMP_GE_OQ));
            q = _mm256_blendv_ps(q, va, _mm256_cmp_ps(v, va, _CMP_LE_OQ));
            const __m256 e = _mm256_sub_ps(v, q);
            sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(list.weight[i]), e), e));
        }
        alignas(32) float lanes[8];
        _mm256_store_ps(lanes, sum);
        for (int k = 0; k < 8 && p + k < pairs; ++k) out[p + k] = lanes[k];
    }
}

VELMAR_TARGET_END

VELMAR_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vl")

void LineErrorsAvx512(const AlphaList& list, const float* a, const float* b, int pairs, int n, float* out)
{
    const __m512 steps = _mm512_set1_ps(float(n - 1));
    for (int p = 0; p < pairs; p += 16)
    {
        const __mmask16 live = pairs - p >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (pairs - p)) - 1);
        const __m512 va = _mm512_maskz_loadu_ps(live, a + p), vb = _mm512_maskz_loadu_ps(live, b + p);
        const __m512 d = _mm512_div_ps(_mm512_sub_ps(vb, va), steps);
        __m512 sum = _mm512_setzero_ps();
        for (int i = 0; i < list.count; ++i)
        {
            const __m512 v = _mm512_set1_ps(list.value[i]);
            __m512 q = _mm512_add_ps(
                va, _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_cvtps_epi32(_mm512_div_ps(_mm512_sub_ps(v, va), d))), d));
            q = _mm512_min_ps(_mm512_max_ps(q, va), vb);
            q = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(v, vb, _CMP_GE_OQ), q, vb);
            q = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(v, va, _CMP_LE_OQ), q, va);
            const __m512 e = _mm512_sub_ps(v, q);
            sum = _mm512_add_ps(sum, _mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(list.weight[i]), e), e));
        }
        _mm512_mask_storeu_ps(out + p, live, sum);
    }
}

VELMAR_TARGET_END

// The SSE2 form's errors of many candidate pairs: in the vector form of the level, or one by one.
void LineErrors(SimdLevel level, const AlphaList& list, const float* a, const float* b, int pairs, int n, float* out)
{
    if (level == SimdLevel::Avx512)
        LineErrorsAvx512(list, a, b, pairs, n, out);
    else if (level == SimdLevel::Avx2)
        LineErrorsAvx2(list, a, b, pairs, n, out);
    else
        for (int p = 0; p < pairs; ++p) out[p] = LineError(list, a[p], b[p], n, true, 0.0f);
}

}  // namespace

void CompressExplicitAlpha(const uint8_t alpha[16], ExplicitRounding rounding, uint8_t block[8])
{
    uint64_t v = 0;
    for (int i = 0; i < 16; ++i) v |= uint64_t(QuantiseExplicit(alpha[i], rounding)) << (4 * i);
    Store64(v, block);
}

void CompressExplicitAlphaF(const float alpha[16], uint8_t block[8])
{
    uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) bytes[i] = RealToByte(alpha[i]);
    CompressExplicitAlpha(bytes, ExplicitRounding::SevenOrEight, block);
}

void CompressExplicitAlphaTruncated(const uint8_t alpha[16], uint8_t block[8])
{
    uint64_t v = 0;
    for (int i = 0; i < 16; ++i) v |= uint64_t(alpha[i] >> 4) << (4 * i);
    Store64(v, block);
}

void DecompressExplicitAlpha(const uint8_t block[8], uint8_t alpha[16])
{
    const uint64_t v = Load64(block);
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(((v >> (4 * i)) & 15) * 17);
}

void DecompressExplicitAlphaF(const uint8_t block[8], float alpha[16])
{
    const uint64_t v = Load64(block);
    for (int i = 0; i < 16; ++i) alpha[i] = float(((v >> (4 * i)) & 15) * 17) / 255.0f;
}

void BuildAlphaPalette(uint8_t a0, uint8_t a1, uint8_t p[8])
{
    p[0] = a0;
    p[1] = a1;
    if (a0 > a1)
    {
        for (int i = 1; i <= 6; ++i) p[i + 1] = uint8_t(((7 - i) * a0 + i * a1 + 3) / 7);
    }
    else
    {
        for (int i = 1; i <= 4; ++i) p[i + 1] = uint8_t(((5 - i) * a0 + i * a1 + 2) / 5);
        p[6] = 0;
        p[7] = 255;
    }
}

void PackInterpolatedAlpha(int alpha0, int alpha1, const uint8_t indices[16], uint8_t block[8])
{
    uint64_t v = uint64_t(uint8_t(alpha0)) | uint64_t(uint8_t(alpha1)) << 8;
    for (int i = 0; i < 16; ++i) v |= uint64_t(indices[i] & 7) << (16 + 3 * i);
    Store64(v, block);
}

AlphaFit CompressAlphaEndpoints(const float values[16], int n, bool useSSE2)
{
    const bool sixMode = n == 6;
    float sorted[16];
    std::memcpy(sorted, values, sizeof sorted);
    std::sort(sorted, sorted + 16);

    AlphaList list{};
    float last = -2.0f;
    for (float v : sorted)
    {
        if (sixMode && !(v > 1.5f / 255.0f && v < 253.5f / 255.0f)) continue;
        if (list.count > 0 && v == last)
        {
            list.weight[list.count - 1] += 1.0f;
        }
        else
        {
            list.value[list.count] = v;
            list.weight[list.count] = 1.0f;
            ++list.count;
            last = v;
        }
    }

    int e0, e1;
    if (list.count < 3)
    {
        if (list.count == 1)
        {
            e0 = RoundToInt(list.value[0]);
            e1 = e0 + 1;
        }
        else if (list.count == 2)
        {
            e0 = RoundToInt(list.value[0]);
            e1 = RoundToInt(list.value[1]);
        }
        else
        {
            e0 = 128;
            e1 = 129;
        }
    }
    else
    {
        const float lo = list.value[0], hi = list.value[list.count - 1];
        const float mid = (lo + hi) / 2.0f;
        float best = 128000.0f, A = lo, B = hi;
        // The vector forms evaluate all candidates of a step at once; the candidates are then compared in
        // the same order as the one-by-one search.
        const SimdLevel level = useSSE2 ? CodecSimdLevel() : SimdLevel::Sse2;
        if (hi - lo > 0.1875f)
        {
            const float aEnd = std::min(lo + 0.1f, mid), bEnd = std::max(hi - 0.1f, mid);
            if (level != SimdLevel::Sse2)
            {
                float pa[256], pb[256], errors[256];
                int pairs = 0;
                for (float a = std::max(lo - 0.1f, 0.0f); a < aEnd && pairs < 240; a += 0.018f)
                    for (float b = std::min(hi + 0.1f, 1.0f); b >= bEnd && pairs < 256; b -= 0.018f)
                        pa[pairs] = a, pb[pairs] = b, ++pairs;
                LineErrors(level, list, pa, pb, pairs, n, errors);
                for (int p = 0; p < pairs; ++p)
                    if (errors[p] < best) best = errors[p], A = pa[p], B = pb[p];
            }
            else
            {
                for (float a = std::max(lo - 0.1f, 0.0f); a < aEnd; a += 0.018f)
                {
                    for (float b = std::min(hi + 0.1f, 1.0f); b >= bEnd; b -= 0.018f)
                    {
                        const float e = LineError(list, a, b, n, useSSE2, best);
                        if (e < best) best = e, A = a, B = b;
                    }
                }
            }
        }
        const float s = 0.6f / 256.0f;
        static constexpr int kSteps[3] = {0, -1, 1};
        for (;;)
        {
            float stepBest = FLT_MAX, nA = A, nB = B;
            if (level != SimdLevel::Sse2)
            {
                float pa[9], pb[9], errors[9];
                int p = 0;
                for (int i : kSteps)
                    for (int j : kSteps)
                        pa[p] = std::max(A + float(i) * s, 0.0f), pb[p] = std::min(B + float(j) * s, 1.0f), ++p;
                LineErrors(level, list, pa, pb, 9, n, errors);
                for (p = 0; p < 9; ++p)
                    if (errors[p] < stepBest) stepBest = errors[p], nA = pa[p], nB = pb[p];
            }
            else
            {
                for (int i : kSteps)
                {
                    for (int j : kSteps)
                    {
                        const float a = std::max(A + float(i) * s, 0.0f);
                        const float b = std::min(B + float(j) * s, 1.0f);
                        const float e = LineError(list, a, b, n, useSSE2, std::min(best, stepBest));
                        if (e < stepBest) stepBest = e, nA = a, nB = b;
                    }
                }
            }
            if (!(stepBest < best)) break;
            best = stepBest, A = nA, B = nB;
        }
        e0 = RoundToInt(A);
        e1 = RoundToInt(B);
    }
    if (e0 == e1) e1 = e1 >= 255 ? e1 - 1 : e1 + 1;

    AlphaFit fit{};
    const bool swap = sixMode ? e0 > e1 : e0 < e1;
    fit.alpha0 = swap ? e1 : e0;
    fit.alpha1 = swap ? e0 : e1;
    if (fit.alpha0 == fit.alpha1) return fit;  // indices 0, error 0

    float palette[8];
    palette[0] = float(fit.alpha0);
    palette[1] = float(fit.alpha1);
    for (int i = 1; i <= n - 2; ++i)
        palette[i + 1] = std::floor(float((n - 1 - i) * fit.alpha0 + i * fit.alpha1) / float(n - 1) + 0.5f);
    int entries = n;
    if (sixMode) palette[6] = 0.0f, palette[7] = 255.0f, entries = 8;
    for (int i = 0; i < entries; ++i) palette[i] /= 255.0f;
    for (int t = 0; t < 16; ++t)
    {
        float bestD = 10000000.0f;
        int bestI = 0;
        for (int i = 0; i < entries; ++i)
        {
            const float d = (values[t] - palette[i]) * (values[t] - palette[i]);
            if (d < bestD) bestD = d, bestI = i;
        }
        fit.indices[t] = uint8_t(bestI);
        fit.error += bestD;
    }
    return fit;
}

namespace {

void CompressInterpolatedValues(const float values[16], bool useSSE2, uint8_t block[8])
{
    const AlphaFit f8 = CompressAlphaEndpoints(values, 8, useSSE2);
    const AlphaFit* chosen = &f8;
    AlphaFit f6;
    if (f8.error != 0.0f)
    {
        f6 = CompressAlphaEndpoints(values, 6, useSSE2);
        if (f6.error < f8.error) chosen = &f6;
    }
    PackInterpolatedAlpha(chosen->alpha0, chosen->alpha1, chosen->indices, block);
}

}  // namespace

void CompressInterpolatedAlpha(const uint8_t alpha[16], bool useSSE2, uint8_t block[8])
{
    float values[16];
    for (int i = 0; i < 16; ++i) values[i] = float(alpha[i]) / 255.0f;
    CompressInterpolatedValues(values, useSSE2, block);
}

void CompressInterpolatedAlphaF(const float alpha[16], bool useSSE2, uint8_t block[8])
{
    float values[16];
    for (int i = 0; i < 16; ++i) values[i] = Clamp01(alpha[i]);
    CompressInterpolatedValues(values, useSSE2, block);
}

void DecompressInterpolatedAlpha(const uint8_t block[8], uint8_t alpha[16])
{
    uint8_t palette[8];
    BuildAlphaPalette(block[0], block[1], palette);
    const uint64_t bits = Load64(block) >> 16;
    for (int i = 0; i < 16; ++i) alpha[i] = palette[(bits >> (3 * i)) & 7];
}

void DecompressInterpolatedAlphaF(const uint8_t block[8], float alpha[16])
{
    const float a0 = block[0] / 255.0f, a1 = block[1] / 255.0f;
    float p[8] = {a0, a1};
    if (block[0] > block[1])
    {
        for (int i = 1; i <= 6; ++i) p[i + 1] = (float(7 - i) * a0 + float(i) * a1) / 7.0f;
    }
    else
    {
        for (int i = 1; i <= 4; ++i) p[i + 1] = (float(5 - i) * a0 + float(i) * a1) / 5.0f;
        p[6] = 0.0f;
        p[7] = 1.0f;
    }
    const uint64_t bits = Load64(block) >> 16;
    for (int i = 0; i < 16; ++i) alpha[i] = p[(bits >> (3 * i)) & 7];
}

void FastInterpolatedAlpha(const uint8_t alpha[16], uint8_t block[8])
{
    int minimum = 255, maximum = 0;
    bool anyZero = false, anyFull = false;
    for (int i = 0; i < 16; ++i)
    {
        const int a = alpha[i];
        if (a == 0)
        {
            anyZero = true;
        }
        else if (a == 255)
        {
            anyFull = true;
        }
        else
        {
            minimum = std::min(minimum, a);
            maximum = std::max(maximum, a);
        }
    }
    if (anyZero) minimum = 0;
    if (anyFull) maximum = 255;
    if (minimum > maximum) minimum = maximum;  // only one of 0 / 255 present
    uint8_t indices[16] = {};
    if (maximum != minimum)
    {
        // Level k from the minimum: 0 -> index 1, 1..6 -> 8 - k, 7 and above -> index 0. The operand is
        // at least half a step, so truncation is the floor.
        const float step = float(maximum - minimum) / 7.0f;
        const __m128 base = _mm_set1_ps(float(minimum) - step / 2.0f), vstep = _mm_set1_ps(step);
        for (int g = 0; g < 16; g += 4)
        {
            const __m128 a =
                _mm_setr_ps(float(alpha[g]), float(alpha[g + 1]), float(alpha[g + 2]), float(alpha[g + 3]));
            alignas(16) int32_t k[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(k), _mm_cvttps_epi32(_mm_div_ps(_mm_sub_ps(a, base), vstep)));
            for (int i = 0; i < 4; ++i) indices[g + i] = uint8_t(k[i] <= 0 ? 1 : k[i] >= 7 ? 0 : 8 - k[i]);
        }
    }
    PackInterpolatedAlpha(maximum, minimum, indices, block);
}
