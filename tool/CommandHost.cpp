#include "tool/CommandHost.h"
#include "tool/ToolContext.h"

#include "assetdb/NWSpecFactory.h"
#include "assetdb/VADConnection.h"
#include "assetdb/VADPayloads.h"
#include "core/CoreStartup.h"
#include "core/CoreTime.h"
#include "core/LogPrintf.h"
#include "core/MainThreadWork.h"
#include "core/TBuffer.h"
#include "core/VelmarWorker.h"
#include "engine/ConfigFileBound.h"
#include "platform/ConsoleControl.h"
#include "platform/OutputFlush.h"
#include "tool/HostJobs.h"

#include <atomic>
#include <csignal>

void CommandHostCallback(VADClient& client, TStream& job, TBuffer& reply, TETLib::DataManager* validation)
{
    VADBytes bytes(static_cast<size_t>(job.Remaining()));
    if (!job.ReadExact(bytes.data(), bytes.size()) || bytes.size() < 4)
    {
        LogPrintf("CommandHostCallback> a job without a readable command id was refused");
        return;
    }
    const uint32_t id =
        uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    const char* name = HostJobName(id);
    if (name == nullptr)
    {
        LogPrintf("CommandHostCallback> unsupported commandID=%d", int(id));
        return;
    }
    LogPrintf("CommandHostCallback> %s", name);
    VADJob decoded;
    if (!VADDecode(bytes, decoded))
    {
        // A job abandoned for want of input touched nothing that needs tidying.
        LogPrintf("CommandHostCallback> the %s job could not be read and was refused", name);
        return;
    }
    VADHostReply answer;
    RunHostJob(client, decoded, answer, validation);
    const VADBytes written = VADEncode(answer);
    if (!reply.WriteExact(written.data(), written.size()))
        LogPrintf("CommandHostCallback> the reply of the %s job could not be written", name);
    LogPrintf("CommandHostCallback> complete");
    if (NWSpecFactory* specs = client.SpecCache()) specs->ReleaseAllSpecs();
    CollectGarbageOnMainThread();
    // A job that read a large configuration gives the memory back before the host waits for the next one.
    Orvo::GiveBackMemoryAfterLargeLoads();
}

bool CommandHost::OnConsoleEvent(int controlType, int signal)
{
    stop_.store(1);
    if (controlType == Platform::kConsoleCtrlC || controlType == Platform::kConsoleCtrlBreak) return true;
    // A reader that went away holds the thread that wrote to it until this returns, which may be the loop itself.
    if (signal == SIGPIPE) return true;
    // Closing or shutting down: keep the process until the loop has finished its pass.
    busy_.wait(1);
    return true;
}

void CommandHost::BeginServing()
{
    busy_.store(1);
    Platform::InstallConsoleHandler(
        [this](int controlType, int signal) { return OnConsoleEvent(controlType, signal); });
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
    // What the host writes for the daemon, the daemon puts on disk itself, where it counts: nothing is noted for a
    // flush at the end of a command that serves for as long as the daemon runs.
    Platform::SetNotingWrittenOutputs(false);
    if (VADConnection* link = tool.Connection())
    {
        CommandHost host(*link, tool.Client().SpecCache(), tool.Validation());
        host.Run();
    }
    return 0;
}
