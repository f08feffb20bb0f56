#include "tool/dls/PackageParse.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/PatternList.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/ChunkedList.h"
#include "core/CoreThreads.h"
#include "core/CoreTime.h"
#include "core/InterfaceTextDB.h"
#include "core/MainThreadWork.h"
#include "core/VelmarProperty.h"
#include "tool/ArchiveInstall.h"
#include "tool/AssetStatus.h"
#include "tool/Support.h"
#include "tool/ValidateCommand.h"
#include "tool/dls/AssetArchive.h"
#include "tool/dls/DLSText.h"
#include "tool/dls/Thumbnails.h"

#include <chrono>
#include <set>
#include <thread>

namespace {

constexpr uint32_t kInstallFlags = 6;
constexpr unsigned kReadyPollMs = 50;

void Post(ResultsLog& log, const std::string& text) { log.PostResult(kResultMessage, text); }

bool WriteThumbnail(VADClient& client, const KUID& kuid, const TDBTagRef& packageThumbnail,
                    const Orvo::File::Path& target, const ExportKeptFiles& kept, ResultsLog& log)
{
    Orvo::PString name;
    Orvo::File::Path local;
    Orvo::String text, reason;
    bool written = true;
    // Without a thumbnail of its own the asset gets the package's.
    if (!client.GetAssetThumbnail(kuid, 240, name, local, text)) local = Orvo::File::Path();
    const bool own = local.IsExt("jpg") || local.IsExt("jpeg") || local.IsExt("bmp") || local.IsExt("tga");
    if (own)
        written = WriteJPEGThumbnailFromFile(local, target, reason, kept);
    else if (!packageThumbnail.IsNull())
        written = ExportArchiveThumbnail(packageThumbnail, target, reason, kept);
    if (!written) log.PostResult(kResultError, "Unable to write the thumbnail: " + reason.str());
    return written;
}

// The lines and files of one installed asset; the asset is the source of every result meanwhile. False
// when its archive or thumbnail could not be written, or would have been written over the package.
bool DescribeAsset(VADClient& client, const KUID& kuid, bool skipBuildRule, const TDBTagRef& packageThumbnail,
                   const Orvo::File::Path& outputFolder, const Platform::FileIdentity& package, ResultsLog& log)
{
    log.PushContext(VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid)));
    // Both post their failures as errors.
    (void)PrintAssetStatus(client, kuid, log);
    (void)ValidateCommand(client, kuid, skipBuildRule, log);

    // A line whose request failed would pass for the asset's own empty value: the failure is said instead.
    bool described = true;
    auto failed = [&](const char* what) {
        log.PostResultF(kResultError, "Unable to read the asset's %s.", what);
        described = false;
    };
    auto text = [&](VADResult<Orvo::String> result, const char* what) {
        if (!result.Ok()) failed(what);
        return EscapeLineBreaks(std::move(result).ValueOr(Orvo::String()).View()).str();
    };
    VADAssetInfo info;
    if (!client.GetAssetInfo(kuid, info, VAD_DETAIL_ALL)) failed("record");
    Post(log, "Name: " + text(client.GetAssetName(kuid), "name"));
    Post(log, "Description: " + text(client.GetAssetDescription(kuid), "description"));
    Post(log, Orvo::String::Format("Velmar-build: %.1f", static_cast<double>(info.build)).str());
    ChunkedList<KUID> dependencies;
    if (!client.GetAssetDependencies(kuid, dependencies)) failed("dependencies");
    Post(log, "Dependencies: " + JoinKUIDList(dependencies).str());
    std::set<KUID> obsoletes;
    if (!client.GetAssetObsoletes(kuid, obsoletes)) failed("obsoletes");
    Post(log, "Obsoletes: " + JoinKUIDSet(obsoletes).str());

    const std::string spaced = kuid.ToSpacedString();
    Orvo::File::Path archive(outputFolder);
    archive.AddPath(spaced + ".cdp");
    // The thumbnail is written over neither the package nor the archive just written (a second name of either).
    ExportKeptFiles kept{{package, "the package being parsed"}};
    ExportKeptFile written{{}, "the asset's archive"};
    bool saved = WriteAssetArchive(client, kuid, archive, log, kept, &written.file);
    if (saved) kept.push_back(std::move(written));
    Orvo::File::Path thumbnail(outputFolder);
    thumbnail.AddPath(spaced + ".jpg");
    saved = WriteThumbnail(client, kuid, packageThumbnail, thumbnail, kept, log) && saved;

    TDBTagRef config;
    if (!client.GetAssetConfig(config, kuid, 1)) failed("configuration");
    Post(log, "kind: " + config.GetChildString("kind").str());
    Post(log, "alias-kuid: " + config.GetChildKUID("alias", KUID::Null()).ToString());
    Post(log, "category-region: " + text(client.GetAssetCategoryRegion(kuid), "region"));
    Post(log, "category-era: " + text(client.GetAssetCategoryEra(kuid), "era"));
    Orvo::String classes;
    AppendMissingPatternTerms(config.GetChildString("category-class").View(),
                              config.GetChildString("custom-category-list").View(), "#", classes);
    Post(log, "category-class: " + EscapeLineBreaks(classes.View()).str());
    log.PopContext();
    return saved && described;
}

}  // namespace

