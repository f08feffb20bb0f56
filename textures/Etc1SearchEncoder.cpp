// The searching ETC1 encoders: instead of taking the quantised half colours as they come, they look at
// every colour within a few steps of them (near: 3, wide: 5) and pick the pair with the lowest error.
#include <cstdint>

#include "textures/Etc1Block.h"

namespace {

constexpr uint32_t kPairErrorBound = 3121200;
constexpr uint32_t kHalfErrorBound = 1560600;

inline int Clamp5(int v) { return v < 0 ? 0 : (v > 31 ? 31 : v); }

template <bool Perceptual>
uint32_t Search(const Etc1Half& half, Etc1Colour base, int& codeword)
{
    return Perceptual ? SearchEtc1CodewordPerceptual(half, base, codeword) : SearchEtc1Codeword(half, base, codeword);
}

// Smallest squared difference between a channel value p and base x moved by any modifier of any codeword
// (clamped), for every 5-bit (first 32 rows) and 4-bit (last 16 rows) base value.
struct ChannelMinima
{
    uint16_t value[48][256];
};

constexpr ChannelMinima MakeChannelMinima()
{
    ChannelMinima t{};
    for (int row = 0; row < 48; ++row)
    {
        // The values a modifier can reach from this base, then each p's distance to the nearest of them,
        // looking down and then up (a few steps a value, so that the table stays cheap to make at compile
        // time for every compiler).
        const int x = row < 32 ? Expand5(row) : Expand4(row - 32);
        bool reached[256] = {};
        for (int cw = 0; cw < 8; ++cw)
            for (int j = 0; j < 4; ++j) reached[ClampByte(x + kEtc1Modifiers[cw][j])] = true;
        int distance[256] = {};
        for (int p = 0, last = -256; p < 256; ++p)
        {
            if (reached[p]) last = p;
            distance[p] = p - last;
        }
        for (int p = 255, next = 511; p >= 0; --p)
        {
            if (reached[p]) next = p;
            distance[p] = next - p < distance[p] ? next - p : distance[p];
            t.value[row][p] = static_cast<uint16_t>(distance[p] * distance[p]);
        }
    }
    return t;
}

constexpr ChannelMinima kChannelMinima = MakeChannelMinima();

// Lower bounds of a half's error per channel and channel value. A pixel's error under one modifier is at
// least the sum over the channels of that channel's smallest squared difference under any modifier, so the
// three terms of a colour add up to a lower bound of its half error. Colours whose bound cannot beat the
// best error so far are skipped; as only strictly lower errors replace the best, the outcome is the same
// as searching every colour.
template <bool Perceptual>
class HalfBounds
{
public:
    HalfBounds(const Etc1Half& half, bool fiveBits)
    {
        const int values = fiveBits ? 32 : 16;
        // The perceptual search weighs with the single-precision constants.
        const double weight[3] = {Perceptual ? double(0.299f) : 1.0, Perceptual ? double(0.587f) : 1.0,
                                  Perceptual ? double(0.114f) : 1.0};
        for (int c = 0; c < 3; ++c)
        {
            lowest_[c] = 0.0;
            for (int v = 0; v < values; ++v)
            {
                const uint16_t* minima = kChannelMinima.value[fiveBits ? v : 32 + v];
                int total = 0;
                for (int k = 0; k < 8; ++k) total += minima[half.rgb[k][c]];
                term_[c][v] = weight[c] * total;
                lowest_[c] = v == 0 || term_[c][v] < lowest_[c] ? term_[c][v] : lowest_[c];
            }
        }
    }

