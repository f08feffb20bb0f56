#include "textures/Etc1Block.h"

#include "textures/codec/SimdLevel.h"

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kPixelErrorBound = 3121200;  // above any pixel or half error: the searches' start value
constexpr float kPerceptualR = 0.299f;
constexpr float kPerceptualG = 0.587f;
constexpr float kPerceptualB = 0.114f;

// Modifier position of each pixel index value (the inverse of kEtc1IndexOfPosition).
constexpr int kPositionOfIndex[4] = {2, 3, 1, 0};

// The modifiers laid out for the vector searches: for modifier position j, 16 lanes of 16 bits holding
// (m, m) per codeword for red/green pairs and (m, 0) for blue, codewords 0..7 in order. A multiply-add
// of a difference vector with itself then yields one 32-bit error term per codeword.
struct ModifierLanes
{
    alignas(32) int16_t rg[4][16];
    alignas(32) int16_t b[4][16];
};

constexpr ModifierLanes MakeModifierLanes()
{
    ModifierLanes lanes{};
    for (int j = 0; j < 4; ++j)
    {
        for (int cw = 0; cw < 8; ++cw)
        {
            lanes.rg[j][2 * cw] = static_cast<int16_t>(kEtc1Modifiers[cw][j]);
            lanes.rg[j][2 * cw + 1] = static_cast<int16_t>(kEtc1Modifiers[cw][j]);
            lanes.b[j][2 * cw] = static_cast<int16_t>(kEtc1Modifiers[cw][j]);
            lanes.b[j][2 * cw + 1] = 0;
        }
    }
    return lanes;
}

constexpr ModifierLanes kModifierLanes = MakeModifierLanes();

uint32_t PickCodeword(const int32_t sums[8], int& codeword)
{
    uint32_t best = kPixelErrorBound;
    codeword = 0;
    for (int cw = 0; cw < 8; ++cw)
    {
        if (static_cast<uint32_t>(sums[cw]) < best)
        {
            best = static_cast<uint32_t>(sums[cw]);
            codeword = cw;
        }
    }
    return best;
}

inline __m128i Min32Sse2(__m128i a, __m128i b)
{
    const __m128i aGreater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aGreater, b), _mm_andnot_si128(aGreater, a));
}

inline int PixelError(const uint8_t p[3], Etc1Colour base, int modifier)
{
    int e = 0;
    for (int c = 0; c < 3; ++c)
    {
        const int d = ClampByte(base.c[c] + modifier) - p[c];
        e += d * d;
    }
    return e;
}

inline float PixelErrorPerceptual(const uint8_t p[3], Etc1Colour base, int modifier)
{
    const int dR = ClampByte(base.c[0] + modifier) - p[0];
    const int dG = ClampByte(base.c[1] + modifier) - p[1];
    const int dB = ClampByte(base.c[2] + modifier) - p[2];
    return kPerceptualB * static_cast<float>(dB * dB) + kPerceptualG * static_cast<float>(dG * dG) +
           kPerceptualR * static_cast<float>(dR * dR);
}

}  // namespace

Etc1Pixels LoadEtc1Pixels(const Etc1Source& image, int x, int y)
{
    Etc1Pixels block;
    if (image.pixels == nullptr || image.width < 1 || image.height < 1)
    {
        std::memset(&block, 0, sizeof block);
        return block;
    }
    const size_t stride = static_cast<size_t>(image.width) * 3;
    if (x >= 0 && y >= 0 && x + 3 < image.width && y + 3 < image.height)
    {
        const uint8_t* row = image.pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        for (int by = 0; by < 4; ++by, row += stride)
            for (int bx = 0; bx < 4; ++bx) std::memcpy(block.rgb[bx * 4 + by], row + bx * 3, 3);
        return block;
    }
    for (int bx = 0; bx < 4; ++bx)
    {
        const size_t sx = static_cast<size_t>(std::clamp(x + bx, 0, image.width - 1));
        for (int by = 0; by < 4; ++by)
        {
            const size_t sy = static_cast<size_t>(std::clamp(y + by, 0, image.height - 1));
            std::memcpy(block.rgb[bx * 4 + by], image.pixels + sy * stride + sx * 3, 3);
        }
    }
    return block;
}

