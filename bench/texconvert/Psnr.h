#pragma once
// Level 0 of a converted texture, decoded by an independent decoder (libsquish), and its PSNR against the
// source image over the source's opaque pixels (red, green and blue; alpha below 255 leaves a pixel out).
#include "engine/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A decoded level: width x height pixels, bytes blue, green, red, alpha (the engine's order).
struct DecodedLevel
{
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgra;
    bool blockCompressed = false;  // false: the level was stored uncompressed
};

// Level 0 of a compiled texture ("x.texture"); false when the file cannot be read.
bool DecodeCompiledTexture(const std::string& path, DecodedLevel& out);

// Level 0 of a DDS file holding DXT1, DXT3 or DXT5 (what nvcompress writes); false otherwise.
bool DecodeDds(const std::string& path, DecodedLevel& out);

// The source as the tool compiles it: 32-bit, scaled down to `width` x `height` with Bitmap::Scale when the
// tool's size limit made level 0 smaller. Null when the file cannot be read.
std::unique_ptr<Orvo::Bitmap> LoadSource(const std::string& path, uint32_t width, uint32_t height);

// PSNR in dB over the opaque pixels of `source` (99 for a perfect match, -1 when the sizes differ or no
// pixel is opaque).
double OpaquePsnr(const Orvo::Bitmap& source, const DecodedLevel& level);
