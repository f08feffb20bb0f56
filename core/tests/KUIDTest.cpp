#include "core/KUID.h"

#include "core/TBuffer.h"
#include "engine/PString.h"

#include <gtest/gtest.h>

#include <set>

TEST(KUID, TextFormsStrictAndLenient)
{
    const KUID none = KUID::Null();
    struct Case
    {
        const char* text;
        bool lenient, strict;  // accepted by each
        KUID want;             // what the lenient parse gives; refused text gives the null KUID
    } cases[] = {
        {"<kuid:12:34>", true, true, KUID(12, 34, 0)},
        {"<kuid2:12:34:5>", true, true, KUID(12, 34, 5)},
        {"kuid 12 34", true, true, KUID(12, 34, 0)},
        {"kuid2 12 34 5", true, true, KUID(12, 34, 5)},
        {"12:34", true, true, KUID(12, 34, 0)},
        {"12:34:5", true, true, KUID(12, 34, 5)},
        {"<KUID2:1:2:3>", true, true, KUID(1, 2, 3)},
        {"KUID2 1 2 3", true, true, KUID(1, 2, 3)},
        {"  <kuid:-3:100>  ", true, true, KUID(-3, 100, 127)},  // negative user ids take version 127
        {"<kuid:-1:-1>", true, true, none},
        {"NULLKUID", true, true, none},
        {"nullkuid", true, true, none},
        {"<kuid:16777215:1>", true, true, KUID(16777215, 1, 0)},  // the widest user ids the stream form holds
        {"<kuid:-16777216:1>", true, true, KUID(-16777216, 1, 127)},
        {"<kuid:1:2", true, false, KUID(1, 2, 0)},
        {"<kuid: 1 : 2 >", true, false, KUID(1, 2, 0)},
        // Lenient reading ignores what follows the numbers; strict reading takes the text whole.
        {"12:34z", true, false, KUID(12, 34, 0)},
        {"<kuid:523:870101>x", true, false, KUID(523, 870101, 0)},
        {"<kuid:910700:1x0>", true, false, KUID(910700, 1, 0)},
        {"<kuid2:1:2:3:4>", true, false, KUID(1, 2, 3)},
        {"kuid 1 2 3", true, false, KUID(1, 2, 0)},
        {"NULLKUID x", true, false, none},
        {"kuid2 1 2", false, false, none},
        {"<kuid:1:x>", false, false, none},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        KUID k(5, 5, 5);
        EXPECT_EQ(k.ParseText(c.text, false), c.lenient);
        EXPECT_EQ(k, c.want);
        k = KUID(5, 5, 5);
        EXPECT_EQ(k.ParseText(c.text, true), c.strict);
        EXPECT_EQ(k, c.strict ? c.want : none);
    }
    for (const char* t :
         {"", "   ", "hello", "<kuid>", "<kuid:1>", "kuid", "kuid 1", "1", "<kuid2:1:2:128>", "<kuid:99999999999:1>",
          "kuid21 2 3", "<foo:1:2>", "<kuid:16777216:1>", "-16777217:5",
          // A digit run too long for its field is out of range, not the end of the KUID.
          "<kuid:900001:100:99999999999>", "<kuid2:1:2:2147483648>", "12:34:-99999999999", "<kuid:1:2: 99999999999>"})
    {
        KUID k(1, 2, 3);
        EXPECT_FALSE(k.ParseText(t, false)) << t;
        EXPECT_TRUE(k.IsNull()) << t;
    }
    KUID k(1, 2, 3);
    EXPECT_FALSE(k.ParseText(static_cast<const char*>(nullptr), false));
    EXPECT_TRUE(k.IsNull());
    // A zero byte anywhere, even where the text before it is a whole KUID.
    for (std::string_view t :
         {std::string_view("<kuid:910700:1\0"
                           "0>",
                           17),
          std::string_view("<kuid:1:2>\0", 11), std::string_view("\0<kuid:1:2>", 11), std::string_view("1:2 \0", 5)})
    {
        k = KUID(1, 2, 3);
        EXPECT_FALSE(k.ParseText(t, false));
        EXPECT_TRUE(k.IsNull());
        EXPECT_FALSE(k.ParseText(t, true));
    }
}

