#include "render/materials/VelmarGroundBaseMaterial.h"

#include "render/materials/LitChunks.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

namespace Orvo {

VelmarGroundBaseMaterial::VelmarGroundBaseMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                                   RenderingCache* chunkCache, RenderingCache* maskCache,
                                                   RenderingCache* blendCache)
    : OneTextureMaterial(name, type, manager, chunkCache, maskCache, blendCache)
{}

void VelmarGroundBaseMaterial::InitInstance(const VelmarGroundBaseMaterial& from)
{
    OneTextureMaterial::InitInstance(from);
    depthWrite_ = from.depthWrite_;
    alphaTest_ = from.alphaTest_;
    lightScale_ = from.lightScale_;
}

Material* VelmarGroundBaseMaterial::Duplicate() const
{
    auto* copy = new VelmarGroundBaseMaterial(GetName(), GetType(), manager_, GetMaterialChunkCache(),
                                              GetAlphaMaskCache(), GetAlphaBlendCache());
    copy->InitInstance(*this);
    return copy;
}

void VelmarGroundBaseMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::SetDisplayState(display);
    savedAlphaTest_ = display->GetAlphaTestMode();
    display->SetAlphaTestMode(alphaTest_);
    display->SetDepthWriteMode(depthWrite_);
}

void VelmarGroundBaseMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::ClearDisplayState(display);
    display->SetAlphaTestMode(savedAlphaTest_);
    display->SetDepthWriteMode(true);
}

// ---- the ground materials with vertex colours ----

void VelmarColourGroundMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::SetDisplayState(display);
    display->SetColorMaterialMode(5);
}

void VelmarColourGroundMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::ClearDisplayState(display);
    display->SetColorMaterialMode(0);
}

void VelmarLitGroundMaterial::DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count)
{
    DrawLitChunks(*this, GetLightScale(), display, viewport, draws, count);
}

VelmarColorOneTextureMaterial::VelmarColorOneTextureMaterial(const PString& name, MaterialManager* manager,
                                                             RenderingCache* chunkCache, RenderingCache* maskCache,
                                                             RenderingCache* blendCache, uint32_t setup)
    : VelmarLitGroundMaterial(name, MaterialTypeToken(VelmarMaterialType::ColorOneTexture), manager, chunkCache,
                              maskCache, blendCache)
{
    SetTextureStageSetup(setup);
}

Material* VelmarColorOneTextureMaterial::Duplicate() const { return DuplicateMaterial(*this, GetTextureStageSetup()); }

GeometryChunk* VelmarColorOneTextureMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                                  uint32_t indexCount, uint32_t faceCount,
                                                                  uint32_t typeCode, const StandardChunkHint& hint)
{
    return CreateOneTextureLineChunk([](uint8_t) { return MaterialChunkKind::PCNTA; },
                                     {vertexCount, primitiveCount, indexCount, faceCount}, typeCode, hint,
                                     manager_ ? manager_->GetDisplay() : nullptr);
}

VelmarOneTexNoAlphaMaterial::VelmarOneTexNoAlphaMaterial(const PString& name, MaterialManager* manager,
                                                         RenderingCache* chunkCache, RenderingCache* maskCache,
                                                         RenderingCache* blendCache, uint32_t setup)
    : VelmarLitGroundMaterial(name, MaterialTypeToken(VelmarMaterialType::OneTexNoAlpha), manager, chunkCache,
                              maskCache, blendCache)
{
    SetTextureStageSetup(setup);
}

Material* VelmarOneTexNoAlphaMaterial::Duplicate() const { return DuplicateMaterial(*this, GetTextureStageSetup()); }

GeometryChunk* VelmarOneTexNoAlphaMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                                uint32_t indexCount, uint32_t faceCount,
                                                                uint32_t typeCode, const StandardChunkHint& hint)
{
    return CreateOneTextureLineChunk(
        [](uint8_t options) {
            return options & StandardChunkHint::OptionNormalArray ? MaterialChunkKind::NmlPCT : MaterialChunkKind::PNT;
        },
        {vertexCount, primitiveCount, indexCount, faceCount}, typeCode, hint,
        manager_ ? manager_->GetDisplay() : nullptr);
}

}  // namespace Orvo
