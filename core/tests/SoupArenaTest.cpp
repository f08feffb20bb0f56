// Trees read from text live in one arena: their nodes must still behave as nodes of their own (held, changed
// and released one by one, on any thread), and the arena must go exactly when its last node goes.
#include "core/SoupArena.h"
#include "core/SoupText.h"
#include "core/TDBContainerTag.h"
#include "core/TDBDataTag.h"
#include "core/TDBTagRef.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const char* kText = "kuid <kuid2:523:1000:2>\n"
                    "username \"A name that is longer than sixteen bytes\"\n"
                    "short \"abc\"\n"
                    "numbers 1,2,3,4,5,6,7,8\n"
                    "mesh-table\n{\n  default\n  {\n    mesh \"body/lod0.im\"\n    scale 1.5\n  }\n}\n";

TDBTagRef Read(const std::string& text)
{
    TDBTagRef t;
    EXPECT_TRUE(ReadSoupText(text, "test", t));
    return t;
}

}  // namespace

TEST(SoupArena, PartsOfATreeOutliveItAndTheArenaGoesWithTheLast)
{
    const size_t before = SoupArena::LiveArenas();
    TDBTagRef inner, name;
    {
        TDBTagRef tree = Read(kText);
        ASSERT_TRUE(tree.IsContainer());
        EXPECT_NE(tree->Arena(), nullptr);
        EXPECT_EQ(SoupArena::LiveArenas(), before + 1);
        inner = tree.GetChildContainer("mesh-table").GetChildContainer("default");
        name = tree.GetChild("username");
    }
    // The root has gone; what is still held reads as before.
    EXPECT_EQ(SoupArena::LiveArenas(), before + 1);
    EXPECT_EQ(inner.GetChildString("mesh"), "body/lod0.im");
    EXPECT_FLOAT_EQ(inner.GetChildFloat("scale"), 1.5f);
    EXPECT_EQ(name.GetString(), "A name that is longer than sixteen bytes");
    inner.Release();
    EXPECT_EQ(SoupArena::LiveArenas(), before + 1);
    name.Release();
    EXPECT_EQ(SoupArena::LiveArenas(), before);

    // A text that fails to parse leaves no arena behind, and neither does an empty one.
    TDBTagRef bad;
    EXPECT_FALSE(ReadSoupText("a {\n b 1\n c \"open\n", "test", bad));
    EXPECT_TRUE(bad.IsNull());
    TDBTagRef empty = Read("");
    EXPECT_EQ(empty.GetChildCount(), 0u);
    empty.Release();
    EXPECT_EQ(SoupArena::LiveArenas(), before);
}

TEST(SoupArena, NodesOfATreeChangeLikeAnyOther)
{
    TDBTagRef tree = Read(kText);
    TDBTagRef copy = tree.Clone();  // nodes of their own
    EXPECT_EQ(copy->Arena(), nullptr);
    EXPECT_EQ(tree.ToText(), copy.ToText());

    // Values replaced: a long string over a long one held in the arena, a short one, numbers over text.
    const std::string longer(300, 'x');
    for (TDBTagRef* t : {&tree, &copy})
    {
        ASSERT_TRUE(t->SetChildString("username", longer));
        ASSERT_TRUE(t->SetChildString("short", "a text well past sixteen bytes"));
        ASSERT_TRUE(t->SetChildInts("numbers", {9}));
        // Children added past the list made in the arena, one removed, one renamed.
        TDBTagRef mesh = t->GetChildContainer("mesh-table");
        for (int i = 0; i < 20; ++i) mesh.SetChildInt("n" + std::to_string(i), i);
        mesh.RemoveChild("default");
        ASSERT_TRUE(mesh.GetContainer()->RenameChildAt(0, "first"));
        t->RemoveChild("kuid");
    }
    EXPECT_EQ(tree.ToText(), copy.ToText());
    EXPECT_EQ(tree.GetChildString("username").View(), longer);
    EXPECT_EQ(tree.GetChildContainer("mesh-table").GetChildCount(), 20u);
    EXPECT_EQ(tree.GetChildContainer("mesh-table").GetChildInt("first"), 0);

    // A node of the tree moved into another tree stays valid after its own tree has gone.
    TDBTagRef other = TDBTagRef::NewContainer();
    other.SetChildTag("moved", tree.GetChildContainer("mesh-table"));
    tree.Release();
    EXPECT_EQ(other.GetChildContainer("moved").GetChildInt("n19"), 19);
    other.RemoveChild("moved");
    EXPECT_EQ(other.GetChildCount(), 0u);
}

