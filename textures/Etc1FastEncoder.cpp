// The two-candidate ETC1 encoders: every block is encoded once with the halves' averages rounded and once
// with the combined quantisation, which leaves intensity errors to the modifiers; the better one is kept.
#include "textures/Etc1Block.h"
#include "textures/codec/SimdLevel.h"

namespace {

// Codeword searches already made for one half in this block. Both candidates often land on the same
// base colour for a half, and then the search need not run again.
class HalfSearches
{
public:
    template <class Search>
    uint32_t Find(const Etc1Half& half, Etc1Colour base, int& codeword, Search search)
    {
        for (int k = 0; k < count_; ++k)
        {
            if (entries_[k].base == base)
            {
                codeword = entries_[k].codeword;
                return entries_[k].error;
            }
        }
        const uint32_t error = search(half, base, codeword);
        if (count_ < 4) entries_[count_++] = {base, error, codeword};
        return error;
    }

private:
    struct Entry
    {
        Etc1Colour base;
        uint32_t error;
        int codeword;
    };
    Entry entries_[4];
    int count_ = 0;
};

struct BlockHalves
{
    Etc1Pixels block;
    Etc1Half half[4];
    Etc1Colour sum[4];
    HalfSearches searches[4];
};

void PrepareHalves(BlockHalves& b, const Etc1Source& image, int x, int y)
{
    b.block = LoadEtc1Pixels(image, x, y);
    for (int h = 0; h < 4; ++h)
    {
        b.half[h] = GatherEtc1Half(b.block, h);
        b.sum[h] = SumEtc1Half(b.half[h]);
    }
}

// One candidate: both splits quantised by the given quantisers, the unflipped split kept unless the
// flipped one has a strictly smaller error.
template <class Quantise5, class Quantise4, class Search>
Etc1SplitCode EncodeCandidate(BlockHalves& b, Quantise5 quantise5, Quantise4 quantise4, Search search)
{
    Etc1SplitCode best;
    for (int split = 0; split < 2; ++split)
    {
        const int h0 = 2 * split;
        Etc1SplitCode code;
        code.flip = split == 1;
        code.q[0] = quantise5(b.sum[h0]);
        code.q[1] = quantise5(b.sum[h0 + 1]);
        code.differential = DifferencesWithin(code.q[0], code.q[1], -4, 3);
        if (!code.differential)
        {
            code.q[0] = quantise4(b.sum[h0]);
            code.q[1] = quantise4(b.sum[h0 + 1]);
        }
        code.error = 0;
        for (int k = 0; k < 2; ++k)
            code.error += b.searches[h0 + k].Find(b.half[h0 + k], ExpandEtc1(code.q[k], code.differential),
                                                  code.codeword[k], search);
        if (split == 0 || code.error < best.error) best = code;
    }
    return best;
}

}  // namespace

namespace {

template <class Search>
Etc1BlockWords EncodeFast(const Etc1Source& image, int x, int y, Search search)
{
    BlockHalves b;
    PrepareHalves(b, image, x, y);
    const Etc1SplitCode average = EncodeCandidate(b, QuantiseRound5, QuantiseRound4, search);
    const Etc1SplitCode combined = EncodeCandidate(b, QuantiseCombined5, QuantiseCombined4, search);
    // The decoded error of a candidate is exactly the sum of its halves' best errors, so the split errors
    // compare the candidates without decoding them.
    return BuildEtc1Words(b.block, combined.error < average.error ? combined : average, false);
}

}  // namespace

Etc1BlockWords CompressBlockETC1FastSse2(const Etc1Source& image, int x, int y)
{
    return EncodeFast(image, x, y, SearchEtc1CodewordSse2);
}

Etc1BlockWords CompressBlockETC1FastAvx2(const Etc1Source& image, int x, int y)
{
    return EncodeFast(image, x, y, SearchEtc1CodewordAvx2);
}

Etc1BlockWords CompressBlockETC1Fast(const Etc1Source& image, int x, int y)
{
    return Etc1FastBlockEncoder()(image, x, y);
}

Etc1FastEncoderFn Etc1FastBlockEncoder()
{
    switch (CodecSimdLevel())
    {
    case SimdLevel::Avx512: return CompressBlockETC1FastAvx512;
    case SimdLevel::Avx2: return CompressBlockETC1FastAvx2;
    case SimdLevel::Sse2: break;
    }
    return CompressBlockETC1FastSse2;
}

Etc1FastPairEncoderFn Etc1FastPairEncoder()
{
    return CodecSimdLevel() == SimdLevel::Avx512 ? CompressBlockPairETC1FastAvx512 : nullptr;
}

Etc1BlockWords CompressBlockETC1Perceptual(const Etc1Source& image, int x, int y)
{
    BlockHalves b;
    PrepareHalves(b, image, x, y);
    const Etc1SplitCode average = EncodeCandidate(b, QuantiseRound5, QuantiseRound4, SearchEtc1CodewordPerceptual);
    const Etc1SplitCode combined =
        EncodeCandidate(b, QuantiseCombinedPerceptual5, QuantiseCombinedPerceptual4, SearchEtc1CodewordPerceptual);
    const Etc1BlockWords a = BuildEtc1Words(b.block, average, true);
    const Etc1BlockWords c = BuildEtc1Words(b.block, combined, true);
    // Candidates are judged by their decoded perceptual error, which the truncated half errors only
    // approximate.
    return Etc1PerceptualBlockError(b.block, c) < Etc1PerceptualBlockError(b.block, a) ? c : a;
}
