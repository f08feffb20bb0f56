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

VELMAR_TARGET_BEGIN("avx512f,avx512bw,avx512dq,avx512vl,avx512vnni,avx512vbmi")

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

// The raw block: row y in bytes 16y .. 16y + 11.
__attribute__((always_inline)) inline __m512i LoadRaw(const Etc1Source& image, int x, int y)
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

// The quantisers work on two blocks at once: lanes 0-7 belong to the first block, 8-15 to the second; in
// each group lanes 0-3 hold the four halves in 5 bits, lanes 4-7 the same in 4 bits.
constexpr __mmask16 kFourBitLanes = 0xF0F0;

__attribute__((always_inline)) inline __m512i Scales()
{
    return _mm512_setr_epi32(31, 31, 31, 31, 15, 15, 15, 15, 31, 31, 31, 31, 15, 15, 15, 15);
}

// floor(v / 2040) for 0 <= v <= 64260: floor(floor(v / 8) / 255), the latter as ((w + 1) * 257) >> 16.
__attribute__((always_inline)) inline __m512i Divide2040(__m512i v)
{
    const __m512i w = _mm512_add_epi32(_mm512_srli_epi32(v, 3), _mm512_set1_epi32(1));
    return _mm512_srli_epi32(_mm512_add_epi32(_mm512_slli_epi32(w, 8), w), 16);
}

// Expansion to 8 bits: 5 bits (v << 3) | (v >> 2), 4 bits (v << 4) | v.
__attribute__((always_inline)) inline __m512i ExpandLanes(__m512i v)
{
    return _mm512_mask_mov_epi32(_mm512_or_si512(_mm512_slli_epi32(v, 3), _mm512_srli_epi32(v, 2)), kFourBitLanes,
                                 _mm512_or_si512(_mm512_slli_epi32(v, 4), v));
}

// (a - b)^2 for |a - b| < 2^15: one 16-bit multiply-add on the low halves.
__attribute__((always_inline)) inline __m512i SquaredDifference(__m512i a, __m512i b)
{
    const __m512i d = _mm512_and_si512(_mm512_sub_epi32(a, b), _mm512_set1_epi32(0xFFFF));
    return _mm512_madd_epi16(d, d);
}

// Products of small non-negative values (below 2^16 together) in the low 16 bits of each lane.
__attribute__((always_inline)) inline __m512i MultiplySmall(__m512i a, __m512i b) { return _mm512_mullo_epi16(a, b); }

// The averages rounded half away from zero: (sum x 31 / 8 + 0.5) / 255 and the same with 15.
__attribute__((always_inline)) inline void QuantiseAverage(const __m512i sum[3], __m512i out[3])
{
    for (int c = 0; c < 3; ++c)
    {
        const __m512i scaled = MultiplySmall(sum[c], Scales());  // at most 2040 x 31
        out[c] = Divide2040(_mm512_add_epi32(scaled, _mm512_set1_epi32(1020)));
    }
}

