#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include "textures/codec/DxtColorBlock.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "textures/codec/DxtColorForms.h"
#include "textures/codec/SimdLevel.h"

namespace {

constexpr int kBits[3] = {5, 6, 5};  // channels are kept in the order B, G, R

// A code of `bits` bits to 0..255 by repeating its top bits below it, as the decoder does.
int Expand(int code, int bits)
{
    const int e = code << (8 - bits);
    return std::min(e + (e >> bits), 255);
}

int Word565(const int code[3]) { return code[2] << 11 | code[1] << 5 | code[0]; }

// Colours of one block in 0..255 units, B, G, R.
struct ColorBlock
{
    float texel[16][3];
    float rows[3][16];  // the texels again, channel by channel
    bool takesPart[16];
    int partCount;
    float colour[16][3];                  // distinct colours of the texels that take part, sorted by R, G, B
    alignas(64) float colourRows[3][16];  // the distinct colours again, channel by channel
    float count[16];
    int distinct;
    float cw[3];  // channel weights B, G, R (1 when none are given)
};

struct ColorFit
{
    int code0[3];  // endpoint codes in decoder order
    int code1[3];
    uint8_t indices[16];
    float error;
};

void BuildPalette(const int code0[3], const int code1[3], const int bits[3], int n, float pal[4][3])
{
    for (int c = 0; c < 3; ++c)
    {
        const int e0 = Expand(code0[c], bits[c]), e1 = Expand(code1[c], bits[c]);
        pal[0][c] = float(e0);
        if (n == 4)
        {
            pal[1][c] = float((2 * e0 + e1 + 1) / 3);
            pal[2][c] = float((e0 + 2 * e1 + 1) / 3);
            pal[3][c] = float(e1);
        }
        else
        {
            pal[1][c] = float((e0 + e1) / 2);
            pal[2][c] = float(e1);
        }
    }
}

float Distance(const float a[3], const float b[3], const float cw[3])
{
    const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return cw[0] * d0 * d0 + cw[1] * d1 * d1 + cw[2] * d2 * d2;
}

// The index of the palette entry nearest to a colour, numbered as the decoder numbers them (the
// endpoints are 0 and 1), and its distance; of equally near entries the first wins.
uint8_t NearestEntry(const float colour[3], const float pal[4][3], int entries, int n, const float cw[3],
                     float& distance)
{
    float best = 1e11f;
    int p = 0;
    for (int e = 0; e < entries; ++e)
    {
        const float d = Distance(colour, pal[e], cw);
        if (d < best) best = d, p = e;
    }
    distance = best;
    return uint8_t(p == 0 ? 0 : p == n - 1 ? 1 : p + 1);
}

// Every channel palette of every code pair, made once: [5 or 6 bits][3 or 4 entries][code0][code1].
class ChannelPalettes
{
public:
    ChannelPalettes()
    {
        for (int wide = 0; wide < 2; ++wide)
            for (int four = 0; four < 2; ++four)
            {
                const int bits = wide ? 6 : 5;
                for (int c0 = 0; c0 < (1 << bits); ++c0)
                    for (int c1 = 0; c1 < (1 << bits); ++c1)
                    {
                        const int e0 = Expand(c0, bits), e1 = Expand(c1, bits);
                        float* p = table_[wide][four][c0][c1];
                        if (four)
                            p[0] = float(e0), p[1] = float((2 * e0 + e1 + 1) / 3), p[2] = float((e0 + 2 * e1 + 1) / 3),
                            p[3] = float(e1);
                        else
                            p[0] = float(e0), p[1] = float((e0 + e1) / 2), p[2] = float(e1), p[3] = float(e1);
                    }
            }
    }
    const float* Get(int code0, int code1, int bits, int n) const { return table_[bits == 6][n == 4][code0][code1]; }

private:
    alignas(16) float table_[2][2][64][64][4];
};

const ChannelPalettes& Palettes()
{
    static const ChannelPalettes palettes;
    return palettes;
}

// One channel of the palette in four lanes (a 3-entry palette repeats its last entry, which
// cannot change a minimum).
__m128 ChannelPalette(int code0, int code1, int bits, int n)
{
    return _mm_load_ps(Palettes().Get(code0, code1, bits, n));
}

float HorizontalMin(__m128 v)
{
    v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtss_f32(v);
}

__m128 ChannelDistance(float x, __m128 pal, float weight)
{
    const __m128 d = _mm_sub_ps(_mm_set1_ps(x), pal);
    return _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(weight), d), d);
}

