// Both file forms: round trips of hand-made trees, hand-made byte fixtures and the refusals.
#include "core/ConfigFile.h"
#include "core/SoupBinary.h"
#include "core/SoupText.h"
#include "core/TBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TDBTagRef MakeTree()
{
    TDBTagRef t;
    t.SetChildKUID("kuid", KUID(123, 456, 2));
    t.SetChildString("username", "Big \"Red\" Loco");
    t.SetChildString("path", "C:\\Program Files\\Velmar\\");
    t.SetChildString("multi", "line one\nline two");
    t.SetChildString("empty", "");
    t.SetChildString("numeric-text", "12");
    t.SetChildFloat("whole", 3.0f);
    t.SetChildFloats("pos", std::vector<float>{1.5f, -2.25f, 1e-7f, 3e20f});
    t.SetChildInts("ints", {1, -2, 2147483647});
    t.SetChildKUIDs("list", {KUID(1, 2, 0), KUID(-5, 3, 127), KUID::Null()});
    t.SetChildNull("nothing");
    TDBTagRef box = t.CreateChildContainer("mesh-table");
    TDBTagRef def = box.CreateChildContainer("default");
    def.SetChildString("mesh", "body.im");
    def.SetChildInt("auto-create", 1);
    box.CreateChildContainer("empty box");
    t.SetChildFloat("Default", 2.5f);  // same letters as a name below, other case
    return t;
}

// Every child in order: same names, same types, same values.
void ExpectSameTree(const TDBTagRef& a, const TDBTagRef& b)
{
    ASSERT_EQ(a.GetChildCount(), b.GetChildCount());
    for (size_t i = 0; i < a.GetChildCount(); ++i)
    {
        SCOPED_TRACE(a.GetChildName(i).str());
        EXPECT_EQ(a.GetChildName(i), b.GetChildName(i));
        ASSERT_EQ(a.GetChildTypeAt(i), b.GetChildTypeAt(i));
        if (a.GetChildTypeAt(i) == kACSContainer)
            ExpectSameTree(a.GetChildAt(i), b.GetChildAt(i));
        else
            EXPECT_TRUE(*a.GetChildAt(i).GetData() == *b.GetChildAt(i).GetData());
    }
}

std::string Text(const TDBTagRef& t)
{
    std::string s;
    WriteSoupText(t, s);
    return s;
}

}  // namespace

TEST(SoupText, PrintsTheDocumentedForm)
{
    TDBTagRef t;
    t.SetChildFloats("pos", std::vector<float>{1, 2, 3});
    t.SetChildFloat("whole", 3.0f);
    t.SetChildInts("ints", {1, 2, 3});
    t.SetChildString("path", "C:\\a\\b");
    t.SetChildKUID("kuid", KUID(1, 2, 0));
    t.CreateChildContainer("box").SetChildInt("x", 1);
    t.SetChildNull("null tag");
    EXPECT_EQ(Text(t), "pos\t1.0,2.0,3.0\n"
                       "whole\t3.0\n"
                       "ints\t1,2,3\n"
                       "path\t\"C:\\\\a\\\\b\"\n"
                       "kuid\t<kuid:1:2>\n"
                       "box\n{\n\tx\t1\n}\n"
                       "\"null tag\"\n");
    // The value text of a float array has no forced decimal point.
    EXPECT_EQ(t.GetChildString("pos"), "1,2,3");
}

TEST(SoupText, TypesRawValues)
{
    // Integers beyond 32 bits never lose digits: a float only when it holds them exactly.
    const std::pair<const char*, int> cases[] = {
        {"a 1,2,3", kACSInteger},     {"b 1.5, 2", kACSFloat},  {"c <kuid:1:2>,<KUID2:3:4:5>", kACSKUID},
        {"d 1,abc", kACSString},      {"e \"12\"", kACSString}, {"f 99999999999", kACSString},
        {"g 4294967296", kACSFloat},  {"h -7", kACSInteger},    {"i", kACSNull},
        {"j <kuid:1:x>", kACSString}, {"k 1e5", kACSFloat},     {"l nan", kACSString},
        {"m 1,,2", kACSString},
    };
    std::string text;
    for (const auto& [line, type] : cases) text += std::string(line) + "\n";
    TDBTagRef t;
    ASSERT_TRUE(ReadSoupText(text, "typing.txt", t));
    for (const auto& [line, type] : cases) EXPECT_EQ(t.GetChildType(std::string(line, 1).c_str()), type) << line;
    EXPECT_EQ(t.GetChild("a").GetData()->GetCount(), 3u);
    EXPECT_EQ(t.GetChild("c").GetData()->GetKUID(1), KUID(3, 4, 5));
    EXPECT_EQ(t.GetChildString("d"), "1,abc");
    EXPECT_EQ(t.GetChildInt("h"), -7);
}

