#include "render/materials/VelmarColorOneTextureVSMaterial.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

#include <cmath>
#include <vector>

namespace Orvo {

VelmarColorOneTextureVSMaterial::VelmarColorOneTextureVSMaterial(const PString& name, MaterialManager* manager,
                                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                                 RenderingCache* blendCache, uint32_t setup,
                                                                 VertexProgram* parallelProgram,
                                                                 VertexProgram* spotProgram)
    : VelmarGroundBaseMaterial(name, MaterialTypeToken(VelmarMaterialType::ColorOneTextureVS), manager, chunkCache,
                               maskCache, blendCache),
      parallel_(parallelProgram), spot_(spotProgram)
{
    SetTextureStageSetup(setup);
}

Material* VelmarColorOneTextureVSMaterial::Duplicate() const
{
    auto* copy =
        new VelmarColorOneTextureVSMaterial(GetName(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                            GetAlphaBlendCache(), GetTextureStageSetup(), parallel_.Get(), spot_.Get());
    copy->InitGroundInstance(*this);
    return copy;
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

void VelmarColorOneTextureVSMaterial::Draw(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count)
{
    if (display == nullptr || count == 0) return;
    SetDisplayState(display);
    for (uint32_t i = 0; i < count; ++i)
        if (draws[i].chunk) DrawFirstPass(display, viewport, draws[i]);
    for (uint32_t i = 0; i < count; ++i)
        if (draws[i].chunk) DrawSecondPass(display, viewport, draws[i]);
    ClearDisplayState(display);
}

void VelmarColorOneTextureVSMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                                  const LightList* lights, const Matrix4& transform, int)
{
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    Draw(display, viewport, &draw, chunk ? 1 : 0);
}

void VelmarColorOneTextureVSMaterial::RenderNumChunks(Display* display, ViewPort* viewport,
                                                      GeometryChunk* const* chunks, const LightList* const* lights,
                                                      const Matrix4* transforms, uint32_t count, int)
{
    std::vector<ChunkDraw> draws(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        draws[i].chunk = chunks[i];
        draws[i].lights = lights ? lights[i] : nullptr;
        draws[i].transform = transforms[i];
    }
    Draw(display, viewport, draws.data(), count);
}

void VelmarColorOneTextureVSMaterial::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                                       const LightList* lights, const Matrix4& transform,
                                                       uint32_t indexCount, const uint16_t* indices,
                                                       uint32_t primitiveCount, uint32_t primitiveKind, int)
{
    ChunkDraw draw;
    draw.chunk = chunk;
    draw.lights = lights;
    draw.transform = transform;
    draw.indices = indices;
    draw.indexCount = indexCount;
    draw.primitiveCount = primitiveCount;
    draw.primitiveKind = primitiveKind;
    Draw(display, viewport, &draw, chunk ? 1 : 0);
}

void VelmarColorOneTextureVSMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::SetDisplayState(display);
    display->SetColorMaterialMode(5);
}

void VelmarColorOneTextureVSMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    VelmarGroundBaseMaterial::ClearDisplayState(display);
    display->SetColorMaterialMode(0);
}

}  // namespace Orvo