Etc1Half GatherEtc1Half(const Etc1Pixels& block, int half)
{
    Etc1Half h;
    if (half < 2)
    {
        std::memcpy(h.rgb, block.rgb[half * 8], sizeof h.rgb);
    }
    else
    {
        // Two pixels of each column: rows 0-1 (top) or 2-3 (bottom).
        const int row = (half - 2) * 2;
        for (int col = 0; col < 4; ++col) std::memcpy(h.rgb[col * 2], block.rgb[col * 4 + row], 6);
    }
    return h;
}

uint32_t SearchEtc1CodewordScalar(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    int32_t sums[8];
    for (int cw = 0; cw < 8; ++cw)
    {
        int32_t sum = 0;
        for (int k = 0; k < 8; ++k)
        {
            int best = static_cast<int>(kPixelErrorBound);
            for (int j = 0; j < 4; ++j) best = std::min(best, PixelError(half.rgb[k], base, kEtc1Modifiers[cw][j]));
            sum += best;
        }
        sums[cw] = sum;
    }
    return PickCodeword(sums, codeword);
}

uint32_t SearchEtc1CodewordSse2(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(255);
    const __m128i baseRG = _mm_set1_epi32(base.c[0] | (base.c[1] << 16));
    const __m128i baseB = _mm_set1_epi32(base.c[2]);
    __m128i rg[2][4], b[2][4];
    for (int g = 0; g < 2; ++g)
    {
        for (int j = 0; j < 4; ++j)
        {
            const __m128i mrg = _mm_load_si128(reinterpret_cast<const __m128i*>(kModifierLanes.rg[j] + 8 * g));
            const __m128i mb = _mm_load_si128(reinterpret_cast<const __m128i*>(kModifierLanes.b[j] + 8 * g));
            rg[g][j] = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(baseRG, mrg), zero), top);
            b[g][j] = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(baseB, mb), zero), top);
        }
    }
    __m128i sum[2] = {zero, zero};
    for (int k = 0; k < 8; ++k)
    {
        const __m128i prg = _mm_set1_epi32(half.rgb[k][0] | (half.rgb[k][1] << 16));
        const __m128i pb = _mm_set1_epi32(half.rgb[k][2]);
        for (int g = 0; g < 2; ++g)
        {
            __m128i e[4];
            for (int j = 0; j < 4; ++j)
            {
                const __m128i d = _mm_sub_epi16(rg[g][j], prg);
                const __m128i db = _mm_sub_epi16(b[g][j], pb);
                e[j] = _mm_add_epi32(_mm_madd_epi16(d, d), _mm_madd_epi16(db, db));
            }
            sum[g] = _mm_add_epi32(sum[g], Min32Sse2(Min32Sse2(e[0], e[1]), Min32Sse2(e[2], e[3])));
        }
    }
    alignas(16) int32_t sums[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), sum[0]);
    _mm_store_si128(reinterpret_cast<__m128i*>(sums + 4), sum[1]);
    return PickCodeword(sums, codeword);
}

__attribute__((target("avx2"))) uint32_t SearchEtc1CodewordAvx2(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi16(255);
    const __m256i baseRG = _mm256_set1_epi32(base.c[0] | (base.c[1] << 16));
    const __m256i baseB = _mm256_set1_epi32(base.c[2]);
    __m256i rg[4], b[4];
    for (int j = 0; j < 4; ++j)
    {
        const __m256i mrg = _mm256_load_si256(reinterpret_cast<const __m256i*>(kModifierLanes.rg[j]));
        const __m256i mb = _mm256_load_si256(reinterpret_cast<const __m256i*>(kModifierLanes.b[j]));
        rg[j] = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(baseRG, mrg), zero), top);
        b[j] = _mm256_min_epi16(_mm256_max_epi16(_mm256_add_epi16(baseB, mb), zero), top);
    }
    __m256i sum = zero;
    for (int k = 0; k < 8; ++k)
    {
        const __m256i prg = _mm256_set1_epi32(half.rgb[k][0] | (half.rgb[k][1] << 16));
        const __m256i pb = _mm256_set1_epi32(half.rgb[k][2]);
        __m256i e[4];
        for (int j = 0; j < 4; ++j)
        {
            const __m256i d = _mm256_sub_epi16(rg[j], prg);
            const __m256i db = _mm256_sub_epi16(b[j], pb);
            e[j] = _mm256_add_epi32(_mm256_madd_epi16(d, d), _mm256_madd_epi16(db, db));
        }
        sum = _mm256_add_epi32(sum, _mm256_min_epi32(_mm256_min_epi32(e[0], e[1]), _mm256_min_epi32(e[2], e[3])));
    }
    alignas(32) int32_t sums[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), sum);
    return PickCodeword(sums, codeword);
}

