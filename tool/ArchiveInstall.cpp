#include "tool/ArchiveInstall.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADProtocol.h"
#include "core/ConfigFile.h"
#include "core/InterfaceTextDB.h"
#include "core/PathHelpers.h"
#include "core/VelmarProperty.h"
#include "engine/FileFind.h"
#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "tool/InstallTextures.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

// Every result of an install names its asset, both as source and as "$(ASSET_KUID)".
void PostInstallResult(ResultsLog& log, uint32_t kind, const KUID& kuid, const char* key,
                       const Orvo::String* reason = nullptr)
{
    TDBTagRef params = TDBTagRef::NewContainer();
    params.SetChildString("asset_kuid", KUID::ToText(kuid).View());
    if (reason) params.SetChildString("reason_text", reason->View());
    log.PostResult(kind, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid)),
                   GetInterfaceString(key).View(), params);
}

// The installable config headed by its "kuid" tag, as asset configs are written; an entry packed by the
// daemon carries the tag last.
TDBTagRef KUIDFirst(const TDBTagRef& config)
{
    TDBTagRef ordered = TDBTagRef::NewContainer();
    // Names compare without regard to case; the first match is the one that counts.
    size_t kuidAt = config.GetChildCount();
    for (size_t i = 0; i < config.GetChildCount() && kuidAt == config.GetChildCount(); ++i)
        if (config.GetChildName(i).ToLower().View() == "kuid") kuidAt = i;
    if (kuidAt < config.GetChildCount())
        ordered.AddChildTag(config.GetChildName(kuidAt).View(), config.GetChildAt(kuidAt));
    for (size_t i = 0; i < config.GetChildCount(); ++i)
        if (i != kuidAt) ordered.AddChildTag(config.GetChildName(i).View(), config.GetChildAt(i));
    return ordered;
}

// The configuration files at the top of an asset folder ("config.txt" and "config.chump" in any case): the
// stub that a new asset's edit folder starts with, or copies that came in the package's files. The entry's
// own config supersedes them, and an asset has one configuration file only.
void RemoveConfigFiles(const Orvo::File::Path& folder)
{
    Orvo::File::Path pattern = folder;
    pattern.AddPath("config.*");
    Orvo::File::Find find;
    if (!find.Open(pattern.View())) return;
    for (const auto& e : find)
    {
        if (e.isFolder || !(Orvo::EqualsNoCase(e.name, "config.txt") || Orvo::EqualsNoCase(e.name, "config.chump")))
            continue;
        Orvo::File::Path path = folder;
        path.AddPath(e.name);
        Orvo::File::Delete(path.View());
    }
}

// Writes the entry's files into the folder; `dsidMatches` tells whether the entry's "dsid" is their checksum.
using ExportFiles = bool (*)(const void* source, const Orvo::File::Path& folder, Orvo::String& reason,
                             bool& dsidMatches);

}  // namespace

bool StageArchiveEntryOnDisk(const ArchiveEntryOnDisk& entry, const std::string& folderText, ResultsLog& log,
                             bool& textures)
{
    const KUID kuid = entry.entry.GetChildKUID("kuid", KUID::Null());
    if (kuid.IsNull())
    {
        PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return false;
    }
    // The staging folder is the daemon's: made by it, removed by it (or by the next one after a crash). Only
    // the copy's own folder is made here (owner-only), so that a job outliving its daemon cannot make the staging
    // folder again; the copy is written into it by exact names, relative to it, without the engine's look-ups.
    Orvo::String reason, dsid;
    if (!StageArchiveFilesOnDisk(entry, folderText, GetArchiveEntryCompression(entry.entry).View(), reason, dsid,
                                 &textures))
    {
        PostInstallResult(log, kResultError, kuid, "$vad_failed_install", &reason);
        return false;
    }
    std::string config;
    if (!SerializeConfigData(KUIDFirst(MakeInstallableAssetConfig(entry.entry)), ConfigFileForm::kBinary, config) ||
        !WriteNewFileExact(folderText + "/config.chump", config))
    {
        PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return false;
    }
    const bool dsidMatches =
        entry.entry.GetChildType("dsid") == kACSString && entry.entry.GetChildString("dsid").View() == dsid.View();
    if (entry.entry.HasChild("dsid") && !dsidMatches)
        PostInstallResult(log, kResultWarning, kuid, "$vad_dsid_mismatch");
    return true;
}

