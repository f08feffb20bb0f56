#pragma once
// Building blocks shared by the ETC1 encoders: the modifier table, the halves of a block, codeword
// searches, packing and the quantisers. Not part of the codec's public surface.
#include <cstdint>

#include "textures/Etc1Codec.h"

// ETC1 intensity modifiers per codeword, in the order (-large, -small, +small, +large). A compile-time
// table: encoders on several threads read it without any set-up.
inline constexpr int kEtc1Modifiers[8][4] = {
    {-8, -2, 2, 8},     {-17, -5, 5, 17},   {-29, -9, 9, 29},     {-42, -13, 13, 42},
    {-60, -18, 18, 60}, {-80, -24, 24, 80}, {-106, -33, 33, 106}, {-183, -47, 47, 183},
};

// Pixel index value written for each modifier position.
inline constexpr uint32_t kEtc1IndexOfPosition[4] = {3, 2, 0, 1};

// The 16 pixels of a block in index order i = x * 4 + y, so that a 2-column half is 8 consecutive pixels.
struct Etc1Pixels
{
    uint8_t rgb[16][3];
};

// The four halves: 0 left (columns 0-1), 1 right (columns 2-3), 2 top (rows 0-1), 3 bottom (rows 2-3).
// Pixels of each half in ascending index order.
inline constexpr int kEtc1HalfPixels[4][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7},
    {8, 9, 10, 11, 12, 13, 14, 15},
    {0, 1, 4, 5, 8, 9, 12, 13},
    {2, 3, 6, 7, 10, 11, 14, 15},
};

// The 8 pixels of one half, gathered.
struct Etc1Half
{
    uint8_t rgb[8][3];
};

Etc1Pixels LoadEtc1Pixels(const Etc1Source& image, int x, int y);
Etc1Half GatherEtc1Half(const Etc1Pixels& block, int half);

constexpr int ClampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
constexpr int Expand5(int v) { return (v << 3) | (v >> 2); }
constexpr int Expand4(int v) { return v * 17; }

struct Etc1Colour
{
    int c[3];
    bool operator==(const Etc1Colour&) const = default;
};

// Best codeword of a half under the unweighted error (sum of squared RGB differences; per pixel the best
// of the codeword's modifiers). The lowest codeword wins ties. Returns the half error.
uint32_t SearchEtc1Codeword(const Etc1Half& half, Etc1Colour base, int& codeword);
// The same, computed plainly: the reference that the vector forms are checked against.
uint32_t SearchEtc1CodewordScalar(const Etc1Half& half, Etc1Colour base, int& codeword);
// The vector forms, exposed for tests; the AVX2 form may only be called when the processor has it.
uint32_t SearchEtc1CodewordSse2(const Etc1Half& half, Etc1Colour base, int& codeword);
uint32_t SearchEtc1CodewordAvx2(const Etc1Half& half, Etc1Colour base, int& codeword);
// Whether the processor has AVX2 (the codecs may still run at a lower level, CodecSimdLevel).
bool Etc1HaveAvx2();

// Best codeword under the perceptual error in single precision; the half error is the best sum truncated.
uint32_t SearchEtc1CodewordPerceptual(const Etc1Half& half, Etc1Colour base, int& codeword);
uint32_t SearchEtc1CodewordPerceptualScalar(const Etc1Half& half, Etc1Colour base, int& codeword);
uint32_t SearchEtc1CodewordPerceptualAvx2(const Etc1Half& half, Etc1Colour base, int& codeword);

// Adds the index bits of one half's pixels for a codeword to word2 (zero there before); per pixel the
// first modifier with the smallest error wins.
void AssignEtc1Indices(const Etc1Pixels& block, int half, Etc1Colour base, int codeword, bool perceptual,
                       uint32_t& word2);

// Word 1 of a block. The differential form takes the first colour in 5 bits and the signed differences.
uint32_t PackEtc1Differential(Etc1Colour first, Etc1Colour second, int codeword1, int codeword2, bool flip);
uint32_t PackEtc1Individual(Etc1Colour first, Etc1Colour second, int codeword1, int codeword2, bool flip);

// True when every channel's difference (second minus first) lies in lo..hi.
inline bool DifferencesWithin(Etc1Colour first, Etc1Colour second, int lo, int hi)
{
    for (int c = 0; c < 3; ++c)
    {
        const int d = second.c[c] - first.c[c];
        if (d < lo || d > hi) return false;
    }
    return true;
}

// Channel sums of a half's 8 pixels (8 x the average, kept whole so that the quantisers are exact).
Etc1Colour SumEtc1Half(const Etc1Half& half);

// Quantisers of a half's average (given as the channel sums). Rounding half away from zero:
Etc1Colour QuantiseRound5(Etc1Colour sum);
Etc1Colour QuantiseRound4(Etc1Colour sum);
// The combined quantisation, whose channel errors are as alike as possible (unweighted form).
Etc1Colour QuantiseCombined5(Etc1Colour sum);
Etc1Colour QuantiseCombined4(Etc1Colour sum);
// Its perceptual form.
Etc1Colour QuantiseCombinedPerceptual5(Etc1Colour sum);
Etc1Colour QuantiseCombinedPerceptual4(Etc1Colour sum);

// One split's encoding: quantised colours (5 bits in the differential mode, else 4), codewords, error.
struct Etc1SplitCode
{
    bool differential = false;
    bool flip = false;
    Etc1Colour q[2] = {};
    int codeword[2] = {0, 0};
    uint32_t error = 0;
};

inline Etc1Colour ExpandEtc1(Etc1Colour q, bool differential)
{
    Etc1Colour e;
    for (int c = 0; c < 3; ++c) e.c[c] = differential ? Expand5(q.c[c]) : Expand4(q.c[c]);
    return e;
}

// Both words of a block from a split's encoding; the pixel indices are chosen here.
Etc1BlockWords BuildEtc1Words(const Etc1Pixels& block, const Etc1SplitCode& code, bool perceptual);

// The fast-mode block encoder in each instruction set, all giving the same words; the AVX2 and AVX-512
// forms may only be called where the processor has them (ProcessorSimdLevel). Etc1FastBlockEncoder picks
// the form for the level the codecs run at.
Etc1BlockWords CompressBlockETC1FastSse2(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1FastAvx2(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1FastAvx512(const Etc1Source& image, int x, int y);
using Etc1FastEncoderFn = Etc1BlockWords (*)(const Etc1Source&, int, int);
Etc1FastEncoderFn Etc1FastBlockEncoder();
// The AVX-512 form for two blocks at once (top-left pixels xy[0], xy[1] and xy[2], xy[3]): the same words
// as two calls of the block encoder. Etc1FastPairEncoder gives it where the codecs run at that level, else
// null.
void CompressBlockPairETC1FastAvx512(const Etc1Source& image, const int xy[4], Etc1BlockWords words[2]);
using Etc1FastPairEncoderFn = void (*)(const Etc1Source&, const int[4], Etc1BlockWords[2]);
Etc1FastPairEncoderFn Etc1FastPairEncoder();

// Perceptual error of a decoded block against the source, in double precision.
double Etc1PerceptualBlockError(const Etc1Pixels& block, Etc1BlockWords words);
