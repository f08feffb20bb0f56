#include "engine/Material.h"

#include "engine/File.h"
#include "engine/ResourceDatabase.h"

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

int Material::SetTexture(int stage, ResourceDatabase* database, const PString& file, float value, const std::string&)
{
    bool replaced = false;
    for (Texture& t : textures_)
        if (t.stage == stage)
        {
            t = {stage, file, value};
            replaced = true;
        }
    if (!replaced) textures_.push_back({stage, file, value});
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
    const uint32_t primitive = GeometryChunk::PrimitiveFlagsOfType(typeCode);
    if (primitive == 0xFFFFFFFFu) return nullptr;
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
    uint32_t flags = primitive;
    if (hint.vertexUsage == StandardChunkHint::UsageDynamic) flags |= GeometryChunk::FlagDynamicVertices;
    if (hint.indexUsage == StandardChunkHint::UsageDynamic) flags |= GeometryChunk::FlagDynamicIndices;
    auto* chunk = new GeometryChunkSingleStream(flags, vertexCount, primitiveCount, indexCount, faceCount,
                                                std::make_shared<VertexType>(format));
    chunk->SetHintValue(hint.value);
    return chunk;
}

void Material::CacheChunk(Display* display, ViewPort*, GeometryChunk* chunk, const LightList*, const Matrix4&)
{
    if (chunk) chunk->RenderGeometry(display);
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