uint32_t ArchiveInstallCommitOption(uint32_t flags)
{
    uint32_t option = 0;
    if (flags & kArchiveInstallDSIDMatches) option |= 6;
    if (flags & kArchiveInstallOption8) option |= 8;
    return option;
}

ArchivePromptKeys ChooseArchivePromptKeys(uint8_t flags, uint8_t flags2)
{
    if (flags2 & VAD_INFO2_OPEN_FOR_EDIT) return {"$vad_prompt_openforedit", "$vad_prompt_openforedit_log"};
    if (flags & VAD_INFO_BUILTIN) return {"$vad_prompt_builtin", "$vad_prompt_builtin_log"};
    if (flags & VAD_INFO_DLS_ITEM) return {"$vad_prompt_dls_item", "$vad_prompt_dls_item_log"};
    return {"$vad_prompt_alreadyinstalled", "$vad_prompt_alreadyinstalled_log"};
}

namespace {

KUID InstallEntry(VADClient& client, const TDBTagRef& entry, const void* source, ExportFiles exportFiles,
                  ResultsLog& log, uint32_t flags, uint8_t commitFlag, ArchiveInstallPrompt* prompt)
{
    flags &= ~uint32_t(kArchiveInstallDSIDMatches);

    const KUID kuid = entry.GetChildKUID("kuid", KUID::Null());
    // Without a KUID the daemon would make up a new one, and nobody could tell which asset was installed.
    if (kuid.IsNull())
    {
        PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return KUID::Null();
    }
    VADAssetInfo info;
    const VADStatus known = client.GetAssetInfo(kuid, info, VAD_DETAIL_ALL);
    // An asset the database does not know is made anew; without the database's word nothing is written.
    if (!known && known.Code() != kVADStatusNotFound)
    {
        PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return KUID::Null();
    }
    const TDBTagRef config = KUIDFirst(MakeInstallableAssetConfig(entry));
    const Orvo::String displayName = GetAssetDisplayName(entry);

    // The caller's wish to commit stands even for a replaced asset: the edit folder is a copy of the
    // installed one, so without the commit the installed asset would stay the old one.
    const bool commit = (flags & kArchiveInstallCommit) != 0;
    // An edit in progress is its user's work: without a prompt to ask, it is neither replaced nor committed.
    // The daemon refuses such assets before the job, and the open below for one opened meanwhile: the check
    // and the open are one step there (a check here could be overtaken before the open).
    if (!prompt && info.IsValid() && info.IsOpenForEdit())
    {
        PostInstallResult(log, kResultError, kuid, "$vad_prompt_openforedit_log");
        return KUID::Null();
    }
    const bool installed = info.IsValid() && info.IsInstalled();
    if (installed)
    {
        if (prompt)
        {
            const ArchivePromptKeys keys = ChooseArchivePromptKeys(info.flags, info.flags2);
            const int answer = prompt->Ask(GetInterfaceString(keys.prompt), GetInterfaceString(keys.log), kuid, log);
            if (answer != kArchivePromptReplace && answer != kArchivePromptReplaceAll) return KUID::Null();
        }
        flags &= ~uint32_t(kArchiveInstallCommit);
    }

    VADEditHandle handle;
    VADStatus opened(kVADStatusNotFound);
    // The daemon's reason for a refused open (an edit of its user's opened meanwhile) goes on the log.
    ResultsLog openLog;
    if (info.IsValid()) opened = client.OpenAssetForEdit(handle, kuid, 1, installed ? &openLog : nullptr);
    // A record of an asset that is not installed (deleted, or only listed) cannot be opened; it is made anew
    // instead, as an asset without a record is.
    if (!opened && !installed) opened = client.CreateAsset(handle, kuid, displayName.View(), 0, &openLog);
    if (!opened)
    {
        if (openLog.ErrorCount() > 0)
            log.Append(openLog);
        else
            PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return KUID::Null();
    }
    // What the open said about work it kept (a folder found where the edit folder goes) is the user's to hear.
    log.Append(openLog);
    Orvo::PString sourceName;
    Orvo::File::Path folder;
    if (!client.GetEditFolder(handle, sourceName, folder) || folder.IsEmpty())
    {
        PostInstallResult(log, kResultError, kuid, "$vad_write_error");
        return KUID::Null();
    }
    if (installed)
    {
        if (!DeletePathAt("", folder.View(), UserDataDeletionBounds()))
        {
            PostInstallResult(log, kResultError, kuid, "$vad_overwrite_error");
            return KUID::Null();
        }
        CreateFolderAt("", folder.View());
    }

    Orvo::String reason;
    bool dsidMatches = false;
    if (!exportFiles(source, folder, reason, dsidMatches))
    {
        PostInstallResult(log, kResultError, kuid, "$vad_failed_install", &reason);
        // Said already; a revert that fails too leaves the edit for its user to revert.
        (void)client.RevertAsset(handle);
        return KUID::Null();
    }
    if (dsidMatches) flags |= kArchiveInstallDSIDMatches;

    RemoveConfigFiles(folder);
    Orvo::File::Path configPath = folder;
    configPath.AddPath((flags & kArchiveInstallCommit) ? "config.chump" : "config.txt");
    if (!SaveConfigFile(config, "", configPath.View()))
    {
        // Without its configuration the folder is no asset: it must not be reported installed.
        const Orvo::String reason = Orvo::String::Format("Unable to write '%s'.", configPath.c_str());
        PostInstallResult(log, kResultError, kuid, "$vad_failed_install", &reason);
        (void)client.RevertAsset(handle);  // said already; a failing revert leaves the edit to its user
        return KUID::Null();
    }
    // Installed all the same (what the checksum guards is also what a package edited by hand changes), but
    // the user hears of it, and the commit is not told that the files match.
    if (entry.HasChild("dsid") && !(flags & kArchiveInstallDSIDMatches))
        PostInstallResult(log, kResultWarning, kuid, "$vad_dsid_mismatch");

    // Its textures are compiled here before the commit (this may be the command host the daemon would ask).
    if (commit) CompileInstallTextures(folder.str(), {{folder.str(), kuid}}, log);
    // The edit folder was written here and is not written again: its files are handed over, not copied.
    if (commit && !client.CommitAsset(
                      handle, ArchiveInstallCommitOption(flags) | kVADCommitHandOverFiles | kVADCommitTexturesCompiled,
                      &log, nullptr, commitFlag))
    {
        // The commit said why; the asset must not stay half made and open for editing (a revert that fails
        // too leaves the edit for its user).
        (void)client.RevertAsset(handle);
        return KUID::Null();
    }

    handle.Release();
    // The mark is a convenience: the asset stands installed without it, and its user hears that it has none.
    const VADStatus marked = client.SetAssetFavorite(kuid, 1);
    if (!marked)
        log.PostResult(kResultWarning, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid)),
                       marked.LinkFailed() ? "The asset was installed, but the asset database daemon did not confirm "
                                             "its favourite mark: it may not be marked as a favourite."
                                           : "The asset was installed, but the asset database could not mark it as a "
                                             "favourite.");
    PostInstallResult(log, kResultSuccess, kuid, "$vad_installed");
    return kuid;
}

}  // namespace