// Error of the palette of two endpoint codes over the distinct colours.
float ListError(const ColorBlock& b, const int code0[3], const int code1[3], int n)
{
    __m128 pal[3];
    for (int c = 0; c < 3; ++c) pal[c] = ChannelPalette(code0[c], code1[c], kBits[c], n);
    float sum = 0.0f;
    for (int k = 0; k < b.distinct; ++k)
    {
        __m128 d = ChannelDistance(b.colour[k][0], pal[0], b.cw[0]);
        d = _mm_add_ps(d, ChannelDistance(b.colour[k][1], pal[1], b.cw[1]));
        d = _mm_add_ps(d, ChannelDistance(b.colour[k][2], pal[2], b.cw[2]));
        sum += b.count[k] * HorizontalMin(d);
    }
    return sum;
}

// Principal direction of a 3x3 covariance by power iteration (any estimate serves: the line search
// refits the axis).
void PrincipalAxis(const float cov[3][3], float axis[3])
{
    int start = 0;
    for (int c = 1; c < 3; ++c)
        if (cov[c][c] > cov[start][start]) start = c;
    float v[3] = {cov[start][0], cov[start][1], cov[start][2]};
    for (int it = 0; it < 8; ++it)
    {
        float nv[3];
        for (int r = 0; r < 3; ++r) nv[r] = cov[r][0] * v[0] + cov[r][1] * v[1] + cov[r][2] * v[2];
        const float len = std::max({std::fabs(nv[0]), std::fabs(nv[1]), std::fabs(nv[2])});
        if (!(len > 0.0f)) break;
        for (int r = 0; r < 3; ++r) v[r] = nv[r] / len;
    }
    std::memcpy(axis, v, sizeof v);
}

void Normalise(float v[3])
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.0f)
        for (int c = 0; c < 3; ++c) v[c] /= len;
    else
        v[0] = v[1] = v[2] = 0.0f;
}

// What the line search starts from, the same for the 3-colour and the 4-colour fit of a block: the distinct
// colours in 0..1 units (also channel by channel), their total weight and mean, and the first axis; `direct`
// when the endpoints are simply the first and last distinct colour.
struct LineStart
{
    bool ready = false;
    bool direct = false;
    float x[16][3];
    alignas(64) float rows[3][16];
    float W;
    float mean[3];
    float axis[3];
};

void StartLine(const ColorBlock& b, LineStart& s)
{
    s.ready = true;
    const int K = b.distinct;
    float(&x)[16][3] = s.x;
    float W = 0.0f, mean[3] = {0, 0, 0};
    for (int k = 0; k < K; ++k)
    {
        for (int c = 0; c < 3; ++c)
        {
            s.rows[c][k] = x[k][c] = b.colour[k][c] / 255.0f;
            mean[c] += b.count[k] * x[k][c];
        }
        W += b.count[k];
    }
    for (int c = 0; c < 3; ++c) mean[c] /= W;
    s.W = W;
    std::memcpy(s.mean, mean, sizeof mean);
    float cov[3][3] = {};
    for (int k = 0; k < K; ++k)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) cov[r][c] += b.count[k] * (x[k][r] - mean[r]) * (x[k][c] - mean[c]);

    const float unit = (2.0f / 255.0f) * (2.0f / 255.0f);
    bool flat = true;
    for (int c = 0; c < 3; ++c)
        if (!(cov[c][c] < 3.0f * W * unit)) flat = false;
    s.direct = K <= 2 || flat;
    if (s.direct) return;

    float* axis = s.axis;
    axis[0] = axis[1] = axis[2] = 0.0f;
    int varying[3], nv = 0;
    for (int c = 0; c < 3; ++c)
        if (!(cov[c][c] < W * unit)) varying[nv++] = c;
    if (nv == 1)
    {
        axis[varying[0]] = 1.0f;
    }
    else if (nv == 2)
    {
        const int big = cov[varying[0]][varying[0]] >= cov[varying[1]][varying[1]] ? varying[0] : varying[1];
        const int other = big == varying[0] ? varying[1] : varying[0];
        axis[big] = 1.0f;
        axis[other] = cov[big][other] / cov[big][big];
    }
    else
    {
        PrincipalAxis(cov, axis);
    }
    Normalise(axis);
}

