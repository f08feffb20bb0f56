#include "assetdb/PatternList.h"

#include "engine/TextCase.h"

#include <vector>

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

template <typename F>
void ForEachToken(std::string_view text, std::string_view separators, F&& f)
{
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view token = Trim(text.substr(start, end - start));
        if (!token.empty() && !f(token)) return;
        start = end + 1;
    }
}

bool HasCode(const std::vector<std::string_view>& codes, std::string_view code)
{
    for (std::string_view c : codes)
        if (c == code) return true;
    return false;
}

bool MatchAlternative(const std::vector<std::string_view>& codes, std::string_view alternative)
{
    bool all = true;
    ForEachToken(alternative, ";", [&](std::string_view term) {
        bool negated = term.front() == '-';
        if (negated) term = Trim(term.substr(1));
        bool present = HasCode(codes, term);
        all = negated ? !present : present;
        return all;
    });
    return all;
}

// The category class table: class codes of "category-class" and the code lists they stand for. Only the
// codes the program knows are listed; an asset whose class is not here is re-classed by the normaliser.
struct CategoryClassRow
{
    const char* kind;  // empty: any kind
    const char* classCode;
    const char* codes;
};

constexpr CategoryClassRow kCategoryClasses[] = {
    {"", "BC", "BC"},   {"", "BI", "BI"},   {"", "BH", "BH"},   {"", "BR", "BR"}, {"", "BS", "BS"}, {"", "BT", "BT"},
    {"", "BU", "BU"},   {"", "SF", "SF"},   {"", "SP", "SP"},   {"", "SS", "SS"}, {"", "ES", "ES"}, {"", "EW", "EW"},
    {"", "FC", "FC"},   {"", "FF", "FF"},   {"", "FO", "FO"},   {"", "FS", "FS"}, {"", "FT", "FT"}, {"", "GA", "GA"},
    {"", "GL", "GL"},   {"", "GS", "GS"},   {"", "SV", "SV"},   {"", "OA", "OA"}, {"", "OH", "OH"}, {"", "SR", "SR"},
    {"", "TB", "TB"},   {"", "TR", "TR"},   {"", "TT", "TT"},   {"", "VA", "VA"}, {"", "VL", "VL"}, {"", "VS", "VS"},
    {"", "MA", "MA"},   {"", "DE", "DE"},   {"", "DP", "DP"},   {"", "MD", "MD"}, {"", "ME", "ME"}, {"", "MF", "MF"},
    {"", "MI", "MI"},   {"", "MT", "MT"},   {"", "MP", "MP"},   {"", "MS", "MS"}, {"", "WA", "WA"}, {"", "WS", "WS"},
    {"", "MC", "MC"},   {"", "MX", "MX"},   {"", "YM", "YM"},   {"", "YS", "YS"}, {"", "ZE", "ZE"}, {"", "ZH", "ZH"},
    {"", "ZI", "ZI"},   {"", "ZS", "ZS"},   {"", "AA", "AA"},   {"", "AC", "AC"}, {"", "AD", "AD"}, {"", "AE", "AE"},
    {"", "AG", "AG"},   {"", "AH", "AH"},   {"", "AL", "AL"},   {"", "AM", "AM"}, {"", "AS", "AS"}, {"", "ZB", "ZB"},
    {"", "AT", "AT"},   {"", "CB", "CB"},   {"", "CC", "CC"},   {"", "DX", "DX"}, {"", "LS", "LS"}, {"", "LT", "LT"},
    {"", "LM", "LM"},   {"", "MB", "MB"},   {"", "PA", "PA"},   {"", "PB", "PB"}, {"", "PC", "PC"}, {"", "PD", "PD"},
    {"", "PH", "PH"},   {"", "PL", "PL"},   {"", "PM", "PM"},   {"", "PO", "PO"}, {"", "PP", "PP"}, {"", "PR", "PR"},
    {"", "PS", "PS"},   {"", "PU", "PU"},   {"", "PV", "PV"},   {"", "PX", "PX"}, {"", "WX", "WX"}, {"", "BB", "BB"},
    {"", "BIN", "BIN"}, {"", "BPF", "BPF"}, {"", "BPN", "BPN"}, {"", "TF", "TF"}, {"", "IB", "IB"}, {"", "IC", "IC"},
    {"", "IL", "IL"},   {"", "IP", "IP"},   {"", "YP", "YP"},   {"", "HM", "HM"}, {"", "JC", "JC"}, {"", "JI", "JI"},
    {"", "JP", "JP"},   {"", "JO", "JO"},   {"", "YR", "YR"},   {"", "YD", "YD"}, {"", "YH", "YH"}, {"", "OHD", "OHD"},
    {"", "BRS", "BRS"}, {"", "CN", "CN"},   {"", "GMN", "GMN"}, {"", "ZX", "ZX"},
};

}  // namespace

bool MatchPatternList(std::string_view text, std::string_view patterns)
{
    std::vector<std::string_view> codes;
    ForEachToken(text, ";", [&](std::string_view code) {
        codes.push_back(code);
        return true;
    });
    bool matched = false;
    bool any = false;
    ForEachToken(patterns, "|", [&](std::string_view alternative) {
        any = true;
        matched = MatchAlternative(codes, alternative);
        return !matched;
    });
    // A pattern list with no terms at all asks for nothing.
    return matched || !any;
}

bool MatchPatternList(const char* text, const char* patterns)
{
    if (!patterns) return true;
    if (!text) return false;
    return MatchPatternList(std::string_view(text), std::string_view(patterns));
}

void AppendMissingPatternTerms(std::string_view base, std::string_view terms, std::string_view prefix,
                               Orvo::String& out)
{
    std::string list(base);
    ForEachToken(terms, ";|", [&](std::string_view term) {
        std::string candidate = std::string(prefix) + std::string(term);
        if (!MatchPatternList(std::string_view(list), std::string_view(candidate)))
        {
            if (!Trim(list).empty()) list += ';';
            list += candidate;
        }
        return true;
    });
    out = Orvo::String(list);
}

Orvo::String LookupCategoryClassCodes(std::string_view kind, std::string_view classCode)
{
    std::string_view code = Trim(classCode);
    for (const CategoryClassRow& row : kCategoryClasses)
    {
        if (row.kind[0] != '\0' && !Orvo::EqualsNoCase(row.kind, kind)) continue;
        if (Orvo::EqualsNoCase(row.classCode, code)) return Orvo::String(row.codes);
    }
    return {};
}
