// The download station's category numbers and the line-break escape of the description lines.
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

TEST(DLSTablesTest, LineBreaksBecomeOneEscapeEach)
{
    const std::pair<std::string, std::string> lines[] = {
        {"one\r\ntwo\n\rthree\rfour\nfive", "one\\ntwo\\nthree\\nfour\\nfive"},
        {"\n\n", "\\n\\n"},
        {"C:\\path", "C:\\\\path"},
    };
    for (const auto& [in, out] : lines) EXPECT_EQ(EscapeLineBreaks(in).str(), out) << in;
}

}  // namespace
