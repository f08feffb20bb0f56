#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADRequests.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/ConfigFileBound.h"

bool BackupKeywords(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format,
                    ResultsLog* log)
{
    ChunkedList<KUID> kuids;
    if (!VADQueryAssets(VADFilterElementGroup(), kuids))
    {
        if (log) log->PostResult(kResultError, "Unable to query the asset database; no keywords were backed up.");
        return false;
    }
    TDBTagRef tree;
    tree.EnsureContainer();
    for (const KUID& kuid : kuids)
    {
        Orvo::String keywords = VADGetAssetKeywords(kuid);
        tree.SetChildString(KUID::ToText(kuid).View(), keywords.View());
    }
    if (SaveConfigFile(tree, resourceName, path.View(), format)) return true;
    if (log) log->PostResultF(kResultError, "Unable to write the keywords file '%s'.", path.c_str());
    return false;
}

bool BackupKeywords(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format)
{
    return BackupKeywords(resourceName, path, format, nullptr);
}

bool ImportKeywords(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format,
                    ResultsLog* log)
{
    TDBTagRef tree;
    const ConfigFileResult read = LoadConfigFileEx(tree, resourceName, path.View(), format);
    if (read != ConfigFileResult::kOK)
    {
        if (log && read == ConfigFileResult::kTooLarge)
            log->PostResult(kResultError, Orvo::ConfigFileTooLargeText(path.View()) + ".");
        else if (log)
            log->PostResultF(kResultError, "Unable to read the keywords file '%s'.", path.c_str());
        return false;
    }
    bool allSent = true;
    for (size_t i = 0, n = tree.GetChildCount(); i < n; ++i)
    {
        KUID kuid;
        if (!kuid.ParseText(tree.GetChildName(i).View(), false)) continue;
        Orvo::String keywords = tree.GetChildAt(i).GetString();
        if (!VADSetAssetKeywords(kuid, keywords.View())) allSent = false;
    }
    if (!allSent && log) log->PostResult(kResultError, "Unable to send the keywords to the asset database.");
    return allSent;
}

bool ImportKeywords(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format)
{
    return ImportKeywords(resourceName, path, format, nullptr);
}
