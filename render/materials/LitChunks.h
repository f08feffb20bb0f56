#pragma once
// The draw of the one-texture line (colour one-texture, one-texture no-alpha, multi-PFX): the display
// state set once, then for each chunk its lighting handed to the display (the material's light scale
// times the chunk's) and the chunk drawn with its own vertex program, then the state put back.
#include "render/materials/BumpPasses.h"

namespace Orvo {
class OneTextureMaterial;
}

void DrawLitChunks(Orvo::OneTextureMaterial& material, float lightScale, Orvo::Display* display,
                   Orvo::ViewPort* viewport, const ChunkDraw* draws, uint32_t count);
