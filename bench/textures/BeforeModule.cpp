// Built against an older source tree only (its folder comes first on the include path): the entries of
// BeforeModule.h over that tree's codec library and ETC1 codec.
#include "bench/textures/BeforeModule.h"

#include <cstring>
#include <memory>

#include "textures/Etc1Codec.h"
#include "textures/codec/CodecTexture.h"

uint32_t VelmarBeforeConvert(const void* source, const void* destination, const void* options)
{
    return uint32_t(ConvertCodecTexture(static_cast<const CodecTextureDesc*>(source),
                                        static_cast<const CodecTextureDesc*>(destination),
                                        static_cast<const CodecOptions*>(options), nullptr, 0, 0));
}

int VelmarBeforeEtc1(const uint8_t* rgb, size_t rgbBytes, int width, int height, uint8_t* out, size_t outSize)
{
    std::unique_ptr<uint8_t[]> blocks;
    int across = 0, down = 0;
    if (!CompressImageETC1(rgb, rgbBytes, width, height, blocks, across, down)) return 1;
    const size_t bytes = size_t(across) * size_t(down) * 8;
    if (bytes > outSize) return 1;
    std::memcpy(out, blocks.get(), bytes);
    return 0;
}
