#include "engine/DisplayFormat.h"

#include "engine/TextureFormat.h"

namespace Orvo {

uint32_t DisplayFormat::BytesPerPixel(uint32_t id)
{
    switch (id)
    {
    case DFormatARGB8888:
    case DFormatXRGB8888: return 4;
    case DFormatRGB888: return 3;
    case DFormatL8: return 1;
    default: return 0;
    }
}

bool DisplayFormat::Set(uint32_t id)
{
    if (BytesPerPixel(id) == 0) return false;
    id_ = id;
    return true;
}

}  // namespace Orvo
