#include "script/compiler/GSLibraryFile.h"

#include "core/Crc32.h"

#include <gtest/gtest.h>

namespace {

GSLibrary Sample()
{
    GSLibrary lib;
    lib.sourceName = "main.gs";
    lib.sourceCrc = 0xA1B2C3D4;
    lib.includes = {{"lib/util.gs", 7}, {"other.gse", 0xFFFFFFFF}};
    lib.tokens = {{GSTokenKind::Identifier, 1, 3, "helper"},
                  {GSTokenKind::String, 2, 1, std::string("a\0b", 3)},
                  {GSTokenKind::OpenBrace, 0, 9, "{"},
                  {GSTokenKind::CloseBrace, 0, 70000, "}"}};
    return lib;
}

}  // namespace

TEST(GSLibraryFile, RoundTrip)
{
    GSLibrary back;
    std::string why;
    ASSERT_TRUE(DecodeGSLibrary(EncodeGSLibrary(Sample()), &back, &why)) << why;
    GSLibrary want = Sample();
    EXPECT_EQ(back.sourceName, want.sourceName);
    EXPECT_EQ(back.sourceCrc, want.sourceCrc);
    ASSERT_EQ(back.includes.size(), 2u);
    EXPECT_EQ(back.includes[1].name, "other.gse");
    EXPECT_EQ(back.includes[1].crc, 0xFFFFFFFFu);
    ASSERT_EQ(back.tokens.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(back.tokens[i].kind, want.tokens[i].kind);
        EXPECT_EQ(back.tokens[i].unit, want.tokens[i].unit);
        EXPECT_EQ(back.tokens[i].line, want.tokens[i].line);
        EXPECT_EQ(back.tokens[i].text, want.tokens[i].text);
    }
}

TEST(GSLibraryFile, HandMadeBytes)
{
    // A library of "a.gs" (text CRC 0x11223344), no includes, one identifier "x" on line 2.
    std::string f("VGSL\x01\x00\x00\x00", 8);
    std::string body("\x04\x00"
                     "a.gs"
                     "\x44\x33\x22\x11"
                     "\x00\x00\x00\x00"
                     "\x01\x00\x00\x00"
                     "\x01\x00\x00\x02\x00\x00\x00\x01\x00x",
                     28);
    f += std::string("\x1C\x00\x00\x00", 4) + body;
    uint32_t crc = Crc32(f.data(), f.size());
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>(crc >> (8 * i)));

    GSLibrary lib;
    std::string why;
    ASSERT_TRUE(DecodeGSLibrary(f, &lib, &why)) << why;
    EXPECT_EQ(lib.sourceName, "a.gs");
    EXPECT_EQ(lib.sourceCrc, 0x11223344u);
    ASSERT_EQ(lib.tokens.size(), 1u);
    EXPECT_EQ(lib.tokens[0].kind, GSTokenKind::Identifier);
    EXPECT_EQ(lib.tokens[0].line, 2u);
    EXPECT_EQ(lib.tokens[0].text, "x");
    // The writer produces exactly these bytes.
    GSLibrary same;
    same.sourceName = "a.gs";
    same.sourceCrc = 0x11223344;
    same.tokens = {{GSTokenKind::Identifier, 0, 2, "x"}};
    EXPECT_EQ(EncodeGSLibrary(same), f);
}

TEST(GSLibraryFile, DamagedFilesAreRefused)
{
    const std::string good = EncodeGSLibrary(Sample());
    GSLibrary lib;
    std::string why;
    for (size_t i = 0; i < good.size(); ++i)
    {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        EXPECT_FALSE(DecodeGSLibrary(bad, &lib, &why)) << "byte " << i;
    }
    EXPECT_FALSE(DecodeGSLibrary(good.substr(0, good.size() - 1), &lib, &why));
    EXPECT_FALSE(DecodeGSLibrary(good + '\0', &lib, &why));
    EXPECT_FALSE(DecodeGSLibrary("", &lib, &why));

    // A consistent file (sizes and checksum fixed up) whose counts lie is refused all the same.
    auto reseal = [](std::string f) {
        f.resize(f.size() - 4);
        uint32_t crc = Crc32(f.data(), f.size());
        for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>(crc >> (8 * i)));
        return f;
    };
    GSLibrary one;
    one.sourceName = "a.gs";
    one.tokens = {{GSTokenKind::Identifier, 0, 1, "x"}};
    std::string f = EncodeGSLibrary(one);
    std::string hugeCount = f;
    hugeCount[12 + 6 + 4 + 4 + 3] = '\x7F';  // token count 0x7F000001
    EXPECT_FALSE(DecodeGSLibrary(reseal(hugeCount), &lib, &why));
    EXPECT_EQ(why, "script library is damaged (token count)");
    std::string badUnit = f;
    badUnit[12 + 6 + 4 + 4 + 4 + 1] = 1;  // unit 1 with no includes
    EXPECT_FALSE(DecodeGSLibrary(reseal(badUnit), &lib, &why));
    EXPECT_EQ(why, "script library is damaged (bad token)");
    std::string newer = f;
    newer[4] = 2;
    EXPECT_FALSE(DecodeGSLibrary(reseal(newer), &lib, &why));
    EXPECT_EQ(why, "script library made by a newer version");
}
