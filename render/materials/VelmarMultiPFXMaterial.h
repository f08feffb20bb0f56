#pragma once
// The multi-PFX material: the colour texture on stage 0 and a second texture (texture number 12) on
// stage 1, with the plug-in's two stage set-ups and the material's own texture matrix for stage 1. Its
// chunks keep position, colour and texture with a separate normal array, laid out by a vertex type of its
// own that gives the second stage the first texture coordinates.
#include "engine/OneTextureMaterial.h"
#include "render/materials/MaterialFamily.h"

#include <array>
#include <memory>

namespace Orvo {

class VertexType;

class VelmarMultiPFXMaterial : public ChunkListMaterial<OneTextureMaterial>
{
public:
    static constexpr int kSecondTexture = 12;
    static constexpr uint32_t kVertexTypeId = 99;

    VelmarMultiPFXMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                           RenderingCache* maskCache, RenderingCache* blendCache, uint32_t setup0, uint32_t setup1);

    DisplayTexture* GetSecondTexture() const { return second_.Get(); }
    const Matrix4& GetTextureMatrix() const { return matrix_; }
    void SetTextureMatrix(const Matrix4& m) { matrix_ = m; }

    Material* Duplicate() const override;
    // Takes another's settings, textures (shared) and texture matrix.
    void InitInstance(const VelmarMultiPFXMaterial& from);
    bool Equals(const VelmarMultiPFXMaterial& other) const
    {
        return second_ == other.second_ && OneTextureMaterial::Equals(other);
    }
    bool IsEqual(const Material& other) const override { return SameMaterial(*this, other); }
    void SetResourcePriority(float priority) override;
    void Activate(int level) override;
    using OneTextureMaterial::SetTexture;
    // Texture 12: a name that cannot be loaded keeps the second texture that was there (result 3).
    int SetTexture(int number, ResourceDatabase* database, const PString& file, float value,
                   const std::string& text) override;
    int SetTexture(int number, DisplayTexture* texture, float value) override;
    DisplayTexture* GetTexture(int number) const override;
    int DuplicateTexture(int number) override;
    // 4 while the second texture is loading; a material without one waits for nothing.
    int IsLoaded() const override;
    GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                       uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint) override;
    // The one-texture state, both set-ups applied, the second texture on stage 1 and the texture matrix
    // of stage 1; put back: the one-texture state, stages 0 and 1 reset, the texture matrix of stage 1
    // reset.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

protected:
    void DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override;

private:
    AutoReference<DisplayTexture> second_;
    Matrix4 matrix_;
    std::array<uint32_t, 2> setups_;
    std::shared_ptr<const VertexType> vertexType_;
};

}  // namespace Orvo