KUID InstallAssetFromArchive(VADClient& client, const TDBTagRef& entry, ResultsLog& log, uint32_t flags,
                             uint8_t commitFlag, ArchiveInstallPrompt* prompt)
{
    auto exportTree = [](const void* source, const Orvo::File::Path& folder, Orvo::String& reason, bool& dsidMatches) {
        const TDBTagRef& e = *static_cast<const TDBTagRef*>(source);
        dsidMatches = CheckArchiveEntryDSID(e);
        return ExportFileTree(GetArchiveEntryFiles(e), folder, GetArchiveEntryCompression(e).View(), reason);
    };
    return InstallEntry(client, entry, &entry, exportTree, log, flags, commitFlag, prompt);
}

KUID InstallAssetFromArchive(VADClient& client, const ArchiveEntryOnDisk& entry, ResultsLog& log, uint32_t flags,
                             uint8_t commitFlag, ArchiveInstallPrompt* prompt)
{
    auto exportOnDisk = [](const void* source, const Orvo::File::Path& folder, Orvo::String& reason,
                           bool& dsidMatches) {
        const ArchiveEntryOnDisk& e = *static_cast<const ArchiveEntryOnDisk*>(source);
        Orvo::String dsid;
        if (!ExportFileTreeOnDisk(e, folder, GetArchiveEntryCompression(e.entry).View(), reason, dsid)) return false;
        dsidMatches =
            e.entry.GetChildType("dsid") == kACSString && e.entry.GetChildString("dsid").View() == dsid.View();
        return true;
    };
    return InstallEntry(client, entry.entry, &entry, exportOnDisk, log, flags, commitFlag, prompt);
}
