#include "tool/CommandHost.h"

#include "assetdb/ArchiveJobFile.h"
#include "assetdb/CommandHostJobs.h"
#include "assetdb/ContentFolders.h"
#include "assetdb/NWSpecFactory.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADPayloads.h"
#include "core/ChunkedList.h"
#include "core/CoreStartup.h"
#include "core/CoreTime.h"
#include "core/LogPrintf.h"
#include "core/MainThreadWork.h"
#include "core/TBuffer.h"
#include "core/TFile.h"
#include "core/VelmarWorker.h"
#include "engine/FilePath.h"
#include "platform/ConsoleControl.h"
#include "textures/TextureTargets.h"

#include <atomic>
#include <string>

namespace {

std::atomic<uint8_t> g_stop{0};
std::atomic<uint8_t> g_busy{0};

bool ReadKUIDList(TStream& in, ChunkedList<KUID>& out)
{
    const uint32_t n = in.ReadUInt32();
    // Eight bytes per KUID: a count the stream cannot hold is refused before anything is read.
    if (in.HasError() || n > kMaxJobKUIDs || n > in.Remaining() / 8)
    {
        in.SetError(kStreamShortRead);
        return false;
    }
    for (uint32_t i = 0; i < n; ++i)
    {
        KUID k = in.ReadKUID(KUID::Null());
        if (in.HasError()) return false;
        out.Add(k);
    }
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
    size_t start = 0;
    while (start <= path.size())
    {
        size_t cut = path.find_first_of("/\\", start);
        if (cut == std::string::npos) cut = path.size();
        const std::string_view part(path.data() + start, cut - start);
        if (part == "..") return false;
        start = cut + 1;
    }
    return true;
}

void RunValidate(TStream& job, TBuffer& reply)
{
    LogPrintf("CommandHostCallback> VAD_CMDHOST_VALIDATE");
    const std::string source = job.ReadString();
    const std::string path = job.ReadString();
    if (job.HasError()) return;
    ResourceDatabaseHolder held;
    held.AcquireForSource(source);
    {
        ResultsLog log;
        const uint8_t result = CommandHostValidate({Orvo::PString(source), Orvo::File::Path(path)}, log);
        log.Write(reply, 0);
        reply.WriteUInt8(result);
        LogPrintf("CommandHostCallback> complete");
    }
    ReleaseHeldResourceDatabase(held);
}

void RunTextureConvert(TStream& job, TBuffer& reply)
{
    LogPrintf("CommandHostCallback> VAD_CMDHOST_TEXTURECONVERT");
    const std::string source = job.ReadString();
    const std::string folder = job.ReadString();
    const std::string targetText = job.ReadString();
    if (job.HasError()) return;
    ResourceDatabaseHolder held;
    held.AcquireForSource(source);
    const PStringArray targets = ParseTextureTargetList(targetText);
    {
        ResultsLog log;
        // The converter is not part of this program yet: the job fails plainly instead of pretending.
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("file_path", folder);
        log.PostResult(kResultError,
                       "Texture conversion is not built into this program yet; the textures in '$(FILE_PATH)' were "
                       "not converted.",
                       params);
        log.Write(reply, 0);
        reply.WriteUInt32(0);
        LogPrintf("CommandHostCallback> complete");
    }
    ReleaseHeldResourceDatabase(held);
}

void RunArchiveSave(TStream& job, TBuffer& reply)
{
    LogPrintf("CommandHostCallback> VAD_CMDHOST_ARCHIVE_SAVETODISK");
    const uint32_t archiveId = job.ReadUInt32();
    const std::string path = job.ReadString();
    ChunkedList<KUID> kuids;
    if (job.HasError() || !ReadKUIDList(job, kuids)) return;

    ResultsLog log;
    bool ok = false;
    if (!IsArchiveJobPathAllowed(path))
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
            ok = CommandHostArchiveSaveToDisk(kuids, file, log);
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

void RunArchiveInstall(TStream& job, TBuffer& reply)
{
    LogPrintf("CommandHostCallback> VAD_CMDHOST_ARCHIVE_INSTALL");
    const uint32_t archiveId = job.ReadUInt32();
    const std::string path = job.ReadString();
    ChunkedList<KUID> kuids;
    if (job.HasError() || !ReadKUIDList(job, kuids)) return;

    ResultsLog log;
    CommandHostArchiveInstall(archiveId, kuids, Orvo::File::Path(path), log);
    log.Write(reply, 0);
    WriteKUIDList(reply, kuids);
    LogPrintf("CommandHostCallback> complete");
}

}  // namespace

void CommandHostCallback(TStream& job, TBuffer& reply)
{
    const uint32_t id = job.ReadUInt32();
    switch (job.HasError() ? uint32_t(VAD_CMDHOST_VALIDATE) : id)
    {
    case VAD_CMDHOST_VALIDATE: RunValidate(job, reply); break;
    case VAD_CMDHOST_TEXTURECONVERT: RunTextureConvert(job, reply); break;
    case VAD_CMDHOST_ARCHIVE_SAVETODISK: RunArchiveSave(job, reply); break;
    case VAD_CMDHOST_ARCHIVE_INSTALL: RunArchiveInstall(job, reply); break;
    default: LogPrintf("CommandHostCallback> unsupported commandID=%d", int(id)); break;
    }
    // A job abandoned for want of input touched nothing that needs tidying.
    if (job.HasError()) return;
    NWSpecFactory::Get().ReleaseAllSpecs();
    CollectGarbageOnMainThread();
}

bool ConsoleCtrlHandler(int controlType)
{
    g_stop.store(1);
    if (controlType == Platform::kConsoleCtrlC || controlType == Platform::kConsoleCtrlBreak) return true;
    // Closing or shutting down: keep the process until the loop has finished its pass.
    while (g_busy.load()) SleepMs(100);
    return true;
}

void InstallConsoleHandler()
{
    g_busy.store(1);
    Platform::InstallConsoleHandler(ConsoleCtrlHandler);
}

void ConsoleHostDone() { g_busy.store(0); }

bool ConsoleStopRequested() { return g_stop.load() != 0; }

void ResetConsoleFlags()
{
    g_stop.store(0);
    g_busy.store(0);
}

void VADCommandHost()
{
    CommandHostCallbackSlot.store(CommandHostCallback);
    // The stop handler stands before the daemon knows of us: once registered, a stop request must end
    // the loop, not the process in the middle of a job.
    InstallConsoleHandler();
    Platform::RemoveConsoleCloseMenu();
    VADSendAsyncRequest(VAD_REQ_REGISTER_COMMAND_HOST, TBuffer());
    LogPrintf("VADCommandHost");

    uint64_t lastKeepAlive = GetUnixTimeMs();
    if (VADClientConnected())
    {
        for (;;)
        {
            if (ConsoleStopRequested()) break;
            WaitForMainThreadWork(kHostWaitMs);
            const uint64_t now = GetUnixTimeMs();
            if (KeepAliveDue(now, lastKeepAlive))
            {
                lastKeepAlive = now;
                TBuffer request, answer;
                VADPerformTransaction(VAD_REQ_KEEPALIVE, request, answer, nullptr);
            }
            MainThreadUpdate();
            VADClientIdle();
            if (!VADClientConnected()) break;
        }
    }

    CommandHostCallbackSlot.store(nullptr);
    ConsoleHostDone();
    // The signals get their usual effect back for the rest of the run.
    Platform::RemoveConsoleHandler();
    LogPrintf("VADCommandHost shutting down...");
    while (VelmarWorker::RunPendingTask(0) || VelmarWorker::HasPendingWork()) SleepMs(10);
}

int VADCommandHostCommand(ResultsLog&, const CommandArgs&)
{
    VADCommandHost();
    return 0;
}
