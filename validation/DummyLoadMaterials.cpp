#include "validation/DummyLoadMaterials.h"

#include "engine/MaterialManager.h"
#include "engine/RenderKernel.h"
#include "engine/RenderingCache.h"
#include "engine/TextureManager.h"
#include "validation/DataManager.h"
#include "validation/ValidationHooks.h"

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

bool IsType(const char* name, const char* type) { return std::strcmp(std::strstr(name, ".m.") + 3, type) == 0; }
}  // namespace

void RegisterDummyLoadMaterials(DataManager& data)
{
    Orvo::RenderKernel* kernel = data.GetRenderKernel();
    if (data.placeholdersRegistered_ || kernel == nullptr) return;
    data.placeholdersRegistered_ = true;

    // The alpha-blend caches the mesh materials draw through, then the engine's own unsorted one.
    if (RenderCachesMakerFn maker = data.Plugins().GetRenderCachesMaker()) maker(*kernel, data.placeholderCaches_);
    Orvo::RenderingCache* unsorted = new Orvo::UnsortedAlphaBlendCache(1);
    kernel->GetRenderingCacheManager().AddCache(unsorted);
    data.placeholderCaches_.emplace_back(unsorted);

    Orvo::MaterialManager& manager = kernel->GetMaterialManager();
    for (size_t i = 0; i < kDummyLoadMaterialCount; ++i)
    {
        const Orvo::PString name(kDummyLoadMaterialNames[i]);
        // A material of the type's own family, made by its plug-in (or its display's fallback). A process
        // without the program's plug-ins gets the engine's plain material of that type instead.
        Orvo::Material* material = manager.CreateMaterial(name);
        if (material == nullptr)
        {
            material = new Orvo::Material(name, Orvo::MaterialManager::TypeOf(name));
            material->AddRef();
        }
        data.placeholders_[i] = material;
        // Registered under its name, it also serves a mesh's request for its type ("m.<type>").
        manager.RegisterMaterial(material);
    }

    Orvo::DisplayTexture* shared = Orvo::SharedTextureCollection::GetTexture(0, manager.GetTextureManager());
    Orvo::StandardChunkHint hint(Orvo::StandardChunkHint::UsageDynamic, Orvo::StandardChunkHint::SoftwareSkinning);
    for (size_t i = 0; i < kDummyLoadMaterialCount; ++i)
    {
        Orvo::Material* material = data.placeholders_[i];
        const char* name = kDummyLoadMaterialNames[i];
        if (IsType(name, "gloss") || IsType(name, "reflect"))
            material->SetTexture(kEnvironmentTextureSlot, shared, kEnvironmentTextureWeight);
    }
    for (const char* type : {"notex", "onetex", "gloss", "reflect"})
        for (size_t i = 0; i < kDummyLoadMaterialCount; ++i)
            if (IsType(kDummyLoadMaterialNames[i], type))
                if (Orvo::GeometryChunk* chunk = data.placeholders_[i]->CreateGeometryChunk(3, 1, 3, 0, 0, hint))
                    data.placeholderChunks_.emplace_back(chunk);
    if (shared) shared->Release();
}

void ReleaseDummyLoadMaterials(DataManager& manager)
{
    if (!manager.placeholdersRegistered_) return;
    manager.placeholdersRegistered_ = false;
    manager.placeholderChunks_.clear();
    // The kernel lets go of what it kept for the placeholders too, so that a later registration (a new
    // start-up of the library in the same process) makes its own rather than adding to these.
    Orvo::RenderKernel* kernel = manager.GetRenderKernel();
    for (Orvo::Material*& material : manager.placeholders_)
    {
        if (material == nullptr) continue;
        if (kernel != nullptr) kernel->GetMaterialManager().UnregisterMaterial(material);
        material->Release();
        material = nullptr;
    }
    if (kernel != nullptr)
        for (const auto& cache : manager.placeholderCaches_)
            kernel->GetRenderingCacheManager().RemoveCache(cache.Get());
    manager.placeholderCaches_.clear();
}

Orvo::Material* GetDummyLoadMaterial(const DataManager& manager, size_t index)
{
    return index < kDummyLoadMaterialCount ? manager.placeholders_[index] : nullptr;
}

bool DummyLoadMaterialsRegistered(const DataManager& manager) { return manager.placeholdersRegistered_; }

}  // namespace TETLib