// The combined quantisation: rounded down or up per channel, whichever way the channel errors are most
// alike.
__attribute__((always_inline)) inline void QuantiseCombined(const __m512i sum[3], __m512i out[3])
{
    __m512i lo[3], hi[3], errLo[3], errHi[3];
    for (int c = 0; c < 3; ++c)
    {
        lo[c] = Divide2040(MultiplySmall(sum[c], Scales()));
        hi[c] = _mm512_min_epi32(_mm512_add_epi32(lo[c], _mm512_set1_epi32(1)), Scales());
        errLo[c] = _mm512_sub_epi32(_mm512_slli_epi32(ExpandLanes(lo[c]), 3), sum[c]);
        errHi[c] = _mm512_sub_epi32(_mm512_slli_epi32(ExpandLanes(hi[c]), 3), sum[c]);
    }
    // Squared differences of the channel errors (each below 2^9 in size), for each pair of channels and
    // each of lo / hi; the cost of a raise mask is the sum of its three.
    const __m512i* err[2][3] = {{&errLo[0], &errLo[1], &errLo[2]}, {&errHi[0], &errHi[1], &errHi[2]}};
    __m512i d01[2][2], d02[2][2], d12[2][2];
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
    __m512i keyed[8];
    for (int k = 0; k < 8; ++k)
    {
        const int mask = kRaiseOrder[k], r = mask & 1, g = (mask >> 1) & 1, b = (mask >> 2) & 1;
        const __m512i cost = _mm512_add_epi32(_mm512_add_epi32(d01[r][g], d02[r][b]), d12[g][b]);
        keyed[k] = _mm512_add_epi32(_mm512_slli_epi32(cost, 3), _mm512_set1_epi32(k));
    }
    for (int step = 4; step > 0; step /= 2)
        for (int k = 0; k < step; ++k) keyed[k] = _mm512_min_epi32(keyed[k], keyed[k + step]);
    // Place in the order (0..7) to raise mask; lanes 0-7 of the table serve every lane.
    __m512i winner = _mm512_permutexvar_epi32(_mm512_and_si512(keyed[0], _mm512_set1_epi32(7)),
                                              _mm512_setr_epi32(0, 1, 2, 4, 3, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0));
    // 4 bits only: raising none or all is decided from the size of the lower colour's error.
    const __mmask16 uniform = _mm512_mask_cmpeq_epi32_mask(kFourBitLanes, winner, _mm512_setzero_si512()) |
                              _mm512_mask_cmpeq_epi32_mask(kFourBitLanes, winner, _mm512_set1_epi32(7));
    const __m512i lowError = _mm512_add_epi32(_mm512_add_epi32(SquaredDifference(errLo[0], _mm512_setzero_si512()),
                                                               SquaredDifference(errLo[1], _mm512_setzero_si512())),
                                              SquaredDifference(errLo[2], _mm512_setzero_si512()));
    const __mmask16 large = _mm512_cmpgt_epi32_mask(lowError, _mm512_set1_epi32(192 * 64));
    winner = _mm512_mask_mov_epi32(winner, uniform, _mm512_maskz_mov_epi32(large, _mm512_set1_epi32(7)));
    for (int c = 0; c < 3; ++c)
    {
        const __mmask16 raise = _mm512_test_epi32_mask(winner, _mm512_set1_epi32(1 << c));
        out[c] = _mm512_mask_mov_epi32(lo[c], raise, hi[c]);
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

// Summed errors of the 8 codewords over a half: lanes 0-7 for the first pixel of each pair, 8-15 for the
// second.
__attribute__((always_inline)) inline __m512i HalfSums(const __m512i pairs[4], const BaseTerms& t)
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
__attribute__((always_inline)) inline void SearchHalves(const __m512i pairs0[4], const BaseTerms& t0,
                                                        const __m512i pairs1[4], const BaseTerms& t1, HalfSearch& out0,
                                                        HalfSearch& out1)
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

// The bases one candidate gives the four halves of two blocks (lanes h and 8 + h): per block and split
// whether it is differential, and per half the quantised code per channel, the expanded base packed as
// bytes (R, G, B, 0) and the rows of its channels' X terms.
struct CandidateBases
{
    bool differential[2][2];
    alignas(64) int32_t code[3][16];
    alignas(64) int32_t base[16];
    alignas(64) int32_t row[3][16];
};

// A split is differential when every channel's difference of the 5-bit codes (second half minus first)
// lies in -4..3; its halves then take the 5-bit codes, else the 4-bit ones.
__attribute__((always_inline)) inline void ChooseBases(const __m512i q[3], CandidateBases& out)
{
    // Lanes 0 and 8: split 0 (halves 0 and 1), lanes 2 and 10: split 1 (halves 2 and 3).
    const __m512i second = _mm512_setr_epi32(1, 1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11, 13, 13, 15, 15);
    __mmask16 within = 0xFFFF;
    for (int c = 0; c < 3; ++c)
    {
        const __m512i d = _mm512_sub_epi32(_mm512_permutexvar_epi32(second, q[c]), q[c]);
        within &= _mm512_cmpge_epi32_mask(d, _mm512_set1_epi32(-4)) & _mm512_cmple_epi32_mask(d, _mm512_set1_epi32(3));
    }
    __mmask16 fiveBits = 0;
    for (int block = 0; block < 2; ++block)
        for (int split = 0; split < 2; ++split)
        {
            out.differential[block][split] = ((within >> (8 * block + 2 * split)) & 1) != 0;
            if (out.differential[block][split]) fiveBits |= __mmask16(0x3u << (8 * block + 2 * split));
        }
    const __m512i lane =
        _mm512_mask_mov_epi32(_mm512_setr_epi32(4, 5, 6, 7, 4, 5, 6, 7, 12, 13, 14, 15, 12, 13, 14, 15), fiveBits,
                              _mm512_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3, 8, 9, 10, 11, 8, 9, 10, 11));
    __m512i base = _mm512_setzero_si512();
    for (int c = 0; c < 3; ++c)
    {
        const __m512i code = _mm512_permutexvar_epi32(lane, q[c]);
        const __m512i expanded =
            _mm512_mask_mov_epi32(_mm512_or_si512(_mm512_slli_epi32(code, 4), code), fiveBits,
                                  _mm512_or_si512(_mm512_slli_epi32(code, 3), _mm512_srli_epi32(code, 2)));
        base = _mm512_or_si512(base, _mm512_slli_epi32(expanded, 8 * c));
        _mm512_store_si512(out.code[c], code);
        _mm512_store_si512(out.row[c],
                           _mm512_mask_mov_epi32(_mm512_add_epi32(code, _mm512_set1_epi32(32)), fiveBits, code));
    }
    _mm512_store_si512(out.base, base);
}

// `half` counts the halves of both blocks (8 x block + half).
__attribute__((always_inline)) inline BaseTerms TermsOfHalf(const CandidateBases& bases, int half)
{
    BaseTerms t;
    const __m512i b = _mm512_set1_epi32(bases.base[half]);
    for (int j = 0; j < 4; ++j)
    {
        const __m512i size = _mm512_load_si512(kModifierQuads.size[j]);
        t.x[j] = j < 2 ? _mm512_subs_epu8(b, size) : _mm512_adds_epu8(b, size);
        t.terms[j] = _mm512_add_epi32(_mm512_add_epi32(_mm512_load_si512(kChannelTerms.term[bases.row[0][half]][j]),
                                                       _mm512_load_si512(kChannelTerms.term[bases.row[1][half]][j])),
                                      _mm512_load_si512(kChannelTerms.term[bases.row[2][half]][j]));
    }
    return t;
}

// The index bits of a split: per pixel the first modifier of its half's codeword with the smallest error.
__attribute__((always_inline)) inline uint32_t AssignIndices(__m512i pixels, int32_t base0, int32_t base1, int cw0,
                                                             int cw1, bool flip)
{
    const __mmask16 second = flip ? 0xCCCC : 0xFF00;  // the pixels of the second half
    const __m512i base = _mm512_mask_blend_epi32(second, _mm512_set1_epi32(base0), _mm512_set1_epi32(base1));
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

// Word 1 of a block (as PackEtc1Differential and PackEtc1Individual, here so that the vector state stays
// in the registers).
__attribute__((always_inline)) inline uint32_t PackWord1(const CandidateBases& b, int h0, int h1, int cw0, int cw1,
                                                         bool differential, bool flip)
{
    uint32_t w = 0;
    for (int c = 0; c < 3; ++c)
    {
        const uint32_t first = static_cast<uint32_t>(b.code[c][h0]), second = static_cast<uint32_t>(b.code[c][h1]);
        w |= (differential ? (first << 3) | ((second - first) & 7u) : (first << 4) | second) << (24 - 8 * c);
    }
    return w | (static_cast<uint32_t>(cw0) << 5) | (static_cast<uint32_t>(cw1) << 2) | (differential ? 2u : 0u) |
           (flip ? 1u : 0u);
}

// What a block's encoding needs of its pixels.
struct BlockPixels
{
    __m512i pixels;  // pixel i as the dword (R, G, B, 0)
    __m512i quads;   // the same as 127 - p, signed bytes
    __m256i sum[3];  // channel sums of the halves, lane h (and 4 + h)
};

__attribute__((always_inline)) inline BlockPixels ReadBlock(const Etc1Source& image, int x, int y)
{
    BlockPixels b;
    const __m512i raw = LoadRaw(image, x, y);
    b.pixels = _mm512_maskz_permutexvar_epi8(kQuadBytes, _mm512_load_si512(kQuadIndex.b), raw);
    b.quads = _mm512_maskz_sub_epi8(kQuadBytes, _mm512_set1_epi8(127), b.pixels);
    // Channel sums of the halves (dword h * 3 + c of w), then one vector per channel with lane l holding
    // half l & 3.
    const __m512i zero = _mm512_setzero_si512();
    const __m512i s1 = _mm512_sad_epu8(_mm512_permutexvar_epi8(_mm512_load_si512(kPlanarIndex1.b), raw), zero);
    const __m512i s2 =
        _mm512_sad_epu8(_mm512_maskz_permutexvar_epi8(0xFFFFFFFFull, _mm512_load_si512(kPlanarIndex2.b), raw), zero);
    const __m512i w =
        _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(s1)), _mm512_cvtepi64_epi32(s2), 1);
    for (int c = 0; c < 3; ++c)
    {
        const __m512i index = _mm512_setr_epi32(c, 3 + c, 6 + c, 9 + c, c, 3 + c, 6 + c, 9 + c, 0, 0, 0, 0, 0, 0, 0, 0);
        b.sum[c] = _mm512_castsi512_si256(_mm512_permutexvar_epi32(index, w));
    }
    return b;
}

