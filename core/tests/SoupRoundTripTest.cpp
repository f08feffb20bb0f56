// The text form gives back the tree it was written from: hand-picked trees that once came back changed, and
// generated trees taken through binary -> text -> binary.
#include "core/SoupBinary.h"
#include "core/SoupText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

namespace {

std::string Binary(const TDBTagRef& t)
{
    std::string bytes;
    EXPECT_TRUE(WriteSoupBinary(t, bytes));
    return bytes;
}

// The tree written as text and read back, in the binary form (byte for byte comparable).
std::string ThroughText(const TDBTagRef& t, std::string* textOut = nullptr)
{
    std::string text;
    EXPECT_TRUE(WriteSoupText(t, text));
    if (textOut) *textOut = text;
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

const std::string kBom = "\xEF\xBB\xBF";

}  // namespace

TEST(SoupTextRoundTrip, TreesThatOnceCameBackChanged)
{
    const float inf = std::numeric_limits<float>::infinity();
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
             t.SetChildInt(kBom + "first", 1);
             t.SetChildString(kBom, "x");
         }},
    };
    for (const auto& [what, build] : cases)
    {
        SCOPED_TRACE(what);
        TDBTagRef t;
        build(t);
        std::string text;
        EXPECT_EQ(ThroughText(t, &text), Binary(t)) << text;
        // And the text itself is stable after one pass.
        TDBTagRef back;
        ASSERT_TRUE(ReadSoupText(text, "again.txt", back));
        std::string again;
        WriteSoupText(back, again);
        EXPECT_EQ(again, text);
    }
}

namespace {

// Random trees of every type that has a text form (binary data has none: it prints as a string of hex
// digits). Names and strings favour the characters the text form treats specially.
class TreeMaker
{
public:
    explicit TreeMaker(uint32_t seed) : rng_(seed) {}

    TDBTagRef Make()
    {
        TDBTagRef t = TDBTagRef::NewContainer();
        Fill(t, 0);
        return t;
    }

private:
    size_t Below(size_t n) { return static_cast<size_t>(rng_() % n); }

    std::string Text(size_t maxLen, bool name)
    {
        static const char* const pieces[] = {
            "a", "Z", "0", "7",    " ", "\t", "\"", "\\",           "{",        "}",   ",",   ";", "//", "-", ".",
            "e", "#", "<", "kuid", ">", "\r", "\n", "\xEF\xBB\xBF", "\xC3\xA9", "nan", "inf", "[]"};
        std::string s;
        const size_t n = Below(maxLen + 1);
        for (size_t i = 0; i < n; ++i)
        {
            std::string_view p = pieces[Below(std::size(pieces))];
            if (name && p.find_first_of("\r\n") != std::string_view::npos) continue;  // never writable
            s.append(p);
        }
        return s;
    }

    float Float()
    {
        switch (Below(4))
        {
        case 0: return FloatOfBits(static_cast<uint32_t>(rng_()));  // any bits: NaNs, denormals, -0
        case 1: return static_cast<float>(static_cast<int32_t>(rng_() % 2001) - 1000);
        case 2: return FloatOfBits(0x7f800000u | (Below(2) ? 0x80000000u : 0u));  // +-inf
        default: return static_cast<float>(static_cast<int32_t>(rng_())) / 7.0f;
        }
    }

    void Fill(TDBTagRef& box, int depth)
    {
        const size_t n = Below(6);
        for (size_t i = 0; i < n; ++i)
        {
            const std::string name = Text(3, true);
            const size_t count = Below(4);
            ACSRawDataCore d;
            switch (Below(depth < 3 ? 7 : 6))
            {
            case 0: break;  // null
            case 1:
            {
                std::vector<float> v;
                for (size_t k = 0; k < count; ++k) v.push_back(Float());
                d.SetFloats(v.data(), v.size());
                break;
            }
            case 2:
            {
                std::vector<int32_t> v;
                for (size_t k = 0; k < count; ++k) v.push_back(static_cast<int32_t>(rng_()));
                d.SetInts(v.data(), v.size());
                break;
            }
            case 3:
            {
                std::vector<KUID> v;
                for (size_t k = 0; k < count; ++k)
                    v.push_back(
                        Below(5) ? KUID::FromStreamWords(static_cast<uint32_t>(rng_()), static_cast<uint32_t>(rng_()))
                                 : KUID::Null());
                d.SetKUIDs(v.data(), v.size());
                break;
            }
            case 4:
            case 5: d.SetString(Text(6, false)); break;
            default:
            {
                TDBTagRef sub = box.CreateChildContainer(name.c_str());
                Fill(sub, depth + 1);
                continue;
            }
            }
            box.AddChildTag(name.c_str(), TDBTagRef::NewData(d));
        }
    }

    std::mt19937 rng_;
};

}  // namespace

TEST(SoupTextRoundTrip, GeneratedTreesBinaryToTextToBinary)
{
    for (uint32_t seed = 1; seed <= 1000; ++seed)
    {
        const std::string bytes = Binary(TreeMaker(seed).Make());
        TDBTagRef fromBinary;
        ASSERT_EQ(ReadSoupBinary(bytes.data(), bytes.size(), fromBinary), SoupBinaryResult::kOK);
        std::string text;
        const std::string again = ThroughText(fromBinary, &text);
        ASSERT_EQ(again, bytes) << "seed " << seed << ":\n" << text;
    }
}
