// The fast-mode block encoder (two candidates, average and combined) in AVX-512: the same blocks as the
// plain form, bit for bit, with the whole block in vector registers.
//
// The codeword search works on the expanded error. With q = 127 - p per channel (a signed byte) and x the
// clamped base + modifier (an unsigned byte), a pixel's error is
//     sum (x - p)^2 = X(x) + 2 x.q + P,   X(x) = sum x (x - 254),   P = sum p^2,
// and one VNNI dot product of bytes gives x.q for 16 modifier choices at once. P is the same for every
// modifier and codeword of a pixel, and the two halves of either split hold all 16 pixels, so every
// comparison the encoder makes (modifiers, codewords, splits, candidates) comes out the same without it.
#include "textures/codec/SimdIntrinsics.h"  // first: see there

#include <cstring>

#include "textures/Etc1Block.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,avx512vbmi")

namespace {

constexpr int kSplitHalves[2][2] = {{0, 1}, {2, 3}};

// Byte tables for the permutes. The raw block holds row y of the block in bytes 16y .. 16y + 11.
struct ByteIndex
{
    alignas(64) uint8_t b[64];
};

constexpr int RawByte(int pixel, int channel) { return 16 * (pixel % 4) + 3 * (pixel / 4) + channel; }

// Pixel i (= x * 4 + y) as the dword (R, G, B, 0); byte 3 comes out zero through the mask.
constexpr ByteIndex MakeQuadIndex()
{
    ByteIndex t{};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c) t.b[4 * i + c] = static_cast<uint8_t>(RawByte(i, c));
    return t;
}
constexpr __mmask64 kQuadBytes = 0x7777777777777777ull;

// Eight bytes per half and channel, group h * 3 + c, for the channel sums: groups 0-7 in the first
// table, 8-11 in the second.
constexpr ByteIndex MakePlanarIndex(int firstGroup)
{
    ByteIndex t{};
    for (int g = firstGroup; g < firstGroup + 8 && g < 12; ++g)
        for (int k = 0; k < 8; ++k)
            t.b[8 * (g - firstGroup) + k] = static_cast<uint8_t>(RawByte(kEtc1HalfPixels[g / 3][k], g % 3));
    return t;
}

constexpr ByteIndex kQuadIndex = MakeQuadIndex();
constexpr ByteIndex kPlanarIndex1 = MakePlanarIndex(0);
constexpr ByteIndex kPlanarIndex2 = MakePlanarIndex(8);

// Two pixels of a half per vector: lanes 0-7 the first, 8-15 the second (one lane per codeword).
struct PairIndex
{
    alignas(64) int32_t lane[4][4][16];
};

constexpr PairIndex MakePairIndex()
{
    PairIndex t{};
    for (int h = 0; h < 4; ++h)
        for (int p = 0; p < 4; ++p)
            for (int l = 0; l < 16; ++l) t.lane[h][p][l] = kEtc1HalfPixels[h][2 * p + l / 8];
    return t;
}
constexpr PairIndex kPairIndex = MakePairIndex();

// Modifier sizes as bytes (R, G, B, 0) per codeword lane, for the saturating adds and subtracts that
// clamp base + modifier to 0..255: positions 0 and 1 subtract, 2 and 3 add.
struct ModifierQuads
{
    alignas(64) uint32_t size[4][16];
};

constexpr ModifierQuads MakeModifierQuads()
{
    ModifierQuads t{};
    for (int j = 0; j < 4; ++j)
        for (int l = 0; l < 16; ++l)
        {
            const int m = kEtc1Modifiers[l % 8][j];
            const uint32_t size = static_cast<uint32_t>(m < 0 ? -m : m);
            t.size[j][l] = size | size << 8 | size << 16;
        }
    return t;
}
constexpr ModifierQuads kModifierQuads = MakeModifierQuads();

