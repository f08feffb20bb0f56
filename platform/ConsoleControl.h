#pragma once
// Console control events: Ctrl+C (SIGINT), Ctrl+Break (SIGQUIT), the terminal closing (SIGHUP) and
// system shutdown (SIGTERM) are delivered to one callback, on a thread of its own, with the event
// numbers Windows console programs know.
#include <functional>

namespace Platform {

enum ConsoleEvent : int
{
    kConsoleCtrlC = 0,
    kConsoleCtrlBreak = 1,
    kConsoleClose = 2,
    kConsoleShutdown = 6,
};

// Returns true when the event was handled and the process keeps running; false ends the process
// as the signal would have (exit code 128 + signal number, streams flushed), once an output being written in
// place is finished and the process's own temporaries are removed (PrepareToEnd, Interruption.h). The callback
// runs with SIGPIPE held back: a write of its own to a reader that has gone fails rather than ending the process.
using ConsoleHandler = std::function<bool(int event)>;

// Installs `handler` (replacing any earlier one). The signal handlers only note the signal; the
// callback runs on the dispatch thread, so it may lock, log and sleep. False when the thread or the
// signal handlers cannot be set up. With `leaveIgnored`, a signal the process ignores as the handler is installed
// stays ignored (Ctrl-C of a background job, SIGHUP under nohup), as a program started so expects.
bool InstallConsoleHandler(ConsoleHandler handler, bool leaveIgnored = false);
// Restores the signal dispositions found at install time and stops the dispatch thread. Must not be
// called from inside the handler.
void RemoveConsoleHandler();
bool ConsoleHandlerInstalled();

// Removes the Close item of the console window's menu, so that closing the window cannot cut a command
// short; a terminal has no such menu, so this does nothing.
inline void RemoveConsoleCloseMenu() {}

}  // namespace Platform
