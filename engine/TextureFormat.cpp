#include "engine/TextureFormat.h"

#include <algorithm>

namespace Orvo {

bool IsKnownDFormat(uint32_t format)
{
    switch (format)
    {
    case DFormatARGB8888:
    case DFormatXRGB8888:
    case DFormatDXT1:
    case DFormatDXT3:
    case DFormatDXT5:
    case DFormatPVRTC4:
    case DFormatPVRTC4Alpha:
    case DFormatATC:
    case DFormatATCExplicit:
    case DFormatATCInterpolated:
    case DFormatETC1: return true;
    default: return false;
    }
}

bool IsCompressedDFormat(uint32_t format)
{
    return IsKnownDFormat(format) && format != DFormatARGB8888 && format != DFormatXRGB8888;
}

size_t DFormatLevelSize(uint32_t format, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0 || width > 65536 || height > 65536) return 0;
    const uint64_t blocks = uint64_t((width + 3) / 4) * ((height + 3) / 4);
    switch (format)
    {
    case DFormatARGB8888:
    case DFormatXRGB8888: return size_t(uint64_t(width) * height * 4);
    case DFormatDXT1:
    case DFormatATC:
    case DFormatETC1: return size_t(blocks * 8);
    case DFormatDXT3:
    case DFormatDXT5:
    case DFormatATCExplicit:
    case DFormatATCInterpolated: return size_t(blocks * 16);
    case DFormatPVRTC4:
    case DFormatPVRTC4Alpha: return size_t(std::max<uint64_t>(uint64_t(width) * height / 2, 32));
    default: return 0;
    }
}

uint32_t FullMipChainLength(uint32_t width, uint32_t height)
{
    uint32_t levels = 1;
    while (width > 1 || height > 1)
    {
        width = std::max(width / 2, 1u);
        height = std::max(height / 2, 1u);
        ++levels;
    }
    return levels;
}

}  // namespace Orvo
