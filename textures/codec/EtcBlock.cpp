#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include "textures/codec/EtcBlock.h"

#include <cmath>
#include <cstring>

#include "textures/codec/SimdLevel.h"

namespace {

// Intensity modifiers per codeword, in the order -large, -small, +small, +large.
constexpr int kModifiers[8][4] = {
    {-8, -2, 2, 8},     {-17, -5, 5, 17},   {-29, -9, 9, 29},     {-42, -13, 13, 42},
    {-60, -18, 18, 60}, {-80, -24, 24, 80}, {-106, -33, 33, 106}, {-183, -47, 47, 183},
};
// Pixel index values of the four modifier positions.
constexpr uint32_t kIndexOfPosition[4] = {3, 2, 0, 1};
constexpr int kPositionOfIndex[4] = {2, 3, 1, 0};

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

struct HalfResult
{
    int codeword;
    float error;
    int position[8];  // modifier position per pixel of the half
};

// The 8 pixel coordinates of one half: flipped halves are 4x2, unflipped 2x4.
void HalfPixels(bool flip, int half, int xs[8], int ys[8])
{
    for (int k = 0; k < 8; ++k)
    {
        if (flip)
        {
            xs[k] = k % 4, ys[k] = k / 4 + 2 * half;
        }
        else
        {
            xs[k] = k / 4 + 2 * half, ys[k] = k % 4;
        }
    }
}

float PerceptualError(int dr, int dg, int db)
{
    return 0.299f * float(dr * dr) + 0.587f * float(dg * dg) + 0.114f * float(db * db);
}

// Whole-number errors stay below 2^24 here, so the float sums are exact.
float PixelError(int dr, int dg, int db, bool perceptual)
{
    return perceptual ? PerceptualError(dr, dg, db) : float(dr * dr + dg * dg + db * db);
}

// The half's 8 pixels, as the searches read them.
struct HalfPixelValues
{
    float r[8], g[8], b[8];
};

HalfPixelValues LoadHalf(const uint8_t* rgb, int width, int bx, int by, bool flip, int half)
{
    int xs[8], ys[8];
    HalfPixels(flip, half, xs, ys);
    HalfPixelValues v;
    for (int k = 0; k < 8; ++k)
    {
        const uint8_t* p = rgb + (size_t(by + ys[k]) * width + (bx + xs[k])) * 3;
        v.r[k] = float(p[0]), v.g[k] = float(p[1]), v.b[k] = float(p[2]);
    }
    return v;
}

// The four modifiers' palette colours of every codeword, per channel (codeword cw in lanes 4cw .. 4cw + 3).
struct CodewordPalettes
{
    alignas(64) float c[3][32];
};

CodewordPalettes MakePalettes(const int base[3])
{
    CodewordPalettes p;
    for (int cw = 0; cw < 8; ++cw)
        for (int m = 0; m < 4; ++m)
            for (int c = 0; c < 3; ++c) p.c[c][4 * cw + m] = float(Clamp255(base[c] + kModifiers[cw][m]));
    return p;
}

// ---- the AVX2 and AVX-512 forms of the codeword search ----
// Two (AVX2) or four (AVX-512) codewords side by side, each group of four lanes doing the SSE2 form's
// operations; the per-codeword sums are then compared in codeword order as before.

VELMAR_TARGET_BEGIN("avx2")

void CodewordErrorsAvx2(const HalfPixelValues& px, const CodewordPalettes& pal, bool perceptual, float errors[8],
                        int positions[8][8])
{
    const __m256 wr = _mm256_set1_ps(0.299f), wg = _mm256_set1_ps(0.587f), wb = _mm256_set1_ps(0.114f);
    for (int cw = 0; cw < 8; cw += 2)
    {
        const __m256 pr = _mm256_load_ps(pal.c[0] + 4 * cw), pg = _mm256_load_ps(pal.c[1] + 4 * cw),
                     pb = _mm256_load_ps(pal.c[2] + 4 * cw);
        __m256 sum = _mm256_setzero_ps();
        for (int k = 0; k < 8; ++k)
        {
            const __m256 dr = _mm256_sub_ps(_mm256_set1_ps(px.r[k]), pr),
                         dg = _mm256_sub_ps(_mm256_set1_ps(px.g[k]), pg),
                         db = _mm256_sub_ps(_mm256_set1_ps(px.b[k]), pb);
            const __m256 r2 = _mm256_mul_ps(dr, dr), g2 = _mm256_mul_ps(dg, dg), b2 = _mm256_mul_ps(db, db);
            const __m256 e = perceptual ? _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(wr, r2), _mm256_mul_ps(wg, g2)),
                                                        _mm256_mul_ps(wb, b2))
                                        : _mm256_add_ps(_mm256_add_ps(r2, g2), b2);
            __m256 m = _mm256_min_ps(e, _mm256_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1)));
            m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
            const unsigned equal = unsigned(_mm256_movemask_ps(_mm256_cmp_ps(e, m, _CMP_EQ_OQ)));
            positions[cw][k] = __builtin_ctz(equal & 15u);
            positions[cw + 1][k] = __builtin_ctz(equal >> 4);
            sum = _mm256_add_ps(sum, m);
        }
        alignas(32) float lanes[8];
        _mm256_store_ps(lanes, sum);
        errors[cw] = lanes[0];
        errors[cw + 1] = lanes[4];
    }
}

