#pragma once
// Console control events: Ctrl+C (SIGINT), Ctrl+Break (SIGQUIT), the terminal closing (SIGHUP), system shutdown
// (SIGTERM) and every other signal whose default action ends the process (SIGUSR1, SIGALRM, SIGXCPU, the real-time
// signals, ...) are delivered to one callback, on a thread of its own, with the event numbers Windows console
// programs know and the signal itself. Not taken: the faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL: CrashExit.h),
// SIGKILL and SIGSTOP, the signals whose default does not end the process, and a signal that has another handler
// of the program's when the callback is installed.
//
// What the system raises for something the process did itself keeps its meaning and never reaches the callback:
// - SIGXFSZ for a write past the file-size limit (ulimit -f): the write fails with EFBIG, as on a full disk.
// - SIGIO for a lease broken or a descriptor ready: nothing ends. (One sent by a process is an ending.)
// - SIGABRT the process sent itself (abort()), SIGTRAP for a breakpoint and SIGSYS for a refused system call: the
//   process ends at once, as their default action has it.
// - SIGPIPE for a write to a reader that went away holds the thread that wrote until the callback has decided: when
//   the process ends it has done nothing more; when it goes on, the write fails with EPIPE. SIGPIPE that is ignored
//   as the callback is installed stays ignored (the daemon ignores it).
#include <functional>

namespace Platform {

enum ConsoleEvent : int
{
    kConsoleCtrlC = 0,      // SIGINT
    kConsoleCtrlBreak = 1,  // SIGQUIT
    kConsoleClose = 2,      // SIGHUP
    kConsoleShutdown = 6,   // SIGTERM and every other signal taken
};

// Returns true when the event was handled and the process keeps running; false ends the process by `signal` with
// its default action (exit value 128 + its number; streams not flushed, as a thread that wrote to a reader that
// went away may hold one), once an output being written in place is finished and the process's own temporaries are
// removed (PrepareToEnd, Interruption.h). The callback runs with SIGPIPE held back: a write of its own to a reader
// that has gone fails rather than ending the process.
using ConsoleHandler = std::function<bool(int event, int signal)>;

// Installs `handler` (replacing any earlier one). The signal handlers only note the signal; the
// callback runs on the dispatch thread, so it may lock, log and sleep. False when the thread or the
// signal handlers cannot be set up. With `leaveIgnored`, a signal the process ignores as the handler is installed
// stays ignored (Ctrl-C of a background job, SIGHUP under nohup), as a program started so expects.
bool InstallConsoleHandler(ConsoleHandler handler, bool leaveIgnored = false);
// Restores the signal dispositions found at install time and stops the dispatch thread, once every signal taken
// before has been decided. Must not be called from inside the handler.
void RemoveConsoleHandler();
bool ConsoleHandlerInstalled();

// For the process's way out: waits while a signal taken has not yet been decided by the callback, so that a signal
// that came first ends the process by that signal, whatever exit value was on its way (returns at once on the
// callback's own thread).
void AwaitConsoleVerdicts();

// Removes the Close item of the console window's menu, so that closing the window cannot cut a command
// short; a terminal has no such menu, so this does nothing.
inline void RemoveConsoleCloseMenu() {}

}  // namespace Platform