// The candidate grid's offsets: pair p takes a0 + 0.025 i and b0 - 0.025 j with i = p / 8, j = p % 8.
struct GridOffsets
{
    GridOffsets()
    {
        for (int p = 0; p < 64; ++p) i[p] = 0.025f * float(p / 8), j[p] = 0.025f * float(p % 8);
    }
    float i[64], j[64];
};

// Endpoint estimation and line search; endpoints come out in 0..255 units.
void EstimateEndpoints(const ColorBlock& b, const LineStart& start, int n, bool sse2Form, SimdLevel level, float e0[3],
                       float e1[3])
{
    static const GridOffsets grid;
    const int K = b.distinct;
    if (start.direct)
    {
        for (int c = 0; c < 3; ++c) e0[c] = b.colour[0][c], e1[c] = b.colour[K - 1][c];
        return;
    }
    const float(&x)[16][3] = start.x;
    const float* mean = start.mean;
    float axis[3] = {start.axis[0], start.axis[1], start.axis[2]};

    float keptAxis[3] = {axis[0], axis[1], axis[2]};
    float A = 0.0f, B = 0.0f, prevBest = 10000000.0f;
    bool improved = false;
    const float steps = float(n - 1);
    for (int round = 0; round < 64; ++round)
    {
        alignas(64) float t[16], r[16];
        float tmin = FLT_MAX, tmax = -FLT_MAX;
        if (level == SimdLevel::Avx512)
        {
            dxtforms::ProjectAvx512(start.rows, mean, axis, K, t, r, tmin, tmax);
        }
        else
        {
            for (int k = 0; k < K; ++k)
            {
                float d2 = 0.0f, dot = 0.0f;
                for (int c = 0; c < 3; ++c)
                {
                    const float d = x[k][c] - mean[c];
                    dot += d * axis[c];
                    d2 += d * d;
                }
                t[k] = dot;
                r[k] = std::max(d2 - dot * dot, 0.0f);
                tmin = std::min(tmin, dot);
                tmax = std::max(tmax, dot);
            }
        }
        const float margin = (tmax - tmin) / 8.0f;
        const float lo = tmin - margin, range = tmax + margin - lo;
        if (!(range > 0.0f)) break;
        alignas(64) float tn[16], wn[16];
        float rSum = 0.0f;
        if (level == SimdLevel::Avx512)
        {
            dxtforms::NormaliseAvx512(t, b.count, K, lo, range, tn, wn);
            for (int k = 0; k < K; ++k) rSum += r[k];
        }
        else
        {
            for (int k = 0; k < K; ++k)
            {
                tn[k] = (t[k] - lo) / range;
                wn[k] = b.count[k] * range * range;
                rSum += r[k];
            }
        }
        const float a0 = std::max((tmin - lo) / range - 0.05f, 0.0f);
        const float b0 = std::min((tmax - lo) / range + 0.05f, 1.0f);
        float best = 128000.0f, ba = a0, bb = b0;
        if (sse2Form && level != SimdLevel::Sse2)
        {
            dxtforms::LineSearch ls;
            for (int p = 0; p < 64; ++p) ls.a[p] = a0 + grid.i[p], ls.b[p] = b0 - grid.j[p];
            ls.steps = steps, ls.rSum = rSum, ls.t = tn, ls.w = wn, ls.count = K;
            alignas(64) float errors[64];
            if (level == SimdLevel::Avx512)
                dxtforms::LineErrorsAvx512(ls, errors);
            else
                dxtforms::LineErrorsAvx2(ls, errors);
            const int p = level == SimdLevel::Avx512 ? dxtforms::FirstSmallestAvx512(errors, best) : -2;
            if (p >= 0) best = errors[p], ba = ls.a[p], bb = ls.b[p];
            for (int q = 0; q < 64 && p == -2; ++q)
                if (errors[q] < best) best = errors[q], ba = ls.a[q], bb = ls.b[q];
        }
        // Four candidate pairs (one a, four b) per vector; every lane sums its colours in list order,
        // so the result equals the one-pair-at-a-time loop.
        const __m128 vSteps = _mm_set1_ps(steps);
        for (int i = 0; i < 8 && (!sse2Form || level == SimdLevel::Sse2); ++i)
        {
            const float a = a0 + 0.025f * float(i);
            const __m128 va = _mm_set1_ps(a);
            for (int j0 = 0; j0 < 8; j0 += 4)
            {
                const __m128 vb = _mm_setr_ps(b0 - 0.025f * float(j0), b0 - 0.025f * float(j0 + 1),
                                              b0 - 0.025f * float(j0 + 2), b0 - 0.025f * float(j0 + 3));
                const __m128 vd = _mm_div_ps(_mm_sub_ps(vb, va), vSteps);
                __m128 err = _mm_set1_ps(rSum);
                for (int k = 0; k < K; ++k)
                {
                    const __m128 t = _mm_set1_ps(tn[k]);
                    __m128 pos = _mm_div_ps(_mm_sub_ps(t, va), vd);
                    pos = sse2Form ? _mm_cvtepi32_ps(_mm_cvtps_epi32(pos))
                                   : _mm_setr_ps(std::floor(_mm_cvtss_f32(pos) + 0.5f),
                                                 std::floor(_mm_cvtss_f32(_mm_shuffle_ps(pos, pos, 1)) + 0.5f),
                                                 std::floor(_mm_cvtss_f32(_mm_shuffle_ps(pos, pos, 2)) + 0.5f),
                                                 std::floor(_mm_cvtss_f32(_mm_shuffle_ps(pos, pos, 3)) + 0.5f));
                    __m128 q = _mm_add_ps(va, _mm_mul_ps(pos, vd));
                    q = _mm_min_ps(_mm_max_ps(q, va), vb);
                    const __m128 e = _mm_sub_ps(t, q);
                    err = _mm_add_ps(err, _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(wn[k]), e), e));
                }
                float lane[4];
                _mm_storeu_ps(lane, err);
                for (int j = 0; j < 4; ++j)
                    if (lane[j] < best) best = lane[j], ba = a, bb = b0 - 0.025f * float(j0 + j);
            }
        }
        if (!(best < prevBest - 0.001f)) break;
        prevBest = best;
        improved = true;
        std::memcpy(keptAxis, axis, sizeof axis);
        A = lo + ba * range;
        B = lo + bb * range;

        // Refit the axis to the palette steps the colours fall on.
        float num[3] = {0, 0, 0}, den = 0.0f;
        if (level == SimdLevel::Avx512)
        {
            // The terms in lanes, their sums in colour order as below.
            alignas(64) float terms[4][16];
            dxtforms::RefitTermsAvx512(start.rows, mean, t, b.count, K, A, B, steps, terms);
            for (int k = 0; k < K; ++k)
            {
                for (int c = 0; c < 3; ++c) num[c] += terms[c][k];
                den += terms[3][k];
            }
        }
        else
        {
            for (int k = 0; k < K; ++k)
            {
                float step = B != A ? std::floor((t[k] - A) / (B - A) * steps + 0.5f) : 0.0f;
                step = std::min(std::max(step, 0.0f), steps);
                const float u = (step - steps / 2.0f) / steps;
                for (int c = 0; c < 3; ++c) num[c] += b.count[k] * u * (x[k][c] - mean[c]);
                den += b.count[k] * u * u;
            }
        }
        for (int c = 0; c < 3; ++c) axis[c] = den > 0.0f ? num[c] / den : 0.0f;
        Normalise(axis);
    }
    if (!improved) A = B = 0.0f;
    for (int c = 0; c < 3; ++c)
    {
        e0[c] = (mean[c] + A * keptAxis[c]) * 255.0f;
        e1[c] = (mean[c] + B * keptAxis[c]) * 255.0f;
    }
}

