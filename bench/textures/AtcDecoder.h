#pragma once
// An ATC decoder written from the published block layout, so that the benchmark does not judge the
// codec library's ATC output with the library's own decoder.
#include <cstdint>

// Decodes a whole ATC RGB image (8-byte blocks) or ATC RGBA image with interpolated alpha (16-byte
// blocks: the alpha block, then the colour block) into RGBA; width and height are multiples of 4.
void DecodeAtcImage(const uint8_t* blocks, int width, int height, bool interpolatedAlpha, uint8_t* rgba);
