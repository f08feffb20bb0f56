#include "script/compiler/GSEncodedSource.h"
#include "script/compiler/GSScriptFile.h"

#include "GSTestFiles.h"

#include <gtest/gtest.h>

TEST(GSEncodedSource, RoundTripAndHeaderBytes)
{
    using namespace std::string_literals;
    const std::string text = "include \"a.gs\"\r\nclass X {}\n\xC3\xA9\0end"s;
    std::string enc = EncodeGseSource(text);
    ASSERT_EQ(enc.size(), kGseHeaderSize + text.size());
    // "VGSE", version 1, length, CRC-32 of the text, all little-endian.
    EXPECT_EQ(enc.substr(0, 8), std::string("VGSE\x01\x00\x00\x00", 8));
    EXPECT_EQ(static_cast<unsigned char>(enc[8]), text.size());
    EXPECT_EQ(enc.substr(9, 3), std::string(3, '\0'));
    EXPECT_EQ(enc.find("class"), std::string::npos);  // not stored in the clear
    std::string back;
    ASSERT_TRUE(DecodeGseSource(enc, &back, nullptr));
    EXPECT_EQ(back, text);

    ASSERT_TRUE(DecodeGseSource(EncodeGseSource(""), &back, nullptr));
    EXPECT_EQ(back, "");
}

TEST(GSEncodedSource, AnyDamageIsRefused)
{
    const std::string enc = EncodeGseSource("void f() { return; }\n");
    std::string out, why;
    for (size_t i = 0; i < enc.size(); ++i)
    {
        std::string bad = enc;
        bad[i] = static_cast<char>(bad[i] ^ 0x20);
        EXPECT_FALSE(DecodeGseSource(bad, &out, &why)) << "byte " << i;
    }
    EXPECT_FALSE(DecodeGseSource(enc.substr(0, enc.size() - 1), &out, &why));
    EXPECT_EQ(why, "encoded script is damaged (wrong length)");
    EXPECT_FALSE(DecodeGseSource(enc + "x", &out, &why));
    EXPECT_FALSE(DecodeGseSource(enc.substr(0, 10), &out, &why));
    std::string newer = enc;
    newer[4] = 2;
    EXPECT_FALSE(DecodeGseSource(newer, &out, &why));
    EXPECT_EQ(why, "encoded script made by a newer version");
}

TEST(GSScriptFile, EncryptRoundTripThroughFiles)
{
    GSTempFolder dir;
    const std::string text = "// x\ninclude \"y.gs\"\nclass X { };\n";
    dir.Write("x.gs", text);

    GSScriptFile plain;
    std::string name;
    ASSERT_TRUE(plain.Load("", dir / "x.gs", &name));
    EXPECT_EQ(name, "x");
    ASSERT_TRUE(plain.SaveAs("", dir / "x.gse"));
    EXPECT_NE(dir.Read("x.gse"), text);

    // Relative paths go under the root folder.
    GSScriptFile encoded;
    ASSERT_TRUE(encoded.Load(dir.Path().string(), "x.gse", &name));
    EXPECT_EQ(name, "x");
    EXPECT_EQ(encoded.Text(), text);
    ASSERT_TRUE(encoded.SaveAs(dir.Path().string(), "back.GS"));
    EXPECT_EQ(dir.Read("back.GS"), text);
}

TEST(GSScriptFile, RefusalsLeaveNothingBehind)
{
    GSTempFolder dir;
    GSScriptFile f;
    EXPECT_FALSE(f.SaveAs("", dir / "never.gs"));  // nothing loaded
    EXPECT_FALSE(f.Load("", dir / "missing.gs"));
    EXPECT_EQ(f.LastError(), "cannot open");

    dir.Write("x.gs", "a b c");
    ASSERT_TRUE(f.Load("", dir / "x.gs"));
    EXPECT_FALSE(f.SaveAs("", dir / "x.txt"));
    EXPECT_FALSE(f.SaveAs("", dir / "x"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.txt"));
    EXPECT_FALSE(f.SaveAs("", dir / "no-such-folder/x.gse"));

    // One changed byte in an encoded file makes it fail to load.
    ASSERT_TRUE(f.SaveAs("", dir / "x.gse"));
    std::string enc = dir.Read("x.gse");
    enc[enc.size() - 2] ^= 1;
    dir.Write("bad.gse", enc);
    GSScriptFile g;
    EXPECT_FALSE(g.Load("", dir / "bad.gse"));
    EXPECT_FALSE(g.IsLoaded());
    EXPECT_EQ(g.LastError(), "encoded script is damaged (checksum mismatch)");
    EXPECT_FALSE(g.Load("", dir.Path().string()));  // a folder is not a script
}
