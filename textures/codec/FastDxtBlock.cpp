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

namespace {

struct Rgb
{
    int r, g, b;
};

// The 16 texels as floats, one array per channel, for four-texel vectors.
struct Planes
{
    alignas(16) float r[16];
    alignas(16) float g[16];
    alignas(16) float b[16];
};

Rgb Unpack565(uint16_t w)
{
    const int r = w >> 11, g = (w >> 5) & 63, b = w & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// Nearest code of the 5- and 6-bit grids (bit-replicated expansion).
int Nearest5(float v) { return v <= 0.0f ? 0 : v >= 255.0f ? 31 : (int(v + 0.5f) * 31 + 127) / 255; }
int Nearest6(float v) { return v <= 0.0f ? 0 : v >= 255.0f ? 63 : (int(v + 0.5f) * 63 + 127) / 255; }
uint16_t Pack565(float r, float g, float b) { return uint16_t(Nearest5(r) << 11 | Nearest6(g) << 5 | Nearest5(b)); }

// Nearest 4-colour palette entry per texel, four texels per vector; returns the squared error.
int AssignNearest(const Planes& px, uint16_t c0, uint16_t c1, uint8_t idx[16])
{
    const Rgb a = Unpack565(c0), b = Unpack565(c1);
    const Rgb pal[4] = {a,
                        b,
                        {(2 * a.r + b.r + 1) / 3, (2 * a.g + b.g + 1) / 3, (2 * a.b + b.b + 1) / 3},
                        {(a.r + 2 * b.r + 1) / 3, (a.g + 2 * b.g + 1) / 3, (a.b + 2 * b.b + 1) / 3}};
    __m128 total = _mm_setzero_ps();
    for (int g = 0; g < 16; g += 4)
    {
        const __m128 r = _mm_load_ps(px.r + g), gr = _mm_load_ps(px.g + g), bl = _mm_load_ps(px.b + g);
        __m128 best = _mm_set1_ps(1e30f);
        __m128i which = _mm_setzero_si128();
        for (int p = 0; p < 4; ++p)
        {
            const __m128 dr = _mm_sub_ps(r, _mm_set1_ps(float(pal[p].r)));
            const __m128 dg = _mm_sub_ps(gr, _mm_set1_ps(float(pal[p].g)));
            const __m128 db = _mm_sub_ps(bl, _mm_set1_ps(float(pal[p].b)));
            const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dr, dr), _mm_mul_ps(dg, dg)), _mm_mul_ps(db, db));
            const __m128i closer = _mm_castps_si128(_mm_cmplt_ps(d, best));
            best = _mm_min_ps(best, d);
            which = _mm_or_si128(_mm_and_si128(closer, _mm_set1_epi32(p)), _mm_andnot_si128(closer, which));
        }
        total = _mm_add_ps(total, best);
        // Pack the four 32-bit indices into bytes.
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(which, which), _mm_setzero_si128());
        const int32_t four = _mm_cvtsi128_si32(packed);
        std::memcpy(idx + g, &four, 4);
    }
    total = _mm_add_ps(total, _mm_movehl_ps(total, total));
    total = _mm_add_ss(total, _mm_shuffle_ps(total, total, 1));
    return int(_mm_cvtss_f32(total));
}

