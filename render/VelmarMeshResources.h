#pragma once
// The mesh resources: what the engine's resource system makes for a mesh file name, by extension:
//   "im"            VelmarIndexedMeshResource       an indexed mesh file
//   "pm"            VelmarProgressiveMeshResource   a progressive mesh file
//   "lm", "lm.txt"  VelmarIndexedMeshLODResource    a LOD mesh file, or a text LOD description
// (RegisterMeshResourceTypes enters the types). The user of a resource gives it the render kernel (and,
// when wanted, options and the substitute flag) before it loads: ask the resource system with
// ResourceSystem::GetNoLoad, set them, then Lock() (Load and LoadComplete), then LoadAll and poll
// IsAllLoaded until it is no longer 5. A resource without a render kernel never loads.
//
// Load answers 0 or 1 (GetMeshLoadResult keeps the reader's detailed result); a failed load leaves no
// definition, except that a text LOD description that fails keeps what it read (GetDefinition), from
// which no instance is made. LoadComplete hands the materials their textures and checks every chunk.
//
// CreateMeshInstance makes a new instance the caller owns:
//   indexed / progressive: VelmarIndexedMeshInstance (VelmarProgressiveMeshInstance), or for a mesh with
//     bone influences and bones per chunk VelmarDynamicIndexedMeshInstance (...ProgressiveMeshInstance);
//     a skinned mesh without a skeleton gives none;
//   LOD: VelmarIndexedMeshLODInstance for a mesh without bones, VelmarDynamicIndexedMeshLODInstance for
//     one with bones and a bone hierarchy, none for bones without a hierarchy.
#include "render/VelmarGeometryBaseResource.h"
#include "render/VelmarIndexedMeshLODDefinition.h"

#include <memory>
#include <string>
#include <vector>

class VelmarIndexedMeshInstance;

class VelmarIndexedMeshResource : public VelmarGeometryBaseResource
{
public:
    VelmarIndexedMeshResource(const Orvo::PString& name, Orvo::ResourceDatabase* database);

    int Load(const std::string& fileName) override;
    int LoadComplete() override;
    size_t CalculateDataSize() const override;
    size_t CalculateSize() const override { return sizeof(*this); }
    VelmarIndexedMeshInstance* CreateMeshInstance() override;
    VelmarIndexedMeshDefinition* GetDefinition() const override { return definition_.get(); }

protected:
    ~VelmarIndexedMeshResource() override;
    std::vector<MaterialArray> GetMaterialArrays() const override;
    // Makes the instance of the right kind for the definition.
    VelmarIndexedMeshInstance* MakeInstance(bool progressive);
    // Takes a new definition; one that instances still use is kept until the resource goes.
    void ReplaceDefinition(std::unique_ptr<VelmarIndexedMeshDefinition> definition);

    std::unique_ptr<VelmarIndexedMeshDefinition> definition_;
    std::vector<std::unique_ptr<VelmarIndexedMeshDefinition>> retired_;
};

class VelmarProgressiveMeshResource : public VelmarIndexedMeshResource
{
public:
    using VelmarIndexedMeshResource::VelmarIndexedMeshResource;

    // As the indexed load, through the progressive reader, with dynamic index buffers unless the options
    // say otherwise.
    int Load(const std::string& fileName) override;
    size_t CalculateSize() const override { return sizeof(*this); }
    VelmarIndexedMeshInstance* CreateMeshInstance() override;
};

class VelmarIndexedMeshLODResource : public VelmarGeometryBaseResource
{
public:
    VelmarIndexedMeshLODResource(const Orvo::PString& name, Orvo::ResourceDatabase* database);

    int Load(const std::string& fileName) override;
    int LoadTxt(const std::string& fileName) override;
    // Finishes the level meshes of a text description, makes equal materials of different levels one
    // object, and checks every chunk of every level (9 when one refuses).
    int LoadComplete() override;
    size_t CalculateDataSize() const override;
    size_t CalculateSize() const override { return sizeof(*this); }
    VelmarIndexedMeshInstance* CreateMeshInstance() override;
    VelmarIndexedMeshDefinition* GetDefinition() const override { return definition_.get(); }
    VelmarIndexedMeshLODDefinition* GetLODDefinition() const { return definition_.get(); }

protected:
    ~VelmarIndexedMeshLODResource() override;
    std::vector<MaterialArray> GetMaterialArrays() const override;
    void ReplaceDefinition(std::unique_ptr<VelmarIndexedMeshLODDefinition> definition);

    std::unique_ptr<VelmarIndexedMeshLODDefinition> definition_;
    std::vector<std::unique_ptr<VelmarIndexedMeshLODDefinition>> retired_;
    bool textFailed_ = false;  // the definition is what a failed text description left
};

// Enters the three mesh resource types ("im", "pm", "lm.txt" and "lm") in the engine's plug-in registry.
void RegisterMeshResourceTypes();
