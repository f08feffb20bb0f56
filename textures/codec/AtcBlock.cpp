#include "textures/codec/AtcBlock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "textures/codec/AlphaBlock.h"

namespace {

int Expand5(int v) { return (v << 3) | (v >> 2); }
int Expand6(int v) { return (v << 2) | (v >> 4); }

int QuantiseAtc(int x, int bits)
{
    const int t = x >> (8 - bits), u = t ^ 1;
    auto expand = [bits](int v) { return bits == 5 ? Expand5(v) : Expand6(v); };
    return std::abs(x - expand(u)) < std::abs(x - expand(t)) ? u : t;
}

int Luminance(const AtcRgb& c) { return ((c.r + 2 * c.g) * 19 + 7 * c.b) >> 6; }

struct Clusters
{
    AtcRgb mean[4];
    int count[4];
};

Clusters ClusterMeans(const AtcRgb rgb[16], uint32_t indices)
{
    Clusters cl{};
    int sum[4][3] = {};
    for (int i = 0; i < 16; ++i)
    {
        const int c = (indices >> (2 * i)) & 3;
        sum[c][0] += rgb[i].r, sum[c][1] += rgb[i].g, sum[c][2] += rgb[i].b;
        ++cl.count[c];
    }
    for (int c = 0; c < 4; ++c)
        if (cl.count[c] > 0) cl.mean[c] = {sum[c][0] / cl.count[c], sum[c][1] / cl.count[c], sum[c][2] / cl.count[c]};
    return cl;
}

bool ChooseBlackMode(Clusters& cl, uint32_t& indices)
{
    if (cl.count[0] == 0 || ColorBrightness(cl.mean[0]) >= 15 || ColorBrightness(cl.mean[3]) < 56) return false;
    int h3, s3, h2, s2, h1, s1;
    ColorHueSaturation(cl.mean[3], &h3, &s3);
    h2 = h3, s2 = s3, h1 = h3, s1 = s3;
    if (cl.count[2] > 0) ColorHueSaturation(cl.mean[2], &h2, &s2);
    if (cl.count[1] > 0) ColorHueSaturation(cl.mean[1], &h1, &s1);
    const bool black = HuesDiffer(h3, h2) || HuesDiffer(h3, h1) || (cl.count[2] > 0 && (s2 > 2 * s3 || s2 > 70)) ||
                       (cl.count[1] > 0 && (s1 > 2 * s3 || s1 > 70));
    if (!black) return false;
    if (cl.count[2] == 0)
    {
        cl.mean[2] = cl.mean[1], cl.count[2] = cl.count[1];
        cl.mean[1] = {0, 0, 0}, cl.count[1] = 0;
        for (int i = 0; i < 16; ++i)
            if (((indices >> (2 * i)) & 3) == 1) indices ^= 3u << (2 * i);  // 1 -> 2
    }
    return true;
}

void UnpackTexels(const uint32_t texels[16], AtcRgb rgb[16])
{
    for (int i = 0; i < 16; ++i)
        rgb[i] = {int((texels[i] >> 16) & 255), int((texels[i] >> 8) & 255), int(texels[i] & 255)};
}

}  // namespace

uint32_t AtcAssignByThresholds(const int lum[16], int t1, int t2, int t3)
{
    uint32_t indices = 0;
    for (int i = 0; i < 16; ++i)
    {
        const uint32_t c = lum[i] >= t3 ? 3 : lum[i] > t2 ? 2 : lum[i] > t1 ? 1 : 0;
        indices |= c << (2 * i);
    }
    return indices;
}

int AtcBlockError(const AtcRgb rgb[16], uint16_t color0, uint16_t color1, uint32_t indices)
{
    AtcRgb pal[4];
    BuildAtcPalette(color0, color1, pal);
    int sum = 0;
    for (int i = 0; i < 16; ++i)
    {
        const AtcRgb& p = pal[(indices >> (2 * i)) & 3];
        const int dr = rgb[i].r - p.r, dg = rgb[i].g - p.g, db = rgb[i].b - p.b;
        sum += dr * dr + dg * dg + db * db;
    }
    return sum;
}

