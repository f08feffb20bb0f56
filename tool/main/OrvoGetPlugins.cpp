// The program's plug-in entry, exported from the executable: the engine's plug-in system finds it in
// the running program and calls it once to collect the program's material plug-ins and resource types.
#include "engine/PString.h"
#include "engine/PluginType.h"
#include "engine/ResourceTypeBase.h"
#include "engine/UId.h"
#include "render/VelmarMeshResources.h"
#include "render/materials/VelmarMaterialPlugins.h"
#include "textures/CompressAsciiResource.h"

#include <new>

extern "C" __attribute__((visibility("default"))) void OrvoGetPlugins(Orvo::PluginAddFunction add)
{
    if (add == nullptr) return;
    // 1. The eleven material plug-ins.
    Orvo::RegisterMaterialPlugins(add);
    // 2. The resource types, all in the program's resource category.
    const Orvo::UId category("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    RegisterMeshResourceTypes();  // "im", "pm", "lm.txt" and "lm", entered in the registry directly
    if (auto* type = new (std::nothrow) Orvo::ResourceType<CompressAsciiResource>(
            Orvo::PString("convert-tex.txt"), Orvo::UId("A6805E60-4C54-1278-1111-00010251467D"), category))
    {
        type->AddRef();
        add(type);
        type->Release();
    }
}
