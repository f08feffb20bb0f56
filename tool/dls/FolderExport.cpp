#include "tool/dls/FolderExport.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/VelmarProperty.h"
#include "engine/File.h"
#include "platform/OutputFile.h"
#include "tool/Support.h"
#include "tool/dls/AssetArchive.h"
#include "tool/dls/CategoryTables.h"
#include "tool/dls/ExportSQL.h"
#include "tool/dls/ExportSources.h"
#include "tool/dls/HeldAsset.h"
#include "tool/dls/Thumbnails.h"

#include <string>

namespace {

constexpr int32_t kInfoDetail = VAD_DETAIL_NAME | VAD_DETAIL_CATEGORY | VAD_DETAIL_FAULTY_CHECK;  // 13
constexpr uint32_t kInstallOptions = 6;

std::string Int(int64_t v) { return std::to_string(v); }

bool HasVersionText(const KUID& k) { return k.userId > 0 && k.version != 0; }

std::string NumberedName(const KUID& k, const char* prefix, const char* separator)
{
    std::string t = prefix + Int(k.userId) + separator + Int(k.contentId);
    if (HasVersionText(k)) t += separator + Int(k.version);
    return t;
}

// A dependency as the download station writes KUIDs: the version only where the short form lacks it.
std::string DependencyText(const KUID& k)
{
    std::string t = Int(k.userId) + ":" + Int(k.contentId);
    if (!k.HasShortForm()) t += ":" + Int(k.version);
    return t;
}

template <typename F>
void ForEachCode(std::string_view list, F&& f)
{
    while (!list.empty())
    {
        const size_t end = std::min(list.find(';'), list.size());
        std::string_view code = list.substr(0, end);
        while (!code.empty() && (code.front() == ' ' || code.front() == '\t')) code.remove_prefix(1);
        while (!code.empty() && (code.back() == ' ' || code.back() == '\t')) code.remove_suffix(1);
        if (!code.empty()) f(code);
        list.remove_prefix(std::min(end + 1, list.size()));
    }
}

void PostAssetResult(ResultsLog& log, const KUID& kuid, const std::string& text)
{
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)), text);
}

Orvo::File::Path Join(const Orvo::File::Path& folder, std::string_view name)
{
    Orvo::File::Path p(folder);
    p.AddPath(name);
    return p;
}

}  // namespace

Orvo::File::Path AssetParseRoot()
{
    Orvo::File::Path root = GetUserDataPath();
    if (root.IsEmpty()) return root;
    root.AddPath("dls-parse/");
    return root;
}

std::string ExportKUIDText(const KUID& kuid) { return NumberedName(kuid, "", ":"); }

const char* ExportStateFolder(const VADAssetInfo& info)
{
    if (info.IsOnDownloadStation()) return "DLS";
    if (info.IsFaulty()) return "Faulty";
    return "VELMAR2010-Builtin";
}

VADStatus BuildAssetExportRecord(VADClient& client, const KUID& kuid, const VADAssetInfo& info, int32_t typeId,
                                 TDBTagRef& record)
{
    // A record with a field its request could not fill would go to the station as the asset's own.
    const VADResult<Orvo::String> description = client.GetAssetDescription(kuid);
    if (!description.Ok()) return description.Status();
    ChunkedList<KUID> dependencies;
    if (const VADStatus got = client.GetAssetDependencies(kuid, dependencies); !got) return got;
    // An asset without a local configuration (NotFound) has no category classes.
    TDBTagRef config;
    if (const VADStatus got = client.GetAssetConfig(config, kuid, 1); !got && got.Code() != kVADStatusNotFound)
        return got;

    const std::string k = ExportKUIDText(kuid);
    record = TDBTagRef::NewContainer();
    record.SetChildString("kuid", k);

    TDBTagRef asset = record.CreateChildContainer("asset");
    asset.SetChildInt("assettypeid", typeId);
    asset.SetChildString("title", info.username);
    asset.SetChildString("description", description.Value().View());
    asset.SetChildString("downloadpath", NumberedName(kuid, HasVersionText(kuid) ? "kuid2_" : "kuid_", "_") + ".cdp");
    asset.SetChildInt("filesize", static_cast<int32_t>(info.fileSize));
    asset.SetChildFloat("productversion", info.build);
    asset.SetChildString("kuid", k);

    TDBTagRef deps = record.CreateChildContainer("deps");
    for (const KUID& d : dependencies) deps.SetChildString(Int(int64_t(deps.GetChildCount())), DependencyText(d));

    TDBTagRef cats = record.CreateChildContainer("cats");
    auto addCategory = [&](std::string_view code) {
        if (int32_t id = LookupCategoryElementID(code)) cats.SetChildInt(Int(int64_t(cats.GetChildCount())), id);
    };
    ForEachCode(config.GetChildString("category-class").View(), addCategory);
    ForEachCode(info.era + ";" + info.region, addCategory);

    TDBTagRef elements = record.CreateChildContainer("cat_els");
    ForEachCode(info.categoryCodes,
                [&](std::string_view code) { elements.SetChildString(Int(int64_t(elements.GetChildCount())), code); });
    return VADStatus();
}

