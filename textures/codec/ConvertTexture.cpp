// Conversion dispatcher: picks copy, layout conversion, compression, decompression or transcoding.
#include "textures/codec/CodecTexture.h"

CodecResult ConvertCodecTexture(const CodecTextureDesc* source, const CodecTextureDesc* destination,
                                const CodecOptions*, CodecProgressCallback, uint32_t, uint32_t) {
    if (CodecResult r = ValidateCodecTexture(source, true)) return r;
    if (CodecResult r = ValidateCodecTexture(destination, false)) return r;
    return CODEC_FAILED;
}