bool Etc1HaveAvx2() { return ProcessorSimdLevel() >= SimdLevel::Avx2; }

uint32_t SearchEtc1Codeword(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    return CodecSimdLevel() >= SimdLevel::Avx2 ? SearchEtc1CodewordAvx2(half, base, codeword)
                                               : SearchEtc1CodewordSse2(half, base, codeword);
}

uint32_t SearchEtc1CodewordPerceptualScalar(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    float bestSum = static_cast<float>(kPixelErrorBound);
    codeword = 0;
    for (int cw = 0; cw < 8; ++cw)
    {
        float sum = 0.0f;
        for (int k = 0; k < 8; ++k)
        {
            float best = static_cast<float>(kPixelErrorBound);
            for (int j = 0; j < 4; ++j)
            {
                const float e = PixelErrorPerceptual(half.rgb[k], base, kEtc1Modifiers[cw][j]);
                if (e < best) best = e;
            }
            sum += best;
        }
        if (sum < bestSum)
        {
            bestSum = sum;
            codeword = cw;
        }
    }
    return static_cast<uint32_t>(bestSum);
}

namespace {

// Positions of the first smallest of four errors per pixel, as the two index bit planes of 8 pixels
// (bit k for pixel k of the half).
void AssignUnweightedSse2(const Etc1Half& half, const int palette[4][3], uint32_t& msb, uint32_t& lsb)
{
    alignas(16) int16_t channel[3][8];
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) channel[c][k] = half.rgb[k][c];
    const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i*>(channel[0]));
    const __m128i g = _mm_load_si128(reinterpret_cast<const __m128i*>(channel[1]));
    const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(channel[2]));
    const __m128i zero = _mm_setzero_si128();
    __m128i e[2][4];
    for (int j = 0; j < 4; ++j)
    {
        const __m128i dR = _mm_sub_epi16(_mm_set1_epi16(static_cast<int16_t>(palette[j][0])), r);
        const __m128i dG = _mm_sub_epi16(_mm_set1_epi16(static_cast<int16_t>(palette[j][1])), g);
        const __m128i dB = _mm_sub_epi16(_mm_set1_epi16(static_cast<int16_t>(palette[j][2])), b);
        const __m128i rgLo = _mm_unpacklo_epi16(dR, dG), rgHi = _mm_unpackhi_epi16(dR, dG);
        const __m128i bLo = _mm_unpacklo_epi16(dB, zero), bHi = _mm_unpackhi_epi16(dB, zero);
        e[0][j] = _mm_add_epi32(_mm_madd_epi16(rgLo, rgLo), _mm_madd_epi16(bLo, bLo));
        e[1][j] = _mm_add_epi32(_mm_madd_epi16(rgHi, rgHi), _mm_madd_epi16(bHi, bHi));
    }
    msb = lsb = 0;
    for (int part = 0; part < 2; ++part)
    {
        const __m128i* x = e[part];
        const __m128i m = Min32Sse2(Min32Sse2(x[0], x[1]), Min32Sse2(x[2], x[3]));
        const __m128i eq0 = _mm_cmpeq_epi32(x[0], m), eq1 = _mm_cmpeq_epi32(x[1], m), eq2 = _mm_cmpeq_epi32(x[2], m);
        // Positions 0 and 1 (index 3 and 2) set the high bit; positions 0 and 3 (index 3 and 1) the low bit.
        const __m128i high = _mm_or_si128(eq0, eq1);
        const __m128i low = _mm_or_si128(eq0, _mm_andnot_si128(_mm_or_si128(high, eq2), _mm_set1_epi32(-1)));
        msb |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(high))) << (4 * part);
        lsb |= static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(low))) << (4 * part);
    }
}

}  // namespace

