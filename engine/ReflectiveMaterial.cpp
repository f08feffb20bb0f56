#include "engine/ReflectiveMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <typeinfo>

namespace Orvo {

ReflectiveMaterial::ReflectiveMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                       RenderingCache* materialChunkCache, RenderingCache* alphaMaskCache,
                                       RenderingCache* alphaBlendCache, uint32_t setupCount, const uint32_t* setups)
    : OneTextureMaterial(name, type, manager, materialChunkCache, alphaMaskCache, alphaBlendCache),
      setupCount_(setups ? std::min(setupCount, kMaxSetups) : 0)
{
    for (uint32_t i = 0; i < setupCount_; ++i) setups_[i] = setups[i];
}

Material* ReflectiveMaterial::Duplicate() const
{
    auto* copy = new ReflectiveMaterial(GetName(), GetType(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                        GetAlphaBlendCache(), setupCount_, setups_.data());
    copy->InitInstance(*this);
    return copy;
}

bool ReflectiveMaterial::IsEqual(const Material& other) const
{
    return typeid(other) == typeid(*this) && Equals(static_cast<const ReflectiveMaterial&>(other));
}

bool ReflectiveMaterial::Equals(const ReflectiveMaterial& other) const
{
    return OneTextureMaterial::Equals(other) && reflection_ == other.reflection_ &&
           reflectivity_ == other.reflectivity_ && reflectFlags_ == other.reflectFlags_;
}

void ReflectiveMaterial::InitInstance(const ReflectiveMaterial& from)
{
    OneTextureMaterial::InitInstance(from);
    reflection_ = from.reflection_;
    reflectivity_ = from.reflectivity_;
    reflectFlags_ = from.reflectFlags_;
    reflectionMatrix_ = from.reflectionMatrix_;
}

int ReflectiveMaterial::SetTexture(int number, ResourceDatabase* database, const PString& file, float value,
                                   const std::string& text)
{
    if (number != kReflectionTexture) return OneTextureMaterial::SetTexture(number, database, file, value, text);
    const int result = ReplaceTexture(reflection_, number, database, file, value, text);
    if (result == ResultOk) reflectivity_ = value;
    return result;
}

int ReflectiveMaterial::SetTexture(int number, DisplayTexture* texture, float value)
{
    if (number != kReflectionTexture) return OneTextureMaterial::SetTexture(number, texture, value);
    const int result = ReplaceTexture(reflection_, number, texture, value);
    if (result == ResultOk) reflectivity_ = value;
    return result;
}

DisplayTexture* ReflectiveMaterial::GetTexture(int number) const
{
    return number == kReflectionTexture ? reflection_.Get() : OneTextureMaterial::GetTexture(number);
}

int ReflectiveMaterial::DuplicateTexture(int number)
{
    return number == kReflectionTexture ? DuplicateSlot(reflection_) : OneTextureMaterial::DuplicateTexture(number);
}

int ReflectiveMaterial::IsLoaded() const
{
    if (int r = SlotLoaded(reflection_)) return r;
    return OneTextureMaterial::IsLoaded();
}

void ReflectiveMaterial::Activate(int level)
{
    OneTextureMaterial::Activate(level);
    if (reflection_) reflection_->Activate(level);
}

GeometryChunk* ReflectiveMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                       uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                       const StandardChunkHint& hint)
{
    StandardChunkHint withSphereMap = hint;
    withSphereMap.textureSets = std::max<uint32_t>(hint.textureSets, 2);
    return Material::CreateGeometryChunk(vertexCount, primitiveCount, indexCount, faceCount, typeCode, withSphereMap);
}

void ReflectiveMaterial::ChangeTexGen(Display* display, bool noProgram)
{
    if (display && noProgram) display->SetTextureCoordGen(1, true);
}

void ReflectiveMaterial::SetSphericalTexureCoordinates(GeometryChunk* chunk, const Matrix4& modelView) const
{
    if (chunk == nullptr) return;
    const VertexItemPtr normals = chunk->GetItem(ItemNormal);
    const VertexItemPtr coordinates = chunk->GetItem(ItemTexture0 + 1);
    if (!normals || !coordinates) return;
    for (uint32_t v = 0; v < chunk->GetNumVertices(); ++v)
    {
        Vector3 n;
        std::memcpy(&n, normals.address + size_t(v) * normals.stride, sizeof n);
        n = modelView.TransformDirection(n);
        const float length = n.Length();
        if (length > 0.0f) n = n * (1.0f / length);
        const float uv[2] = {n.x * 0.5f + 0.5f, -n.y * 0.5f + 0.5f};
        std::memcpy(coordinates.address + size_t(v) * coordinates.stride, uv, sizeof uv);
    }
}

}  // namespace Orvo
