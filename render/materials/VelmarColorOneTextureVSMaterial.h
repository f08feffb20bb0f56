#pragma once
// The colour one-texture VS material: a ground material lit per vertex by the program's own vertex
// programs in the two passes of the bump materials (no texture combiner).
#include "engine/AutoReference.h"
#include "engine/VertexProgram.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/VelmarGroundBaseMaterial.h"

namespace Orvo {

class VelmarColorOneTextureVSMaterial : public VelmarGroundBaseMaterial
{
public:
    VelmarColorOneTextureVSMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                    RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setup,
                                    VertexProgram* parallelProgram, VertexProgram* spotProgram);

    VertexProgram* GetParallelProgram() const { return parallel_.Get(); }
    VertexProgram* GetSpotProgram() const { return spot_.Get(); }

    Material* Duplicate() const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                     const Matrix4& transform, int pass) override;
    void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                         const LightList* const* lights, const Matrix4* transforms, uint32_t count, int pass) override;
    void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                          const Matrix4& transform, uint32_t indexCount, const uint16_t* indices,
                          uint32_t primitiveCount, uint32_t primitiveKind, int pass) override;
    // The ground state and colour-material mode 5; put back with mode 0.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

private:
    void DrawFirstPass(Display* display, ViewPort* viewport, const ChunkDraw& draw);
    void DrawSecondPass(Display* display, ViewPort* viewport, const ChunkDraw& draw);
    void Draw(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count);

    AutoReference<VertexProgram> parallel_;
    AutoReference<VertexProgram> spot_;
};

}  // namespace Orvo
