#pragma once
// A progressive mesh file: an indexed mesh file with one more chunk, PMIN, after the others. Its data is
// read past and not kept, so the mesh is held at full detail like an indexed mesh. The loader differs
// from the indexed one: no chunk limit, no hardware skinning, no texture detail bias.
#include "render/VelmarIndexedMeshDefinition.h"

class VelmarProgressiveMeshDefinition : public VelmarIndexedMeshDefinition
{
public:
    using VelmarIndexedMeshDefinition::VelmarIndexedMeshDefinition;

    // Opens `fileName` through the resource's database itself and reads it.
    int LoadProgressive(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                        const std::string& fileName, uint32_t colour);
    // Reads file data already held (SetFileData).
    int LoadHeld(Orvo::Display* display, Orvo::MaterialManager* materials, VelmarGeometryBaseResource* resource,
                 uint32_t colour);
};
