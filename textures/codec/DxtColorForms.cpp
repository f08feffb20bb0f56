#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include "textures/codec/DxtColorForms.h"

namespace dxtforms {

VELMAR_TARGET_BEGIN("avx2")

void LineErrorsAvx2(const LineSearch& s, float out[64])
{
    const __m256 steps = _mm256_set1_ps(s.steps);
    for (int c = 0; c < 64; c += 8)
    {
        const __m256 va = _mm256_load_ps(s.a + c), vb = _mm256_load_ps(s.b + c);
        const __m256 vd = _mm256_div_ps(_mm256_sub_ps(vb, va), steps);
        __m256 err = _mm256_set1_ps(s.rSum);
        for (int k = 0; k < s.count; ++k)
        {
            const __m256 t = _mm256_set1_ps(s.t[k]);
            __m256 pos = _mm256_div_ps(_mm256_sub_ps(t, va), vd);
            pos = _mm256_cvtepi32_ps(_mm256_cvtps_epi32(pos));
            __m256 q = _mm256_add_ps(va, _mm256_mul_ps(pos, vd));
            q = _mm256_min_ps(_mm256_max_ps(q, va), vb);
            const __m256 e = _mm256_sub_ps(t, q);
            err = _mm256_add_ps(err, _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(s.w[k]), e), e));
        }
        _mm256_store_ps(out + c, err);
    }
}

// Two candidate palettes of one channel (four lanes each) per vector: for each, the summed count x smallest
// distance over the colours, the other channels' distances given in fixed.
void ChannelErrorsAvx2(const float (*fixed)[4], const float* x, const float* count, int colours, float weight,
                       const float (*palettes)[4], int candidates, float* out)
{
    for (int p = 0; p < candidates; p += 2)
    {
        const __m256 pal =
            _mm256_setr_m128(_mm_loadu_ps(palettes[p]), _mm_loadu_ps(palettes[p + 1 < candidates ? p + 1 : p]));
        __m256 err = _mm256_setzero_ps();
        for (int k = 0; k < colours; ++k)
        {
            const __m256 d = _mm256_sub_ps(_mm256_set1_ps(x[k]), pal);
            __m256 v = _mm256_add_ps(_mm256_broadcast_ps(reinterpret_cast<const __m128*>(fixed[k])),
                                     _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(weight), d), d));
            v = _mm256_min_ps(v, _mm256_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
            v = _mm256_min_ps(v, _mm256_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
            err = _mm256_add_ps(err, _mm256_mul_ps(_mm256_set1_ps(count[k]), v));
        }
        alignas(32) float lanes[8];
        _mm256_store_ps(lanes, err);
        out[p] = lanes[0];
        if (p + 1 < candidates) out[p + 1] = lanes[4];
    }
}

VELMAR_TARGET_END

VELMAR_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vl")

void LineErrorsAvx512(const LineSearch& s, float out[64])
{
    // The four groups of 16 pairs run side by side, so that their sums do not wait on one another.
    const __m512 steps = _mm512_set1_ps(s.steps);
    __m512 va[4], vb[4], vd[4], err[4];
    for (int g = 0; g < 4; ++g)
    {
        va[g] = _mm512_load_ps(s.a + 16 * g), vb[g] = _mm512_load_ps(s.b + 16 * g);
        vd[g] = _mm512_div_ps(_mm512_sub_ps(vb[g], va[g]), steps);
        err[g] = _mm512_set1_ps(s.rSum);
    }
    for (int k = 0; k < s.count; ++k)
    {
        const __m512 t = _mm512_set1_ps(s.t[k]);
        const __m512 w = _mm512_set1_ps(s.w[k]);
        for (int g = 0; g < 4; ++g)
        {
            __m512 pos = _mm512_div_ps(_mm512_sub_ps(t, va[g]), vd[g]);
            pos = _mm512_cvtepi32_ps(_mm512_cvtps_epi32(pos));
            __m512 q = _mm512_add_ps(va[g], _mm512_mul_ps(pos, vd[g]));
            q = _mm512_min_ps(_mm512_max_ps(q, va[g]), vb[g]);
            const __m512 e = _mm512_sub_ps(t, q);
            err[g] = _mm512_add_ps(err[g], _mm512_mul_ps(_mm512_mul_ps(w, e), e));
        }
    }
    for (int g = 0; g < 4; ++g) _mm512_store_ps(out + 16 * g, err[g]);
}

int FirstSmallestAvx512(const float values[64], float bound)
{
    const __m512 inf = _mm512_set1_ps(__builtin_inff());
    __m512 v[4];
    for (int i = 0; i < 4; ++i)
    {
        v[i] = _mm512_loadu_ps(values + 16 * i);
        v[i] = _mm512_mask_mov_ps(v[i], _mm512_cmp_ps_mask(v[i], v[i], _CMP_UNORD_Q), inf);  // NaN never wins
    }
    const float smallest = _mm512_reduce_min_ps(_mm512_min_ps(_mm512_min_ps(v[0], v[1]), _mm512_min_ps(v[2], v[3])));
    if (!(smallest < bound)) return -1;
    const __m512 m = _mm512_set1_ps(smallest);
    for (int i = 0; i < 4; ++i)
    {
        const __mmask16 at = _mm512_cmp_ps_mask(v[i], m, _CMP_EQ_OQ);
        if (at != 0) return 16 * i + __builtin_ctz(at);
    }
    return -1;
}