TEST(KUID, PrintsAndParsesBack)
{
    const KUID kuids[] = {KUID(12, 34, 0), KUID(12, 34, 5),        KUID(-3, 100, 127), KUID(-3, 100, 0),
                          KUID(0, 0, 0),   KUID(16777215, 7, 127), KUID::Null(),       KUID(-16777216, -5, 1)};
    for (const KUID& k : kuids)
    {
        EXPECT_EQ(KUID::FromText(k.ToString(), true), k) << k.ToString();
        EXPECT_EQ(KUID::FromText(k.ToSpacedString(), true), k) << k.ToSpacedString();
    }
    EXPECT_EQ(KUID(12, 34, 0).ToString(), "<kuid:12:34>");
    EXPECT_EQ(KUID(12, 34, 5).ToString(), "<kuid2:12:34:5>");
    EXPECT_EQ(KUID(-3, 100, 127).ToString(), "<kuid:-3:100>");
    EXPECT_EQ(KUID(-3, 100, 0).ToString(), "<kuid2:-3:100:0>");
    EXPECT_EQ(KUID(123, 456, 0).ToSpacedString(), "kuid 123 456");
    EXPECT_EQ(KUID(123, 456, 2).ToSpacedString(), "kuid2 123 456 2");
    EXPECT_EQ(KUID::Null().ToString(), "NULLKUID");
    EXPECT_EQ(KUID::Null().ToSpacedString(), "NULLKUID");
    // The interned forms are pooled: the same KUID gives the same node.
    EXPECT_EQ(KUID::ToText(KUID(1, 2, 3)), KUID::ToText(KUID(1, 2, 3)));
    EXPECT_EQ(KUID::ToText(KUID(1, 2, 3)), "<kuid2:1:2:3>");
    EXPECT_EQ(KUID::ToSpacedText(KUID::Null()), "NULLKUID");
}

TEST(KUID, StreamFormWithSignExtensionAndNull)
{
    TBuffer b;
    b.WriteKUID(KUID(-5, 77, 3));
    b.WriteKUID(KUID::Null());
    b.WriteKUID(KUID(0x00FFFFFF, 1, 127));
    ASSERT_EQ(b.Size(), 24u);
    const uint32_t* w = reinterpret_cast<const uint32_t*>(b.Data());
    EXPECT_EQ(w[0], 77u);
    EXPECT_EQ(w[1], (3u << 25) | (0xFFFFFFFBu & 0x1FFFFFFu));
    EXPECT_EQ(w[2], 0xFFFFFFFFu);
    EXPECT_EQ(w[3], 0xFFFFFFFFu);

    b.Seek(0);
    EXPECT_EQ(b.ReadKUID(), KUID(-5, 77, 3));
    EXPECT_TRUE(b.ReadKUID().IsNull());
    EXPECT_EQ(b.ReadKUID(), KUID(0x00FFFFFF, 1, 127));
    EXPECT_FALSE(b.HasError());
    // A short read yields the default.
    EXPECT_TRUE(b.ReadKUID().IsNull());
    EXPECT_EQ(b.GetError(), kStreamShortRead);
}

TEST(KUID, OrderingIsUnsignedAndHashingSeparates)
{
    std::set<KUID> s{KUID(-1, 0, 0), KUID(5, 2, 0), KUID(5, 1, 3), KUID(5, 1, 0), KUID(0, 0, 0)};
    // 0xFFFFFFFF sorts last.
    EXPECT_EQ(std::vector<KUID>(s.begin(), s.end()),
              (std::vector<KUID>{KUID(0, 0, 0), KUID(5, 1, 0), KUID(5, 1, 3), KUID(5, 2, 0), KUID(-1, 0, 0)}));
    EXPECT_NE(KUID(1, 2, 3).Hash(), KUID(1, 2, 4).Hash());
    EXPECT_NE(KUID(1, 2, 3).Hash(), KUID(2, 1, 3).Hash());
}
