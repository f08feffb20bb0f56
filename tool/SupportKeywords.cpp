#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "platform/RegularFile.h"

bool BackupKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log)
{
    ChunkedList<KUID> kuids;
    if (!client.QueryAssets(VADFilterElementGroup(), kuids))
    {
        if (log) log->PostResult(kResultError, "Unable to query the asset database; no keywords were backed up.");
        return false;
    }
    TDBTagRef tree;
    tree.EnsureContainer();
    for (const KUID& kuid : kuids)
    {
        // A backup with one asset's keywords missing would replace a whole one: nothing is written then.
        const VADResult<Orvo::String> keywords = client.GetAssetKeywords(kuid);
        if (!keywords.Ok())
        {
            if (log)
                log->PostResultF(kResultError, "Unable to read the keywords of %s; no keywords were backed up.",
                                 KUID::ToText(kuid).c_str());
            return false;
        }
        tree.SetChildString(KUID::ToText(kuid).View(), keywords.Value().View());
    }
    if (SaveConfigFile(tree, resourceName, path.View(), format)) return true;
    if (log) log->PostResultF(kResultError, "Unable to write the keywords file '%s'.", path.c_str());
    return false;
}

bool ImportKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log)
{
    // The file is the user's: a FIFO, a device or a file past the bound must neither hang nor flood the tool.
    std::string real = ConfigFilePath(resourceName, path.View());
    if (std::string resolved; Orvo::File::Resolve(real, resolved)) real = std::move(resolved);
    std::string bytes;
    const Platform::RegularFileStatus status = Platform::ReadRegularFile(real, Orvo::kMaxConfigFileBytes, bytes);
    TDBTagRef tree;
    const ConfigFileResult read =
        status == Platform::RegularFileStatus::kOK
            ? ParseConfigData(tree, bytes, ConfigFileFormFor(path.View(), format), real.c_str())
            : ConfigFileResult::kCannotRead;
    if (read != ConfigFileResult::kOK)
    {
        if (!log) return false;
        if (status == Platform::RegularFileStatus::kTooLarge)
            log->PostResult(kResultError, Orvo::ConfigFileTooLargeText(path.View()) + ".");
        else if (status == Platform::RegularFileStatus::kNotRegular)
            log->PostResultF(kResultError, "The keywords file '%s' is not a regular file; it was not read.",
                             path.c_str());
        else
            log->PostResultF(kResultError, "Unable to read the keywords file '%s'.", path.c_str());
        return false;
    }
    bool allSent = true, allTaken = true;
    for (size_t i = 0, n = tree.GetChildCount(); i < n; ++i)
    {
        KUID kuid;
        if (!kuid.ParseText(tree.GetChildName(i).View(), false)) continue;
        Orvo::String keywords = tree.GetChildAt(i).GetString();
        // The link carries texts up to their first zero byte: such keywords would arrive cut short.
        if (keywords.View().find('\0') != std::string_view::npos)
        {
            if (log)
                log->PostResultF(kResultError, "The keywords of %s in '%s' hold a zero byte; they were not imported.",
                                 KUID::ToText(kuid).c_str(), path.c_str());
            allTaken = false;
            continue;
        }
        if (!client.SetAssetKeywords(kuid, keywords.View())) allSent = false;
    }
    if (!allSent && log) log->PostResult(kResultError, "Unable to send the keywords to the asset database.");
    return allSent && allTaken;
}