    // A lower bound of the half error that the codeword search reports for colour q. The perceptual errors
    // are single-precision sums truncated to whole numbers; the margin covers both.
    double Of(Etc1Colour q) const { return Reported(term_[0][q.c[0]] + term_[1][q.c[1]] + term_[2][q.c[2]]); }
    // The same for every colour with red r, or with red r and green g.
    double OfRed(int r) const { return Reported(term_[0][r] + lowest_[1] + lowest_[2]); }
    double OfRedGreen(int r, int g) const { return Reported(term_[0][r] + term_[1][g] + lowest_[2]); }

private:
    static double Reported(double bound) { return Perceptual ? bound * (1.0 - 1e-4) - 1.0 : bound; }
    double term_[3][32];
    double lowest_[3];
};

// The differential search around the two 5-bit colours q0 and q1. Returns false when no pair of
// candidates is close enough for the differential mode.
//
// Pairs are visited first colour by first colour (red, green, blue offsets, each from -R up); for one first
// colour the second colours within differential reach form a box of offsets (clamping is monotonic, so
// each channel's reachable offsets are one run), and the pair that a plain nested walk would keep is the
// box's first smallest entry. Those are found by first minima over blue, then green, then red runs.
template <int R, bool Perceptual>
bool SearchDifferential(const Etc1Half (&halves)[2], const Etc1Colour (&q)[2], Etc1SplitCode& code)
{
    constexpr int kSide = 2 * R + 1;
    constexpr uint32_t kUnknown = 0xFFFFFFFFu;
    struct Least
    {
        uint32_t error;
        int8_t green, blue;  // offset indices of the entry
    };

    // Channel values of the candidates of each half, by offset index.
    int value[2][3][kSide];
    for (int k = 0; k < 2; ++k)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kSide; ++i) value[k][c][i] = Clamp5(q[k].c[c] + i - R);
    // The run of second-half offset indices within reach of each first-half offset index, per channel.
    int runLo[3][kSide], runHi[3][kSide];
    for (int c = 0; c < 3; ++c)
        for (int i1 = 0; i1 < kSide; ++i1)
        {
            runLo[c][i1] = kSide;
            runHi[c][i1] = -1;
            for (int i2 = 0; i2 < kSide; ++i2)
            {
                const int d = value[1][c][i2] - value[0][c][i1];
                if (d < -4 || d > 3) continue;
                runLo[c][i1] = i2 < runLo[c][i1] ? i2 : runLo[c][i1];
                runHi[c][i1] = i2;
            }
        }

    // Every second-half candidate's half error.
    uint32_t second[kSide][kSide][kSide];
    for (int iR = 0; iR < kSide; ++iR)
        for (int iG = 0; iG < kSide; ++iG)
            for (int iB = 0; iB < kSide; ++iB)
            {
                const Etc1Colour c{{value[1][0][iR], value[1][1][iG], value[1][2][iB]}};
                int codeword;
                second[iR][iG][iB] = Search<Perceptual>(halves[1], ExpandEtc1(c, true), codeword);
            }
    // First minima over the blue run of each first-half blue index, then over the green runs.
    Least overBlue[kSide][kSide][kSide];   // [iR][iG][first-half blue index]
    Least overGreen[kSide][kSide][kSide];  // [iR][first-half green index][first-half blue index]
    for (int iR = 0; iR < kSide; ++iR)
    {
        for (int iG = 0; iG < kSide; ++iG)
            for (int b1 = 0; b1 < kSide; ++b1)
            {
                Least least{kUnknown, -1, -1};
                for (int iB = runLo[2][b1]; iB <= runHi[2][b1]; ++iB)
                    if (second[iR][iG][iB] < least.error) least = {second[iR][iG][iB], int8_t(iG), int8_t(iB)};
                overBlue[iR][iG][b1] = least;
            }
        for (int g1 = 0; g1 < kSide; ++g1)
            for (int b1 = 0; b1 < kSide; ++b1)
            {
                Least least{kUnknown, -1, -1};
                for (int iG = runLo[1][g1]; iG <= runHi[1][g1]; ++iG)
                    if (overBlue[iR][iG][b1].error < least.error) least = overBlue[iR][iG][b1];
                overGreen[iR][g1][b1] = least;
            }
    }