VELMAR_TARGET_END

VELMAR_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vl")

void CodewordErrorsAvx512(const HalfPixelValues& px, const CodewordPalettes& pal, bool perceptual, float errors[8],
                          int positions[8][8])
{
    const __m512 wr = _mm512_set1_ps(0.299f), wg = _mm512_set1_ps(0.587f), wb = _mm512_set1_ps(0.114f);
    for (int cw = 0; cw < 8; cw += 4)
    {
        const __m512 pr = _mm512_load_ps(pal.c[0] + 4 * cw), pg = _mm512_load_ps(pal.c[1] + 4 * cw),
                     pb = _mm512_load_ps(pal.c[2] + 4 * cw);
        __m512 sum = _mm512_setzero_ps();
        for (int k = 0; k < 8; ++k)
        {
            const __m512 dr = _mm512_sub_ps(_mm512_set1_ps(px.r[k]), pr),
                         dg = _mm512_sub_ps(_mm512_set1_ps(px.g[k]), pg),
                         db = _mm512_sub_ps(_mm512_set1_ps(px.b[k]), pb);
            const __m512 r2 = _mm512_mul_ps(dr, dr), g2 = _mm512_mul_ps(dg, dg), b2 = _mm512_mul_ps(db, db);
            const __m512 e = perceptual ? _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(wr, r2), _mm512_mul_ps(wg, g2)),
                                                        _mm512_mul_ps(wb, b2))
                                        : _mm512_add_ps(_mm512_add_ps(r2, g2), b2);
            __m512 m = _mm512_min_ps(e, _mm512_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1)));
            m = _mm512_min_ps(m, _mm512_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
            const unsigned equal = _mm512_cmp_ps_mask(e, m, _CMP_EQ_OQ);
            for (int g = 0; g < 4; ++g) positions[cw + g][k] = __builtin_ctz((equal >> (4 * g)) & 15u);
            sum = _mm512_add_ps(sum, m);
        }
        alignas(64) float lanes[16];
        _mm512_store_ps(lanes, sum);
        for (int g = 0; g < 4; ++g) errors[cw + g] = lanes[4 * g];
    }
}

VELMAR_TARGET_END

