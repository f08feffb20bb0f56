#include "engine/String.h"
#include "engine/AnsiString.h"
#include "engine/PString.h"

#include <gtest/gtest.h>

using Orvo::AnsiString;
using Orvo::String;

TEST(String, FormatAppendAndSearch)
{
    String s = String::Format("%s:%d:%.2f", "kuid", -3, 1.5);
    EXPECT_EQ(s, "kuid:-3:1.50");
    std::string longText(1000, 'x');
    EXPECT_EQ(String::Format("%s!", longText.c_str()).Length(), 1001u);  // beyond the small buffer
    s.AppendFormat("<%u>", 7u);
    s += "end";
    EXPECT_EQ(s, "kuid:-3:1.50<7>end");
    EXPECT_EQ(s.Find(":"), 4);
    EXPECT_EQ(s.Find(":", 5), 7);
    EXPECT_EQ(s.Find("zz"), -1);
    EXPECT_EQ(s.FindNoCase("KUID"), 0);
    EXPECT_EQ(s.ReverseFind(':'), 7);
    EXPECT_TRUE(s.EndsWithNoCase("END"));
    EXPECT_EQ(String(Orvo::PString("interned")), "interned");
}

TEST(String, ReplaceCaseTrimAndCompare)
{
    String s("$(A) and $(A)");
    EXPECT_EQ(s.Replace("$(A)", "$(A)$(A)"), 2);  // searches on after each inserted text
    EXPECT_EQ(s, "$(A)$(A) and $(A)$(A)");
    String t("abc");
    EXPECT_FALSE(t.ReplaceFirst("x", "y"));
    EXPECT_TRUE(t.ReplaceFirst("b", ""));
    EXPECT_EQ(t, "ac");
    EXPECT_EQ(String("  Mixed Case \r\n").Trim().Lower(), "mixed case");
    EXPECT_EQ(String("abcdef").Substr(2, 2), "cd");
    EXPECT_EQ(String("abcdef").Substr(10), "");
    EXPECT_EQ(String("abcdef").Right(2), "ef");
    EXPECT_EQ(String("ABC").CompareNoCase("abd"), -1);
    EXPECT_TRUE(String("Velmar").EqualsNoCase("VELMAR"));
    EXPECT_EQ(String("b").Compare("a"), 1);
}

TEST(AnsiString, TokenAndCompareWith)
{
    AnsiString text("Velmar; DXTC;;etc1");
    size_t pos = 0;
    AnsiString tok;
    std::vector<std::string> tokens;
    while (text.Token(";", pos, tok)) tokens.push_back(tok.str());
    EXPECT_EQ(tokens, (std::vector<std::string>{"Velmar", " DXTC", "", "etc1"}));
    pos = 0;
    EXPECT_TRUE(AnsiString("a;").Token(";", pos, tok));
    EXPECT_FALSE(AnsiString("a;").Token(";", pos, tok));  // a trailing separator adds nothing
    EXPECT_EQ(AnsiString("Name").CompareWith("Name"), AnsiString::Equal);
    EXPECT_EQ(AnsiString("Name").CompareWith("name"), AnsiString::Less);
    EXPECT_EQ(AnsiString("Name").CompareWith("name", false), AnsiString::Equal);
    EXPECT_EQ(AnsiString::Format("%03d", 7), "007");
}
