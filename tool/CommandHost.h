#pragma once
// The daemon's command host ("vadcommandhost"): this run of the tool registers with the daemon and
// carries out its jobs (validate, texture convert, archive save, archive install) on the main thread
// until the daemon goes away or a console control event (Ctrl+C, close, shutdown, any signal that would end the
// process) stops it.
#include "assetdb/VADClient.h"
#include "tool/CommandArgs.h"

#include <atomic>
#include <csignal>
#include <cstdint>

class TBuffer;
class TStream;

namespace TETLib {
class DataManager;
}

// The host loop on one daemon connection, and the stop and busy flags its console control routine shares
// with it.
class CommandHost
{
public:
    // With `specs`, the spec cache the jobs' specs are dropped from after each job.
    // With `validation`, the data manager the validate jobs validate with (none: they are refused).
    explicit CommandHost(VADConnection& connection, NWSpecFactory* specs = nullptr,
                         TETLib::DataManager* validation = nullptr)
        : connection_(connection), client_(connection), validation_(validation)
    {
        client_.SetSpecCache(specs);
    }
    CommandHost(const CommandHost&) = delete;
    CommandHost& operator=(const CommandHost&) = delete;

    // Registers with the daemon and serves its jobs until the link goes or a console event stops it.
    // Without a link it returns at once. A keep-alive the daemon does not answer in time ends it too; the
    // link's failure then names the request.
    void Run();

    // The console control routine, for every signal that would end the process: sets the stop flag; for events
    // other than Ctrl+C and Ctrl+Break (but SIGPIPE, whose writer waits for it) it holds the process back until
    // the host loop has ended. Always reports the event as handled.
    bool OnConsoleEvent(int controlType, int signal);
    // Sets the busy flag and routes console control events to OnConsoleEvent / clears the busy flag (the
    // loop has ended) and gives the signals their usual effect back.
    void BeginServing();
    void EndServing();
    bool StopRequested() const { return stop_.load() != 0; }

private:
    VADConnection& connection_;
    VADClient client_;
    TETLib::DataManager* validation_;
    std::atomic<uint8_t> stop_{0};
    std::atomic<uint8_t> busy_{0};
};

// Decodes one job (VADJob) and runs it (HostJobs.h) on the link of `client`, validating with `validation`;
// the reply is the job's VADHostReply. A job that cannot be read, or names no job of the table, is logged as
// such and gets an empty reply (which the daemon reads as no answer).
void CommandHostCallback(VADClient& client, TStream& job, TBuffer& reply, TETLib::DataManager* validation = nullptr);

// A keep-alive is due when strictly more than kKeepAliveIntervalMs have passed since the last one.
constexpr uint64_t kKeepAliveIntervalMs = 5000;
constexpr unsigned kHostWaitMs = 1000;
inline bool KeepAliveDue(uint64_t nowMs, uint64_t lastMs)
{
    return nowMs > lastMs && nowMs - lastMs > kKeepAliveIntervalMs;
}

// The command word: runs the host on the tool's connection; 0.
int VADCommandHostCommand(ToolContext& tool, ResultsLog& log, const CommandArgs& args);