int QuantiseChannel(float x, int bits)
{
    int v = std::isnan(x) ? 0 : int(std::floor(std::min(std::max(x, 0.0f), 255.0f)));
    if (v > 0) v = std::min(v + (128 >> bits) - (v >> bits), 255);
    return v >> (8 - bits);
}

void Refine(const ColorBlock& b, int n, const DxtColorSettings& s, SimdLevel level, int code0[3], int code1[3],
            float error)
{
    const int steps = std::min<int>(s.refinementSteps, 8);
    if (error == 0.0f || steps == 0) return;
    const int maxCode[3] = {31, 63, 31};
    auto clampCode = [&](int v, int c) { return std::min(std::max(v, 0), maxCode[c]); };
    if (s.use3DRefinement)
    {
        const int base0[3] = {code0[0], code0[1], code0[2]}, base1[3] = {code1[0], code1[1], code1[2]};
        int c0[3], c1[3];
        for (int a = -steps; a <= steps; ++a)
            for (int bb = -steps; bb <= steps; ++bb)
                for (int c = -steps; c <= steps; ++c)
                    for (int d = -steps; d <= steps; ++d)
                        for (int e = -steps; e <= steps; ++e)
                            for (int f = -steps; f <= steps; ++f)
                            {
                                c0[0] = clampCode(base0[0] + a, 0);
                                c0[1] = clampCode(base0[1] + bb, 1);
                                c0[2] = clampCode(base0[2] + c, 2);
                                c1[0] = clampCode(base1[0] + d, 0);
                                c1[1] = clampCode(base1[1] + e, 1);
                                c1[2] = clampCode(base1[2] + f, 2);
                                const float err = ListError(b, c0, c1, n);
                                if (err < error)
                                {
                                    error = err;
                                    std::memcpy(code0, c0, sizeof c0);
                                    std::memcpy(code1, c1, sizeof c1);
                                }
                            }
        return;
    }
    static constexpr int kOrder[3] = {1, 2, 0};  // green, red, blue
    for (int ch : kOrder)
    {
        // The other two channels stay put during this pass: their share of every distance is fixed.
        alignas(16) float fixedLanes[16][4];
        __m128 fixed[16];
        __m128 others[3];
        for (int c = 0; c < 3; ++c)
            if (c != ch) others[c] = ChannelPalette(code0[c], code1[c], kBits[c], n);
        alignas(64) float fixedByEntry[4][16];
        if (level == SimdLevel::Avx512)
        {
            const float* otherPalettes[3] = {nullptr, nullptr, nullptr};
            for (int c = 0; c < 3; ++c)
                if (c != ch) otherPalettes[c] = Palettes().Get(code0[c], code1[c], kBits[c], n);
            dxtforms::FixedDistancesAvx512(b.colourRows, b.distinct, b.cw, ch, otherPalettes, n, fixedByEntry);
        }
        for (int k = 0; k < b.distinct && level != SimdLevel::Avx512; ++k)
        {
            __m128 d = _mm_setzero_ps();
            for (int c = 0; c < 3; ++c)
                if (c != ch) d = _mm_add_ps(d, ChannelDistance(b.colour[k][c], others[c], b.cw[c]));
            fixed[k] = d;
            _mm_store_ps(fixedLanes[k], d);
        }
        const int base0 = code0[ch], base1 = code1[ch];
        int best0 = base0, best1 = base1;
        if (level != SimdLevel::Sse2)
        {
            // All offset pairs' errors at once, then compared in the same order as below.
            int pairs[17 * 17][2];
            alignas(16) float palettes[17 * 17][4];
            int count = 0;
            for (int o0 = -steps; o0 <= steps; ++o0)
                for (int o1 = -steps; o1 <= steps; ++o1, ++count)
                {
                    pairs[count][0] = clampCode(base0 + o0, ch), pairs[count][1] = clampCode(base1 + o1, ch);
                    std::memcpy(palettes[count], Palettes().Get(pairs[count][0], pairs[count][1], kBits[ch], n),
                                sizeof palettes[count]);
                }
            float x[16], errors[17 * 17];
            for (int k = 0; k < b.distinct; ++k) x[k] = b.colour[k][ch];
            if (level == SimdLevel::Avx512)
                dxtforms::ChannelErrorsAvx512(fixedByEntry, b.colourRows[ch], b.count, b.distinct, b.cw[ch], palettes,
                                              count, n, errors);
            else
                dxtforms::ChannelErrorsAvx2(fixedLanes, x, b.count, b.distinct, b.cw[ch], palettes, count, errors);
            for (int p = 0; p < count; ++p)
                if (errors[p] < error) error = errors[p], best0 = pairs[p][0], best1 = pairs[p][1];
            code0[ch] = best0;
            code1[ch] = best1;
            continue;
        }
        for (int o0 = -steps; o0 <= steps; ++o0)
        {
            for (int o1 = -steps; o1 <= steps; ++o1)
            {
                const int c0 = clampCode(base0 + o0, ch), c1 = clampCode(base1 + o1, ch);
                const __m128 pal = ChannelPalette(c0, c1, kBits[ch], n);
                float err = 0.0f;
                for (int k = 0; k < b.distinct; ++k)
                    err += b.count[k] *
                           HorizontalMin(_mm_add_ps(fixed[k], ChannelDistance(b.colour[k][ch], pal, b.cw[ch])));
                if (err < error) error = err, best0 = c0, best1 = c1;
            }
        }
        code0[ch] = best0;
        code1[ch] = best1;
    }
}

