#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Platform;

TEST(CodePageTest, ConversionsFailuresAndReplacements)
{
    using S = ConvertStatus;
    const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // "日本"
    struct Case
    {
        int from, to;
        std::string in;
        bool replace;
        ConvertStatus status;
        std::string out;       // when converted
        size_t offsetOrCount;  // the offending offset on failure, the replacements on success
    } cases[] = {
        {kCodePageUtf8, 1252, "caf\xC3\xA9 \xE2\x82\xAC", false, S::Ok, "caf\xE9 \x80", 0},
        {1252, kCodePageUtf8, "caf\xE9 \x80", false, S::Ok, "caf\xC3\xA9 \xE2\x82\xAC", 0},
        {kCodePageAnsi, 1252, "\xC3\xA9", false, S::Ok, "\xE9", 0},  // the ANSI code page is UTF-8
        {1252, kCodePageAnsi, "\xE9", false, S::Ok, "\xC3\xA9", 0},
        // "Ł" (U+0141) has no place in Windows-1252, but in Central European Windows-1250.
        {kCodePageUtf8, 1252, "ab\xC5\x81\x63", false, S::Unconvertible, "", 2},
        {kCodePageUtf8, 1252, "ab\xC5\x81\x63\xC5\x81", true, S::Ok, "ab?c?", 2},
        {kCodePageUtf8, 1250, "\xC5\x81", false, S::Ok, "\xA3", 0},
        {kCodePageUtf8, 1252, "\xE6\x97\xA5", true, S::Ok, "?", 1},
        // Invalid input is not mistaken for unconvertible, even when replacing.
        {kCodePageUtf8, 1252, "a\xFF", true, S::InvalidInput, "", 1},
        {kCodePageUtf8, 1252, "a\xC3", true, S::InvalidInput, "", 1},
        {kCodePageUtf8, 1252, "a\xC3(", true, S::InvalidInput, "", 1},
        {kCodePageUtf16LE, kCodePageUtf8, std::string("a\0b", 3), false, S::InvalidInput, "", 2},  // odd length
        {kCodePageUtf8, 437, "\xC3\xA9", false, S::Ok, "\x82", 0},
        {kCodePageUtf8, 850, "\xC3\xA9", false, S::Ok, "\x82", 0},
        {kCodePageUtf8, 28591, "\xC3\xA9", false, S::Ok, "\xE9", 0},
        {kCodePageUtf8, 932, nihon, false, S::Ok, "\x93\xFA\x96\x7B", 0},
        {932, kCodePageUtf8, "\x93\xFA\x96\x7B", false, S::Ok, nihon, 0},
        {kCodePageUtf8, 12345, "x", false, S::UnknownCodePage, "", 0},
        {-1, kCodePageUtf8, "x", false, S::UnknownCodePage, "", 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " '" << c.in << "'");
        std::string out;
        ConvertResult r = ConvertCodePage(c.from, c.to, c.in, &out, {c.replace});
        ASSERT_EQ(r.status, c.status);
        if (r.ok())
        {
            EXPECT_EQ(out, c.out);
            EXPECT_EQ(r.replaced, c.offsetOrCount);
        }
        else if (c.status != S::UnknownCodePage && c.from != kCodePageUtf16LE)
        {
            EXPECT_EQ(r.errorOffset, c.offsetOrCount);
        }
    }
    for (int cp : {936, 949, 950, 1251, 1258, 65000})
    {
        EXPECT_TRUE(IsCodePageSupported(cp)) << cp;
        std::string out;
        EXPECT_TRUE(ConvertCodePage(kCodePageUtf8, cp, "plain", &out).ok()) << cp;
        EXPECT_EQ(out, "plain") << cp;
    }
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_EQ(CodePageName(0), std::string("UTF-8"));
}

TEST(CodePageTest, ExactSizesAndSmallBuffers)
{
    const std::string in = "\xC3\xA9t\xC3\xA9";  // "été"
    ConvertResult r = ConvertCodePage(kCodePageUtf8, kCodePageUtf16LE, in.data(), in.size(), nullptr, 0);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.size, 6u);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    r = ConvertCodePage(kCodePageUtf8, kCodePageUtf16LE, in.data(), in.size(), buf, 3);
    EXPECT_EQ(r.status, ConvertStatus::BufferTooSmall);
    EXPECT_EQ(r.size, 6u);
    EXPECT_EQ(buf[3], '#');  // nothing written past the capacity
    r = ConvertCodePage(kCodePageUtf8, kCodePageUtf16LE, in.data(), in.size(), buf, 6);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(std::string(buf, 6), std::string("\xE9\0t\0\xE9\0", 6));
    EXPECT_EQ(buf[6], '#');
    r = ConvertCodePage(kCodePageUtf8, 1252, "", 0, nullptr, 0);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.size, 0u);
    r = ConvertCodePage(kCodePageUtf8, 1252, nullptr, 4, buf, 8);
    EXPECT_EQ(r.status, ConvertStatus::InvalidInput);

    // Longer than any internal buffer.
    std::string big, narrow, back;
    for (int i = 0; i < 20000; ++i) big += "\xC3\xA9x";
    ASSERT_TRUE(ConvertCodePage(kCodePageUtf8, 1252, big, &narrow).ok());
    EXPECT_EQ(narrow.size(), 40000u);
    ASSERT_TRUE(ConvertCodePage(1252, kCodePageUtf8, narrow, &back).ok());
    EXPECT_EQ(back, big);
}
