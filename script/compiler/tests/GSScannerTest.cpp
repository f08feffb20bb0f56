#include "script/compiler/GSScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Lexed
{
    GSTokenKind kind;
    uint32_t line;
    std::string text;  // the error message for Error tokens
};

std::vector<Lexed> LexAll(std::string_view src)
{
    GSScanner s(src);
    std::vector<Lexed> out;
    for (int guard = 0; guard < 1000000; ++guard)
    {
        GSToken t = s.Next();
        if (t.kind == GSTokenKind::End) break;
        out.push_back({t.kind, t.line, t.kind == GSTokenKind::Error ? s.ErrorMessage() : std::string(t.text)});
    }
    return out;
}

}  // namespace

TEST(GSScanner, TokensTextsAndLines)
{
    auto toks = LexAll("include \"util.gs\"\n"
                       "class Foo { int x = 0x1F; float y = 1.5e-3 + .5; }\n"
                       "// a line comment ( [\n"
                       "a->b :: c <= d; \"q\\\"s\" /* spans\n two lines */ e\n");
    std::vector<std::pair<GSTokenKind, std::string>> want = {
        {GSTokenKind::Include, "include"}, {GSTokenKind::String, "util.gs"},   {GSTokenKind::Identifier, "class"},
        {GSTokenKind::Identifier, "Foo"},  {GSTokenKind::OpenBrace, "{"},      {GSTokenKind::Identifier, "int"},
        {GSTokenKind::Identifier, "x"},    {GSTokenKind::Operator, "="},       {GSTokenKind::Number, "0x1F"},
        {GSTokenKind::Operator, ";"},      {GSTokenKind::Identifier, "float"}, {GSTokenKind::Identifier, "y"},
        {GSTokenKind::Operator, "="},      {GSTokenKind::Number, "1.5e-3"},    {GSTokenKind::Operator, "+"},
        {GSTokenKind::Number, ".5"},       {GSTokenKind::Operator, ";"},       {GSTokenKind::CloseBrace, "}"},
        {GSTokenKind::Identifier, "a"},    {GSTokenKind::Operator, "->"},      {GSTokenKind::Identifier, "b"},
        {GSTokenKind::Operator, "::"},     {GSTokenKind::Identifier, "c"},     {GSTokenKind::Operator, "<="},
        {GSTokenKind::Identifier, "d"},    {GSTokenKind::Operator, ";"},       {GSTokenKind::String, "q\\\"s"},
        {GSTokenKind::Identifier, "e"},
    };
    ASSERT_EQ(toks.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
    {
        EXPECT_EQ(toks[i].kind, want[i].first) << i;
        EXPECT_EQ(toks[i].text, want[i].second) << i;
    }
    EXPECT_EQ(toks[0].line, 1u);
    EXPECT_EQ(toks[2].line, 2u);
    EXPECT_EQ(toks[18].line, 4u);
    EXPECT_EQ(toks.back().line, 5u);  // after the two-line comment
    // "includes" is an identifier, not the keyword.
    EXPECT_EQ(LexAll("includes")[0].kind, GSTokenKind::Identifier);
}

TEST(GSScanner, LexicalErrorsAreReportedAndScanningGoesOn)
{
    auto toks = LexAll("a \"open\nb 12ab c\n\x01 d \xC3\xA9 e ' f\n/* never\nclosed");
    std::vector<std::string> errors, idents;  // errors as "line: message"
    for (const Lexed& t : toks)
    {
        if (t.kind == GSTokenKind::Error)
            errors.push_back(std::to_string(t.line) + ": " + t.text);
        else
            idents.push_back(t.text);
    }
    EXPECT_EQ(idents, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
    EXPECT_EQ(errors,
              (std::vector<std::string>{
                  "1: unterminated string", "2: malformed number", "3: unexpected byte 0x01",
                  "3: bytes outside ASCII are allowed only in strings and comments", "3: unexpected character '''",
                  "4: unterminated block comment",  // where the comment opened
              }));
}

TEST(GSScanner, LengthLimitsAndEmbeddedNul)
{
    std::string longId(GSScanner::kMaxIdentifierLength + 1, 'x');
    auto toks = LexAll(longId + " ok");
    ASSERT_EQ(toks.size(), 2u);
    EXPECT_EQ(toks[0].kind, GSTokenKind::Error);
    EXPECT_EQ(toks[1].text, "ok");
    EXPECT_EQ(LexAll(std::string(GSScanner::kMaxIdentifierLength, 'x'))[0].kind, GSTokenKind::Identifier);

    std::string bigString = "\"" + std::string(GSScanner::kMaxStringLength + 1, 's') + "\"";
    EXPECT_EQ(LexAll(bigString)[0].text, "string longer than 65535 bytes");

    // A NUL byte is an error outside strings and is kept inside them.
    std::string withNul("a \0 b \"x\0y\"", 11);
    toks = LexAll(withNul);
    ASSERT_EQ(toks.size(), 4u);
    EXPECT_EQ(toks[1].text, "unexpected byte 0x00");
    EXPECT_EQ(toks[3].text, std::string("x\0y", 3));
}

TEST(GSScanner, TextLargerThanTheScannerBuffer)
{
    // Tokens that straddle flex's buffer refills keep their offsets into the source.
    std::string src;
    for (int i = 0; i < 60000; ++i) src += "name" + std::to_string(i) + " ";
    auto toks = LexAll(src);
    ASSERT_EQ(toks.size(), 60000u);
    EXPECT_EQ(toks[59999].text, "name59999");
    EXPECT_EQ(toks[31234].text, "name31234");
}
