#include "render/VelmarProgressiveMeshDefinition.h"

#include "engine/MaterialManager.h"

int VelmarProgressiveMeshDefinition::LoadProgressive(Orvo::Display* display, Orvo::MaterialManager* materials,
                                                     VelmarGeometryBaseResource* resource, const std::string& fileName,
                                                     uint32_t colour)
{
    if (materials == nullptr) return RES_NO_MATERIAL_MANAGER;
    if (int r = OpenMeshFile(resource, fileName)) return r;
    return LoadHeld(display, materials, resource, colour);
}

int VelmarProgressiveMeshDefinition::LoadHeld(Orvo::Display* display, Orvo::MaterialManager* materials,
                                              VelmarGeometryBaseResource* resource, uint32_t colour)
{
    if (materials == nullptr) return RES_NO_MATERIAL_MANAGER;
    display_ = display;
    materialManager_ = materials;
    resource_ = resource;
    // The display is not asked about hardware skinning: a progressive mesh is skinned in software.
    capability29_ = false;
    boneLimit_ = 25;
    if (file_.Size() == 0) return RES_FILE_OPEN_ERROR;
    if (int r = ReadForm(colour, true)) return r;
    BuildBonesFromInfluences();
    ApplyInfluences();
    std::string name = file_.Name();
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    name_ = Orvo::PString(name);
    ComputeBounds(chunks_, chunkCount_);
    BuildOrientedBox(chunks_, chunkCount_);
    file_.Close();
    return RES_OK;
}
