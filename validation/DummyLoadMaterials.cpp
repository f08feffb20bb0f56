#include "validation/DummyLoadMaterials.h"

#include "engine/MaterialManager.h"
#include "engine/RenderKernel.h"
#include "validation/DataManager.h"

#include <cstring>

namespace TETLib {

const char* const kDummyLoadMaterialNames[kDummyLoadMaterialCount] = {
    "VelmarDummyLoad.m.tbumptex",       "VelmarDummyLoad.m.tbumpcoltex",   "VelmarDummyLoad.m.tbumpglosscol",
    "VelmarDummyLoad.m.tbumpenv",       "VelmarDummyLoad.m.tgroundonetex", "VelmarDummyLoad.m.tgroundonetexvs",
    "VelmarDummyLoad.m.tonetexnoalpha", "VelmarDummyLoad.m.tbumpgloss",    "VelmarDummyLoad.m.tglossrust",
    "VelmarDummyLoad.m.notex",          "VelmarDummyLoad.m.onetex",        "VelmarDummyLoad.m.nofogtex",
    "VelmarDummyLoad.m.gloss",          "VelmarDummyLoad.m.reflect",
};

namespace {
// The texture slot and weight the shiny placeholders get, so that they ask for an environment map.
constexpr int kEnvironmentTextureSlot = 9;
constexpr float kEnvironmentTextureWeight = 1.0f;
}  // namespace

void RegisterDummyLoadMaterials()
{
    if (!DataManager::HasInstance()) return;
    DataManager& data = *DataManager::Instance();
    Orvo::RenderKernel* kernel = data.GetRenderKernel();
    if (data.placeholdersRegistered_ || kernel == nullptr) return;
    data.placeholdersRegistered_ = true;
    Orvo::MaterialManager& manager = kernel->GetMaterialManager();
    for (size_t i = 0; i < kDummyLoadMaterialCount; ++i)
    {
        const char* type = std::strstr(kDummyLoadMaterialNames[i], ".m.") + 3;
        auto* material = new Orvo::Material(Orvo::PString(kDummyLoadMaterialNames[i]), Orvo::PString(type));
        material->AddRef();
        data.placeholders_[i] = material;
        if (std::strcmp(type, "gloss") == 0 || std::strcmp(type, "reflect") == 0)
            material->SetTexture(kEnvironmentTextureSlot, kEnvironmentTextureWeight);
        // Registered under its name, it also serves a mesh's request for its type ("m.<type>").
        manager.RegisterMaterial(material);
    }
    // The alpha-blend caches and the placeholders' geometry chunks come with the mesh library.
}

void ReleaseDummyLoadMaterials()
{
    if (!DataManager::HasInstance()) return;
    DataManager& manager = *DataManager::Instance();
    if (!manager.placeholdersRegistered_) return;
    manager.placeholdersRegistered_ = false;
    for (Orvo::Material*& material : manager.placeholders_)
    {
        if (material != nullptr) material->Release();
        material = nullptr;
    }
}

Orvo::Material* GetDummyLoadMaterial(size_t index)
{
    if (!DataManager::HasInstance() || index >= kDummyLoadMaterialCount) return nullptr;
    return DataManager::Instance()->placeholders_[index];
}

bool DummyLoadMaterialsRegistered()
{
    return DataManager::HasInstance() && DataManager::Instance()->placeholdersRegistered_;
}

}  // namespace TETLib
