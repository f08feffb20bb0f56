#include "engine/Material.h"

#include "engine/Display.h"
#include "engine/DisplayLight.h"
#include "engine/File.h"
#include "engine/ResourceDatabase.h"
#include "engine/TextureManager.h"
#include "engine/VertexProgram.h"

#include <cstdio>

namespace Orvo {

void Material::CopySettingsTo(Material& copy) const
{
    copy.requestName_ = requestName_;
    copy.display_ = display_;
    copy.flags_ = flags_;
    copy.opacity_ = opacity_;
    copy.priority_ = priority_;
    copy.properties_ = properties_;
    copy.textures_ = textures_;
}

Material* Material::Duplicate() const
{
    auto* copy = new Material(name_, type_);
    CopySettingsTo(*copy);
    return copy;
}

bool Material::IsEqual(const Material& other) const
{
    return type_ == other.type_ && display_ == other.display_ && flags_ == other.flags_ && opacity_ == other.opacity_ &&
           properties_ == other.properties_ && textures_ == other.textures_;
}

void Material::SetParameter(const PString& value, const PString& name)
{
    for (Property& p : properties_)
        if (p.name == name)
        {
            p.value = value;
            return;
        }
    properties_.push_back({name, value});
}

void Material::SetTextureDefinition(int number, const PString& file, float value)
{
    bool replaced = false;
    for (Texture& t : textures_)
        if (t.stage == number)
        {
            t = {number, file, value};
            replaced = true;
        }
    if (!replaced) textures_.push_back({number, file, value});
}

int Material::SetTexture(int number, DisplayTexture* texture, float value)
{
    if (texture == nullptr) return ResultNoTexture;
    SetTextureDefinition(number, texture->GetName(), value);
    return ResultOk;
}

DisplayTexture* Material::GetTexture(int) const { return nullptr; }

int Material::DuplicateTexture(int) { return ResultNoTexture; }

uint32_t Material::GetAlphaHint()
{
    if (alphaHint_ == kAlphaHintUnknown) CacheAlphaHint();
    return alphaHint_;
}

void Material::CacheAlphaHint() { alphaHint_ = display_.diffuse.a < 1.0f ? kAlphaHintBlend : kAlphaHintNone; }

void Material::CacheChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                          const Matrix4& transform)
{
    RenderChunk(display, viewport, chunk, lights, transform, -1);
}

void Material::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList*,
                           const Matrix4& transform, int)
{
    if (display == nullptr || chunk == nullptr) return;
    display->SetTransform(transform);
    chunk->RenderGeometry(display, viewport, chunk->GetVertexProgram(0), true, 0);
}

void Material::RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                               const LightList* const* lights, const Matrix4* transforms, uint32_t count, int pass)
{
    for (uint32_t i = 0; i < count; ++i)
        RenderChunk(display, viewport, chunks[i], lights ? lights[i] : nullptr, transforms[i], pass);
}

void Material::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList*,
                                const Matrix4& transform, uint32_t indexCount, const uint16_t* indices,
                                uint32_t primitiveCount, uint32_t primitiveKind, int)
{
    if (display == nullptr || chunk == nullptr) return;
    display->SetTransform(transform);
    chunk->RenderPrimitives(display, viewport, chunk->GetVertexProgram(0), indexCount, indices, primitiveCount,
                            primitiveKind, true, 0);
}

void Material::SetLightingState(Display* display, const Matrix4*, GeometryChunk*, VertexProgram*,
                                const LightList* lights, const Matrix4&, float lightScale, bool)
{
    if (display == nullptr || !display->IsRecording()) return;
    char text[64];
    std::snprintf(text, sizeof text, "lighting %zu lights scale %g", lights ? lights->Count() : size_t(0),
                  double(lightScale));
    display->Record(text);
}

uint32_t Material::MakeGeometryChunkFlags(uint32_t typeCode, const StandardChunkHint* hint)
{
    uint32_t flags = GeometryChunk::PrimitiveFlagsOfType(typeCode);
    if (flags == 0xFFFFFFFFu || hint == nullptr) return flags;
    if (hint->vertexUsage == StandardChunkHint::UsageDynamic) flags |= GeometryChunk::FlagDynamicVertices;
    if (hint->indexUsage == StandardChunkHint::UsageDynamic) flags |= GeometryChunk::FlagDynamicIndices;
    return flags;
}

int Material::SetTexture(int stage, ResourceDatabase* database, const PString& file, float value, const std::string&)
{
    SetTextureDefinition(stage, file, value);
    const bool exists = database ? database->Exists(file.View()) : File::IsFile(file.View());
    return exists ? 0 : 2;
}

void Material::SetTexture(int stage, float value)
{
    for (Texture& t : textures_)
        if (t.stage == stage)
        {
            t.value = value;
            return;
        }
    textures_.push_back({stage, PString(), value});
}

GeometryChunk* Material::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                             uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint)
{
    const uint32_t flags = MakeGeometryChunkFlags(typeCode, &hint);
    if (flags == 0xFFFFFFFFu) return nullptr;
    VertexFormat format;
    format.textureSets = hint.textureSets > 8 ? 8 : hint.textureSets;
    format.tangent = hint.extraVectors;
    if (hint.flags & StandardChunkHint::Skinned)
    {
        format.blendIndices = true;
        const bool hardware = (hint.flags & StandardChunkHint::SoftwareSkinning) == 0;
        if (hardware && (hint.flags & StandardChunkHint::FloatWeights) == 0)
            format.packedWeights = true;
        else
            format.weights = hardware && hint.weights > 0 && hint.weights < 4 ? hint.weights : 4;
    }
    auto* chunk = new GeometryChunkSingleStream(flags, vertexCount, primitiveCount, indexCount, faceCount,
                                                std::make_shared<VertexType>(format));
    chunk->SetHintValue(hint.value);
    return chunk;
}

PString Material::VerifyDecoratedName(const PString& name, size_t textureCount)
{
    if (name.Find(DecoratedTypeToken) >= 0) return name;
    std::string decorated(name.View());
    decorated += textureCount > 0 ? ".m.onetex" : ".m.notex";
    return PString(decorated);
}

Material* NullMaterial::Duplicate() const
{
    auto* copy = new NullMaterial(GetName());
    copy->SetCreationType(GetType());
    CopySettingsTo(*copy);
    return copy;
}

}  // namespace Orvo
