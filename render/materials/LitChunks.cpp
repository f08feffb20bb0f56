#include "render/materials/LitChunks.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "engine/OneTextureMaterial.h"
#include "engine/ViewPoint.h"

using namespace Orvo;

void DrawLitChunks(OneTextureMaterial& material, float lightScale, Display* display, ViewPort* viewport,
                   const ChunkDraw* draws, uint32_t count)
{
    if (display == nullptr || count == 0) return;
    Matrix4 view;
    const bool hasView = viewport != nullptr && viewport->camera != nullptr;
    if (hasView) view = viewport->camera->GetViewTransform().ToMatrix();
    material.SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i)
    {
        const ChunkDraw& d = draws[i];
        if (d.chunk == nullptr) continue;
        VertexProgram* program = d.chunk->GetVertexProgram(0);
        material.SetLightingState(display, hasView ? &view : nullptr, d.chunk, program, d.lights, d.transform,
                                  lightScale * d.chunk->GetLightScale(), false);
        display->SetTransform(d.transform);
        d.Draw(display, viewport, program);
    }
    material.ClearDisplayState(display);
}
