// The engine objects the tool starts: OS options, render kernel displays, forced start failures,
// plug-in types and their ids, materials and the scene graph.
#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/PluginType.h"
#include "engine/RenderKernel.h"
#include "engine/RenderStartFault.h"
#include "engine/ResourceSystem.h"
#include "engine/SceneGraph.h"
#include "engine/UId.h"

#include <gtest/gtest.h>

using namespace Orvo;

TEST(UIdTest, ParsesGuidTextInAnyCaseAndPrintsUpperCase)
{
    UId a("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    UId b("{4c414e80-bbda-11D4-9ad7-0001025364b8}");
    EXPECT_FALSE(a.IsNil());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.ToText(), "4C414E80-BBDA-11D4-9AD7-0001025364B8");
    EXPECT_EQ(a.data1, 0x4C414E80u);
    EXPECT_EQ(a.data4[7], 0xB8);
    UId c("4C414E80-BBDA-11d4-9AD7-0001025364B9");
    EXPECT_NE(a, c);
    EXPECT_TRUE(a < c);
}

TEST(UIdTest, RefusesMalformedText)
{
    UId out("11111111-2222-3333-4444-555555555555");
    const UId kept = out;
    for (const char* bad : {"", "4C414E80-BBDA-11d4-9AD7-0001025364B", "4C414E80-BBDA-11d4-9AD7-0001025364B8X",
                            "4C414E80+BBDA-11d4-9AD7-0001025364B8", "4C414E8G-BBDA-11d4-9AD7-0001025364B8",
                            "{4C414E80-BBDA-11d4-9AD7-0001025364B8", "-4C414E80BBDA-11d4-9AD7-0001025364B8"})
    {
        EXPECT_FALSE(UId::Parse(bad, out)) << bad;
        EXPECT_EQ(out, kept) << bad;
    }
    EXPECT_TRUE(UId(std::string_view("nonsense")).IsNil());
}

TEST(RenderStartFaultTest, WordsChooseThePointAndNullRenderLiftsPlainFailures)
{
    Options plain("-render=OpenGL -hidewindow");
    Options nullRender("-render=OpenGL -hidewindow -NullRender");
    EXPECT_TRUE(RenderStartFailureForced(RenderStartPoint::OS, plain, "os"));
    EXPECT_FALSE(RenderStartFailureForced(RenderStartPoint::Kernel, plain, "os"));
    EXPECT_TRUE(RenderStartFailureForced(RenderStartPoint::Kernel, plain, " kernel "));
    EXPECT_TRUE(RenderStartFailureForced(RenderStartPoint::OS, plain, "both"));
    EXPECT_TRUE(RenderStartFailureForced(RenderStartPoint::Kernel, plain, "both"));
    EXPECT_FALSE(RenderStartFailureForced(RenderStartPoint::OS, nullRender, "both"));
    EXPECT_TRUE(RenderStartFailureForced(RenderStartPoint::OS, nullRender, "x,os-always"));
    EXPECT_FALSE(RenderStartFailureForced(RenderStartPoint::OS, nullRender, "kernel-always"));
    EXPECT_FALSE(RenderStartFailureForced(RenderStartPoint::OS, plain, ""));
    EXPECT_FALSE(RenderStartFailureForced(RenderStartPoint::OS, plain, "oss,-always,always"));
}

TEST(RenderKernelTest, DisplayFollowsTheOptionsAndUnknownRenderersFail)
{
    {
        OS os("VelmarUtil", "-render=OpenGL -hidewindow -LogFile=/dev/null ");
        ASSERT_TRUE(os.Init());
        EXPECT_EQ(os.GetApplicationName(), "VelmarUtil");
        RenderKernel kernel(nullptr, 8.0f);
        ASSERT_TRUE(kernel.Init(&os, nullptr));
        EXPECT_EQ(kernel.GetDisplay()->GetKind(), Display::Kind::HiddenOpenGL);
        EXPECT_FLOAT_EQ(kernel.GetDetailScale(), 8.0f);
    }
    {
        OS os("VelmarUtil", "-NullRender -LogStdOut ");
        ASSERT_TRUE(os.Init());
        RenderKernel kernel(nullptr, 8.0f);
        ASSERT_TRUE(kernel.Init(&os, nullptr));
        EXPECT_EQ(kernel.GetDisplay()->GetKind(), Display::Kind::Null);
    }
    {
        OS os("VelmarUtil", "-render=Direct3D");
        ASSERT_TRUE(os.Init());
        RenderKernel kernel(nullptr, 8.0f);
        EXPECT_FALSE(kernel.Init(&os, nullptr));
        os.GetOptions().ProcessRaw("-NullRender");
        EXPECT_TRUE(kernel.Init(&os, nullptr));
    }
    RenderKernel kernel(nullptr, 1.0f);
    EXPECT_FALSE(kernel.Init(nullptr, nullptr));
    OS notStarted("VelmarUtil", "-NullRender");
    EXPECT_FALSE(kernel.Init(&notStarted, nullptr));
}

