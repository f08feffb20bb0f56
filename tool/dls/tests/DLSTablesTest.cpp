// The download station's category numbers and the text helpers of its SQL files and description lines.
#include "tool/dls/CategoryTables.h"
#include "tool/dls/DLSText.h"

#include <gtest/gtest.h>

namespace {

TEST(DLSTablesTest, CategoryElementIds)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"1800", 146}, {"2000", 161}, {"BC", 850},  {"SV", 880},  {"DE", 934},  {"MS", 942},
        {"XAA", 1033}, {"XVG", 1067}, {"PA", 1068}, {"PB", 1069}, {"PC", 1020}, {"HM", 1086},
        {"JO", 1099},  {"GMN", 1103}, {"AF", 503},  {"FR", 570},  {"KR", 613},  {"ZW", 729},
        {"ZR", 737},   {"de", 0},     {"", 0},      {"DE ", 0},   {"XYZ", 0},
    };
    for (const auto& [code, id] : cases) EXPECT_EQ(LookupCategoryElementID(code), id) << code;
}

TEST(DLSTablesTest, AssetTypes)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"LOCO;ELEC", 1}, {"TR;TV", 2}, {"TR;CMP;BOGY", 2}, {"CMP;BOGY", 21}, {"TX;ENV", 17}, {"TX", 37},
        {"CMP;MESH", 30}, {"SPLN", 16}, {"RU", 38},         {"", 21},         {"ZZ", 21},
    };
    for (const auto& [codes, id] : cases) EXPECT_EQ(GetAssetTypeIDForCodes(codes), id) << codes;
    EXPECT_STREQ(GetAssetTypeFolderName(13), "road");
    EXPECT_STREQ(GetAssetTypeFolderName(21), "miscellaneous");
    EXPECT_STREQ(GetAssetTypeFolderName(22), "UNKNOWN");
}

TEST(DLSTablesTest, SQLAndLineEscapes)
{
    using namespace std::string_literals;
    const std::pair<std::string, std::string> sql[] = {
        {"plain text", "plain text"},
        {"\\", "\\\\"},
        {"O'Brien \"x\"", "O\\'Brien \\\"x\\\""},
        {"a\0b\r\n\x1A"s, "a\\0b\\r\\n\\Z"},
        {"Z\xC3\xBCrich", "Z\xC3\xBCrich"},
    };
    for (const auto& [in, out] : sql) EXPECT_EQ(EscapeSQLText(in).str(), out) << in;

    const std::pair<std::string, std::string> lines[] = {
        {"one\r\ntwo\n\rthree\rfour\nfive", "one\\ntwo\\nthree\\nfour\\nfive"},
        {"\n\n", "\\n\\n"},
        {"C:\\path", "C:\\\\path"},
        {"", ""},
    };
    for (const auto& [in, out] : lines) EXPECT_EQ(EscapeLineBreaks(in).str(), out) << in;
}

TEST(DLSTablesTest, KUIDListsInOrder)
{
    ChunkedList<KUID> list;
    EXPECT_EQ(JoinKUIDList(list).str(), "");
    list.Add(KUID(5, 6, 2));
    list.Add(KUID(1, 2));
    EXPECT_EQ(JoinKUIDList(list).str(), "<kuid2:5:6:2>, <kuid:1:2>");
    const std::set<KUID> set = {KUID(-3, 4), KUID(5, 6, 2), KUID(1, 2)};
    EXPECT_EQ(JoinKUIDSet(set).str(), "<kuid:1:2>, <kuid2:5:6:2>, <kuid2:-3:4:0>");
}

}  // namespace
