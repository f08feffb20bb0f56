#pragma once
// The mesh checks of validation, as far as this program can make them: the mesh source that file-path
// tags and the configuration normaliser load meshes through, and the registration of the mesh and
// texture checks with the validation library.
//
// The engine's mesh resources (indexed and LOD meshes with their instances) are not part of this program
// yet, so no mesh or animation is loaded: a progressive mesh (".pm") gets its unsupported-format finding,
// which needs no loading, and any other mesh or animation file marks the asset's meshes as not checked,
// which its results then say.
#include "validation/ValidationHooks.h"

namespace TETLib {

class MeshCheckSource : public MeshSource
{
public:
    ValidationMesh* LoadMeshForOwner(const Orvo::File::Path& file, Container& owner) override;
    std::unique_ptr<ValidationMesh> LoadMesh(const Orvo::File::Path& file) override;
};

// Registers the texture folder check and the mesh source (ValidationHooks.h).
void RegisterMeshChecks();

}  // namespace TETLib