// X(x) of one channel, per base code (rows 0-31: 5-bit codes, 32-47: 4-bit codes), modifier position and
// codeword lane (codeword = lane % 8).
struct ChannelTerms
{
    alignas(64) int32_t term[48][4][16];
};

constexpr ChannelTerms MakeChannelTerms()
{
    ChannelTerms t{};
    for (int row = 0; row < 48; ++row)
    {
        const int base = row < 32 ? Expand5(row) : Expand4(row - 32);
        for (int j = 0; j < 4; ++j)
            for (int lane = 0; lane < 16; ++lane)
            {
                const int x = ClampByte(base + kEtc1Modifiers[lane % 8][j]);
                t.term[row][j][lane] = x * (x - 254);
            }
    }
    return t;
}
constexpr ChannelTerms kChannelTerms = MakeChannelTerms();

int TermRow(int code, bool differential) { return differential ? code : 32 + code; }

// The raw block: row y in bytes 16y .. 16y + 11.
__m512i LoadRaw(const Etc1Source& image, int x, int y)
{
    if (image.pixels != nullptr && x >= 0 && y >= 0 && x + 3 < image.width && y + 3 < image.height)
    {
        const size_t stride = static_cast<size_t>(image.width) * 3;
        const uint8_t* row = image.pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        // Twelve bytes per row: the masked loads never touch memory past the block's last pixel.
        const __m128i r0 = _mm_maskz_loadu_epi8(0x0FFF, row);
        const __m128i r1 = _mm_maskz_loadu_epi8(0x0FFF, row + stride);
        const __m128i r2 = _mm_maskz_loadu_epi8(0x0FFF, row + 2 * stride);
        const __m128i r3 = _mm_maskz_loadu_epi8(0x0FFF, row + 3 * stride);
        const __m256i lo = _mm256_inserti128_si256(_mm256_castsi128_si256(r0), r1, 1);
        const __m256i hi = _mm256_inserti128_si256(_mm256_castsi128_si256(r2), r3, 1);
        return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
    }
    const Etc1Pixels block = LoadEtc1Pixels(image, x, y);
    alignas(64) uint8_t raw[64] = {};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c) raw[RawByte(i, c)] = block.rgb[i][c];
    return _mm512_load_si512(raw);
}

// floor(v / 2040) for 0 <= v <= 64260: floor(floor(v / 8) / 255), the latter as ((w + 1) * 257) >> 16.
__m256i Divide2040(__m256i v)
{
    const __m256i w = _mm256_add_epi32(_mm256_srli_epi32(v, 3), _mm256_set1_epi32(1));
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_slli_epi32(w, 8), w), 16);
}

// Expansion to 8 bits: 5 bits (v << 3) | (v >> 2) in lanes 0-3, 4 bits (v << 4) | v in lanes 4-7.
__m256i ExpandLanes(__m256i v)
{
    return _mm256_or_si256(_mm256_sllv_epi32(v, _mm256_setr_epi32(3, 3, 3, 3, 4, 4, 4, 4)),
                           _mm256_srlv_epi32(v, _mm256_setr_epi32(2, 2, 2, 2, 0, 0, 0, 0)));
}

// (a - b)^2 for |a - b| < 2^15: one 16-bit multiply-add on the low halves.
__m256i SquaredDifference(__m256i a, __m256i b)
{
    const __m256i d = _mm256_and_si256(_mm256_sub_epi32(a, b), _mm256_set1_epi32(0xFFFF));
    return _mm256_madd_epi16(d, d);
}

// Products of small non-negative values (below 2^16 together) in the low 16 bits of each lane.
__m256i MultiplySmall(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }

// The averages rounded half away from zero: (sum x 31 / 8 + 0.5) / 255 and the same with 15.
void QuantiseAverage(const __m256i sum[3], int32_t out[3][8])
{
    const __m256i scale = _mm256_setr_epi32(31, 31, 31, 31, 15, 15, 15, 15);
    for (int c = 0; c < 3; ++c)
    {
        const __m256i scaled = MultiplySmall(sum[c], scale);  // at most 2040 x 31
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[c]),
                           Divide2040(_mm256_add_epi32(scaled, _mm256_set1_epi32(1020))));
    }
}

