#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Platform;

namespace {
std::string Convert(int from, int to, std::string_view in, ConvertResult* result = nullptr, ConvertOptions options = {})
{
    std::string out;
    ConvertResult r = ConvertCodePage(from, to, in, &out, options);
    if (result) *result = r;
    return r.ok() ? out : "<failed>";
}
}  // namespace

TEST(CodePageTest, Utf8AndWindows1252RoundTrip)
{
    EXPECT_EQ(Convert(kCodePageUtf8, 1252, "caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
    EXPECT_EQ(Convert(1252, kCodePageUtf8, "caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Convert(kCodePageAnsi, 1252, "\xC3\xA9"), "\xE9");  // the ANSI code page is UTF-8
    EXPECT_EQ(Convert(1252, kCodePageAnsi, "\xE9"), "\xC3\xA9");
}

TEST(CodePageTest, UnconvertibleCharacterIsReportedOrReplaced)
{
    ConvertResult r;
    // "Ł" (U+0141) has no place in Windows-1252.
    EXPECT_EQ(Convert(kCodePageUtf8, 1252,
                      "ab\xC5\x81"
                      "c",
                      &r),
              "<failed>");
    EXPECT_EQ(r.status, ConvertStatus::Unconvertible);
    EXPECT_EQ(r.errorOffset, 2u);
    EXPECT_EQ(Convert(kCodePageUtf8, 1252,
                      "ab\xC5\x81"
                      "c\xC5\x81",
                      &r, {true}),
              "ab?c?");
    EXPECT_EQ(r.replaced, 2u);
    // It does exist in Central European Windows-1250.
    EXPECT_EQ(Convert(kCodePageUtf8, 1250, "\xC5\x81"), "\xA3");
    EXPECT_EQ(Convert(kCodePageUtf8, 1252, std::string("\xE6\x97\xA5", 3), &r, {true}), "?");
}

TEST(CodePageTest, InvalidInputIsNotMistakenForUnconvertible)
{
    ConvertResult r;
    for (std::string bad : {std::string("a\xFF"), std::string("a\xC3"), std::string("a\xC3(")})
    {
        EXPECT_EQ(Convert(kCodePageUtf8, 1252, bad, &r, {true}), "<failed>");
        EXPECT_EQ(r.status, ConvertStatus::InvalidInput);
        EXPECT_EQ(r.errorOffset, 1u);
    }
    EXPECT_EQ(Convert(kCodePageUtf16LE, kCodePageUtf8, std::string("a\0b", 3), &r), "<failed>");  // odd length
    EXPECT_EQ(r.status, ConvertStatus::InvalidInput);
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
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "\xC3\xA9x";
    std::string narrow = Convert(kCodePageUtf8, 1252, big);
    EXPECT_EQ(narrow.size(), 40000u);
    EXPECT_EQ(Convert(1252, kCodePageUtf8, narrow), big);
}

TEST(CodePageTest, OtherCodePagesAndUnknownNumbers)
{
    EXPECT_EQ(Convert(kCodePageUtf8, 437, "\xC3\xA9"), "\x82");
    EXPECT_EQ(Convert(kCodePageUtf8, 850, "\xC3\xA9"), "\x82");
    EXPECT_EQ(Convert(kCodePageUtf8, 28591, "\xC3\xA9"), "\xE9");
    const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // "日本"
    std::string sjis = Convert(kCodePageUtf8, 932, nihon);
    EXPECT_EQ(sjis, "\x93\xFA\x96\x7B");
    EXPECT_EQ(Convert(932, kCodePageUtf8, sjis), nihon);
    for (int cp : {936, 949, 950, 1251, 1258, 65000})
    {
        EXPECT_TRUE(IsCodePageSupported(cp)) << cp;
        EXPECT_EQ(Convert(kCodePageUtf8, cp, "plain"), "plain") << cp;
    }
    ConvertResult r;
    EXPECT_EQ(Convert(kCodePageUtf8, 12345, "x", &r), "<failed>");
    EXPECT_EQ(r.status, ConvertStatus::UnknownCodePage);
    EXPECT_EQ(Convert(-1, kCodePageUtf8, "x", &r), "<failed>");
    EXPECT_EQ(r.status, ConvertStatus::UnknownCodePage);
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_EQ(CodePageName(0), std::string("UTF-8"));
}
