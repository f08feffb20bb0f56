#include "script/compiler/GSSourceCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The errors of checking `src` as "t.gs", one printed line each.
std::vector<std::string> Errors(const std::string& src, GSSourceCheckResult* out = nullptr)
{
    GSDiagnostics diag;
    GSSourceCheckResult r = CheckGSSource("t.gs", src, diag);
    EXPECT_EQ(r.ok, diag.Count() == 0);
    if (out) *out = std::move(r);
    return diag.Lines();
}

}  // namespace

TEST(GSSourceCheck, BalancedSourceWithIncludes)
{
    GSSourceCheckResult r;
    EXPECT_TRUE(Errors("include \"a.gs\"\ninclude \"dir/b.gs\"\n"
                       "class X { void f(int[] a) { a[0] = (1 + 2); } };\n",
                       &r)
                    .empty());
    ASSERT_EQ(r.includes.size(), 2u);
    EXPECT_EQ(r.includes[0].name, "a.gs");
    EXPECT_EQ(r.includes[1].name, "dir/b.gs");
    EXPECT_EQ(r.includes[1].line, 2u);
    EXPECT_EQ(r.tokens.size(), 30u);
    EXPECT_TRUE(Errors("").empty());
}

TEST(GSSourceCheck, BracketErrorsNameFileAndLine)
{
    EXPECT_EQ(Errors("class X\n{\n  void f() {\n  }\n"), std::vector<std::string>{"t.gs(2) : '{' is never closed"});
    EXPECT_EQ(Errors("a;\n}\n"), std::vector<std::string>{"t.gs(2) : '}' has no matching opening bracket"});
    EXPECT_EQ(Errors("f(a[1)];\n"), std::vector<std::string>{"t.gs(1) : ')' does not close '[' opened at line 1"});
    // The structural check stops at the first structural error.
    EXPECT_EQ(Errors(")\n)\n").size(), 1u);
}

TEST(GSSourceCheck, IncludeForms)
{
    EXPECT_EQ(Errors("include foo\n"), std::vector<std::string>{"t.gs(1) : include expects a quoted file name"});
    EXPECT_EQ(Errors("x\ninclude\n"), std::vector<std::string>{"t.gs(2) : include expects a quoted file name"});
    EXPECT_EQ(Errors("{\n include \"a.gs\" }"),
              std::vector<std::string>{"t.gs(2) : include is allowed only outside brackets"});
}

TEST(GSSourceCheck, LexicalErrorsAreAllCountedBesideStructure)
{
    auto errs = Errors("a 9z\nb $ {\n");
    ASSERT_EQ(errs.size(), 3u);
    EXPECT_EQ(errs[0], "t.gs(1) : malformed number");
    EXPECT_EQ(errs[1], "t.gs(2) : unexpected character '$'");
    EXPECT_EQ(errs[2], "t.gs(2) : '{' is never closed");
}

TEST(GSSourceCheck, NestingDepthIsBounded)
{
    std::string ok(kGSMaxBracketDepth, '(');
    ok += std::string(kGSMaxBracketDepth, ')');
    EXPECT_TRUE(Errors(ok).empty());

    // Far deeper than the parser's own stack would allow: one clear error, no crash.
    std::string deep(100000, '{');
    auto errs = Errors(deep);
    ASSERT_EQ(errs.size(), 1u);
    EXPECT_EQ(errs[0], "t.gs(1) : brackets nested deeper than 256 levels");
}

TEST(GSSourceCheck, ArbitraryInputNeverBreaksTheChecker)
{
    // Fixed seed: the same few thousand inputs every run, built from the characters that matter most.
    using namespace std::string_literals;
    const std::string alphabet = "(){}[]\"\\/*\n include a.gs 0x9e.'\0\xff;"s;
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int i = 0; i < 3000; ++i)
    {
        std::string src;
        size_t len = next() % 64;
        for (size_t j = 0; j < len; ++j) src.push_back(alphabet[next() % alphabet.size()]);
        GSDiagnostics diag;
        GSSourceCheckResult r = CheckGSSource("t.gs", src, diag);
        ASSERT_EQ(r.ok, diag.Count() == 0) << src;
        for (const GSToken& t : r.tokens)
        {
            // Every token is a view into the checked text.
            ASSERT_GE(t.text.data(), src.data());
            ASSERT_LE(t.text.data() + t.text.size(), src.data() + src.size());
        }
    }
}
