#include "assetdb/CommandHostJobs.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADRequests.h"

#include "core/LogPrintf.h"

#include <atomic>

namespace {

// Process-wide hooks: validation and the archive install live in layers above this library, which register
// them at start-up to break what would be an include cycle.
std::atomic<CommandHostValidateFn> g_validate{nullptr};
std::atomic<ArchiveInstallFn> g_install{nullptr};

VelmarPropertyRef AssetSource(const KUID& kuid)
{
    return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString("AssetID"), kuid));
}

bool Listed(const ChunkedList<KUID>& kuids, const KUID& k)
{
    for (const KUID& listed : kuids)
        if (listed == k) return true;
    return false;
}

}  // namespace

void SetCommandHostValidateHook(CommandHostValidateFn fn) { g_validate.store(fn); }

void SetArchiveInstallHook(ArchiveInstallFn fn) { g_install.store(fn); }

uint8_t CommandHostValidate(CommandHostValidateJob job, ResultsLog& log)
{
    CommandHostValidateFn fn = g_validate.load();
    if (!fn)
    {
        log.PostResult(kResultError, "CommandHostValidate> validation is not available in this program");
        return 0;
    }
    return fn(job.source, job.assetPath, log) ? 1 : 0;
}

bool CommandHostArchiveInstall(uint32_t archiveId, ChunkedList<KUID>& kuids, const Orvo::File::Path& archivePath,
                               ResultsLog& log)
{
    ArchiveInstallFn install = g_install.load();
    if (!install)
    {
        log.PostResult(kResultError, "CommandHostArchiveInstall> archive install is not available in this program");
        return false;
    }
    ArchiveJobContents contents;
    Orvo::String reason;
    if (!ReadArchiveJobFile(archivePath, archiveId, contents, reason))
    {
        log.PostResult(kResultError, Orvo::String::Format("CommandHostArchiveInstall> %s", reason.c_str()).View());
        return false;
    }
    ChunkedList<KUID> installed;
    bool ok = true;
    for (size_t i = 0; i < contents.kuids.size(); ++i)
    {
        const KUID& kuid = contents.kuids[i];
        if (!kuids.IsEmpty() && !Listed(kuids, kuid)) continue;
        const TDBTagRef& entry = contents.entries[i];
        if (entry.IsNull())
        {
            log.PostResult(kResultError, AssetSource(kuid),
                           "CommandHostArchiveInstall> the archive holds no entry for this asset");
            ok = false;
            continue;
        }
        // The entry must be the asset it is filed under, or one asset could be installed in another's place.
        if (entry.GetChildKUID("kuid") != kuid)
        {
            log.PostResult(kResultError, AssetSource(kuid),
                           "CommandHostArchiveInstall> the archive entry is filed under another asset");
            ok = false;
            continue;
        }
        KUID result = install(entry, log, kArchiveInstallJobFlags);
        if (result.IsNull())
        {
            ok = false;
            continue;
        }
        if (!installed.Find(result)) installed.Add(result);
    }
    // Assets that were asked for but are not in the file count as failures too.
    for (const KUID& k : kuids)
    {
        bool present = false;
        for (const KUID& inFile : contents.kuids) present = present || inFile == k;
        if (!present)
        {
            log.PostResult(kResultError, AssetSource(k), "CommandHostArchiveInstall> the asset is not in the archive");
            ok = false;
        }
    }
    kuids = std::move(installed);
    return ok;
}

bool CommandHostArchiveSaveToDisk(const ChunkedList<KUID>& kuids, TStream& file, ResultsLog& log)
{
    ArchiveJobContents contents;
    bool ok = true;
    for (const KUID& kuid : kuids)
    {
        TDBTagRef entry;
        if (!VADGetAssetArchiveEntry(entry, kuid, &log, 3) || entry.IsNull())
        {
            log.PostResult(kResultError, AssetSource(kuid), "CommandHostArchiveSaveToDisk> unable to pack the asset");
            entry = TDBTagRef();
            ok = false;
        }
        contents.kuids.push_back(kuid);
        contents.entries.push_back(entry);
    }
    if (!WriteArchiveJobBody(file, contents))
    {
        log.PostResult(kResultError, "CommandHostArchiveSaveToDisk> unable to write the archive file");
        return false;
    }
    return ok;
}