// Both candidates' bases for two blocks: candidate 0 the averages rounded, candidate 1 the combined
// quantisation.
__attribute__((always_inline)) inline void QuantiseBlocks(const BlockPixels& first, const BlockPixels& second,
                                                          CandidateBases bases[2])
{
    __m512i sum[3], q[3];
    for (int c = 0; c < 3; ++c) sum[c] = _mm512_inserti64x4(_mm512_castsi256_si512(first.sum[c]), second.sum[c], 1);
    QuantiseAverage(sum, q);
    ChooseBases(q, bases[0]);
    QuantiseCombined(sum, q);
    ChooseBases(q, bases[1]);
}

__attribute__((always_inline)) inline Etc1BlockWords EncodeBlock(const BlockPixels& block,
                                                                 const CandidateBases bases[2], int slot)
{
    __m512i pairs[4][4];
    for (int h = 0; h < 4; ++h)
        for (int p = 0; p < 4; ++p)
            pairs[h][p] = _mm512_permutexvar_epi32(_mm512_load_si512(kPairIndex.lane[h][p]), block.quads);

    // The searches of candidate 0's halves; candidate 1's halves are searched again only where their base
    // differs from candidate 0's (the search depends on the half's pixels and base alone).
    const int o = 8 * slot;
    HalfSearch search[2][4];
    for (int split = 0; split < 2; ++split)
    {
        const int h0 = kSplitHalves[split][0], h1 = kSplitHalves[split][1];
        const BaseTerms t0 = TermsOfHalf(bases[0], o + h0), t1 = TermsOfHalf(bases[0], o + h1);
        SearchHalves(pairs[h0], t0, pairs[h1], t1, search[0][h0], search[0][h1]);
        const bool same0 = bases[1].base[o + h0] == bases[0].base[o + h0];
        const bool same1 = bases[1].base[o + h1] == bases[0].base[o + h1];
        if (same0 && same1)
        {
            search[1][h0] = search[0][h0];
            search[1][h1] = search[0][h1];
        }
        else
        {
            // Both halves go through the search together; one that kept its base keeps its result.
            SearchHalves(pairs[h0], same0 ? t0 : TermsOfHalf(bases[1], o + h0), pairs[h1],
                         same1 ? t1 : TermsOfHalf(bases[1], o + h1), search[1][h0], search[1][h1]);
        }
    }
    // The first of the four with the smallest error: within a candidate the flipped split needs a strictly
    // smaller error, and so does the combined candidate against the average one.
    int bestCandidate = 0, bestSplit = 0;
    int32_t best = search[0][0].error + search[0][1].error;
    for (int candidate = 0; candidate < 2; ++candidate)
        for (int split = 0; split < 2; ++split)
        {
            const int32_t error = search[candidate][2 * split].error + search[candidate][2 * split + 1].error;
            if (error < best)
            {
                best = error;
                bestCandidate = candidate;
                bestSplit = split;
            }
        }
    const CandidateBases& b = bases[bestCandidate];
    const int h0 = kSplitHalves[bestSplit][0], h1 = kSplitHalves[bestSplit][1];
    const bool flip = bestSplit == 1;
    const int cw0 = search[bestCandidate][h0].codeword, cw1 = search[bestCandidate][h1].codeword;
    Etc1BlockWords words;
    words.word1 = PackWord1(b, o + h0, o + h1, cw0, cw1, b.differential[slot][bestSplit], flip);
    words.word2 = AssignIndices(block.pixels, b.base[o + h0], b.base[o + h1], cw0, cw1, flip);
    return words;
}

}  // namespace

Etc1BlockWords CompressBlockETC1FastAvx512(const Etc1Source& image, int x, int y)
{
    const BlockPixels block = ReadBlock(image, x, y);
    CandidateBases bases[2];
    QuantiseBlocks(block, block, bases);
    return EncodeBlock(block, bases, 0);
}

void CompressBlockPairETC1FastAvx512(const Etc1Source& image, const int xy[4], Etc1BlockWords words[2])
{
    const BlockPixels first = ReadBlock(image, xy[0], xy[1]);
    const BlockPixels second = ReadBlock(image, xy[2], xy[3]);
    CandidateBases bases[2];
    QuantiseBlocks(first, second, bases);
    words[0] = EncodeBlock(first, bases, 0);
    words[1] = EncodeBlock(second, bases, 1);
}

VELMAR_TARGET_END
