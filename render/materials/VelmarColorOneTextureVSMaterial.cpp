#include "render/materials/VelmarColorOneTextureVSMaterial.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

#include <cmath>

namespace Orvo {

VelmarColorOneTextureVSMaterial::VelmarColorOneTextureVSMaterial(const PString& name, MaterialManager* manager,
                                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                                 RenderingCache* blendCache, uint32_t setup,
                                                                 VertexProgram* parallelProgram,
                                                                 VertexProgram* spotProgram)
    : VelmarColourGroundMaterial(name, MaterialTypeToken(VelmarMaterialType::ColorOneTextureVS), manager, chunkCache,
                                 maskCache, blendCache),
      parallel_(parallelProgram), spot_(spotProgram)
{
    SetTextureStageSetup(setup);
}

Material* VelmarColorOneTextureVSMaterial::Duplicate() const
{
    return DuplicateMaterial(*this, GetTextureStageSetup(), parallel_.Get(), spot_.Get());
}

GeometryChunk* VelmarColorOneTextureVSMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                                    uint32_t indexCount, uint32_t faceCount,
                                                                    uint32_t typeCode, const StandardChunkHint& hint)
{
    return CreateBumpLineChunk(MaterialChunkKind::PCNTA, {vertexCount, primitiveCount, indexCount, faceCount}, typeCode,
                               hint);
}

void VelmarColorOneTextureVSMaterial::DrawFirstPass(Display* display, ViewPort* viewport, const ChunkDraw& draw)
{
    const DisplayMaterial& material = GetDisplayMaterial();
    const Color ambient = AmbientSum(display, draw.lights);
    const DisplayLight* light = ChooseBrightestLight(draw.lights, DisplayLight::Parallel);
    display->SetTransform(draw.transform);
    if (light != nullptr)
    {
        const ChunkSpace space(viewport, draw.transform);
        parallel_->SetLocalConstant(7, space.Direction(light->GetDirection()));
        parallel_->SetLocalConstant(4, LitColour(material.diffuse, light->diffuse, material.diffuse.a));
    }
    else
    {
        parallel_->SetLocalConstant(7, Vector3());
        parallel_->SetConstant(4, Color(1.0f, 1.0f, 1.0f, 1.0f));
    }
    parallel_->SetLocalConstant(8, AmbientTerm(material, ambient));
    display->SetTransform(draw.transform);
    draw.Draw(display, viewport, parallel_.Get());
}

void VelmarColorOneTextureVSMaterial::DrawSecondPass(Display* display, ViewPort* viewport, const ChunkDraw& draw)
{
    const DisplayLight* light = ChooseBrightestLight(draw.lights, DisplayLight::Spot);
    if (light == nullptr) return;
    const DisplayMaterial& material = GetDisplayMaterial();
    AdditivePassState additive(display, 4, 1);
    const ChunkSpace space(viewport, draw.transform);
    constexpr float kPi = 3.14159265f;
    spot_->SetLocalConstant(7, space.Direction(light->GetDirection()));
    spot_->SetLocalConstant(5, space.Point(light->GetPosition()));
    spot_->SetLocalConstant(6, Vector3(std::cos(light->coneAngle * kPi / 180.0f), 1.0f / light->radius, 0.0f));
    spot_->SetLocalConstant(4, LitColour(material.diffuse, light->diffuse, material.diffuse.a));
    draw.Draw(display, viewport, spot_.Get());
}

void VelmarColorOneTextureVSMaterial::DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws,
                                                 uint32_t count)
{
    if (display == nullptr || count == 0) return;
    SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i)
        if (draws[i].chunk) DrawFirstPass(display, viewport, draws[i]);
    for (uint32_t i = 0; i < count; ++i)
        if (draws[i].chunk) DrawSecondPass(display, viewport, draws[i]);
    ClearDisplayState(display);
}

}  // namespace Orvo
