#pragma once
// What the mesh tests share: a display, a material manager that knows the engine's own material types,
// and a resource to load through.
#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/PluginType.h"
#include "render/VelmarGeometryBaseResource.h"
#include "render/tests/MeshFileBuilder.h"

#include <gtest/gtest.h>

// A material type whose plug-in can never make its material on this display.
class RefusingPlugin : public Orvo::MaterialPlugin
{
public:
    RefusingPlugin() : MaterialPlugin(Orvo::PString("tbump"), Orvo::UId("11111111-2222-3333-4444-555555555555")) {}
    Orvo::Material* Create(const Orvo::PString&, Orvo::Display*) override { return nullptr; }
};

class MeshTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Orvo::PluginBase::UnregisterAll();
        Orvo::MaterialManager::RegisterEngineMaterialTypes();
        Orvo::PluginBase::RegisterPluginType(new RefusingPlugin());
        resource_ = new VelmarGeometryBaseResource(Orvo::PString("meshes/hull.im"), nullptr);
        resource_->AddRef();
    }
    void TearDown() override
    {
        resource_->Release();
        Orvo::PluginBase::UnregisterAll();
    }

    Orvo::Display display_{Orvo::Display::Kind::Null};
    Orvo::MaterialManager manager_{&display_};
    VelmarGeometryBaseResource* resource_ = nullptr;
};