// The combined quantisation: rounded down or up per channel, whichever way the channel errors are most
// alike.
void QuantiseCombined(const __m256i sum[3], int32_t out[3][8])
{
    const __m256i scale = _mm256_setr_epi32(31, 31, 31, 31, 15, 15, 15, 15);
    __m256i lo[3], hi[3], errLo[3], errHi[3];
    for (int c = 0; c < 3; ++c)
    {
        lo[c] = Divide2040(MultiplySmall(sum[c], scale));
        hi[c] = _mm256_min_epi32(_mm256_add_epi32(lo[c], _mm256_set1_epi32(1)), scale);
        errLo[c] = _mm256_sub_epi32(_mm256_slli_epi32(ExpandLanes(lo[c]), 3), sum[c]);
        errHi[c] = _mm256_sub_epi32(_mm256_slli_epi32(ExpandLanes(hi[c]), 3), sum[c]);
    }
    // Squared differences of the channel errors (each below 2^9 in size), for each pair of channels and
    // each of lo / hi; the cost of a raise mask is the sum of its three.
    const __m256i* err[2][3] = {{&errLo[0], &errLo[1], &errLo[2]}, {&errHi[0], &errHi[1], &errHi[2]}};
    __m256i d01[2][2], d02[2][2], d12[2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
        {
            d01[a][b] = SquaredDifference(*err[a][0], *err[b][1]);
            d02[a][b] = SquaredDifference(*err[a][0], *err[b][2]);
            d12[a][b] = SquaredDifference(*err[a][1], *err[b][2]);
        }
    // Raise masks in the order they are compared: none, R, G, B, RG, RB, GB, RGB; a later one wins only
    // when strictly cheaper. A cost (below 2^18) times 8 plus the place in this order makes the first
    // cheapest the smallest number.
    static constexpr int kRaiseOrder[8] = {0, 1, 2, 4, 3, 5, 6, 7};
    __m256i keyed[8];
    for (int k = 0; k < 8; ++k)
    {
        const int mask = kRaiseOrder[k], r = mask & 1, g = (mask >> 1) & 1, b = (mask >> 2) & 1;
        const __m256i cost = _mm256_add_epi32(_mm256_add_epi32(d01[r][g], d02[r][b]), d12[g][b]);
        keyed[k] = _mm256_add_epi32(_mm256_slli_epi32(cost, 3), _mm256_set1_epi32(k));
    }
    for (int step = 4; step > 0; step /= 2)
        for (int k = 0; k < step; ++k) keyed[k] = _mm256_min_epi32(keyed[k], keyed[k + step]);
    __m256i winner = _mm256_permutevar8x32_epi32(_mm256_setr_epi32(0, 1, 2, 4, 3, 5, 6, 7),
                                                 _mm256_and_si256(keyed[0], _mm256_set1_epi32(7)));
    // 4 bits only: raising none or all is decided from the size of the lower colour's error.
    const __mmask8 uniform = _mm256_mask_cmpeq_epi32_mask(0xF0, winner, _mm256_setzero_si256()) |
                             _mm256_mask_cmpeq_epi32_mask(0xF0, winner, _mm256_set1_epi32(7));
    const __m256i lowError = _mm256_add_epi32(_mm256_add_epi32(SquaredDifference(errLo[0], _mm256_setzero_si256()),
                                                               SquaredDifference(errLo[1], _mm256_setzero_si256())),
                                              SquaredDifference(errLo[2], _mm256_setzero_si256()));
    const __mmask8 large = _mm256_cmpgt_epi32_mask(lowError, _mm256_set1_epi32(192 * 64));
    winner = _mm256_mask_mov_epi32(winner, uniform, _mm256_maskz_mov_epi32(large, _mm256_set1_epi32(7)));
    for (int c = 0; c < 3; ++c)
    {
        const __mmask8 raise = _mm256_test_epi32_mask(winner, _mm256_set1_epi32(1 << c));
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[c]), _mm256_mask_mov_epi32(lo[c], raise, hi[c]));
    }
}