// Orders the endpoints as the decoder will see them and gives every texel its index.
void AssignIndices(const ColorBlock& b, int n, SimdLevel level, int code0[3], int code1[3], ColorFit& fit)
{
    const bool swap = n == 4 ? Word565(code0) <= Word565(code1) : Word565(code0) > Word565(code1);
    if (swap)
        for (int c = 0; c < 3; ++c) std::swap(code0[c], code1[c]);
    std::memcpy(fit.code0, code0, 3 * sizeof(int));
    std::memcpy(fit.code1, code1, 3 * sizeof(int));
    float pal[4][3];
    BuildPalette(code0, code1, kBits, n, pal);
    const bool same = code0[0] == code1[0] && code0[1] == code1[1] && code0[2] == code1[2];
    const int entries = same ? 1 : n;
    fit.error = 0.0f;
    if (level == SimdLevel::Avx512)
    {
        uint8_t position[16];
        float distance[16];
        dxtforms::NearestEntriesAvx512(b.rows, pal, entries, b.cw, position, distance);
        for (int i = 0; i < 16; ++i)
        {
            const int p = position[i];
            fit.indices[i] = !b.takesPart[i] ? 3 : uint8_t(p == 0 ? 0 : p == n - 1 ? 1 : p + 1);
            if (b.takesPart[i]) fit.error += distance[i];
        }
        return;
    }
    for (int i = 0; i < 16; ++i)
    {
        if (!b.takesPart[i])
        {
            fit.indices[i] = 3;
            continue;
        }
        float distance;
        fit.indices[i] = NearestEntry(b.texel[i], pal, entries, n, b.cw, distance);
        fit.error += distance;
    }
}

