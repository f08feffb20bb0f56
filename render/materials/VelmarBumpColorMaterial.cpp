#include "render/materials/VelmarBumpColorMaterial.h"

#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

namespace Orvo {

VelmarBumpColorMaterial::VelmarBumpColorMaterial(const PString& name, MaterialManager* manager,
                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                 RenderingCache* blendCache, const BumpPrograms& programs)
    : VelmarBumpColorMaterial(name, MaterialTypeToken(VelmarMaterialType::BumpColor), manager, chunkCache, maskCache,
                              blendCache, programs)
{}

VelmarBumpColorMaterial::VelmarBumpColorMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                 RenderingCache* blendCache, const BumpPrograms& programs)
    : BumpTextureMaterial<VelmarGroundBaseMaterial>(name, type, manager, chunkCache, maskCache, blendCache, programs)
{
    SetCachedAlphaHint(kAlphaHintNone);
}

Material* VelmarBumpColorMaterial::Duplicate() const { return DuplicateMaterial(*this, GetPrograms()); }

GeometryChunk* VelmarBumpColorMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                            const StandardChunkHint& hint)
{
    return CreateBumpLineChunk(MaterialChunkKind::PCNTA, {vertexCount, primitiveCount, indexCount, faceCount}, typeCode,
                               hint);
}

void VelmarBumpColorMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::SetDisplayState(display);
    BindBumpStage(display);
}

void VelmarBumpColorMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->ResetTextureStage(1);
    VelmarGroundBaseMaterial::ClearDisplayState(display);
}

// ---- bump gloss colour ----

VelmarBumpGlossColMaterial::VelmarBumpGlossColMaterial(const PString& name, MaterialManager* manager,
                                                       RenderingCache* chunkCache, RenderingCache* maskCache,
                                                       RenderingCache* blendCache, const BumpPrograms& programs,
                                                       const BumpPrograms& kept)
    : SecondTextureMaterial<VelmarBumpColorMaterial>(name, MaterialTypeToken(VelmarMaterialType::BumpGlossColor),
                                                     manager, chunkCache, maskCache, blendCache, programs),
      environment_(EnvironmentAxisChange()), kept_(kept)
{}

Material* VelmarBumpGlossColMaterial::Duplicate() const
{
    return DuplicateMaterial(*this, GetPrograms(), GetKeptPrograms());
}

void VelmarBumpGlossColMaterial::Activate(int level)
{
    if (second_) second_->Activate(level);
    VelmarBumpColorMaterial::Activate(level);
}

GeometryChunk* VelmarBumpGlossColMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                               uint32_t indexCount, uint32_t faceCount,
                                                               uint32_t typeCode, const StandardChunkHint& hint)
{
    GeometryChunk* chunk = VelmarBumpColorMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount,
                                                                        faceCount, typeCode, hint);
    AddRustAgeProperty(chunk);
    return chunk;
}

void VelmarBumpGlossColMaterial::DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw)
{
    const BumpPrograms programs = GetPrograms();
    const BumpPassOptions options;
    SetDisplayState(display);
    if (second_) display->SetTextureMatrix(1, CameraRotationTransposed(viewport) * environment_);
    DrawParallelPass(display, viewport, GetDisplayMaterial(), programs, options, draw);
    DrawSpotPass(display, viewport, GetDisplayMaterial(), programs, options, draw,
                 ChooseBrightestLight(draw.lights, DisplayLight::Spot));
    ClearDisplayState(display);
}

void VelmarBumpGlossColMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    BindStage(display, 3, second_.Get());
    VelmarBumpColorMaterial::SetDisplayState(display);
}

void VelmarBumpGlossColMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->ResetTextureStage(3);
    VelmarBumpColorMaterial::ClearDisplayState(display);
}

}  // namespace Orvo
