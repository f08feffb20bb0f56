#include "core/ACSConverter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
ACSRawDataCore Raw(std::string_view text)
{
    ACSRawDataCore d;
    ACSConverter::FromRawText(text, d);
    return d;
}
std::string Text(const ACSRawDataCore& d)
{
    std::string s;
    EXPECT_TRUE(ACSConverter::ToText(d, s));
    return s;
}
}  // namespace

TEST(ACSConverter, ValueToText)
{
    EXPECT_EQ(Text(Raw("1.0, 2.0, 3.0")), "1,2,3");
    EXPECT_EQ(Text(Raw("0.1,-2.5e-3")), "0.1,-0.0025");
    EXPECT_EQ(Text(Raw("+5, -6")), "5,-6");
    EXPECT_EQ(Text(Raw("<kuid:1:2>, NULLKUID")), "<kuid:1:2>,NULLKUID");
    ACSRawDataCore bin;
    bin.SetBinary("ab", 2);
    std::string s;
    EXPECT_FALSE(ACSConverter::ToText(bin, s));
    EXPECT_FALSE(ACSConverter::ToText(ACSRawDataCore(), s));

    // Printing for files forces a decimal point on whole floats; the shortest text reads back exactly.
    for (float f : {3.0f, 0.1f, 1e-7f, 3e20f, -0.0f, 16777216.0f, 1.17549435e-38f})
    {
        std::string t;
        ACSConverter::AppendFloat(t, f, true);
        EXPECT_NE(t.find_first_of(".e"), std::string::npos) << t;
        ACSRawDataCore back = Raw(t);
        ASSERT_EQ(back.GetType(), kACSFloat) << t;
        EXPECT_EQ(back.GetFloat(0), f) << t;
        EXPECT_EQ(std::signbit(back.GetFloat(0)), std::signbit(f)) << t;
    }
}

TEST(ACSConverter, TextToTypedValue)
{
    auto expectType = [](std::initializer_list<const char*> texts, int type) {
        for (const char* t : texts) EXPECT_EQ(Raw(t).GetType(), type) << t;
    };
    expectType({""}, kACSNull);
    expectType({"7", "-2147483648"}, kACSInteger);
    // Integers beyond 32 bits never lose digits: a float only when it holds them exactly.
    expectType({"2147483648", "1,2.5", ".5", "5."}, kACSFloat);
    expectType(
        {"123456789012", "1e99", "1e", "e5", "-", ".", "0x10", "1 2", "inf", "1,", ",1", "<kuid:1:2>,3", "<kuid:1>"},
        kACSString);
    expectType({"NULLKUID", "<kuid:1:2>,<KUID2:3:4:5>"}, kACSKUID);
    EXPECT_EQ(Raw("2147483647").GetInt(0), 2147483647);
    EXPECT_EQ(Raw("-2147483648").GetInt(0), -2147483647 - 1);
    ACSRawDataCore k = Raw("<kuid:1:2>,<KUID2:3:4:5>");
    EXPECT_EQ(k.GetCount(), 2u);
    EXPECT_EQ(k.GetKUID(1), KUID(3, 4, 5));
}

// Lists whose items change form part way: the earlier items are read again in the later form.
TEST(ACSConverter, ListsOfMixedNumberForms)
{
    struct Row
    {
        const char* text;
        int type;
        const char* back;
    };
    const Row rows[] = {
        {"1, -0, 2", kACSInteger, "1,0,2"},
        {"-0, 1, 2.5", kACSFloat, "-0,1,2.5"},
        {"-0,#nan", kACSFloat, "-0,#nan"},
        {"3,2147483648", kACSFloat, "3,2147483648"},
        {"3,123456789012", kACSString, "3,123456789012"},
        {"1.5,123456789012", kACSFloat, "1.5,123456790528"},
        {"1,2,4e38", kACSString, "1,2,4e38"},
        {"1,#inf,x", kACSString, "1,#inf,x"},
        {"<kuid:1:2>,NULLKUID,<kuid:1>", kACSString, "<kuid:1:2>,NULLKUID,<kuid:1>"},
    };
    for (const Row& r : rows)
    {
        ACSRawDataCore d = Raw(r.text);
        EXPECT_EQ(d.GetType(), r.type) << r.text;
        EXPECT_EQ(Text(d), r.back) << r.text;
    }
}

TEST(ACSConverter, ConversionsBetweenTypes)
{
    int32_t i = 0;
    float f = 0;
    bool b = false;
    KUID k;
    ACSRawDataCore s;
    s.SetString(" 3.75 ");
    EXPECT_TRUE(ACSConverter::ToInt(s, i));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(ACSConverter::ToFloat(s, f));
    EXPECT_EQ(f, 3.75f);
    s.SetString("Yes");
    EXPECT_TRUE(ACSConverter::ToBool(s, b));
    EXPECT_TRUE(b);
    s.SetString("off");
    EXPECT_TRUE(ACSConverter::ToBool(s, b));
    EXPECT_FALSE(b);
    s.SetString("maybe");
    EXPECT_FALSE(ACSConverter::ToBool(s, b));
    s.SetString("kuid2 1 2 3");
    EXPECT_TRUE(ACSConverter::ToKUID(s, k));
    EXPECT_EQ(k, KUID(1, 2, 3));

    ACSRawDataCore big;
    big.SetFloat(1e20f);
    EXPECT_TRUE(ACSConverter::ToInt(big, i));
    EXPECT_EQ(i, 2147483647);  // clamped, never undefined
    big.SetFloat(NAN);
    EXPECT_TRUE(ACSConverter::ToInt(big, i));
    EXPECT_EQ(i, 0);

    ACSRawDataCore empty;
    empty.SetFloats(nullptr, 0);
    EXPECT_FALSE(ACSConverter::ToFloat(empty, f));
    EXPECT_FALSE(ACSConverter::ToInt(empty, i));
}
