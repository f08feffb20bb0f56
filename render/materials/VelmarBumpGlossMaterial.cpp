#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"
#include "render/materials/VelmarBumpMaterial.h"

namespace Orvo {

VelmarBumpGlossMaterial::VelmarBumpGlossMaterial(const PString& name, MaterialManager* manager,
                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                 RenderingCache* blendCache, const BumpPrograms& programs,
                                                 const BumpPrograms& kept)
    : SecondTextureMaterial<VelmarBumpMaterial>(name, MaterialTypeToken(VelmarMaterialType::BumpGloss), manager,
                                                chunkCache, maskCache, blendCache, programs),
      kept_(kept)
{}

Material* VelmarBumpGlossMaterial::Duplicate() const
{
    return DuplicateMaterial(*this, GetPrograms(), GetKeptPrograms());
}

void VelmarBumpGlossMaterial::Activate(int level)
{
    if (second_) second_->Activate(level);
    VelmarBumpMaterial::Activate(level);
}

GeometryChunk* VelmarBumpGlossMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                            const StandardChunkHint& hint)
{
    GeometryChunk* chunk =
        VelmarBumpMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, typeCode, hint);
    AddRustAgeProperty(chunk);
    return chunk;
}

void VelmarBumpGlossMaterial::DrawChunk(Display* display, ViewPort* viewport, const ChunkDraw& draw)
{
    const Color ambient = GetDisplayMaterial().ambient;
    SetAmbientColor(Color(1.0f, 1.0f, 1.0f, 1.0f));
    const float age = draw.chunk->GetChunkProperty(RustAgeName(), 0.0f);
    const DisplayLight* spot = ChooseBrightestLight(draw.lights, DisplayLight::Spot);
    SetDisplayState(display);
    const float gloss = (1.0f - 2.0f * age) * GetGlossStrength();
    if (gloss > 1.0f / 255.0f)
    {
        const BumpPrograms programs = GetPrograms();
        BumpPassOptions options;
        options.specularRegister = 3;
        options.clearSpecularWithoutLight = false;
        options.spotSource = 1;
        options.spotDestination = 1;
        options.spotGrey = true;
        options.grey = Color(gloss, gloss, gloss, gloss);
        programs.parallelCombiner->SetConstantRegister(2, options.grey);
        DrawParallelPass(display, viewport, GetDisplayMaterial(), programs, options, draw);
        DrawSpotPass(display, viewport, GetDisplayMaterial(), programs, options, draw, spot);
    }
    ClearDisplayState(display);
    SetAmbientColor(ambient);
}

void VelmarBumpGlossMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    BindStage(display, 3, second_.Get());
    VelmarBumpMaterial::SetDisplayState(display);
}

void VelmarBumpGlossMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->ResetTextureStage(3);
    VelmarBumpMaterial::ClearDisplayState(display);
}

}  // namespace Orvo