bool WaitForDaemonReady(VADClient& client, ResultsLog& log, unsigned boundMs)
{
    const bool mainThread = IsMainThread();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    // The loop below asks until the daemon is ready or the bound has passed, whatever this one answered.
    (void)client.BeginWaitReady();
    // A link that is gone never answers "ready": the wait ends with it.
    while (!client.IsReady().ValueOr(false))
    {
        if (client.LinkFailed() || !client.Connected()) return false;  // the dispatcher reports the link
        if (std::chrono::steady_clock::now() >= deadline)
        {
            log.PostResult(kResultError, "The asset database did not become ready in time.");
            return false;
        }
        if (mainThread)
        {
            WaitForMainThreadWork(kReadyPollMs);
            MainThreadUpdate();
        }
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadyPollMs));
    }
    return true;
}

void InstallMissingDependencies(VADClient& client, const KUID& kuid)
{
    if (!client.Connected()) return;
    // A download station whose package does not hold the version it promises would have every pass
    // install again: the passes are bounded.
    for (int pass = 0; pass < kMaxDependencyPasses; ++pass)
    {
        ChunkedList<KUID> dependencies;
        if (!client.GetAssetDependencies(kuid, dependencies) || dependencies.IsEmpty()) return;
        bool lastInstalled = false;
        for (const KUID& d : dependencies) lastInstalled = InstallFromDownloadStation(client, d, nullptr);
        if (!lastInstalled) return;
    }
}

bool WriteAssetArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, ResultsLog& log,
                       const ExportKeptFiles& kept, Platform::FileIdentity* written)
{
    Orvo::String reason;
    if (SaveAssetAsArchive(client, kuid, path, reason, kept, written)) return true;
    log.PostResult(kResultError, "Unable to write asset to CDP: " + reason.str());
    return false;
}

bool ExportArchiveThumbnail(const TDBTagRef& tag, const Orvo::File::Path& path, Orvo::String& reason,
                            const ExportKeptFiles& kept)
{
    // Only image data is taken: a package from elsewhere must not name a file on this machine.
    const ACSRawDataCore* data = tag.GetData();
    if (tag.GetType() != kACSBinary || !data)
    {
        reason = "The package's thumbnail holds no image data.";
        return false;
    }
    return WriteJPEGThumbnail(data->GetString(), "the package's thumbnail", path, reason, kept);
}

bool ParseDownloadStationPackage(VADClient& client, const Orvo::File::Path& path, int32_t uploaderId, ResultsLog& log)
{
    if (!WaitForDaemonReady(client, log)) return false;
    const uint32_t errorsBefore = log.ErrorCount();

    // The package is held in memory from here; what it was on disk is never written over.
    ContentArchive archive;
    Orvo::String result;
    Platform::FileIdentity package;
    if (!archive.Load(result, "", path.View(), &package))
    {
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("file_path", path.View());
        log.PostResult(kResultError, GetInterfaceString("$vad_unreadable_cdp").View(), params);
        log.PostResult(kResultError, result.View());
        return false;
    }
    TDBTagRef packageThumbnail;
    FindArchiveTag(archive.GetRoot(), "thumbnail", packageThumbnail);

    ChunkedList<KUID> installed;
    for (size_t i = 0; i < archive.GetAssetCount(); ++i)
    {
        const KUID kuid = InstallAssetFromArchive(client, archive.GetAssetAt(i), log, kInstallFlags, 0, nullptr);
        if (!kuid.IsNull() && !installed.Find(kuid)) installed.Add(kuid);
        if (log.ErrorCount() > errorsBefore)
        {
            // The abort is said below; an asset whose revert fails stays for its user to remove.
            for (const KUID& k : installed) (void)client.RevertAssetByKUID(k, nullptr, 1);
            log.PostResult(kResultError, "Aborted processing");
            return false;
        }
    }

    for (const KUID& kuid : installed)
    {
        // A configuration that cannot be read has no kind: the asset's dependencies are fetched as any asset's.
        TDBTagRef config;
        (void)client.GetAssetConfig(config, kuid, 0);
        const Orvo::String kind = config.GetChildString("kind");
        if (kind.View() != "map" && kind.View() != "profile") InstallMissingDependencies(client, kuid);
    }

    Orvo::File::Path outputFolder(path);
    outputFolder.DelName();
    const bool skipBuildRule = uploaderId == kBuildRuleExemptUploader;
    bool written = true;
    for (const KUID& kuid : installed)
    {
        if (client.LinkFailed()) return false;  // the dispatcher says why
        written = DescribeAsset(client, kuid, skipBuildRule, packageThumbnail, outputFolder, package, log) && written;
    }
    return written;
}
