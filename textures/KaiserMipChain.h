#pragma once
// The mip chain of a colour texture made the way NVIDIA Texture Tools makes it for the DXT formats, without
// nvtt's per-pixel costs: a Kaiser-windowed sinc (width 3, alpha 4, stretch 1, each tap the mean of 32
// samples over its pixel), applied across and then down in linear light (gamma 2.2 in and out; alpha
// linear), each level made from the previous one in floating point and written as 8-bit pixels by
// truncation, as nvtt's gamma-correct output does. Halvings of even sides, the usual case, run as
// vectorised even/odd sums; odd sides go through the general polyphase form. The sums run in nvtt's order
// with nvtt's weights; what remains is where the power function's rounding differs (bench/texconvert
// states how close the levels come to nvtt's).
#include "engine/Bitmap.h"

#include <memory>
#include <vector>

// Levels 1 .. 1 x 1 of `level0` (pixel format 2 or 3, blue, green, red, alpha bytes), each side halved
// (at least 1), in level0's pixel format. `wrap`: the filter reaches across the edges to the other side
// (repeat), else the edge pixels repeat outwards (clamp). Empty for other pixel formats, or when memory
// runs out.
std::vector<std::unique_ptr<Orvo::Bitmap>> MakeKaiserMipChain(const Orvo::Bitmap& level0, bool wrap);
