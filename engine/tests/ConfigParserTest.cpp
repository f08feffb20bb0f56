#include "engine/ConfigParser.h"
#include "engine/File.h"
#include "engine/Log.h"
#include "engine/Options.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using Orvo::ConfigData;
using Orvo::ConfigParser;

namespace {

const ConfigData& Root(ConfigParser& p, std::string_view text)
{
    static ConfigData empty;
    EXPECT_EQ(p.ParseText(text, "test.txt"), ConfigParser::Ok) << p.GetError();
    return p.GetRoot() ? *p.GetRoot() : empty;
}

}  // namespace

TEST(ConfigParser, ItemsOfEveryKind)
{
    ConfigParser p;
    const ConfigData& r = Root(p, "kuid <kuid:1:2>\n"
                                  "  username   \"Loco \\\"Big\\\" One\"  \n"
                                  "\tlist 1, 2 ,3  \n"
                                  "obsolete-table\n"
                                  "mesh-table {\n"
                                  "  default {\n"
                                  "    mesh \"body.im\"\n"
                                  "  }\n"
                                  "}\n"
                                  "\"quoted name\" 4\n"
                                  "\" lone\n"
                                  "; comment-like text\n"
                                  "empty \"\"\n"
                                  "path \"C:\\Program Files\\Velmar\\bin\\x.exe\"\n"
                                  "escaped \"a\\\\b\"\n"
                                  "description \"line one\n"
                                  "line two with } and {\n"
                                  "end\"\n"
                                  "next 1\n");
    ASSERT_EQ(r.children.size(), 13u);
    EXPECT_EQ(r.children[0].name, "kuid");
    EXPECT_EQ(r.children[0].kind, ConfigData::Raw);
    EXPECT_EQ(r.children[0].value, "<kuid:1:2>");
    EXPECT_EQ(r.children[1].kind, ConfigData::QuotedString);
    EXPECT_EQ(r.children[1].value, "Loco \"Big\" One");
    EXPECT_EQ(r.children[2].value, "1, 2 ,3");
    EXPECT_EQ(r.children[3].kind, ConfigData::Null);
    EXPECT_EQ(r.children[3].line, 4);
    const ConfigData& table = r.children[4];
    EXPECT_TRUE(table.IsContainer());
    ASSERT_NE(table.Find("DEFAULT"), nullptr);
    EXPECT_EQ(table.Find("default")->Find("mesh")->value, "body.im");
    EXPECT_EQ(table.Find("default")->Find("mesh")->line, 7);
    EXPECT_EQ(r.children[5].name, "quoted name");
    EXPECT_EQ(r.children[5].value, "4");
    EXPECT_EQ(r.children[6].name, "\"");  // a lone quote is a name
    EXPECT_EQ(r.children[6].value, "lone");
    EXPECT_EQ(r.children[7].name, ";");  // no comment syntax
    EXPECT_EQ(r.children[7].value, "comment-like text");
    EXPECT_EQ(r.children[8].kind, ConfigData::QuotedString);
    EXPECT_EQ(r.children[8].value, "");
    // A backslash escapes only a quote or a backslash; a string may span lines and hold brackets.
    EXPECT_EQ(r.children[9].value, "C:\\Program Files\\Velmar\\bin\\x.exe");
    EXPECT_EQ(r.children[10].value, "a\\b");
    EXPECT_EQ(r.children[11].value, "line one\nline two with } and {\nend");
    EXPECT_EQ(r.children[12].name, "next");
    EXPECT_EQ(r.children[12].line, 19);
}

TEST(ConfigParser, BraceOnTheNextLineBomAndCrLf)
{
    ConfigParser p;
    const ConfigData& r = Root(p, "\xEF\xBB\xBFouter\r\n\r\n  {\r\n  inner 1.5\r\n  leaf\r\n}\r\nafter \"a\r\nb\"\r\n");
    ASSERT_EQ(r.children.size(), 2u);
    EXPECT_EQ(r.children[0].name, "outer");  // no BOM bytes in the name
    EXPECT_TRUE(r.children[0].IsContainer());
    ASSERT_EQ(r.children[0].children.size(), 2u);
    EXPECT_EQ(r.children[0].children[0].value, "1.5");  // no CR left on raw values
    EXPECT_DOUBLE_EQ(r.children[0].children[0].GetNumber(), 1.5);
    EXPECT_EQ(r.children[0].children[1].kind, ConfigData::Null);
    EXPECT_EQ(r.children[1].value, "a\nb");  // CR LF inside a string is a plain line end
    EXPECT_EQ(r.children[1].line, 7);

    // A string closed right before a "}" on the same line still closes the container.
    const ConfigData& r2 = Root(p, "a {\n b \"x\" }\nc 1\n");
    ASSERT_EQ(r2.children.size(), 2u);
    EXPECT_EQ(r2.children[0].Find("b")->value, "x");
    // What else may follow a closing quote: blanks, the line's end, the end of the text, "{".
    for (const char* good : {"name \"v\"  \r\nnext 1\n", "name \"v\"\t", "name \"v\"\n{\n}\n"})
        EXPECT_EQ(p.ParseText(good, "quotes.txt"), ConfigParser::Ok) << good << p.GetError();
}

