// Whole-image entries of the ETC1 codec: input checks, padding to whole blocks, block order and storage.
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

// Whether the whole block at column x repeats the whole block left of it (both inside the image).
bool RepeatsLeftBlock(const Etc1Source& image, int x, int y)
{
    if (x < 4 || x + 3 >= image.width || y + 3 >= image.height) return false;
    const size_t stride = static_cast<size_t>(image.width) * 3;
    const uint8_t* row = image.pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
    for (int r = 0; r < 4; ++r, row += stride)
        if (std::memcmp(row, row - 12, 12) != 0) return false;
    return true;
}

void EncodeImage(BlockEncoder encode, const Etc1Source& image, uint8_t* blocks)
{
    ClearUpperVectorState();
    const int across = (image.width + 3) / 4;
    const int down = (image.height + 3) / 4;
    for (int by = 0; by < down; ++by)
    {
        uint8_t* out = blocks + static_cast<size_t>(by) * static_cast<size_t>(across) * 8;
        for (int bx = 0; bx < across; ++bx, out += 8)
        {
            // The encoders depend on the pixels alone: a block like its left neighbour (common in flat areas)
            // gets that neighbour's words without being encoded again.
            if (RepeatsLeftBlock(image, bx * 4, by * 4))
            {
                std::memcpy(out, out - 8, 8);
                continue;
            }
            const Etc1BlockWords words = encode(image, bx * 4, by * 4);
            StoreBigEndian(words.word1, out);
            StoreBigEndian(words.word2, out + 4);
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
    EncodeImage(Etc1FastBlockEncoder(), Etc1Source{pixels, width, height}, out.get());
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
    EncodeImage(encode, Etc1Source{pixels, width, height}, blocks);
    return true;
}
