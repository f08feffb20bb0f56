// The text form gives back the tree it was written from: trees that once came back changed, and generated
// trees taken through binary -> text -> binary.
#include "core/SoupBinary.h"
#include "core/SoupText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

namespace {

std::string Binary(const TDBTagRef& t)
{
    std::string bytes;
    EXPECT_TRUE(WriteSoupBinary(t, bytes));
    return bytes;
}

// The tree written as text (into `text`) and read back, in the binary form (byte for byte comparable).
std::string ThroughText(const TDBTagRef& t, std::string& text)
{
    text.clear();
    EXPECT_TRUE(WriteSoupText(t, text));
    TDBTagRef back;
    EXPECT_TRUE(ReadSoupText(text, "roundtrip.txt", back)) << text;
    return back.Get() ? Binary(back) : std::string();
}

float FloatOfBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

TEST(SoupTextRoundTrip, TreesThatOnceCameBackChanged)
{
    const float inf = FloatOfBits(0x7f800000);
    const std::pair<const char*, std::function<void(TDBTagRef&)>> cases[] = {
        {"empty arrays",
         [](TDBTagRef& t) {
             t.SetChildInts("ints", {});
             t.SetChildFloats("floats", std::vector<float>{});
             t.SetChildKUIDs("kuids", {});
             t.SetChildNull("null");
         }},
        {"non-finite floats",
         [&](TDBTagRef& t) {
             t.SetChildFloat("nan", std::nanf(""));
             t.SetChildFloats("mixed", std::vector<float>{1.5f, inf, -inf, -std::nanf(""), -0.0f});
             t.SetChildFloat("payload", FloatOfBits(0x7fa00001));  // a signalling NaN keeps its bits
         }},
        {"CR before LF in strings",
         [](TDBTagRef& t) {
             t.SetChildString("crlf", "one\r\ntwo\r\r\nthree\r");
             t.CreateChildContainer("box").SetChildString("s", "\r\n");
         }},
        {"byte-order mark at the start of the first name",
         [](TDBTagRef& t) {
             t.SetChildInt("\xEF\xBB\xBF"
                           "first",
                           1);
             t.SetChildString("\xEF\xBB\xBF", "x");
         }},
    };
    for (const auto& [what, build] : cases)
    {
        SCOPED_TRACE(what);
        TDBTagRef t;
        build(t);
        std::string text, again;
        EXPECT_EQ(ThroughText(t, text), Binary(t)) << text;
        TDBTagRef back;
        ASSERT_TRUE(ReadSoupText(text, "again.txt", back));
        WriteSoupText(back, again);
        EXPECT_EQ(again, text);  // and the text is stable after one pass
    }
}

namespace {

// Random trees of every type that has a text form (binary data has none: it prints as hex digits). Names and
// strings are made of the pieces the text form treats specially; floats of any bits.
void Fill(TDBTagRef& box, std::mt19937& rng, int depth)
{
    static const char* const pieces[] = {
        "a", "Z", "0", "7",    " ", "\t", "\"", "\\",           "{",        "}",   ",",   ";", "//", "-", ".",
        "e", "#", "<", "kuid", ">", "\r", "\n", "\xEF\xBB\xBF", "\xC3\xA9", "nan", "inf", "[]"};
    auto below = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    auto text = [&](size_t maxPieces, bool name) {
        std::string s;
        for (size_t n = below(maxPieces + 1); n > 0; --n)
        {
            std::string_view p = pieces[below(std::size(pieces))];
            if (!name || p.find_first_of("\r\n") == std::string_view::npos) s.append(p);  // names: never writable
        }
        return s;
    };
    for (size_t n = below(6); n > 0; --n)
    {
        const std::string name = text(3, true);
        const size_t count = below(4);
        ACSRawDataCore d;
        std::vector<float> floats;
        std::vector<int32_t> ints;
        std::vector<KUID> kuids;
        for (size_t k = 0; k < count; ++k)
        {
            const uint32_t bits = below(3) ? static_cast<uint32_t>(rng()) : (0x7f800000u | (rng() & 0x80000000u));
            floats.push_back(below(2) ? FloatOfBits(bits) : static_cast<float>(static_cast<int32_t>(rng())) / 7);
            ints.push_back(static_cast<int32_t>(rng()));
            kuids.push_back(below(5) ? KUID::FromStreamWords(static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng()))
                                     : KUID::Null());
        }
        switch (below(depth < 3 ? 7 : 6))
        {
        case 0: break;  // null
        case 1: d.SetFloats(floats.data(), count); break;
        case 2: d.SetInts(ints.data(), count); break;
        case 3: d.SetKUIDs(kuids.data(), count); break;
        case 4:
        case 5: d.SetString(text(6, false)); break;
        default:
        {
            TDBTagRef sub = box.CreateChildContainer(name.c_str());
            Fill(sub, rng, depth + 1);
            continue;
        }
        }
        box.AddChildTag(name.c_str(), TDBTagRef::NewData(d));
    }
}

}  // namespace

TEST(SoupTextRoundTrip, GeneratedTreesBinaryToTextToBinary)
{
    for (uint32_t seed = 1; seed <= 1000; ++seed)
    {
        std::mt19937 rng(seed);
        TDBTagRef tree = TDBTagRef::NewContainer();
        Fill(tree, rng, 0);
        const std::string bytes = Binary(tree);
        TDBTagRef fromBinary;
        ASSERT_EQ(ReadSoupBinary(bytes.data(), bytes.size(), fromBinary), SoupBinaryResult::kOK);
        std::string text;
        ASSERT_EQ(ThroughText(fromBinary, text), bytes) << "seed " << seed << ":\n" << text;
    }
}
