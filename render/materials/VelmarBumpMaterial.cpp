#include "render/materials/VelmarBumpMaterial.h"

#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

#include <typeinfo>

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

void VelmarBumpMaterial::InitBumpInstance(const VelmarBumpMaterial& from)
{
    InitInstance(from);
    bump_ = from.bump_;
}

Material* VelmarBumpMaterial::Duplicate() const
{
    auto* copy = new VelmarBumpMaterial(GetName(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                        GetAlphaBlendCache(), GetPrograms());
    copy->InitBumpInstance(*this);
    return copy;
}

bool VelmarBumpMaterial::IsEqual(const Material& other) const
{
    return typeid(other) == typeid(*this) && BumpEquals(static_cast<const VelmarBumpMaterial&>(other));
}

GeometryChunk* VelmarBumpMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                       const StandardChunkHint& hint)
{
    return CreateBumpLineChunk(MaterialChunkKind::PNTA, {vertexCount, primitiveCount, indexCount, faceCount}, typeCode,
                               hint);
}

void VelmarBumpMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                     const LightList* lights, const Matrix4& transform, int)
{
    if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    DrawBumpPasses(display, viewport, &draw, 1, BumpPassOptions());
}

void VelmarBumpMaterial::RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                                         const LightList* const* lights, const Matrix4* transforms, uint32_t count, int)
{
    if (display == nullptr || viewport == nullptr || count == 0) return;
    const std::vector<ChunkDraw> draws = MakeDraws(chunks, lights, transforms, count);
    DrawBumpPasses(display, viewport, draws.data(), count, BumpPassOptions());
}

void VelmarBumpMaterial::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                          const LightList* lights, const Matrix4& transform, uint32_t indexCount,
                                          const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind, int)
{
    if (display == nullptr || viewport == nullptr || chunk == nullptr) return;
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    draw.indices = indices;
    draw.indexCount = indexCount;
    draw.primitiveCount = primitiveCount;
    draw.primitiveKind = primitiveKind;
    DrawBumpPasses(display, viewport, &draw, 1, BumpPassOptions());
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
