#include "render/VelmarGeometryBaseResource.h"

#include "render/MaterialTextureChecks.h"

std::string VelmarGeometryBaseResource::GetNameFolder() const
{
    const std::string name = ConvertResourceName(GetName().View());
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

bool VelmarGeometryBaseResource::LoadAll()
{
    if (!Orvo::Resource::LoadAll()) return false;
    for (const MaterialArray& materials : GetMaterialArrays())
        if (!LoadAllMaterialTextures(materials)) return false;
    return true;
}

int VelmarGeometryBaseResource::IsAllLoaded()
{
    if (const int state = Orvo::Resource::IsAllLoaded()) return state;
    for (const MaterialArray& materials : GetMaterialArrays())
    {
        int state = StateLoaded;
        IsAllMaterialsLoaded(materials, state);
        if (state != StateLoaded) return state;
    }
    return StateLoaded;
}
