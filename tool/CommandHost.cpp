#include "tool/CommandHost.h"
#include "tool/ToolContext.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/CommandHostJobs.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADConnection.h"
#include "assetdb/VADPayloads.h"
#include "core/ChunkedList.h"
#include "core/CoreStartup.h"
#include "core/CoreTime.h"
#include "core/LogPrintf.h"
#include "core/MainThreadWork.h"
#include "core/TBuffer.h"
#include "core/TFile.h"
#include "core/VelmarWorker.h"
#include "engine/ConfigFileBound.h"
#include "engine/FilePath.h"
#include "engine/PathComponents.h"
#include "platform/ConsoleControl.h"
#include "textures/TextureConversion.h"
#include "textures/TextureTargets.h"
#include "tool/ArchiveInstall.h"
#include "validation/DataManager.h"
#include "validation/ValidateAsset.h"

#include <atomic>
#include <string>

namespace {

bool ReadKUIDList(TStream& in, ChunkedList<KUID>& out)
{
    std::vector<KUID> kuids;
    if (!in.ReadKUIDList(kuids, kMaxJobKUIDs)) return false;
    for (const KUID& k : kuids) out.Add(k);
    return true;
}

void WriteKUIDList(TBuffer& reply, const ChunkedList<KUID>& kuids)
{
    reply.WriteUInt32(static_cast<uint32_t>(kuids.Count()));
    for (const KUID& k : kuids) reply.WriteKUID(k);
}

// The archive file of a save job is written where the daemon says, but only inside the installation's
// user data: a link that reached the wrong daemon must not be able to overwrite any file we can write.
bool IsArchiveJobPathAllowed(const std::string& path)
{
    const std::string userData(GetUserDataPath().View());
    if (userData.empty() || path.size() <= userData.size() + 1) return false;
    if (path.compare(0, userData.size(), userData) != 0 || path[userData.size()] != '/') return false;
    return !Orvo::HasDotDotPart(path);
}

// What a job works with: the link of the daemon it came from and the work of the layers above assetdb.
struct JobContext
{
    VADClient& client;
    const CommandHostServices& services;
};

void RunValidate(JobContext& c, TStream& job, TBuffer& reply)
{
    const std::string source = job.ReadString();
    const std::string path = job.ReadString();
    if (job.HasError()) return;
    ResourceDatabaseHolder held;
    held.AcquireForSource(source);
    {
        ResultsLog log;
        const uint8_t result = CommandHostValidate(c.services, {Orvo::PString(source), Orvo::File::Path(path)}, log);
        log.Write(reply, 0);
        reply.WriteUInt8(result);
        LogPrintf("CommandHostCallback> complete");
    }
    ReleaseHeldResourceDatabase(held);
}

void RunTextureConvert(JobContext&, TStream& job, TBuffer& reply)
{
    const std::string source = job.ReadString();
    const std::string folder = job.ReadString();
    const std::string targetText = job.ReadString();
    if (job.HasError()) return;
    ResourceDatabaseHolder held;
    held.AcquireForSource(source);
    const PStringArray targets = ParseTextureTargetList(targetText);
    {
        ResultsLog log;
        const uint32_t result = ConvertTexturesInPath(source, Orvo::File::Path(folder), targets, log);
        log.Write(reply, 0);
        reply.WriteUInt32(result);
        LogPrintf("CommandHostCallback> complete");
    }
    ReleaseHeldResourceDatabase(held);
}

void RunArchiveSave(JobContext& c, TStream& job, TBuffer& reply)
{
    const uint32_t archiveId = job.ReadUInt32();
    const std::string path = job.ReadString();
    ChunkedList<KUID> kuids;
    if (job.HasError() || !ReadKUIDList(job, kuids)) return;
    // Optionally the folder of the assets' copies to save instead of the installed assets.
    std::string copies;
    if (job.Remaining() > 0)
    {
        copies = job.ReadString();
        if (job.HasError()) return;
    }

    ResultsLog log;
    bool ok = false;
    if (!copies.empty() && !IsArchiveJobPathAllowed(copies))
    {
        log.PostResultF(kResultError, "CommandHostCallback> refused to read assets outside the user data folder ('%s')",
                        copies.c_str());
    }
    else if (!IsArchiveJobPathAllowed(path))
    {
        log.PostResultF(kResultError,
                        "CommandHostCallback> refused to write the archive file '%s' outside the user data folder",
                        path.c_str());
    }
    else
    {
        TFile file;
        if (!file.Open(path, TFile::kWrite) || !WriteArchiveJobHeader(file, archiveId))
        {
            log.PostResultF(kResultError, "CommandHostCallback> unable to write the archive file '%s'", path.c_str());
        }
        else
        {
            ok = CommandHostArchiveSaveToDisk(c.client, kuids, file, log, copies);
            if (!FinishArchiveJobHeader(file) || !file.Close())
            {
                log.PostResultF(kResultError, "CommandHostCallback> unable to write the archive file '%s'",
                                path.c_str());
                ok = false;
            }
        }
    }
    log.Write(reply, 0);
    reply.WriteUInt32(ok ? 1 : 0);
    LogPrintf("CommandHostCallback> complete");
}

void RunArchiveInstall(JobContext& c, TStream& job, TBuffer& reply)
{
    const uint32_t archiveId = job.ReadUInt32();
    const std::string path = job.ReadString();
    ChunkedList<KUID> kuids;
    if (job.HasError() || !ReadKUIDList(job, kuids)) return;
    // Optionally a folder to stage new assets in and the assets that may be staged.
    std::string staging;
    std::vector<KUID> unknown;
    if (job.Remaining() > 0)
    {
        staging = job.ReadString();
        if (job.HasError() || !job.ReadKUIDList(unknown, kMaxJobKUIDs)) return;
    }

    ResultsLog log;
    if (!staging.empty() && !IsArchiveJobPathAllowed(staging))
    {
        // Installed one at a time instead: nothing is written outside the user data folder.
        LogPrintf("CommandHostCallback> the staging folder '%s' is outside the user data folder", staging.c_str());
        staging.clear();
    }
    // The job's answer is the list of what was installed; what failed is on its log.
    (void)CommandHostArchiveInstall(c.client, c.services, archiveId, kuids, Orvo::File::Path(path), log, staging,
                                    unknown);
    log.Write(reply, 0);
    WriteKUIDList(reply, kuids);
    LogPrintf("CommandHostCallback> complete");
}

struct JobRow
{
    uint32_t id;
    const char* name;
    void (*run)(JobContext& c, TStream& job, TBuffer& reply);
};

// The jobs the daemon hands its command host, by command id.
constexpr JobRow kJobs[] = {
    {VAD_CMDHOST_VALIDATE, "VAD_CMDHOST_VALIDATE", RunValidate},
    {VAD_CMDHOST_TEXTURECONVERT, "VAD_CMDHOST_TEXTURECONVERT", RunTextureConvert},
    {VAD_CMDHOST_ARCHIVE_SAVETODISK, "VAD_CMDHOST_ARCHIVE_SAVETODISK", RunArchiveSave},
    {VAD_CMDHOST_ARCHIVE_INSTALL, "VAD_CMDHOST_ARCHIVE_INSTALL", RunArchiveInstall},
};

}  // namespace