    const HalfBounds<Perceptual> bounds(halves[0], true);
    uint32_t best = kPairErrorBound;
    bool found = false;
    Etc1Colour chosen[2];
    for (int r1 = 0; r1 < kSide; ++r1)
        for (int g1 = 0; g1 < kSide; ++g1)
            for (int b1 = 0; b1 < kSide; ++b1)
            {
                Least least{kUnknown, -1, -1};
                int red = -1;
                for (int iR = runLo[0][r1]; iR <= runHi[0][r1]; ++iR)
                    if (overGreen[iR][g1][b1].error < least.error)
                    {
                        least = overGreen[iR][g1][b1];
                        red = iR;
                    }
                if (red < 0 || least.error == kUnknown) continue;
                const Etc1Colour c1{{value[0][0][r1], value[0][1][g1], value[0][2][b1]}};
                // The first colour's search is skipped when even its lower bound cannot make a better pair.
                if (bounds.Of(c1) + least.error >= best) continue;
                int codeword;
                const uint32_t cost = Search<Perceptual>(halves[0], ExpandEtc1(c1, true), codeword) + least.error;
                if (cost < best)
                {
                    best = cost;
                    found = true;
                    chosen[0] = c1;
                    chosen[1] = Etc1Colour{{value[1][0][red], value[1][1][least.green], value[1][2][least.blue]}};
                }
            }
    if (!found) return false;
    code.differential = true;
    for (int k = 0; k < 2; ++k)
    {
        code.q[k] = chosen[k];
        Search<Perceptual>(halves[k], ExpandEtc1(chosen[k], true), code.codeword[k]);
    }
    code.error = best;
    return true;
}

// The individual mode: every 4-bit colour for each half on its own. All 16 values per channel are tried,
// the brightest included.
template <bool Perceptual>
void SearchIndividual(const Etc1Half (&halves)[2], Etc1SplitCode& code)
{
    code.differential = false;
    code.error = 0;
    for (int k = 0; k < 2; ++k)
    {
        const HalfBounds<Perceptual> bounds(halves[k], false);
        uint32_t best = kHalfErrorBound;
        Etc1Colour chosen{{0, 0, 0}};
        for (int r = 0; r < 16; ++r)
        {
            if (bounds.OfRed(r) >= best) continue;
            for (int g = 0; g < 16; ++g)
            {
                if (bounds.OfRedGreen(r, g) >= best) continue;
                for (int b = 0; b < 16; ++b)
                {
                    const Etc1Colour c{{r, g, b}};
                    if (bounds.Of(c) >= best) continue;
                    int codeword;
                    const uint32_t e = Search<Perceptual>(halves[k], Etc1Colour{{r * 17, g * 17, b * 17}}, codeword);
                    if (e < best)
                    {
                        best = e;
                        chosen = c;
                    }
                }
            }
        }
        code.q[k] = chosen;
        code.error += Search<Perceptual>(halves[k], ExpandEtc1(chosen, false), code.codeword[k]);
    }
}

template <int R, bool Perceptual>
Etc1BlockWords SearchEncode(const Etc1Source& image, int x, int y)
{
    constexpr bool kWide = R == 5;
    const Etc1Pixels block = LoadEtc1Pixels(image, x, y);
    Etc1SplitCode best;
    for (int split = 0; split < 2; ++split)
    {
        const Etc1Half halves[2] = {GatherEtc1Half(block, 2 * split), GatherEtc1Half(block, 2 * split + 1)};
        const Etc1Colour q[2] = {QuantiseRound5(SumEtc1Half(halves[0])), QuantiseRound5(SumEtc1Half(halves[1]))};

        Etc1SplitCode differential;
        const bool haveDifferential = DifferencesWithin(q[0], q[1], -(R + 4), R + 3) &&
                                      SearchDifferential<R, Perceptual>(halves, q, differential);
        Etc1SplitCode code = differential;
        if (!haveDifferential || kWide)
        {
            Etc1SplitCode individual;
            SearchIndividual<Perceptual>(halves, individual);
            if (!haveDifferential || individual.error < differential.error) code = individual;
        }
        code.flip = split == 1;
        if (split == 0 || code.error < best.error) best = code;
    }
    return BuildEtc1Words(block, best, Perceptual);
}

}  // namespace

Etc1BlockWords CompressBlockETC1NearSearch(const Etc1Source& image, int x, int y)
{
    return SearchEncode<3, false>(image, x, y);
}

Etc1BlockWords CompressBlockETC1NearSearchPerceptual(const Etc1Source& image, int x, int y)
{
    return SearchEncode<3, true>(image, x, y);
}

Etc1BlockWords CompressBlockETC1WideSearch(const Etc1Source& image, int x, int y)
{
    return SearchEncode<5, false>(image, x, y);
}

Etc1BlockWords CompressBlockETC1WideSearchPerceptual(const Etc1Source& image, int x, int y)
{
    return SearchEncode<5, true>(image, x, y);
}