// Lanes are codewords 0..7; every lane does the scalar form's single-precision operations in the same
// order, so the sums agree bit for bit.
__attribute__((target("avx2"))) uint32_t SearchEtc1CodewordPerceptualAvx2(const Etc1Half& half, Etc1Colour base,
                                                                          int& codeword)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(255);
    __m256i palette[4][3];
    for (int j = 0; j < 4; ++j)
    {
        const __m256i m =
            _mm256_setr_epi32(kEtc1Modifiers[0][j], kEtc1Modifiers[1][j], kEtc1Modifiers[2][j], kEtc1Modifiers[3][j],
                              kEtc1Modifiers[4][j], kEtc1Modifiers[5][j], kEtc1Modifiers[6][j], kEtc1Modifiers[7][j]);
        for (int c = 0; c < 3; ++c)
            palette[j][c] =
                _mm256_min_epi32(_mm256_max_epi32(_mm256_add_epi32(_mm256_set1_epi32(base.c[c]), m), zero), top);
    }
    const __m256 wR = _mm256_set1_ps(kPerceptualR);
    const __m256 wG = _mm256_set1_ps(kPerceptualG);
    const __m256 wB = _mm256_set1_ps(kPerceptualB);
    __m256 sum = _mm256_setzero_ps();
    for (int k = 0; k < 8; ++k)
    {
        const __m256i pR = _mm256_set1_epi32(half.rgb[k][0]);
        const __m256i pG = _mm256_set1_epi32(half.rgb[k][1]);
        const __m256i pB = _mm256_set1_epi32(half.rgb[k][2]);
        __m256 best = _mm256_set1_ps(static_cast<float>(kPixelErrorBound));
        for (int j = 0; j < 4; ++j)
        {
            const __m256i dR = _mm256_sub_epi32(palette[j][0], pR);
            const __m256i dG = _mm256_sub_epi32(palette[j][1], pG);
            const __m256i dB = _mm256_sub_epi32(palette[j][2], pB);
            const __m256 r2 = _mm256_cvtepi32_ps(_mm256_mullo_epi32(dR, dR));
            const __m256 g2 = _mm256_cvtepi32_ps(_mm256_mullo_epi32(dG, dG));
            const __m256 b2 = _mm256_cvtepi32_ps(_mm256_mullo_epi32(dB, dB));
            const __m256 e =
                _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(wB, b2), _mm256_mul_ps(wG, g2)), _mm256_mul_ps(wR, r2));
            best = _mm256_min_ps(e, best);
        }
        sum = _mm256_add_ps(sum, best);
    }
    alignas(32) float sums[8];
    _mm256_store_ps(sums, sum);
    float bestSum = static_cast<float>(kPixelErrorBound);
    codeword = 0;
    for (int cw = 0; cw < 8; ++cw)
    {
        if (sums[cw] < bestSum)
        {
            bestSum = sums[cw];
            codeword = cw;
        }
    }
    return static_cast<uint32_t>(bestSum);
}

uint32_t SearchEtc1CodewordPerceptual(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    return CodecSimdLevel() >= SimdLevel::Avx2 ? SearchEtc1CodewordPerceptualAvx2(half, base, codeword)
                                               : SearchEtc1CodewordPerceptualScalar(half, base, codeword);
}

void AssignEtc1Indices(const Etc1Pixels& block, int half, Etc1Colour base, int codeword, bool perceptual,
                       uint32_t& word2)
{
    // The four colours the codeword can give this half.
    int palette[4][3];
    for (int j = 0; j < 4; ++j)
        for (int c = 0; c < 3; ++c) palette[j][c] = ClampByte(base.c[c] + kEtc1Modifiers[codeword][j]);
    uint32_t msb = 0, lsb = 0;
    if (perceptual)
    {
        for (int k = 0; k < 8; ++k)
        {
            const uint8_t* p = block.rgb[kEtc1HalfPixels[half][k]];
            int position = 0;
            float best = static_cast<float>(kPixelErrorBound);
            for (int j = 0; j < 4; ++j)
            {
                const float e = PixelErrorPerceptual(p, base, kEtc1Modifiers[codeword][j]);
                if (e < best)
                {
                    best = e;
                    position = j;
                }
            }
            const uint32_t index = kEtc1IndexOfPosition[position];
            msb |= (index >> 1) << k;
            lsb |= (index & 1) << k;
        }
    }
    else
    {
        AssignUnweightedSse2(GatherEtc1Half(block, half), palette, msb, lsb);
    }
    for (int k = 0; k < 8; ++k)
    {
        const int i = kEtc1HalfPixels[half][k];
        word2 |= (((msb >> k) & 1u) << (16 + i)) | (((lsb >> k) & 1u) << i);
    }
}

uint32_t PackEtc1Differential(Etc1Colour first, Etc1Colour second, int codeword1, int codeword2, bool flip)
{
    uint32_t w = 0;
    for (int c = 0; c < 3; ++c)
    {
        const uint32_t d = static_cast<uint32_t>(second.c[c] - first.c[c]) & 7u;
        w |= ((static_cast<uint32_t>(first.c[c]) << 3) | d) << (24 - 8 * c);
    }
    return w | (static_cast<uint32_t>(codeword1) << 5) | (static_cast<uint32_t>(codeword2) << 2) | 2u |
           (flip ? 1u : 0u);
}

