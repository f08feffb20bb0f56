#include "tool/HostArchiveJobs.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ArchiveStream.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADProtocol.h"

#include "core/LogPrintf.h"
#include "core/SoupBinary.h"
#include "engine/ConfigFileBound.h"
#include "platform/FolderWalk.h"
#include "tool/ArchiveInstall.h"
#include "tool/InstallTextures.h"

#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace {

// Staged assets installed by one request: the daemon's bound on a batch is 1024.
constexpr size_t kInstallBatch = 256;

// A staged copy is gone once installed (its files live on in the installed copy) or refused.
void RemoveFolderTree(const std::string& folder) { Platform::RemoveTree(folder); }

VelmarPropertyRef AssetSource(const KUID& kuid)
{
    return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid));
}

}  // namespace

bool CommandHostArchiveInstall(VADClient& client, uint32_t archiveId, ChunkedList<KUID>& kuids,
                               const Orvo::File::Path& archivePath, ResultsLog& log, const std::string& staging,
                               const std::vector<KUID>& unknown)
{
    // The file is checked whole first; its entries are then read one at a time, their files left on disk.
    ArchiveJobReader job;
    Orvo::String reason;
    if (!job.Open(archivePath, archiveId, reason))
    {
        log.PostResult(kResultError, Orvo::String::Format("CommandHostArchiveInstall> %s", reason.c_str()).View());
        return false;
    }
    const std::vector<KUID>& inFile = job.Kuids();
    std::unordered_set<KUID> listed;
    for (const KUID& k : kuids) listed.insert(k);
    // Assets new to the database are staged and installed in batches; any other (one to replace, or open
    // for editing, or met a second time) is installed on its own, after the staged assets before it.
    const bool stage = !staging.empty();
    std::unordered_set<KUID> batchable(unknown.begin(), unknown.end());
    struct Staged
    {
        size_t index;
        KUID kuid;
    };
    std::vector<Staged> held;
    std::vector<std::string> folders;
    std::vector<KUID> results(inFile.size(), KUID::Null());
    bool ok = true;
    // The job serves the daemon whose link it came on. Once that link is gone the daemon is gone too (or has
    // given up on this job): nothing more is staged or installed, and its staging folder is not made again.
    const bool linked = client.Connected();
    auto daemonGone = [&] { return linked && !client.Connected(); };
    bool stopped = false;
    auto stop = [&] {
        if (!stopped)
        {
            LogPrintf("CommandHostArchiveInstall> the link to the daemon is gone: the install job stops");
            log.PostResult(kResultError, "CommandHostArchiveInstall> the link to the asset database daemon was lost: "
                                         "the install stopped");
        }
        stopped = true;
        ok = false;
        for (const std::string& folder : folders) RemoveFolderTree(folder);
        held.clear();
        folders.clear();
    };
    // A batch is installed on a thread of its own while the next one is staged; one batch at a time, so the
    // assets are still installed in the file's order. Each batch writes only its own slots of `results`, and
    // removes its staged copies once installed (the installed copies have their files).
    std::thread installer;
    std::atomic<bool> installerOk{true};
    auto installBatch = [&](std::vector<Staged> batch, std::vector<std::string> batchFolders, uint32_t options) {
        std::vector<KUID> out;
        const bool sent = client.InstallFromFolders(batchFolders, out, &log, options).Ok();
        for (size_t h = 0; h < batch.size(); ++h)
        {
            const KUID got = sent ? out[h] : KUID::Null();
            if (got == batch[h].kuid)
                results[batch[h].index] = got;
            else
            {
                // The daemon said why for each asset it refused; a lost link is said once, by the call.
                if (!got.IsNull())
                    log.PostResult(kResultError, AssetSource(batch[h].kuid),
                                   "CommandHostArchiveInstall> the staged copy was installed as another asset");
                installerOk = false;
            }
            RemoveFolderTree(batchFolders[h]);
        }
    };
    auto waitInstalled = [&] {
        if (installer.joinable()) installer.join();
    };
    // The thread is joined however this function is left.
    struct Join
    {
        std::thread& t;
        ~Join()
        {
            if (t.joinable()) t.join();
        }
    } join{installer};
    bool heldTextures = false;  // a held copy has a texture description
    auto installHeld = [&] {
        if (held.empty()) return;
        // The batch before is installed first and its copies are gone: the staging folder then holds the held
        // copies alone, and one conversion compiles them all. Copies without a texture description have nothing
        // to compile: they count as compiled.
        waitInstalled();
        if (daemonGone()) return stop();
        const uint32_t options = kVADInstallStagedInCache | kVADInstallFavourite | kVADInstallTexturesCompiled;
        if (heldTextures)
        {
            std::vector<InstallTextureAsset> assets;
            for (size_t h = 0; h < held.size(); ++h) assets.emplace_back(folders[h], held[h].kuid);
            CompileInstallTextures(staging, assets, log);
            if (daemonGone()) return stop();
        }
        installer = std::thread(installBatch, std::move(held), std::move(folders), options);
        held.clear();
        folders.clear();
        heldTextures = false;
    };
    for (size_t i = 0; i < inFile.size() && !stopped; ++i)
    {
        const KUID& kuid = inFile[i];
        if (!listed.empty() && !listed.count(kuid)) continue;
        if (daemonGone())
        {
            stop();
            break;
        }
        ArchiveEntryOnDisk entry;
        if (!job.ReadEntry(i, entry))
        {
            log.PostResult(kResultError, AssetSource(kuid),
                           entry.configTooLarge
                               ? "CommandHostArchiveInstall> the configuration of this asset in the archive is " +
                                     Orvo::ConfigFileTooLargeReason()
                               : std::string("CommandHostArchiveInstall> the archive holds no entry for this asset"));
            ok = false;
            continue;
        }
        // The entry must be the asset it is filed under, or one asset could be installed in another's place.
        if (entry.entry.GetChildKUID("kuid") != kuid)
        {
            log.PostResult(kResultError, AssetSource(kuid),
                           "CommandHostArchiveInstall> the archive entry is filed under another asset");
            ok = false;
            continue;
        }
        if (stage && batchable.erase(kuid))
        {
            std::string folder = staging + "/" + std::to_string(i);
            bool textures = false;
            if (!StageArchiveEntryOnDisk(entry, folder, log, textures))
            {
                RemoveFolderTree(folder);
                ok = false;
                continue;
            }
            held.push_back({i, kuid});
            folders.push_back(std::move(folder));
            heldTextures = heldTextures || textures;
            if (held.size() >= kInstallBatch) installHeld();
            continue;
        }
        // The staged assets before it go first: assets are installed in the file's order.
        installHeld();
        waitInstalled();
        if (stopped) break;
        // Written as a commit wants it ("config.chump") and committed.
        results[i] = InstallAssetFromArchive(client, entry, log, kArchiveInstallCommit, 0, nullptr);
        if (results[i].IsNull()) ok = false;
    }
    installHeld();
    waitInstalled();
    if (!installerOk) ok = false;
    // A staging folder left empty by a job that stopped belongs to no one any more (rmdir leaves a full one).
    if (stopped && !staging.empty()) ::rmdir(staging.c_str());
    // Reported in the file's order, each asset once.
    std::unordered_set<KUID> seen;
    ChunkedList<KUID> installed;
    for (const KUID& result : results)
        if (!result.IsNull() && seen.insert(result).second) installed.Add(result);
    // Assets that were asked for but are not in the file count as failures too.
    std::unordered_set<KUID> present(inFile.begin(), inFile.end());
    for (const KUID& k : kuids)
    {
        if (!present.count(k))
        {
            log.PostResult(kResultError, AssetSource(k), "CommandHostArchiveInstall> the asset is not in the archive");
            ok = false;
        }
    }
    kuids = std::move(installed);
    return ok;
}

