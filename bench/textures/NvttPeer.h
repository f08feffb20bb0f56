#pragma once
// The C entry of the NVIDIA Texture Tools peer module. libnvtt carries its own copy of squish under the same
// symbol names as libsquish, so the benchmark loads this module with dlopen(RTLD_LOCAL | RTLD_DEEPBIND)
// instead of linking nvtt beside libsquish.
#include <cstddef>
#include <cstdint>

extern "C" {
// format: 0 DXT1, 1 DXT5. quality: 0 Fastest, 1 Normal, 2 Production. bgra: rows packed, bytes B, G, R, A.
// Writes width/4 x height/4 blocks into out; returns 0 on success.
typedef int (*NvttPeerCompressFn)(const uint8_t* bgra, int width, int height, int format, int quality, uint8_t* out,
                                  size_t outSize);
int VelmarNvttPeerCompress(const uint8_t* bgra, int width, int height, int format, int quality, uint8_t* out,
                           size_t outSize);
}