bool FitColorEndpoints(const ColorBlock& b, LineStart& start, int n, const DxtColorSettings& s, SimdLevel level,
                       ColorFit& fit)
{
    if (b.partCount == 0)
    {
        for (int c = 0; c < 3; ++c) fit.code0[c] = 0, fit.code1[c] = (1 << kBits[c]) - 1;
        std::memset(fit.indices, 3, sizeof fit.indices);
        fit.error = 0.0f;
        return true;
    }
    if (b.partCount < 16 && n == 4)
    {
        fit.error = FLT_MAX;  // a 4-colour palette cannot show transparent texels
        return false;
    }
    float e0[3], e1[3];
    if (!start.ready) StartLine(b, start);
    EstimateEndpoints(b, start, n, s.useSSE2, level, e0, e1);
    int code0[3], code1[3];
    for (int c = 0; c < 3; ++c)
        code0[c] = QuantiseChannel(e0[c], kBits[c]), code1[c] = QuantiseChannel(e1[c], kBits[c]);
    Refine(b, n, s, level, code0, code1, ListError(b, code0, code1, n));
    AssignIndices(b, n, level, code0, code1, fit);
    return true;
}

void SetWeights(ColorBlock& b, const float* weights)
{
    if (weights != nullptr)
    {
        b.cw[0] = weights[2], b.cw[1] = weights[1], b.cw[2] = weights[0];
    }
    else
    {
        b.cw[0] = b.cw[1] = b.cw[2] = 1.0f;
    }
}

