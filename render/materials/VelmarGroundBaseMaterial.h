#pragma once
// The ground-base line: one-texture materials for meshes whose vertices carry their own colour, which
// also choose depth writing and alpha testing (depth writing on and alpha testing off unless set). The
// colour one-texture and one-texture no-alpha materials draw their chunks lit by the engine's lighting
// (LitChunks.h) with vertex colours (colour-material mode 5 while they draw).
#include "engine/OneTextureMaterial.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/MaterialFamily.h"

namespace Orvo {

class VelmarGroundBaseMaterial : public OneTextureMaterial
{
public:
    VelmarGroundBaseMaterial(const PString& name, const PString& type, MaterialManager* manager,
                             RenderingCache* chunkCache, RenderingCache* maskCache, RenderingCache* blendCache);

    bool GetDepthWrite() const { return depthWrite_; }
    void SetDepthWrite(bool on) { depthWrite_ = on; }
    bool GetAlphaTest() const { return alphaTest_; }
    void SetAlphaTest(bool on) { alphaTest_ = on; }
    // The material's factor on the light its chunks receive.
    float GetLightScale() const { return lightScale_; }

    Material* Duplicate() const override;
    // Takes another's settings, depth-write and alpha-test choice and textures (shared).
    void InitInstance(const VelmarGroundBaseMaterial& from);
    // The same depth-write and alpha-test choice, then one-texture equality.
    bool Equals(const VelmarGroundBaseMaterial& other) const
    {
        return depthWrite_ == other.depthWrite_ && alphaTest_ == other.alphaTest_ && OneTextureMaterial::Equals(other);
    }
    bool IsEqual(const Material& other) const override { return SameMaterial(*this, other); }
    // The one-texture state, then alpha testing and depth writing as the material chooses (the alpha
    // test in force before is kept); put back, with depth writing always on afterwards.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

private:
    bool depthWrite_ = true;
    bool alphaTest_ = false;
    bool savedAlphaTest_ = true;
    float lightScale_ = 1.0f;
};

// The ground materials drawn with their vertex colours (colour-material mode 5 while they draw).
class VelmarColourGroundMaterial : public ChunkListMaterial<VelmarGroundBaseMaterial>
{
public:
    using ChunkListMaterial<VelmarGroundBaseMaterial>::ChunkListMaterial;

    // The ground state and colour-material mode 5; put back with mode 0.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;
};

// The ground materials drawn by the engine's lighting with their vertex colours.
class VelmarLitGroundMaterial : public VelmarColourGroundMaterial
{
public:
    using VelmarColourGroundMaterial::VelmarColourGroundMaterial;

protected:
    void DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override;
};

class VelmarColorOneTextureMaterial : public VelmarLitGroundMaterial
{
public:
    VelmarColorOneTextureMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                  RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setup);
    Material* Duplicate() const override;
    // Always position, colour, normal, texture and tangent.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
};

class VelmarOneTexNoAlphaMaterial : public VelmarLitGroundMaterial
{
public:
    VelmarOneTexNoAlphaMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setup);
    Material* Duplicate() const override;
    // Position, colour and texture with a normal array of its own when the hint's option bit 0 asks for
    // it, else position, normal and texture.
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // Never blended.
    void CacheAlphaHint() override { SetCachedAlphaHint(kAlphaHintNone); }
};

}  // namespace Orvo
