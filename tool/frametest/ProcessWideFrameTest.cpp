// What start-up publishes for the whole process. The debug viewport: the process's one sink, published as the
// engine's debug viewport; the particles and chunks of a mesh loaded through the tool draw into it, and it keeps
// nothing. The list of auto-released resources: built at start-up, emptied and gone at exit.
#include "engine/AutoReference.h"
#include "engine/PluginType.h"
#include "engine/ResourceSystem.h"
#include "engine/tests/DebugRecorder.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VLDebugVp.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshResourceSupport.h"
#include "textures/ProcessAutoReleaseList.h"
#include "textures/VelmarTextureResource.h"
#include "tool/Tool.h"
#include "tool/frametest/StartedTool.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

TEST(DebugViewportFrameTest, ALoadedMeshDrawsIntoTheSinkStartUpPublishedWhichKeepsNothing)
{
    using namespace Orvo;
    char cwd[4096] = {};
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::unique_ptr<Tool> tool = StartTool();
    ASSERT_NE(tool, nullptr);
    auto* sink = dynamic_cast<VLDebugVp*>(GetDebugViewport());
    ASSERT_NE(sink, nullptr);

    // The mesh and everything it was loaded with go before the tool does.
    {
        ScratchFolder folder;
        ASSERT_TRUE(WriteBumpTriangleWithoutTexture(folder));
        VelmarResourceDatabase database(PString("debugsrc"), folder.path, tool->Engine().resourceSystem);
        AutoReference<VelmarGeometryBaseResource> resource =
            LoadMeshResource(database, "tri.im", tool->Engine().renderKernel);
        ASSERT_TRUE(resource);
        std::unique_ptr<VelmarIndexedMeshInstance> instance(resource->CreateMeshInstance());
        ASSERT_NE(instance, nullptr);
        ASSERT_EQ(instance->GetChunkCount(), 1u);

        Particle world;
        world.SetName(PString("world"));
        world.SetPosition({0, 0, 5});
        world.AddChild(instance.get());
        auto draw = [&] {
            world.RenderDebugTree();
            instance->GetChunk(0)->RenderDebug(instance->GetGlobal().ToMatrix());
        };
        // Seen on the way in, each call handed on to the sink: the particles, and the chunk's one triangle five
        // units along z.
        DebugRecorder passing(sink);
        {
            PublishedDebugViewport through(&passing);
            draw();
        }
        for (const char* expected :
             {"text world (0 0 5) FFFF00FF", "line (0 0 5) (0 0 5) FF0000FF", "line (0 0 5) (1 0 5) FFFF0000",
              "line (1 0 5) (0 1 5) FFFF0000", "line (0 1 5) (0 0 5) FFFF0000"})
            EXPECT_NE(std::find(passing.drawn.begin(), passing.drawn.end(), expected), passing.drawn.end()) << expected;
        ASSERT_EQ(GetDebugViewport(), sink);
        for (int frame = 0; frame < 1000; ++frame) draw();
        for (uint32_t table = 0; table < VLDebugVp::kPrimitiveTables; ++table)
            for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
                EXPECT_EQ(sink->GetPrimitives(table, slot).Capacity(), 0u) << table << " " << slot;
        EXPECT_EQ(sink->GetTexts().Capacity(), 0u);
        world.RemoveChild(instance.get());
    }

    // The sink is the process's: it outlives the tool, and a tool started again publishes it again.
    tool.reset();
    PluginBase::UnregisterAll();
    EXPECT_EQ(GetDebugViewport(), sink);
    SetDebugViewport(nullptr);
    tool = StartTool();
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(GetDebugViewport(), sink);
    tool.reset();
    PluginBase::UnregisterAll();
    ASSERT_EQ(chdir(cwd), 0);
}

// A resource as the display helpers keep one: in the list it was made with, moved to the front as it is used.
struct UsedResource : AutoReleasingResource
{
    using AutoReleasingResource::AutoReleasingResource;
    void ReleaseNow() override {}
    void Use(double when) { Touch(when); }
};

TEST(AutoReleaseListFrameTest, StartUpBuildsTheProcessListAndExitTakesEveryResourceOutBeforeItGoes)
{
    char cwd[4096] = {};
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(GetAutoReleaseList(), nullptr);
    std::unique_ptr<Tool> tool = StartTool();
    ASSERT_NE(tool, nullptr);
    AutoReleaseList* list = GetAutoReleaseList();
    ASSERT_NE(list, nullptr);

    auto gone = std::make_unique<UsedResource>(*list);
    UsedResource kept(*list), later(*list);
    gone->Use(1.0);
    kept.Use(2.0);
    later.Use(3.0);
    EXPECT_EQ(list->ListByLastUse(), (std::vector<AutoReleasingResource*>{&later, &kept, gone.get()}));
    gone.reset();  // a resource destroyed while the tool runs leaves the list
    EXPECT_EQ(list->ListByLastUse(), (std::vector<AutoReleasingResource*>{&later, &kept}));

    // At exit the list is withdrawn and takes out what is still in it; the resources that outlive it belong to
    // no list (used again or destroyed, they reach for nothing that is gone).
    tool.reset();
    Orvo::PluginBase::UnregisterAll();
    EXPECT_EQ(GetAutoReleaseList(), nullptr);
    EXPECT_FALSE(kept.IsInList());
    EXPECT_FALSE(later.IsInList());
    kept.Use(4.0);
    EXPECT_FALSE(kept.IsInList());
    EXPECT_EQ(kept.GetLastUse(), 4.0);
    Orvo::SetDebugViewport(nullptr);
    ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
