#pragma once
// The gloss-rust material: a reflective material whose reflection fades and whose specular colour dulls
// as the chunk's "RustAge" (0 new, 1 fully rusted) grows. It draws with its plug-in's four stage set-ups:
// the first two when the reflection is visible, the last two when it is not.
#include "engine/ReflectiveMaterial.h"
#include "render/materials/MaterialFamily.h"

#include <vector>

namespace Orvo {

class VelmarGlossRustMaterial : public ChunkListMaterial<ReflectiveMaterial>
{
public:
    VelmarGlossRustMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                            RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setupCount,
                            const uint32_t* setups);

    // The reflection is drawn when (1 - 2 x rust) x reflectivity is above 1/255.
    bool IsReflectionVisible(float rust) const;

    Material* Duplicate() const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The one-texture state with the reflection on stage 1 (when there are set-ups); put back with
    // stage 1 reset.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

    // Given no chunk, the state is still set and put back (nothing is drawn).
    void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                     const Matrix4& transform, int pass) override;
    void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                          const Matrix4& transform, uint32_t indexCount, const uint16_t* indices,
                          uint32_t primitiveCount, uint32_t primitiveKind, int pass) override;

protected:
    // Nothing at all happens without a reflection texture.
    void DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override;

private:
    void DrawOne(Display* display, ViewPort* viewport, const ChunkDraw& draw, float rust, bool visible);
    void SetRustFactors(Display* display, float rust) const;

    std::vector<float> rust_;  // the rust of each chunk being drawn
};

}  // namespace Orvo
