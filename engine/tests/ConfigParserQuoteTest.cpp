// Text after a string's closing quote: a quote is missing or was not escaped, so the line is refused with its
// file and line instead of being read with the rest dropped.
#include "engine/ConfigParser.h"

#include <gtest/gtest.h>

using Orvo::ConfigParser;

TEST(ConfigParserQuotes, TextAfterTheClosingQuoteIsASyntaxError)
{
    const std::pair<const char*, int> bad[] = {
        {"kuid <kuid:1:2>\nusername \"Big \"Red\" Loco\"\n", 2},
        {"a 1\ndescription \"one\ntwo\" three\n", 3},
        {"box {\n  mesh \"a.im\";\n}\n", 2},
        {"\"quoted name\" \"value\" x\n", 1},
    };
    for (const auto& [text, line] : bad)
    {
        ConfigParser p;
        EXPECT_EQ(p.ParseText(text, "quotes.txt"), ConfigParser::BadSyntax) << text;
        EXPECT_EQ(p.GetErrorLine(), line) << text;
        EXPECT_NE(p.GetError().find("'quotes.txt' line " + std::to_string(line) + ": text after the closing quote"),
                  std::string::npos)
            << p.GetError();
    }
    // What may follow a closing quote: blanks, the line's end, "{" or "}".
    for (const char* good : {"name \"v\"  \r\nnext 1\n", "a {\n b \"x\" }\n", "mesh \"front\" {\n n 1\n}\n",
                             "name \"v\"\t", "name \"v\"\n{\n}\n"})
    {
        ConfigParser p;
        EXPECT_EQ(p.ParseText(good, "quotes.txt"), ConfigParser::Ok) << good << p.GetError();
    }
}