CommandHostServices ToolCommandHostServices(TETLib::DataManager* validation)
{
    CommandHostServices services;
    // Validation is there once its data manager stands (start-up makes it; a failure ends start-up).
    if (validation != nullptr)
        services.validate = [validation](const Orvo::PString& source, const Orvo::File::Path& folder, ResultsLog& log) {
            return TETLib::ValidateAssetForCommandHost(*validation, source, folder, log);
        };
    AddArchiveInstallServices(services);
    return services;
}

void CommandHostCallback(VADClient& client, TStream& job, TBuffer& reply, TETLib::DataManager* validation)
{
    const uint32_t id = job.ReadUInt32();
    if (job.HasError())
    {
        LogPrintf("CommandHostCallback> a job without a readable command id was refused");
        return;
    }
    const JobRow* row = nullptr;
    for (const JobRow& r : kJobs)
        if (r.id == id) row = &r;
    if (row == nullptr)
    {
        LogPrintf("CommandHostCallback> unsupported commandID=%d", int(id));
        return;
    }
    LogPrintf("CommandHostCallback> %s", row->name);
    const CommandHostServices services = ToolCommandHostServices(validation);
    JobContext c{client, services};
    row->run(c, job, reply);
    if (job.HasError())
    {
        // A job abandoned for want of input touched nothing that needs tidying.
        LogPrintf("CommandHostCallback> the %s job could not be read and was refused", row->name);
        return;
    }
    if (NWSpecFactory* specs = client.SpecCache()) specs->ReleaseAllSpecs();
    CollectGarbageOnMainThread();
    // A job that read a large configuration gives the memory back before the host waits for the next one.
    Orvo::GiveBackMemoryAfterLargeLoads();
}

