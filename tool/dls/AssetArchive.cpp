#include "tool/dls/AssetArchive.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "engine/File.h"

bool IsReadFile(const Orvo::File::Path& path, const Platform::FileIdentity& read)
{
    std::string onDisk;
    if (!read.known || !Orvo::File::Resolve(path.View(), onDisk)) return false;
    return Platform::FileIdentity::OfName(onDisk).IsSameFile(read) ||
           Platform::FileIdentity::OfPath(onDisk).IsSameFile(read);
}

bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason,
                        const Platform::FileIdentity& read)
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
    // Decided once the asset is packed, right before the archive is written.
    if (IsReadFile(path, read))
    {
        reason = Orvo::String::Format("Unable to write archive file: %s (the archive would be written over the package "
                                      "being parsed)",
                                      path.c_str());
        return false;
    }
    SetArchiveEntryDSID(entry);
    ContentArchive archive;
    if (!archive.AddAsset(reason, entry)) return false;
    return archive.Save(reason, path);
}
