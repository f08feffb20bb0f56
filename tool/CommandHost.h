#pragma once
// The daemon's command host ("vadcommandhost"): this run of the tool registers with the daemon and
// carries out its jobs (validate, texture convert, archive save, archive install) on the main thread
// until the daemon goes away or a console control event (Ctrl+C, close, shutdown) stops it.
#include "tool/CommandArgs.h"

#include <cstdint>

class TBuffer;
class TStream;

// Runs the host loop until stopped. Without a daemon connection it returns at once.
void VADCommandHost();

// Decodes one job from `job`, runs it and writes the reply (the job's results log, then its answer).
// A job that cannot be read gets no reply content.
void CommandHostCallback(TStream& job, TBuffer& reply);

// The console control routine: sets the stop flag; for events other than Ctrl+C and Ctrl+Break it holds
// the process back until the host loop has ended. Always reports the event as handled.
bool ConsoleCtrlHandler(int controlType);
// Sets the busy flag and routes console control events to ConsoleCtrlHandler.
void InstallConsoleHandler();
// Clears the busy flag: the host loop has ended.
void ConsoleHostDone();
bool ConsoleStopRequested();
// Back to the start state (no stop asked, not busy); for tests.
void ResetConsoleFlags();

// A keep-alive is due when strictly more than kKeepAliveIntervalMs have passed since the last one.
constexpr uint64_t kKeepAliveIntervalMs = 5000;
constexpr unsigned kHostWaitMs = 1000;
inline bool KeepAliveDue(uint64_t nowMs, uint64_t lastMs)
{
    return nowMs > lastMs && nowMs - lastMs > kKeepAliveIntervalMs;
}

// Bounds on what a job may ask for.
constexpr uint32_t kMaxJobKUIDs = 1u << 20;

// The command word: runs the host; 0.
int VADCommandHostCommand(ResultsLog& log, const CommandArgs& args);