bool CommandHost::OnConsoleEvent(int controlType)
{
    stop_.store(1);
    if (controlType == Platform::kConsoleCtrlC || controlType == Platform::kConsoleCtrlBreak) return true;
    // Closing or shutting down: keep the process until the loop has finished its pass.
    busy_.wait(1);
    return true;
}

void CommandHost::BeginServing()
{
    busy_.store(1);
    Platform::InstallConsoleHandler([this](int controlType) { return OnConsoleEvent(controlType); });
}

void CommandHost::EndServing()
{
    busy_.store(0);
    busy_.notify_all();
    // The signals get their usual effect back for the rest of the run.
    Platform::RemoveConsoleHandler();
}

void CommandHost::Run()
{
    connection_.SetCommandHostCallback(
        [this](TStream& job, TBuffer& reply) { CommandHostCallback(client_, job, reply, validation_); });
    // The host serves the daemon it registers with: when that link goes, the host ends.
    connection_.SetReopenOnDemand(false);
    // The stop handler stands before the daemon knows of us: once registered, a stop request must end
    // the loop, not the process in the middle of a job.
    BeginServing();
    Platform::RemoveConsoleCloseMenu();
    // A registration that was not sent leaves the loop nothing to serve: it ends with the link.
    (void)connection_.SendAsync(VAD_REQ_REGISTER_COMMAND_HOST, nullptr, 0);
    LogPrintf("VADCommandHost");

    uint64_t lastKeepAlive = GetUnixTimeMs();
    while (connection_.Connected() && !StopRequested())
    {
        WaitForMainThreadWork(kHostWaitMs);
        const uint64_t now = GetUnixTimeMs();
        if (KeepAliveDue(now, lastKeepAlive))
        {
            lastKeepAlive = now;
            VADBytes answer;
            // A keep-alive the daemon does not answer closes the link, which ends the loop.
            (void)connection_.Perform(VAD_REQ_KEEPALIVE, nullptr, 0, answer);
        }
        MainThreadUpdate();
    }

    connection_.SetCommandHostCallback(nullptr);
    connection_.SetReopenOnDemand(true);
    // The daemon going away is how a host normally ends; a keep-alive it did not answer is a failure.
    if (connection_.LinkFailure() == VADLinkFailure::kDropped) connection_.ClearLinkFailure();
    EndServing();
    LogPrintf("VADCommandHost shutting down...");
    while (VelmarWorker::RunPendingTask(0) || VelmarWorker::HasPendingWork()) SleepMs(10);
}

int VADCommandHostCommand(ToolContext& tool, ResultsLog&, const CommandArgs&)
{
    if (VADConnection* link = tool.Connection())
    {
        CommandHost host(*link, tool.Client().SpecCache(), tool.Validation());
        host.Run();
    }
    return 0;
}