namespace {

// Installs the folder's copy of its asset, saves it and deletes it again; the installed copy the user had is
// held aside meanwhile (ExportAssetFolder).
bool ExportFolderCopy(VADClient& client, const Orvo::File::Path& folder, ExportRecordList& list,
                      const Orvo::File::Path& root, ResultsLog& log)
{
    // The daemon's own messages of a successful install are not wanted here; its reasons for a refusal are.
    ResultsLog installLog;
    KUID kuid;
    // Never over an installed copy: one the user has is held aside first, one installed meanwhile stays.
    if (!client.InstallFromFolder(kuid, OnDiskPath(folder), &installLog, kInstallOptions | kVADInstallNotOverLocalCopy))
    {
        log.PostResultF(kResultError, "Failed to install asset from: %s", folder.c_str());
        log.AppendErrors(installLog);
        return false;
    }

    VADAssetInfo info;
    if (!client.GetAssetInfo(kuid, info, kInfoDetail))
    {
        PostAssetResult(log, kuid, "Failed to read the asset's record : " + kuid.ToString());
        return false;
    }
    const int32_t typeId = GetAssetTypeID(info);
    const char* state = ExportStateFolder(info);
    Orvo::File::Path target = Join(Join(root, state), GetAssetTypeFolderName(typeId));
    if (!Orvo::File::Md(target.View()))
    {
        PostAssetResult(log, kuid, "Failed to save asset cdp : " + Orvo::File::LastError().message);
        return false;
    }
    target.AddPath(NumberedName(kuid, "", "_") + ".cdp");

    // The record goes into the SQL only with its archive in place: the download station would otherwise
    // offer a file that is not there.
    TDBTagRef record;
    if (!info.IsOnDownloadStation() && !BuildAssetExportRecord(client, kuid, info, typeId, record))
    {
        PostAssetResult(log, kuid, "Failed to read the asset's record : " + kuid.ToString());
        return false;
    }
    // Neither the archive nor the thumbnail is written over the SQL files, nor the thumbnail over the archive.
    Orvo::String reason;
    ExportKeptFiles kept = ExportSQLFilesKept(list.batch, root);
    ExportKeptFile archive{{}, "the archive '" + target.str() + "'"};
    if (!SaveAssetAsArchive(client, kuid, target, reason, kept, &archive.file))
    {
        PostAssetResult(log, kuid, "Failed to save asset cdp : " + reason.str());
        return false;
    }
    list.written.push_back(archive);
    kept.push_back(std::move(archive));
    if (!record.IsNull()) list.Add(record);

    Orvo::PString thumbName;
    Orvo::File::Path thumbnail;
    Orvo::String thumbText;
    if (client.GetAssetThumbnail(kuid, 240, thumbName, thumbnail, thumbText) && thumbnail.IsExt("jpg"))
    {
        Orvo::File::Path jpeg(target);
        jpeg.SetExt("jpg");
        ExportKeptFile written{{}, "the thumbnail '" + jpeg.str() + "'"};
        if (!WriteJPEGThumbnailFromFile(thumbnail, jpeg, reason, kept, &written.file))
            PostAssetResult(log, kuid, "Failed to save asset thumbnail : " + reason.str());
        else
            list.written.push_back(std::move(written));
    }

    // Only the run's own copy goes: one installed in its place meanwhile (by the user, from another shell) stays,
    // and the daemon's warning says so under the asset.
    ResultsLog deleteLog;
    if (!client.DeleteAsset(kuid, 1 | kVADDeleteRunsOwnCopyOnly, &deleteLog))
        PostAssetResult(log, kuid, "Failed to delete asset : " + kuid.ToString());
    else
        log.Append(deleteLog);
    return true;
}

}  // namespace