TEST(SoupArena, ValuesCopyWhatTheyBorrowAndKeepWhatTheyOwn)
{
    TDBTagRef tree = Read(kText);
    const ACSRawDataCore* borrowed = tree.GetChild("username").GetData();
    ASSERT_NE(borrowed, nullptr);

    // Copies and moves of a value in the arena get bytes of their own; the original is untouched.
    ACSRawDataCore copy = *borrowed;
    ACSRawDataCore moved = std::move(const_cast<ACSRawDataCore&>(*borrowed));
    tree.Release();
    EXPECT_EQ(copy.GetString(), "A name that is longer than sixteen bytes");
    EXPECT_EQ(moved.GetString(), copy.GetString());
    EXPECT_TRUE(copy == moved);

    // Owned, in-place and empty values through copy, move and self-assignment.
    ACSRawDataCore big, small, none;
    const std::vector<int32_t> many{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    big.SetInts(many.data(), many.size());
    small.SetKUID(KUID(523, 1000, 2));
    ACSRawDataCore big2 = big;
    ACSRawDataCore taken = std::move(big2);
    EXPECT_EQ(taken.GetInts(), many);
    EXPECT_TRUE(big2.IsNull());
    big = static_cast<const ACSRawDataCore&>(big);
    EXPECT_EQ(big.GetInts(), many);
    small = std::move(big);
    EXPECT_EQ(small.GetInts(), many);
    EXPECT_EQ(small.GetType(), kACSInteger);
    none = small;
    EXPECT_TRUE(none == small);
    EXPECT_FALSE(none == ACSRawDataCore());

    // A value set from its own bytes, long and short.
    ACSRawDataCore text;
    text.SetString("a string that is certainly longer than the place inside");
    text.SetString(text.GetString().substr(2, 30));
    EXPECT_EQ(text.GetString(), "string that is certainly longe");
    text.SetString(text.GetString().substr(7, 4));
    EXPECT_EQ(text.GetString(), "that");
    text.SetBinary(text.GetBytes(), text.GetByteSize());
    EXPECT_EQ(text.GetType(), kACSBinary);
    EXPECT_EQ(text.GetString(), "that");
}

TEST(SoupArena, PartsReleasedOnManyThreads)
{
    const size_t before = SoupArena::LiveArenas();
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "item-" + std::to_string(i) + " {\n value " + std::to_string(i) +
                "\n name \"a name longer than sixteen bytes, number " + std::to_string(i) + "\"\n}\n";
    for (int round = 0; round < 5; ++round)
    {
        std::vector<TDBTagRef> parts;
        {
            TDBTagRef tree = Read(text);
            for (size_t i = 0; i < tree.GetChildCount(); ++i) parts.push_back(tree.GetChildAt(i));
        }
        std::vector<std::thread> threads;
        std::vector<int> sums(8, 0);
        for (size_t t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                for (size_t i = t; i < parts.size(); i += 8)
                {
                    sums[t] += parts[i].GetChildInt("value");
                    parts[i].Release();
                }
            });
        for (auto& th : threads) th.join();
        int total = 0;
        for (int s : sums) total += s;
        EXPECT_EQ(total, 1999 * 2000 / 2);
        EXPECT_EQ(SoupArena::LiveArenas(), before);
    }
}