uint32_t PackEtc1Individual(Etc1Colour first, Etc1Colour second, int codeword1, int codeword2, bool flip)
{
    uint32_t w = 0;
    for (int c = 0; c < 3; ++c)
        w |= ((static_cast<uint32_t>(first.c[c]) << 4) | static_cast<uint32_t>(second.c[c])) << (24 - 8 * c);
    return w | (static_cast<uint32_t>(codeword1) << 5) | (static_cast<uint32_t>(codeword2) << 2) | (flip ? 1u : 0u);
}

Etc1BlockWords BuildEtc1Words(const Etc1Pixels& block, const Etc1SplitCode& code, bool perceptual)
{
    Etc1BlockWords words;
    words.word1 = code.differential
                      ? PackEtc1Differential(code.q[0], code.q[1], code.codeword[0], code.codeword[1], code.flip)
                      : PackEtc1Individual(code.q[0], code.q[1], code.codeword[0], code.codeword[1], code.flip);
    words.word2 = 0;
    const int firstHalf = code.flip ? 2 : 0;
    for (int k = 0; k < 2; ++k)
        AssignEtc1Indices(block, firstHalf + k, ExpandEtc1(code.q[k], code.differential), code.codeword[k], perceptual,
                          words.word2);
    return words;
}

void DecodeBlockETC1(Etc1BlockWords block, uint8_t rgb[48])
{
    const uint32_t w1 = block.word1;
    Etc1Colour base[2];
    if (w1 & 2u)
    {
        for (int c = 0; c < 3; ++c)
        {
            const int shift = 27 - 8 * c;
            const int v = static_cast<int>((w1 >> shift) & 31u);
            int d = static_cast<int>((w1 >> (shift - 3)) & 7u);
            if (d >= 4) d -= 8;
            base[0].c[c] = Expand5(v);
            base[1].c[c] = Expand5((v + d) & 31);  // out-of-range sums wrap as in hardware decoders
        }
    }
    else
    {
        for (int c = 0; c < 3; ++c)
        {
            const int shift = 28 - 8 * c;
            base[0].c[c] = Expand4(static_cast<int>((w1 >> shift) & 15u));
            base[1].c[c] = Expand4(static_cast<int>((w1 >> (shift - 4)) & 15u));
        }
    }
    const int codeword[2] = {static_cast<int>((w1 >> 5) & 7u), static_cast<int>((w1 >> 2) & 7u)};
    const bool flip = (w1 & 1u) != 0;
    for (int x = 0; x < 4; ++x)
    {
        for (int y = 0; y < 4; ++y)
        {
            const int i = x * 4 + y;
            const int h = flip ? (y >= 2) : (x >= 2);
            const uint32_t index = (((block.word2 >> (16 + i)) & 1u) << 1) | ((block.word2 >> i) & 1u);
            const int m = kEtc1Modifiers[codeword[h]][kPositionOfIndex[index]];
            uint8_t* out = rgb + (y * 4 + x) * 3;
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(ClampByte(base[h].c[c] + m));
        }
    }
}

Etc1Colour SumEtc1Half(const Etc1Half& half)
{
    Etc1Colour s{{0, 0, 0}};
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) s.c[c] += half.rgb[k][c];
    return s;
}

// The average is sum / 8; c x 31 / 255 is then sum x 31 / 2040, kept in whole numbers throughout.
Etc1Colour QuantiseRound5(Etc1Colour sum)
{
    Etc1Colour q;
    for (int c = 0; c < 3; ++c) q.c[c] = (sum.c[c] * 62 + 2040) / 4080;
    return q;
}

Etc1Colour QuantiseRound4(Etc1Colour sum)
{
    Etc1Colour q;
    for (int c = 0; c < 3; ++c) q.c[c] = (sum.c[c] * 30 + 2040) / 4080;
    return q;
}

