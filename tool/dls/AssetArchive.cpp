#include "tool/dls/AssetArchive.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"

bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason)
{
    ResultsLog entryLog;
    TDBTagRef entry;
    if (!client.GetAssetArchiveEntry(entry, kuid, &entryLog, 3) || entry.IsNull())
    {
        // An empty archive saved in its place would pass for the asset.
        reason = "The asset database could not pack the asset.";
        for (const ResultsLog::Result& r : entryLog.GetResults())
            if (r.kind == kResultError)
            {
                reason = r.text;
                break;
            }
        return false;
    }
    SetArchiveEntryDSID(entry);
    ContentArchive archive;
    if (!archive.AddAsset(reason, entry)) return false;
    return archive.Save(reason, path);
}