TEST(ConfigParser, EscapesAndLineEndsAnywhereInAString)
{
    // Texts without an escape are taken as they stand, others are rebuilt: both give the same values.
    struct Case
    {
        const char* text;
        const char* name;
        const char* value;
    } cases[] = {
        {"v \"plain\"\n", "v", "plain"},
        {"v \"\\\"a\"\n", "v", "\"a"},
        {"v \"a\\\"\"\n", "v", "a\""},
        {"v \"\\\\\\\\\"\n", "v", "\\\\"},
        {"v \"a\r\nb\\\"c\"\n", "v", "a\nb\"c"},
        {"v \"a\\\"b\r\nc\"\n", "v", "a\"b\nc"},
        {"\"n\\\"m\" \"x\\\"y\"\n", "n\"m", "x\"y"},
        {"\"n m\" \"x y\" {\n}\n", "n m", "x y"},
    };
    for (const Case& c : cases)
    {
        ConfigParser p;
        const ConfigData& r = Root(p, std::string(c.text) + "after \"a\\\"b\"\n");
        ASSERT_EQ(r.children.size(), 2u) << c.text;
        EXPECT_EQ(r.children[0].name, c.name) << c.text;
        EXPECT_EQ(r.children[0].value, c.value) << c.text;
        EXPECT_EQ(r.children[1].value, "a\"b") << c.text;
    }
}

TEST(ConfigParser, FailuresNameTheirLine)
{
    struct Case
    {
        const char* text;
        int line;
        const char* what;
    } cases[] = {
        {"a 1\nb \"never closed\nmore\n", 2, "string not closed"},
        {"a 1\nbox {\n  inner {\n  }\n", 2, "'{' not closed"},
        {"a 1\n}\n", 2, "'}' without"},
        {"a {\n}\n}\n", 3, "'}' without"},
        {"box\n{\n x \"y\n", 3, "string not closed"},
        // Text after a closing quote: a quote is missing or was not escaped.
        {"kuid <kuid:1:2>\nusername \"Big \"Red\" Loco\"\n", 2, "line 2: text after the closing quote"},
        {"a 1\ndescription \"one\ntwo\" three\n", 3, "line 3: text after the closing quote"},
        {"box {\n  mesh \"a.im\";\n}\n", 2, "line 2: text after the closing quote"},
        {"\"quoted name\" \"value\" x\n", 1, "line 1: text after the closing quote"},
    };
    for (const Case& c : cases)
    {
        ConfigParser p;
        EXPECT_EQ(p.ParseText(c.text, "broken.txt"), ConfigParser::BadSyntax) << c.text;
        EXPECT_EQ(p.GetRoot(), nullptr);
        EXPECT_EQ(p.GetErrorLine(), c.line) << c.text;
        EXPECT_NE(p.GetError().find(c.what), std::string::npos) << p.GetError();
        EXPECT_NE(p.GetError().find("broken.txt"), std::string::npos);
    }
    ConfigParser keyed;
    keyed.SetResourceKey("builtin:lod.lm.txt");
    keyed.ParseText("}", "ignored");
    EXPECT_NE(keyed.GetError().find("builtin:lod.lm.txt"), std::string::npos);

    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "a {\n";
    ConfigParser p;
    EXPECT_EQ(p.ParseText(deep), ConfigParser::BadSyntax);
    EXPECT_NE(p.GetError().find("deeply"), std::string::npos);
}

