#pragma once
// Tokens of the script language's lexical level, as the scanner hands them on.
#include <cstdint>
#include <string_view>

enum class GSTokenKind : uint8_t
{
    End = 0,
    Identifier = 1,
    Number = 2,
    String = 3,    // text between the quotes, escapes left as written
    Operator = 4,  // every punctuation token except the brackets
    Include = 5,   // the word "include"
    OpenParen = 6,
    CloseParen = 7,
    OpenBracket = 8,
    CloseBracket = 9,
    OpenBrace = 10,
    CloseBrace = 11,
    Error = 255,  // a lexical error; the scanner's message says what
};

// Highest kind that may appear in a library's token stream.
constexpr uint8_t kGSLastTokenKind = 11;

struct GSToken
{
    GSTokenKind kind = GSTokenKind::End;
    uint32_t line = 0;
    std::string_view text;  // points into the source text the scanner was given
};

const char* GSTokenKindName(GSTokenKind kind);
