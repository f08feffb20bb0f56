#pragma once
// The colour one-texture VS material: a ground material with vertex colours lit per vertex by the
// program's own vertex programs in the two passes of the bump materials (no texture combiner).
#include "engine/AutoReference.h"
#include "engine/VertexProgram.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/VelmarGroundBaseMaterial.h"

namespace Orvo {

class VelmarColorOneTextureVSMaterial : public VelmarColourGroundMaterial
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

protected:
    void DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override;

private:
    void DrawFirstPass(Display* display, ViewPort* viewport, const ChunkDraw& draw);
    void DrawSecondPass(Display* display, ViewPort* viewport, const ChunkDraw& draw);

    AutoReference<VertexProgram> parallel_;
    AutoReference<VertexProgram> spot_;
};

}  // namespace Orvo
