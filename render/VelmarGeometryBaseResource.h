#pragma once
// The engine resource behind a mesh file name, as far as the mesh definitions use it while loading: the
// render kernel (display and material manager), the mesh options handed to the definition, whether a
// material may be replaced by its type's substitute, and the names of materials that could not be made.
// The mesh resources derive it.
#include "engine/PString.h"
#include "engine/RenderKernel.h"
#include "engine/Resource.h"
#include "render/MeshOptions.h"

#include <string>
#include <vector>

class VelmarGeometryBaseResource : public Orvo::Resource
{
public:
    VelmarGeometryBaseResource(const Orvo::PString& name, Orvo::ResourceDatabase* database)
        : Orvo::Resource(name, database)
    {}

    Orvo::RenderKernel* GetRenderKernel() const { return kernel_; }
    void SetRenderKernel(Orvo::RenderKernel* kernel) { kernel_ = kernel; }
    const MeshOptions& GetOptions() const { return options_; }
    void SetOptions(const MeshOptions& options) { options_ = options; }
    bool AllowsSubstitutes() const { return substitute_; }
    void SetAllowSubstitutes(bool allow) { substitute_ = allow; }

    const std::vector<Orvo::PString>& GetMissingMaterials() const { return missingMaterials_; }
    void AddMissingMaterial(const Orvo::PString& name) { missingMaterials_.push_back(name); }
    void ClearMissingMaterials() { missingMaterials_.clear(); }

    // The folder part of the resource name, with its "/" ("meshes/" of "meshes/hull.im"; "" without one).
    std::string GetNameFolder() const;

private:
    Orvo::RenderKernel* kernel_ = nullptr;
    MeshOptions options_;
    bool substitute_ = false;
    std::vector<Orvo::PString> missingMaterials_;
};