namespace {

// Raise masks in the order they are compared: none, R, G, B, RG, RB, GB, RGB.
constexpr int kRaiseOrder[8] = {0, 1, 2, 4, 3, 5, 6, 7};

struct QuantiseSteps
{
    int lo[3];
    int hi[3];
    int errLo[3];  // 8 x (expanded value - average)
    int errHi[3];
};

QuantiseSteps MakeSteps(Etc1Colour sum, bool fiveBits)
{
    QuantiseSteps s;
    const int top = fiveBits ? 31 : 15;
    for (int c = 0; c < 3; ++c)
    {
        s.lo[c] = sum.c[c] * (fiveBits ? 31 : 15) / 2040;
        s.hi[c] = std::min(s.lo[c] + 1, top);
        s.errLo[c] = 8 * (fiveBits ? Expand5(s.lo[c]) : Expand4(s.lo[c])) - sum.c[c];
        s.errHi[c] = 8 * (fiveBits ? Expand5(s.hi[c]) : Expand4(s.hi[c])) - sum.c[c];
    }
    return s;
}

Etc1Colour Raised(const QuantiseSteps& s, int mask)
{
    Etc1Colour q;
    for (int c = 0; c < 3; ++c) q.c[c] = (mask >> c) & 1 ? s.hi[c] : s.lo[c];
    return q;
}

int CombinedUnweighted(const QuantiseSteps& s)
{
    int bestMask = 0;
    int best = 0;
    for (int k = 0; k < 8; ++k)
    {
        const int mask = kRaiseOrder[k];
        int e[3];
        for (int c = 0; c < 3; ++c) e[c] = (mask >> c) & 1 ? s.errHi[c] : s.errLo[c];
        // |e| < 2048 in the 8 x scale, so the cost fits 32 bits.
        const int cost = (e[0] - e[1]) * (e[0] - e[1]) + (e[0] - e[2]) * (e[0] - e[2]) + (e[1] - e[2]) * (e[1] - e[2]);
        if (k == 0 || cost < best)
        {
            best = cost;
            bestMask = mask;
        }
    }
    return bestMask;
}

int CombinedPerceptual(const QuantiseSteps& s)
{
    int bestMask = 0;
    double best = 0.0;
    for (int k = 0; k < 8; ++k)
    {
        const int mask = kRaiseOrder[k];
        double e[3];
        for (int c = 0; c < 3; ++c) e[c] = ((mask >> c) & 1 ? s.errHi[c] : s.errLo[c]) / 8.0;
        const double cost = 0.175513 * (e[0] - e[1]) * (e[0] - e[1]) + 0.034086 * (e[0] - e[2]) * (e[0] - e[2]) +
                            0.066918 * (e[1] - e[2]) * (e[1] - e[2]);
        if (k == 0 || cost < best)
        {
            best = cost;
            bestMask = mask;
        }
    }
    return bestMask;
}

}  // namespace

Etc1Colour QuantiseCombined5(Etc1Colour sum)
{
    const QuantiseSteps s = MakeSteps(sum, true);
    return Raised(s, CombinedUnweighted(s));
}

Etc1Colour QuantiseCombined4(Etc1Colour sum)
{
    const QuantiseSteps s = MakeSteps(sum, false);
    int mask = CombinedUnweighted(s);
    if (mask == 0 || mask == 7)
    {
        // A uniform shift of all channels is an intensity change the modifiers could make as well; decide
        // it from the size of the error of the lower colour (192 = 64 x 3 in units of the 8 x scale).
        const int64_t e2 =
            int64_t(s.errLo[0]) * s.errLo[0] + int64_t(s.errLo[1]) * s.errLo[1] + int64_t(s.errLo[2]) * s.errLo[2];
        mask = e2 > 192 * 64 ? 7 : 0;
    }
    return Raised(s, mask);
}

Etc1Colour QuantiseCombinedPerceptual5(Etc1Colour sum)
{
    const QuantiseSteps s = MakeSteps(sum, true);
    return Raised(s, CombinedPerceptual(s));
}

Etc1Colour QuantiseCombinedPerceptual4(Etc1Colour sum)
{
    const QuantiseSteps s = MakeSteps(sum, false);
    return Raised(s, CombinedPerceptual(s));
}

double Etc1PerceptualBlockError(const Etc1Pixels& block, Etc1BlockWords words)
{
    uint8_t decoded[48];
    DecodeBlockETC1(words, decoded);
    double error = 0.0;
    for (int y = 0; y < 4; ++y)
    {
        for (int x = 0; x < 4; ++x)
        {
            const uint8_t* s = block.rgb[x * 4 + y];
            const uint8_t* d = decoded + (y * 4 + x) * 3;
            const double dR = s[0] - d[0], dG = s[1] - d[1], dB = s[2] - d[2];
            error += 0.299 * dR * dR + 0.587 * dG * dG + 0.114 * dB * dB;
        }
    }
    return error;
}