uint16_t EncodeAtcColor555(const AtcRgb& c, bool blackMode)
{
    return uint16_t((blackMode ? 0x8000 : 0) | QuantiseAtc(c.r, 5) << 10 | QuantiseAtc(c.g, 5) << 5 |
                    QuantiseAtc(c.b, 5));
}

uint16_t EncodeAtcColor565(const AtcRgb& c)
{
    return uint16_t(QuantiseAtc(c.r, 5) << 11 | QuantiseAtc(c.g, 6) << 5 | QuantiseAtc(c.b, 5));
}

void BuildAtcPalette(uint16_t color0, uint16_t color1, AtcRgb p[4])
{
    const AtcRgb c0 = {Expand5((color0 >> 10) & 31), Expand5((color0 >> 5) & 31), Expand5(color0 & 31)};
    const AtcRgb c3 = {Expand5(color1 >> 11), Expand6((color1 >> 5) & 63), Expand5(color1 & 31)};
    if (color0 & 0x8000)
    {
        p[0] = {0, 0, 0};
        p[1] = {std::max(c0.r - (c3.r >> 2), 0), std::max(c0.g - (c3.g >> 2), 0), std::max(c0.b - (c3.b >> 2), 0)};
        p[2] = c0;
    }
    else
    {
        p[0] = c0;
        p[1] = {(5 * c0.r + 3 * c3.r) >> 3, (5 * c0.g + 3 * c3.g) >> 3, (5 * c0.b + 3 * c3.b) >> 3};
        p[2] = {(3 * c0.r + 5 * c3.r) >> 3, (3 * c0.g + 5 * c3.g) >> 3, (3 * c0.b + 5 * c3.b) >> 3};
    }
    p[3] = c3;
}

int ColorBrightness(const AtcRgb& c) { return std::max({c.r, c.g, c.b}) * 100 / 255; }

void ColorHueSaturation(const AtcRgb& c, int* hue, int* saturation)
{
    const int M = std::max({c.r, c.g, c.b}), m = std::min({c.r, c.g, c.b}), d = M - m;
    if (M == 0)
    {
        *saturation = 0, *hue = -1;
        return;
    }
    *saturation = d * 100 / M;
    if (*saturation == 0)
    {
        *hue = -1;
        return;
    }
    double h;
    if (c.r == M)
        h = double(c.g - c.b) / d;
    else if (c.g == M)
        h = 2.0 + double(c.b - c.r) / d;
    else
        h = 4.0 + double(c.r - c.g) / d;
    int deg = int(60.0 * h);
    if (deg < 0) deg += 360;
    *hue = deg;
}

bool HuesDiffer(int a, int b)
{
    if (a == -1 && b == -1) a = b = 0;
    if (a == -1) a = b;
    if (b == -1) b = a;
    int d = std::abs(a - b);
    if (d > 180) d = 360 - d;
    return d > 30;
}