// The four modifiers of a codeword are tried side by side in one vector; the first smallest wins, as
// one after the other. (Per-pixel errors stay far below the starting bound of 3.1212e6.)
HalfResult SearchCodewords(const uint8_t* rgb, int width, int bx, int by, bool flip, int half, const int base[3],
                           bool perceptual = true)
{
    const SimdLevel level = CodecSimdLevel();
    if (level != SimdLevel::Sse2)
    {
        const HalfPixelValues px = LoadHalf(rgb, width, bx, by, flip, half);
        const CodewordPalettes pal = MakePalettes(base);
        float errors[8];
        int positions[8][8];
        if (level == SimdLevel::Avx512)
            CodewordErrorsAvx512(px, pal, perceptual, errors, positions);
        else
            CodewordErrorsAvx2(px, pal, perceptual, errors, positions);
        HalfResult best{};
        best.error = perceptual ? 3.4e38f : 3121200.0f;
        for (int cw = 0; cw < 8; ++cw)
            if (errors[cw] < best.error)
            {
                best.codeword = cw;
                best.error = errors[cw];
                std::memcpy(best.position, positions[cw], sizeof best.position);
            }
        return best;
    }
    int xs[8], ys[8];
    HalfPixels(flip, half, xs, ys);
    __m128 pr[8], pg[8], pb[8];
    for (int k = 0; k < 8; ++k)
    {
        const uint8_t* p = rgb + (size_t(by + ys[k]) * width + (bx + xs[k])) * 3;
        pr[k] = _mm_set1_ps(float(p[0])), pg[k] = _mm_set1_ps(float(p[1])), pb[k] = _mm_set1_ps(float(p[2]));
    }
    const __m128 wr = _mm_set1_ps(0.299f), wg = _mm_set1_ps(0.587f), wb = _mm_set1_ps(0.114f);
    HalfResult best{};
    best.error = perceptual ? 3.4e38f : 3121200.0f;
    for (int cw = 0; cw < 8; ++cw)
    {
        const int* mods = kModifiers[cw];
        __m128 pal[3];
        for (int c = 0; c < 3; ++c)
            pal[c] = _mm_setr_ps(float(Clamp255(base[c] + mods[0])), float(Clamp255(base[c] + mods[1])),
                                 float(Clamp255(base[c] + mods[2])), float(Clamp255(base[c] + mods[3])));
        HalfResult r{};
        r.codeword = cw;
        for (int k = 0; k < 8; ++k)
        {
            const __m128 dr = _mm_sub_ps(pr[k], pal[0]), dg = _mm_sub_ps(pg[k], pal[1]), db = _mm_sub_ps(pb[k], pal[2]);
            const __m128 r2 = _mm_mul_ps(dr, dr), g2 = _mm_mul_ps(dg, dg), b2 = _mm_mul_ps(db, db);
            const __m128 e = perceptual
                                 ? _mm_add_ps(_mm_add_ps(_mm_mul_ps(wr, r2), _mm_mul_ps(wg, g2)), _mm_mul_ps(wb, b2))
                                 : _mm_add_ps(_mm_add_ps(r2, g2), b2);
            __m128 m = _mm_min_ps(e, _mm_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1)));
            m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
            const int pos = __builtin_ctz(unsigned(_mm_movemask_ps(_mm_cmpeq_ps(e, m))));
            r.position[k] = pos;
            r.error += _mm_cvtss_f32(m);
        }
        if (r.error < best.error) best = r;
    }
    return best;
}

using Quantiser = void (*)(const float avg[3], bool fiveBit, int out[3]);

void QuantiseAverage(const float avg[3], bool fiveBit, int out[3])
{
    for (int c = 0; c < 3; ++c)
        out[c] = fiveBit ? int(std::floor(avg[c] * 31.0f / 255.0f + 0.5f))
                         : int(std::floor(avg[c] / 17.0f + 0.5f + 0.0001f));
}

int ExpandCode(int v, bool fiveBit) { return fiveBit ? (v << 3) | (v >> 2) : v * 17; }

// The combined quantisation's search: each channel's code rounded down, then the 8 ways of raising some
// channels by one (none, R, G, B, RG, RB, GB, RGB); the strictly cheapest by cost(errors) wins. Returns
// the winner's number, with the codes rounded down in lo and raised in hi.
template <typename Cost>
int SearchCombined(const float avg[3], bool fiveBit, Cost cost, int lo[3], int hi[3], int out[3])
{
    const int top = fiveBit ? 31 : 15;
    const float step = fiveBit ? 255.0f / 31.0f : 17.0f;
    for (int c = 0; c < 3; ++c)
    {
        lo[c] = int(std::floor(avg[c] / step));
        lo[c] = lo[c] < 0 ? 0 : lo[c] > top ? top : lo[c];
        hi[c] = lo[c] + 1 > top ? top : lo[c] + 1;
    }
    static constexpr int kRaise[8] = {0, 1, 2, 4, 3, 5, 6, 7};
    float best = 3.4e38f;
    int winner = 0;
    for (int k = 0; k < 8; ++k)
    {
        int v[3];
        float e[3];
        for (int c = 0; c < 3; ++c)
        {
            v[c] = (kRaise[k] >> c) & 1 ? hi[c] : lo[c];
            e[c] = float(ExpandCode(v[c], fiveBit)) - avg[c];
        }
        const float error = cost(e);
        if (error < best) best = error, winner = k, std::memcpy(out, v, sizeof v);
    }
    return winner;
}

