#include "textures/codec/FastDxtBlock.h"

#include <xmmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

int Quantise5(int v) { return (v + 4 - (v >> 5)) >> 3; }
int Quantise6(int v) { return (v + 2 - (v >> 6)) >> 2; }

void StoreBlock(uint16_t c0, uint16_t c1, uint32_t indices, uint8_t block[8]) {
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &indices, 4);
}

// Position class of a texel: 0 far minus side, 1 near minus, 2 near plus, 3 far plus.
inline int Side(float p, float twoThirds) {
    const bool plus = p >= 0.0f;
    const bool far = std::fabs(p) > twoThirds;
    return (plus ? 2 : 0) + (far == plus ? 1 : 0);
}

void FastColor(const uint32_t texels[16], uint8_t block[8]) {
    float ch[3][16];  // B' = (B + G) / 2, G, R
    float sum[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const uint32_t t = texels[i];
        const float b = float(t & 255), g = float((t >> 8) & 255), r = float((t >> 16) & 255);
        ch[0][i] = (b + g) * 0.5f;
        ch[1][i] = g;
        ch[2][i] = r;
        sum[0] += ch[0][i], sum[1] += g, sum[2] += r;
    }
    float mean[3], mad[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) mean[c] = sum[c] * (1.0f / 16.0f);
    float sb = 0.0f, sr = 0.0f, sx = 0.0f;
    for (int i = 0; i < 16; ++i) {
        const float d0 = ch[0][i] - mean[0], d1 = ch[1][i] - mean[1], d2 = ch[2][i] - mean[2];
        mad[0] += std::fabs(d0), mad[1] += std::fabs(d1), mad[2] += std::fabs(d2);
        if (d0 >= 0.0f) sb += d1;
        if (d2 >= 0.0f) sr += d1, sx += d0;
    }
    float dir[3] = {mad[0] * (1.0f / 16.0f), mad[1] * (1.0f / 16.0f), mad[2] * (1.0f / 16.0f)};
    if (sb != 0.0f || sr != 0.0f) {
        if (sb < 0.0f) dir[0] = -dir[0];
        if (sr < 0.0f) dir[2] = -dir[2];
    } else if (sx < 0.0f) {
        dir[0] = -dir[0];
    }
    const float len2 = dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2];
    if (len2 > 0.0f) {
        float r = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(len2)));
        r = r * (3.0f - r * len2 * r) * 0.5f;
        for (float& v : dir) v *= r;
    } else {
        dir[0] = dir[1] = dir[2] = 0.0f;
    }

    float t[16], tmin = 10000.0f, tmax = -10000.0f;
    for (int i = 0; i < 16; ++i) {
        t[i] = (ch[0][i] - mean[0]) * dir[0] + (ch[1][i] - mean[1]) * dir[1] + (ch[2][i] - mean[2]) * dir[2];
        tmin = std::min(tmin, t[i]);
        tmax = std::max(tmax, t[i]);
    }
    tmin = std::max(tmin, -10000.0f);
    tmax = std::min(tmax, 10000.0f);
    const float mid = (tmin + tmax) * 0.5f;
    for (float& v : t) v -= mid;
    float h = (tmax - tmin) * 0.5f, kept = h, previous = 10000000.0f;
    for (int iteration = 0; iteration < 256; ++iteration) {
        const float twoThirds = h * (2.0f / 3.0f), third = h * (1.0f / 3.0f);
        float s = 0.0f;
        for (int i = 0; i < 16; ++i) {
            const float a = std::fabs(t[i]);
            const float e = a - (a > twoThirds ? h : third);
            s += e * e;
        }
        if (!(s < previous - 5.0f)) break;
        kept = h;
        previous = s;
        h *= 0.95f;
    }

    int code[2][3];  // [minus, plus] endpoint; R5, G6, B5
    for (int e = 0; e < 2; ++e) {
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
    if (minus != plus) {
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

void FastColorSSE(const uint32_t texels[16], uint8_t block[8]) { FastColor(texels, block); }

namespace {

struct Rgb {
    int r, g, b;
};

// Nearest code of the 5- and 6-bit grids (bit-replicated expansion).
int Nearest5(int v) { return (v * 31 + 127) / 255; }
int Nearest6(int v) { return (v * 63 + 127) / 255; }
uint16_t Pack565(const Rgb& c) { return uint16_t(Nearest5(c.r) << 11 | Nearest6(c.g) << 5 | Nearest5(c.b)); }

Rgb Unpack565(uint16_t w) {
    const int r = w >> 11, g = (w >> 5) & 63, b = w & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

int Clamp255(float v) { return v <= 0.0f ? 0 : v >= 255.0f ? 255 : int(v + 0.5f); }

// Nearest 4-colour palette entry per texel, four texels per vector; returns the squared error.
int AssignNearest(const Rgb px[16], uint16_t c0, uint16_t c1, uint8_t idx[16]) {
    const Rgb a = Unpack565(c0), b = Unpack565(c1);
    const Rgb pal[4] = {a, b, {(2 * a.r + b.r + 1) / 3, (2 * a.g + b.g + 1) / 3, (2 * a.b + b.b + 1) / 3},
                        {(a.r + 2 * b.r + 1) / 3, (a.g + 2 * b.g + 1) / 3, (a.b + 2 * b.b + 1) / 3}};
    __m128 total = _mm_setzero_ps();
    for (int g = 0; g < 16; g += 4) {
        const __m128 r = _mm_setr_ps(float(px[g].r), float(px[g + 1].r), float(px[g + 2].r), float(px[g + 3].r));
        const __m128 gr = _mm_setr_ps(float(px[g].g), float(px[g + 1].g), float(px[g + 2].g), float(px[g + 3].g));
        const __m128 bl = _mm_setr_ps(float(px[g].b), float(px[g + 1].b), float(px[g + 2].b), float(px[g + 3].b));
        __m128 best = _mm_set1_ps(1e30f), which = _mm_setzero_ps();
        for (int p = 0; p < 4; ++p) {
            const __m128 dr = _mm_sub_ps(r, _mm_set1_ps(float(pal[p].r)));
            const __m128 dg = _mm_sub_ps(gr, _mm_set1_ps(float(pal[p].g)));
            const __m128 db = _mm_sub_ps(bl, _mm_set1_ps(float(pal[p].b)));
            const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dr, dr), _mm_mul_ps(dg, dg)), _mm_mul_ps(db, db));
            const __m128 closer = _mm_cmplt_ps(d, best);
            best = _mm_min_ps(best, d);
            which = _mm_or_ps(_mm_and_ps(closer, _mm_set1_ps(float(p))), _mm_andnot_ps(closer, which));
        }
        total = _mm_add_ps(total, best);
        float w[4];
        _mm_storeu_ps(w, which);
        for (int k = 0; k < 4; ++k) idx[g + k] = uint8_t(w[k]);
    }
    float t[4];
    _mm_storeu_ps(t, total);
    return int(t[0] + t[1] + t[2] + t[3]);
}

// Least-squares endpoints for fixed indices (index 0 weighs color0 fully, 2 two thirds, 3 one third).
bool RefitEndpoints(const Rgb px[16], const uint8_t idx[16], uint16_t* c0, uint16_t* c1) {
    static constexpr float kWeight[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    float aa = 0, ab = 0, bb = 0, ax[3] = {0, 0, 0}, bx[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const float a = kWeight[idx[i]], b = 1.0f - a;
        aa += a * a, ab += a * b, bb += b * b;
        const float v[3] = {float(px[i].r), float(px[i].g), float(px[i].b)};
        for (int c = 0; c < 3; ++c) ax[c] += a * v[c], bx[c] += b * v[c];
    }
    const float det = aa * bb - ab * ab;
    if (std::fabs(det) < 1e-6f) return false;
    const float inv = 1.0f / det;
    int e0[3], e1[3];
    for (int c = 0; c < 3; ++c) {
        e0[c] = Clamp255((ax[c] * bb - bx[c] * ab) * inv);
        e1[c] = Clamp255((bx[c] * aa - ax[c] * ab) * inv);
    }
    *c0 = Pack565({e0[0], e0[1], e0[2]});
    *c1 = Pack565({e1[0], e1[1], e1[2]});
    return true;
}

// For every 8-bit value the pair of codes whose one-third interpolant (2 e0 + e1 + 1) / 3 comes
// closest: a nearly flat block is better served by that interpolant than by its own quantised colour.
struct SingleMatch {
    uint8_t e0, e1;
};
template <int Bits>
std::array<SingleMatch, 256> MakeSingleMatch() {
    std::array<SingleMatch, 256> table{};
    constexpr int top = (1 << Bits) - 1;
    for (int v = 0; v < 256; ++v) {
        int best = 1 << 30;
        for (int a = 0; a <= top; ++a)
            for (int b = 0; b <= top; ++b) {
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

void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]) {
    Rgb px[16];
    int sum[3] = {0, 0, 0};
    bool flat = true;
    for (int i = 0; i < 16; ++i) {
        px[i] = {int((texels[i] >> 16) & 255), int((texels[i] >> 8) & 255), int(texels[i] & 255)};
        sum[0] += px[i].r, sum[1] += px[i].g, sum[2] += px[i].b;
        flat &= ((texels[i] ^ texels[0]) & 0xFFFFFF) == 0;
    }
    if (flat) {
        // One colour: its own quantised value in both fields, or the one-third interpolant of a
        // matched pair when that lands closer (most colours are not on the 5:6:5 grid).
        const Rgb c = px[0];
        const uint16_t q = uint16_t(std::min(Quantise5(c.r), 31) << 11 | std::min(Quantise6(c.g), 63) << 5 |
                                    std::min(Quantise5(c.b), 31));
        const uint16_t m0 = uint16_t(kMatch5[c.r].e0 << 11 | kMatch6[c.g].e0 << 5 | kMatch5[c.b].e0);
        const uint16_t m1 = uint16_t(kMatch5[c.r].e1 << 11 | kMatch6[c.g].e1 << 5 | kMatch5[c.b].e1);
        auto distance = [&c](const Rgb& p) {
            return (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) + (p.b - c.b) * (p.b - c.b);
        };
        const Rgb a = Unpack565(m0), b = Unpack565(m1);
        const Rgb third = {(2 * a.r + b.r + 1) / 3, (2 * a.g + b.g + 1) / 3, (2 * a.b + b.b + 1) / 3};
        if (m0 == m1 || distance(Unpack565(q)) <= distance(third)) {
            StoreBlock(q, q, 0, block);
        } else {
            // Index 2 is the interpolant next to color0; with the words swapped it is index 3.
            StoreBlock(std::max(m0, m1), std::min(m0, m1), m0 > m1 ? 0xAAAAAAAAu : 0xFFFFFFFFu, block);
        }
        return;
    }
    // Principal axis of the colours by a few power-iteration steps on their covariance.
    const float mean[3] = {sum[0] / 16.0f, sum[1] / 16.0f, sum[2] / 16.0f};
    float cov[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const float r = float(px[i].r) - mean[0], g = float(px[i].g) - mean[1], b = float(px[i].b) - mean[2];
        cov[0] += r * r, cov[1] += r * g, cov[2] += r * b, cov[3] += g * g, cov[4] += g * b, cov[5] += b * b;
    }
    float v[3] = {cov[0], cov[1], cov[2]};
    if (cov[3] > cov[0] && cov[3] >= cov[5]) v[0] = cov[1], v[1] = cov[3], v[2] = cov[4];
    else if (cov[5] > cov[0] && cov[5] > cov[3]) v[0] = cov[2], v[1] = cov[4], v[2] = cov[5];
    for (int it = 0; it < 4; ++it) {
        const float x = cov[0] * v[0] + cov[1] * v[1] + cov[2] * v[2];
        const float y = cov[1] * v[0] + cov[3] * v[1] + cov[4] * v[2];
        const float z = cov[2] * v[0] + cov[4] * v[1] + cov[5] * v[2];
        const float m = std::max({std::fabs(x), std::fabs(y), std::fabs(z)});
        if (!(m > 0.0f)) break;
        v[0] = x / m, v[1] = y / m, v[2] = z / m;
    }
    // The extreme texels along the axis are the first endpoints.
    int lo = 0, hi = 0;
    float tmin = 1e30f, tmax = -1e30f;
    for (int i = 0; i < 16; ++i) {
        const float t = float(px[i].r) * v[0] + float(px[i].g) * v[1] + float(px[i].b) * v[2];
        if (t < tmin) tmin = t, lo = i;
        if (t > tmax) tmax = t, hi = i;
    }
    uint16_t c0 = Pack565(px[hi]), c1 = Pack565(px[lo]);
    uint8_t idx[16];
    int error = AssignNearest(px, c0, c1, idx);
    // Up to two least-squares refits of the endpoints to the indices, each kept when it lowers the error.
    for (int pass = 0; pass < 2; ++pass) {
        uint16_t r0, r1;
        if (!RefitEndpoints(px, idx, &r0, &r1) || (r0 == c0 && r1 == c1)) break;
        uint8_t ridx[16];
        const int rerror = AssignNearest(px, r0, r1, ridx);
        if (rerror >= error) break;
        c0 = r0, c1 = r1, error = rerror;
        std::memcpy(idx, ridx, sizeof idx);
    }
    // Nearly flat blocks: try the mean colour as the one-third interpolant of a matched pair.
    if (error > 0 && (c0 == c1 || error <= 16 * 48)) {
        const int r = (sum[0] + 8) >> 4, g = (sum[1] + 8) >> 4, b = (sum[2] + 8) >> 4;
        const uint16_t m0 = uint16_t(kMatch5[r].e0 << 11 | kMatch6[g].e0 << 5 | kMatch5[b].e0);
        const uint16_t m1 = uint16_t(kMatch5[r].e1 << 11 | kMatch6[g].e1 << 5 | kMatch5[b].e1);
        uint8_t midx[16];
        const int merror = AssignNearest(px, m0, m1, midx);
        if (merror < error) {
            c0 = m0, c1 = m1, error = merror;
            std::memcpy(idx, midx, sizeof idx);
        }
    }
    uint32_t indices = 0;
    if (c0 == c1) {
        StoreBlock(c0, c1, 0, block);
        return;
    }
    static constexpr uint32_t kSwapped[4] = {1, 0, 3, 2};
    const bool swap = c0 < c1;
    for (int i = 0; i < 16; ++i) indices |= (swap ? kSwapped[idx[i]] : idx[i]) << (2 * i);
    StoreBlock(swap ? c1 : c0, swap ? c0 : c1, indices, block);
}
