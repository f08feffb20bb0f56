#pragma once
// The engine resource behind a mesh file name, as far as the mesh definitions use it while loading: the
// render kernel (display and material manager), the mesh options handed to the definition, whether a
// material may be replaced by its type's substitute, and the names of materials that could not be made.
// The mesh resources derive it (VelmarMeshResources.h) and add the definition they load and the
// instances they make.
//
// Texture loading (MaterialTextureChecks.h): LoadAll starts the loads of every material's textures (false
// as soon as one fails), IsAllLoaded polls them: 0 loaded, 1 failed, 5 still loading (the first material
// that is not loaded decides). A material with nothing to load answers loaded.
#include "engine/PString.h"
#include "engine/RenderKernel.h"
#include "engine/Resource.h"
#include "render/MeshOptions.h"
#include "render/VelmarIndexedMeshDefinition.h"

#include <atomic>
#include <string>
#include <vector>

class VelmarIndexedMeshInstance;

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

    // ---- what the mesh resources add ----
    // A new instance of the loaded mesh (the caller owns it); null without a render kernel, without a
    // definition, or when the mesh cannot be instanced.
    virtual VelmarIndexedMeshInstance* CreateMeshInstance() { return nullptr; }
    // The loaded definition, or null.
    virtual VelmarIndexedMeshDefinition* GetDefinition() const { return nullptr; }
    // The size of the resource object itself (the same whatever the mesh holds).
    virtual size_t CalculateSize() const { return sizeof(VelmarGeometryBaseResource); }
    bool LoadAll() override;
    int IsAllLoaded() override;
    // The detailed result (MeshLoadResult) of the last load; Load itself answers only 0 or 1.
    int GetMeshLoadResult() const { return meshResult_; }

    // Instances register while they hold the resource, so that a reload keeps the definition they use.
    void AttachInstance() { ++instances_; }
    void DetachInstance() { --instances_; }
    int GetInstanceCount() const { return instances_.load(); }

protected:
    // The material arrays whose textures LoadAll and IsAllLoaded look at.
    virtual std::vector<MaterialArray> GetMaterialArrays() const { return {}; }
    // The colour every vertex gets when a chunk has colours.
    static constexpr uint32_t kVertexColour = 0xFFFFFFFFu;

    int meshResult_ = 0;

private:
    Orvo::RenderKernel* kernel_ = nullptr;
    MeshOptions options_;
    bool substitute_ = false;
    std::vector<Orvo::PString> missingMaterials_;
    std::atomic<int> instances_{0};
};