void Encode(const ColorBlock& b, const DxtColorRequest& request, const DxtColorSettings& s, uint8_t block[8])
{
    const SimdLevel level = CodecSimdLevel();
    ColorFit fit{};
    LineStart start;
    const bool transparentTexels = request.transparency && b.partCount < 16;
    // Transparent texels need the 3-colour palette whatever the speed setting says: a 4-colour
    // block has no transparent entry.
    if (request.allowThreeColor && (s.compressionSpeed == 0 || transparentTexels))
    {
        FitColorEndpoints(b, start, 3, s, level, fit);
        if (fit.error != 0.0f)
        {
            ColorFit fit4{};
            if (FitColorEndpoints(b, start, 4, s, level, fit4) && fit4.error < fit.error) fit = fit4;
        }
    }
    else
    {
        FitColorEndpoints(b, start, 4, s, level, fit);
    }
    const uint16_t c0 = uint16_t(Word565(fit.code0)), c1 = uint16_t(Word565(fit.code1));
    uint32_t idx = 0;
    for (int i = 0; i < 16; ++i) idx |= uint32_t(fit.indices[i]) << (2 * i);
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &idx, 4);
}

}  // namespace

void CompressColorB(const uint32_t texels[16], const DxtColorRequest& request, const DxtColorSettings& settings,
                    uint8_t block[8])
{
    ColorBlock b;
    SetWeights(b, request.weights);
    uint32_t keys[16];
    b.partCount = 0;
    const uint32_t threshold = request.alphaThreshold <= 0.0f ? 0u : uint32_t(request.alphaThreshold);
    for (int i = 0; i < 16; ++i)
    {
        const uint32_t t = texels[i];
        for (int c = 0; c < 3; ++c) b.rows[c][i] = b.texel[i][c] = float((t >> (8 * c)) & 255);
        b.takesPart[i] = !request.transparency || (t >> 24) >= threshold;
        if (b.takesPart[i]) keys[b.partCount++] = t | 0xFF000000u;
    }
    if (CodecSimdLevel() == SimdLevel::Avx512)
    {
        // Texels that do not take part sort last as the largest key and are not read.
        for (int i = b.partCount; i < 16; ++i) keys[i] = 0xFFFFFFFFu;
        dxtforms::SortAvx512(keys);
    }
    else
    {
        std::sort(keys, keys + b.partCount);
    }
    b.distinct = 0;
    for (int i = 0; i < b.partCount; ++i)
    {
        if (b.distinct > 0 && keys[i] == keys[i - 1])
        {
            b.count[b.distinct - 1] += 1.0f;
            continue;
        }
        for (int c = 0; c < 3; ++c)
            b.colourRows[c][b.distinct] = b.colour[b.distinct][c] = float((keys[i] >> (8 * c)) & 255);
        b.count[b.distinct++] = 1.0f;
    }
    Encode(b, request, settings, block);
}

void CompressColorF(const float texels[64], const DxtColorRequest& request, const DxtColorSettings& settings,
                    uint8_t block[8])
{
    ColorBlock b;
    SetWeights(b, request.weights);
    b.partCount = 0;
    int order[16];
    for (int i = 0; i < 16; ++i)
    {
        for (int c = 0; c < 3; ++c)
        {
            const float v = texels[4 * i + 2 - c];
            b.rows[c][i] = b.texel[i][c] = (v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f) * 255.0f;
        }
        b.takesPart[i] = !request.transparency || texels[4 * i + 3] >= request.alphaThreshold;
        if (b.takesPart[i]) order[b.partCount++] = i;
    }
    std::sort(order, order + b.partCount, [&](int l, int r) {
        const float* a = b.texel[l];
        const float* c = b.texel[r];
        if (a[2] != c[2]) return a[2] < c[2];
        if (a[1] != c[1]) return a[1] < c[1];
        return a[0] < c[0];
    });
    b.distinct = 0;
    for (int i = 0; i < b.partCount; ++i)
    {
        const float* t = b.texel[order[i]];
        if (b.distinct > 0 && std::memcmp(b.colour[b.distinct - 1], t, 3 * sizeof(float)) == 0)
        {
            b.count[b.distinct - 1] += 1.0f;
            continue;
        }
        std::memcpy(b.colour[b.distinct], t, 3 * sizeof(float));
        for (int c = 0; c < 3; ++c) b.colourRows[c][b.distinct] = t[c];
        b.count[b.distinct++] = 1.0f;
    }
    Encode(b, request, settings, block);
}

