#include "tool/HostJobs.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADResultRouting.h"
#include "core/LogPrintf.h"
#include "core/TFile.h"
#include "engine/PathComponents.h"
#include "textures/TextureConversion.h"
#include "textures/TextureTargets.h"
#include "tool/HostArchiveJobs.h"
#include "validation/DataManager.h"
#include "validation/ValidateAsset.h"

namespace {

// The archive file of a save job is written where the daemon says, but only inside the installation's
// user data: a link that reached the wrong daemon must not be able to overwrite any file we can write.
bool IsArchiveJobPathAllowed(const std::string& path)
{
    const std::string userData(GetUserDataPath().View());
    if (userData.empty() || path.size() <= userData.size() + 1) return false;
    if (path.compare(0, userData.size(), userData) != 0 || path[userData.size()] != '/') return false;
    return !Orvo::HasDotDotPart(path);
}

// The driver acquires the source's resource database for the asset it validates, and asks the daemon the job
// came from to check the folder once its configuration passed.
uint32_t RunValidate(VADClient& client, const VADJob& job, ResultsLog& log, TETLib::DataManager* validation)
{
    // Start-up makes the data manager (a failure ends start-up); a host without one says so.
    if (validation == nullptr)
    {
        log.PostResult(kResultError, "CommandHostValidate> validation is not available in this program");
        return 0;
    }
    const Orvo::PString source(job.source);
    const Orvo::File::Path folder(job.path);
    const TETLib::AssetFolderCheck folderCheck = [&client](std::string_view checkSource,
                                                           const Orvo::File::Path& checkFolder, ResultsLog& checkLog) {
        return client.CheckAssetFolder(checkSource, checkFolder, &checkLog).ValueOr(false);
    };
    return TETLib::ValidateAssetForCommandHost(*validation, source, folder, log, folderCheck) ? 1 : 0;
}

uint32_t RunTextureConvert(VADClient&, const VADJob& job, ResultsLog& log)
{
    // Held for the job: the conversion finds the source's resources through it.
    ResourceDatabaseHolder held;
    held.AcquireForSource(job.source);
    // A compiled texture that is current (an installed asset's, come back in a package) is kept.
    return ConvertTexturesInPath(job.source, Orvo::File::Path(job.path), ParseTextureTargetList(job.targets), log,
                                 true);
}

uint32_t RunArchiveSave(VADClient& client, const VADJob& job, ResultsLog& log)
{
    // Optionally the folder of the assets' copies to save instead of the installed assets.
    const std::string& copies = job.staging;
    if (!copies.empty() && !IsArchiveJobPathAllowed(copies))
    {
        log.PostResultF(kResultError, "CommandHostCallback> refused to read assets outside the user data folder ('%s')",
                        copies.c_str());
        return 0;
    }
    if (!IsArchiveJobPathAllowed(job.path))
    {
        log.PostResultF(kResultError,
                        "CommandHostCallback> refused to write the archive file '%s' outside the user data folder",
                        job.path.c_str());
        return 0;
    }
    TFile file;
    if (!file.Open(job.path, TFile::kWrite) || !WriteArchiveJobHeader(file, job.archiveId))
    {
        log.PostResultF(kResultError, "CommandHostCallback> unable to write the archive file '%s'", job.path.c_str());
        return 0;
    }
    ChunkedList<KUID> kuids;
    for (const KUID& k : job.kuids) kuids.Add(k);
    bool ok = CommandHostArchiveSaveToDisk(client, kuids, file, log, copies);
    if (!FinishArchiveJobHeader(file) || !file.Close())
    {
        log.PostResultF(kResultError, "CommandHostCallback> unable to write the archive file '%s'", job.path.c_str());
        ok = false;
    }
    return ok ? 1 : 0;
}

// The answer is the list of what was installed; what failed is on the log.
std::vector<KUID> RunArchiveInstall(VADClient& client, const VADJob& job, ResultsLog& log)
{
    // Optionally a folder to stage new assets in and the assets that may be staged.
    std::string staging = job.staging;
    if (!staging.empty() && !IsArchiveJobPathAllowed(staging))
    {
        // Installed one at a time instead: nothing is written outside the user data folder.
        LogPrintf("CommandHostCallback> the staging folder '%s' is outside the user data folder", staging.c_str());
        staging.clear();
    }
    ChunkedList<KUID> kuids;
    for (const KUID& k : job.kuids) kuids.Add(k);
    // A failure is on the log, and the list says what was installed all the same.
    (void)CommandHostArchiveInstall(client, job.archiveId, kuids, Orvo::File::Path(job.path), log, staging,
                                    job.unknown);
    std::vector<KUID> installed;
    for (const KUID& k : kuids) installed.push_back(k);
    return installed;
}

struct JobRow
{
    uint32_t id;
    const char* name;
};

// The jobs the daemon hands its command host, by command id.
constexpr JobRow kJobs[] = {
    {VAD_CMDHOST_VALIDATE, "VAD_CMDHOST_VALIDATE"},
    {VAD_CMDHOST_TEXTURECONVERT, "VAD_CMDHOST_TEXTURECONVERT"},
    {VAD_CMDHOST_ARCHIVE_SAVETODISK, "VAD_CMDHOST_ARCHIVE_SAVETODISK"},
    {VAD_CMDHOST_ARCHIVE_INSTALL, "VAD_CMDHOST_ARCHIVE_INSTALL"},
};

}  // namespace

const char* HostJobName(uint32_t command)
{
    for (const JobRow& r : kJobs)
        if (r.id == command) return r.name;
    return nullptr;
}

void RunHostJob(VADClient& client, const VADJob& job, VADHostReply& reply, TETLib::DataManager* validation)
{
    reply = VADHostReply();
    reply.command = job.command;
    ResultsLog log;
    switch (job.command)
    {
    case VAD_CMDHOST_VALIDATE: reply.answer = RunValidate(client, job, log, validation); break;
    case VAD_CMDHOST_TEXTURECONVERT: reply.answer = RunTextureConvert(client, job, log); break;
    case VAD_CMDHOST_ARCHIVE_SAVETODISK: reply.answer = RunArchiveSave(client, job, log); break;
    case VAD_CMDHOST_ARCHIVE_INSTALL: reply.installed = RunArchiveInstall(client, job, log); break;
    default: break;
    }
    reply.results = VADNotificationsOf(log);
}
