#pragma once
// The mesh checks of validation: the mesh source that file-path tags and the configuration normaliser
// load meshes through, and the registration of the mesh and texture checks with the validation library.
//
// A file-path tag's file is taken by its extension: an indexed mesh ("im") or a LOD mesh ("lm", or "lm.txt"
// for its text form) is loaded (MeshData.h) and becomes its container's mesh and the one the scene shows;
// a LOD mesh named as "lm" then gets the performance rules (attachment points or animations, more than
// one level, enough polygons at its lowest level) unless its asset is of a kind with rules of its own; a
// progressive mesh ("pm") is an unsupported format, a warning before build 2.9 and an error from it; an
// animation ("kin") is loaded onto the container's own mesh, and when there is none it is reported once
// per configuration (not at all when a mesh failed before, or for an alias).
#include "validation/ValidationHooks.h"

namespace TETLib {

class MeshCheckSource : public MeshSource
{
public:
    ValidationMesh* LoadMeshForOwner(const Orvo::File::Path& file, Container& owner) override;
    // A mesh for the normaliser, loaded without owner.
    std::unique_ptr<ValidationMesh> LoadMesh(DataManager& manager, const Orvo::File::Path& file) override;
};

// Registers the texture folder check and the mesh source (ValidationHooks.h) with a manager's plug-ins.
void RegisterMeshChecks(ValidationPlugins& plugins);

}  // namespace TETLib
