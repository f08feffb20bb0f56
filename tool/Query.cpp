#include "tool/Query.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "tool/CommandArgs.h"
#include "tool/Support.h"
#include "tool/ToolContext.h"

#include <cstdio>
#include <set>

namespace {

constexpr const char* kQueryFailed = "The asset database could not search the assets.";

// The assets that are local and locally available, and hold the one further flag; false, with an error,
// when the search failed.
bool QueryLocalAssets(VADClient& client, VADFilterField alsoRequired, ChunkedList<KUID>& found, ResultsLog& log)
{
    VADFilterElementGroup filter;
    filter.Add(new VADFilterElementBool(VAD_FIELD_LOCAL));
    filter.Add(new VADFilterElementBool(VAD_FIELD_LOCALLY_AVAILABLE));
    filter.Add(new VADFilterElementBool(alsoRequired));
    if (client.QueryAssets(filter, found)) return true;
    PostCommandError(client, log, kQueryFailed);
    return false;
}

}  // namespace

int CountBuiltinsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs&)
{
    VADClient& client = tool.Client();
    ChunkedList<KUID> found;
    // A database that is not ready (or does not say) has nothing to count.
    if (client.GetDatabaseStatus().ValueOr(1) != 0 || !QueryLocalAssets(client, VAD_FIELD_COMPATIBLE, found, log))
    {
        std::printf("0\n");
        return -1;
    }
    std::printf("%zu\n", found.Count());
    return 0;
}

bool BuildCategoryFilter(const VADClient& client, const CommandArgs& args, VADFilterElementGroup& filter,
                         ResultsLog& log)
{
    if (!args.ParameterMissing() && args.parameterWord == "-a")
    {
        const char* category = args.Arg(3);
        if (!category || !*category)
        {
            PostCommandError(client, log, "Missing category parameter.");
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

int SearchByCategoryCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args)
{
    VADClient& client = tool.Client();
    VADFilterElementGroup filter;
    if (!BuildCategoryFilter(client, args, filter, log)) return -1;
    ChunkedList<KUID> found;
    if (!client.QueryAssets(filter, found))
    {
        PostCommandError(client, log, kQueryFailed);
        return -1;
    }
    // An empty result fails with a word rather than nothing at all: a script reading the output would otherwise
    // see no list and a summary of "OK (0 Errors".
    if (found.Count() == 0)
    {
        PostCommandError(client, log, "No asset matches the search.");
        return -1;
    }
    std::printf("+ %zu : assets matching the specified criteria\n", found.Count());
    size_t i = 0;
    for (const KUID& kuid : found) std::printf("+ #%zu : %s\n", i++, KUID::ToText(kuid).c_str());
    return 0;
}

int AuthorsCommand(ToolContext& tool, ResultsLog& log, const CommandArgs&)
{
    VADClient& client = tool.Client();
    ChunkedList<KUID> found;
    if (!QueryLocalAssets(client, VAD_FIELD_LOCALLY_ENABLED, found, log)) return -1;
    std::set<Orvo::PString> names;
    for (const KUID& kuid : found)
    {
        Orvo::PString name = GetAssetAuthorName(client, kuid);
        if (!name.empty()) names.insert(name);
    }
    for (const Orvo::PString& name : names) std::printf("%s\n", name.c_str());
    return 0;
}
