#pragma once
// How a compressing texture chooses its size and its display format from the targets, the texture
// options and the texture's own hints. Pure functions, so the rules can be checked on their own.
#include "assetdb/PStringArray.h"

#include <cstdint>

namespace Orvo {
class Options;
struct ConfigData;
}  // namespace Orvo

// The alpha hint values: what the texture's alpha channel holds. kAlphaHintNone: not known.
enum TextureAlphaHint : uint8_t
{
    kAlphaHintOpaque = 0,
    kAlphaHintFull = 1,
    kAlphaHintMask = 2,  // only fully transparent or fully opaque texels (1-bit alpha)
    kAlphaHintNone = 255,
};

struct TextureFormatPick
{
    uint32_t format = 1;
    bool alpha = true;
    bool operator==(const TextureFormatPick&) const = default;
};

// Three entries: opaque textures, textures with 1-bit alpha, textures with full alpha.
struct CompressionTable
{
    TextureFormatPick entry[3] = {{1, true}, {1, true}, {1, true}};
};

// The table of the "Compression" option for the targets.
CompressionTable BuildCompressionTable(const PStringArray& targets, const Orvo::Options& options);

struct TextureSizeLimits
{
    uint32_t maxWidth = 2048;
    uint32_t maxHeight = 2048;
};

// The limits the targets set: 512 for "android" with "dxtc", 256 for "ios" or "android", else 2048.
TextureSizeLimits TargetSizeLimits(const PStringArray& targets);

// The Android keys of a texture description's "Texture" child, when the targets hold "android": the
// family's bias shifts both limits (positive: larger), its size key caps them. The limits always stay
// within 1..16384: a bias of any size cannot overflow them or bring them to 0, and a size of 0 is ignored.
void ApplyAndroidLimits(const PStringArray& targets, const Orvo::ConfigData* texture, TextureSizeLimits& limits);

// The compiled size of a texture of the given base size: for "ios"/"pvrtc" when compressed a square whose side
// is a power of two (halving the larger side when that reaches the smaller one, else the largest power of two
// not above the smaller side; a side that is still no power of two, or above the limits, becomes the largest
// power of two not above it and the limits, unless it is below 8), then fitted into the limits keeping the
// aspect ratio (each side at least 1).
void FitTextureSize(const PStringArray& targets, uint32_t compressionKind, const TextureSizeLimits& limits,
                    uint32_t& width, uint32_t& height);

struct TextureFormatInputs
{
    const PStringArray* targets = nullptr;
    const Orvo::Options* options = nullptr;  // null: no options attached
    uint8_t alphaHint = kAlphaHintNone;      // may be changed by the decision (normal maps)
    uint32_t compressionKind = 4;            // 0 none, 1..3 DXT1/DXT3/DXT5 families, others: by the table
    bool normalMapHint = false;
    bool forceOptions = false;
    uint32_t width = 0;  // the compiled size (FitTextureSize)
    uint32_t height = 0;
};

// The display format of the texture and whether it keeps alpha. A normal map whose hint says 1-bit alpha
// is treated as having full alpha (written back into inputs.alphaHint).
TextureFormatPick ChooseTextureFormat(TextureFormatInputs& inputs);