void ProjectAvx512(const float rows[3][16], const float mean[3], const float axis[3], int K, float t[16], float r[16],
                   float& tmin, float& tmax)
{
    const __mmask16 used = __mmask16((1u << K) - 1u);
    __m512 dot = _mm512_setzero_ps(), d2 = _mm512_setzero_ps();
    for (int c = 0; c < 3; ++c)
    {
        const __m512 d = _mm512_sub_ps(_mm512_maskz_loadu_ps(used, rows[c]), _mm512_set1_ps(mean[c]));
        dot = _mm512_add_ps(dot, _mm512_mul_ps(d, _mm512_set1_ps(axis[c])));
        d2 = _mm512_add_ps(d2, _mm512_mul_ps(d, d));
    }
    _mm512_storeu_ps(t, dot);
    _mm512_storeu_ps(r, _mm512_max_ps(_mm512_sub_ps(d2, _mm512_mul_ps(dot, dot)), _mm512_setzero_ps()));
    tmin = _mm512_mask_reduce_min_ps(used, dot);
    tmax = _mm512_mask_reduce_max_ps(used, dot);
}

void NormaliseAvx512(const float t[16], const float count[16], int K, float lo, float range, float tn[16], float wn[16])
{
    const __mmask16 used = __mmask16((1u << K) - 1u);
    const __m512 vr = _mm512_set1_ps(range);
    _mm512_storeu_ps(tn, _mm512_div_ps(_mm512_sub_ps(_mm512_maskz_loadu_ps(used, t), _mm512_set1_ps(lo)), vr));
    _mm512_storeu_ps(wn, _mm512_mul_ps(_mm512_mul_ps(_mm512_maskz_loadu_ps(used, count), vr), vr));
}

