#pragma once
// The ETC1 codec of the texture front end: 24-bit RGB images (rows packed, 3 bytes per pixel, red, green,
// blue) to ETC1 blocks (8 bytes each, big-endian words, blocks in row-major order). The image entry uses
// the fast mode; the further block encoders (perceptual fast mode, near and wide searches) are reachable
// through CompressImageETC1WithMode and as block operations.
#include <cstddef>
#include <cstdint>
#include <memory>

// Largest accepted side in pixels; larger images are refused rather than risking size overflow.
constexpr int kEtc1MaxSide = 32768;

enum class Etc1Mode
{
    Fast,                  // two candidates (average, combined), unweighted error: the image entry's mode
    Perceptual,            // the same with perceptual weights
    NearSearch,            // search 3 steps around the quantised colours, unweighted
    NearSearchPerceptual,  //   ... perceptual
    WideSearch,            // search 5 steps around, and the individual mode always searched, unweighted
    WideSearchPerceptual,  //   ... perceptual
};

// Bytes of the ETC1 data of a width x height image (padded to whole 4 x 4 blocks); 0 when a side is not in
// 1..kEtc1MaxSide.
size_t Etc1CompressedSize(int width, int height);

// Compresses the image in the fast mode. pixelBytes is the size of the buffer at pixels and must hold
// width x height x 3 bytes. On success the block array (blocksAcross x blocksDown x 8 bytes, counts of the
// padded image) belongs to the caller. Returns false, with the outputs untouched, on bad input or when
// memory runs out. A side that is not a multiple of 4 is padded by repeating the last column or row, and
// the padding is reported on standard output.
bool CompressImageETC1(const uint8_t* pixels, size_t pixelBytes, int width, int height,
                       std::unique_ptr<uint8_t[]>& blocks, int& blocksAcross, int& blocksDown);

// The same into a caller's buffer of blockBytes (at least Etc1CompressedSize), in any mode. Nothing is
// written past Etc1CompressedSize bytes; nothing at all when it returns false.
bool CompressImageETC1WithMode(Etc1Mode mode, const uint8_t* pixels, size_t pixelBytes, int width, int height,
                               uint8_t* blocks, size_t blockBytes);

// A read-only RGB image for the block operations. Pixels beyond the right or bottom edge read as the
// last column or row, which is the padding of the image entry (and before the left or top edge as the
// first); an empty image reads as black. pixels must hold width x height x 3 bytes.
struct Etc1Source
{
    const uint8_t* pixels;
    int width;
    int height;
};

// The two words of one ETC1 block: word1 holds base colours, codewords, differential and flip bits,
// word2 the pixel index bits (pixel i = x * 4 + y: most significant bit at 16 + i, least at i).
struct Etc1BlockWords
{
    uint32_t word1;
    uint32_t word2;
    bool operator==(const Etc1BlockWords&) const = default;
};

// Block encoders; x and y are the block's top-left pixel (multiples of 4 inside the image).
Etc1BlockWords CompressBlockETC1Fast(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1Perceptual(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1NearSearch(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1NearSearchPerceptual(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1WideSearch(const Etc1Source& image, int x, int y);
Etc1BlockWords CompressBlockETC1WideSearchPerceptual(const Etc1Source& image, int x, int y);

// Standard ETC1 decoding of one block into 16 RGB pixels, row by row (rgb[(y * 4 + x) * 3 + c]).
void DecodeBlockETC1(Etc1BlockWords block, uint8_t rgb[48]);