void QuantiseCombined(const float avg[3], bool fiveBit, int out[3])
{
    int lo[3], hi[3];
    SearchCombined(
        avg, fiveBit,
        [](const float e[3]) {
            return (e[0] - e[2]) * (e[0] - e[2]) * 0.034086f + (e[0] - e[1]) * (e[0] - e[1]) * 0.175513f +
                   (e[1] - e[2]) * (e[1] - e[2]) * 0.066918f;
        },
        lo, hi, out);
}

// The unweighted combined quantisation; in the 4-bit form a winner that raises no channel or all
// three is decided again from the all-low errors.
void QuantiseCombinedUnweighted(const float avg[3], bool fiveBit, int out[3])
{
    int lo[3], hi[3];
    const int winner = SearchCombined(
        avg, fiveBit,
        [](const float e[3]) {
            return (e[0] - e[1]) * (e[0] - e[1]) + (e[0] - e[2]) * (e[0] - e[2]) + (e[1] - e[2]) * (e[1] - e[2]);
        },
        lo, hi, out);
    if (!fiveBit && (winner == 0 || winner == 7))
    {
        double low = 0.0;
        for (int c = 0; c < 3; ++c)
        {
            const double e = double(ExpandCode(lo[c], false)) - double(avg[c]);
            low += e * e;
        }
        for (int c = 0; c < 3; ++c) out[c] = low > 192.0 ? hi[c] : lo[c];
    }
}

struct Candidate
{
    uint32_t word1;
    uint32_t word2;
    float error;
};

Candidate EncodeOrientation(const uint8_t* rgb, int width, int bx, int by, bool flip, Quantiser quantise,
                            bool perceptual)
{
    float avg[2][3];
    for (int h = 0; h < 2; ++h)
    {
        int xs[8], ys[8];
        HalfPixels(flip, h, xs, ys);
        float sum[3] = {0, 0, 0};
        for (int k = 0; k < 8; ++k)
        {
            const uint8_t* p = rgb + (size_t(by + ys[k]) * width + (bx + xs[k])) * 3;
            for (int c = 0; c < 3; ++c) sum[c] += p[c];
        }
        for (int c = 0; c < 3; ++c) avg[h][c] = sum[c] * 0.125f;
    }
    int q[2][3];
    quantise(avg[0], true, q[0]);
    quantise(avg[1], true, q[1]);
    bool differential = true;
    for (int c = 0; c < 3; ++c)
    {
        const int d = q[1][c] - q[0][c];
        if (d < -4 || d > 3) differential = false;
    }
    if (!differential)
    {
        quantise(avg[0], false, q[0]);
        quantise(avg[1], false, q[1]);
    }
    HalfResult half[2];
    for (int h = 0; h < 2; ++h)
    {
        int base[3];
        for (int c = 0; c < 3; ++c) base[c] = ExpandCode(q[h][c], differential);
        half[h] = SearchCodewords(rgb, width, bx, by, flip, h, base, perceptual);
    }
    Candidate out{};
    out.error = half[0].error + half[1].error;
    uint32_t w1 = 0;
    if (differential)
    {
        for (int c = 0; c < 3; ++c)
            w1 |= uint32_t(q[0][c]) << (27 - 8 * c) | uint32_t((q[1][c] - q[0][c]) & 7) << (24 - 8 * c);
        w1 |= 2;
    }
    else
    {
        for (int c = 0; c < 3; ++c) w1 |= uint32_t(q[0][c]) << (28 - 8 * c) | uint32_t(q[1][c]) << (24 - 8 * c);
    }
    w1 |= uint32_t(half[0].codeword) << 5 | uint32_t(half[1].codeword) << 2 | (flip ? 1u : 0u);
    uint32_t w2 = 0;
    for (int h = 0; h < 2; ++h)
    {
        int xs[8], ys[8];
        HalfPixels(flip, h, xs, ys);
        for (int k = 0; k < 8; ++k)
        {
            const uint32_t index = kIndexOfPosition[half[h].position[k]];
            const int bit = xs[k] * 4 + ys[k];
            w2 |= ((index >> 1) & 1) << (16 + bit) | (index & 1) << bit;
        }
    }
    out.word1 = w1;
    out.word2 = w2;
    return out;
}

