// Format table, size rules and descriptor checks of the codec library.
#include "textures/codec/CodecTexture.h"
#include "textures/codec/FormatTable.h"

#include <thread>

namespace {

struct FormatInfo
{
    uint32_t codecType;
    uint32_t bytesPerPixel;  // uncompressed layouts only
};

constexpr FormatInfo kFormats[37] = {
    {0, 0},                                                        // 0: none
    {1, 4},  {1, 3},  {1, 2},  {1, 1},  {1, 4},  {1, 8},  {1, 4},  // 1..7
    {1, 2},  {1, 8},  {1, 4},  {1, 2},  {1, 16}, {1, 8},  {1, 4},  // 8..14
    {2, 0},  {3, 0},  {4, 0},  {5, 0},  {6, 0},  {7, 0},  {8, 0},  // 15..21
    {9, 0},  {10, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 0},          // 22..27
    {2, 0},  {3, 0},  {4, 0},  {11, 0}, {13, 0},                   // 28..32
    {15, 0}, {16, 0}, {17, 0}, {18, 0},                            // 33..36
};

bool KnownFormat(int32_t format) { return format >= 1 && format <= 36; }

uint32_t Fit32(uint64_t v) { return v > 0xFFFFFFFFull ? 0 : uint32_t(v); }

}  // namespace

uint32_t FormatToCodecType(int32_t format) { return KnownFormat(format) ? kFormats[format].codecType : 0; }

uint32_t FormatBytesPerPixel(int32_t format) { return KnownFormat(format) ? kFormats[format].bytesPerPixel : 0; }

uint32_t MinimumRowPitch(int32_t format, uint32_t width)
{
    uint64_t row = uint64_t(width) * FormatBytesPerPixel(format);
    if (format == CF_RGB888) row = (row + 3) / 4 * 4;  // 24-bit rows are padded to whole words
    return Fit32(row);
}

uint32_t CompressedTextureSize(uint32_t codecType, uint32_t width, uint32_t height)
{
    if (codecType < 2 || codecType > 18) return 0;
    uint64_t bits = (codecType == 2 || codecType == 11 || codecType == 15 || codecType == 18) ? 4 : 8;
    uint64_t w = (uint64_t(width) + 3) / 4 * 4, h = (uint64_t(height) + 3) / 4 * 4;
    return Fit32(bits * w * h / 8);
}

uint32_t CodecTextureSizeForFormat(int32_t format, uint32_t width, uint32_t height, uint32_t pitch)
{
    if (!KnownFormat(format)) return 0;
    if (format <= 14)
    {
        uint64_t row = pitch != 0 ? pitch : MinimumRowPitch(format, width);
        return Fit32(row * height);
    }
    return CompressedTextureSize(FormatToCodecType(format), width, height);
}

uint32_t CodecTextureSize(const CodecTextureDesc* desc)
{
    if (desc == nullptr || desc->size != kCodecTextureDescSize || desc->width == 0 || desc->height == 0 ||
        !KnownFormat(desc->format))
        return 0;
    return CodecTextureSizeForFormat(desc->format, desc->width, desc->height, desc->pitch);
}

CodecResult ValidateCodecTexture(const CodecTextureDesc* desc, bool isSource)
{
    const CodecResult bad = isSource ? CODEC_BAD_SOURCE : CODEC_BAD_DESTINATION;
    const CodecResult badFormat = isSource ? CODEC_BAD_SOURCE_FORMAT : CODEC_BAD_DESTINATION_FORMAT;
    if (desc == nullptr || desc->size != kCodecTextureDescSize || desc->width == 0 || desc->height == 0) return bad;
    if (!KnownFormat(desc->format)) return badFormat;
    // A row pitch below the layout's own row would make the buffers step past dataSize: refused for
    // every uncompressed layout.
    if (desc->format <= 14 && desc->pitch != 0)
    {
        uint32_t minimum = uint32_t(uint64_t(desc->width) * FormatBytesPerPixel(desc->format) > 0xFFFFFFFFull
                                        ? 0
                                        : desc->width * FormatBytesPerPixel(desc->format));
        if (minimum == 0 || desc->pitch < minimum) return badFormat;
    }
    if (desc->data == nullptr) return bad;
    const uint32_t need = CodecTextureSize(desc);
    if (need == 0 || desc->dataSize < need) return bad;  // 0: the size does not fit 32 bits
    return CODEC_OK;
}

uint32_t GetProcessorCount()
{
    static const uint32_t count = [] {
        unsigned n = std::thread::hardware_concurrency();
        return n == 0 ? 1u : n;
    }();
    return count;
}