namespace {

// Palette of a colour block as B, G, R, A bytes per entry.
void DecodePalette(const uint8_t block[8], bool threeColorMode, uint8_t pal[4][4])
{
    const int c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const int e0[3] = {Expand(c0 & 31, 5), Expand((c0 >> 5) & 63, 6), Expand(c0 >> 11, 5)};
    const int e1[3] = {Expand(c1 & 31, 5), Expand((c1 >> 5) & 63, 6), Expand(c1 >> 11, 5)};
    const bool three = threeColorMode && c0 <= c1;
    for (int c = 0; c < 3; ++c)
    {
        pal[0][c] = uint8_t(e0[c]);
        pal[1][c] = uint8_t(e1[c]);
        if (three)
        {
            pal[2][c] = uint8_t((e0[c] + e1[c]) >> 1);
            pal[3][c] = 0;
        }
        else
        {
            pal[2][c] = uint8_t((2 * e0[c] + e1[c] + 1) / 3);
            pal[3][c] = uint8_t((e0[c] + 2 * e1[c] + 1) / 3);
        }
    }
    pal[0][3] = pal[1][3] = pal[2][3] = 255;
    pal[3][3] = three ? 0 : 255;
}

}  // namespace

void DecompressColorB(const uint8_t block[8], bool threeColorMode, uint32_t texels[16])
{
    uint8_t pal[4][4];
    DecodePalette(block, threeColorMode, pal);
    uint32_t words[4];
    std::memcpy(words, pal, sizeof words);
    uint32_t idx;
    std::memcpy(&idx, block + 4, 4);
    for (int i = 0; i < 16; ++i) texels[i] = words[(idx >> (2 * i)) & 3];
}

void DecompressColorF(const uint8_t block[8], bool threeColorMode, float texels[64])
{
    const int c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
    const float e0[3] = {Expand(c0 >> 11, 5) / 255.0f, Expand((c0 >> 5) & 63, 6) / 255.0f, Expand(c0 & 31, 5) / 255.0f};
    const float e1[3] = {Expand(c1 >> 11, 5) / 255.0f, Expand((c1 >> 5) & 63, 6) / 255.0f, Expand(c1 & 31, 5) / 255.0f};
    const bool three = threeColorMode && c0 <= c1;
    float pal[4][4];
    for (int c = 0; c < 3; ++c)
    {
        pal[0][c] = e0[c];
        pal[1][c] = e1[c];
        pal[2][c] = three ? (e0[c] + e1[c]) / 2.0f : (2.0f * e0[c] + e1[c]) / 3.0f;
        pal[3][c] = three ? 0.0f : (e0[c] + 2.0f * e1[c]) / 3.0f;
    }
    pal[0][3] = pal[1][3] = pal[2][3] = 1.0f;
    pal[3][3] = three ? 0.0f : 1.0f;
    uint32_t idx;
    std::memcpy(&idx, block + 4, 4);
    for (int i = 0; i < 16; ++i) std::memcpy(texels + 4 * i, pal[(idx >> (2 * i)) & 3], 4 * sizeof(float));
}

float AssignPreparedColorIndices(const float colours[64], const int end0[3], const int end1[3], const int bits[3],
                                 int n, const float* weights, bool transparency, uint8_t indices[16])
{
    float pal[4][3];
    BuildPalette(end0, end1, bits, n, pal);
    float cw[3] = {1, 1, 1};
    if (weights != nullptr) cw[0] = weights[2], cw[1] = weights[1], cw[2] = weights[0];
    const bool same = end0[0] == end1[0] && end0[1] == end1[1] && end0[2] == end1[2];
    float error = 0.0f;
    for (int i = 0; i < 16; ++i)
    {
        if (transparency && n == 3 && colours[4 * i + 3] == 0.0f)
        {
            indices[i] = 3;
            continue;
        }
        float distance;
        indices[i] = NearestEntry(colours + 4 * i, pal, same ? 1 : n, n, cw, distance);
        error += distance;
    }
    return error;
}
