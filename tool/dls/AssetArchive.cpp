#include "tool/dls/AssetArchive.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "engine/File.h"
#include "platform/OutputFile.h"

std::string ExportKeptReason(const Platform::OutputFile& output, const ExportKeptFiles& kept, const char* name)
{
    for (const ExportKeptFile& k : kept)
        if (output.IsOutput(k.file)) return std::string("the ") + name + " would be written over " + k.what;
    return {};
}

bool WriteExportFile(const Orvo::File::Path& path, std::string_view bytes, const ExportKeptFiles& kept,
                     const char* output, Orvo::String& reason, Platform::FileIdentity* written)
{
    std::string target;
    if (!Orvo::File::ResolveForWriting(path.View(), target))
    {
        reason = Orvo::String::Format("%s (%s)", path.c_str(), Orvo::File::LastError().message.c_str());
        return false;
    }
    Platform::OutputFile file;
    std::string why;
    if (!file.Open(target))
        why = file.Reason();
    else if ((why = ExportKeptReason(file, kept, output)).empty() && !file.Commit(bytes))
        why = file.Reason();
    if (why.empty())
    {
        if (written) *written = Platform::FileIdentity::OfPath(target);
        return true;
    }
    reason = Orvo::String::Format("%s (%s)", path.c_str(), why.c_str());
    return false;
}

bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason,
                        const ExportKeptFiles& kept, Platform::FileIdentity* written)
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
    // Opened once the asset is packed, right before the archive is written: nothing reaches the file before
    // Finish, so a refusal leaves it as it was.
    ContentArchiveWriter archive;
    if (!archive.Open(reason, path)) return false;
    if (const std::string why = ExportKeptReason(archive.Output(), kept, "archive"); !why.empty())
    {
        reason = Orvo::String::Format("Unable to write archive file: %s (%s)", path.c_str(), why.c_str());
        return false;
    }
    if (!archive.AddAsset(reason, entry) || !archive.Finish(reason)) return false;
    std::string target;
    if (written && Orvo::File::ResolveForWriting(path.View(), target))
        *written = Platform::FileIdentity::OfPath(target);
    return true;
}
