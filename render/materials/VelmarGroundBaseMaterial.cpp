#include "render/materials/VelmarGroundBaseMaterial.h"

#include "render/materials/LitChunks.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

#include <typeinfo>

namespace Orvo {

VelmarGroundBaseMaterial::VelmarGroundBaseMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                                   RenderingCache* chunkCache, RenderingCache* maskCache,
                                                   RenderingCache* blendCache)
    : OneTextureMaterial(name, type, manager, chunkCache, maskCache, blendCache)
{}

void VelmarGroundBaseMaterial::InitGroundInstance(const VelmarGroundBaseMaterial& from)
{
    InitInstance(from);
    depthWrite_ = from.depthWrite_;
    alphaTest_ = from.alphaTest_;
    lightScale_ = from.lightScale_;
}

Material* VelmarGroundBaseMaterial::Duplicate() const
{
    auto* copy = new VelmarGroundBaseMaterial(GetName(), GetType(), manager_, GetMaterialChunkCache(),
                                              GetAlphaMaskCache(), GetAlphaBlendCache());
    copy->InitGroundInstance(*this);
    return copy;
}

bool VelmarGroundBaseMaterial::IsEqual(const Material& other) const
{
    return typeid(other) == typeid(*this) && GroundEquals(static_cast<const VelmarGroundBaseMaterial&>(other));
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

// ---- the lit ground materials ----

void VelmarLitGroundMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                          const LightList* lights, const Matrix4& transform, int)
{
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    DrawLitChunks(*this, GetLightScale(), display, viewport, &draw, chunk ? 1 : 0);
}

void VelmarLitGroundMaterial::RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                                              const LightList* const* lights, const Matrix4* transforms, uint32_t count,
                                              int)
{
    std::vector<ChunkDraw> draws(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        draws[i].chunk = chunks[i];
        draws[i].lights = lights ? lights[i] : nullptr;
        draws[i].transform = transforms[i];
    }
    DrawLitChunks(*this, GetLightScale(), display, viewport, draws.data(), count);
}

void VelmarLitGroundMaterial::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                               const LightList* lights, const Matrix4& transform, uint32_t indexCount,
                                               const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind,
                                               int)
{
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    draw.indices = indices;
    draw.indexCount = indexCount;
    draw.primitiveCount = primitiveCount;
    draw.primitiveKind = primitiveKind;
    DrawLitChunks(*this, GetLightScale(), display, viewport, &draw, chunk ? 1 : 0);
}

void VelmarLitGroundMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::SetDisplayState(display);
    display->SetColorMaterialMode(5);
}

void VelmarLitGroundMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::ClearDisplayState(display);
    display->SetColorMaterialMode(0);
}

VelmarColorOneTextureMaterial::VelmarColorOneTextureMaterial(const PString& name, MaterialManager* manager,
                                                             RenderingCache* chunkCache, RenderingCache* maskCache,
                                                             RenderingCache* blendCache, uint32_t setup)
    : VelmarLitGroundMaterial(name, MaterialTypeToken(VelmarMaterialType::ColorOneTexture), manager, chunkCache,
                              maskCache, blendCache)
{
    SetTextureStageSetup(setup);
}

Material* VelmarColorOneTextureMaterial::Duplicate() const
{
    auto* copy = new VelmarColorOneTextureMaterial(GetName(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                                   GetAlphaBlendCache(), GetTextureStageSetup());
    copy->InitGroundInstance(*this);
    return copy;
}

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

Material* VelmarOneTexNoAlphaMaterial::Duplicate() const
{
    auto* copy = new VelmarOneTexNoAlphaMaterial(GetName(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                                 GetAlphaBlendCache(), GetTextureStageSetup());
    copy->InitGroundInstance(*this);
    return copy;
}

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
