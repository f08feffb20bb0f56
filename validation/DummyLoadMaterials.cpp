#include "validation/DummyLoadMaterials.h"

#include "engine/Material.h"
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
bool g_registered = false;
Orvo::Material* g_materials[kDummyLoadMaterialCount] = {};

// The texture slot and weight the shiny placeholders get, so that they ask for an environment map.
constexpr int kEnvironmentTextureSlot = 9;
constexpr float kEnvironmentTextureWeight = 1.0f;
}  // namespace

void RegisterDummyLoadMaterials()
{
    if (g_registered || !DataManager::HasInstance()) return;
    Orvo::RenderKernel* kernel = DataManager::Instance()->GetRenderKernel();
    if (kernel == nullptr) return;
    g_registered = true;
    Orvo::MaterialFactory& factory = kernel->GetMaterialFactory();
    for (size_t i = 0; i < kDummyLoadMaterialCount; ++i)
    {
        g_materials[i] = factory.CreateMaterial(Orvo::PString(kDummyLoadMaterialNames[i]));
        const char* type = std::strstr(kDummyLoadMaterialNames[i], ".m.") + 3;
        if (g_materials[i] != nullptr && (std::strcmp(type, "gloss") == 0 || std::strcmp(type, "reflect") == 0))
            g_materials[i]->SetTexture(kEnvironmentTextureSlot, kEnvironmentTextureWeight);
    }
    // The alpha-blend caches and the placeholders' geometry chunks come with the mesh library.
}

void ReleaseDummyLoadMaterials()
{
    if (!g_registered) return;
    g_registered = false;
    for (Orvo::Material*& material : g_materials)
    {
        if (material != nullptr) material->Release();
        material = nullptr;
    }
}

Orvo::Material* GetDummyLoadMaterial(size_t index)
{
    return index < kDummyLoadMaterialCount ? g_materials[index] : nullptr;
}

bool DummyLoadMaterialsRegistered() { return g_registered; }

}  // namespace TETLib
