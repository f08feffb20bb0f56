#pragma once
// The bump materials: a colour bitmap (stage 0), a bump map (texture 8, stage 1) and per-pixel lighting
// in two passes (BumpPasses.h). The environment material adds an environment map (texture 9) drawn
// through stage 3, the gloss material a gloss map (texture 9, stage 3) whose strength fades as the
// chunk's "RustAge" grows.
#include "engine/OneTextureMaterial.h"
#include "render/materials/BumpMaterialBases.h"
#include "render/materials/BumpPasses.h"

namespace Orvo {

class VelmarBumpMaterial : public BumpTextureMaterial<OneTextureMaterial>
{
public:
    VelmarBumpMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                       RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs);

    Material* Duplicate() const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The bump map on stage 1, then the one-texture state; stages 1 and 2 reset, then the one-texture
    // state put back.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

protected:
    VelmarBumpMaterial(const PString& name, const PString& type, MaterialManager* manager, RenderingCache* chunkCache,
                       RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs);
};

// What fills stage 3 of an environment material: a texture for the material seen in a viewport (one
// reference for the caller), or null.
using EnvironmentMapProvider = DisplayTexture* (*)(Material* material, ViewPort* viewport);

class VelmarBumpEnvMaterial : public SecondTextureMaterial<VelmarBumpMaterial>
{
public:
    VelmarBumpEnvMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                          RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs);

    // The axis change the environment texture transform applies after the camera's turn.
    const Matrix4& GetEnvironmentMatrix() const { return environment_; }
    // The source of the material's environment map. Nothing in the program gives one; without one the
    // display's fallback texture is used.
    void SetEnvironmentMapProvider(EnvironmentMapProvider provider) { provider_ = provider; }

    Material* Duplicate() const override;
    void Activate(int level) override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    void ClearDisplayState(Display* display) override;

protected:
    void DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw) override;

private:
    const Matrix4 environment_;  // the same for every such material: copies need not take it
    EnvironmentMapProvider provider_ = nullptr;
};

class VelmarBumpGlossMaterial : public SecondTextureMaterial<VelmarBumpMaterial>
{
public:
    // `programs` draw; `kept` are held with the material and never drawn with.
    VelmarBumpGlossMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                            RenderingCache* maskCache, RenderingCache* blendCache, const BumpPrograms& programs,
                            const BumpPrograms& kept);

    float GetGlossStrength() const { return GetSecondValue(); }
    BumpPrograms GetKeptPrograms() const { return kept_.Get(); }

    Material* Duplicate() const override;
    void Activate(int level) override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The gloss map on stage 3 first; stage 3 reset first.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

protected:
    // With the ambient colour white while it draws; nothing is drawn (the state is still set and put
    // back) once (1 - 2 x RustAge) x gloss strength is 1/255 or less.
    void DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw) override;

private:
    BumpProgramRefs kept_;
};

}  // namespace Orvo
