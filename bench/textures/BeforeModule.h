#pragma once
// The C entries of the "before" module: the codec library and the ETC1 codec built from an older source
// tree (run.sh --before REV), loaded with dlopen(RTLD_LOCAL | RTLD_DEEPBIND) so that its symbols, which
// carry the same names as ours, stay apart. The descriptor and options records are the public ones, which
// the older tree shares.
#include <cstddef>
#include <cstdint>

extern "C" {
// ConvertCodecTexture of the older tree.
typedef uint32_t (*BeforeConvertFn)(const void* source, const void* destination, const void* options);
uint32_t VelmarBeforeConvert(const void* source, const void* destination, const void* options);
// CompressImageETC1 of the older tree into out (Etc1CompressedSize bytes); returns 0 on success.
typedef int (*BeforeEtc1Fn)(const uint8_t* rgb, size_t rgbBytes, int width, int height, uint8_t* out, size_t outSize);
int VelmarBeforeEtc1(const uint8_t* rgb, size_t rgbBytes, int width, int height, uint8_t* out, size_t outSize);
}
