#include "tool/Query.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADRequests.h"
#include "tool/CommandArgs.h"
#include "tool/Support.h"

#include <cstdio>
#include <set>

namespace {

constexpr const char* kQueryFailed = "The asset database could not search the assets.";

// The assets that are local and locally available, and hold the one further flag; false, with an error,
// when the search failed.
bool QueryLocalAssets(VADFilterField alsoRequired, ChunkedList<KUID>& found, ResultsLog& log)
{
    VADFilterElementGroup filter;
    filter.Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
    filter.Add(new VADFilterElementBool(VAD_FIELD_LOCALLY_AVAILABLE));
    filter.Add(new VADFilterElementBool(alsoRequired));
    if (VADQueryAssets(filter, found)) return true;
    PostCommandError(log, kQueryFailed);
    return false;
}

}  // namespace

int CountBuiltinsCommand(ResultsLog& log, const CommandArgs&)
{
    ChunkedList<KUID> found;
    if (VADGetDatabaseStatus() != 0 || !QueryLocalAssets(VAD_FIELD_COMPATIBLE, found, log))
    {
        std::printf("0\n");
        return -1;
    }
    std::printf("%zu\n", found.Count());
    return 0;
}

bool BuildCategoryFilter(const CommandArgs& args, VADFilterElementGroup& filter, ResultsLog& log)
{
    if (!args.ParameterMissing() && args.parameterWord == "-a")
    {
        const char* category = args.Arg(3);
        if (!category || !*category)
        {
            PostCommandError(log, "Missing category parameter.");
            return false;
        }
        filter.Add(new VADFilterElementString(VAD_FIELD_CATEGORY_LIST, Orvo::PString(category).ToUpper().View()));
        return true;
    }
    std::string category = Orvo::PString(args.parameterWord).ToUpper().str();
    filter.Add(new VADFilterElementString(VAD_FIELD_CATEGORY_LIST, category));
    filter.Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
    return true;
}

int SearchByCategoryCommand(ResultsLog& log, const CommandArgs& args)
{
    VADFilterElementGroup filter;
    if (!BuildCategoryFilter(args, filter, log)) return -1;
    ChunkedList<KUID> found;
    if (!VADQueryAssets(filter, found))
    {
        PostCommandError(log, kQueryFailed);
        return -1;
    }
    if (found.Count() == 0)
    {
        PostCommandError(log, "No asset matches the search.");
        return -1;
    }
    std::printf("+ %zu : assets matching the specified criteria\n", found.Count());
    size_t i = 0;
    for (const KUID& kuid : found) std::printf("+ #%zu : %s\n", i++, KUID::ToText(kuid).c_str());
    return 0;
}

int AuthorsCommand(ResultsLog& log, const CommandArgs&)
{
    ChunkedList<KUID> found;
    if (!QueryLocalAssets(VAD_FIELD_LOCALLY_ENABLED, found, log)) return -1;
    std::set<Orvo::PString> names;
    for (const KUID& kuid : found)
    {
        Orvo::PString name = GetAssetAuthorName(kuid);
        if (!name.empty()) names.insert(name);
    }
    for (const Orvo::PString& name : names) std::printf("%s\n", name.c_str());
    return 0;
}
