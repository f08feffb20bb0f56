#include "textures/codec/FastDxtBlock.h"

#include <xmmintrin.h>

#include <algorithm>
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

void FastColorSSE2(const uint32_t texels[16], uint8_t block[8]) {
    uint32_t first = texels[0];
    bool flat = true;
    for (int i = 1; i < 16 && flat; ++i) flat = ((texels[i] ^ first) & 0xFFFFFF) == 0;
    if (flat) {
        const int b = first & 255, g = (first >> 8) & 255, r = (first >> 16) & 255;
        const uint16_t c = uint16_t(std::min(Quantise5(r), 31) << 11 | std::min(Quantise6(g), 63) << 5 |
                                    std::min(Quantise5(b), 31));
        StoreBlock(c, c, 0, block);
        return;
    }
    FastColor(texels, block);
}
