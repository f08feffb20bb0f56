#pragma once
// The bump materials of the ground line: vertex colours, a bump map (texture 8, stage 1) and the two
// lighting passes of the bump material. The gloss colour material adds an environment map (texture 9,
// stage 3) turned with the camera.
#include "render/materials/BumpMaterialBases.h"
#include "render/materials/VelmarGroundBaseMaterial.h"

namespace Orvo {

class VelmarBumpColorMaterial : public BumpTextureMaterial<VelmarGroundBaseMaterial>
{
public:
    VelmarBumpColorMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                            RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs);

    Material* Duplicate() const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The ground state, then the bump map on stage 1; stage 1 reset, then the ground state put back.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

protected:
    VelmarBumpColorMaterial(const PString& name, const PString& type, MaterialManager* manager,
                            RenderingCache* chunkCache, RenderingCache* maskCache, RenderingCache* blendCache,
                            const BumpPrograms& programs);
};

class VelmarBumpGlossColMaterial : public SecondTextureMaterial<VelmarBumpColorMaterial>
{
public:
    // `programs` draw; `kept` are held with the material and never drawn with.
    VelmarBumpGlossColMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                               RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs,
                               const BumpPrograms& kept);

    const Matrix4& GetEnvironmentMatrix() const { return environment_; }
    BumpPrograms GetKeptPrograms() const { return kept_.Get(); }

    Material* Duplicate() const override;
    void Activate(int level) override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The environment map on stage 3 first; stage 3 reset first.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

protected:
    void DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw) override;

private:
    const Matrix4 environment_;  // the same for every such material: copies need not take it
    BumpProgramRefs kept_;
};

}  // namespace Orvo
