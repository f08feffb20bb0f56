#include "render/materials/VelmarGlossRustMaterial.h"

#include "engine/Display.h"
#include "engine/GeometryChunk.h"
#include "engine/ViewPoint.h"
#include "render/ColourVector.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

#include <algorithm>

namespace Orvo {

namespace {
float RustOf(const GeometryChunk* chunk) { return chunk ? chunk->GetChunkProperty(RustAgeName(), 0.0f) : 0.0f; }
}  // namespace

VelmarGlossRustMaterial::VelmarGlossRustMaterial(const PString& name, MaterialManager* manager,
                                                 RenderingCache* chunkCache, RenderingCache* maskCache,
                                                 RenderingCache* blendCache, uint32_t setupCount,
                                                 const uint32_t* setups)
    : ChunkListMaterial<ReflectiveMaterial>(name, MaterialTypeToken(VelmarMaterialType::GlossRust), manager, chunkCache,
                                            maskCache, blendCache, setupCount, setups)
{}

bool VelmarGlossRustMaterial::IsReflectionVisible(float rust) const
{
    return (1.0f - 2.0f * rust) * GetReflectivity() > 1.0f / 255.0f;
}

Material* VelmarGlossRustMaterial::Duplicate() const
{
    uint32_t setups[kMaxSetups];
    for (uint32_t i = 0; i < kMaxSetups; ++i) setups[i] = GetSetup(i);
    return DuplicateMaterial(*this, GetSetupCount(), setups);
}

GeometryChunk* VelmarGlossRustMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                            uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                            const StandardChunkHint& hint)
{
    GeometryChunk* chunk =
        ReflectiveMaterial::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, typeCode, hint);
    AddRustAgeProperty(chunk);
    return chunk;
}

void VelmarGlossRustMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                          const LightList* lights, const Matrix4& transform, int pass)
{
    if (chunk) return ChunkListMaterial::RenderChunk(display, viewport, chunk, lights, transform, pass);
    const ChunkDraw none;
    DrawChunks(display, viewport, &none, 1);
}

void VelmarGlossRustMaterial::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                               const LightList* lights, const Matrix4& transform, uint32_t indexCount,
                                               const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind,
                                               int pass)
{
    if (chunk)
        return ChunkListMaterial::RenderPrimitives(display, viewport, chunk, lights, transform, indexCount, indices,
                                                   primitiveCount, primitiveKind, pass);
    const ChunkDraw none;
    DrawChunks(display, viewport, &none, 1);
}

void VelmarGlossRustMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::SetDisplayState(display);
    if (GetSetupCount() > 0 && GetReflectionTexture()) BindStage(display, 1, GetReflectionTexture());
}

void VelmarGlossRustMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::ClearDisplayState(display);
    if (GetSetupCount() > 0 && GetReflectionTexture()) display->ResetTextureStage(1);
}

// The rust tints the colour stage towards no light and fades the reflection stage.
void VelmarGlossRustMaterial::SetRustFactors(Display* display, float rust) const
{
    const float dull = std::clamp(1.0f - rust, 0.0f, 1.0f);
    const float shine = std::clamp((1.0f - 2.0f * rust) * GetReflectivity(), 0.0f, 1.0f);
    display->SetTextureFactor(0, Color(dull, dull, dull, 1.0f));
    display->SetTextureFactor(1, Color(shine, shine, shine, shine));
}

void VelmarGlossRustMaterial::DrawOne(Display* display, ViewPort* viewport, const ChunkDraw& d, float rust,
                                      bool visible)
{
    GeometryChunk* chunk = d.chunk;
    VertexProgram* program = chunk->GetVertexProgram(0);
    Matrix4 view;
    const bool hasView = viewport != nullptr && viewport->camera != nullptr;
    if (hasView) view = viewport->camera->GetViewTransform().ToMatrix();
    SetLightingState(display, hasView ? &view : nullptr, chunk, program, d.lights, d.transform, chunk->GetLightScale(),
                     false);
    display->SetTransform(d.transform);
    SetRustFactors(display, rust);
    if (!visible)
    {
        d.Draw(display, viewport, program);
        return;
    }
    const bool generated = program == nullptr;
    ChangeTexGen(display, generated);
    DisplayTexture* reflection = GetReflectionTexture();
    const bool cube = reflection->GetType() == DisplayTexture::TypeCube;
    bool matrix = false;
    if (cube || (GetReflectFlags() & ReflectGenerated))
    {
        if (cube && (GetReflectFlags() & ReflectFollowCamera) && viewport)
        {
            display->SetTextureMatrix(1, CameraRotationTransposed(viewport) * GetReflectionMatrix());
            matrix = true;
        }
    }
    else
        SetSphericalTexureCoordinates(chunk, d.transform);
    d.Draw(display, viewport, program);
    if (generated) display->SetTextureCoordGen(1, false);
    if (matrix) display->ResetTextureMatrix(1);
}

void VelmarGlossRustMaterial::DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count)
{
    if (display == nullptr || count == 0 || GetReflectionTexture() == nullptr) return;
    rust_.resize(count);
    for (uint32_t i = 0; i < count; ++i) rust_[i] = RustOf(draws[i].chunk);
    const Color ambient = GetDisplayMaterial().ambient;
    const Color specular = GetDisplayMaterial().specular;
    SetAmbientColor(Color(1.0f, 1.0f, 1.0f, 1.0f));
    SetDisplayState(display);
    // Reflecting chunks with the first two set-ups, then the others with the last two.
    for (const bool visible : {true, false})
    {
        bool applied = false;
        for (uint32_t i = 0; i < count; ++i)
        {
            const float rust = rust_[i];
            if (draws[i].chunk == nullptr || IsReflectionVisible(rust) != visible) continue;
            if (!applied)
            {
                const uint32_t first = visible ? 0 : 2;
                if (GetSetupCount() > first + 1)
                {
                    display->ApplyTextureStageSetup(GetSetup(first));
                    display->ApplyTextureStageSetup(GetSetup(first + 1));
                }
                applied = true;
            }
            // A chunk far gone in rust has its specular colour dulled while it draws.
            SetSpecularColor(rust > 0.5f ? ScaleColour(specular, 1.0f - (rust - 0.5f)) : specular);
            DrawOne(display, viewport, draws[i], rust, visible);
        }
    }
    ClearDisplayState(display);
    SetAmbientColor(ambient);
    SetSpecularColor(specular);
}

}  // namespace Orvo
