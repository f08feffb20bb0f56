#include "tool/dls/CategoryTables.h"

#include "assetdb/PatternList.h"
#include "assetdb/VADAssetInfo.h"

#include <string>
#include <unordered_map>

namespace {

struct AssetTypeRow
{
    const char* patterns;
    int32_t typeId;
};

// Tried in order; the first pattern list that the code list matches gives the number.
constexpr AssetTypeRow kAssetTypes[] = {
    {"LOCO", 1},         {"TR|TV|TEND|ROLL", 2}, {"RT", 3},      {"BD", 4},  {"TO", 12},      {"FA", 14},
    {"PP", 15},          {"SY|FL|SPLN", 16},     {"TX;ENV", 17}, {"VE", 18}, {"TK", 19},      {"SC", 25},
    {"TR;CMP;BOGY", 26}, {"CMP;MESH", 30},       {"CY", 31},     {"SS", 35}, {"TX;-ENV", 37}, {"RU", 38},
};
constexpr int32_t kMiscellaneousType = 21;

struct TypeFolder
{
    int32_t typeId;
    const char* name;
};

constexpr TypeFolder kTypeFolders[] = {
    {1, "locomotives"},
    {2, "rollingstock"},
    {3, "layouts"},
    {4, "buildingsstructures"},
    {12, "tracksideaccessories"},
    {13, "road"},
    {14, "animals"},
    {15, "people"},
    {16, "terrainfeatures"},
    {17, "textures"},
    {18, "vehicles"},
    {19, "track"},
    {21, "miscellaneous"},
    {25, "scenarios"},
    {26, "bogey"},
    {30, "mesh"},
    {31, "product"},
    {35, "session"},
    {37, "texture"},
    {38, "rule"},
};

// The category element table as runs: the codes of a run take consecutive ids from `first` on, in the
// order listed. Era codes, category-class codes and two-letter region codes share the one table.
struct ElementRun
{
    int32_t first;
    const char* codes;
};

constexpr ElementRun kElementRuns[] = {
    {146, "1800 1820 1840 1860 1880 1900 1910 1920 1930 1940 1950 1960 1970 1980 1990 2000"},
    {850, "BC BI BH BR BS BT BU SF SP SS"},
    {870, "ES EW FC FF FO FS FT GA GL GS SV"},
    {890, "OA"},
    {900, "OH"},
    {910, "SR"},
    {920, "TB TR TT"},
    {930, "VA VL VS MA DE DP MD ME MF MI MT MP MS"},
    {950, "WA WS MC MX"},
    {960, "YM"},
    {970, "YS"},
    {980, "ZE ZH ZI ZS"},
    {990, "AA AC AD AE AG AH AL AM AS"},
    {1010, "ZB AT CB CC DX LS LT LM MB"},
    {1068, "PA PB"},
    {1020, "PC PD PH PL PM PO PP PR PS PU PV PX"},
    {1033, "XAA XAB XBD XBG XBI XFA XFC XFD XFH XFM XGB XGC XGE XGR XGS XGT XHB XHC XHE XHR XHS XHT XIB XIT XLA "
           "XLC XLH XRI XRM XSN XSU XTA XTS XTM XVG"},
    {1070, "XVP"},
    {1072, "WX"},
    {1074, "BB BIN BPF BPN TF"},
    {1080, "IB IC IL IP"},
    {1088, "YP"},
    {1086, "HM"},
    {1090, "JC"},
    {1097, "JI JP JO"},
    {1092, "YR"},
    {1094, "YD"},
    {1096, "YH"},
    {1100, "OHD BRS CN GMN"},
    {501, "AD AE AF AG AI AL AM AN AO AQ AR AS AT AU AW AZ BA BB BD BE BF BG BH BI BJ BM BN BO BR BS BT BV BW BY "
          "BZ CA CC CD CF CG CH CI CK CL CM CN CO CR CV CX CY CZ DE DJ DK DM DO DZ EC EE EF EG ER ES ET FI FJ FK "
          "FM FR GA GB GD GE GF GH GI GL GM GP GQ GR GS GU GW GY HK HM HN HR HT HU ID IE IL IN IO IQ IR IS IT JM "
          "JO JP KE KG KH KI KM KN KP KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV MA MC MD MG MH MK ML MM MN MO "
          "MP MQ MR MS MT MU MV MW MX MY MZ NA NC NE NF NG NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM PN PR "
          "PT PW PY QA RE RO RU RW SA SB SC SE SG SH SI SJ SK SL SN SO SR ST SV SZ TC TD TF TG TH TJ TK TL TM TN "
          "TO TR TT TV TW TZ UA UG UM US UY UZ VC VE VG VI VN VU WF WS YE YT ZA ZM ZW CS CU GN GT KR SD YU ZR"},
};

// Code → id of its first row.
const std::unordered_map<std::string, int32_t>& ElementIds()
{
    static const std::unordered_map<std::string, int32_t> ids = [] {
        std::unordered_map<std::string, int32_t> m;
        for (const ElementRun& run : kElementRuns)
        {
            int32_t id = run.first;
            std::string_view codes(run.codes);
            while (!codes.empty())
            {
                const size_t end = std::min(codes.find(' '), codes.size());
                m.emplace(std::string(codes.substr(0, end)), id++);  // a repeated code keeps its first id
                codes.remove_prefix(std::min(end + 1, codes.size()));
            }
        }
        return m;
    }();
    return ids;
}

}  // namespace

Orvo::String EscapeSQLText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (char c : text)
    {
        switch (c)
        {
        case '\\':
        case '\'':
        case '"':
            out += '\\';
            out += c;
            break;
        case '\0': out += "\\0"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\x1A': out += "\\Z"; break;
        default: out += c;
        }
    }
    return Orvo::String(std::move(out));
}

int32_t GetAssetTypeIDForCodes(std::string_view codes)
{
    for (const AssetTypeRow& row : kAssetTypes)
        if (MatchPatternList(codes, row.patterns)) return row.typeId;
    return kMiscellaneousType;
}

int32_t GetAssetTypeID(const VADAssetInfo& info) { return GetAssetTypeIDForCodes(info.categoryCodes); }

const char* GetAssetTypeFolderName(int32_t typeId)
{
    for (const TypeFolder& f : kTypeFolders)
        if (f.typeId == typeId) return f.name;
    return "UNKNOWN";
}

int32_t LookupCategoryElementID(std::string_view code)
{
    const auto& ids = ElementIds();
    auto it = ids.find(std::string(code));
    return it == ids.end() ? 0 : it->second;
}
