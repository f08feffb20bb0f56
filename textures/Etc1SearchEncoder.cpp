// The searching ETC1 encoders: instead of taking the quantised half colours as they come, they look at
// every colour within a few steps of them (near: 3, wide: 5) and pick the pair with the lowest error.
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

// The differential search around the two 5-bit colours q0 and q1. Returns false when no pair of
// candidates is close enough for the differential mode.
template <int R, bool Perceptual>
bool SearchDifferential(const Etc1Half (&halves)[2], const Etc1Colour (&q)[2], Etc1SplitCode& code)
{
    constexpr int kSide = 2 * R + 1;
    // Whole-number half errors of every candidate colour of each half; the joint search then costs two
    // look-ups per pair.
    uint32_t table[2][kSide * kSide * kSide];
    for (int k = 0; k < 2; ++k) {
        int i = 0;
        for (int dR = -R; dR <= R; ++dR)
            for (int dG = -R; dG <= R; ++dG)
                for (int dB = -R; dB <= R; ++dB) {
                    const Etc1Colour c{{Clamp5(q[k].c[0] + dR), Clamp5(q[k].c[1] + dG), Clamp5(q[k].c[2] + dB)}};
                    int codeword;
                    table[k][i++] = Search<Perceptual>(halves[k], ExpandEtc1(c, true), codeword);
                }
    }

    uint32_t best = kPairErrorBound;
    bool found = false;
    Etc1Colour chosen[2];
    for (int dR1 = -R; dR1 <= R; ++dR1) {
        const int r1 = Clamp5(q[0].c[0] + dR1);
        for (int dG1 = -R; dG1 <= R; ++dG1) {
            const int g1 = Clamp5(q[0].c[1] + dG1);
            for (int dB1 = -R; dB1 <= R; ++dB1) {
                const int b1 = Clamp5(q[0].c[2] + dB1);
                const uint32_t t1 = table[0][((dR1 + R) * kSide + (dG1 + R)) * kSide + (dB1 + R)];
                if (t1 >= best) continue;  // no pair with this first colour can be strictly better
                for (int dR2 = -R; dR2 <= R; ++dR2) {
                    const int r2 = Clamp5(q[1].c[0] + dR2);
                    if (r2 - r1 < -4 || r2 - r1 > 3) continue;
                    for (int dG2 = -R; dG2 <= R; ++dG2) {
                        const int g2 = Clamp5(q[1].c[1] + dG2);
                        if (g2 - g1 < -4 || g2 - g1 > 3) continue;
                        for (int dB2 = -R; dB2 <= R; ++dB2) {
                            const int b2 = Clamp5(q[1].c[2] + dB2);
                            if (b2 - b1 < -4 || b2 - b1 > 3) continue;
                            const uint32_t cost = t1 + table[1][((dR2 + R) * kSide + (dG2 + R)) * kSide + (dB2 + R)];
                            if (cost < best) {
                                best = cost;
                                found = true;
                                chosen[0] = Etc1Colour{{r1, g1, b1}};
                                chosen[1] = Etc1Colour{{r2, g2, b2}};
                            }
                        }
                    }
                }
            }
        }
    }
    if (!found) return false;
    code.differential = true;
    for (int k = 0; k < 2; ++k) {
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
    for (int k = 0; k < 2; ++k) {
        uint32_t best = kHalfErrorBound;
        Etc1Colour chosen{{0, 0, 0}};
        for (int r = 0; r < 16; ++r)
            for (int g = 0; g < 16; ++g)
                for (int b = 0; b < 16; ++b) {
                    int codeword;
                    const uint32_t e = Search<Perceptual>(halves[k], Etc1Colour{{r * 17, g * 17, b * 17}}, codeword);
                    if (e < best) {
                        best = e;
                        chosen = Etc1Colour{{r, g, b}};
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
    for (int split = 0; split < 2; ++split) {
        const Etc1Half halves[2] = {GatherEtc1Half(block, 2 * split), GatherEtc1Half(block, 2 * split + 1)};
        const Etc1Colour q[2] = {QuantiseRound5(SumEtc1Half(halves[0])), QuantiseRound5(SumEtc1Half(halves[1]))};

        Etc1SplitCode differential;
        const bool haveDifferential = DifferencesWithin(q[0], q[1], -(R + 4), R + 3) &&
                                      SearchDifferential<R, Perceptual>(halves, q, differential);
        Etc1SplitCode code = differential;
        if (!haveDifferential || kWide) {
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
