#pragma once
// The AVX2 and AVX-512 forms of the quality colour encoder's hot loops (DxtColorBlock.cpp holds the SSE2
// reference). Every lane does exactly the operations of the reference for one candidate (or one texel), in
// the same order, so every form finds the same errors and the same blocks; the callers compare the
// candidates one by one in their order as the reference does. No form is built with fused multiply-add.
#include <cstdint>

namespace dxtforms {

// The line search's candidate pairs and what their errors need.
struct LineSearch
{
    alignas(64) float a[64];
    alignas(64) float b[64];
    float steps;
    float rSum;
    const float* t;  // normalised positions of the distinct colours
    const float* w;  // their weights times range squared
    int count;
};

// The line error of each of the 64 pairs.
void LineErrorsAvx2(const LineSearch& s, float out[64]);
void LineErrorsAvx512(const LineSearch& s, float out[64]);

// The index of the first of the 64 values that is the smallest and below `bound` (-1 when none is), as a
// scan keeping only strictly smaller values finds it.
int FirstSmallestAvx512(const float values[64], float bound);

// The line search's projection of K colours (channel rows, centred on `mean`) on `axis`: each colour's
// position t and squared distance r from the line, and the smallest and largest position.
void ProjectAvx512(const float rows[3][16], const float mean[3], const float axis[3], int K, float t[16], float r[16],
                   float& tmin, float& tmax);

// Positions on the normalised line, tn = (t - lo) / range, and weights wn = count x range x range.
void NormaliseAvx512(const float t[16], const float count[16], int K, float lo, float range, float tn[16],
                     float wn[16]);

// The refit's terms for each colour: count x u x (x - mean) per channel (terms[0..2]) and count x u x u
// (terms[3]), u the colour's palette step between A and B centred and scaled to -0.5..0.5.
void RefitTermsAvx512(const float rows[3][16], const float mean[3], const float t[16], const float count[16], int K,
                      float A, float B, float steps, float terms[4][16]);

// Sorts 16 keys ascending.
void SortAvx512(uint32_t keys[16]);

// Candidate palettes of one channel (four entries each; a 3-entry palette repeats its last entry): for each,
// the summed count x smallest distance over the colours, the other channels' distances given in fixed.
void ChannelErrorsAvx2(const float (*fixed)[4], const float* x, const float* count, int colours, float weight,
                       const float (*palettes)[4], int candidates, float* out);
// The same with one candidate per lane, sixteen at a time, over the first `entries` entries; here the other
// channels' distances are given entry by entry, fixed[e][k].
void ChannelErrorsAvx512(const float fixed[4][16], const float* x, const float* count, int colours, float weight,
                         const float (*palettes)[4], int candidates, int entries, float* out);

// Those distances of K distinct colours (channel rows) for the pass over channel `ch`: for each palette entry
// the weighted squared distances in the two other channels, the lower channel's first. palettes[c] holds
// channel c's four entries (unused for ch).
void FixedDistancesAvx512(const float rows[3][16], int K, const float cw[3], int ch, const float* const palettes[3],
                          int entries, float fixed[4][16]);

// The nearest of the first `entries` palette entries (B, G, R) for each of 16 texels held as three channel
// rows, with its weighted squared distance; ties go to the earlier entry.
void NearestEntriesAvx512(const float texels[3][16], const float pal[4][3], int entries, const float cw[3],
                          uint8_t position[16], float distance[16]);

}  // namespace dxtforms
