// Whole-image entries of the ETC1 codec: input checks, padding to whole blocks, block order and storage.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "textures/Etc1Block.h"
#include "textures/codec/SimdLevel.h"

namespace {

using BlockEncoder = Etc1BlockWords (*)(const Etc1Source&, int, int);

BlockEncoder EncoderOf(Etc1Mode mode)
{
    switch (mode)
    {
    case Etc1Mode::Fast: return Etc1FastBlockEncoder();  // the form for this processor, chosen once per image
    case Etc1Mode::Perceptual: return CompressBlockETC1Perceptual;
    case Etc1Mode::NearSearch: return CompressBlockETC1NearSearch;
    case Etc1Mode::NearSearchPerceptual: return CompressBlockETC1NearSearchPerceptual;
    case Etc1Mode::WideSearch: return CompressBlockETC1WideSearch;
    case Etc1Mode::WideSearchPerceptual: return CompressBlockETC1WideSearchPerceptual;
    }
    return nullptr;
}

bool InputValid(const uint8_t* pixels, size_t pixelBytes, int width, int height)
{
    if (pixels == nullptr || Etc1CompressedSize(width, height) == 0) return false;
    return pixelBytes / 3 / static_cast<size_t>(width) >= static_cast<size_t>(height);
}

// The padding itself costs nothing: blocks read past the edge as the last column or row. What remains of
// it is the report on standard output.
void ReportPadding(int width, int height)
{
    const int paddedWidth = (width + 3) / 4 * 4;
    const int paddedHeight = (height + 3) / 4 * 4;
    if (paddedWidth != width)
    {
        std::printf(" Width = %d is not divisible by four... ", width);
        std::printf(" expanding image in x-dir... ");
    }
    if (paddedHeight != height)
    {
        std::printf(" Height = %d is not divisible by four... ", height);
        std::printf(" expanding image in y-dir...");
    }
    if (paddedWidth != width || paddedHeight != height)
        std::printf("Active pixels: %dx%d. Expanded image: %dx%d\n", width, height, paddedWidth, paddedHeight);
}

void StoreBigEndian(uint32_t word, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(word >> 24);
    out[1] = static_cast<uint8_t>(word >> 16);
    out[2] = static_cast<uint8_t>(word >> 8);
    out[3] = static_cast<uint8_t>(word);
}

// Whether the whole block at (x, y) repeats the whole block dx, dy pixels before it (both inside the image).
bool RepeatsBlock(const Etc1Source& image, int x, int y, int dx, int dy)
{
    if (x < dx || y < dy || x + 3 >= image.width || y + 3 >= image.height) return false;
    const size_t stride = static_cast<size_t>(image.width) * 3;
    const size_t back = static_cast<size_t>(dy) * stride + static_cast<size_t>(dx) * 3;
    const uint8_t* row = image.pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
    for (int r = 0; r < 4; ++r, row += stride)
        if (std::memcmp(row, row - back, 12) != 0) return false;
    return true;
}

void StoreWords(const Etc1BlockWords& words, uint8_t* out)
{
    StoreBigEndian(words.word1, out);
    StoreBigEndian(words.word2, out + 4);
}

void EncodeImage(BlockEncoder encode, Etc1FastPairEncoderFn encodePair, const Etc1Source& image, uint8_t* blocks)
{
    ClearUpperVectorState();
    const int across = (image.width + 3) / 4;
    const int down = (image.height + 3) / 4;
    const size_t rowBytes = static_cast<size_t>(across) * 8;
    // The encoders depend on the pixels alone: a block like its left neighbour or the one above it (common
    // in flat areas) gets that block's words without being encoded again. The rest of a row goes to the
    // encoder, two blocks at a time where it takes pairs; the left repeats are filled in afterwards, in
    // order, so that a run of them copies from the block that was encoded.
    constexpr int kChunk = 64;
    for (int by = 0; by < down; ++by)
    {
        uint8_t* out = blocks + static_cast<size_t>(by) * rowBytes;
        for (int first = 0; first < across; first += kChunk)
        {
            const int last = std::min(first + kChunk, across);
            bool repeatsLeft[kChunk];
            int pending[2] = {0, 0}, count = 0;
            for (int bx = first; bx < last; ++bx)
            {
                repeatsLeft[bx - first] = RepeatsBlock(image, bx * 4, by * 4, 4, 0);
                if (repeatsLeft[bx - first]) continue;
                if (RepeatsBlock(image, bx * 4, by * 4, 0, 4))
                {
                    std::memcpy(out + bx * 8, out + bx * 8 - rowBytes, 8);
                    continue;
                }
                pending[count++] = bx;
                if (count < 2 && encodePair != nullptr) continue;
                if (count == 2)
                {
                    const int xy[4] = {pending[0] * 4, by * 4, pending[1] * 4, by * 4};
                    Etc1BlockWords words[2];
                    encodePair(image, xy, words);
                    StoreWords(words[0], out + pending[0] * 8);
                    StoreWords(words[1], out + pending[1] * 8);
                }
                else
                {
                    StoreWords(encode(image, bx * 4, by * 4), out + bx * 8);
                }
                count = 0;
            }
            if (count == 1) StoreWords(encode(image, pending[0] * 4, by * 4), out + pending[0] * 8);
            for (int bx = first; bx < last; ++bx)
                if (repeatsLeft[bx - first]) std::memcpy(out + bx * 8, out + bx * 8 - 8, 8);
        }
    }
}

}  // namespace

size_t Etc1CompressedSize(int width, int height)
{
    if (width < 1 || height < 1 || width > kEtc1MaxSide || height > kEtc1MaxSide) return 0;
    return static_cast<size_t>((width + 3) / 4) * static_cast<size_t>((height + 3) / 4) * 8;
}

bool CompressImageETC1(const uint8_t* pixels, size_t pixelBytes, int width, int height,
                       std::unique_ptr<uint8_t[]>& blocks, int& blocksAcross, int& blocksDown)
{
    if (!InputValid(pixels, pixelBytes, width, height)) return false;
    // Running out of memory is reported to the caller, who fails this texture; it does not end the process.
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[Etc1CompressedSize(width, height)]);
    if (!out) return false;
    ReportPadding(width, height);
    EncodeImage(Etc1FastBlockEncoder(), Etc1FastPairEncoder(), Etc1Source{pixels, width, height}, out.get());
    blocks = std::move(out);
    blocksAcross = (width + 3) / 4;
    blocksDown = (height + 3) / 4;
    return true;
}

bool CompressImageETC1WithMode(Etc1Mode mode, const uint8_t* pixels, size_t pixelBytes, int width, int height,
                               uint8_t* blocks, size_t blockBytes)
{
    const BlockEncoder encode = EncoderOf(mode);
    if (encode == nullptr || blocks == nullptr || !InputValid(pixels, pixelBytes, width, height) ||
        blockBytes < Etc1CompressedSize(width, height))
        return false;
    ReportPadding(width, height);
    EncodeImage(encode, mode == Etc1Mode::Fast ? Etc1FastPairEncoder() : nullptr, Etc1Source{pixels, width, height},
                blocks);
    return true;
}
