#pragma once
// The pixel format a display texture is built in (the display's format ids of TextureFormat.h). Set
// accepts the uncompressed formats a texture can be rebuilt in from an image:
//   1 ARGB 8888 (4 bytes a pixel), 3 XRGB 8888 (4 bytes), 5 RGB 888 (3 bytes), 8 L8 (1 byte of grey).
#include <cstdint>

namespace Orvo {

class DisplayFormat
{
public:
    // False, and the format left as it was, for any other id.
    bool Set(uint32_t id);
    // 0 until set.
    uint32_t GetId() const { return id_; }
    uint32_t GetBytesPerPixel() const { return BytesPerPixel(id_); }
    // 0 for an id Set refuses.
    static uint32_t BytesPerPixel(uint32_t id);

private:
    uint32_t id_ = 0;
};

}  // namespace Orvo