void Encode(const uint8_t* rgb, int width, int bx, int by, Quantiser quantise, uint32_t* word1, uint32_t* word2,
            bool perceptual = true)
{
    const Candidate plain = EncodeOrientation(rgb, width, bx, by, false, quantise, perceptual);
    const Candidate flipped = EncodeOrientation(rgb, width, bx, by, true, quantise, perceptual);
    const Candidate& chosen = flipped.error < plain.error ? flipped : plain;
    *word1 = chosen.word1;
    *word2 = chosen.word2;
}

}  // namespace

void EncodeEtcAverage(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2)
{
    Encode(rgb, width, bx, by, QuantiseAverage, word1, word2);
}

void EncodeEtcCombined(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2)
{
    Encode(rgb, width, bx, by, QuantiseCombined, word1, word2);
}

void EncodeEtcCombinedUnweighted(const uint8_t* rgb, int width, int bx, int by, uint32_t* word1, uint32_t* word2)
{
    Encode(rgb, width, bx, by, QuantiseCombinedUnweighted, word1, word2, false);
}

float AssignEtcHalfModifiers(const uint8_t* rgb, int width, int x0, int y0, int halfWidth, int halfHeight,
                             const int base[3], int group, bool perceptual, uint32_t* msb, uint32_t* lsb)
{
    const int* mods = kModifiers[(group >> 1) & 7];  // each row is stored twice: group 2k is row k
    float total = 0.0f;
    *msb = *lsb = 0;
    for (int c = 0; c < halfWidth; ++c)
    {
        for (int r = 0; r < halfHeight; ++r)
        {
            const uint8_t* p = rgb + (size_t(y0 + r) * width + (x0 + c)) * 3;
            float best = perceptual ? 3.1212e6f : 3121200.0f;
            int pos = 0;
            for (int m = 0; m < 4; ++m)
            {
                const float e = PixelError(p[0] - Clamp255(base[0] + mods[m]), p[1] - Clamp255(base[1] + mods[m]),
                                           p[2] - Clamp255(base[2] + mods[m]), perceptual);
                if (e < best) best = e, pos = m;
            }
            const uint32_t index = kIndexOfPosition[pos];
            *msb |= ((index >> 1) & 1) << (4 * c + r);
            *lsb |= (index & 1) << (4 * c + r);
            total += best;
        }
    }
    return total;
}

double EtcBlockErrorUnweighted(const uint8_t* source, const uint8_t* decoded, int width, int bx, int by)
{
    double sum = 0.0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
        {
            const size_t o = (size_t(by + y) * width + (bx + x)) * 3;
            for (int c = 0; c < 3; ++c)
            {
                const double d = int(source[o + c]) - int(decoded[o + c]);
                sum += d * d;
            }
        }
    return sum;
}

bool WriteBigEndian16(std::FILE* f, uint16_t v)
{
    return std::fputc(v >> 8, f) != EOF && std::fputc(v & 255, f) != EOF;
}
bool WriteBigEndian32(std::FILE* f, uint32_t v)
{
    return WriteBigEndian16(f, uint16_t(v >> 16)) && WriteBigEndian16(f, uint16_t(v));
}
bool ReadBigEndian16(std::FILE* f, uint16_t* v)
{
    const int hi = std::fgetc(f), lo = std::fgetc(f);
    if (hi == EOF || lo == EOF) return false;
    *v = uint16_t(hi << 8 | lo);
    return true;
}
bool ReadBigEndian32(std::FILE* f, uint32_t* v)
{
    uint16_t hi, lo;
    if (!ReadBigEndian16(f, &hi) || !ReadBigEndian16(f, &lo)) return false;
    *v = uint32_t(hi) << 16 | lo;
    return true;
}

