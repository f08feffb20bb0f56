#pragma once
// What the tests of the mesh resources and instances share: a started render kernel (null display), a
// resource system with the mesh resource types, and a content resource database over a scratch folder.
#include "engine/File.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshFileBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The resource of that name in `database`, made by its resource system and given `kernel`, not loaded yet.
inline Orvo::AutoReference<VelmarGeometryBaseResource> GetMeshResource(VelmarResourceDatabase& database,
                                                                       const std::string& name,
                                                                       Orvo::RenderKernel* kernel)
{
    Orvo::Resource* made = database.Get(name, Orvo::ResourceSystem::GetNoLoad);
    Orvo::AutoReference<VelmarGeometryBaseResource> resource(dynamic_cast<VelmarGeometryBaseResource*>(made));
    if (made) made->Release();
    if (resource) resource->SetRenderKernel(kernel);
    return resource;
}

// Loaded (Load and LoadComplete), its textures started and polled until they are no longer loading; null
// when it did not load.
inline Orvo::AutoReference<VelmarGeometryBaseResource> LoadMeshResource(VelmarResourceDatabase& database,
                                                                        const std::string& name,
                                                                        Orvo::RenderKernel* kernel)
{
    Orvo::AutoReference<VelmarGeometryBaseResource> resource = GetMeshResource(database, name, kernel);
    if (!resource || resource->Lock() != 0 || !resource->LoadAll()) return {};
    int state = resource->IsAllLoaded();
    for (int polls = 0; state == Orvo::Resource::StateLoading && polls < 1000; ++polls) state = resource->IsAllLoaded();
    return state == Orvo::Resource::StateLoaded ? resource : Orvo::AutoReference<VelmarGeometryBaseResource>();
}

// A one-triangle mesh `name` in `folder` whose bump material names a texture file that is not there (the mesh
// loads without it); false when it cannot be written.
inline bool WriteBumpTriangleWithoutTexture(const ScratchFolder& folder, const std::string& name = "tri.im")
{
    IndexedMeshSpec spec;
    spec.material.name = "tri.m.tbumptex";
    spec.material.textures = {"tri.texture"};
    const Bytes mesh = BuildIndexedMesh(spec);
    return Orvo::File::WriteFile(folder / name, std::string(mesh.data.begin(), mesh.data.end()));
}

class MeshResourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Orvo::PluginBase::UnregisterAll();
        RegisterMeshResourceTypes();
        ASSERT_TRUE(os_.Init());
        ASSERT_TRUE(kernel_.Init(&os_, nullptr));
        database_ = std::make_unique<VelmarResourceDatabase>(Orvo::PString("meshsrc"), folder_.path, &resources_);
    }
    void TearDown() override
    {
        database_.reset();
        Orvo::PluginBase::UnregisterAll();
    }

    void Write(const std::string& name, const Bytes& b)
    {
        ASSERT_TRUE(Orvo::File::WriteFile(folder_ / name, std::string(b.data.begin(), b.data.end())));
    }
    void Write(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(Orvo::File::WriteFile(folder_ / name, text));
    }

    // The resource of that name, made by the resource system and given the render kernel, not loaded yet.
    Orvo::AutoReference<VelmarGeometryBaseResource> Get(const std::string& name)
    {
        return GetMeshResource(*database_, name, &kernel_);
    }
    Orvo::AutoReference<VelmarGeometryBaseResource> Load(const std::string& name)
    {
        return LoadMeshResource(*database_, name, &kernel_);
    }
    std::unique_ptr<VelmarIndexedMeshInstance> Instance(VelmarGeometryBaseResource& resource)
    {
        return std::unique_ptr<VelmarIndexedMeshInstance>(resource.CreateMeshInstance());
    }
    Orvo::Display* GetDisplay() { return kernel_.GetDisplay(); }

    ScratchFolder folder_;
    Orvo::OS os_{"VelmarTest", "-NullRender -LogFile=/dev/null"};
    Orvo::RenderKernel kernel_{nullptr, 1.0f};
    Orvo::ResourceSystem resources_;
    std::unique_ptr<VelmarResourceDatabase> database_;
};
