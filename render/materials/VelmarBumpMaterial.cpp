#include "render/materials/VelmarBumpMaterial.h"

#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

namespace Orvo {

VelmarBumpMaterial::VelmarBumpMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                       RenderingCache* maskCache, RenderingCache* blendCache,
                                       const BumpPrograms& programs)
    : VelmarBumpMaterial(name, MaterialTypeToken(VelmarMaterialType::Bump), manager, chunkCache, maskCache, blendCache,
                         programs)
{}

VelmarBumpMaterial::VelmarBumpMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                       RenderingCache* chunkCache, RenderingCache* maskCache,
                                       RenderingCache* blendCache, const BumpPrograms& programs)
    : BumpTextureMaterial<OneTextureMaterial>(name, type, manager, chunkCache, maskCache, blendCache, programs)
{}

Material* VelmarBumpMaterial::Duplicate() const { return DuplicateMaterial(*this, GetPrograms()); }

GeometryChunk* VelmarBumpMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                       const StandardChunkHint& hint)
{
    return CreateBumpLineChunk(MaterialChunkKind::PNTA, {vertexCount, primitiveCount, indexCount, faceCount}, typeCode,
                               hint);
}

void VelmarBumpMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    BindBumpStage(display);
    OneTextureMaterial::SetDisplayState(display);
}

void VelmarBumpMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->ResetTextureStage(1);
    display->ResetTextureStage(2);
    OneTextureMaterial::ClearDisplayState(display);
}

}  // namespace Orvo