uint32_t AtcBlockEncoder(const AtcRgb rgb[16], uint16_t* color0, uint16_t* color1)
{
    // Every candidate splits the texels at luminance thresholds, so each cluster is a run of the
    // texels in luminance order: cluster sums come from prefix sums, and a candidate's error from
    // the clusters' sums of squares, in whole numbers (the same values as decoding the block).
    int lum[16], order[16];
    for (int i = 0; i < 16; ++i) lum[i] = Luminance(rgb[i]), order[i] = i;
    std::stable_sort(order, order + 16, [&](int a, int b) { return lum[a] < lum[b]; });
    int sorted[16];
    int prefix[17][4] = {};  // R, G, B and R^2 + G^2 + B^2 over the first k texels in order
    for (int k = 0; k < 16; ++k)
    {
        const AtcRgb& c = rgb[order[k]];
        sorted[k] = lum[order[k]];
        prefix[k + 1][0] = prefix[k][0] + c.r;
        prefix[k + 1][1] = prefix[k][1] + c.g;
        prefix[k + 1][2] = prefix[k][2] + c.b;
        prefix[k + 1][3] = prefix[k][3] + c.r * c.r + c.g * c.g + c.b * c.b;
    }
    // First position of each threshold's value, and the position after its last texel.
    int lowerAt[16], upperAt[16];
    for (int k = 0; k < 16; ++k)
    {
        int lo = k, hi = k + 1;
        while (lo > 0 && sorted[lo - 1] == sorted[k]) --lo;
        while (hi < 16 && sorted[hi] == sorted[k]) ++hi;
        lowerAt[k] = lo, upperAt[k] = hi;
    }
    // Truncating division of a cluster sum (at most 16 x 255) by its count through a reciprocal,
    // exact over that range.
    static constexpr uint32_t kReciprocal[17] = {0,      1u << 20, (1u << 19), 349526, 262144, 209716,
                                                 174763, 149797,   131072,     116509, 104858, 95326,
                                                 87382,  80660,    74899,      69906,  65536};
    auto divide = [](int sum, int n) { return int((uint32_t(sum) * kReciprocal[n]) >> 20); };

    int bestError = 1040400;
    Clusters kept{};
    int keptEnds[3] = {0, 0, 0};
    bool keptBlack = false, keptMerged = false, anyKept = false;
    for (int j = 15; j >= 1; --j)
    {
        for (int i = 0; i < j; ++i)
        {
            const int e3 = lowerAt[j];
            const int e2 = std::min(upperAt[(i + j) >> 1], e3);
            const int e1 = std::min(upperAt[i], e2);
            const int starts[5] = {0, e1, e2, e3, 16};
            int sums[4][4];
            Clusters cl{};
            for (int c = 0; c < 4; ++c)
            {
                cl.count[c] = starts[c + 1] - starts[c];
                for (int k = 0; k < 4; ++k) sums[c][k] = prefix[starts[c + 1]][k] - prefix[starts[c]][k];
                if (cl.count[c] > 0)
                    cl.mean[c] = {divide(sums[c][0], cl.count[c]), divide(sums[c][1], cl.count[c]),
                                  divide(sums[c][2], cl.count[c])};
            }
            uint32_t unused = 0;  // the index word is built for the kept candidate only
            const bool emptyTwo = cl.count[2] == 0;
            const bool black = ChooseBlackMode(cl, unused);
            const bool merged = black && emptyTwo;
            if (merged) std::memcpy(sums[2], sums[1], sizeof sums[1]), std::memset(sums[1], 0, sizeof sums[1]);
            const uint16_t c0 = EncodeAtcColor555(black ? cl.mean[2] : cl.mean[0], black);
            const uint16_t c1 = EncodeAtcColor565(cl.mean[3]);
            AtcRgb pal[4];
            BuildAtcPalette(c0, c1, pal);
            int error = 0;
            for (int c = 0; c < 4; ++c)
            {
                const int n = cl.count[c];
                if (n == 0) continue;
                const AtcRgb& p = pal[c];
                error += sums[c][3] - 2 * (p.r * sums[c][0] + p.g * sums[c][1] + p.b * sums[c][2]) +
                         n * (p.r * p.r + p.g * p.g + p.b * p.b);
            }
            if (error < bestError)
            {
                bestError = error;
                kept = cl;
                keptEnds[0] = e1, keptEnds[1] = e2, keptEnds[2] = e3;
                keptBlack = black;
                keptMerged = merged;
                anyKept = true;
            }
        }
    }
    uint32_t keptIndices = 0;
    if (anyKept)
    {
        for (int k = 0; k < 16; ++k)
        {
            uint32_t c = k < keptEnds[0] ? 0 : k < keptEnds[1] ? 1 : k < keptEnds[2] ? 2 : 3;
            if (keptMerged && c == 1) c = 2;
            keptIndices |= c << (2 * order[k]);
        }
    }

    AtcRgb source = keptBlack ? kept.mean[2] : kept.mean[0];
    AtcRgb bright = kept.mean[3];
    uint32_t indices = keptIndices;

    // One refinement pass: every texel to its nearest palette entry.
    AtcRgb pal[4];
    BuildAtcPalette(EncodeAtcColor555(source, keptBlack), EncodeAtcColor565(bright), pal);
    uint32_t refined = 0;
    for (int i = 0; i < 16; ++i)
    {
        int best = 0, bestD = 0x7FFFFFFF;
        for (int p = 0; p < 4; ++p)
        {
            const int dr = rgb[i].r - pal[p].r, dg = rgb[i].g - pal[p].g, db = rgb[i].b - pal[p].b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestD) bestD = d, best = p;
        }
        refined |= uint32_t(best) << (2 * i);
    }
    if (refined != indices)
    {
        int count[4] = {};
        for (int i = 0; i < 16; ++i) ++count[(refined >> (2 * i)) & 3];
        const bool rejected = count[3] == 0 || (count[0] == 0 && count[3] < 16 && !keptBlack);
        if (!rejected)
        {
            Clusters cl = ClusterMeans(rgb, refined);
            const bool black = ChooseBlackMode(cl, refined);
            if (black == keptBlack)
            {
                indices = refined;
                source = black ? cl.mean[2] : cl.mean[0];
                bright = cl.mean[3];
            }
        }
    }
    *color0 = EncodeAtcColor555(source, keptBlack);
    *color1 = EncodeAtcColor565(bright);
    return indices;
}

