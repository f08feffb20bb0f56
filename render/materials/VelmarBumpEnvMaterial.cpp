#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"
#include "render/materials/VelmarBumpMaterial.h"

namespace Orvo {

VelmarBumpEnvMaterial::VelmarBumpEnvMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                             RenderingCache* maskCache, RenderingCache* blendCache,
                                             const BumpPrograms& programs)
    : SecondTextureMaterial<VelmarBumpMaterial>(name, MaterialTypeToken(VelmarMaterialType::BumpEnv), manager,
                                                chunkCache, maskCache, blendCache, programs),
      environment_(EnvironmentAxisChange())
{}

Material* VelmarBumpEnvMaterial::Duplicate() const
{
    VelmarBumpEnvMaterial* copy = DuplicateMaterial(*this, GetPrograms());
    if (copy != nullptr) copy->provider_ = provider_;
    return copy;
}

void VelmarBumpEnvMaterial::Activate(int level) { VelmarBumpMaterial::Activate(level); }

GeometryChunk* VelmarBumpEnvMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                          uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                          const StandardChunkHint& hint)
{
    GeometryChunk* chunk =
        VelmarBumpMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, typeCode, hint);
    SharePerInstanceVertices(chunk);
    return chunk;
}

void VelmarBumpEnvMaterial::DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw)
{
    const BumpPrograms programs = GetPrograms();
    BumpPassOptions options;
    options.clearSpecularWithoutLight = false;

    SetDisplayState(display);
    DisplayTexture* environment = nullptr;
    if (provider_ != nullptr) environment = provider_(this, viewport);
    if (environment != nullptr)
    {
        BindStage(display, 3, environment);
        environment->Release();
    }
    else
        display->SetFallbackTexture(3);
    if (second_) display->SetTextureMatrix(1, CameraRotationTransposed(viewport) * environment_);
    DrawParallelPass(display, viewport, GetDisplayMaterial(), programs, options, draw);
    DrawSpotPass(display, viewport, GetDisplayMaterial(), programs, options, draw,
                 ChooseBrightestLight(draw.lights, DisplayLight::Spot));
    ClearDisplayState(display);
}

void VelmarBumpEnvMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->ResetTextureStage(3);
    VelmarBumpMaterial::ClearDisplayState(display);
}

}  // namespace Orvo