void RefitTermsAvx512(const float rows[3][16], const float mean[3], const float t[16], const float count[16], int K,
                      float A, float B, float steps, float terms[4][16])
{
    const __mmask16 used = __mmask16((1u << K) - 1u);
    const __m512 vs = _mm512_set1_ps(steps);
    __m512 step = _mm512_setzero_ps();
    if (B != A)
    {
        const __m512 v =
            _mm512_add_ps(_mm512_mul_ps(_mm512_div_ps(_mm512_sub_ps(_mm512_maskz_loadu_ps(used, t), _mm512_set1_ps(A)),
                                                      _mm512_set1_ps(B - A)),
                                        vs),
                          _mm512_set1_ps(0.5f));
        step = _mm512_roundscale_ps(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    step = _mm512_min_ps(_mm512_max_ps(step, _mm512_setzero_ps()), vs);
    const __m512 u = _mm512_div_ps(_mm512_sub_ps(step, _mm512_set1_ps(steps / 2.0f)), vs);
    const __m512 cu = _mm512_mul_ps(_mm512_maskz_loadu_ps(used, count), u);
    for (int c = 0; c < 3; ++c)
        _mm512_store_ps(
            terms[c], _mm512_mul_ps(cu, _mm512_sub_ps(_mm512_maskz_loadu_ps(used, rows[c]), _mm512_set1_ps(mean[c]))));
    _mm512_store_ps(terms[3], _mm512_mul_ps(cu, u));
}

void SortAvx512(uint32_t keys[16])
{
    // A bitonic network over one vector: each step compares every lane with the lane `j` away and keeps the
    // smaller or the larger as the lane's place in its run asks.
    __m512i v = _mm512_loadu_si512(keys);
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (int k = 2; k <= 16; k *= 2)
        for (int j = k / 2; j > 0; j /= 2)
        {
            const __m512i partner = _mm512_permutexvar_epi32(_mm512_xor_si512(lane, _mm512_set1_epi32(j)), v);
            const __mmask16 upper = _mm512_test_epi32_mask(lane, _mm512_set1_epi32(j));
            const __mmask16 falling = _mm512_test_epi32_mask(lane, _mm512_set1_epi32(k));
            const __mmask16 takeMax = __mmask16(upper ^ falling);
            v = _mm512_mask_blend_epi32(takeMax, _mm512_min_epu32(v, partner), _mm512_max_epu32(v, partner));
        }
    _mm512_storeu_si512(keys, v);
}

// The weighted squared distance (w d) d; with the weight 1 (no channel weighting) the product w d is d itself,
// so it is left out.
template <bool unitWeight>
inline __m512 WeightedSquare(__m512 d, __m512 w)
{
    return unitWeight ? _mm512_mul_ps(d, d) : _mm512_mul_ps(_mm512_mul_ps(w, d), d);
}

template <bool unitWeight>
void ChannelErrors(const float fixed[4][16], const float* x, const float* count, int colours, float weight,
                   const float (*palettes)[4], int candidates, int entries, float* out)
{
    const __m512 w = _mm512_set1_ps(weight);
    for (int first = 0; first < candidates; first += 16)
    {
        const int lanes = candidates - first < 16 ? candidates - first : 16;
        alignas(64) float columns[4][16] = {};
        for (int p = 0; p < lanes; ++p)
            for (int e = 0; e < 4; ++e) columns[e][p] = palettes[first + p][e];
        __m512 pal[4];
        for (int e = 0; e < 4; ++e) pal[e] = _mm512_load_ps(columns[e]);
        __m512 err = _mm512_setzero_ps();
        for (int k = 0; k < colours; ++k)
        {
            const __m512 xk = _mm512_set1_ps(x[k]);
            __m512 v =
                _mm512_add_ps(_mm512_set1_ps(fixed[0][k]), WeightedSquare<unitWeight>(_mm512_sub_ps(xk, pal[0]), w));
            for (int e = 1; e < entries; ++e)
                v = _mm512_min_ps(v, _mm512_add_ps(_mm512_set1_ps(fixed[e][k]),
                                                   WeightedSquare<unitWeight>(_mm512_sub_ps(xk, pal[e]), w)));
            err = _mm512_add_ps(err, _mm512_mul_ps(_mm512_set1_ps(count[k]), v));
        }
        alignas(64) float lanesOut[16];
        _mm512_store_ps(lanesOut, err);
        for (int p = 0; p < lanes; ++p) out[first + p] = lanesOut[p];
    }
}

void ChannelErrorsAvx512(const float fixed[4][16], const float* x, const float* count, int colours, float weight,
                         const float (*palettes)[4], int candidates, int entries, float* out)
{
    if (weight == 1.0f)
        ChannelErrors<true>(fixed, x, count, colours, weight, palettes, candidates, entries, out);
    else
        ChannelErrors<false>(fixed, x, count, colours, weight, palettes, candidates, entries, out);
}

void FixedDistancesAvx512(const float rows[3][16], int K, const float cw[3], int ch, const float* const palettes[3],
                          int entries, float fixed[4][16])
{
    const __mmask16 used = __mmask16((1u << K) - 1u);
    int others[2], n = 0;
    for (int c = 0; c < 3; ++c)
        if (c != ch) others[n++] = c;
    __m512 x[2], w[2];
    for (int i = 0; i < 2; ++i)
        x[i] = _mm512_maskz_loadu_ps(used, rows[others[i]]), w[i] = _mm512_set1_ps(cw[others[i]]);
    for (int e = 0; e < entries; ++e)
    {
        __m512 sum = _mm512_setzero_ps();
        for (int i = 0; i < 2; ++i)
        {
            const __m512 d = _mm512_sub_ps(x[i], _mm512_set1_ps(palettes[others[i]][e]));
            sum = _mm512_add_ps(sum, _mm512_mul_ps(_mm512_mul_ps(w[i], d), d));
        }
        _mm512_store_ps(fixed[e], sum);
    }
}

void NearestEntriesAvx512(const float texels[3][16], const float pal[4][3], int entries, const float cw[3],
                          uint8_t position[16], float distance[16])
{
    const __m512 t0 = _mm512_loadu_ps(texels[0]), t1 = _mm512_loadu_ps(texels[1]), t2 = _mm512_loadu_ps(texels[2]);
    const __m512 w0 = _mm512_set1_ps(cw[0]), w1 = _mm512_set1_ps(cw[1]), w2 = _mm512_set1_ps(cw[2]);
    __m512 best = _mm512_set1_ps(1e11f);
    __m512i pos = _mm512_setzero_si512();
    for (int e = 0; e < entries; ++e)
    {
        const __m512 d0 = _mm512_sub_ps(t0, _mm512_set1_ps(pal[e][0]));
        const __m512 d1 = _mm512_sub_ps(t1, _mm512_set1_ps(pal[e][1]));
        const __m512 d2 = _mm512_sub_ps(t2, _mm512_set1_ps(pal[e][2]));
        __m512 d = _mm512_add_ps(_mm512_mul_ps(_mm512_mul_ps(w0, d0), d0), _mm512_mul_ps(_mm512_mul_ps(w1, d1), d1));
        d = _mm512_add_ps(d, _mm512_mul_ps(_mm512_mul_ps(w2, d2), d2));
        const __mmask16 closer = _mm512_cmp_ps_mask(d, best, _CMP_LT_OQ);
        best = _mm512_mask_mov_ps(best, closer, d);
        pos = _mm512_mask_mov_epi32(pos, closer, _mm512_set1_epi32(e));
    }
    _mm512_storeu_ps(distance, best);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(position), _mm512_cvtepi32_epi8(pos));
}

VELMAR_TARGET_END

}  // namespace dxtforms
