// Query filters evaluated over the records.
#include "daemon/AssetDatabase.h"

#include "assetdb/PatternList.h"

#include <cctype>
#include <cmath>
#include <cstring>

namespace {

std::vector<std::string> SplitCodes(const std::string& text, const char* seps)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text)
    {
        if (strchr(seps, c))
        {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        }
        else if (!isspace(static_cast<unsigned char>(c)))
            cur += c;
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool ContainsNoCase(const std::string& hay, const std::string& needle)
{
    if (needle.empty()) return true;
    for (size_t i = 0; i + needle.size() <= hay.size(); ++i)
        if (EqualNoCase(hay.substr(i, needle.size()), needle)) return true;
    return false;
}

}  // namespace

std::string RecordCategoryCodes(const AssetRecord& r)
{
    std::string classCodes(LookupCategoryClassCodes(r.kind, r.categoryClass).View());
    if (classCodes.empty()) classCodes = r.categoryClass;
    // Consists are listed under "CN" whether or not their configuration names a class.
    if (classCodes.empty() && EqualNoCase(r.kind, "consist")) classCodes = "CN";
    const std::string& cc = classCodes;
    std::string out;
    for (const std::string* part : {&cc, &r.categoryRegion, &r.categoryEra})
        for (const std::string& c : SplitCodes(*part, ";,"))
        {
            if (!out.empty()) out += ';';
            out += c;
        }
    return out;
}

bool AssetDatabase::MatchLocked(const VADFilterElement& f, const AssetRecord& r) const
{
    switch (f.GetType())
    {
    case VADFilterElement::kGroup:
    {
        const auto& g = static_cast<const VADFilterElementGroup&>(f);
        bool all = true;
        for (size_t i = 0; all && i < g.GetChildCount(); ++i) all = MatchLocked(*g.GetChild(i), r);
        return g.IsNegated() ? !all : all;
    }
    case VADFilterElement::kString:
    {
        const std::string& v = static_cast<const VADFilterElementString&>(f).GetValue();
        switch (f.GetField())
        {
        case VAD_FIELD_CATEGORY_LIST: return MatchPatternList(RecordCategoryCodes(r), v);
        case VAD_FIELD_KIND: return EqualNoCase(r.kind, v);
        case VAD_FIELD_NAME: return ContainsNoCase(r.username, v);
        }
        return false;
    }
    case VADFilterElement::kBool:
    {
        bool want = static_cast<const VADFilterElementBool&>(f).GetValue();
        bool installed = !r.folder.empty();
        bool have = false;
        switch (f.GetField())
        {
        case VAD_FIELD_LOCAL:
        case VAD_FIELD_LOCALLY_AVAILABLE:
        case VAD_FIELD_LOCALLY_ENABLED: have = installed; break;
        case VAD_FIELD_OPEN_FOR_EDIT: have = FindEditLocked(r.kuid) != nullptr; break;
        case VAD_FIELD_OBSOLETE: have = installed && ObsoleteLocked(r.kuid); break;
        case VAD_FIELD_BUILTIN: have = r.source == "builtin" || !r.builtinFolder.empty(); break;
        case VAD_FIELD_FAULTY: have = r.validation == kValidationFailed; break;
        case VAD_FIELD_MISSING_DEPENDENCIES: have = MissingDepsLocked(r); break;
        case VAD_FIELD_ON_DOWNLOAD_STATION: have = OnStationLocked(r.kuid); break;
        case VAD_FIELD_LISTING_PRIVILEGE: have = true; break;
        case VAD_FIELD_ARCHIVED: have = false; break;
        case VAD_FIELD_LOCALLY_MODIFIED: have = r.source == "local" && !r.builtinFolder.empty(); break;
        case VAD_FIELD_PAYWARE: have = (r.flags & VAD_INFO_PAYWARE) != 0; break;
        case VAD_FIELD_COMPATIBLE: have = true; break;
        default: return false;
        }
        return have == want;
    }
    case VADFilterElement::kInteger:
    {
        const auto& e = static_cast<const VADFilterElementInteger&>(f);
        int32_t have;
        if (f.GetField() == VAD_FIELD_AUTHOR)
            have = r.authorId;
        else if (f.GetField() == VAD_FIELD_BUILD)
            have = static_cast<int32_t>(std::lround(r.build * 100.0f));
        else
            return false;
        return VADFilterCompareValues<int32_t>(e.GetCompare(), have, e.GetValue());
    }
    case VADFilterElement::kTime:
    {
        const auto& e = static_cast<const VADFilterElementTime&>(f);
        uint64_t have;
        if (f.GetField() == VAD_FIELD_INSTALL_TIME)
            have = r.installTime;
        else if (f.GetField() == VAD_FIELD_MODIFIED_TIME)
            have = r.modifiedTime;
        else
            return false;
        return VADFilterCompareValues<uint64_t>(e.GetCompare(), have, e.GetValue());
    }
    case VADFilterElement::kAssetID:
        return f.GetField() == VAD_FIELD_ASSET_ID &&
               static_cast<const VADFilterElementAssetID&>(f).GetValue() == r.kuid;
    }
    return false;
}

std::vector<KUID> AssetDatabase::Query(const VADFilterElement& filter) const
{
    std::shared_lock lk(mutex_);
    std::vector<KUID> out;
    // Records and assets being created, merged in KUID order.
    auto rec = records_.begin();
    auto ed = edits_.begin();
    while (rec != records_.end() || ed != edits_.end())
    {
        if (ed != edits_.end() && (ed->second.created == false || FindLocked(ed->first)))
        {
            ++ed;
            continue;
        }
        if (rec == records_.end() || (ed != edits_.end() && ed->first < rec->first))
        {
            AssetRecord r = CreatedRecord(ed->second);
            if (MatchLocked(filter, r)) out.push_back(r.kuid);
            ++ed;
        }
        else
        {
            if (MatchLocked(filter, rec->second)) out.push_back(rec->first);
            ++rec;
        }
    }
    return out;
}
