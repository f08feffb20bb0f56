#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "engine/File.h"

#include <string>

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
    const ConfigFileForm form = ConfigFileFormFor(path.View(), format);
    std::string bytes, why = form == ConfigFileForm::kUnknown ? "the file form asked for is unknown"
                             : form == ConfigFileForm::kText  ? "it cannot be put in the configuration text form"
                                                              : "it cannot be put in the binary configuration form";
    if (SerializeConfigData(tree, form, bytes) &&
        WriteUserFile(Orvo::File::Path(ConfigFilePath(resourceName, path.View())), bytes, why))
        return true;
    if (log) log->PostResultF(kResultError, "Unable to write the keywords file '%s': %s.", path.c_str(), why.c_str());
    return false;
}
