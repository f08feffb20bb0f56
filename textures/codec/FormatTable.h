#pragma once
// Library-internal helpers of the format table (CodecTexture.cpp).
#include <cstdint>

// Bytes per pixel of an uncompressed format 1..14, 0 otherwise.
uint32_t FormatBytesPerPixel(int32_t format);
// Row pitch used when a descriptor gives pitch 0 (24-bit rows padded to 4 bytes); 0 if it overflows.
uint32_t MinimumRowPitch(int32_t format, uint32_t width);