TEST(ConfigParser, FailureWritesOneLogLine)
{
    ScratchFolder dir;
    ASSERT_TRUE(dir.IsValid());
    std::string log = dir / "log.txt";
    std::ofstream(dir / "Bad.txt") << "x {\n";
    Orvo::Log::Init(Orvo::Options("-LogFile=" + log));
    ConfigParser p;
    EXPECT_EQ(p.Parse(dir / "bad.txt"), ConfigParser::BadSyntax);  // found without regard to case
    EXPECT_EQ(p.Parse(dir / "missing.txt"), ConfigParser::CannotRead);
    Orvo::Log::Shutdown();
    std::ifstream in(log);
    std::string line1, line2, line3;
    std::getline(in, line1);
    std::getline(in, line2);
    EXPECT_FALSE(std::getline(in, line3));
    EXPECT_EQ(line1.rfind("ConfigParser::Parse> ", 0), 0u);
    EXPECT_NE(line1.find("bad.txt' line 1"), std::string::npos) << line1;
    EXPECT_NE(line2.find("missing.txt"), std::string::npos);
}

TEST(ConfigParser, AFilePastTheConfigurationBoundIsRefusedUnread)
{
    ScratchFolder dir;
    ASSERT_TRUE(dir.IsValid());
    std::ofstream(dir / "big.lm.txt") << "";
    std::filesystem::resize_file(dir / "big.lm.txt", Orvo::kMaxConfigFileBytes + 1);  // sparse: never read
    ConfigParser p;
    EXPECT_EQ(p.Parse(dir / "big.lm.txt"), ConfigParser::CannotRead);
    EXPECT_NE(p.GetError().find("big.lm.txt': larger than 32 MiB (33554432 bytes)"), std::string::npos) << p.GetError();
}

TEST(ConfigParser, VersionAndQuotingHelpers)
{
    ConfigParser p;
    Root(p, "version 1.00\nmesh 10\n{\nname \"a.im\"\n}\n");
    EXPECT_EQ(static_cast<int>(p.GetVersion() * 100), 100);
    ASSERT_NE(p.GetRoot(), nullptr);
    ASSERT_EQ(p.GetRoot()->CountOf("MESH"), 1u);
    const ConfigData* mesh = p.GetRoot()->Find("mesh");
    EXPECT_TRUE(mesh->IsContainer());  // a value and children
    EXPECT_EQ(mesh->value, "10");
    EXPECT_EQ(mesh->Find("name")->value, "a.im");

    Root(p, "mesh \"front\" {\n name \"f.im\"\n}\nmesh \"back\"\n");
    ASSERT_EQ(p.GetRoot()->children.size(), 2u);
    EXPECT_TRUE(p.GetRoot()->children[0].IsContainer());
    EXPECT_TRUE(p.GetRoot()->children[0].quotedValue);
    EXPECT_EQ(p.GetRoot()->children[0].value, "front");
    EXPECT_EQ(p.GetRoot()->children[1].value, "back");
    Root(p, "mesh 1\n");
    EXPECT_EQ(p.GetVersion(), 0.0);

    EXPECT_EQ(Orvo::QuoteConfigString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    // Whatever the writer quotes, the reader gives back.
    const std::string names[] = {"plain", "two words", "\"", "{brace", "}", "", "tab\there"};
    for (const std::string& n : names)
    {
        std::string text;
        Orvo::AppendConfigName(text, n);
        text += "\t";
        Orvo::AppendQuotedConfigString(text, "C:\\dir\\\"x\"\n2nd");
        text += "\n";
        const ConfigData& r = Root(p, text);
        ASSERT_EQ(r.children.size(), 1u) << text;
        EXPECT_EQ(r.children[0].name, n);
        EXPECT_EQ(r.children[0].value, "C:\\dir\\\"x\"\n2nd");
    }
}

namespace {

int MaxLine(const ConfigData& d)
{
    int m = d.line;
    for (const ConfigData& c : d.children) m = std::max(m, MaxLine(c));
    return m;
}

}  // namespace

TEST(ConfigParser, RandomTextsNeverCrashAndReportLinesInRange)
{
    const char alphabet[] = "ab \"\\{}\n\r1,\t";
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round)
    {
        std::string text(next() % 200, ' ');
        for (char& c : text) c = alphabet[(next() >> 8) % (sizeof alphabet - 1)];
        int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        ConfigParser p;
        if (p.ParseText(text) == ConfigParser::Ok)
        {
            ASSERT_NE(p.GetRoot(), nullptr);
            EXPECT_LE(MaxLine(*p.GetRoot()), lines);
        }
        else
        {
            EXPECT_GE(p.GetErrorLine(), 1) << text;
            EXPECT_LE(p.GetErrorLine(), lines) << text;
        }
    }
}