struct HalfSearch
{
    int32_t error;  // the half error without its pixels' P
    int codeword;
};

// The vectors of one base for the codeword search: per modifier position the clamped base + modifier as
// bytes, and X of it, for the 8 codewords (twice, one copy per pixel of a pair).
struct BaseTerms
{
    __m512i x[4];
    __m512i terms[4];
};

BaseTerms MakeBaseTerms(Etc1Colour base, const int rows[3])
{
    BaseTerms t;
    const __m512i b = _mm512_set1_epi32(base.c[0] | base.c[1] << 8 | base.c[2] << 16);
    for (int j = 0; j < 4; ++j)
    {
        const __m512i size = _mm512_load_si512(kModifierQuads.size[j]);
        t.x[j] = j < 2 ? _mm512_subs_epu8(b, size) : _mm512_adds_epu8(b, size);
        t.terms[j] = _mm512_add_epi32(_mm512_add_epi32(_mm512_load_si512(kChannelTerms.term[rows[0]][j]),
                                                       _mm512_load_si512(kChannelTerms.term[rows[1]][j])),
                                      _mm512_load_si512(kChannelTerms.term[rows[2]][j]));
    }
    return t;
}

// Summed errors of the 8 codewords over a half: lanes 0-7 for the first pixel of each pair, 8-15 for the
// second.
__m512i HalfSums(const __m512i pairs[4], const BaseTerms& t)
{
    __m512i sum = _mm512_setzero_si512();
    for (int p = 0; p < 4; ++p)
    {
        __m512i e[4];
        for (int j = 0; j < 4; ++j)
            e[j] = _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(t.terms[j], t.x[j], pairs[p]), t.x[j], pairs[p]);
        sum = _mm512_add_epi32(sum, _mm512_min_epi32(_mm512_min_epi32(e[0], e[1]), _mm512_min_epi32(e[2], e[3])));
    }
    return sum;
}

