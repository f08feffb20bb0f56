#include "core/TDBContainerTag.h"
#include "core/TDBTagRef.h"

#include <gtest/gtest.h>

TEST(SoupTree, NamesIgnoreCaseFirstMatchWinsAndAddAppends)
{
    TDBTagRef t;
    EXPECT_EQ(t.GetChildCount(), 0u);
    EXPECT_TRUE(t.IsNull());
    t.SetChildInt("Speed", 5);
    t.AddChildTag("speed", TDBTagRef::NewData([] {
                      ACSRawDataCore d;
                      d.SetInt(9);
                      return d;
                  }()));
    ASSERT_TRUE(t.IsContainer());
    EXPECT_EQ(t.GetChildCount(), 2u);
    EXPECT_EQ(t.GetChildInt("SPEED"), 5);
    EXPECT_EQ(t->CountChildren("speed"), 2u);
    EXPECT_EQ(t.GetChildName(0), Orvo::PString("Speed"));
    EXPECT_EQ(t.GetChildName(7), Orvo::PString::Empty());

    // A setter replaces the first of the name: the old one goes, the new one is appended.
    t.SetChildString("speed", "fast");
    EXPECT_EQ(t.GetChildCount(), 2u);
    EXPECT_EQ(t.GetChildInt("speed"), 9);
    EXPECT_EQ(t.GetChildString("speed"), "9");
    t.RemoveChild("SPEED");
    EXPECT_EQ(t.GetChildString("speed"), "fast");
    t.RemoveChild("nothing");
    EXPECT_EQ(t.GetChildCount(), 1u);
}

TEST(SoupTree, TypesHasChildAndConversions)
{
    TDBTagRef t;
    t.SetChildFloats("pos", std::vector<float>{1, 2, 3});
    t.SetChildFloat("half", 0.5f);
    t.SetChildInt("count", 42);
    t.SetChildKUID("kuid", KUID(1, 2, 3));
    t.SetChildString("name", "  17  ");
    t.SetChildString("bogus", "abc");
    t.SetChildBool("flag", true);
    t.SetChildNull("nothing");
    t.CreateChildContainer("box").SetChildInt("x", 1);

    EXPECT_EQ(t.GetChildType("flag"), kACSInteger);  // a bool is stored as an integer
    EXPECT_EQ(t.GetChildType("box"), kACSContainer);
    EXPECT_EQ(t.GetChildType("absent"), 0);
    EXPECT_FALSE(t.HasChild("nothing"));
    EXPECT_FALSE(t.HasChild("absent"));
    EXPECT_TRUE(t.HasChild("box"));

    EXPECT_EQ(t.GetChildString("pos"), "1,2,3");
    EXPECT_EQ(t.GetChildString("half"), "0.5");
    EXPECT_EQ(t.GetChildString("kuid"), "<kuid2:1:2:3>");
    EXPECT_EQ(t.GetChildString("box", "dflt"), "dflt");
    EXPECT_EQ(t.GetChildString("absent", "dflt"), "dflt");
    EXPECT_EQ(t.GetChildInt("name"), 17);
    EXPECT_EQ(t.GetChildInt("bogus", -4), -4);
    EXPECT_EQ(t.GetChildInt("pos"), 1);
    EXPECT_EQ(t.GetChildInt("kuid", 8), 8);
    EXPECT_FLOAT_EQ(t.GetChildFloat("count"), 42.0f);
    EXPECT_TRUE(t.GetChildBool("flag"));
    EXPECT_FALSE(t.GetChildBool("absent"));
    EXPECT_EQ(t.GetChildKUID("kuid"), KUID(1, 2, 3));
    EXPECT_TRUE(t.GetChildKUID("count").IsNull());

    EXPECT_TRUE(t.GetChildContainer("box").IsContainer());
    EXPECT_EQ(t.GetChildContainer("box").GetChildInt("x"), 1);
    EXPECT_EQ(t.GetChildContainer("pos").Get(), nullptr);
    EXPECT_EQ(t.GetChildContainerAt(8).GetChildInt("x"), 1);
    EXPECT_EQ(t.GetChildContainerAt(0).Get(), nullptr);

    std::vector<float> cam;
    EXPECT_FALSE(TDBTagRef::GetCameraFloats(t, cam));
    t.SetChildString("camera", "1.5, 2,x,3");
    EXPECT_TRUE(TDBTagRef::GetCameraFloats(t, cam));
    EXPECT_EQ(cam, (std::vector<float>{1.5f, 2.0f, 3.0f}));
    EXPECT_FALSE(TDBTagRef::GetCameraFloats(TDBTagRef(), cam));
}

TEST(SoupTree, CountingCloneAndCycles)
{
    TDBTagRef root = TDBTagRef::NewContainer();
    TDBTagRef child = root.CreateChildContainer("child");
    child.SetChildInt("v", 1);
    EXPECT_EQ(child->RefCount(), 2);  // the root's and ours

    TDBTagRef copy = root.Clone();
    child.SetChildInt("v", 2);
    EXPECT_EQ(copy.GetChildContainer("child").GetChildInt("v"), 1);
    EXPECT_EQ(root.GetChildContainer("child").GetChildInt("v"), 2);

    // A tree may not contain itself.
    EXPECT_FALSE(child.SetChildTag("loop", root));
    EXPECT_FALSE(root.AddChildTag("self", root));
    EXPECT_TRUE(root.SetChildTag("shared", child));
    EXPECT_EQ(root.GetChildContainer("shared").Get(), child.Get());
    // Replacing a child by itself keeps it alive.
    EXPECT_TRUE(root.SetChildTag("shared", child));
    EXPECT_EQ(root.GetChildContainer("shared").GetChildInt("v"), 2);

    // Setters on an empty handle make a container; on a data tag they refuse.
    TDBTagRef nul = TDBTagRef::Null();
    EXPECT_TRUE(nul.IsNull());
    EXPECT_TRUE(nul.SetChildInt("a", 1));
    EXPECT_TRUE(nul.IsContainer());
    EXPECT_TRUE(TDBTagRef::Null().IsNull());  // the shared null tag itself is untouched
    TDBTagRef data = root.GetChild("shared").GetChild("v");
    EXPECT_FALSE(data.SetChildInt("a", 1));
    ACSRawDataCore d;
    d.SetInt(1);
    EXPECT_FALSE(TDBTagRef::Null()->SetData(d));
}

TEST(SoupTree, SettingAChildByItsOwnNameKeepsTheName)
{
    // Callers walk a container and overwrite each child under the name the container hands out; that
    // name belongs to the child being replaced.
    TDBTagRef t;
    t.SetChildInt("a", 1);
    t.SetChildInt("b", 2);
    t.SetChildInt("c", 3);
    // Each pass replaces the first child, which moves to the end: a, b, c come round in order again.
    for (int i = 0; i < 3; ++i) t.SetChildInt(t.GetChildName(0), 10 + i);
    ASSERT_EQ(t.GetChildCount(), 3u);
    EXPECT_EQ(t.GetChildName(0), Orvo::PString("a"));
    EXPECT_EQ(t.GetChildName(1), Orvo::PString("b"));
    EXPECT_EQ(t.GetChildName(2), Orvo::PString("c"));
    EXPECT_EQ(t.GetChildInt("a"), 10);
    EXPECT_EQ(t.GetChildInt("c"), 12);

    TDBTagRef box = TDBTagRef::NewContainer();
    EXPECT_TRUE(t.SetChildTag(t.GetChildName(0), box));
    EXPECT_EQ(t.GetChildContainer("a").Get(), box.Get());
    EXPECT_EQ(t->CountChildren("b"), 1u);
}