TEST(SoupText, TextToTreeToTextStableAfterOnePass)
{
    const char* src = "\xEF\xBB\xBFkuid   <KUID2:1:2:3>\r\n"
                      "username \"Windows C:\\dir\\file.txt\"\r\n"
                      "scale 3\n"
                      "f 1.50, 2\n"
                      "; old comment\n"
                      "mesh-table {\n"
                      "  default\n"
                      "  {\n"
                      "    mesh \"a.im\"\n"
                      "  }\n"
                      "}\n"
                      "\"quoted name\" x\n";
    TDBTagRef t;
    ASSERT_TRUE(ReadSoupText(src, "src.txt", t));
    EXPECT_EQ(t.GetChildString("username"), "Windows C:\\dir\\file.txt");
    EXPECT_EQ(t.GetChildType("; old comment"), 0);  // only ";" is the name, "old comment" its value
    EXPECT_EQ(t.GetChildString(";"), "old comment");
    std::string once = Text(t);
    TDBTagRef again;
    ASSERT_TRUE(ReadSoupText(once, "once.txt", again));
    EXPECT_EQ(Text(again), once);
    ExpectSameTree(t, again);
}

TEST(SoupText, SyntaxErrorsFail)
{
    for (const char* bad : {"a {\n b 1\n", "a \"open string\n", "}\n", "a 1\n}\n"})
    {
        TDBTagRef t = TDBTagRef::NewContainer();
        EXPECT_FALSE(ReadSoupText(bad, "bad.txt", t)) << bad;
        EXPECT_EQ(t.Get(), nullptr);
    }
}

TEST(SoupText, NamesWithLineBreaksAreNotWrittenAsText)
{
    // Names come from binary files too; one holding a line break would read back as tags of its own.
    for (const char* name : {"a\nkuid\t<kuid:9:9>\nb", "cr\rname"})
    {
        TDBTagRef t;
        t.CreateChildContainer("outer").SetChildInt(name, 1);
        t.SetChildKUID("kuid", KUID(1, 2, 0));
        std::string text;
        EXPECT_FALSE(WriteSoupText(t, text)) << name;

        std::string bytes;
        EXPECT_FALSE(SerializeConfigData(t, ConfigFileForm::kText, bytes));
        EXPECT_TRUE(bytes.empty());
        ASSERT_TRUE(SerializeConfigData(t, ConfigFileForm::kBinary, bytes));
        TDBTagRef back;
        ASSERT_EQ(ParseConfigData(back, bytes, ConfigFileForm::kBinary, "x.chump"), ConfigFileResult::kOK);
        EXPECT_EQ(back.GetChildContainer("outer").GetChildInt(name), 1);
    }
    TDBTagRef plain;
    plain.SetChildInt("tab\tand space", 1);
    std::string text;
    EXPECT_TRUE(WriteSoupText(plain, text));
}

TEST(SoupBinary, RoundTripKeepsEveryType)
{
    TDBTagRef t = MakeTree();
    t.SetChildBinary("blob", "\0\1\2\xFF", 4);
    std::string bytes;
    ASSERT_TRUE(WriteSoupBinary(t, bytes));
    TDBTagRef back;
    ASSERT_EQ(ReadSoupBinary(bytes.data(), bytes.size(), back), SoupBinaryResult::kOK);
    ExpectSameTree(t, back);
    EXPECT_EQ(back.GetChild("blob").GetData()->GetByteSize(), 4u);
    // Binary and text forms agree on everything the text form can hold (a path ending in a backslash
    // included): what goes through text writes the very same binary file.
    TDBTagRef viaText;
    t.RemoveChild("blob");
    ASSERT_TRUE(ReadSoupText(Text(t), "t.txt", viaText));
    std::string again;
    ASSERT_TRUE(WriteSoupBinary(viaText, again));
    std::string direct;
    ASSERT_TRUE(WriteSoupBinary(t, direct));
    EXPECT_EQ(again, direct);
}