bool ExportAssetFolder(VADClient& client, const Orvo::File::Path& configPath, ExportRecordList& list,
                       const Orvo::File::Path& root, ResultsLog& log)
{
    Orvo::File::Path folder(configPath);
    folder.DelName();
    folder.DelSlash();
    // The delete takes out what the run put in: an asset the user had installed is put back as it was, also
    // where the export failed after the install.
    HeldInstalledAsset held;
    if (!held.Hold(client, configPath, folder, log)) return false;
    const bool exported = ExportFolderCopy(client, folder, list, root, log);
    return held.PutBack(client, log) && exported;
}

namespace {

// The configuration file of the asset a folder holds: "config.chump", else "config.txt"; empty when it holds
// neither (no asset).
Orvo::File::Path AssetFolderConfig(const Orvo::File::Path& folder)
{
    Orvo::File::Path config = Join(folder, "config.chump");
    if (!Orvo::File::IsFile(config.View())) config = Join(folder, "config.txt");
    return Orvo::File::IsFile(config.View()) ? config : Orvo::File::Path();
}

void FindAssetFoldersBelow(const Orvo::File::Path& folder, std::vector<AssetFolderFound>& found, ResultsLog& log,
                           int depth)
{
    Orvo::File::Find find;
    if (!find.Open(Join(folder, "*").View()))
    {
        log.PostResultF(kResultError, "Unable to search path: '%s'", folder.c_str());
        return;
    }
    for (const Orvo::File::Find::Entry& entry : find)
    {
        if (entry.name.empty() || entry.name[0] == '.' || !entry.isFolder) continue;
        const Orvo::File::Path child = Join(folder, entry.name);
        Orvo::File::Path config = AssetFolderConfig(child);
        if (!config.IsEmpty())
            found.push_back({child, std::move(config)});
        else if (depth + 1 < kMaxInstallTreeDepth)
            FindAssetFoldersBelow(child, found, log, depth + 1);
        else
            log.PostResultF(kResultWarning,
                            "Folder tree too deep, not searched further: '%s' lies %d folders below the folder given, "
                            "the deepest a search goes; the folders in it are not searched.",
                            child.c_str(), kMaxInstallTreeDepth);
    }
}

}  // namespace

std::vector<AssetFolderFound> FindAssetFolders(const Orvo::File::Path& folder, ResultsLog& log)
{
    std::vector<AssetFolderFound> found;
    FindAssetFoldersBelow(folder, found, log, 0);
    return found;
}

bool ExportDownloadStationFolder(VADClient& client, const Orvo::File::Path& folder, ResultsLog& log)
{
    if (!Orvo::File::IsDirectory(folder.View()))
    {
        log.PostResult(kResultError, "Invalid input path.");
        return false;
    }
    const Orvo::File::Path root = AssetParseRoot();
    if (root.IsEmpty())
    {
        log.PostResult(kResultError, "The installation folder is not known: there is no place for the output.");
        return false;
    }
    const uint32_t errorsBefore = log.ErrorCount();
    const std::vector<AssetFolderFound> assets = FindAssetFolders(folder, log);
    // A folder with nothing to export is a slip (an empty folder, or an asset folder itself, whose asset is looked
    // for in the folders below it): said as installfrompath says it, and nothing is written.
    if (assets.empty())
    {
        log.PostResultF(kResultError, "No asset folder (holding config.txt or config.chump) found in '%s'.",
                        folder.c_str());
        return false;
    }
    // Every file the export reads is known before anything is written, and no output is written over one.
    Platform::KeptInputs sources;
    std::string why;
    std::vector<Orvo::File::Path> assetFolders;
    for (const AssetFolderFound& asset : assets) assetFolders.push_back(asset.folder);
    if (!KeepExportSources(folder, assetFolders, sources, why))
    {
        log.PostResult(kResultError, why);
        return false;
    }
    ExportRecordList list;
    for (const AssetFolderFound& asset : assets)
    {
        if (client.LinkFailed()) break;  // no further asset can be installed; the dispatcher says why
        WriteExportBatchIfFull(list, root, &log);
        // A folder not exported has said why; the command's result counts the errors.
        (void)ExportAssetFolder(client, asset.config, list, root, log);
    }
    WriteLastExportBatch(list, root, &log);
    return log.ErrorCount() == errorsBefore;
}