void DecodeEtcBlock(uint32_t w1, uint32_t w2, uint8_t* rgb, int width, int bx, int by)
{
    int base[2][3];
    if (w1 & 2)
    {
        for (int c = 0; c < 3; ++c)
        {
            const int v = (w1 >> (27 - 8 * c)) & 31;
            int d = (w1 >> (24 - 8 * c)) & 7;
            if (d >= 4) d -= 8;
            const int v2 = (v + d) & 31;
            base[0][c] = (v << 3) | (v >> 2);
            base[1][c] = (v2 << 3) | (v2 >> 2);
        }
    }
    else
    {
        for (int c = 0; c < 3; ++c)
        {
            base[0][c] = ((w1 >> (28 - 8 * c)) & 15) * 17;
            base[1][c] = ((w1 >> (24 - 8 * c)) & 15) * 17;
        }
    }
    const int cw[2] = {int((w1 >> 5) & 7), int((w1 >> 2) & 7)};
    const bool flip = w1 & 1;
    for (int x = 0; x < 4; ++x)
    {
        for (int y = 0; y < 4; ++y)
        {
            const int h = flip ? (y >= 2) : (x >= 2);
            const int bit = x * 4 + y;
            const int index = int(((w2 >> (16 + bit)) & 1) << 1 | ((w2 >> bit) & 1));
            const int mod = kModifiers[cw[h]][kPositionOfIndex[index]];
            uint8_t* p = rgb + (size_t(by + y) * width + (bx + x)) * 3;
            for (int c = 0; c < 3; ++c) p[c] = uint8_t(Clamp255(base[h][c] + mod));
        }
    }
}

double EtcBlockError(const uint8_t* source, const uint8_t* decoded, int width, int bx, int by)
{
    double sum = 0.0;
    for (int y = 0; y < 4; ++y)
    {
        for (int x = 0; x < 4; ++x)
        {
            const size_t o = (size_t(by + y) * width + (bx + x)) * 3;
            const double dr = int(source[o]) - int(decoded[o]), dg = int(source[o + 1]) - int(decoded[o + 1]),
                         db = int(source[o + 2]) - int(decoded[o + 2]);
            sum += 0.299 * dr * dr + 0.587 * dg * dg + 0.114 * db * db;
        }
    }
    return sum;
}

void EtcBlockEncoder(const uint8_t* rgb, int width, int, int bx, int by, uint32_t* word1, uint32_t* word2)
{
    uint8_t decoded[16 * 3];
    uint32_t a1, a2, c1, c2;
    EncodeEtcAverage(rgb, width, bx, by, &a1, &a2);
    EncodeEtcCombined(rgb, width, bx, by, &c1, &c2);
    // Errors are measured on a 4x4 copy of the block.
    uint8_t block[16 * 3];
    for (int y = 0; y < 4; ++y) std::memcpy(block + y * 12, rgb + (size_t(by + y) * width + bx) * 3, 12);
    DecodeEtcBlock(a1, a2, decoded, 4, 0, 0);
    const double ea = EtcBlockError(block, decoded, 4, 0, 0);
    DecodeEtcBlock(c1, c2, decoded, 4, 0, 0);
    const double ec = EtcBlockError(block, decoded, 4, 0, 0);
    if (ec < ea)
    {
        *word1 = c1, *word2 = c2;
    }
    else
    {
        *word1 = a1, *word2 = a2;
    }
}

void EtcCompressColor(const uint32_t texels[16], uint8_t block[8])
{
    uint8_t rgb[16 * 3];
    for (int i = 0; i < 16; ++i)
    {
        rgb[3 * i] = uint8_t(texels[i] >> 16), rgb[3 * i + 1] = uint8_t(texels[i] >> 8),
                rgb[3 * i + 2] = uint8_t(texels[i]);
    }
    uint32_t w1, w2;
    EtcBlockEncoder(rgb, 4, 4, 0, 0, &w1, &w2);
    for (int i = 0; i < 4; ++i) block[i] = uint8_t(w1 >> (24 - 8 * i)), block[4 + i] = uint8_t(w2 >> (24 - 8 * i));
}

void EtcDecompressColor(const uint8_t block[8], uint32_t texels[16])
{
    const uint32_t w1 = uint32_t(block[0]) << 24 | uint32_t(block[1]) << 16 | uint32_t(block[2]) << 8 | block[3];
    const uint32_t w2 = uint32_t(block[4]) << 24 | uint32_t(block[5]) << 16 | uint32_t(block[6]) << 8 | block[7];
    uint8_t rgb[16 * 3];
    DecodeEtcBlock(w1, w2, rgb, 4, 0, 0);
    for (int i = 0; i < 16; ++i)
        texels[i] =
            (texels[i] & 0xFF000000u) | uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
}