namespace {
struct Bytes
{
    std::string s;
    Bytes& u8(uint8_t v) { return s.push_back(static_cast<char>(v)), *this; }
    Bytes& u16(uint16_t v) { return s.append(reinterpret_cast<char*>(&v), 2), *this; }
    Bytes& u32(uint32_t v) { return s.append(reinterpret_cast<char*>(&v), 4), *this; }
    Bytes& f32(float v) { return s.append(reinterpret_cast<char*>(&v), 4), *this; }
    Bytes& str(std::string_view t) { return s.append(t), *this; }
    // Header with a body size that matches what follows.
    static std::string File(const std::string& body, uint32_t version = 1)
    {
        Bytes h;
        h.str("ACS$").u32(version).u32(0).u32(static_cast<uint32_t>(body.size()));
        return h.s + body;
    }
};
}  // namespace

TEST(SoupBinary, HandMadeFixtureLoads)
{
    Bytes body;
    body.u32(2 + 5 + 1 + 8).u16(5).str("scale").u8(3).f32(1.0f).f32(2.5f);            // float array
    body.u32(2 + 4 + 1 + 4).u16(4).str("name").u8(4).str("Loco");                     // string
    body.u32(2 + 4 + 1 + 8).u16(4).str("kuid").u8(7).u32(456).u32((2u << 25) | 123);  // KUID
    Bytes inner;
    inner.u32(2 + 1 + 1 + 4).u16(1).str("x").u8(6).u32(static_cast<uint32_t>(-3));  // integer
    inner.u32(2 + 1 + 1).u16(1).str("n").u8(0);                                     // null
    body.u32(static_cast<uint32_t>(2 + 3 + 1 + inner.s.size())).u16(3).str("box").u8(1).str(inner.s);
    body.u32(2 + 0 + 1 + 3).u16(0).u8(2).str("abc");  // binary, empty name
    std::string file = Bytes::File(body.s);

    TDBTagRef t;
    ASSERT_EQ(ReadSoupBinary(file.data(), file.size(), t), SoupBinaryResult::kOK);
    EXPECT_EQ(t.GetChildString("scale"), "1,2.5");
    EXPECT_EQ(t.GetChildString("name"), "Loco");
    EXPECT_EQ(t.GetChildKUID("kuid"), KUID(123, 456, 2));
    EXPECT_EQ(t.GetChildContainer("box").GetChildInt("x"), -3);
    EXPECT_EQ(t.GetChildContainer("box").GetChildType("n"), kACSNull);
    EXPECT_EQ(t.GetChildTypeAt(4), kACSBinary);
    // And our writer makes the very same bytes.
    std::string written;
    ASSERT_TRUE(WriteSoupBinary(t, written));
    EXPECT_EQ(written, file);
}