TEST(RenderKernelTest, DisplayHandlesLetGoWhenTheirDisplayGoes)
{
    DisplayHandle none;
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_FALSE(none.Refers(nullptr));
    alignas(Display) unsigned char room[sizeof(Display)];
    auto* first = new (room) Display(Display::Kind::Null);
    DisplayHandle held(first), copy = held;
    EXPECT_EQ(held.Get(), first);
    EXPECT_TRUE(copy.Refers(first));
    first->~Display();
    EXPECT_EQ(held.Get(), nullptr);
    EXPECT_EQ(copy.Get(), nullptr);
    // Another display made in the same place is not the one the handles kept.
    auto* second = new (room) Display(Display::Kind::Null);
    EXPECT_EQ(held.Get(), nullptr);
    EXPECT_FALSE(held.Refers(second));
    EXPECT_TRUE(DisplayHandle(second).Refers(second));
    second->~Display();
}

TEST(PluginTypeTest, RegistryLooksUpByFamilyAndExactName)
{
    PluginBase::UnregisterAll();
    const UId family("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    EXPECT_EQ(PluginBase::LookupPluginType(family, PString("bmp")), nullptr);
    auto* bmp = new PluginType(family, PString("bmp"));
    PluginBase::RegisterPluginType(bmp);
    PluginType* found = PluginBase::LookupPluginType(family, PString("bmp"));
    ASSERT_EQ(found, bmp);
    EXPECT_EQ(found->GetRefCount(), 2);
    found->Release();
    EXPECT_EQ(PluginBase::LookupPluginType(family, PString("BMP")), nullptr);
    EXPECT_EQ(PluginBase::LookupPluginType(UId(), PString("bmp")), nullptr);
    // A second registration under the same key replaces the first.
    auto* again = new PluginType(family, PString("bmp"));
    PluginBase::RegisterPluginType(again);
    EXPECT_EQ(PluginBase::RegisteredCount(), 1u);
    PluginType* now = PluginBase::LookupPluginType(family, PString("bmp"));
    EXPECT_EQ(now, again);
    now->Release();
    PluginBase::UnregisterAll();
    EXPECT_EQ(PluginBase::RegisteredCount(), 0u);
}

TEST(MaterialTest, DecoratedNamesGiveTypesAndRegisteredNamesGiveCopies)
{
    MaterialManager manager;
    EXPECT_EQ(MaterialManager::TypeOf(PString("VelmarDummyLoad.m.onetex")), PString("onetex"));
    int result = -1;
    EXPECT_EQ(manager.CreateMaterial(PString("plain"), &result), nullptr);
    EXPECT_EQ(result, MaterialManager::NotDecorated);
    EXPECT_EQ(manager.CreateMaterial(PString("x.m."), &result), nullptr);
    auto* prototype = new Material(PString("VelmarDummyLoad.m.gloss"), PString("gloss"));
    manager.RegisterMaterial(prototype);
    Material* a = manager.CreateMaterial(PString("VelmarDummyLoad.m.gloss"), &result);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(result, MaterialManager::Made);
    EXPECT_NE(a, prototype);  // a copy: the caller may change it
    EXPECT_TRUE(a->IsEqual(*prototype));
    EXPECT_EQ(a->GetType(), PString("gloss"));
    EXPECT_EQ(manager.Count(), 1u);
    a->Release();
}

TEST(SceneGraphTest, ScenesAndChildrenLinkAndUnlink)
{
    SceneGraph graph;
    Particle root;
    graph.AddScene(&root);
    graph.AddScene(&root);
    EXPECT_EQ(graph.SceneCount(), 1u);
    {
        Particle child;
        root.AddChild(&child);
        EXPECT_EQ(child.GetParent(), &root);
        EXPECT_EQ(root.GetChildren().size(), 1u);
    }
    EXPECT_TRUE(root.GetChildren().empty());  // a deleted child leaves its parent
    EXPECT_TRUE(graph.UnlinkScene(&root));
    EXPECT_FALSE(graph.UnlinkScene(&root));
}

TEST(ResourceSystemTest, InitialisesOnTheOptions)
{
    auto* rs = new ResourceSystem;
    EXPECT_TRUE(rs->Init(Options("-NullRender")));
    delete rs;
}