// Least-squares endpoints for fixed indices (index 0 weighs color0 fully, 2 two thirds, 3 one third).
bool RefitEndpoints(const Planes& px, const uint8_t idx[16], uint16_t* c0, uint16_t* c1)
{
    static constexpr float kWeight[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    alignas(16) float wa[16];
    for (int i = 0; i < 16; ++i) wa[i] = kWeight[idx[i]];
    __m128 aa = _mm_setzero_ps(), ab = aa, bb = aa, ar = aa, ag = aa, abl = aa, br = aa, bg = aa, bbl = aa;
    const __m128 one = _mm_set1_ps(1.0f);
    for (int g = 0; g < 16; g += 4)
    {
        const __m128 a = _mm_load_ps(wa + g), b = _mm_sub_ps(one, a);
        const __m128 r = _mm_load_ps(px.r + g), gr = _mm_load_ps(px.g + g), bl = _mm_load_ps(px.b + g);
        aa = _mm_add_ps(aa, _mm_mul_ps(a, a)), ab = _mm_add_ps(ab, _mm_mul_ps(a, b)),
        bb = _mm_add_ps(bb, _mm_mul_ps(b, b));
        ar = _mm_add_ps(ar, _mm_mul_ps(a, r)), ag = _mm_add_ps(ag, _mm_mul_ps(a, gr)),
        abl = _mm_add_ps(abl, _mm_mul_ps(a, bl));
        br = _mm_add_ps(br, _mm_mul_ps(b, r)), bg = _mm_add_ps(bg, _mm_mul_ps(b, gr)),
        bbl = _mm_add_ps(bbl, _mm_mul_ps(b, bl));
    }
    auto sum = [](__m128 v) {
        alignas(16) float f[4];
        _mm_store_ps(f, v);
        return (f[0] + f[1]) + (f[2] + f[3]);
    };
    const float AA = sum(aa), AB = sum(ab), BB = sum(bb);
    const float det = AA * BB - AB * AB;
    if (std::fabs(det) < 1e-6f) return false;
    const float inv = 1.0f / det;
    const float ax[3] = {sum(ar), sum(ag), sum(abl)}, bx[3] = {sum(br), sum(bg), sum(bbl)};
    float e0[3], e1[3];
    for (int c = 0; c < 3; ++c)
    {
        e0[c] = (ax[c] * BB - bx[c] * AB) * inv;
        e1[c] = (bx[c] * AA - ax[c] * AB) * inv;
    }
    *c0 = Pack565(e0[0], e0[1], e0[2]);
    *c1 = Pack565(e1[0], e1[1], e1[2]);
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

}  // namespace

void FastColorSSE2(const uint32_t texels[16], uint8_t block[8])
{
    bool flat = true;
    for (int i = 1; i < 16; ++i) flat &= ((texels[i] ^ texels[0]) & 0xFFFFFF) == 0;
    if (flat)
    {
        // One colour: its own quantised value in both fields, or the one-third interpolant of a
        // matched pair when that lands closer (most colours are not on the 5:6:5 grid).
        const Rgb c = {int((texels[0] >> 16) & 255), int((texels[0] >> 8) & 255), int(texels[0] & 255)};
        const uint16_t q = uint16_t(std::min(Quantise5(c.r), 31) << 11 | std::min(Quantise6(c.g), 63) << 5 |
                                    std::min(Quantise5(c.b), 31));
        const uint16_t m0 = uint16_t(kMatch5[c.r].e0 << 11 | kMatch6[c.g].e0 << 5 | kMatch5[c.b].e0);
        const uint16_t m1 = uint16_t(kMatch5[c.r].e1 << 11 | kMatch6[c.g].e1 << 5 | kMatch5[c.b].e1);
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
        return;
    }

    Planes px;
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    for (int g = 0; g < 16; g += 4)
    {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + g));
        _mm_store_ps(px.b + g, _mm_cvtepi32_ps(_mm_and_si128(t, lowByte)));
        _mm_store_ps(px.g + g, _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, 8), lowByte)));
        _mm_store_ps(px.r + g, _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(t, 16), lowByte)));
    }
    // Mean and covariance, then the principal axis by a few power-iteration steps.
    __m128 sr = _mm_setzero_ps(), sg = sr, sb = sr;
    for (int g = 0; g < 16; g += 4)
        sr = _mm_add_ps(sr, _mm_load_ps(px.r + g)), sg = _mm_add_ps(sg, _mm_load_ps(px.g + g)),
        sb = _mm_add_ps(sb, _mm_load_ps(px.b + g));
    auto hsum = [](__m128 v) {
        v = _mm_add_ps(v, _mm_movehl_ps(v, v));
        return _mm_cvtss_f32(_mm_add_ss(v, _mm_shuffle_ps(v, v, 1)));
    };
    const __m128 mr = _mm_set1_ps(hsum(sr) / 16.0f), mg = _mm_set1_ps(hsum(sg) / 16.0f),
                 mb = _mm_set1_ps(hsum(sb) / 16.0f);
    __m128 crr = _mm_setzero_ps(), crg = crr, crb = crr, cgg = crr, cgb = crr, cbb = crr;
    for (int g = 0; g < 16; g += 4)
    {
        const __m128 r = _mm_sub_ps(_mm_load_ps(px.r + g), mr), gr = _mm_sub_ps(_mm_load_ps(px.g + g), mg),
                     b = _mm_sub_ps(_mm_load_ps(px.b + g), mb);
        crr = _mm_add_ps(crr, _mm_mul_ps(r, r)), crg = _mm_add_ps(crg, _mm_mul_ps(r, gr));
        crb = _mm_add_ps(crb, _mm_mul_ps(r, b)), cgg = _mm_add_ps(cgg, _mm_mul_ps(gr, gr));
        cgb = _mm_add_ps(cgb, _mm_mul_ps(gr, b)), cbb = _mm_add_ps(cbb, _mm_mul_ps(b, b));
    }
    const float cov[6] = {hsum(crr), hsum(crg), hsum(crb), hsum(cgg), hsum(cgb), hsum(cbb)};
    float v[3] = {cov[0], cov[1], cov[2]};
    if (cov[3] > cov[0] && cov[3] >= cov[5])
        v[0] = cov[1], v[1] = cov[3], v[2] = cov[4];
    else if (cov[5] > cov[0] && cov[5] > cov[3])
        v[0] = cov[2], v[1] = cov[4], v[2] = cov[5];
    for (int it = 0; it < 4; ++it)
    {
        const float x = cov[0] * v[0] + cov[1] * v[1] + cov[2] * v[2];
        const float y = cov[1] * v[0] + cov[3] * v[1] + cov[4] * v[2];
        const float z = cov[2] * v[0] + cov[4] * v[1] + cov[5] * v[2];
        const float m = std::max({std::fabs(x), std::fabs(y), std::fabs(z)});
        if (!(m > 0.0f)) break;
        const float inv = 1.0f / m;
        v[0] = x * inv, v[1] = y * inv, v[2] = z * inv;
    }
    // The extreme texels along the axis are the first endpoints.
    int lo = 0, hi = 0;
    float tmin = 1e30f, tmax = -1e30f;
    for (int i = 0; i < 16; ++i)
    {
        const float t = px.r[i] * v[0] + px.g[i] * v[1] + px.b[i] * v[2];
        if (t < tmin) tmin = t, lo = i;
        if (t > tmax) tmax = t, hi = i;
    }
    uint16_t c0 = Pack565(px.r[hi], px.g[hi], px.b[hi]), c1 = Pack565(px.r[lo], px.g[lo], px.b[lo]);
    uint8_t idx[16];
    int error = AssignNearest(px, c0, c1, idx);
    // Up to two least-squares refits of the endpoints to the indices, each kept when it lowers the error.
    for (int pass = 0; pass < 2; ++pass)
    {
        uint16_t r0, r1;
        if (!RefitEndpoints(px, idx, &r0, &r1) || (r0 == c0 && r1 == c1)) break;
        uint8_t ridx[16];
        const int rerror = AssignNearest(px, r0, r1, ridx);
        if (rerror >= error) break;
        c0 = r0, c1 = r1, error = rerror;
        std::memcpy(idx, ridx, sizeof idx);
    }
    // Nearly flat blocks: try the mean colour as the one-third interpolant of a matched pair.
    if (error > 0 && (c0 == c1 || error <= 16 * 48))
    {
        const int r = int(_mm_cvtss_f32(mr) + 0.5f), g = int(_mm_cvtss_f32(mg) + 0.5f),
                  b = int(_mm_cvtss_f32(mb) + 0.5f);
        const uint16_t m0 = uint16_t(kMatch5[r].e0 << 11 | kMatch6[g].e0 << 5 | kMatch5[b].e0);
        const uint16_t m1 = uint16_t(kMatch5[r].e1 << 11 | kMatch6[g].e1 << 5 | kMatch5[b].e1);
        uint8_t midx[16];
        const int merror = AssignNearest(px, m0, m1, midx);
        if (merror < error)
        {
            c0 = m0, c1 = m1, error = merror;
            std::memcpy(idx, midx, sizeof idx);
        }
    }
    if (c0 == c1)
    {
        StoreBlock(c0, c1, 0, block);
        return;
    }
    static constexpr uint32_t kSwapped[4] = {1, 0, 3, 2};
    const bool swap = c0 < c1;
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) indices |= (swap ? kSwapped[idx[i]] : idx[i]) << (2 * i);
    StoreBlock(swap ? c1 : c0, swap ? c0 : c1, indices, block);
}
