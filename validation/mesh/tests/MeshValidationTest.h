#pragma once
// What the mesh check tests share: the validation tests' scratch folder and keyed findings, with the engine
// objects the tool starts (a render kernel on the null display, a resource system), the validation scene
// with its placeholder materials, the mesh checks registered, and real mesh files written into the asset
// folder from text descriptions.
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "render/tests/MeshTextFiles.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/mesh/MeshChecks.h"
#include "validation/tests/ValidationTestSupport.h"

namespace validation_test {

class MeshValidationTest : public ValidationTest
{
protected:
    void SetUp() override
    {
        ValidationTest::SetUp();
        Orvo::PluginBase::UnregisterAll();
        ASSERT_TRUE(os_.Init());
        ASSERT_TRUE(kernel_.Init(&os_, nullptr));
        UseOurTemplates();
        StartScene();
        UsePlugins(TETLib::RegisterMeshChecks);
        fs::create_directories(root_ + "/scratch");
    }
    void TearDown() override
    {
        ValidationTest::TearDown();
        resources_.DumpUnusedResourcesFromCache();
        Orvo::PluginBase::UnregisterAll();
    }

    // The current data manager's scene on the engine objects, with its placeholder materials.
    void StartScene()
    {
        EngineObjects engine;
        engine.os = &os_;
        engine.renderKernel = &kernel_;
        engine.resourceSystem = &resources_;
        ASSERT_TRUE(Manager().SetupScene(&engine));
        TETLib::RegisterDummyLoadMaterials(Manager());
    }
    // An indexed mesh file in the asset folder.
    void Mesh(const std::string& name, const std::string& text)
    {
        fs::create_directories(fs::path(AssetFolder() + name).parent_path());
        std::string why;
        ASSERT_TRUE(meshtext::WriteIndexedMesh(kernel_, text, AssetFolder() + name, why)) << why;
    }
    // A LOD mesh file in the asset folder, one level per text.
    void LODMesh(const std::string& name, const std::vector<std::string>& levels)
    {
        std::string why;
        ASSERT_TRUE(meshtext::WriteLODMesh(kernel_, levels, "", root_ + "/scratch", AssetFolder() + name, why)) << why;
    }
    // A plain untextured grid, with the attachment points given.
    static std::string Grid(uint32_t across, uint32_t down, const std::vector<std::string>& points = {})
    {
        return meshtext::GridMesh(across, down, "grid.m.notex", "", points);
    }

    Orvo::OS os_{"VelmarTest", "-NullRender -LogFile=/dev/null"};
    Orvo::RenderKernel kernel_{nullptr, 1.0f};
    Orvo::ResourceSystem resources_;
};

// A mesh table of one entry "default" with the given tags.
inline std::string Table(const std::string& entry) { return "mesh-table\n{\n  default\n  {\n" + entry + "  }\n}\n"; }

}  // namespace validation_test