// The codeword searches of two halves: per half the lowest summed error, the lowest codeword on ties.
void SearchHalves(const __m512i pairs0[4], const BaseTerms& t0, const __m512i pairs1[4], const BaseTerms& t1,
                  HalfSearch& out0, HalfSearch& out1)
{
    const __m512i a = HalfSums(pairs0, t0), b = HalfSums(pairs1, t1);
    // Lanes 0-7: the first half's codewords, 8-15: the second's.
    const __m512i sums = _mm512_add_epi32(_mm512_shuffle_i64x2(a, b, _MM_SHUFFLE(1, 0, 1, 0)),
                                          _mm512_shuffle_i64x2(a, b, _MM_SHUFFLE(3, 2, 3, 2)));
    __m512i m = _mm512_min_epi32(sums, _mm512_shuffle_epi32(sums, _MM_PERM_CDAB));
    m = _mm512_min_epi32(m, _mm512_shuffle_epi32(m, _MM_PERM_BADC));
    m = _mm512_min_epi32(m, _mm512_shuffle_i64x2(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
    const unsigned lowest = _mm512_cmpeq_epi32_mask(sums, m);
    out0 = {_mm_cvtsi128_si32(_mm512_castsi512_si128(m)), __builtin_ctz(lowest & 0xFFu)};
    out1 = {_mm_cvtsi128_si32(_mm512_extracti32x4_epi32(m, 2)), __builtin_ctz(lowest >> 8)};
}

struct SplitCode
{
    Etc1Colour q[2];
    bool differential;
    int rows[2][3];
    Etc1Colour base[2];
    HalfSearch search[2];
    int32_t error;
};

void MakeSplitCode(const int32_t quantised[3][8], int split, SplitCode& code)
{
    const int h0 = kSplitHalves[split][0], h1 = kSplitHalves[split][1];
    code.differential = true;
    for (int c = 0; c < 3; ++c)
    {
        const int d = quantised[c][h1] - quantised[c][h0];
        if (d < -4 || d > 3) code.differential = false;
    }
    const int lane = code.differential ? 0 : 4;
    for (int k = 0; k < 2; ++k)
    {
        const int h = kSplitHalves[split][k];
        for (int c = 0; c < 3; ++c)
        {
            code.q[k].c[c] = quantised[c][lane + h];
            code.rows[k][c] = TermRow(code.q[k].c[c], code.differential);
        }
        code.base[k] = ExpandEtc1(code.q[k], code.differential);
    }
}

// The index bits of a split: per pixel the first modifier of its half's codeword with the smallest error.
uint32_t AssignIndices(__m512i pixels, const SplitCode& code, bool flip)
{
    const __mmask16 second = flip ? 0xCCCC : 0xFF00;  // the pixels of the second half
    const __m512i base = _mm512_mask_blend_epi32(
        second, _mm512_set1_epi32(code.base[0].c[0] | code.base[0].c[1] << 8 | code.base[0].c[2] << 16),
        _mm512_set1_epi32(code.base[1].c[0] | code.base[1].c[1] << 8 | code.base[1].c[2] << 16));
    const int cw0 = code.search[0].codeword, cw1 = code.search[1].codeword;
    const __m512i lowBytes = _mm512_set1_epi32(0x00FF00FF);
    __m512i e[4];
    for (int j = 0; j < 4; ++j)
    {
        const __m512i size =
            _mm512_mask_blend_epi32(second, _mm512_set1_epi32(static_cast<int32_t>(kModifierQuads.size[j][cw0])),
                                    _mm512_set1_epi32(static_cast<int32_t>(kModifierQuads.size[j][cw1])));
        const __m512i x = j < 2 ? _mm512_subs_epu8(base, size) : _mm512_adds_epu8(base, size);
        // |x - p| per byte, then the squares of red and blue, and of green, by 16-bit multiply-adds.
        const __m512i d = _mm512_sub_epi8(_mm512_max_epu8(x, pixels), _mm512_min_epu8(x, pixels));
        const __m512i rb = _mm512_and_si512(d, lowBytes), g = _mm512_and_si512(_mm512_srli_epi32(d, 8), lowBytes);
        e[j] = _mm512_add_epi32(_mm512_madd_epi16(rb, rb), _mm512_madd_epi16(g, g));
    }
    const __m512i m = _mm512_min_epi32(_mm512_min_epi32(e[0], e[1]), _mm512_min_epi32(e[2], e[3]));
    const uint32_t eq0 = _mm512_cmpeq_epi32_mask(e[0], m), eq1 = _mm512_cmpeq_epi32_mask(e[1], m),
                   eq2 = _mm512_cmpeq_epi32_mask(e[2], m);
    // Positions 0 and 1 (index 3 and 2) set the high bit; positions 0 and 3 (index 3 and 1) the low bit.
    const uint32_t msb = eq0 | eq1;
    const uint32_t lsb = (eq0 | ~(eq0 | eq1 | eq2)) & 0xFFFFu;
    return msb << 16 | lsb;
}

}  // namespace

Etc1BlockWords CompressBlockETC1FastAvx512(const Etc1Source& image, int x, int y)
{
    const __m512i raw = LoadRaw(image, x, y);
    const __m512i pixels = _mm512_maskz_permutexvar_epi8(kQuadBytes, _mm512_load_si512(kQuadIndex.b), raw);
    const __m512i quads = _mm512_maskz_sub_epi8(kQuadBytes, _mm512_set1_epi8(127), pixels);

    // Channel sums of the halves (dword h * 3 + c of w), then one vector per channel with lane l holding
    // half l & 3.
    const __m512i zero = _mm512_setzero_si512();
    const __m512i s1 = _mm512_sad_epu8(_mm512_permutexvar_epi8(_mm512_load_si512(kPlanarIndex1.b), raw), zero);
    const __m512i s2 =
        _mm512_sad_epu8(_mm512_maskz_permutexvar_epi8(0xFFFFFFFFull, _mm512_load_si512(kPlanarIndex2.b), raw), zero);
    const __m512i w =
        _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(s1)), _mm512_cvtepi64_epi32(s2), 1);
    __m256i sum[3];
    for (int c = 0; c < 3; ++c)
    {
        const __m512i index = _mm512_setr_epi32(c, 3 + c, 6 + c, 9 + c, c, 3 + c, 6 + c, 9 + c, 0, 0, 0, 0, 0, 0, 0, 0);
        sum[c] = _mm512_castsi512_si256(_mm512_permutexvar_epi32(index, w));
    }
    alignas(32) int32_t average[3][8], combined[3][8];
    QuantiseAverage(sum, average);

    __m512i pairs[4][4];
    for (int h = 0; h < 4; ++h)
        for (int p = 0; p < 4; ++p)
            pairs[h][p] = _mm512_permutexvar_epi32(_mm512_load_si512(kPairIndex.lane[h][p]), quads);

    // Candidate 0 (average), both splits; then candidate 1 (combined), whose halves are searched again only
    // where their base differs from candidate 0's.
    SplitCode codes[2][2];
    BaseTerms terms[2][2];
    for (int split = 0; split < 2; ++split)
    {
        SplitCode& code = codes[0][split];
        MakeSplitCode(average, split, code);
        for (int k = 0; k < 2; ++k) terms[split][k] = MakeBaseTerms(code.base[k], code.rows[k]);
        SearchHalves(pairs[kSplitHalves[split][0]], terms[split][0], pairs[kSplitHalves[split][1]], terms[split][1],
                     code.search[0], code.search[1]);
        code.error = code.search[0].error + code.search[1].error;
    }
    QuantiseCombined(sum, combined);
    for (int split = 0; split < 2; ++split)
    {
        SplitCode& code = codes[1][split];
        const SplitCode& first = codes[0][split];
        MakeSplitCode(combined, split, code);
        const bool same0 = code.base[0] == first.base[0], same1 = code.base[1] == first.base[1];
        const int h0 = kSplitHalves[split][0], h1 = kSplitHalves[split][1];
        if (same0 && same1)
        {
            code.search[0] = first.search[0];
            code.search[1] = first.search[1];
        }
        else
        {
            // Both halves go through the search together; one that kept its base keeps its result.
            const BaseTerms t0 = same0 ? terms[split][0] : MakeBaseTerms(code.base[0], code.rows[0]);
            const BaseTerms t1 = same1 ? terms[split][1] : MakeBaseTerms(code.base[1], code.rows[1]);
            SearchHalves(pairs[h0], t0, pairs[h1], t1, code.search[0], code.search[1]);
        }
        code.error = code.search[0].error + code.search[1].error;
    }
    // The first of the four with the smallest error: within a candidate the flipped split needs a strictly
    // smaller error, and so does the combined candidate against the average one.
    int bestCandidate = 0, bestSplit = 0;
    int32_t best = codes[0][0].error;
    for (int candidate = 0; candidate < 2; ++candidate)
        for (int split = 0; split < 2; ++split)
            if (codes[candidate][split].error < best)
            {
                best = codes[candidate][split].error;
                bestCandidate = candidate;
                bestSplit = split;
            }
    const SplitCode& code = codes[bestCandidate][bestSplit];
    const bool flip = bestSplit == 1;
    Etc1BlockWords words;
    words.word1 =
        code.differential
            ? PackEtc1Differential(code.q[0], code.q[1], code.search[0].codeword, code.search[1].codeword, flip)
            : PackEtc1Individual(code.q[0], code.q[1], code.search[0].codeword, code.search[1].codeword, flip);
    words.word2 = AssignIndices(pixels, code, flip);
    return words;
}

#pragma GCC pop_options