TEST(SoupBinary, RefusesBadFilesWithDistinctReasons)
{
    Bytes body;
    body.u32(2 + 1 + 1 + 4).u16(1).str("a").u8(6).u32(1);
    std::string good = Bytes::File(body.s);
    TDBTagRef t;
    ASSERT_EQ(ReadSoupBinary(good.data(), good.size(), t), SoupBinaryResult::kOK);

    auto result = [&](const std::string& f) {
        TDBTagRef out = TDBTagRef::NewContainer();
        SoupBinaryResult r = ReadSoupBinary(f.data(), f.size(), out);
        if (r != SoupBinaryResult::kOK)
        {
            EXPECT_EQ(out.Get(), nullptr);
        }
        return r;
    };
    EXPECT_EQ(result("hello world, not a soup"), SoupBinaryResult::kNotValid);
    EXPECT_EQ(result(""), SoupBinaryResult::kNotValid);
    EXPECT_EQ(result(Bytes::File(body.s, 2)), SoupBinaryResult::kNewerVersion);
    EXPECT_EQ(result(good.substr(0, good.size() - 1)), SoupBinaryResult::kDamaged);  // truncated
    EXPECT_EQ(result(good + "x"), SoupBinaryResult::kDamaged);                       // over-long
    EXPECT_EQ(result(good.substr(0, 10)), SoupBinaryResult::kDamaged);

    // Sizes that do not nest: a child that runs past its container.
    Bytes inner;
    inner.u32(2 + 1 + 1 + 4).u16(1).str("x").u8(6).u32(1);
    Bytes wrong;
    wrong.u32(static_cast<uint32_t>(2 + 1 + 1 + inner.s.size() - 2)).u16(1).str("c").u8(1).str(inner.s);
    EXPECT_EQ(result(Bytes::File(wrong.s)), SoupBinaryResult::kDamaged);
    // A payload that is not a whole multiple, an unknown type, a name longer than its chunk, a null
    // with a payload.
    Bytes odd, unknown, longName, nullPayload;
    odd.u32(2 + 1 + 1 + 3).u16(1).str("f").u8(3).str("abc");
    unknown.u32(2 + 1 + 1).u16(1).str("u").u8(5);
    longName.u32(2 + 1 + 1).u16(200).str("n").u8(4);
    nullPayload.u32(2 + 1 + 1 + 1).u16(1).str("n").u8(0).u8(0);
    for (const Bytes* bad : {&odd, &unknown, &longName, &nullPayload})
        EXPECT_EQ(result(Bytes::File(bad->s)), SoupBinaryResult::kDamaged);
}

TEST(SoupForms, DepthLimitOfBothForms)
{
    auto nested = [](int depth) {
        TDBTagRef root = TDBTagRef::NewContainer();
        TDBTagRef at = root;
        for (int i = 0; i < depth; ++i) at = at.CreateChildContainer("c");
        at.SetChildInt("leaf", 1);
        return root;
    };
    std::string ok, tooDeep;
    ASSERT_TRUE(WriteSoupBinary(nested(kMaxSoupDepth), ok));
    TDBTagRef t;
    EXPECT_EQ(ReadSoupBinary(ok.data(), ok.size(), t), SoupBinaryResult::kOK);
    EXPECT_FALSE(WriteSoupBinary(nested(kMaxSoupDepth + 1), tooDeep));
    EXPECT_TRUE(tooDeep.empty());

    // A hand-made file one level deeper than allowed.
    std::string chunk;
    for (int i = 0; i <= kMaxSoupDepth; ++i)
    {
        Bytes b;
        b.u32(static_cast<uint32_t>(2 + 1 + 1 + chunk.size())).u16(1).str("c").u8(1).str(chunk);
        chunk = b.s;
    }
    std::string deep = Bytes::File(chunk);
    EXPECT_EQ(ReadSoupBinary(deep.data(), deep.size(), t), SoupBinaryResult::kDamaged);

    // The text form has the same limit: what it reads, the binary form writes.
    auto nestedText = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i) s += "c\n{\n";
        s += "leaf 1\n";
        for (int i = 0; i < depth; ++i) s += "}\n";
        return s;
    };
    ASSERT_TRUE(ReadSoupText(nestedText(kMaxSoupDepth), "deep.txt", t));
    std::string bytes;
    EXPECT_TRUE(WriteSoupBinary(t, bytes));
    EXPECT_FALSE(ReadSoupText(nestedText(kMaxSoupDepth + 1), "deeper.txt", t));
}

TEST(SoupBinary, ReadsFromAStreamWithoutTrustingTheSize)
{
    TDBTagRef t;
    t.SetChildInt("a", 1);
    std::string file;
    ASSERT_TRUE(WriteSoupBinary(t, file));
    TBuffer b;
    b.WriteUInt32(static_cast<uint32_t>(file.size()));
    b.Write(file.data(), file.size());
    b.Seek(0);
    uint32_t size = b.ReadUInt32();
    TDBTagRef back;
    ASSERT_EQ(ReadSoupBinary(b, size, back), SoupBinaryResult::kOK);
    EXPECT_EQ(back.GetChildInt("a"), 1);

    b.Seek(4);
    EXPECT_EQ(ReadSoupBinary(b, 0xFFFFFFF0u, back), SoupBinaryResult::kDamaged);
    TBuffer foreign("hello", 5);
    EXPECT_EQ(ReadSoupBinary(foreign, 1000, back), SoupBinaryResult::kNotValid);
}