void AtcCompressColor(const uint32_t texels[16], uint8_t block[8])
{
    AtcRgb rgb[16];
    UnpackTexels(texels, rgb);
    uint16_t c0, c1;
    const uint32_t indices = AtcBlockEncoder(rgb, &c0, &c1);
    block[0] = uint8_t(c0), block[1] = uint8_t(c0 >> 8), block[2] = uint8_t(c1), block[3] = uint8_t(c1 >> 8);
    std::memcpy(block + 4, &indices, 4);
}

void AtcDecompressColor(const uint8_t block[8], uint32_t texels[16])
{
    AtcRgb pal[4];
    BuildAtcPalette(uint16_t(block[0] | block[1] << 8), uint16_t(block[2] | block[3] << 8), pal);
    uint32_t indices;
    std::memcpy(&indices, block + 4, 4);
    for (int i = 0; i < 16; ++i)
    {
        const AtcRgb& p = pal[(indices >> (2 * i)) & 3];
        texels[i] = (texels[i] & 0xFF000000u) | uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b);
    }
}

void AtcCompressBlockExplicitAlpha(const uint32_t texels[16], uint8_t block[16])
{
    uint8_t alpha[16];
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(texels[i] >> 24);
    CompressExplicitAlpha(alpha, ExplicitRounding::SevenOrEight, block);
    AtcCompressColor(texels, block + 8);
}

void AtcDecompressBlockExplicitAlpha(const uint8_t block[16], uint32_t texels[16])
{
    uint8_t alpha[16];
    AtcDecompressColor(block + 8, texels);
    DecompressExplicitAlpha(block, alpha);
    for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0xFFFFFF) | uint32_t(alpha[i]) << 24;
}

void AtcCompressBlockInterpolatedAlpha(const uint32_t texels[16], bool useSSE2, uint8_t block[16])
{
    uint8_t alpha[16];
    for (int i = 0; i < 16; ++i) alpha[i] = uint8_t(texels[i] >> 24);
    CompressInterpolatedAlpha(alpha, useSSE2, block);
    AtcCompressColor(texels, block + 8);
}

void AtcDecompressBlockInterpolatedAlpha(const uint8_t block[16], uint32_t texels[16])
{
    uint8_t alpha[16];
    AtcDecompressColor(block + 8, texels);
    DecompressInterpolatedAlpha(block, alpha);
    for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0xFFFFFF) | uint32_t(alpha[i]) << 24;
}
