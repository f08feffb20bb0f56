#pragma once
// Public surface of the block-compression codec library: one texture level is converted between
// 14 uncompressed layouts and 22 block-compressed formats by ConvertCodecTexture.
#include <cstdint>

// Pixel formats. The 8-bit layouts are stored blue, green, red(, alpha) in ascending addresses (a
// little-endian word with alpha on top); 16-bit, half and float layouts red, green, blue, alpha.
enum CodecFormat : int32_t
{
    CF_ARGB8888 = 1,
    CF_RGB888 = 2,
    CF_RG88 = 3,
    CF_R8 = 4,
    CF_ARGB2101010 = 5,
    CF_ARGB16161616 = 6,
    CF_RG1616 = 7,
    CF_R16 = 8,
    CF_ARGB16161616F = 9,
    CF_RG1616F = 10,
    CF_R16F = 11,
    CF_ARGB32323232F = 12,
    CF_RG3232F = 13,
    CF_R32F = 14,
    CF_DXT1 = 15,
    CF_DXT3 = 16,
    CF_DXT5 = 17,
    CF_DXT5_xGBR = 18,
    CF_DXT5_RxBG = 19,
    CF_DXT5_RBxG = 20,
    CF_DXT5_xRBG = 21,
    CF_DXT5_RGxB = 22,
    CF_DXT5_xGxR = 23,
    CF_ATI1N = 24,
    CF_ATI2N = 25,
    CF_ATI2N_XY = 26,
    CF_ATI2N_DXT5 = 27,
    CF_BC1 = 28,
    CF_BC2 = 29,
    CF_BC3 = 30,
    CF_BC4 = 31,
    CF_BC5 = 32,
    CF_ATC_RGB = 33,
    CF_ATC_RGBA_Explicit = 34,
    CF_ATC_RGBA_Interpolated = 35,
    CF_ETC_RGB = 36,
};

// Result codes of ConvertCodecTexture.
enum CodecResult : uint32_t
{
    CODEC_OK = 0,
    CODEC_STOPPED = 1,     // the progress callback asked to stop
    CODEC_BAD_SOURCE = 2,  // null, wrong size field, zero or oversized dimensions, null data, short data
    CODEC_BAD_DESTINATION = 3,
    CODEC_BAD_SOURCE_FORMAT = 4,  // unknown format, or a row pitch too small for the layout
    CODEC_BAD_DESTINATION_FORMAT = 5,
    CODEC_SIZE_MISMATCH = 6,  // widths or heights differ
    CODEC_NO_CODEC = 7,       // a codec object cannot be created
    CODEC_FAILED = 8,         // a buffer cannot be created, or the codec failed
};

// The record versions carried in the records' "size" fields: fixed numbers that callers set and the
// library checks (the descriptor's stays 28 whatever sizeof(CodecTextureDesc) is on a 64-bit build).
constexpr uint32_t kCodecTextureDescSize = 28;
constexpr uint32_t kCodecOptionsSize = 56;

struct CodecTextureDesc
{
    uint32_t size;      // kCodecTextureDescSize
    uint32_t width;     // pixels, not 0
    uint32_t height;    // pixels, not 0
    uint32_t pitch;     // bytes per row; 0 = packed by the format's size rule; ignored for block formats
    int32_t format;     // CodecFormat
    uint32_t dataSize;  // bytes available at data
    void* data;         // owned by the caller
};

struct CodecOptions
{
    uint32_t size;  // kCodecOptionsSize, else the parameters below are ignored
    uint32_t useChannelWeighting;
    double weightR;
    double weightG;
    double weightB;
    uint32_t useAdaptiveWeighting;
    uint32_t dxt1UseAlpha;
    uint8_t alphaThreshold;
    uint32_t disableMultithreading;  // read whatever the size field says
    uint32_t compressionSpeed;       // 0 quality, 1 fast, 2 fast SSE2
};
static_assert(sizeof(CodecOptions) == kCodecOptionsSize, "options record layout");

// Called after each row of blocks with the share done so far; a nonzero answer stops the work.
// With several worker threads it is called from all of them at once.
using CodecProgressCallback = uint8_t (*)(float percent, uint32_t user1, uint32_t user2);

// The one conversion entry. options and callback may be null.
CodecResult ConvertCodecTexture(const CodecTextureDesc* source, const CodecTextureDesc* destination,
                                const CodecOptions* options, CodecProgressCallback callback, uint32_t user1,
                                uint32_t user2);

// Bytes the descriptor's texture needs; 0 for a bad descriptor or when the size does not fit 32 bits.
uint32_t CodecTextureSize(const CodecTextureDesc* desc);

// The size rule of one format; 0 for an unknown format or when the size does not fit 32 bits.
uint32_t CodecTextureSizeForFormat(int32_t format, uint32_t width, uint32_t height, uint32_t pitch);

// The converter's tests of one side: 0 when valid, else 2/3 (bad descriptor) or 4/5 (bad format).
CodecResult ValidateCodecTexture(const CodecTextureDesc* desc, bool isSource);

// Codec type 0..18 of a format (1 for the uncompressed layouts, 0 for unknown formats).
uint32_t FormatToCodecType(int32_t format);

// Bytes of a block-compressed image of a codec type (2..18); 0 otherwise or when it does not fit 32 bits.
uint32_t CompressedTextureSize(uint32_t codecType, uint32_t width, uint32_t height);

// Number of processors the conversions spread over (at least 1).
uint32_t GetProcessorCount();
