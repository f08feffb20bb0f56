// The debug viewport of a started tool: start-up publishes the program's sink as the engine's debug
// viewport, the particles and chunks of a mesh loaded through the tool draw into it, and it keeps nothing.
#include "engine/AutoReference.h"
#include "engine/DebugViewport.h"
#include "engine/File.h"
#include "engine/PluginType.h"
#include "engine/ResourceSystem.h"
#include "engine/tests/DebugRecorder.h"
#include "engine/tests/ScratchFolder.h"
#include "render/VLDebugVp.h"
#include "render/VelmarIndexedMeshInstance.h"
#include "render/VelmarMeshResources.h"
#include "render/VelmarResourceDatabase.h"
#include "render/tests/MeshFileBuilder.h"
#include "tool/Tool.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

bool Drew(const std::vector<std::string>& drawn, const std::string& what)
{
    return std::find(drawn.begin(), drawn.end(), what) != drawn.end();
}

// Start-up as the tool runs it, without a daemon, in this program's folder; the working folder is put
// back afterwards.
class DebugViewportFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        StartTool();
    }
    void TearDown() override
    {
        StopTool();
        ASSERT_EQ(chdir(cwd_), 0);
    }
    void StartTool()
    {
        tool_ = std::make_unique<Tool>();
        ::testing::internal::CaptureStderr();
        const uint8_t started = tool_->Initialise(int(std::size(argv_)) - 1, const_cast<char**>(argv_));
        ::testing::internal::GetCapturedStderr();  // "- Failed to open asset database"
        ASSERT_EQ(started, 0);
    }
    void StopTool()
    {
        tool_.reset();
        Orvo::PluginBase::UnregisterAll();
    }

    static void ExpectNothingKept(const VLDebugVp& sink)
    {
        for (uint32_t table = 0; table < VLDebugVp::kPrimitiveTables; ++table)
            for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
                EXPECT_EQ(sink.GetPrimitives(table, slot).Capacity(), 0u) << table << " " << slot;
        EXPECT_EQ(sink.GetTexts().Capacity(), 0u);
    }

    const char* argv_[5] = {"VelmarUtil", "version", "-nostartvaddaemon", "closevaddaemon", nullptr};
    char cwd_[4096] = {};
    std::unique_ptr<Tool> tool_;
};

// The sink belongs to the process: a tool started again publishes the same one, whatever was published
// in between, and it outlives the tool that published it.
TEST_F(DebugViewportFrameTest, StartUpPublishesTheProcesssOneSink)
{
    auto* sink = dynamic_cast<VLDebugVp*>(Orvo::GetDebugViewport());
    ASSERT_NE(sink, nullptr);
    EXPECT_TRUE(sink->IsEnabled());
    EXPECT_EQ(sink->GetEnabledFlag(), 1u);

    StopTool();
    EXPECT_EQ(Orvo::GetDebugViewport(), sink);
    Orvo::SetDebugViewport(nullptr);
    StartTool();
    EXPECT_EQ(Orvo::GetDebugViewport(), sink);
}

TEST_F(DebugViewportFrameTest, ALoadedMeshsParticlesAndChunksDrawIntoTheSinkWhichKeepsNothing)
{
    using namespace Orvo;
    auto* published = dynamic_cast<VLDebugVp*>(GetDebugViewport());
    ASSERT_NE(published, nullptr);
    VLDebugVp& sink = *published;

    ScratchFolder folder;
    IndexedMeshSpec spec;
    spec.material.name = "tri.m.tbumptex";
    spec.material.textures = {"tri.texture"};  // not there: the mesh loads without it
    const Bytes mesh = BuildIndexedMesh(spec);
    ASSERT_TRUE(File::WriteFile(folder / "tri.im", std::string(mesh.data.begin(), mesh.data.end())));
    VelmarResourceDatabase database(PString("debugsrc"), folder.path, tool_->Engine().resourceSystem);
    Resource* made = database.Get("tri.im", ResourceSystem::GetNoLoad);
    AutoReference<VelmarGeometryBaseResource> resource(dynamic_cast<VelmarGeometryBaseResource*>(made));
    if (made) made->Release();
    ASSERT_TRUE(resource);
    resource->SetRenderKernel(tool_->Engine().renderKernel);
    ASSERT_EQ(resource->Lock(), 0);
    ASSERT_TRUE(resource->LoadAll());
    ASSERT_EQ(resource->IsAllLoaded(), Resource::StateLoaded);
    std::unique_ptr<VelmarIndexedMeshInstance> instance(resource->CreateMeshInstance());
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(instance->GetChunkCount(), 1u);

    Particle world;
    world.SetName(PString("world"));
    world.SetPosition({0, 0, 5});
    world.AddChild(instance.get());
    auto draw = [&] {
        world.RenderDebugTree();
        for (uint32_t i = 0; i < instance->GetChunkCount(); ++i)
            instance->GetChunk(i)->RenderDebug(instance->GetGlobal().ToMatrix());
    };

    // Seen on the way in: each call handed on to the sink.
    DebugRecorder passing(&sink);
    {
        PublishedDebugViewport through(&passing);
        draw();
    }
    EXPECT_TRUE(Drew(passing.drawn, "text world (0 0 5) FFFF00FF"));
    EXPECT_TRUE(Drew(passing.drawn, "line (0 0 5) (0 0 5) FF0000FF"));  // the instance stands at the origin
    // The chunk's one triangle, five units along z.
    EXPECT_TRUE(Drew(passing.drawn, "line (0 0 5) (1 0 5) FFFF0000"));
    EXPECT_TRUE(Drew(passing.drawn, "line (1 0 5) (0 1 5) FFFF0000"));
    EXPECT_TRUE(Drew(passing.drawn, "line (0 1 5) (0 0 5) FFFF0000"));

    // Straight into the sink, as the process draws.
    ASSERT_EQ(GetDebugViewport(), &sink);
    for (int frame = 0; frame < 1000; ++frame) draw();
    ExpectNothingKept(sink);
    world.RemoveChild(instance.get());
}

}  // namespace