bool CommandHostArchiveSaveToDisk(VADClient& client, const ChunkedList<KUID>& kuids, TStream& file, ResultsLog& log,
                                  const std::string& copies)
{
    // Each entry is written as soon as it arrives: only one is held at a time.
    std::vector<KUID> list;
    for (const KUID& kuid : kuids) list.push_back(kuid);
    bool written = list.size() <= UINT32_MAX && file.WriteUInt32(static_cast<uint32_t>(list.size()));
    for (const KUID& kuid : list) written = written && file.WriteKUID(kuid);
    bool ok = true;
    // As an install job does, the job stops once the daemon it writes for is gone.
    const bool linked = client.Connected();
    for (const KUID& kuid : list)
    {
        if (!written) break;
        if (linked && !client.Connected())
        {
            log.PostResult(kResultError, "CommandHostArchiveSaveToDisk> the link to the asset database daemon was "
                                         "lost: the archive was not finished");
            ok = false;
            break;
        }
        TDBTagRef entry;
        std::string bytes;
        bool packed = false;
        if (copies.empty())
            packed = client.GetAssetArchiveEntry(entry, kuid, &log, 3) && !entry.IsNull();
        else
        {
            Orvo::String reason;
            std::vector<std::string> leftOut;
            packed = MakeArchiveEntryFromFolder(entry, Orvo::File::Path(copies + "/" + KUID::ToSpacedText(kuid).str()),
                                                false, reason, &leftOut);
            if (!packed) log.PostResult(kResultError, AssetSource(kuid), reason.View());
            for (const std::string& left : leftOut)
                log.PostResultF(kResultWarning, "CommandHostArchiveSaveToDisk> '%s' was left out", left.c_str());
            // The entry names the asset it is filed under, as the daemon's entries do.
            if (packed && entry.GetChildKUID("kuid") != kuid) entry.SetChildKUID("kuid", kuid);
        }
        if (!packed)
        {
            log.PostResult(kResultError, AssetSource(kuid), "CommandHostArchiveSaveToDisk> unable to pack the asset");
            ok = false;
            written = file.WriteUInt32(0);
            continue;
        }
        written = WriteSoupBinary(entry, bytes) && bytes.size() <= UINT32_MAX &&
                  file.WriteUInt32(static_cast<uint32_t>(bytes.size())) && file.WriteExact(bytes.data(), bytes.size());
    }
    if (!written || file.HasError())
    {
        log.PostResult(kResultError, "CommandHostArchiveSaveToDisk> unable to write the archive file");
        return false;
    }
    return ok;
}
