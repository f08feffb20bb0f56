#pragma once
// The display's texture format ids (DFormatId) as compiled textures record them, and the size rules of
// their mip levels.
#include <cstddef>
#include <cstdint>

namespace Orvo {

enum DFormatId : uint32_t
{
    DFormatARGB8888 = 1,  // uncompressed 32-bit with alpha
    DFormatXRGB8888 = 3,  // uncompressed 32-bit without alpha
    DFormatRGB888 = 5,    // uncompressed 24-bit (display textures rebuilt from images only)
    DFormatL8 = 8,        // uncompressed 8-bit grey (display textures rebuilt from images only)
    DFormatDXT1 = 10,     // DXT1; with the texture's alpha flag DXT1 with 1-bit alpha
    DFormatDXT3 = 11,
    DFormatDXT5 = 12,
    DFormatPVRTC4 = 23,           // PVRTC 4 bits per pixel without alpha
    DFormatPVRTC4Alpha = 24,      // ... with alpha
    DFormatATC = 25,              // "ATC "
    DFormatATCExplicit = 26,      // "ATCE"
    DFormatATCInterpolated = 27,  // "ATCI"
    DFormatETC1 = 28,
};

// True for the ids above that compiled textures use (not 5 and 8).
bool IsKnownDFormat(uint32_t format);
bool IsCompressedDFormat(uint32_t format);

// Bytes of one mip level of that size: 4 per pixel uncompressed; 8 or 16 per 4 x 4 block (partial blocks
// count whole) for DXT, ATC and ETC1, at least one block; PVRTC 4 bpp width x height / 2, at least 32.
// 0 for an unknown format, a zero side or a size that does not fit.
size_t DFormatLevelSize(uint32_t format, uint32_t width, uint32_t height);

// Mip levels of a full chain from width x height down to 1 x 1 (each side halved, at least 1).
uint32_t FullMipChainLength(uint32_t width, uint32_t height);

}  // namespace Orvo
